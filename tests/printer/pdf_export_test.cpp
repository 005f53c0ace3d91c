#include "printer/PdfExport.h"

#include "PdfTestSupport.h"
#include "PrinterTestSupport.h"
#include "emf/EmfPlayer.h"
#include "printer/QRPrinter.h"
#include "printer/SampleReport.h"
#include "storage/PageList.h"
#include "storage/ReportDate.h"

#include <QImage>
#include <QPainter>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

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

    // Ink where the page has it: the sample's page 1 against the program's own render, at a
    // resolution where its text is legible (smaller text is drawn in light greys, as GDI
    // draws it).
    MakeSampleReport(dir.File("s.qrp"), {1, false, false});
    auto s = Loaded(dir.File("s.qrp"));
    ExportReportToPdf(*s, dir.File("s.pdf"));
    Shell("pdftoppm -r 72 -gray '" + dir.File("s.pdf") + "' '" + dir.File("s") + "'");
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

namespace {

// The value of a "Key:   value" line of pdfinfo's output.
std::string InfoField(const std::string& text, const std::string& key)
{
    std::smatch m;
    if (std::regex_search(text, m, std::regex("(^|\n)" + key + ":\\s+([^\n]*)")))
        return m[2];
    return {};
}

std::string IsoDate(double writtenAt)
{
    TDateTimeParts p;
    if (!DecodeDateTime(writtenAt, p))
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                  p.Second);
    return buf;
}

} // namespace

TEST_F(PdfExportTest, DocumentInformationArchivalMetadataAndPageLabels)
{
    MakeSampleReport(dir.File("ventas.qrp"), {3, false, false});
    auto p = Loaded(dir.File("ventas.qrp"));
    p->SetJobTitle("Ventas del trimestre");
    TQRPageList header;
    header.OpenFile(dir.File("ventas.qrp"));
    const std::string written = IsoDate(header.LastHeader().WrittenAt());
    ASSERT_FALSE(written.empty());

    ASSERT_EQ(ExportReportToPdf(*p, dir.File("plain.pdf"), 2, 0, false), 2);
    ASSERT_EQ(ExportReportToPdf(*p, dir.File("archive.pdf"), 0, 0, true), 3);
    for (const char* name : {"plain.pdf", "archive.pdf"}) {
        SCOPED_TRACE(name);
        const std::string pdf = dir.File(name);
        // The same document information either way: the report's name, its own date,
        // the program.
        const std::string info = Shell("pdfinfo -isodates '" + pdf + "'");
        EXPECT_EQ(InfoField(info, "Title"), "Ventas del trimestre");
        EXPECT_EQ(InfoField(info, "Creator"), "Visualizar Reportes");
        EXPECT_EQ(InfoField(info, "Producer").rfind("Visualizar Reportes (Qt ", 0), 0u) << info;
        EXPECT_EQ(InfoField(info, "CreationDate").substr(0, 19), written) << info;
        // Every font embedded.
        const std::string fonts = Shell("pdffonts '" + pdf + "'");
        int rows = 0;
        std::istringstream lines(fonts);
        std::string line;
        for (int i = 0; std::getline(lines, line); ++i) {
            if (i < 2 || line.empty())
                continue;
            ++rows;
            EXPECT_TRUE(std::regex_search(line, std::regex("\\syes\\s+(yes|no)\\s+yes\\s"))) << line;
        }
        EXPECT_GT(rows, 0);
    }

    // Archival: PDF/A-1b with the same values in its XMP metadata; the plain file has none.
    EXPECT_EQ(InfoField(Shell("pdfinfo '" + dir.File("plain.pdf") + "'"), "Metadata Stream"), "no");
    const std::string meta = Shell("pdfinfo -meta '" + dir.File("archive.pdf") + "'");
    EXPECT_NE(meta.find("<pdfaid:part>1</pdfaid:part>"), std::string::npos) << meta;
    EXPECT_NE(meta.find("<pdfaid:conformance>B</pdfaid:conformance>"), std::string::npos);
    EXPECT_NE(meta.find(">Ventas del trimestre</rdf:li>"), std::string::npos);
    EXPECT_NE(meta.find("<xmp:CreateDate>" + written + "</xmp:CreateDate>"), std::string::npos);
    EXPECT_NE(meta.find("<pdf:Producer>Visualizar Reportes (Qt "), std::string::npos);
    EXPECT_NE(meta.find("<xmp:CreatorTool>Visualizar Reportes</xmp:CreatorTool>"), std::string::npos);

    // The update after the writer's own file is sound, and each page is labelled with its
    // number in the report ("Página 2" for the first page of the range from 2).
    if (Shell("command -v qpdf").empty())
        GTEST_SKIP() << "qpdf is not installed";
    for (const auto& [name, start] : {std::pair{"plain.pdf", 2}, std::pair{"archive.pdf", 1}}) {
        SCOPED_TRACE(name);
        const std::string pdf = dir.File(name);
        EXPECT_NE(Shell("qpdf --check '" + pdf + "' && echo sound").find("sound"), std::string::npos);
        const std::string labels = Shell("qpdf --json --json-key=pagelabels '" + pdf + "'");
        EXPECT_NE(labels.find("\"/P\": \"u:Página \""), std::string::npos) << labels;
        EXPECT_NE(labels.find("\"/S\": \"/D\""), std::string::npos) << labels;
        EXPECT_NE(labels.find("\"/St\": " + std::to_string(start)), std::string::npos) << labels;
    }
}
