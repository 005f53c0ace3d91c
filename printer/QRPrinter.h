#pragma once
// TQRPrinter holds one report: its pages (a page list over a report stream), its paper
// and orientation, its page range and copies, and a printer device of its own. It is
// filled by loading a saved report or by producing pages, hands out page pictures,
// prints on its device and tells its client and host windows by window messages.
#include "base/Errors.h"
#include "emf/Metafile.h"
#include "platform/PrinterDevice.h"
#include "platform/WindowMessages.h"
#include "printer/PrinterSettings.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QPainter;

namespace qrp {

class TQRPageList;
class TMetafileCanvas;

enum TReportState : std::uint8_t { rsReady = 0, rsProducing = 1, rsFinished = 2 };
enum TReportDestination : std::uint8_t { rdPages = 0, rdPrinter = 1 };

constexpr int MsgProgress = WM_USER;
constexpr int MsgPageReady = WM_USER + 1;
constexpr int MsgPrintRequest = WM_USER + 2;
constexpr int MsgClosePreview = WM_USER + 4;

// "QRPrinter not ready", "Illegal call to NewPage".
class EQRError : public EError { using EError::EError; };

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TPrintSetupEvent = std::function<void()>;
using TExportEvent = std::function<void(QObject* Filter)>;

class TQRPrinter : public QObject {
    Q_OBJECT
public:
    // Prints on the system's print queues (the application-wide printer's index).
    TQRPrinter();
    // Prints on the given device; applicationIndex stands for the application-wide
    // printer's index (tests, tools).
    TQRPrinter(std::unique_ptr<TPrinterDevice> device, int applicationIndex);
    ~TQRPrinter() override;

    void LoadReport(const std::string& fileName);
    void SaveReport(const std::string& fileName);
    void ClearReport();
    // A new picture the caller owns; nullptr for a page that is not held.
    std::unique_ptr<TMetafile> PagePicture(int pageNo);
    void SetCurrentPage(int pageNo);
    // The picture of the current page (SetCurrentPage), nullptr when none.
    const TMetafile* CurrentPagePicture() const { return currentPagePicture_.get(); }

    // Page production.
    void BeginReport();
    void StartNewPage();
    void EndReport();
    void AbortReport();
    QPainter* PageCanvas() const { return pageCanvas_; }

    void RequestCancel() { cancelRequested_ = true; }
    bool CancelRequested() const { return cancelRequested_; }
    void SetPagesReady(int count);
    int PagesReady() const { return pagesReady_; }
    void ReportProgress(int percent);
    int ProgressValue() const { return progressValue_; }

    void ShowPreview();
    void SetPreviewShowing(bool v);
    bool PreviewShowing() const { return previewShowing_; }
    void RequestPreviewClose();
    void PrintPages();
    void RunPrintSetup();
    void ExportReport(QObject* filter);

    // Selects a queue by its index in the device's printer list. A loaded report keeps
    // the paper and orientation detected from its first page wherever the new queue
    // offers that paper; otherwise the queue's default paper applies.
    void SelectPrinter(int index);
    // Reads the system's printer list again (queues added or removed, a print system
    // that started since), so that indexes refer to the list as it is now.
    void UpdatePrinterList();
    // What the user should know about the last job PrintPages handed over (a stopped
    // queue keeps it, say); empty when it went straight to print.
    const std::string& PrintNotice() const { return printNotice_; }
    // True while PrintPages runs; the report may then be neither cleared nor reloaded.
    bool PrintingPages() const { return printingPages_; }
    void SetCompressed(bool v);
    bool Compressed() const;

    int Copies() const;
    void SetCopies(int copies);
    TQRBin OutputBin() const;
    void SetOutputBin(TQRBin bin);
    TPrinterOrientation Orientation() const;
    void SetOrientation(TPrinterOrientation orientation);
    TQRPaperSize PaperSize() const;
    void SetPaperSize(TQRPaperSize size);
    // Custom paper size, report units (tenths of a millimetre).
    int PaperWidth() const;
    void SetPaperWidth(int width);
    int PaperLength() const;
    void SetPaperLength(int length);
    // The paper's sides as the orientation turns them, tenths of a millimetre.
    int OrientedPaperWidth() const;
    int OrientedPaperLength() const;
    // Report units to device pixels at the scales in force, halves to even.
    int ToDeviceX(long double x) const;
    int ToDeviceY(long double y) const;
    int ToDeviceWidth(long double w) const;
    int ToDeviceHeight(long double h) const;

    int FirstPage() const { return firstPage_; }
    void SetFirstPage(int v) { firstPage_ = v; }
    int LastPage() const { return lastPage_; }
    void SetLastPage(int v) { lastPage_ = v; }
    const std::string& JobTitle() const { return jobTitle_; }
    void SetJobTitle(const std::string& v) { jobTitle_ = v; }
    QObject* ClientWindow() const { return clientWindow_; }
    void SetClientWindow(QObject* v) { clientWindow_ = v; }
    QObject* HostWindow() const { return hostWindow_; }
    void SetHostWindow(QObject* v) { hostWindow_ = v; }
    TReportDestination Destination() const { return destination_; }
    void SetDestination(TReportDestination v) { destination_ = v; }
    bool LoadedFromFile() const { return loadedFromFile_; }
    void SetLoadedFromFile(bool v) { loadedFromFile_ = v; }

    TNotifyEvent AfterPrintHook, AfterPreviewHook, PreviewHook;
    TPrintSetupEvent PrintSetupHook;
    TExportEvent ExportHook;

    int PageTotal() const { return pageTotal_; }
    int CurrentPageNo() const { return currentPageNo_; }
    TReportState State() const { return state_; }
    bool HasPrinters() const { return hasPrinters_; }
    long double HorzScale() const { return horzScale_; }
    long double VertScale() const { return vertScale_; }
    int TopUnprintable() const { return topUnprintable_; }
    int LeftUnprintable() const { return leftUnprintable_; }
    QObject* PreviewWindow() const { return previewWindow_; }

    TPrinterSettings& DeviceSettings() { return *deviceSettings_; }
    const TPrinterSettings& DeviceSettings() const { return *deviceSettings_; }
    TPrinterDevice& DevicePrinter() { return *devicePrinter_; }
    TQRPageList& PageList() { return *pageList_; }

Q_SIGNALS:
    // The held report was cleared or (re)loaded.
    void ReportChanged();

private:
    void Construct(int applicationIndex);
    bool PageInRange() const;
    void OpenPictureCanvas();
    void ClosePictureCanvas();
    void OpenDeviceCanvas();
    void CloseDevicePage();
    void SetScreenScales();
    void SetDeviceScales();
    void AppendPageUnderConstruction();
    void DiscardPictureCanvas();
    void DetectPaper();
    void RequireNotPrinting() const;

    std::unique_ptr<TPrinterDevice> devicePrinter_;
    std::unique_ptr<TPrinterSettings> deviceSettings_;
    std::unique_ptr<TQRPageList> pageList_;
    std::unique_ptr<TMetafile> pageUnderConstruction_;
    std::unique_ptr<TMetafileCanvas> pictureCanvas_;
    std::unique_ptr<QPainter> picturePainter_;
    std::unique_ptr<TMetafile> currentPagePicture_;
    QPainter* pageCanvas_ = nullptr;

    int pagesReady_ = 0;
    bool cancelRequested_ = false;
    TReportDestination destination_ = rdPages;
    int firstPage_ = 0;
    int lastPage_ = 0;
    int leftUnprintable_ = 0;
    int topUnprintable_ = 0;
    QObject* clientWindow_ = nullptr;
    QObject* hostWindow_ = nullptr;
    int pageTotal_ = 0;
    int currentPageNo_ = 0;
    bool hasPrinters_ = false;
    int progressValue_ = 0;
    std::string jobTitle_;
    bool previewShowing_ = false;
    TReportState state_ = rsReady;
    long double horzScale_ = 1.0L;
    long double vertScale_ = 1.0L;
    QObject* previewWindow_ = nullptr;
    bool loadedFromFile_ = false;
    // The page list's stream is this printer's report (produced or loaded).
    bool ownsReportStream_ = false;
    // Size of a loaded report's first page in screen pixels, for its paper; 0 when none.
    long double firstPageWidth_ = 0, firstPageHeight_ = 0;
    std::string printNotice_;
    bool printingPages_ = false;
};

} // namespace qrp
