#include "printer/QRPrinter.h"

#include "PrinterTestSupport.h"
#include "storage/PageList.h"

#include <QCoreApplication>
#include <QPainter>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::testing;

namespace {

class TPageReadyLog : public QObject {
public:
    std::vector<std::intptr_t> Counts;
    bool event(QEvent* e) override
    {
        if (e->type() == TWindowMessage::EventType()) {
            auto* m = static_cast<TWindowMessage*>(e);
            if (m->Msg == MsgPageReady)
                Counts.push_back(m->WParam);
            return true;
        }
        return QObject::event(e);
    }
};

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

// Produces n pages, each with a filled block whose width grows with the page number.
void Produce(TQRPrinter& p, int pages)
{
    p.BeginReport();
    for (int i = 1; i <= pages; ++i) {
        p.StartNewPage();
        ASSERT_NE(p.PageCanvas(), nullptr);
        p.PageCanvas()->fillRect(QRect(10, 10, 20 * i, 40), Qt::black);
    }
    p.EndReport();
}

// Count of dark pixels in an image.
int Ink(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qGray(image.pixel(x, y)) < 128;
    return n;
}

} // namespace

TEST(PageProductionPages, ProducedReportSavesAndLoadsBack)
{
    TTempDir dir;
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    TPageReadyLog client;
    p.SetClientWindow(&client);
    Produce(p, 3);
    EXPECT_EQ(p.State(), rsFinished);
    EXPECT_EQ(p.PageTotal(), 3);
    EXPECT_EQ(p.PagesReady(), 3);
    EXPECT_EQ(p.PageCanvas(), nullptr);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(client.Counts, (std::vector<std::intptr_t>{1, 2, 3}));

    auto picture = p.PagePicture(2);
    ASSERT_NE(picture, nullptr);
    // A4 portrait at 96 pixels per inch: 2100 x 96 / 254 = 793.7, 2970 x 96 / 254 = 1122.52.
    EXPECT_EQ(picture->Width(), 794);
    EXPECT_EQ(picture->Height(), 1123);

    p.SaveReport(dir.File("made.qrp"));
    PrinterOn other({Queue("P", {1, 9, 10})});
    other.printer->LoadReport(dir.File("made.qrp"));
    EXPECT_EQ(other.printer->PageTotal(), 3);
    EXPECT_EQ(other.printer->PaperSize(), TQRPaperSize::A4Small);
    auto back = other.printer->PagePicture(3);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->Bytes(), p.PagePicture(3)->Bytes());
    EXPECT_NE(back->Bytes(), picture->Bytes());
}

TEST(PageProductionPages, LandscapeAndTheStreamSpills)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    p.SetOrientation(poLandscape);
    p.BeginReport();
    for (int i = 1; i <= 40; ++i) {
        p.StartNewPage();
        for (int k = 0; k < 200; ++k)
            p.PageCanvas()->drawText(QPointF(20, 20 + 5 * k), QStringLiteral("Linea %1 de la pagina %2").arg(k).arg(i));
    }
    p.EndReport();
    ASSERT_NE(p.PageList().Storage(), nullptr);
    EXPECT_FALSE(p.PageList().Storage()->Resident());
    EXPECT_EQ(p.PageList().Storage()->ResidentLimit(), 100000);
    auto first = p.PagePicture(1);
    ASSERT_NE(first, nullptr);
    EXPECT_GT(first->Width(), first->Height());
    EXPECT_EQ(p.PagePicture(40)->Width(), first->Width());
}

TEST(PageProductionPages, NoPagesStillCompletesTheList)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    TPageReadyLog client;
    p.SetClientWindow(&client);
    p.BeginReport();
    EXPECT_EQ(p.CurrentPageNo(), 0);
    EXPECT_EQ(p.PageCanvas(), nullptr);
    p.EndReport();
    EXPECT_EQ(p.PageTotal(), 0);
    EXPECT_EQ(p.State(), rsFinished);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(client.Counts, std::vector<std::intptr_t>{1});
    EXPECT_EQ(p.PageList().Storage()->Size(), 128);
    EXPECT_EQ(p.PagePicture(1), nullptr);
}

TEST(PageProductionPages, AbortKeepsTheOpenPage)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    p.BeginReport();
    p.StartNewPage();
    p.StartNewPage();
    p.PageCanvas()->fillRect(QRect(0, 0, 50, 50), Qt::black);
    p.AbortReport();
    EXPECT_EQ(p.State(), rsFinished);
    EXPECT_EQ(p.PageList().Count(), 2);
    EXPECT_NE(p.PagePicture(2), nullptr);
    EXPECT_THROW(p.StartNewPage(), EQRError);
    p.EndReport(); // outside production: nothing
    EXPECT_EQ(p.PageTotal(), 2);

    p.ClearReport();
    p.BeginReport();
    EXPECT_FALSE(p.CancelRequested());
    EXPECT_EQ(p.PageTotal(), 0);
    p.ClearReport(); // while producing: the run is told to stop
    EXPECT_TRUE(p.CancelRequested());
    EXPECT_EQ(p.State(), rsReady);
}

TEST(PageProductionPrinter, OnlyTheRangeReachesTheDevice)
{
    PrinterOn on({Queue("P")});
    TQRPrinter& p = *on.printer;
    p.SetDestination(rdPrinter);
    p.SetJobTitle("Directo");
    p.SetFirstPage(2);
    p.SetLastPage(3);
    int afterPrint = 0;
    p.AfterPrintHook = [&](QObject* s) {
        EXPECT_EQ(s, &p);
        ++afterPrint;
    };
    Produce(p, 5);
    EXPECT_EQ(on.device->Calls,
              (std::vector<std::string>{"SetDevMode", "SetTitle Directo", "BeginDoc", "NewPage", "StartPage", "EndDoc"}));
    ASSERT_EQ(on.device->Documents.size(), 1u);
    const auto& doc = on.device->Documents[0];
    EXPECT_EQ(doc.Title, "Directo");
    ASSERT_EQ(doc.Pages.size(), 2u);
    // Block widths 40 and 60 device pixels: pages 2 and 3.
    EXPECT_EQ(Ink(doc.Pages[0]), 40 * 40);
    EXPECT_EQ(Ink(doc.Pages[1]), 60 * 40);
    EXPECT_EQ(afterPrint, 1);
    EXPECT_EQ(p.PageTotal(), 5);
    EXPECT_EQ(p.HorzScale(), 96.0L / 254); // page 5 was a throw-away picture
}

TEST(PageProductionPrinter, WholeReportOneDevicePagePerPage)
{
    auto q = Queue("P");
    q.DpiX = 100;
    q.DpiY = 50;
    PrinterOn on({q});
    TQRPrinter& p = *on.printer;
    p.SetDestination(rdPrinter);
    Produce(p, 3);
    ASSERT_EQ(on.device->Documents.size(), 1u);
    EXPECT_EQ(on.device->Documents[0].Pages.size(), 3u);
    EXPECT_EQ(p.HorzScale(), 100.0L / 254);
    EXPECT_EQ(p.VertScale(), 50.0L / 254);

    on.device->Calls.clear();
    p.ClearReport();
    p.BeginReport();
    p.StartNewPage();
    p.AbortReport();
    EXPECT_EQ(on.device->Calls, (std::vector<std::string>{"SetDevMode", "SetTitle ", "BeginDoc", "Abort"}));
    EXPECT_TRUE(on.device->Documents.back().Aborted);
    EXPECT_FALSE(on.device->Printing());
}
