// Printing on a real print queue: the "PDF" CUPS queue whose back end writes each job
// as a PDF file into ~/PDF, named after the job title. Skipped when no such queue runs.
#include "printer/QRPrinter.h"

#include "PdfTestSupport.h"
#include "PrinterTestSupport.h"
#include "emf/EmfPlayer.h"
#include "tests/support/CupsTestQueue.h"

#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

using namespace qrp;
using namespace qrp::testing;
namespace fs = std::filesystem;

namespace {

fs::path OutputDir()
{
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "/root") / "PDF";
}

int QueueIndex()
{
    const auto names = SystemPrinterNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == "PDF")
            return static_cast<int>(i);
    return -1;
}

// Waits until the queue has no job left (time-limited).
bool WaitForQueue()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (std::chrono::steady_clock::now() < until) {
        if (Shell("lpstat -o PDF").find("PDF-") == std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

std::vector<fs::path> OutputsOf(const std::string& title)
{
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(OutputDir(), ec))
        if (e.path().filename().string().rfind(title, 0) == 0)
            found.push_back(e.path());
    return found;
}

// A produced report of n pages on the given paper; page i carries a black block
// i x 30 mm wide, 10 mm from the top-left corner, and a frame 5 mm inside the edges.
void MakeReport(const std::string& path, int pages, TQRPaperSize paper, TPrinterOrientation orientation)
{
    auto d = std::make_unique<TScriptedPrinterDevice>(std::vector<TScriptedQueue>{Queue("Maker", {1, 9, 256})});
    TQRPrinter p(std::move(d), 0);
    p.SetPaperSize(paper);
    p.SetOrientation(orientation);
    p.BeginReport();
    for (int i = 1; i <= pages; ++i) {
        p.StartNewPage();
        QPainter& c = *p.PageCanvas();
        const int mm = p.ToDeviceWidth(10);
        c.fillRect(QRect(10 * mm, 10 * mm, i * 30 * mm, 10 * mm), Qt::black);
        c.setPen(QPen(Qt::black, 2 * mm));
        c.drawRect(QRect(5 * mm, 5 * mm, p.ToDeviceWidth(p.OrientedPaperWidth()) - 10 * mm,
                         p.ToDeviceHeight(p.OrientedPaperLength()) - 10 * mm));
    }
    p.EndReport();
    p.SaveReport(path);
}

// Dark cells of a coarse grid over a grey image.
std::vector<bool> InkGrid(const QImage& image, int cols, int rows)
{
    std::vector<bool> grid(cols * rows, false);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                grid[(y * rows / image.height()) * cols + x * cols / image.width()] = true;
    return grid;
}

} // namespace

// Fraction of grid cells where two images agree on having ink, and the inked cells of a.
std::pair<double, int> InkAgreement(const QImage& a, const QImage& b)
{
    const auto ga = InkGrid(a, 12, 17), gb = InkGrid(b.scaled(a.size()), 12, 17);
    int same = 0, inked = 0;
    for (size_t i = 0; i < ga.size(); ++i) {
        same += ga[i] == gb[i];
        inked += ga[i];
    }
    return {static_cast<double>(same) / ga.size(), inked};
}

class CupsPrintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Shell("command -v lpstat").empty() || Shell("command -v pdfinfo").empty())
            GTEST_SKIP() << "lpstat or pdfinfo is not installed";
        queue = QueueIndex();
        if (queue < 0)
            GTEST_SKIP() << "no CUPS queue \"PDF\" (start it with scripts/cups-pdf-queue.sh start)";
        if (!WaitForQueue())
            GTEST_SKIP() << "the PDF queue does not empty";
        title = "qrptest" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveOutputs();
    }
    void TearDown() override
    {
        if (!std::getenv("QRP_KEEP_PRINTS"))
            RemoveOutputs();
    }
    void RemoveOutputs()
    {
        if (title.empty())
            return;
        for (const auto& f : OutputsOf(title))
            fs::remove(f);
    }

    // Prints the report and returns the one PDF the back end wrote (empty when none).
    fs::path Print(TQRPrinter& p)
    {
        p.SetJobTitle(title);
        p.PrintPages();
        EXPECT_TRUE(WaitForQueue());
        auto outputs = OutputsOf(title);
        return outputs.size() == 1 ? outputs[0] : fs::path();
    }

    // Page 1 of the PDF at 20 dots per inch.
    QImage Rendered(const fs::path& pdf)
    {
        const std::string prefix = dir.File("printed");
        Shell("pdftoppm -r 20 -gray -f 1 -l 1 '" + pdf.string() + "' '" + prefix + "'");
        for (const auto& e : fs::directory_iterator(dir.Path()))
            if (e.path().filename().string().rfind("printed", 0) == 0)
                return QImage(QString::fromStdString(e.path().string()));
        return {};
    }

    // The report's page as the program plays it over a whole sheet of the given size.
    static QImage Own(TQRPrinter& p, int pageNo, QSize size)
    {
        QImage own(size, QImage::Format_RGB32);
        own.fill(Qt::white);
        QPainter painter(&own);
        if (auto page = p.PagePicture(pageNo))
            PlayMetafile(painter, *page, QRectF(0, 0, own.width(), own.height()));
        return own;
    }

    std::unique_ptr<TQRPrinter> Loaded(const std::string& path)
    {
        auto p = std::make_unique<TQRPrinter>();
        EXPECT_TRUE(p->HasPrinters());
        p->LoadReport(path);
        return p;
    }

    TTempDir dir;
    int queue = -1;
    std::string title;
};

TEST_F(CupsPrintTest, EveryPageOnTheDetectedPaper)
{
    MakeReport(dir.File("a4.qrp"), 3, TQRPaperSize::A4, poPortrait);
    auto p = Loaded(dir.File("a4.qrp"));
    EXPECT_EQ(p->PaperSize(), TQRPaperSize::A4);
    const fs::path pdf = Print(*p);
    ASSERT_FALSE(pdf.empty()) << "no output for " << title;
    const TPdfInfo info = PdfInfo(pdf);
    EXPECT_EQ(info.Pages, 3);
    EXPECT_NEAR(info.Width, 595, 1);
    EXPECT_NEAR(info.Height, 842, 1);
}

TEST_F(CupsPrintTest, LandscapeLetter)
{
    MakeReport(dir.File("letter.qrp"), 2, TQRPaperSize::Letter, poLandscape);
    auto p = Loaded(dir.File("letter.qrp"));
    EXPECT_EQ(p->Orientation(), poLandscape);
    const fs::path pdf = Print(*p);
    ASSERT_FALSE(pdf.empty());
    // The sheet is Letter as the printer takes it; the landscape page is turned on it,
    // its top edge along the sheet's left edge.
    const TPdfInfo info = PdfInfo(pdf);
    EXPECT_EQ(info.Pages, 2);
    EXPECT_NEAR(info.Width, 612, 1);
    EXPECT_NEAR(info.Height, 792, 1);
    const QImage printed = Rendered(pdf);
    ASSERT_FALSE(printed.isNull());
    const QImage own = Own(*p, 1, QSize(printed.height(), printed.width())).transformed(QTransform().rotate(-90));
    const auto [agreement, inked] = InkAgreement(printed, own);
    EXPECT_GT(inked, 20);
    EXPECT_GE(agreement, 0.95);
}

TEST_F(CupsPrintTest, RangeAndCollatedCopiesAfterSelectingThePrinter)
{
    // Collation is the queue's choice: this one's default is collated copies.
    cupstest::TTestQueue collating("collated");
    if (!collating.Ok())
        GTEST_SKIP() << "cannot add a cups-pdf queue (needs cups-pdf and CUPS administration rights)";
    collating.SetDefault(QStringLiteral("multiple-document-handling-default=separate-documents-collated-copies"));
    MakeReport(dir.File("five.qrp"), 5, TQRPaperSize::A4, poPortrait);
    auto p = Loaded(dir.File("five.qrp"));
    p->UpdatePrinterList();
    const auto names = p->DevicePrinter().Printers();
    const auto it = std::find(names.begin(), names.end(), collating.StdName());
    ASSERT_NE(it, names.end());
    p->SelectPrinter(static_cast<int>(it - names.begin()));
    p->SetCopies(2);
    p->SetFirstPage(2);
    p->SetLastPage(40); // past the report: only the pages that exist
    p->SetJobTitle(title);
    p->PrintPages();
    EXPECT_TRUE(collating.WaitUntilIdle());
    const auto outputs = OutputsOf(title);
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(PdfInfo(outputs[0]).Pages, 8);
}

TEST_F(CupsPrintTest, PrintedInkWhereTheReportHasIt)
{
    MakeReport(dir.File("ink.qrp"), 2, TQRPaperSize::A4, poPortrait);
    auto p = Loaded(dir.File("ink.qrp"));
    p->SetFirstPage(2);
    p->SetLastPage(2);
    const fs::path pdf = Print(*p);
    ASSERT_FALSE(pdf.empty());
    const QImage printed = Rendered(pdf);
    ASSERT_FALSE(printed.isNull());
    const auto [agreement, inked] = InkAgreement(printed, Own(*p, 2, printed.size()));
    EXPECT_GT(inked, 20);
    EXPECT_GE(agreement, 0.95);
    // Page 1 has a shorter block: the grid tells the pages apart.
    EXPECT_LT(InkAgreement(printed, Own(*p, 1, printed.size())).first, 1.0);
}

TEST_F(CupsPrintTest, CancelledPrintLeavesNoOutput)
{
    MakeReport(dir.File("cancel.qrp"), 4, TQRPaperSize::A4, poPortrait);
    auto p = Loaded(dir.File("cancel.qrp"));
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
    button.Printer = p.get();
    PostWindowMessage(&button, WM_USER + 100, 0, 0); // handled while page 1 starts
    const fs::path pdf = Print(*p);
    EXPECT_TRUE(pdf.empty());
    EXPECT_FALSE(p->DevicePrinter().Printing());
}
