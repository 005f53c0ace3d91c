#pragma once
// A printer device that prints nowhere: it plays the queues it is given and records
// every call it receives, in order, so tests can check what a caller asked of the
// printing system. Pages are drawn onto images kept per document.
#include "platform/PrinterDevice.h"

#include <QImage>
#include <QPainter>
#include <functional>

namespace qrp {

struct TScriptedQueue {
    std::string Name = "Scripted";
    std::string Driver = "Scripted Driver";
    std::string Port = "scripted:";
    std::optional<std::string> DriverPath;
    TDevMode Defaults{DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES, DMORIENT_PORTRAIT, 9, 0, 0, 1, 0,
                      DMDUP_SIMPLEX};
    int DpiX = 50, DpiY = 50;
    // Sheet and unprintable offsets in device pixels, portrait.
    int PhysicalWidth = 413, PhysicalHeight = 585; // A4 at 50 dpi
    int OffsetX = 0, OffsetY = 0;
    std::vector<std::int16_t> Papers{1, 9, DMPAPER_USER};
};

struct TScriptedDocument {
    std::string Title;
    TDevMode Mode;
    std::vector<QImage> Pages;
    bool Aborted = false;
    bool Ended = false;
};

class TScriptedPrinterDevice final : public TPrinterDevice {
public:
    explicit TScriptedPrinterDevice(std::vector<TScriptedQueue> queues, int defaultIndex = 0);

    // Every call, in order: "RefreshPrinters", "SetPrinterIndex 1", "SetDevMode", "ReleaseDevMode",
    // "SetTitle <title>", "BeginDoc", "NewPage", "StartPage", "EndDoc", "Abort".
    std::vector<std::string> Calls;
    // Every document begun, with its pages as drawn.
    std::vector<TScriptedDocument> Documents;
    // Every device mode handed over by SetDevMode.
    std::vector<TDevMode> AppliedModes;
    // Called after a call is recorded (before it acts); may throw to make it fail.
    std::function<void(const std::string& call)> OnCall;
    // What JobNotice tells after each EndDoc (a queue that keeps the job, say).
    std::string Notice;

    // The system's queues change: RefreshPrinters reads these from now on.
    void ChangeSystemQueues(std::vector<TScriptedQueue> queues, int defaultIndex = 0);

    std::vector<std::string> Printers() const override;
    int PrinterIndex() const override { return index_; }
    void RefreshPrinters() override;
    void SetPrinterIndex(int index) override;
    std::string DeviceName() const override;
    std::string DriverName() const override;
    std::string PortName() const override;
    std::optional<std::string> DriverPath() const override;
    TDevMode DevMode() override;
    void SetDevMode(const TDevMode& mode) override;
    void ReleaseDevMode() override;
    int DeviceCaps(TDeviceCap cap) override;
    std::vector<std::int16_t> PaperCodes() override;
    std::string Title() const override { return title_; }
    void SetTitle(const std::string& title) override;
    void BeginDoc() override;
    void NewPage() override;
    void StartPage() override;
    void EndDoc() override;
    std::string JobNotice() const override { return jobNotice_; }
    void Abort() override;
    bool Printing() const override { return printing_; }
    QPainter* Canvas() override { return printing_ ? &painter_ : nullptr; }
    int PageWidth() override { return DeviceCaps(HORZRES); }
    int PageHeight() override { return DeviceCaps(VERTRES); }

private:
    void Record(const std::string& call);
    const TScriptedQueue& Queue() const;
    void OpenPage();
    void ClosePage();

    std::vector<TScriptedQueue> queues_;
    int defaultIndex_;
    std::vector<TScriptedQueue> systemQueues_;
    int systemDefault_;
    std::string jobNotice_;
    int index_ = -1;
    TDevMode mode_;
    bool haveMode_ = false;
    std::string title_;
    bool printing_ = false;
    QImage page_;
    QPainter painter_;
};

} // namespace qrp
