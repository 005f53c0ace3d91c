// The report printer on CUPS queues of the test's own: the hand-off of a job to a queue
// that refuses it, was removed or is stopped; copies without forced collation; the
// report's paper kept after choosing a printer; the printer list read afresh; and no
// print system at all. Skipped where no queue can be added.
#include "printer/QRPrinter.h"

#include "PdfTestSupport.h"
#include "PrinterTestSupport.h"
#include "platform/PrintSystem.h"
#include "tests/support/CupsTestQueue.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::testing;
using namespace qrp::cupstest;

namespace {

// A produced report of n pages on the given paper, each with a black block near its
// top-left corner, so that a printed page shows which way it was turned.
void MakeReport(const std::string& path, int pages, TQRPaperSize paper, TPrinterOrientation orientation)
{
    auto d = std::make_unique<TScriptedPrinterDevice>(std::vector<TScriptedQueue>{Queue("Maker", {1, 5, 9, 256})});
    TQRPrinter p(std::move(d), 0);
    p.SetPaperSize(paper);
    p.SetOrientation(orientation);
    p.BeginReport();
    const double mm = p.ToDeviceWidth(1000) / 100.0;
    for (int i = 1; i <= pages; ++i) {
        p.StartNewPage();
        p.PageCanvas()->fillRect(QRectF(15 * mm, 15 * mm, 40 * mm, 25 * mm), Qt::black);
    }
    p.EndReport();
    p.SaveReport(path);
}

int IndexOf(const std::vector<std::string>& names, const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    return -1;
}

class PrintQueues : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-v")}) < 0)
            GTEST_SKIP() << "pdfinfo is not installed";
        title = "i11q" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    void TearDown() override { RemovePdfOutputs(QString::fromStdString(title)); }

    // A loaded report on the system's printers, with the queue selected by its name.
    std::unique_ptr<TQRPrinter> LoadedOn(const std::string& report, const TTestQueue& queue)
    {
        auto p = std::make_unique<TQRPrinter>();
        p->LoadReport(report);
        const int index = IndexOf(p->DevicePrinter().Printers(), queue.StdName());
        EXPECT_GE(index, 0);
        p->SelectPrinter(index);
        p->SetJobTitle(title);
        return p;
    }

    // The one PDF the queue wrote for this test's title, once it is idle.
    QString PrintedPdf(const TTestQueue& queue)
    {
        EXPECT_TRUE(queue.WaitUntilIdle());
        QStringList files;
        for (int i = 0; i < 100 && files.isEmpty(); ++i) {
            files = PdfOutputs(QString::fromStdString(title));
            if (files.isEmpty())
                QThread::msleep(100);
        }
        return files.size() == 1 ? files[0] : QString();
    }

    TTempDir dir;
    std::string title;
};

#define REQUIRE_QUEUE(q)                                                                                         \
    if (!(q).Ok())                                                                                               \
    GTEST_SKIP() << "cannot add a cups-pdf queue (needs cups-pdf and CUPS administration rights)"

} // namespace

TEST_F(PrintQueues, RefusedAndRemovedQueuesRaiseTheirCause)
{
    TTestQueue refusing("x");
    TTestQueue doomed("y");
    REQUIRE_QUEUE(refusing);
    REQUIRE_QUEUE(doomed);
    MakeReport(dir.File("r.qrp"), 2, TQRPaperSize::A4, poPortrait);

    refusing.Reject();
    auto p = LoadedOn(dir.File("r.qrp"), refusing);
    try {
        p->PrintPages();
        FAIL() << "a refused job was reported as printed";
    } catch (const EPrinterError& e) {
        EXPECT_NE(std::string(e.what()).find("no acepta trabajos"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(refusing.StdName()), std::string::npos);
    }
    EXPECT_FALSE(p->DevicePrinter().Printing());
    EXPECT_TRUE(refusing.ActiveJobs().empty());

    auto q = LoadedOn(dir.File("r.qrp"), doomed);
    doomed.Remove();
    try {
        q->PrintPages();
        FAIL() << "a job for a removed queue was reported as printed";
    } catch (const EPrinterError& e) {
        EXPECT_EQ(std::string(e.what()), QueueGoneMessage(doomed.StdName()));
    }
    EXPECT_FALSE(q->PrintingPages());
}

TEST_F(PrintQueues, AStoppedQueueKeepsTheJobAndSaysSo)
{
    TTestQueue queue("s");
    REQUIRE_QUEUE(queue);
    MakeReport(dir.File("s.qrp"), 3, TQRPaperSize::A4, poPortrait);
    queue.Stop();
    auto p = LoadedOn(dir.File("s.qrp"), queue);
    p->PrintPages();
    EXPECT_NE(p->PrintNotice().find("detenida"), std::string::npos) << p->PrintNotice();
    EXPECT_EQ(queue.ActiveJobs().size(), 1u);

    // Running again, it prints the job; a job to a running queue carries no note.
    queue.Restart();
    const QString pdf = PrintedPdf(queue);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(PdfPages(pdf).size(), 3u);
    RemovePdfOutputs(QString::fromStdString(title));
    p->PrintPages();
    EXPECT_TRUE(p->PrintNotice().empty()) << p->PrintNotice();
    EXPECT_FALSE(PrintedPdf(queue).isEmpty());
}

TEST_F(PrintQueues, CopiesGoOnceAndTheQueueDecidesCollation)
{
    TTestQueue plain("c");
    TTestQueue collating("k");
    REQUIRE_QUEUE(plain);
    REQUIRE_QUEUE(collating);
    MakeReport(dir.File("c.qrp"), 3, TQRPaperSize::A4, poPortrait);

    // The job as the queue holds it: two copies asked for, no collation forced.
    plain.Stop();
    auto p = LoadedOn(dir.File("c.qrp"), plain);
    p->SetCopies(2);
    p->PrintPages();
    const std::vector<int> jobs = plain.ActiveJobs();
    ASSERT_EQ(jobs.size(), 1u);
    const auto attributes = TTestQueue::JobAttributes(jobs[0]);
    EXPECT_EQ(attributes.count("copies") ? attributes.at("copies") : "", "2");
    EXPECT_EQ(attributes.count("Collate"), 0u) << attributes.at("Collate");
    EXPECT_EQ(attributes.count("collate"), 0u);
    EXPECT_EQ(attributes.count("multiple-document-handling"), 0u) << attributes.at("multiple-document-handling");

    // A queue whose default is collated copies makes them: twice the three pages.
    collating.SetDefault(QStringLiteral("multiple-document-handling-default=separate-documents-collated-copies"));
    auto q = LoadedOn(dir.File("c.qrp"), collating);
    q->SetCopies(2);
    q->PrintPages();
    const QString pdf = PrintedPdf(collating);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_EQ(PdfPages(pdf).size(), 6u);
}

TEST_F(PrintQueues, TheReportsPaperOutlivesTheChoiceOfPrinter)
{
    TTestQueue queue("p");
    REQUIRE_QUEUE(queue);
    // Legal, portrait: 8.5 x 14 inches.
    MakeReport(dir.File("legal.qrp"), 2, TQRPaperSize::Legal, poPortrait);
    auto legal = LoadedOn(dir.File("legal.qrp"), queue);
    EXPECT_EQ(legal->PaperSize(), TQRPaperSize::Legal);
    legal->PrintPages();
    QString pdf = PrintedPdf(queue);
    ASSERT_FALSE(pdf.isEmpty());
    std::vector<TPdfPage> pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 2u);
    for (const TPdfPage& page : pages) {
        EXPECT_NEAR(page.Width, 612, 1);
        EXPECT_NEAR(page.Height, 1008, 1);
    }

    // Letter, landscape: the Letter sheet with the page turned onto it, its top edge
    // along the sheet's left edge.
    RemovePdfOutputs(QString::fromStdString(title));
    MakeReport(dir.File("wide.qrp"), 1, TQRPaperSize::Letter, poLandscape);
    auto wide = LoadedOn(dir.File("wide.qrp"), queue);
    EXPECT_EQ(wide->PaperSize(), TQRPaperSize::Letter);
    EXPECT_EQ(wide->Orientation(), poLandscape);
    wide->PrintPages();
    pdf = PrintedPdf(queue);
    ASSERT_FALSE(pdf.isEmpty());
    pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    const bool turnedSheet = pages[0].Rotation % 180 != 0;
    EXPECT_NEAR(turnedSheet ? pages[0].Height : pages[0].Width, 612, 1);
    EXPECT_NEAR(turnedSheet ? pages[0].Width : pages[0].Height, 792, 1);
    QTemporaryDir out;
    ASSERT_EQ(RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("10"), QStringLiteral("-gray"),
                                                   QStringLiteral("-singlefile"), pdf, out.path() + QStringLiteral("/p")}),
              0);
    const QImage printed(out.path() + QStringLiteral("/p.pgm"));
    ASSERT_FALSE(printed.isNull());
    // The block at the page's top left: there on a sheet shown turned, at the sheet's
    // bottom left where the page lies turned on an upright sheet.
    const bool upright = printed.height() > printed.width();
    const QPoint block = upright ? QPoint(printed.width() * 12 / 100, printed.height() * 88 / 100)
                                 : QPoint(printed.width() * 12 / 100, printed.height() * 12 / 100);
    const QPoint opposite(printed.width() - 1 - block.x(), printed.height() - 1 - block.y());
    EXPECT_LT(qGray(printed.pixel(block)), 100);
    EXPECT_GT(qGray(printed.pixel(opposite)), 200);
}

TEST_F(PrintQueues, IndexesReferToTheListAsItIsNow)
{
    TTestQueue target("t");
    REQUIRE_QUEUE(target);
    MakeReport(dir.File("i.qrp"), 1, TQRPaperSize::A4, poPortrait);
    TQRPrinter p;
    p.LoadReport(dir.File("i.qrp"));
    p.SetJobTitle(title);
    // A queue listed before the target appears after the printer was made.
    TTestQueue early("a");
    REQUIRE_QUEUE(early);
    early.Stop();
    target.Stop();
    p.UpdatePrinterList();
    const std::vector<std::string> names = p.DevicePrinter().Printers();
    EXPECT_EQ(names, SystemPrinterNames());
    ASSERT_LT(IndexOf(names, early.StdName()), IndexOf(names, target.StdName()));
    p.SelectPrinter(IndexOf(names, target.StdName()));
    EXPECT_EQ(p.DeviceSettings().DeviceName(), target.StdName());
    p.PrintPages();
    EXPECT_EQ(target.ActiveJobs().size(), 1u);
    EXPECT_TRUE(early.ActiveJobs().empty());

    // The selected queue stays selected when another one goes.
    early.Remove();
    p.UpdatePrinterList();
    EXPECT_EQ(p.DevicePrinter().DeviceName(), target.StdName());
    EXPECT_EQ(p.DevicePrinter().Printers()[p.DevicePrinter().PrinterIndex()], target.StdName());
}

TEST_F(PrintQueues, WithoutAPrintSystemNothingIsListedAndTheCauseIsNamed)
{
    QTemporaryDir gone;
    const QByteArray socket = QFile::encodeName(gone.path() + QStringLiteral("/no-scheduler.sock"));
    // From here on, this thread's print system is one that does not answer.
    cupsSetServer(socket.constData());
    struct TRestore {
        ~TRestore() { cupsSetServer(nullptr); }
    } restore;
    EXPECT_FALSE(PrintSystemRunning());
    EXPECT_TRUE(SystemPrinterNames().empty());
    TQRPrinter p;
    EXPECT_FALSE(p.HasPrinters());
    EXPECT_NE(NoPrinterMessage().find("no está en funcionamiento"), std::string::npos);
    MakeReport(dir.File("n.qrp"), 1, TQRPaperSize::A4, poPortrait);
    try {
        SubmitPrintJob("PDF", dir.File("n.qrp"), title, 1, {}, 5000);
        FAIL() << "a job was handed to a print system that does not run";
    } catch (const EPrinterError& e) {
        EXPECT_NE(std::string(e.what()).find("no está en funcionamiento"), std::string::npos) << e.what();
    }
}
