// The renderer of one preview page, used by the command line, against the control.
#include "PreviewTestReports.h"

#include "base/Errors.h"
#include "base/ScreenMetrics.h"
#include "preview/PageSheet.h"
#include "preview/QRPreview.h"
#include "preview/QRPreviewImage.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qrp;
using namespace qrp::test;

namespace {

class PageRender : public ::testing::Test {
protected:
    void SetUp() override {
        SetScreenPixelsPerInch(96);
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.filePath("r.qrp").toStdString();
        WriteColoredReport(path, kA4Frame, 2, 20);
        printer = MakeScriptedPrinter();
        printer->LoadReport(path);
    }
    QTemporaryDir dir;
    std::unique_ptr<TQRPrinter> printer;
};

TEST_F(PageRender, DrawsWhatTheControlDrawsAtTheControlsSize) {
    for (int zoom : {100, 37}) {
        TQRPreview preview;
        preview.SetReportSource(printer.get());
        preview.SetPageNumber(2);
        preview.SetZoom(zoom);
        const QImage shown = preview.PageImage()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage rendered = RenderPreviewPage(*printer, 2, zoom).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(rendered.size(), shown.size()) << zoom;
        ASSERT_EQ(rendered.size(), PageImageSize(printer.get(), zoom));
        int compared = 0, differing = 0;
        for (int y = 0; y < rendered.height(); ++y)
            for (int x = 0; x < rendered.width(); ++x) {
                const QRgb r = rendered.pixel(x, y);
                if (qAlpha(r) != 255) {
                    // Only the two corners the shadow leaves out stay unpainted.
                    EXPECT_TRUE((x >= rendered.width() - 2 && y < 2) || (x < 2 && y >= rendered.height() - 2))
                        << x << "," << y;
                    continue;
                }
                ++compared;
                if (r != shown.pixel(x, y))
                    ++differing;
            }
        EXPECT_GT(compared, rendered.width() * rendered.height() - 10);
        EXPECT_EQ(differing, 0) << zoom;
        preview.SetReportSource(nullptr);
    }
}

TEST_F(PageRender, RefusesPagesAndZoomsOutsideTheirRanges) {
    for (int page : {0, -1, 3})
        EXPECT_THROW(RenderPreviewPage(*printer, page, 100), EError) << page;
    for (int zoom : {1, 2001, 0})
        EXPECT_THROW(RenderPreviewPage(*printer, 1, zoom), EError) << zoom;
    EXPECT_EQ(RenderPreviewPage(*printer, 1, 2).size(), QSize(20, 26)); // 16+4, 22+4
}

} // namespace
