// The preview control against real saved reports loaded by a report printer.
#include "PreviewTestReports.h"

#include "base/ScreenMetrics.h"
#include "platform/WindowMessages.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::test;

namespace {

class PreviewControl : public ::testing::Test {
protected:
    void SetUp() override {
        SetScreenPixelsPerInch(96);
        ASSERT_TRUE(dir.isValid());
    }

    std::unique_ptr<TQRPrinter> Loaded(const TEmfRectL& frame, int pages, const char* name = "r.qrp") {
        const std::string path = dir.filePath(name).toStdString();
        WriteColoredReport(path, frame, pages);
        auto printer = MakeScriptedPrinter();
        printer->LoadReport(path);
        return printer;
    }

    static QImage Grab(TQRPreview& preview) { return preview.PageImage()->grab().toImage(); }

    QTemporaryDir dir;
};

TEST_F(PreviewControl, ImageSizesAtZoom100FollowTheOrientedPaper) {
    TQRPreview preview;
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageImage()->size(), QSize(220, 283)); // no source: the fallback paper

    auto a4 = Loaded(kA4Frame, 1, "a4.qrp");
    preview.SetReportSource(a4.get());
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageImage()->size(), QSize(798, 1127));
    EXPECT_EQ(preview.PageImage()->ZoomPercent(), 100);

    auto letter = Loaded(kLetterFrame, 1, "letter.qrp");
    preview.SetReportSource(letter.get());
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageImage()->size(), QSize(820, 1060));
    preview.SetReportSource(nullptr);
}

TEST_F(PreviewControl, FitsTheWholePageAndTheWidth) {
    auto a4 = Loaded(kA4Frame, 1);
    TQRPreview preview;
    preview.resize(876, 559);
    preview.SetReportSource(a4.get());
    preview.FitWholePage();
    EXPECT_EQ(preview.Zoom(), 47);
    EXPECT_EQ(preview.FitMode(), fmWholePage);
    preview.FitPageWidth();
    EXPECT_EQ(preview.Zoom(), 99);
    EXPECT_EQ(preview.FitMode(), fmPageWidth);

    // Without a source the width fit takes 95 percent of the fallback sheet.
    preview.SetReportSource(nullptr);
    preview.FitPageWidth();
    EXPECT_EQ(preview.Zoom(), 385); // 876 / 215.9 * 95 = 385.45
}

TEST_F(PreviewControl, ZoomOutsideTwoToTwoThousandChangesNothing) {
    TQRPreview preview;
    preview.resize(876, 559);
    preview.FitWholePage();
    const int fitted = preview.Zoom();
    const QSize size = preview.PageImage()->size();
    for (int bad : {1, 0, -5, 2001, 100000}) {
        preview.SetZoom(bad);
        EXPECT_EQ(preview.Zoom(), fitted) << bad;
        EXPECT_EQ(preview.FitMode(), fmWholePage) << bad;
        EXPECT_EQ(preview.PageImage()->size(), size) << bad;
    }
    preview.SetZoom(2);
    EXPECT_EQ(preview.Zoom(), 2);
    EXPECT_EQ(preview.FitMode(), fmFixed);
    preview.SetZoom(2000);
    EXPECT_EQ(preview.Zoom(), 2000);
    EXPECT_EQ(preview.PageImage()->size(), QSize(4322, 5592)); // 215.9 * 20 + 4, 279.4 * 20 + 4
}

TEST_F(PreviewControl, RefusedFitKeepsTheZoomButTakesTheMode) {
    auto a4 = Loaded(kA4Frame, 1);
    TQRPreview preview;
    preview.SetReportSource(a4.get());
    preview.SetZoom(100);
    preview.resize(10, 10); // 10 / 794 * 95 rounds to 1
    preview.FitWholePage();
    EXPECT_EQ(preview.Zoom(), 100);
    EXPECT_EQ(preview.FitMode(), fmWholePage);

    // The next resize tries again, and succeeds at a usable size.
    preview.show();
    preview.resize(876, 559);
    QApplication::processEvents();
    EXPECT_EQ(preview.Zoom(), 47);
    EXPECT_EQ(preview.FitMode(), fmWholePage);
    preview.SetReportSource(nullptr);
}

TEST_F(PreviewControl, CentresBySizeOfTheOuterControl) {
    auto a4 = Loaded(kA4Frame, 1);
    TQRPreview preview;
    preview.resize(1001, 700);
    preview.SetReportSource(a4.get());
    preview.SetZoom(50); // 1050 and 1485 tenths of a mm: 397 x 561, plus 4
    const QRect g = preview.PageImage()->geometry();
    EXPECT_EQ(g.size(), QSize(401, 565));
    EXPECT_EQ(g.left(), (1001 - 401) / 2);
    EXPECT_EQ(g.top(), (700 - 565) / 2);

    preview.SetZoom(200); // wider and taller than the control
    EXPECT_EQ(preview.PageImage()->pos(), QPoint(0, 0));

    preview.resize(2000, 700); // fixed zoom: a resize only re-centres
    preview.ApplyZoom();
    EXPECT_EQ(preview.Zoom(), 200);
    EXPECT_EQ(preview.PageImage()->x(), (2000 - preview.PageImage()->width()) / 2);
    EXPECT_EQ(preview.PageImage()->y(), 0);
    preview.SetReportSource(nullptr);
}

TEST_F(PreviewControl, PageAndZoomChangesScrollBackToTheOrigin) {
    auto a4 = Loaded(kA4Frame, 3);
    TQRPreview preview;
    preview.resize(400, 300);
    preview.show();
    preview.SetReportSource(a4.get());
    preview.SetZoom(300);
    QApplication::processEvents();
    ASSERT_GT(preview.horizontalScrollBar()->maximum(), 100);
    ASSERT_GT(preview.verticalScrollBar()->maximum(), 100);
    EXPECT_TRUE(preview.horizontalScrollBar()->hasTracking());
    EXPECT_TRUE(preview.verticalScrollBar()->hasTracking());

    preview.horizontalScrollBar()->setValue(80);
    preview.verticalScrollBar()->setValue(90);
    preview.SetPageNumber(2);
    EXPECT_EQ(preview.PageNumber(), 2);
    EXPECT_EQ(preview.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(preview.verticalScrollBar()->value(), 0);

    preview.horizontalScrollBar()->setValue(80);
    preview.verticalScrollBar()->setValue(90);
    preview.SetZoom(250);
    EXPECT_EQ(preview.horizontalScrollBar()->value(), 0);
    EXPECT_EQ(preview.verticalScrollBar()->value(), 0);

    // A refused page keeps the scroll position.
    preview.verticalScrollBar()->setValue(90);
    preview.SetPageNumber(4);
    EXPECT_EQ(preview.verticalScrollBar()->value(), 90);
    preview.SetReportSource(nullptr);
}

TEST_F(PreviewControl, PageNumberGuard) {
    auto a4 = Loaded(kA4Frame, 3);
    TQRPreview preview;
    preview.SetReportSource(a4.get());
    ASSERT_EQ(preview.PageNumber(), 1);
    ASSERT_TRUE(preview.PageImage()->HasPicture());
    const TMetafile* held = preview.PageImage()->PageMetafile();

    for (int bad : {0, -1, 4})
        preview.SetPageNumber(bad);
    EXPECT_EQ(preview.PageNumber(), 1);
    EXPECT_EQ(preview.PageImage()->PageMetafile(), held);
    preview.SetPageNumber(1); // shown and held: nothing is fetched again
    EXPECT_EQ(preview.PageImage()->PageMetafile(), held);

    preview.SetPageNumber(3);
    EXPECT_EQ(preview.PageNumber(), 3);
    EXPECT_EQ(preview.PageImage()->ShownPage(), 3);

    // An empty image takes the current page again.
    preview.PageImage()->LoadPage(7);
    EXPECT_FALSE(preview.PageImage()->HasPicture());
    preview.SetPageNumber(3);
    EXPECT_TRUE(preview.PageImage()->HasPicture());
    EXPECT_EQ(preview.PageImage()->ShownPage(), 3);

    // Detached, requests are ignored and the number stays.
    preview.SetReportSource(nullptr);
    preview.SetPageNumber(2);
    EXPECT_EQ(preview.PageNumber(), 3);
    EXPECT_FALSE(preview.PageImage()->HasPicture());
}

TEST_F(PreviewControl, AttachingSetsClientAndPreviewFlagAndDetachingClearsThem) {
    auto a4 = Loaded(kA4Frame, 2);
    auto other = Loaded(kLetterFrame, 1, "other.qrp");
    int afterPreview = 0;
    a4->AfterPreviewHook = [&](QObject* s) {
        EXPECT_EQ(s, a4.get());
        ++afterPreview;
    };
    {
        TQRPreview preview;
        preview.SetReportSource(a4.get());
        EXPECT_EQ(a4->ClientWindow(), &preview);
        EXPECT_TRUE(a4->PreviewShowing());
        preview.SetReportSource(other.get()); // the previous printer is released first
        EXPECT_EQ(a4->ClientWindow(), nullptr);
        EXPECT_FALSE(a4->PreviewShowing());
        EXPECT_EQ(afterPreview, 1);
        EXPECT_EQ(other->ClientWindow(), &preview);
    }
    // Destroying the control detaches its source.
    EXPECT_EQ(other->ClientWindow(), nullptr);
    EXPECT_FALSE(other->PreviewShowing());
}

TEST_F(PreviewControl, DestroyedSourceLeavesTheControlEmpty) {
    auto a4 = Loaded(kA4Frame, 2);
    TQRPreview preview;
    preview.SetReportSource(a4.get());
    ASSERT_TRUE(preview.PageImage()->HasPicture());
    a4.reset();
    EXPECT_EQ(preview.ReportSource(), nullptr);
    EXPECT_FALSE(preview.PageImage()->HasPicture());
    preview.SetPageNumber(2); // no source: ignored, no crash
    EXPECT_EQ(preview.PageNumber(), 1);
}

TEST_F(PreviewControl, PageReadyShowsTheAwaitedPageAtPageWidth) {
    auto printer = MakeScriptedPrinter();
    TQRPreview preview;
    preview.resize(600, 400);
    std::vector<int> available;
    preview.OnPageAvailable = [&](QObject* s, int n) {
        EXPECT_EQ(s, &preview);
        available.push_back(n);
    };
    printer->BeginReport();
    preview.SetReportSource(printer.get());
    preview.SetZoom(30);
    EXPECT_FALSE(preview.PageImage()->HasPicture());
    EXPECT_EQ(preview.FitMode(), fmFixed);

    printer->StartNewPage();
    printer->PageCanvas()->fillRect(QRect(100, 100, 300, 300), Qt::blue);
    printer->StartNewPage(); // page 1 is finished and announced
    QApplication::sendPostedEvents(&preview);

    ASSERT_EQ(available, std::vector<int>{1});
    EXPECT_TRUE(preview.PageImage()->HasPicture());
    EXPECT_EQ(preview.PageImage()->ShownPage(), 1);
    EXPECT_EQ(preview.FitMode(), fmPageWidth);
    long double pw = printer->ToDeviceWidth(static_cast<long double>(printer->OrientedPaperWidth()));
    EXPECT_EQ(preview.Zoom(), RoundHalfEven(600.0L / pw * 90.0L));

    // A second announcement while the page is held changes nothing but the event.
    preview.SetZoom(30);
    SendWindowMessage(&preview, MsgPageReady, 1, 0);
    EXPECT_EQ(preview.Zoom(), 30);
    EXPECT_EQ(available.size(), 2u);
    printer->EndReport();
    QApplication::sendPostedEvents(&preview);
    preview.SetReportSource(nullptr);
}

TEST_F(PreviewControl, MessagesReachTheEventsWithTheLow16Bits) {
    TQRPreview preview;
    std::vector<int> progress, pages;
    preview.OnProgressUpdate = [&](QObject* s, int p) {
        EXPECT_EQ(s, &preview);
        progress.push_back(p);
    };
    preview.OnPageAvailable = [&](QObject*, int n) { pages.push_back(n); };
    EXPECT_TRUE(SendWindowMessage(&preview, MsgProgress, 45, 0));
    EXPECT_TRUE(SendWindowMessage(&preview, MsgProgress, 0x10000 + 7, 0));
    EXPECT_TRUE(SendWindowMessage(&preview, MsgPageReady, 0x30002, 0)); // detached: only the event
    EXPECT_EQ(progress, (std::vector<int>{45, 7}));
    EXPECT_EQ(pages, std::vector<int>{2});
    EXPECT_FALSE(preview.PageImage()->HasPicture());
}

TEST_F(PreviewControl, SheetFrameShadowAndPageArePainted) {
    auto a4 = Loaded(kA4Frame, 2);
    TQRPreview preview;
    preview.SetReportSource(a4.get());
    preview.SetZoom(100);
    const QImage img = Grab(preview);
    const int W = img.width(), H = img.height();
    ASSERT_EQ(QSize(W, H), QSize(798, 1127));
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    auto px = [&](int x, int y) { return img.pixel(x, y) | 0xFF000000u; };

    // Frame: columns 0 and W-3, rows 0 and H-3.
    for (int y : {0, 10, H / 2, H - 3}) {
        EXPECT_EQ(px(0, y), black) << y;
        EXPECT_EQ(px(W - 3, y), black) << y;
    }
    for (int x : {0, 10, W / 2, W - 3}) {
        EXPECT_EQ(px(x, 0), black) << x;
        EXPECT_EQ(px(x, H - 3), black) << x;
    }
    // Sheet inside the frame.
    EXPECT_EQ(px(1, 1), white);
    EXPECT_EQ(px(W - 4, H - 4), white);
    EXPECT_EQ(px(W / 2, 20), white);
    // Shadow: two pixels right and below, from two pixels in.
    for (int y : {2, 3, H / 2, H - 1}) {
        EXPECT_EQ(px(W - 2, y), black) << y;
        EXPECT_EQ(px(W - 1, y), black) << y;
    }
    for (int x : {2, 3, W / 2, W - 1}) {
        EXPECT_EQ(px(x, H - 2), black) << x;
        EXPECT_EQ(px(x, H - 1), black) << x;
    }
    // The corners the shadow leaves out are not painted.
    const QRgb background = px(W - 1, 0);
    EXPECT_NE(background, black);
    EXPECT_EQ(px(W - 2, 1), background);
    EXPECT_EQ(px(0, H - 1), background);
    EXPECT_EQ(px(1, H - 2), background);
    // The page itself: page 1's box, stretched over the image.
    const QColor inBox = QColor(px(402, 553));
    EXPECT_EQ(inBox, PageColor(1));
    EXPECT_EQ(px(100, 100), white);

    preview.SetPageNumber(2);
    EXPECT_EQ(QColor(Grab(preview).pixel(402, 553)), PageColor(2));
    preview.SetReportSource(nullptr);
}

TEST_F(PreviewControl, EmptyReportDrawsNothingAtAll) {
    auto fresh = MakeScriptedPrinter(); // holds no report
    TQRPreview preview;
    preview.SetReportSource(fresh.get());
    preview.SetZoom(100);
    EXPECT_EQ(preview.PageNumber(), 1);
    EXPECT_FALSE(preview.PageImage()->HasPicture());
    const QImage img = Grab(preview);
    const QRgb background = img.pixel(0, 0);
    for (int y = 0; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 7)
            ASSERT_EQ(img.pixel(x, y), background) << x << "," << y;
    EXPECT_NE(background | 0xFF000000u, qRgb(0, 0, 0));
    preview.SetReportSource(nullptr);
}

} // namespace

namespace {

TEST_F(PreviewControl, MouseHandlersReachThePageFromTheLastAttach) {
    auto a4 = Loaded(kA4Frame, 1);
    TQRPreview preview;
    std::vector<std::string> calls;
    preview.MouseHandlers.OnMouseDown = [&](QObject* s, QMouseEvent*) {
        EXPECT_EQ(s, preview.PageImage());
        calls.push_back("down");
    };
    preview.MouseHandlers.OnClick = [&](QObject*) { calls.push_back("click"); };
    preview.SetReportSource(a4.get());
    preview.SetZoom(100);
    // Set after the attach: not passed on until the next one.
    preview.MouseHandlers.OnMouseUp = [&](QObject*, QMouseEvent*) { calls.push_back("up"); };

    const QPointF at(50, 50);
    QMouseEvent press(QEvent::MouseButtonPress, at, preview.PageImage()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, preview.PageImage()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(preview.PageImage(), &press);
    QApplication::sendEvent(preview.PageImage(), &release);
    EXPECT_EQ(calls, (std::vector<std::string>{"down", "click"}));

    calls.clear();
    preview.SetReportSource(a4.get());
    QApplication::sendEvent(preview.PageImage(), &press);
    QApplication::sendEvent(preview.PageImage(), &release);
    EXPECT_EQ(calls, (std::vector<std::string>{"down", "up", "click"}));
    preview.SetReportSource(nullptr);
}

} // namespace
