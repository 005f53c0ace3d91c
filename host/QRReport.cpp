#include "host/QRReport.h"

#include "host/QRExportFilter.h"
#include "host/QRPrintDialog.h"
#include "host/QRProgressForm.h"
#include "platform/PrinterDevice.h"
#include "platform/WindowMessages.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewInterface.h"

#include <QFont>
#include <QTimer>
#include <algorithm>

namespace qrp {

namespace {
// Runs a function when the scope is left, however it is left.
template <typename F>
class TScopeExit {
public:
    explicit TScopeExit(F f) : f_(std::move(f)) {}
    ~TScopeExit() { f_(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    F f_;
};
} // namespace

TQRReport::TQRReport(QObject* owner) : QObject(owner) {
    // A preview asked of a printer without a preview hook opens the stock window.
    InstallStandardPreviewInterface();
    // The page starts with the paper of a printer on the system's default queue.
    std::unique_ptr<TQRPrinter> probe = MakePrinter();
    page_.PaperSize = probe->PaperSize();
}

TQRReport::~TQRReport() {
    if (ownsCurrent_)
        ReleaseOwnedPrinter(currentPrinter_, false);
    currentPrinter_ = nullptr;
    for (TQRPrinter* p : retiredPrinters_)
        delete p;
    retiredPrinters_.clear();
}

std::unique_ptr<TQRPrinter> TQRReport::MakePrinter() {
    if (PrinterMaker)
        return PrinterMaker();
    return std::make_unique<TQRPrinter>();
}

void TQRReport::SetCurrentPrinter(TQRPrinter* p) { ReplaceCurrentPrinter(p, false); }

void TQRReport::ReplaceCurrentPrinter(TQRPrinter* p, bool owned) {
    TQRPrinter* old = currentPrinter_;
    const bool ownedOld = ownsCurrent_;
    currentPrinter_ = p;
    ownsCurrent_ = owned;
    if (old && ownedOld && old != p)
        ReleaseOwnedPrinter(old, false);
}

void TQRReport::ReleaseCurrentPrinter(bool deferred) {
    TQRPrinter* old = currentPrinter_;
    const bool ownedOld = ownsCurrent_;
    currentPrinter_ = nullptr;
    ownsCurrent_ = false;
    if (old && ownedOld)
        ReleaseOwnedPrinter(old, deferred);
}

void TQRReport::ReleaseOwnedPrinter(TQRPrinter* p, bool deferred) {
    if (!p)
        return;
    if (p->PreviewShowing()) {
        // A preview still shows it: it goes when that preview closes.
        if (std::find(retiredPrinters_.begin(), retiredPrinters_.end(), p) == retiredPrinters_.end())
            retiredPrinters_.push_back(p);
        return;
    }
    // A fresh printer inherits the client window of the printer it replaced; that
    // window may be a preview showing another printer, which must stay attached.
    if (auto* preview = qobject_cast<TQRPreview*>(p->ClientWindow()); preview && preview->ReportSource() != p)
        p->SetClientWindow(nullptr);
    if (deferred)
        p->deleteLater();
    else
        delete p;
}

bool TQRReport::TakeFreshPrinter() { return TakeFresh(true); }

bool TQRReport::TakeFresh(bool releaseReplaced) {
    if (!hostIdle_)
        return false;
    QObject* client = currentPrinter_ ? currentPrinter_->ClientWindow() : nullptr;
    TQRPrinter* fresh = MakePrinter().release();
    if (releaseReplaced) {
        ReplaceCurrentPrinter(fresh, true);
    } else {
        currentPrinter_ = fresh;
        ownsCurrent_ = true;
    }
    fresh->SetClientWindow(client);
    if (client) {
        // The inherited window may close before this printer goes; it then has none,
        // rather than one that no longer exists.
        connect(client, &QObject::destroyed, fresh, [fresh, client] {
            if (fresh->ClientWindow() == client)
                fresh->SetClientWindow(nullptr);
        });
    }
    fresh->AfterPreviewHook = [this, fresh](QObject* sender) {
        FireAfterPreview(sender);
        auto it = std::find(retiredPrinters_.begin(), retiredPrinters_.end(), fresh);
        if (it != retiredPrinters_.end()) {
            retiredPrinters_.erase(it);
            fresh->deleteLater();
        }
    };
    fresh->AfterPrintHook = [this](QObject* sender) { FireAfterPrint(sender); };
    return true;
}

void TQRReport::PrepareForPages() {
    TQRPrinter* p = currentPrinter_;
    p->SetDestination(rdPages);
    p->SetHostWindow(this);
    p->PrintSetupHook = [this] { AskPrintSettings(); };
    p->ExportHook = [this](QObject* filter) { GenerateToExportFilter(filter); };
    p->SetJobTitle(reportTitle_);
    if (OnPreview)
        p->PreviewHook = OnPreview;
}

void TQRReport::GeneratePages() {
    if (!TakeFreshPrinter())
        return;
    if (currentPrinter_->PreviewShowing())
        return;
    PrepareForPages();
    RunReport(false);
    if (currentPrinter_)
        currentPrinter_->SetLoadedFromFile(true);
}

void TQRReport::GenerateAndPreview() {
    ProcessPendingMessages();
    if (!TakeFreshPrinter())
        return;
    if (currentPrinter_->PreviewShowing())
        return;
    PrepareForPages();
    currentPrinter_->ShowPreview();
    if (!currentPrinter_)
        return;
    RunReport(false);
    if (runCancelled_) {
        ReleaseCurrentPrinter(false);
        return;
    }
    // The run itself handled what was queued; a zero timer is the one message the
    // wait ends on when nothing else arrives, so the call cannot hang here.
    QTimer::singleShot(0, this, [] {});
    HandleOneMessage();
    while (currentPrinter_ && currentPrinter_->PreviewShowing() && !ApplicationTerminating())
        HandleOneMessage();
}

void TQRReport::RunReport(bool inComposite) {
    if (!hostIdle_)
        return;
    thumbnailPage_.reset();

    // Margins that do not fit the paper are dropped in pairs.
    if (page_.Width - page_.LeftMargin - page_.RightMargin < 0) {
        page_.LeftMargin = 0;
        page_.RightMargin = 0;
    }
    if (page_.Length - page_.TopMargin - page_.BottomMargin < 0) {
        page_.TopMargin = 0;
        page_.BottomMargin = 0;
    }

    hostIdle_ = false;
    runCancelled_ = false;
    engineLastPage_ = false;
    // The host is idle again however the run ends, so a failed run does not lock it.
    TScopeExit idleAgain([this] { hostIdle_ = true; });

    bool printReport = true;
    if (BeforePrint)
        BeforePrint(this, printReport);
    if (!printReport)
        return;

    TQRPrinter* printer = currentPrinter_;
    if (!printer)
        return;
    const TQRUnit savedUnits = units_;
    units_ = TQRUnit::Native;
    TScopeExit unitsBack([this, savedUnits] { units_ = savedUnits; });

    auto endDocument = [this, printer, inComposite] {
        if (runCancelled_)
            printer->AbortReport();
        else if (!inComposite) {
            if (finalPass_)
                printer->EndReport();
            else
                printer->AbortReport();
        }
    };

    try {
        if (!inComposite) {
            ApplyPrinterValues();
            printer->SetJobTitle(reportTitle_);
            printer->SetCompressed(options_.Compression);
            printer->BeginReport();
            enginePageCount_ = 0;
        } else {
            page_.PaperSize = printer->PaperSize();
            page_.Orientation = printer->Orientation();
        }
        if (exportFilter_ && !exportFilter_->Active())
            exportFilter_->Start(RoundHalfEven(page_.Width), RoundHalfEven(page_.Length), QFont());

        RunEngine();

        if (!inComposite) {
            engineLastPage_ = true;
            if (exportFilter_)
                exportFilter_->Finish();
        } else if (tag_ == 999) {
            engineLastPage_ = true;
        }
    } catch (...) {
        // The document is closed before the failure goes on; a second failure while
        // closing must not replace the first.
        try {
            endDocument();
        } catch (...) {
        }
        throw;
    }
    endDocument();
}

void TQRReport::RunEngine() {
    // The definition has no bands and no data set: nothing is printed and no page is
    // started. A run still honours a cancel request made before it.
    if (currentPrinter_ && currentPrinter_->CancelRequested())
        return;
}

void TQRReport::ApplyPrinterValues() {
    TQRPrinter* p = currentPrinter_;
    if (!p)
        return;
    p->SelectPrinter(printerSettings_.PrinterNumber);
    p->SetPaperSize(page_.PaperSize);
    if (p->PaperSize() == TQRPaperSize::Custom) {
        p->SetPaperWidth(RoundHalfEven(page_.Width));
        p->SetPaperLength(RoundHalfEven(page_.Length));
    }
    p->SetOrientation(page_.Orientation);
    p->SetCopies(printerSettings_.Copies);
    p->SetOutputBin(printerSettings_.OutputBin);
    p->SetFirstPage(printerSettings_.FirstPage);
    p->SetLastPage(printerSettings_.LastPage);
}

void TQRReport::AskPrintSettings() {
    TQRPrintDialog dialog(DialogPrinter ? *DialogPrinter : ApplicationPrinter());
    if (PrintDialogRunner)
        dialog.Runner = PrintDialogRunner;
    TPrinterDevice& platform = dialog.PlatformPrinter();
    const std::vector<std::string> names = platform.Printers();
    if (!names.empty()) {
        // The same printer again without its device mode: the driver's defaults apply.
        platform.ReleaseDevMode();
        const int index = printerSettings_.PrinterNumber;
        if (index >= -1 && index < static_cast<int>(names.size()))
            platform.SetPrinterIndex(index);
    }

    dialog.MinPage = 0;
    dialog.MaxPage = 9999;
    if (currentPrinter_ && currentPrinter_->State() == rsFinished) {
        dialog.MinPage = 1;
        dialog.MaxPage = currentPrinter_->PageTotal();
        dialog.FromPage = 1;
        dialog.ToPage = dialog.MaxPage;
    }
    dialog.Options = poPageNums | poWarning;

    if (!names.empty()) {
        TDevMode mode = platform.DevMode();
        if (mode.dmFields & DM_ORIENTATION) {
            mode.dmOrientation = page_.Orientation == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            platform.SetDevMode(mode);
        }
    }
    dialog.SetCopies(printerSettings_.Copies);

    if (!dialog.RunDialog()) {
        tag_ = 1;
        return;
    }
    printerSettings_.Copies = dialog.Copies();
    if (!names.empty()) {
        printerSettings_.PrinterNumber = platform.PrinterIndex();
        page_.Orientation = platform.DevMode().dmOrientation == DMORIENT_LANDSCAPE ? poLandscape : poPortrait;
    }
    if (dialog.PrintRange == prPageNums) {
        printerSettings_.FirstPage = dialog.FromPage;
        printerSettings_.LastPage = dialog.ToPage;
    } else {
        printerSettings_.FirstPage = 0;
        printerSettings_.LastPage = 0;
    }
    tag_ = 0;
}

void TQRReport::GenerateToPrinter() {
    TQRPrinter* remembered = currentPrinter_;
    const bool rememberedOwned = ownsCurrent_;
    if (!TakeFresh(false))
        return;
    TQRPrinter* fresh = currentPrinter_;
    auto restore = [&] {
        currentPrinter_ = remembered;
        ownsCurrent_ = rememberedOwned;
    };
    if (!fresh->HasPrinters()) {
        restore();
        ReleaseOwnedPrinter(fresh, false);
        return;
    }
    fresh->SetDestination(rdPrinter);
    auto progress = std::make_unique<TQRProgressForm>();
    progress->WatchedPrinter = fresh;
    if (showProgress_)
        progress->show();
    fresh->SetClientWindow(progress.get());
    TScopeExit cleanup([&] {
        restore();
        fresh->SetClientWindow(nullptr);
        ReleaseOwnedPrinter(fresh, false);
        progress.reset();
    });
    RunReport(false);
}

void TQRReport::GenerateToExportFilter(QObject* filter) {
    auto* exportFilter = qobject_cast<TQRExportFilter*>(filter);
    if (!exportFilter || !hostIdle_)
        return;
    exportFilter_ = exportFilter;
    exportFilter->Report = this;
    exportFilter->Printer = currentPrinter_;
    finalPass_ = false;

    TQRPrinter* remembered = currentPrinter_;
    const bool rememberedOwned = ownsCurrent_;
    TQRPrinter* plain = MakePrinter().release();
    currentPrinter_ = plain;
    ownsCurrent_ = true;
    auto progress = std::make_unique<TQRProgressForm>();
    progress->WatchedPrinter = plain;
    if (showProgress_)
        progress->show();
    plain->SetClientWindow(progress.get());
    TScopeExit cleanup([&] {
        plain->SetClientWindow(nullptr);
        delete plain;
        progress.reset();
        exportFilter_ = nullptr;
        finalPass_ = true;
        currentPrinter_ = remembered;
        ownsCurrent_ = rememberedOwned;
    });
    RunReport(false);
}

void TQRReport::FireAfterPreview(QObject*) {
    if (AfterPreview)
        AfterPreview(this);
}

void TQRReport::FireAfterPrint(QObject*) {
    if (AfterPrint)
        AfterPrint(this);
}

void TQRReport::ClosePreviewMessage() {
    if (!hostIdle_) {
        runCancelled_ = true;
        if (currentPrinter_)
            currentPrinter_->RequestCancel();
        return;
    }
    if (currentPrinter_ && currentPrinter_->PreviewShowing())
        currentPrinter_->SetPreviewShowing(false);
    // The request may come from inside the printer itself; it goes once that returns.
    ReleaseCurrentPrinter(true);
}

bool TQRReport::event(QEvent* e) {
    if (e->type() != TWindowMessage::EventType())
        return QObject::event(e);
    auto* m = static_cast<TWindowMessage*>(e);
    switch (m->Msg) {
    case MsgPageReady:
        if ((m->WParam & 0xFFFF) == 1 && currentPrinter_)
            thumbnailPage_ = currentPrinter_->PagePicture(1);
        return true;
    case MsgPrintRequest:
        GenerateToPrinter();
        return true;
    case MsgClosePreview:
        ClosePreviewMessage();
        return true;
    default:
        return false;
    }
}

void ApplyHostFormSettings(TQRReport& report) {
    TQRPage& page = report.Page();
    page.PaperSize = TQRPaperSize::Letter;
    page.Orientation = poPortrait;
    page.Columns = 1;
    page.BottomMargin = 100;
    page.Length = 2794;
    page.TopMargin = 100;
    page.Width = 2159;
    page.LeftMargin = 100;
    page.RightMargin = 100;
    page.ColumnSpace = 0;
    report.Options() = TQROptions{true, true, false};
    report.SetPrintIfEmpty(true);
    TQRReportPrinterSettings& settings = report.PrinterSettings();
    settings.Copies = 1;
    settings.Duplex = false;
    settings.FirstPage = 0;
    settings.LastPage = 0;
    settings.OutputBin = TQRBin::Auto;
    report.SetUnits(TQRUnit::MM);
    report.SetReportTitle(std::string());
    report.SetShowProgress(true);
}

} // namespace qrp
