// The rules every qrptool command keeps alike: pages outside the report, a report cut
// short, the line that names each file written, a printing system that is not
// running, and the plain half that starts without loading the toolkit.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);
const QString kThumbnailer = QStringLiteral(QRP_THUMBNAILER_PATH);

void DrawNumbered(QPainter& p, int n, int count)
{
    p.setFont(QFont("Liberation Sans", 14));
    p.fillRect(QRect(50, 50, 300, 40), QColor(200, 200, 200));
    p.drawText(QPointF(60, 80), QString("Página %1 de %2").arg(n).arg(count));
}

std::string S(const QString& s) { return s.toStdString(); }

QStringList FilesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

class CommandRulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        report_ = Path("informe.qrp");
        WriteReport(report_.toStdString(), 4, DrawNumbered);
        out_ = Path("out");
        QDir().mkpath(out_);
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

    // A copy of the report cut short at the given fraction of its length.
    QString CutShort(const QString& name, double fraction) const
    {
        QFile in(report_);
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        const QByteArray bytes = in.readAll();
        const QString path = Path(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes.left(static_cast<int>(bytes.size() * fraction)));
        return path;
    }

    QTemporaryDir dir_;
    QString report_, out_;
};

} // namespace

TEST_F(CommandRulesTest, PagesOutsideTheReportFailEveryCommandAlike)
{
    const QString pdf = out_ + "/r.pdf", png = out_ + "/r.png", emf = out_ + "/r.emf";
    struct Case {
        QStringList Args;
        QString Message;
    };
    const QString seven = "page 7 is outside the report, which has 4 pages";
    const Case cases[] = {
        {{"export-pdf", report_, "-o", pdf, "--from", "7"}, seven},
        {{"export-pdf", report_, "-o", pdf, "--to", "9"}, "page 9 is outside the report, which has 4 pages"},
        {{"export-pdf", report_, "-o", pdf, "--from", "0", "--to", "2"},
         "page 0 is outside the report, which has 4 pages"},
        {{"export-pdf", report_, "-o", pdf, "--from", "3", "--to", "2"}, "the page range 3 to 2 runs backwards"},
        {{"render", report_, "--page", "7", "-o", png}, seven},
        {{"render", report_, "--page", "-1", "-o", png}, "page -1 is outside the report, which has 4 pages"},
        {{"extract", report_, "7", "-o", emf}, seven},
        {{"extract", report_, "0", "-o", emf}, "page 0 is outside the report, which has 4 pages"},
        {{"export-png", report_, "--pages", "7", "-d", out_}, seven},
        {{"export-png", report_, "--pages", "3-9", "-d", out_}, "page 9 is outside the report, which has 4 pages"},
        {{"export-png", report_, "--pages", "3-2", "-d", out_}, "the page range 3 to 2 runs backwards"},
        {{"text", report_, "--page", "7"}, seven},
        {{"text", report_, "--page", "0"}, "page 0 is outside the report, which has 4 pages"},
        // Checked before the printing system is asked anything: nothing is printed.
        {{"print", report_, "--from", "7"}, seven},
        {{"print", report_, "--from", "3", "--to", "2"}, "the page range 3 to 2 runs backwards"},
    };
    for (const Case& c : cases) {
        const auto r = RunProgram(kQrptool, c.Args);
        const QString what = c.Args.join(' ');
        EXPECT_EQ(r.ExitCode, 1) << what.toStdString();
        EXPECT_EQ(r.Err.toStdString(), S("qrptool " + c.Args[0] + ": " + c.Message + "\n"))
            << what.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << what.toStdString();
        EXPECT_TRUE(FilesIn(out_).isEmpty()) << what.toStdString();
    }

    // Converting many reports, each report is held to the same rule.
    const auto batch = RunProgram(kQrptool, {"export-pdf", report_, "-d", out_, "--from", "7"});
    EXPECT_EQ(batch.ExitCode, 1);
    EXPECT_TRUE(batch.Out.contains("FAILED  " + report_.toUtf8() + ": " + seven.toUtf8() + "\n"))
        << batch.Out.toStdString();
    EXPECT_TRUE(FilesIn(out_).isEmpty());

    // The same numbers inside the report are fine.
    const auto ok = RunProgram(kQrptool, {"export-pdf", report_, "-o", pdf, "--from", "4", "--to", "4"});
    EXPECT_EQ(ok.ExitCode, 0) << ok.Err.toStdString();
    EXPECT_EQ(ok.Out.toStdString(), S(pdf + ": 1 page\n"));
}

TEST_F(CommandRulesTest, ReportCutShortGivesTheSameMessageEverywhere)
{
    // Inside page 1, inside page 2, inside the last page.
    for (const double fraction : {0.1, 0.4, 0.9}) {
        const QString cut = CutShort(QString("cut-%1.qrp").arg(fraction), fraction);
        const auto info = RunProgram(kQrptool, {"info", cut});
        ASSERT_EQ(info.ExitCode, 1) << fraction;
        const QString prefix = "qrptool info: ";
        const QString err = QString::fromUtf8(info.Err);
        ASSERT_TRUE(err.startsWith(prefix + "The report's page records are damaged: ")) << err.toStdString();
        const QString message = err.mid(prefix.size());

        const QStringList commands[] = {
            {"export-pdf", cut, "-o", out_ + "/cut.pdf"},
            {"export-png", cut, "-d", out_},
            {"text", cut},
            {"render", cut, "--page", "4", "-o", out_ + "/cut.png"},
            {"extract", cut, "4", "-o", out_ + "/cut.emf"},
            // Before any printer is asked: nothing is printed.
            {"print", cut},
        };
        for (const QStringList& args : commands) {
            const auto r = RunProgram(kQrptool, args);
            EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
            EXPECT_EQ(r.Err.toStdString(), S("qrptool " + args[0] + ": " + message))
                << args.join(' ').toStdString();
            EXPECT_TRUE(FilesIn(out_).isEmpty()) << args.join(' ').toStdString();
        }
        if (fraction < 0.25) {
            const auto t = RunProgram(kThumbnailer, {"-s", "64", cut, out_ + "/thumb.png"});
            EXPECT_EQ(t.ExitCode, 1);
            EXPECT_EQ(t.Err.toStdString(), S("qrp-thumbnailer: " + cut + ": " + message));
        } else {
            // The pages before the cut are still there to read.
            const auto first = RunProgram(kQrptool, {"text", cut, "--page", "1"});
            EXPECT_EQ(first.ExitCode, 0) << first.Err.toStdString();
            EXPECT_TRUE(first.Out.contains("Página 1 de 4")) << first.Out.toStdString();
        }
    }
}

TEST_F(CommandRulesTest, EveryWritingCommandNamesWhatItWrote)
{
    auto run = [](const QStringList& args) {
        const auto r = RunProgram(kQrptool, args);
        EXPECT_EQ(r.ExitCode, 0) << args.join(' ').toStdString() << ": " << r.Err.toStdString();
        EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString();
        return r.Out.toStdString();
    };
    const QString sample = Path("muestra.qrp");
    EXPECT_EQ(run({"make-sample", sample, "--pages", "2", "--compress"}),
              S(sample + ": 2 pages, A4, compressed\n"));

    const QString emf = Path("p2.emf");
    const std::string extracted = run({"extract", report_, "2", "-o", emf});
    EXPECT_EQ(extracted, S(emf + QString(": page 2, %1 bytes\n").arg(QFileInfo(emf).size())));

    const QString made = Path("hecho.qrp");
    EXPECT_EQ(run({"make", made, emf, emf, emf}), S(made + ": 3 pages\n"));

    const QString png = Path("r.png");
    const std::string rendered = run({"render", report_, "--page", "3", "--zoom", "50", "-o", png});
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(rendered,
              S(png + QString(": page 3 at 50 %, %1 x %2 pixels\n").arg(image.width()).arg(image.height())));

    const QString emfPng = Path("e.png");
    const std::string played = run({"emf-render", emf, "-o", emfPng, "--width", "200", "--height", "283"});
    EXPECT_EQ(played, S(emfPng + ": 200 x 283 pixels\n"));
    EXPECT_EQ(QImage(emfPng).size(), QSize(200, 283));

    const QString pdf = Path("r.pdf");
    EXPECT_EQ(run({"export-pdf", report_, "-o", pdf, "--from", "2"}), S(pdf + ": 3 pages\n"));

    // One line per image, in page order, once they are all written.
    const std::string pngs = run({"export-png", report_, "--pages", "1-2", "--dpi", "48", "-d", out_});
    EXPECT_EQ(pngs, S(out_ + "/informe-1.png: page 1, 397 x 562 pixels\n" + out_ +
                      "/informe-2.png: page 2, 397 x 562 pixels\n"));

    const QString many = Path("pdfs");
    const auto batch = RunProgram(kQrptool, {"export-pdf", report_, sample, "-d", many});
    EXPECT_EQ(batch.ExitCode, 0) << batch.Err.toStdString();
    EXPECT_EQ(batch.Out.toStdString(), S(many + "/informe.pdf: 4 pages\n" + many +
                                         "/muestra.pdf: 2 pages\n2 of 2 reports converted, 6 pages, 0 failed\n"));

    // Every path named is there.
    for (const QString& f : {sample, emf, made, png, emfPng, pdf, out_ + "/informe-1.png", many + "/muestra.pdf"})
        EXPECT_TRUE(QFileInfo::exists(f)) << f.toStdString();
}

TEST_F(CommandRulesTest, PrintingSystemNotRunningIsSaid)
{
    // A scheduler that is not there: CUPS clients follow CUPS_SERVER.
    QProcessEnvironment noCups;
    noCups.insert("CUPS_SERVER", Path("no-cups.sock"));
    // printers and print give the same cause, in one line, in the words the viewer
    // gives it.
    const auto printers = RunProgram(kQrptool, {"printers"}, 120000, noCups);
    EXPECT_EQ(printers.ExitCode, 1);
    EXPECT_TRUE(printers.Out.isEmpty());
    const std::string prefix = "qrptool printers: ";
    const std::string err = printers.Err.toStdString();
    ASSERT_EQ(err.rfind(prefix, 0), 0u) << err;
    const std::string cause = err.substr(prefix.size());
    EXPECT_NE(cause.find("no está en funcionamiento"), std::string::npos) << cause;
    EXPECT_EQ(std::count(cause.begin(), cause.end(), '\n'), 1) << cause;

    const auto print = RunProgram(kQrptool, {"print", report_}, 120000, noCups);
    EXPECT_EQ(print.ExitCode, 1);
    EXPECT_EQ(print.Err.toStdString(), "qrptool print: " + cause);
}

TEST_F(CommandRulesTest, PrintersNamesThePapersOffered)
{
    const auto r = RunProgram(kQrptool, {"printers"});
    if (r.ExitCode != 0 || !r.Out.contains("PDF"))
        GTEST_SKIP() << "no running printing system with the queue \"PDF\" (scripts/cups-pdf-queue.sh start)";
    // Every offered code comes with a name: A4 and Letter by the report printer's names.
    const QString out = QString::fromUtf8(r.Out);
    EXPECT_TRUE(out.contains(QRegularExpression(R"(\n +9 A4 210 x 297 mm\n)"))) << r.Out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(R"(\n +1 Letter 8 1/2 x 11 in\n)"))) << r.Out.toStdString();
    EXPECT_FALSE(out.contains("unknown size")) << r.Out.toStdString();
}

TEST_F(CommandRulesTest, CommandsThatDrawNothingLoadNoToolkit)
{
    // The dynamic loader lists every library it loads, the modules included.
    QProcessEnvironment trace;
    trace.insert("LD_DEBUG", "libs");
    auto loadsToolkit = [&](const QString& program, const QStringList& args) {
        const auto r = RunProgram(program, args, 120000, trace);
        return r.Err.contains("libQt6Core");
    };
    const QString emf = Path("p1.emf");
    ASSERT_EQ(RunProgram(kQrptool, {"extract", report_, "1", "-o", emf}).ExitCode, 0);
    const QStringList plain[] = {
        {"--version"},
        {"--help"},
        {"info", report_},
        {"info", report_, "--json"},
        {"text", report_},
        {"extract", report_, "1", "-o", Path("again.emf")},
        {"make", Path("m.qrp"), emf},
        {"emf-dump", emf},
        {"render", "--help"},
        {"export-pdf", "--help"},
        {"no-such-command"},
    };
    for (const QStringList& args : plain)
        EXPECT_FALSE(loadsToolkit(kQrptool, args)) << args.join(' ').toStdString();
    EXPECT_FALSE(loadsToolkit(kThumbnailer, {"--help"}));
    EXPECT_FALSE(loadsToolkit(kThumbnailer, {"-s", "0", report_, Path("t.png")}));
    // The probe sees the toolkit where it is loaded.
    EXPECT_TRUE(loadsToolkit(kQrptool, {"render", report_, "--page", "1", "-o", Path("r.png")}));
    EXPECT_TRUE(loadsToolkit(kThumbnailer, {"-s", "64", report_, Path("t.png")}));

    // Drawing onto images needs no printing support (Qt's, CUPS and what they bring).
    auto loadsPrinting = [&](const QStringList& args) {
        const auto r = RunProgram(kQrptool, args, 120000, trace);
        EXPECT_EQ(r.ExitCode, 0) << args.join(' ').toStdString();
        return r.Err.contains("libQt6PrintSupport") || r.Err.contains("libcups");
    };
    // Searching the text needs Qt's core only.
    const auto search = RunProgram(kQrptool, {"grep", "Página", report_}, 120000, trace);
    EXPECT_EQ(search.ExitCode, 0) << search.Err.toStdString();
    EXPECT_TRUE(search.Err.contains("libQt6Core"));
    EXPECT_FALSE(search.Err.contains("libQt6Gui"));

    EXPECT_FALSE(loadsPrinting({"emf-render", emf, "-o", Path("e.png")}));
    EXPECT_FALSE(loadsPrinting({"export-png", report_, "--pages", "1", "-d", Path("png")}));
    EXPECT_TRUE(loadsPrinting({"export-pdf", report_, "-o", Path("r.pdf")}));
}

TEST_F(CommandRulesTest, MissingPaintingModuleIsReported)
{
    // A copy of the program with no module beside it nor in its library folder.
    const QString lone = Path("qrptool");
    ASSERT_TRUE(QFile::copy(kQrptool, lone));
    const auto r = RunProgram(lone, {"render", report_, "--page", "1", "-o", Path("r.png")});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Err.startsWith("qrptool: cannot load its module: ")) << r.Err.toStdString();
    EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path("r.png")));
    // Its plain commands still work.
    EXPECT_EQ(RunProgram(lone, {"info", report_}).ExitCode, 0);
}
