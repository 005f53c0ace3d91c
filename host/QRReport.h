#pragma once
// The report component: holds a report definition (page geometry, printer settings,
// options) and runs it into a report printer of its own, for pages, preview, printing
// or export. The definition held here has no bands and no data set, so a run finishes
// a report with no pages.
#include "host/QRPrintDialog.h"
#include "printer/PrinterSettings.h"
#include "printer/QRPrinter.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qrp {

class TMetafile;
class TQRExportFilter;

enum class TQRUnit : std::uint8_t { MM = 0, Inches = 1, Pixels = 2, Characters = 3, Native = 4 };

struct TQROptions {
    bool FirstPageHeader = true;
    bool LastPageFooter = true;
    bool Compression = false;
};

// Page geometry; lengths in report units, in their stored order.
struct TQRPage {
    TQRPaperSize PaperSize = TQRPaperSize::Letter;
    TPrinterOrientation Orientation = poPortrait;
    int Columns = 1;
    long double BottomMargin = 0;
    long double Length = 0;
    long double TopMargin = 0;
    long double Width = 0;
    long double LeftMargin = 0;
    long double RightMargin = 0;
    long double ColumnSpace = 0;
};

using TQRAfterPrintEvent = TNotifyEvent;
using TQRAfterPreviewEvent = TNotifyEvent;
// PrintReport is true on entry; setting it to false skips the run.
using TQRReportBeforePrintEvent = std::function<void(QObject* Sender, bool& PrintReport)>;

class TQRReport : public QObject {
    Q_OBJECT
public:
    explicit TQRReport(QObject* owner = nullptr);
    ~TQRReport() override;

    // The printer the host works with. A printer set here belongs to the caller;
    // printers the host makes for itself are released when replaced.
    TQRPrinter* CurrentPrinter() const { return currentPrinter_; }
    void SetCurrentPrinter(TQRPrinter* p);

    // Operations.
    void GeneratePages();
    void GenerateAndPreview();
    void AskPrintSettings();            // result in Tag: 0 accepted, 1 cancelled
    void GenerateToPrinter();
    void GenerateToExportFilter(QObject* filter);
    // Makes a new printer of the host's own current (false, doing nothing, while a run
    // is in progress).
    bool TakeFreshPrinter();
    void RunReport(bool inComposite);
    void ApplyPrinterValues();
    void FireAfterPreview(QObject* sender);
    void FireAfterPrint(QObject* sender);

    // Run state.
    bool HostIdle() const { return hostIdle_; }
    bool RunCancelled() const { return runCancelled_; }
    bool FinalPass() const { return finalPass_; }
    bool Exporting() const { return exportFilter_ != nullptr; }
    const TMetafile* ThumbnailPage() const { return thumbnailPage_.get(); }
    // Pages the engine started during the last run (none for a definition without bands).
    int EnginePageCount() const { return enginePageCount_; }

    // Published settings.
    TQRPage& Page() { return page_; }
    const TQRPage& Page() const { return page_; }
    TQRReportPrinterSettings& PrinterSettings() { return printerSettings_; }
    const TQRReportPrinterSettings& PrinterSettings() const { return printerSettings_; }
    TQROptions& Options() { return options_; }
    const TQROptions& Options() const { return options_; }
    TQRUnit Units() const { return units_; }
    void SetUnits(TQRUnit u) { units_ = u; }
    const std::string& ReportTitle() const { return reportTitle_; }
    void SetReportTitle(const std::string& t) { reportTitle_ = t; }
    bool ShowProgress() const { return showProgress_; }
    void SetShowProgress(bool v) { showProgress_ = v; }
    bool PrintIfEmpty() const { return printIfEmpty_; }
    void SetPrintIfEmpty(bool v) { printIfEmpty_ = v; }
    long long Tag() const { return tag_; }
    void SetTag(long long t) { tag_ = t; }

    // Runs the print settings dialog of AskPrintSettings in place of the system dialog
    // when set; returns nullopt for a cancelled dialog.
    std::function<std::optional<TPrintDialogChoice>(const TPrintDialogSetup&)> PrintDialogRunner;
    // The printer the print settings dialog works on; the application-wide one when unset.
    TPrinterDevice* DialogPrinter = nullptr;
    // Makes the host's fresh printers (printers on the system's queues unless replaced).
    std::function<std::unique_ptr<TQRPrinter>()> PrinterMaker;

    // Events.
    TQRAfterPrintEvent AfterPrint;
    TQRAfterPreviewEvent AfterPreview;
    TQRReportBeforePrintEvent BeforePrint;
    TNotifyEvent OnPreview;

protected:
    bool event(QEvent* e) override;

private:
    std::unique_ptr<TQRPrinter> MakePrinter();
    // Makes p current; a printer of the host's own that it replaces is released.
    void ReplaceCurrentPrinter(TQRPrinter* p, bool owned);
    bool TakeFresh(bool releaseReplaced);
    void ReleaseCurrentPrinter(bool deferred);
    void ReleaseOwnedPrinter(TQRPrinter* p, bool deferred);
    void PrepareForPages();
    void RunEngine();
    void ClosePreviewMessage();

    TQRPrinter* currentPrinter_ = nullptr;
    bool ownsCurrent_ = false;
    bool hostIdle_ = true;
    bool runCancelled_ = false;
    bool finalPass_ = true;
    std::unique_ptr<TMetafile> thumbnailPage_;
    TQRExportFilter* exportFilter_ = nullptr;
    int enginePageCount_ = 0;
    bool engineLastPage_ = false;
    // Printers of the host's own that it replaced while a preview still showed them;
    // released when that preview closes.
    std::vector<TQRPrinter*> retiredPrinters_;

    TQRPage page_;
    TQRReportPrinterSettings printerSettings_;
    TQROptions options_;
    TQRUnit units_ = TQRUnit::MM;
    std::string reportTitle_;
    bool showProgress_ = true;
    bool printIfEmpty_ = false;
    long long tag_ = 0;
};

using TQRCustomReport = TQRReport;

// The values stored on the application's report host form: Letter portrait, margins of
// 100 (10 mm) on every side, one copy, no compression, units in millimetres.
void ApplyHostFormSettings(TQRReport& report);

} // namespace qrp
