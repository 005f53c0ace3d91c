#include "printer/QRPrinter.h"

#include "PrinterTestSupport.h"
#include "printer/PreviewInterfaceBase.h"

#include <QCoreApplication>
#include <QObject>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::testing;

namespace {

// Records the window messages it receives.
class TMessageLog : public QObject {
public:
    struct Entry {
        int Msg;
        std::intptr_t WParam, LParam;
    };
    std::vector<Entry> Received;
    std::function<void(const Entry&)> OnMessage;

    bool event(QEvent* e) override
    {
        if (e->type() == TWindowMessage::EventType()) {
            auto* m = static_cast<TWindowMessage*>(e);
            Received.push_back({m->Msg, m->WParam, m->LParam});
            if (OnMessage)
                OnMessage(Received.back());
            return true;
        }
        return QObject::event(e);
    }
};

struct PrinterOn {
    explicit PrinterOn(std::vector<TScriptedQueue> queues, int appIndex = 0)
    {
        auto d = std::make_unique<TScriptedPrinterDevice>(std::move(queues));
        device = d.get();
        printer = std::make_unique<TQRPrinter>(std::move(d), appIndex);
        device->Calls.clear();
    }
    TScriptedPrinterDevice* device;
    std::unique_ptr<TQRPrinter> printer;
};

TPrinterOrientation Loaded(TQRPrinter& p, const std::string& path)
{
    p.LoadReport(path);
    return p.Orientation();
}

} // namespace

TEST(QRPrinterConstruction, FromTheDeviceAndWithoutPrinters)
{
    auto q = Queue("First");
    q.OffsetX = 10; // 10 / 50 * 254 = 50.8
    q.OffsetY = 5;
    PrinterOn on({q, Queue("Second")}, 1);
    EXPECT_TRUE(on.printer->HasPrinters());
    EXPECT_EQ(on.device->PrinterIndex(), 1);
    EXPECT_EQ(on.printer->LeftUnprintable(), 51);
    EXPECT_EQ(on.printer->TopUnprintable(), 25);
    EXPECT_EQ(on.printer->State(), rsReady);
    EXPECT_EQ(on.printer->Destination(), rdPages);
    EXPECT_EQ(on.printer->HorzScale(), 1.0L);

    PrinterOn none({}, -1);
    EXPECT_FALSE(none.printer->HasPrinters());
    EXPECT_EQ(none.printer->PaperSize(), TQRPaperSize::A4);
    none.printer->SelectPrinter(3); // does nothing without printers
    EXPECT_TRUE(none.device->Calls.empty());
}

TEST(QRPrinterLoad, PaperDetectionLastMatchWins)
{
    TTempDir dir;
    const std::string letter = dir.File("letter.qrp"), a4 = dir.File("a4.qrp"), wide = dir.File("wide.qrp"),
                      square = dir.File("square.qrp"), odd = dir.File("odd.qrp");
    WriteReport(letter, PagesOfSize(2, 215.9, 279.4));
    WriteReport(a4, PagesOfSize(1, 210, 297));
    WriteReport(wide, PagesOfSize(1, 297, 210));
    WriteReport(square, PagesOfSize(1, 100, 100));
    WriteReport(odd, PagesOfSize(1, 50, 70));

    struct Case {
        std::string file;
        std::vector<std::int16_t> papers;
        TQRPaperSize size;
        TPrinterOrientation orientation;
    } cases[] = {
        {letter, {1, 2, 18, 9}, TQRPaperSize::Note, poPortrait},
        {letter, {1, 2, 9}, TQRPaperSize::LetterSmall, poPortrait},
        {letter, {1, 9}, TQRPaperSize::Letter, poPortrait},
        {a4, {9, 10}, TQRPaperSize::A4Small, poPortrait},
        {a4, {1, 9}, TQRPaperSize::A4, poPortrait},
        {wide, {1, 9}, TQRPaperSize::A4, poLandscape},
        {square, {24, 25, 9}, TQRPaperSize::DSheet, poLandscape},
        {square, {1, 9}, TQRPaperSize::A4, poLandscape}, // no sheet offered: size stays, orientation set
        {odd, {1, 9}, TQRPaperSize::A4, poPortrait},
    };
    for (const auto& c : cases) {
        auto q = Queue("P", c.papers);
        q.Defaults.dmPaperSize = 9;
        PrinterOn on({q});
        EXPECT_EQ(Loaded(*on.printer, c.file), c.orientation) << c.file;
        EXPECT_EQ(on.printer->PaperSize(), c.size) << c.file;
        EXPECT_EQ(on.printer->State(), rsFinished);
        EXPECT_TRUE(on.printer->LoadedFromFile());
    }
}

TEST(QRPrinterLoad, DetectionNeedsTheDeviceFields)
{
    TTempDir dir;
    WriteReport(dir.File("wide.qrp"), PagesOfSize(1, 297, 210));
    auto q = Queue("P", {1, 9});
    q.Defaults.dmFields = DM_PAPERSIZE; // no orientation field
    q.Defaults.dmPaperSize = 1;
    PrinterOn on({q});
    EXPECT_EQ(Loaded(*on.printer, dir.File("wide.qrp")), poPortrait);
    EXPECT_EQ(on.printer->PaperSize(), TQRPaperSize::A4);

    PrinterOn none({});
    EXPECT_EQ(Loaded(*none.printer, dir.File("wide.qrp")), poPortrait);
    EXPECT_EQ(none.printer->PaperSize(), TQRPaperSize::A4);
}

TEST(QRPrinterLoad, StateCountersAndScales)
{
    TTempDir dir;
    WriteReport(dir.File("three.qrp"), PagesOfSize(3, 210, 297));
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    p.SetFirstPage(2);
    p.SetLastPage(3);
    p.SetJobTitle("t");
    p.PrintSetupHook = [] {};
    p.ExportHook = [](QObject*) {};
    p.LoadReport(dir.File("three.qrp"));
    EXPECT_EQ(p.PageTotal(), 3);
    EXPECT_EQ(p.CurrentPageNo(), 0);
    EXPECT_EQ(p.HorzScale(), 96.0L / 254);
    EXPECT_EQ(p.VertScale(), 96.0L / 254);
    EXPECT_FALSE(p.PrintSetupHook);
    EXPECT_FALSE(p.ExportHook);
    EXPECT_EQ(p.FirstPage(), 2);
    EXPECT_EQ(p.JobTitle(), "t");

    EXPECT_EQ(p.PagePicture(0), nullptr);
    EXPECT_EQ(p.PagePicture(4), nullptr);
    auto page2 = p.PagePicture(2);
    ASSERT_NE(page2, nullptr);
    EXPECT_EQ(page2->Header().Device.Cx, 1025); // the tag of the second page

    p.SetCurrentPage(2); // current page 0: nothing happens
    EXPECT_EQ(p.CurrentPageNo(), 0);
    EXPECT_EQ(p.CurrentPagePicture(), nullptr);

    p.ClearReport();
    EXPECT_EQ(p.State(), rsReady);
    EXPECT_EQ(p.PagePicture(1), nullptr);
    EXPECT_EQ(p.FirstPage(), 2);
    EXPECT_EQ(p.LastPage(), 3);
    EXPECT_EQ(p.PageTotal(), 3);
}

TEST(QRPrinterLoad, FailuresLeaveThePrinterReady)
{
    TTempDir dir;
    WriteReport(dir.File("good.qrp"), PagesOfSize(1, 210, 297));
    {
        std::ofstream junk(dir.File("junk.qrp"), std::ios::binary);
        junk << std::string(300, 'x');
    }
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    p.LoadReport(dir.File("good.qrp"));
    EXPECT_THROW(p.LoadReport(dir.File("missing.qrp")), std::exception);
    EXPECT_EQ(p.State(), rsReady);
    EXPECT_TRUE(p.LoadedFromFile());
    EXPECT_THROW(p.LoadReport(dir.File("junk.qrp")), std::exception);
    EXPECT_EQ(p.State(), rsReady);
    p.LoadReport(dir.File("good.qrp"));
    EXPECT_EQ(p.State(), rsFinished);
}

TEST(QRPrinterSave, OnlyAFinishedReportIsWritten)
{
    TTempDir dir;
    WriteReport(dir.File("a.qrp"), PagesOfSize(2, 210, 297));
    PrinterOn on({Queue("P")});
    on.printer->SaveReport(dir.File("never.qrp"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("never.qrp")));
    on.printer->LoadReport(dir.File("a.qrp"));
    on.printer->SaveReport(dir.File("copy.qrp"));
    EXPECT_EQ(std::filesystem::file_size(dir.File("copy.qrp")), std::filesystem::file_size(dir.File("a.qrp")));
}

TEST(QRPrinterErrors, StatesAndPrinterIndex)
{
    TTempDir dir;
    WriteReport(dir.File("a.qrp"), PagesOfSize(1, 210, 297));
    PrinterOn on({Queue("A"), Queue("B")});
    TQRPrinter& p = *on.printer;
    try {
        p.StartNewPage();
        FAIL() << "StartNewPage outside production";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Illegal call to NewPage");
    }
    p.LoadReport(dir.File("a.qrp"));
    p.SetDestination(rdPrinter);
    on.device->Calls.clear();
    try {
        p.BeginReport();
        FAIL() << "BeginReport on a finished report";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "QRPrinter not ready");
    }
    // The device settings were applied before the state was checked.
    EXPECT_EQ(on.device->Calls, std::vector<std::string>{"SetDevMode"});
    EXPECT_EQ(p.State(), rsFinished);

    try {
        p.SelectPrinter(2);
        FAIL() << "index past the list";
    } catch (const EPrinterError& e) {
        EXPECT_STREQ(e.what(), "Printer index out of range");
    }
    EXPECT_THROW(p.SelectPrinter(-2), EPrinterError);
}

TEST(QRPrinterSelect, NewDefaultsButTheReportsPaperAndOrientationStay)
{
    TTempDir dir;
    WriteReport(dir.File("wide.qrp"), PagesOfSize(1, 297, 210));
    auto a = Queue("A", {1, 9});
    a.Defaults.dmPaperSize = 9;
    auto b = Queue("B", {1, 9});
    b.Defaults.dmPaperSize = 1;
    b.Defaults.dmCopies = 2;
    auto c = Queue("C", {1}); // no A4
    c.Defaults.dmPaperSize = 1;
    PrinterOn on({a, b, c});
    TQRPrinter& p = *on.printer;
    p.LoadReport(dir.File("wide.qrp"));
    p.SetCopies(5);
    ASSERT_EQ(p.Orientation(), poLandscape);
    ASSERT_EQ(p.PaperSize(), TQRPaperSize::A4);
    // B offers the report's A4: it stays, with B's other defaults.
    p.SelectPrinter(1);
    EXPECT_EQ(p.DeviceSettings().DeviceName(), "B");
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(p.Copies(), 2);
    EXPECT_EQ(p.Orientation(), poLandscape);
    EXPECT_EQ(on.device->Calls, (std::vector<std::string>{"SetPrinterIndex 1", "ReleaseDevMode"}));
    // C does not: its default paper applies.
    p.SelectPrinter(2);
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(p.Orientation(), poLandscape);
    p.SelectPrinter(-1);
    EXPECT_EQ(p.DeviceSettings().DeviceName(), "A");
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::A4);

    // A produced report has no first page to go by: the printer's default stands.
    PrinterOn producing({a, b});
    producing.printer->BeginReport();
    producing.printer->StartNewPage();
    producing.printer->EndReport();
    producing.printer->SelectPrinter(1);
    EXPECT_EQ(producing.printer->PaperSize(), TQRPaperSize::Letter);
}

TEST(QRPrinterGeometry, OrientedPaperAndDeviceUnits)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    EXPECT_EQ(p.OrientedPaperWidth(), 2100);
    EXPECT_EQ(p.OrientedPaperLength(), 2970);
    p.SetOrientation(poLandscape);
    EXPECT_EQ(p.OrientedPaperWidth(), 2970);
    EXPECT_EQ(p.OrientedPaperLength(), 2100);
    // Scale 1.0 at construction: halves go to even.
    EXPECT_EQ(p.ToDeviceWidth(2.5L), 2);
    EXPECT_EQ(p.ToDeviceWidth(3.5L), 4);
    EXPECT_EQ(p.ToDeviceHeight(-0.5L), 0);
    EXPECT_EQ(p.ToDeviceX(10.5L), 10);
    p.SetPaperSize(TQRPaperSize::Custom);
    p.SetPaperWidth(1000);
    p.SetPaperLength(1500);
    EXPECT_EQ(p.OrientedPaperWidth(), 1500);
    EXPECT_EQ(p.PaperWidth(), 1000);
}

TEST(QRPrinterMessages, PostedSentAndHooks)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    TMessageLog client, host;
    p.SetClientWindow(&client);
    p.SetHostWindow(&host);

    p.SetPagesReady(4);
    p.ReportProgress(60);
    EXPECT_TRUE(client.Received.empty()); // posted: not before the loop runs
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(client.Received.size(), 2u);
    EXPECT_EQ(client.Received[0].Msg, MsgPageReady);
    EXPECT_EQ(client.Received[0].WParam, 4);
    EXPECT_EQ(client.Received[1].Msg, MsgProgress);
    EXPECT_EQ(client.Received[1].WParam, 60);
    EXPECT_EQ(p.PagesReady(), 4);
    EXPECT_EQ(p.ProgressValue(), 60);

    p.RequestPreviewClose(); // sent: handled before it returns
    ASSERT_EQ(host.Received.size(), 1u);
    EXPECT_EQ(host.Received[0].Msg, MsgClosePreview);
    EXPECT_EQ(host.Received[0].LParam, reinterpret_cast<std::intptr_t>(&p));

    // A produced report (not loaded) is printed by its host.
    p.PrintPages();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(host.Received.size(), 2u);
    EXPECT_EQ(host.Received[1].Msg, MsgPrintRequest);
    EXPECT_TRUE(on.device->Calls.empty());

    int setups = 0;
    p.RunPrintSetup();
    p.PrintSetupHook = [&] { ++setups; };
    p.RunPrintSetup();
    EXPECT_EQ(setups, 1);
    QObject* exported = nullptr;
    p.ExportHook = [&](QObject* f) { exported = f; };
    p.ExportReport(&host);
    EXPECT_EQ(exported, &host);
}

TEST(QRPrinterPreview, ShowingFlagHookAndFactory)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    QObject* sender = nullptr;
    p.AfterPreviewHook = [&](QObject* s) {
        sender = s;
        throw EError("hook failed");
    };
    p.SetPreviewShowing(true);
    EXPECT_EQ(sender, nullptr);
    EXPECT_THROW(p.SetPreviewShowing(false), EError);
    EXPECT_EQ(sender, &p);
    EXPECT_FALSE(p.PreviewShowing()); // set even when the hook fails

    QObject window;
    struct TService : TQRPreviewInterfaceBase {
        QObject* Window;
        explicit TService(QObject* w) : Window(w) {}
        QObject* OpenPreview(TQRPrinter*) override { return Window; }
        QObject* OpenPreviewModal(TQRPrinter*) override { return nullptr; }
    };
    SetPreviewInterfaceFactory([&] { return std::make_unique<TService>(&window); });
    p.ShowPreview();
    EXPECT_EQ(p.PreviewWindow(), &window);
    SetPreviewInterfaceFactory(nullptr);
    p.ShowPreview();
    EXPECT_EQ(p.PreviewWindow(), nullptr);

    int hooked = 0;
    p.PreviewHook = [&](QObject*) { ++hooked; };
    p.ShowPreview();
    EXPECT_EQ(hooked, 1);
}

TEST(QRPrinterList, QueuesThatAppearLaterAreReadAndTheReportsPaperFollows)
{
    TTempDir dir;
    WriteReport(dir.File("legal.qrp"), PagesOfSize(1, 215.9, 355.6));
    PrinterOn on({}, -1);
    TQRPrinter& p = *on.printer;
    p.LoadReport(dir.File("legal.qrp"));
    ASSERT_FALSE(p.HasPrinters());
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::A4); // nothing offers Legal yet

    // The print system comes up with a queue that offers Legal.
    auto legal = Queue("L", {1, 5, 9});
    legal.OffsetX = 10;
    on.device->ChangeSystemQueues({legal});
    p.UpdatePrinterList();
    EXPECT_TRUE(p.HasPrinters());
    EXPECT_EQ(p.DevicePrinter().Printers(), std::vector<std::string>{"L"});
    EXPECT_EQ(p.DeviceSettings().DeviceName(), "L");
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::Legal);
    EXPECT_EQ(p.LeftUnprintable(), 51);

    // Another queue listed before it: the selected one stays selected at its new index.
    on.device->ChangeSystemQueues({Queue("A"), legal});
    p.UpdatePrinterList();
    EXPECT_EQ(p.DevicePrinter().PrinterIndex(), 1);
    EXPECT_EQ(p.DevicePrinter().DeviceName(), "L");

    // All gone again: nothing to print on, and PrintPages prints nothing.
    on.device->ChangeSystemQueues({});
    p.UpdatePrinterList();
    EXPECT_FALSE(p.HasPrinters());
    p.PrintPages();
    EXPECT_TRUE(on.device->Documents.empty());
}

TEST(QRPrinterPrinting, NothingClearsReloadsOrReprintsWhilePagesPrint)
{
    TTempDir dir;
    WriteReport(dir.File("three.qrp"), PagesOfSize(3, 210, 297));
    WriteReport(dir.File("other.qrp"), PagesOfSize(5, 210, 297));
    PrinterOn on({Queue("Q")});
    TQRPrinter& p = *on.printer;
    p.LoadReport(dir.File("three.qrp"));
    int refused = 0;
    on.device->OnCall = [&](const std::string& call) {
        if (call != "NewPage")
            return;
        EXPECT_TRUE(p.PrintingPages());
        for (const auto& attempt : std::vector<std::function<void()>>{
                 [&] { p.ClearReport(); }, [&] { p.LoadReport(dir.File("other.qrp")); }, [&] { p.PrintPages(); }}) {
            try {
                attempt();
            } catch (const EQRError&) {
                ++refused;
            }
        }
    };
    on.device->Notice = "kept by the queue";
    p.PrintPages();
    EXPECT_EQ(refused, 6); // three attempts at each of the two page breaks
    EXPECT_FALSE(p.PrintingPages());
    EXPECT_EQ(p.PageTotal(), 3);
    ASSERT_EQ(on.device->Documents.size(), 1u);
    EXPECT_EQ(on.device->Documents[0].Pages.size(), 3u);
    EXPECT_EQ(p.PrintNotice(), "kept by the queue");
    // After the job the report may be reloaded again.
    on.device->OnCall = nullptr;
    p.LoadReport(dir.File("other.qrp"));
    EXPECT_EQ(p.PageTotal(), 5);
}
