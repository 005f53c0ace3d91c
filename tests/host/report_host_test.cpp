// The report host's operations around a loaded shared printer.
#include "../preview/PreviewTestReports.h"

#include "base/ScreenMetrics.h"
#include "host/QRExportFilter.h"
#include "host/QRReport.h"
#include "platform/WindowMessages.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"
#include "preview/QRStockPreviewWindow.h"

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::test;

namespace {

class ReportHost : public ::testing::Test {
protected:
    void SetUp() override {
        SetScreenPixelsPerInch(96);
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.filePath("r.qrp").toStdString();
        WriteColoredReport(path, kA4Frame, 3);
        shared = MakeScriptedPrinter();
        shared->LoadReport(path);
        host = std::make_unique<TQRReport>();
        ApplyHostFormSettings(*host);
        host->PrinterMaker = [this] {
            auto p = MakeScriptedPrinter();
            made.push_back(p.get());
            return p;
        };
        host->SetCurrentPrinter(shared.get());
    }
    void TearDown() override {
        host.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }


    QTemporaryDir dir;
    std::unique_ptr<TQRPrinter> shared;
    std::unique_ptr<TQRReport> host;
    std::vector<TQRPrinter*> made;
};

TEST_F(ReportHost, GeneratePagesLeavesTheSharedPrinterAsLoaded) {
    const int total = shared->PageTotal();
    const TReportState state = shared->State();
    const bool loaded = shared->LoadedFromFile();
    const auto page2 = shared->PagePicture(2)->Bytes();

    host->GeneratePages();

    EXPECT_EQ(shared->PageTotal(), total);
    EXPECT_EQ(shared->State(), state);
    EXPECT_EQ(shared->LoadedFromFile(), loaded);
    EXPECT_EQ(shared->PagePicture(2)->Bytes(), page2);
    ASSERT_EQ(made.size(), 1u);
    TQRPrinter* fresh = host->CurrentPrinter();
    EXPECT_EQ(fresh, made[0]);
    EXPECT_NE(fresh, shared.get());
    EXPECT_EQ(fresh->State(), rsFinished);
    EXPECT_EQ(fresh->PageTotal(), 0);
    EXPECT_TRUE(fresh->LoadedFromFile());
    EXPECT_EQ(fresh->HostWindow(), host.get());
    EXPECT_EQ(host->EnginePageCount(), 0);
    EXPECT_TRUE(host->HostIdle());
    EXPECT_EQ(host->Units(), TQRUnit::MM);
}

TEST_F(ReportHost, GenerateAndPreviewCallsOnPreviewOnceBeforeTheRunWithTheFreshPrinter) {
    TQRPreview previewControl;
    std::vector<QObject*> senders;
    std::vector<TReportState> statesAtCall;
    host->OnPreview = [&](QObject* sender) {
        senders.push_back(sender);
        statesAtCall.push_back(static_cast<TQRPrinter*>(sender)->State());
        // The shell's handler: the shared printer goes into the preview window.
        previewControl.SetReportSource(shared.get());
        previewControl.SetZoom(100);
    };
    host->GenerateAndPreview();
    ASSERT_EQ(senders.size(), 1u);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(senders[0], made[0]);
    EXPECT_EQ(statesAtCall[0], rsReady); // before the run
    EXPECT_EQ(host->CurrentPrinter(), made[0]);
    EXPECT_EQ(made[0]->State(), rsFinished);
    // The preview stays open on the shared printer after the call returns.
    EXPECT_EQ(previewControl.ReportSource(), shared.get());
    EXPECT_TRUE(shared->PreviewShowing());

    host->GenerateAndPreview();
    ASSERT_EQ(senders.size(), 2u);
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(senders[1], made[1]);
    EXPECT_EQ(previewControl.ReportSource(), shared.get());
    EXPECT_TRUE(previewControl.PageImage()->HasPicture());
    previewControl.SetReportSource(nullptr);
}

TEST_F(ReportHost, TwoOperationsMakeTwoFreshPrintersAndReleaseTheFirst) {
    host->GeneratePages();
    ASSERT_EQ(made.size(), 1u);
    QPointer<QObject> first(made[0]);
    host->OnPreview = [](QObject*) {};
    host->GenerateAndPreview();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_NE(made[0], made[1]);
    EXPECT_NE(made[1], shared.get());
    EXPECT_EQ(host->CurrentPrinter(), made[1]);
    EXPECT_TRUE(first.isNull()); // replaced and shown by nobody: released
    // The shared printer belongs to the shell and outlives the host.
    host.reset();
    EXPECT_EQ(shared->PageTotal(), 3);
}

TEST_F(ReportHost, ReleasedFreshPrinterDoesNotDetachThePreviewOfTheSharedPrinter) {
    TQRPreview previewControl;
    previewControl.SetReportSource(shared.get());
    host->GeneratePages(); // the fresh printer inherits the preview as its client window
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->ClientWindow(), &previewControl);
    QApplication::sendPostedEvents(&previewControl); // its page-ready announcement
    host->GeneratePages(); // releases the first fresh printer
    QApplication::sendPostedEvents();
    EXPECT_EQ(previewControl.ReportSource(), shared.get());
    EXPECT_EQ(shared->ClientWindow(), &previewControl);
    EXPECT_TRUE(previewControl.PageImage()->HasPicture());
    previewControl.SetReportSource(nullptr);
}

TEST_F(ReportHost, WithoutOnPreviewThePrinterOpensTheStockPreview) {
    QPointer<TQRStockPreviewWindow> window;
    bool closed = false;
    // Close the stock window once it is up; the operation waits for it.
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (closed || !host->CurrentPrinter())
            return;
        if (auto* w = qobject_cast<TQRStockPreviewWindow*>(host->CurrentPrinter()->PreviewWindow())) {
            window = w;
            EXPECT_EQ(w->Preview()->ReportSource(), host->CurrentPrinter());
            closed = true;
            w->close();
        }
    });
    closer.start();
    host->GenerateAndPreview();
    closer.stop();
    ASSERT_TRUE(closed);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull()); // the stock window goes when closed
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FALSE(made[0]->PreviewShowing());
}

TEST_F(ReportHost, MarginGuardAndBeforePrint) {
    TQRPage& page = host->Page();
    page.LeftMargin = 1500;
    page.RightMargin = 1000; // 2159 - 2500 < 0
    page.TopMargin = 1000;
    page.BottomMargin = 1000; // 2794 - 2000 fits
    bool seen = false;
    host->BeforePrint = [&](QObject* sender, bool& print) {
        EXPECT_EQ(sender, host.get());
        EXPECT_TRUE(print);
        EXPECT_FALSE(host->HostIdle());
        seen = true;
        print = false;
    };
    host->GeneratePages();
    EXPECT_TRUE(seen);
    EXPECT_EQ(page.LeftMargin, 0);
    EXPECT_EQ(page.RightMargin, 0);
    EXPECT_EQ(page.TopMargin, 1000);
    EXPECT_EQ(page.BottomMargin, 1000);
    // Skipped run: the printer was never begun or ended.
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->State(), rsReady);
    EXPECT_TRUE(host->HostIdle());
}

TEST_F(ReportHost, FailedRunLeavesTheHostIdleAndTheUnitsAsTheyWere) {
    host->PrinterMaker = [this] {
        auto p = MakeScriptedPrinter();
        p->BeginReport(); // not ready for another run
        made.push_back(p.get());
        return p;
    };
    EXPECT_THROW(host->GeneratePages(), EQRError);
    EXPECT_TRUE(host->HostIdle());
    EXPECT_EQ(host->Units(), TQRUnit::MM);
    // The next operation runs normally.
    host->PrinterMaker = [] { return MakeScriptedPrinter(); };
    host->GeneratePages();
    EXPECT_EQ(host->CurrentPrinter()->State(), rsFinished);
}

TEST_F(ReportHost, ClosePreviewMessage) {
    int afterPreview = 0;
    host->AfterPreview = [&](QObject* s) {
        EXPECT_EQ(s, host.get());
        ++afterPreview;
    };
    host->GeneratePages();
    QPointer<QObject> fresh(host->CurrentPrinter());
    host->CurrentPrinter()->SetPreviewShowing(true);
    host->CurrentPrinter()->RequestPreviewClose(); // sent to the host window
    EXPECT_EQ(afterPreview, 1);
    EXPECT_EQ(host->CurrentPrinter(), nullptr);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(fresh.isNull());

    // On the shared printer: cleared, never freed.
    host->SetCurrentPrinter(shared.get());
    SendWindowMessage(host.get(), MsgClosePreview, 0, 0);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(host->CurrentPrinter(), nullptr);
    EXPECT_EQ(shared->PageTotal(), 3);
}

TEST_F(ReportHost, ThumbnailFromPageReadyOfPageOne) {
    EXPECT_TRUE(SendWindowMessage(host.get(), MsgPageReady, 2, 0));
    EXPECT_EQ(host->ThumbnailPage(), nullptr);
    EXPECT_TRUE(SendWindowMessage(host.get(), MsgPageReady, 0x10001, 0));
    ASSERT_NE(host->ThumbnailPage(), nullptr);
    EXPECT_EQ(host->ThumbnailPage()->Bytes(), shared->PagePicture(1)->Bytes());
}

TEST_F(ReportHost, GenerateToPrinterRestoresThePreviousPrinter) {
    host->SetShowProgress(false);
    host->GenerateToPrinter();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(host->CurrentPrinter(), shared.get());

    // Without any printer installed nothing is run.
    host->PrinterMaker = [this] {
        auto p = std::make_unique<TQRPrinter>(std::make_unique<TScriptedPrinterDevice>(std::vector<TScriptedQueue>{}), -1);
        made.push_back(p.get());
        return p;
    };
    host->GenerateToPrinter();
    EXPECT_EQ(made.size(), 2u);
    EXPECT_EQ(host->CurrentPrinter(), shared.get());
}

class CountingFilter : public TQRExportFilter {
public:
    void Start(int w, int l, const QFont& f) override {
        ++starts;
        width = w;
        length = l;
        TQRExportFilter::Start(w, l, f);
    }
    void Finish() override {
        ++finishes;
        TQRExportFilter::Finish();
    }
    int starts = 0, finishes = 0, width = 0, length = 0;
};

TEST_F(ReportHost, ExportRunStartsAndFinishesTheFilterOnAPlainPrinter) {
    host->SetShowProgress(false);
    CountingFilter filter;
    host->GenerateToExportFilter(&filter);
    EXPECT_EQ(filter.starts, 1);
    EXPECT_EQ(filter.finishes, 1);
    EXPECT_EQ(filter.width, 2159);
    EXPECT_EQ(filter.length, 2794);
    EXPECT_EQ(filter.Report, host.get());
    EXPECT_EQ(filter.Printer, shared.get());
    EXPECT_FALSE(host->Exporting());
    EXPECT_TRUE(host->FinalPass());
    EXPECT_EQ(host->CurrentPrinter(), shared.get());
    ASSERT_EQ(made.size(), 1u);
}

TEST_F(ReportHost, AskPrintSettingsOffersTheReportsPages) {
    TScriptedQueue q;
    q.Defaults.dmCopies = 1;
    TScriptedQueue second;
    second.Name = "Second";
    TScriptedPrinterDevice platform({q, second});
    host->DialogPrinter = &platform;
    std::vector<TPrintDialogSetup> setups;
    std::optional<TPrintDialogChoice> answer;
    host->PrintDialogRunner = [&](const TPrintDialogSetup& s) {
        setups.push_back(s);
        return answer;
    };

    // The shared printer holds a finished report of 3 pages.
    TPrintDialogChoice choice;
    choice.PrinterName = "Second";
    choice.Range = prPageNums;
    choice.FromPage = 2;
    choice.ToPage = 3;
    choice.Copies = 2;
    choice.Orientation = poLandscape;
    answer = choice;
    host->AskPrintSettings();
    ASSERT_EQ(setups.size(), 1u);
    EXPECT_EQ(setups[0].MinPage, 1);
    EXPECT_EQ(setups[0].MaxPage, 3);
    EXPECT_EQ(setups[0].FromPage, 1);
    EXPECT_EQ(setups[0].ToPage, 3);
    EXPECT_TRUE(setups[0].AllowPageNums);
    EXPECT_FALSE(setups[0].AllowSelection);
    EXPECT_FALSE(setups[0].ShowPrintToFile);
    EXPECT_EQ(host->Tag(), 0);
    EXPECT_EQ(host->PrinterSettings().Copies, 2);
    EXPECT_EQ(host->PrinterSettings().FirstPage, 2);
    EXPECT_EQ(host->PrinterSettings().LastPage, 3);
    EXPECT_EQ(host->PrinterSettings().PrinterNumber, 1);
    EXPECT_EQ(host->Page().Orientation, poLandscape);

    // No finished report: 0 to 9999, no preset range; a cancel answers 1 in Tag.
    host->SetCurrentPrinter(nullptr);
    answer.reset();
    host->AskPrintSettings();
    ASSERT_EQ(setups.size(), 2u);
    EXPECT_EQ(setups[1].MinPage, 0);
    EXPECT_EQ(setups[1].MaxPage, 9999);
    EXPECT_EQ(setups[1].FromPage, 0);
    EXPECT_EQ(setups[1].ToPage, 0);
    EXPECT_EQ(host->Tag(), 1);
    EXPECT_EQ(host->PrinterSettings().FirstPage, 2); // a cancel changes nothing

    // All pages clears the range.
    choice.Range = prAllPages;
    answer = choice;
    host->AskPrintSettings();
    EXPECT_EQ(host->PrinterSettings().FirstPage, 0);
    EXPECT_EQ(host->PrinterSettings().LastPage, 0);
}

TEST(HostFormSettings, StoredValues) {
    SetScreenPixelsPerInch(96);
    TQRReport host;
    ApplyHostFormSettings(host);
    EXPECT_EQ(host.Page().PaperSize, TQRPaperSize::Letter);
    EXPECT_EQ(host.Page().Width, 2159);
    EXPECT_EQ(host.Page().Length, 2794);
    EXPECT_EQ(host.Page().LeftMargin + host.Page().RightMargin + host.Page().TopMargin + host.Page().BottomMargin, 400);
    EXPECT_TRUE(host.Options().FirstPageHeader);
    EXPECT_TRUE(host.Options().LastPageFooter);
    EXPECT_FALSE(host.Options().Compression);
    EXPECT_TRUE(host.PrintIfEmpty());
    EXPECT_TRUE(host.ShowProgress());
    EXPECT_EQ(host.PrinterSettings().Copies, 1);
    EXPECT_EQ(host.PrinterSettings().OutputBin, TQRBin::Auto);
    EXPECT_EQ(host.Units(), TQRUnit::MM);
    EXPECT_EQ(host.CurrentPrinter(), nullptr);
}

} // namespace

namespace {

TEST_F(ReportHost, ReplacedPrinterStillShownIsReleasedWhenItsPreviewCloses) {
    QPointer<QObject> shown;
    QPointer<TQRStockPreviewWindow> window;
    // While the stock preview shows the first fresh printer, another load replaces it.
    QTimer replacer;
    replacer.setInterval(10);
    QObject::connect(&replacer, &QTimer::timeout, [&] {
        if (!shown.isNull() || !host->HostIdle() || !host->CurrentPrinter() ||
            !host->CurrentPrinter()->PreviewShowing())
            return;
        shown = host->CurrentPrinter();
        window = qobject_cast<TQRStockPreviewWindow*>(host->CurrentPrinter()->PreviewWindow());
        host->GeneratePages();
    });
    replacer.start();
    host->GenerateAndPreview(); // returns once its printer is no longer current
    replacer.stop();
    ASSERT_EQ(made.size(), 2u);
    ASSERT_FALSE(window.isNull());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(shown.isNull()); // still on screen
    EXPECT_EQ(window->Preview()->ReportSource(), static_cast<TQRPrinter*>(shown.data()));

    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(host->CurrentPrinter(), made[1]);
}

} // namespace
