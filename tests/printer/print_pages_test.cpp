#include "printer/QRPrinter.h"

#include "PrinterTestSupport.h"

#include <QCoreApplication>
#include <QPainter>
#include <fstream>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::testing;

namespace {

struct PrinterOn {
    explicit PrinterOn(std::vector<TScriptedQueue> queues)
    {
        auto d = std::make_unique<TScriptedPrinterDevice>(std::move(queues));
        device = d.get();
        printer = std::make_unique<TQRPrinter>(std::move(d), 0);
        device->Calls.clear();
    }
    TScriptedPrinterDevice* device;
    std::unique_ptr<TQRPrinter> printer;
};

// A saved report of n A4 pages; page i carries a black block i x 10 mm wide at 10 mm
// from the top-left corner.
std::string MakeReport(const TTempDir& dir, int pages, const std::string& name = "r.qrp")
{
    PrinterOn maker({Queue("P")});
    TQRPrinter& p = *maker.printer;
    p.BeginReport();
    for (int i = 1; i <= pages; ++i) {
        p.StartNewPage();
        const int mm10 = p.ToDeviceWidth(100);
        p.PageCanvas()->fillRect(QRect(mm10, mm10, i * mm10, mm10), Qt::black);
    }
    p.EndReport();
    const std::string path = dir.File(name);
    p.SaveReport(path);
    return path;
}

// Width of the black run on the row through the middle of the block, in device pixels.
int BlockWidth(const QImage& page)
{
    const int y = page.height() * 15 / 297;
    int n = 0;
    for (int x = 0; x < page.width(); ++x)
        n += qGray(page.pixel(x, y)) < 128;
    return n;
}

std::vector<std::string> DocCalls(int pages, bool end = true)
{
    std::vector<std::string> calls{"SetTitle Informe", "SetDevMode", "BeginDoc"};
    for (int i = 1; i < pages; ++i)
        calls.push_back("NewPage");
    if (end)
        calls.push_back("EndDoc");
    return calls;
}

} // namespace

class PrintPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = MakeReport(dir, 5);
        on.printer->LoadReport(path);
        on.printer->SetJobTitle("Informe");
        on.device->Calls.clear();
    }
    const std::vector<QImage>& Pages() { return on.device->Documents.back().Pages; }
    std::vector<int> Widths()
    {
        std::vector<int> w;
        for (const auto& page : Pages())
            w.push_back(BlockWidth(page));
        return w;
    }

    TTempDir dir;
    std::string path;
    PrinterOn on{{Queue("P")}};
};

TEST_F(PrintPagesTest, WholeReportOneDocument)
{
    on.printer->PrintPages();
    EXPECT_EQ(on.device->Calls, DocCalls(5));
    ASSERT_EQ(on.device->Documents.size(), 1u);
    EXPECT_TRUE(on.device->Documents[0].Ended);
    // 50 dots per inch: i x 10 mm is close to i x 19.7 pixels.
    const auto w = Widths();
    ASSERT_EQ(w.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(w[i], (i + 1) * 19.7, 2) << "page " << i + 1;
    EXPECT_EQ(on.printer->State(), rsFinished);
    EXPECT_EQ(on.printer->CurrentPageNo(), 0); // never moved on a freshly loaded report

    on.printer->PrintPages(); // printable again
    EXPECT_EQ(on.device->Documents.size(), 2u);
}

TEST_F(PrintPagesTest, RangesAreTakenAndClampedToTheReport)
{
    struct Case {
        int first, last;
        std::vector<int> pages;
    } cases[] = {
        {3, 0, {3, 4, 5}}, {0, 2, {1, 2}}, {0, 0, {1, 2, 3, 4, 5}}, {2, 100, {2, 3, 4, 5}},
        {-3, 2, {1, 2}},   {5, 5, {5}},
    };
    for (const auto& c : cases) {
        on.printer->SetFirstPage(c.first);
        on.printer->SetLastPage(c.last);
        on.device->Calls.clear();
        on.printer->PrintPages();
        EXPECT_EQ(on.device->Calls, DocCalls(static_cast<int>(c.pages.size()))) << c.first << ".." << c.last;
        const auto w = Widths();
        ASSERT_EQ(w.size(), c.pages.size());
        for (size_t i = 0; i < w.size(); ++i)
            EXPECT_NEAR(w[i], c.pages[i] * 19.7, 2) << c.first << ".." << c.last << " #" << i;
    }
}

TEST_F(PrintPagesTest, EmptyRangeOpensNoDocument)
{
    for (auto [first, last] : {std::pair{4, 2}, std::pair{6, 0}, std::pair{-5, -1}}) {
        on.printer->SetFirstPage(first);
        on.printer->SetLastPage(last);
        on.printer->PrintPages();
    }
    EXPECT_TRUE(on.device->Calls.empty());
    EXPECT_TRUE(on.device->Documents.empty());
}

TEST_F(PrintPagesTest, CopiesAndPaperTravelInTheDeviceMode)
{
    on.printer->SetCopies(3);
    on.printer->SetOrientation(poLandscape);
    on.printer->PrintPages();
    ASSERT_FALSE(on.device->AppliedModes.empty());
    const TDevMode m = on.device->AppliedModes.back();
    EXPECT_EQ(m.dmCopies, 3);
    EXPECT_EQ(m.dmPaperSize, 9);
    EXPECT_EQ(m.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(on.device->Documents.back().Mode, m);
    EXPECT_EQ(on.device->Documents.back().Pages.size(), 5u); // each page once
    EXPECT_GT(on.device->Documents.back().Pages[0].width(), on.device->Documents.back().Pages[0].height());
}

TEST_F(PrintPagesTest, CancelDuringAPageStopsAfterIt)
{
    // A window handler run while page 2 prints asks for the cancel.
    struct TCancelButton : QObject {
        TQRPrinter* Printer = nullptr;
        bool event(QEvent* e) override
        {
            if (e->type() == TWindowMessage::EventType()) {
                Printer->RequestCancel();
                return true;
            }
            return QObject::event(e);
        }
    } button;
    button.Printer = on.printer.get();
    int newPages = 0;
    on.device->OnCall = [&](const std::string& call) {
        if (call == "NewPage" && ++newPages == 1)
            PostWindowMessage(&button, WM_USER + 100, 0, 0);
    };
    on.printer->PrintPages();
    EXPECT_EQ(on.device->Calls,
              (std::vector<std::string>{"SetTitle Informe", "SetDevMode", "BeginDoc", "NewPage", "NewPage", "Abort"}));
    EXPECT_TRUE(on.device->Documents.back().Aborted);
    EXPECT_FALSE(on.device->Printing());
}

TEST_F(PrintPagesTest, StaleCancelDoesNotCutANewPrintShort)
{
    on.printer->RequestCancel();
    on.printer->PrintPages();
    EXPECT_EQ(on.device->Calls, DocCalls(5));
    EXPECT_FALSE(on.printer->CancelRequested());
}

TEST_F(PrintPagesTest, StalePrintingJobIsAbortedFirst)
{
    on.device->BeginDoc();
    on.device->Calls.clear();
    on.printer->PrintPages();
    auto expected = DocCalls(5);
    expected.insert(expected.begin() + 1, "Abort");
    EXPECT_EQ(on.device->Calls, expected);
}

TEST_F(PrintPagesTest, NothingWithoutAFinishedReportOrPrinters)
{
    on.printer->ClearReport();
    on.printer->PrintPages();
    EXPECT_TRUE(on.device->Calls.empty());

    PrinterOn none({});
    none.printer->LoadReport(path);
    none.printer->PrintPages();
    EXPECT_TRUE(none.device->Calls.empty());
}

TEST_F(PrintPagesTest, DamagedPageEndsTheDocumentAndRaises)
{
    // Break the signature of page 3: records are the same size, one after the other.
    const auto size = std::filesystem::file_size(path);
    const auto record = (size - 128) / 5;
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(128 + 2 * record + 8 + 40));
        f.write("####", 4);
    }
    PrinterOn fresh({Queue("P")});
    fresh.printer->LoadReport(path);
    fresh.device->Calls.clear();
    EXPECT_THROW(fresh.printer->PrintPages(), EInvalidGraphic);
    ASSERT_EQ(fresh.device->Documents.size(), 1u);
    EXPECT_TRUE(fresh.device->Documents[0].Ended);
    EXPECT_EQ(fresh.device->Calls.back(), "EndDoc");
    ASSERT_GE(fresh.device->Documents[0].Pages.size(), 2u);
    EXPECT_NEAR(BlockWidth(fresh.device->Documents[0].Pages[1]), 2 * 19.7, 2);
}

TEST_F(PrintPagesTest, DeviceFailureLeavesNoDocumentOpen)
{
    on.device->OnCall = [](const std::string& call) {
        if (call == "NewPage")
            throw EPrinterError("Printer jammed");
    };
    EXPECT_THROW(on.printer->PrintPages(), EPrinterError);
    EXPECT_FALSE(on.device->Printing());
    EXPECT_EQ(on.device->Calls.back(), "EndDoc");
}
