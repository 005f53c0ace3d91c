#include "printer/PdfExport.h"

#include "PdfTestSupport.h"
#include "PrinterTestSupport.h"
#include "emf/EmfPlayer.h"
#include "printer/QRPrinter.h"
#include "printer/SampleReport.h"

#include <QImage>
#include <QPainter>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>

using namespace qrp;
using namespace qrp::testing;
namespace fs = std::filesystem;

namespace {

std::unique_ptr<TQRPrinter> Loaded(const std::string& path)
{
    auto p = std::make_unique<TQRPrinter>(CreatePdfPaperDevice(), 0);
    p->LoadReport(path);
    return p;
}

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

class PdfExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Shell("command -v pdfinfo").empty())
            GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
    }
    TTempDir dir;
};

TEST_F(PdfExportTest, SampleReportRoundTrip)
{
    MakeSampleReport(dir.File("a4.qrp"), {4, false, false});
    MakeSampleReport(dir.File("letter.qrp"), {2, true, true});
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"a4.qrp", "letter.qrp"}));

    auto a4 = Loaded(dir.File("a4.qrp"));
    EXPECT_EQ(a4->PageTotal(), 4);
    EXPECT_EQ(a4->PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(a4->Orientation(), poPortrait);
    EXPECT_EQ(ExportReportToPdf(*a4, dir.File("a4.pdf")), 4);
    TPdfInfo info = PdfInfo(dir.File("a4.pdf"));
    EXPECT_EQ(info.Pages, 4);
    EXPECT_NEAR(info.Width, 595, 1);
    EXPECT_NEAR(info.Height, 842, 1);

    auto letter = Loaded(dir.File("letter.qrp"));
    EXPECT_TRUE(letter->Compressed());
    EXPECT_EQ(letter->PaperSize(), TQRPaperSize::Letter); // not Note: a PDF page has no such size
    EXPECT_EQ(ExportReportToPdf(*letter, dir.File("letter.pdf"), 2, 0), 1);
    info = PdfInfo(dir.File("letter.pdf"));
    EXPECT_EQ(info.Pages, 1);
    EXPECT_NEAR(info.Width, 612, 1);
    EXPECT_NEAR(info.Height, 792, 1);
}

TEST_F(PdfExportTest, LandscapeRangesAndInk)
{
    WriteReport(dir.File("wide.qrp"), PagesOfSize(5, 297, 210));
    auto p = Loaded(dir.File("wide.qrp"));
    ASSERT_EQ(p->Orientation(), poLandscape);
    EXPECT_EQ(ExportReportToPdf(*p, dir.File("wide.pdf"), 2, 40), 4);
    const TPdfInfo info = PdfInfo(dir.File("wide.pdf"));
    EXPECT_EQ(info.Pages, 4);
    EXPECT_NEAR(info.Width, 842, 1);
    EXPECT_NEAR(info.Height, 595, 1);

    // Ink where the page has it: the sample's page 1 against the program's own render.
    MakeSampleReport(dir.File("s.qrp"), {1, false, false});
    auto s = Loaded(dir.File("s.qrp"));
    ExportReportToPdf(*s, dir.File("s.pdf"));
    Shell("pdftoppm -r 30 -gray '" + dir.File("s.pdf") + "' '" + dir.File("s") + "'");
    QImage printed(QString::fromStdString(dir.File("s-1.pgm")));
    ASSERT_FALSE(printed.isNull());
    QImage own(printed.size(), QImage::Format_RGB32);
    own.fill(Qt::white);
    {
        QPainter painter(&own);
        PlayMetafile(painter, *s->PagePicture(1), QRectF(0, 0, own.width(), own.height()));
    }
    // Ink per cell of a 20 x 28 grid: the same cells must carry ink.
    auto grid = [](const QImage& image) {
        std::vector<bool> cells(20 * 28, false);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 160)
                    cells[(y * 28 / image.height()) * 20 + x * 20 / image.width()] = true;
        return cells;
    };
    const auto a = grid(printed), b = grid(own);
    int differ = 0, inked = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        differ += a[i] != b[i];
        inked += a[i];
    }
    EXPECT_GT(inked, 150);
    RecordProperty("differing_cells", differ);
    EXPECT_LE(differ, 30) << inked;
}

TEST_F(PdfExportTest, FailuresLeaveNoFileBehind)
{
    WriteReport(dir.File("r.qrp"), PagesOfSize(3, 210, 297));
    auto p = Loaded(dir.File("r.qrp"));
    try {
        ExportReportToPdf(*p, dir.File("out.pdf"), 4, 0);
        FAIL() << "empty range";
    } catch (const EError& e) {
        EXPECT_NE(std::string(e.what()).find("No page"), std::string::npos);
    }
    EXPECT_THROW(ExportReportToPdf(*p, dir.File("out.pdf"), 3, 2), EError);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"r.qrp"});

    // A damaged page 2: the export fails and an existing output stays as it was.
    const auto size = fs::file_size(dir.File("r.qrp"));
    const auto record = (size - 128) / 3;
    {
        std::fstream f(dir.File("r.qrp"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(128 + record + 8 + 40));
        f.write("####", 4);
    }
    {
        std::ofstream old(dir.File("out.pdf"));
        old << "earlier export";
    }
    auto damaged = Loaded(dir.File("r.qrp"));
    EXPECT_THROW(ExportReportToPdf(*damaged, dir.File("out.pdf")), EInvalidGraphic);
    EXPECT_EQ(Slurp(dir.File("out.pdf")), "earlier export");
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"out.pdf", "r.qrp"}));

    EXPECT_THROW(ExportReportToPdf(*p, dir.File("no/such/folder/out.pdf")), EError);
}
