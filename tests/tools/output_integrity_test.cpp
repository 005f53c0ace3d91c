// Every file the tools write is whole or absent: a full disk makes each writing command
// fail with one line naming the cause and leave nothing, and an output that is the
// same file as an input (itself, through a symbolic link, a hard link or a file URI)
// is refused before anything is written.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>

#include <sys/resource.h>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);
const QString kThumbnailer = QStringLiteral(QRP_THUMBNAILER_PATH);

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Everything under dir, folders too, hidden ones too, as paths relative to it.
QStringList Everything(const QString& dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(dir).relativeFilePath(it.next());
    names.sort();
    return names;
}

struct TFullDiskRun {
    TRunResult Run;
    QStringList Left; // what is in the small file system afterwards
    bool SizeLimit = false; // run under the file size limit instead
};

constexpr int kRoomBytes = 64 * 1024;

// Runs the program with dir as a file system of 64 KiB: a tmpfs mounted in a private
// mount namespace, gone with the program. Where such a namespace cannot be had, a file
// size limit of the same size stands in for it (writes then fail with "File too
// large" instead of "No space left on device").
TFullDiskRun RunOnFullDisk(const QString& dir, const QString& program, const QStringList& args)
{
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=%1 tmpfs \"$0\" || exit 99\n"
        "\"$@\"; s=$?\n"
        "printf '\\n--left--\\n'; cd \"$0\" && find . -mindepth 1 | sed 's|^\\./||' | sort; exit $s\n")
                               .arg(kRoomBytes);
    QDir().mkpath(dir);
    TFullDiskRun r;
    r.Run = RunProgram("unshare", QStringList{"-rm", "sh", "-c", script, dir, program} + args);
    const int marker = r.Run.Out.lastIndexOf("\n--left--\n");
    if (r.Run.ExitCode != 99 && marker >= 0) {
        for (const QByteArray& line : r.Run.Out.mid(marker + 10).split('\n'))
            if (!line.isEmpty())
                r.Left << QString::fromUtf8(line);
        r.Run.Out.truncate(marker);
        return r;
    }
    r.SizeLimit = true;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] {
        rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = kRoomBytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
    });
    p.start(program, args);
    p.waitForFinished(120000);
    r.Run.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Run.Out = p.readAllStandardOutput();
    r.Run.Err = p.readAllStandardError();
    r.Left = Everything(dir);
    return r;
}

class OutputIntegrityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        report_ = Path("informe.qrp");
        WriteReport(report_.toStdString(), 3, DrawMosaic);
        emf_ = Path("p1.emf");
        const auto r = RunProgram(kQrptool, {"extract", report_, "1", "-o", emf_});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        ASSERT_GT(QFile(emf_).size(), kRoomBytes);
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
    QString report_, emf_;
};

} // namespace

TEST_F(OutputIntegrityTest, AFullDiskFailsEveryWriterWithItsCauseAndLeavesNothing)
{
    const QString disk = Path("disk");
    const QRegularExpression cause(R"(\. (No space left on device|File too large)\n$)");
    struct Case {
        QString Program;
        QStringList Args;
        QString Prefix; // the line up to the cause
        QStringList Left;
    };
    const Case cases[] = {
        {kQrptool, {"export-pdf", report_, "-o", disk + "/r.pdf"},
         "qrptool export-pdf: Cannot write file \"" + disk + "/r.pdf\"", {}},
        {kQrptool, {"export-png", report_, "--dpi", "150", "-d", disk + "/png"},
         "qrptool export-png: Cannot write file \"" + disk + "/png/informe-", {"png"}},
        {kQrptool, {"render", report_, "--page", "1", "--zoom", "200", "-o", disk + "/r.png"},
         "qrptool render: Cannot write file \"" + disk + "/r.png\"", {}},
        {kQrptool, {"emf-render", emf_, "--width", "1588", "--height", "2246", "-o", disk + "/e.png"},
         "qrptool emf-render: Cannot write file \"" + disk + "/e.png\"", {}},
        {kQrptool, {"extract", report_, "2", "-o", disk + "/p2.emf"},
         "qrptool extract: Cannot write file \"" + disk + "/p2.emf\"", {}},
        {kQrptool, {"make", disk + "/m.qrp", emf_, emf_}, "qrptool make: Cannot write file \"" + disk + "/m.qrp\"", {}},
        {kQrptool, {"make-sample", disk + "/s.qrp", "--pages", "4"},
         "qrptool make-sample: Cannot write file \"" + disk + "/s.qrp\"", {}},
        {kThumbnailer, {"-s", "4096", report_, disk + "/t.png"},
         "qrp-thumbnailer: " + report_ + ": Cannot write file \"" + disk + "/t.png\"", {}},
    };
    for (const Case& c : cases) {
        const QString what = c.Args.join(' ');
        const auto r = RunOnFullDisk(disk, c.Program, c.Args);
        EXPECT_EQ(r.Run.ExitCode, 1) << what.toStdString() << ": " << r.Run.Err.toStdString();
        const QString err = QString::fromUtf8(r.Run.Err);
        // Under the size limit the report's temporary store (in $TMPDIR) may be what
        // fails first; it is named then.
        static const QRegularExpression storeFull(R"(: Cannot write file "[^"]*/QRP\w{6}")");
        const bool store = r.SizeLimit && storeFull.match(err).hasMatch();
        EXPECT_TRUE(err.startsWith(c.Prefix) || store) << err.toStdString();
        EXPECT_TRUE(cause.match(err).hasMatch()) << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(r.Run.Out.isEmpty()) << r.Run.Out.toStdString();
        EXPECT_EQ(r.Left, c.Left) << what.toStdString();
        QDir(disk).removeRecursively();
    }

    // Many reports at once: the report that does not fit fails with its cause, the
    // status says so, and no PDF is left.
    const auto batch = RunOnFullDisk(disk, kQrptool, {"export-pdf", report_, "-d", disk + "/pdf"});
    EXPECT_EQ(batch.Run.ExitCode, 1);
    const QString out = QString::fromUtf8(batch.Run.Out);
    EXPECT_TRUE(out.startsWith("FAILED  " + report_ + ": Cannot write file \"" + disk + "/pdf/informe.pdf\". "))
        << out.toStdString();
    EXPECT_TRUE(out.endsWith("0 of 1 reports converted, 0 pages, 1 failed\n")) << out.toStdString();
    EXPECT_EQ(batch.Left, QStringList{"pdf"});
}

TEST_F(OutputIntegrityTest, AnOutputThatIsTheSameFileAsAnInputIsRefused)
{
    const QByteArray report = ReadAll(report_), emf = ReadAll(emf_);
    ASSERT_TRUE(QFile::link(report_, Path("link.pdf")));
    ASSERT_EQ(::link(report_.toUtf8().constData(), Path("hard.pdf").toUtf8().constData()), 0);
    ASSERT_TRUE(QFile::link(emf_, Path("emf-link.png")));
    ASSERT_EQ(::link(emf_.toUtf8().constData(), Path("emf-hard.qrp").toUtf8().constData()), 0);
    // Page images and batch PDFs are named after the report: links by those names.
    QDir().mkpath(Path("png"));
    ASSERT_TRUE(QFile::link(report_, Path("png/informe-2.png")));
    QDir().mkpath(Path("pdf"));
    ASSERT_TRUE(QFile::link(report_, Path("pdf/informe.pdf")));
    const QStringList before = Everything(dir_.path());

    struct Case {
        QString Program;
        QStringList Args;
        QString Output, Input;
    };
    const QString uri = QUrl::fromLocalFile(report_).toString();
    const Case cases[] = {
        {kQrptool, {"export-pdf", report_, "-o", report_}, report_, report_},
        {kQrptool, {"export-pdf", report_, "-o", Path("link.pdf")}, Path("link.pdf"), report_},
        {kQrptool, {"export-pdf", report_, "-o", Path("hard.pdf")}, Path("hard.pdf"), report_},
        {kQrptool, {"render", report_, "--page", "1", "-o", Path("link.pdf")}, Path("link.pdf"), report_},
        {kQrptool, {"extract", report_, "1", "-o", Path("hard.pdf")}, Path("hard.pdf"), report_},
        {kQrptool, {"emf-render", emf_, "-o", Path("emf-link.png")}, Path("emf-link.png"), emf_},
        {kQrptool, {"make", Path("emf-hard.qrp"), emf_, emf_}, Path("emf-hard.qrp"), emf_},
        {kQrptool, {"export-png", report_, "-d", Path("png")}, Path("png/informe-2.png"), report_},
        {kThumbnailer, {"-s", "64", report_, report_}, report_, report_},
        {kThumbnailer, {"-s", "64", report_, Path("hard.pdf")}, Path("hard.pdf"), report_},
        {kThumbnailer, {"-s", "64", uri, uri}, report_, report_},
    };
    for (const Case& c : cases) {
        const QString what = c.Args.join(' ');
        const auto r = RunProgram(c.Program, c.Args);
        EXPECT_EQ(r.ExitCode, 1) << what.toStdString();
        const QString err = QString::fromUtf8(r.Err);
        EXPECT_TRUE(err.endsWith("the output \"" + c.Output + "\" is the same file as the input \"" + c.Input +
                                 "\"\n"))
            << what.toStdString() << ": " << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
        EXPECT_EQ(ReadAll(report_), report) << what.toStdString();
        EXPECT_EQ(ReadAll(emf_), emf) << what.toStdString();
        EXPECT_EQ(Everything(dir_.path()), before) << what.toStdString();
    }

    const auto batch = RunProgram(kQrptool, {"export-pdf", report_, "-d", Path("pdf")});
    EXPECT_EQ(batch.ExitCode, 1);
    EXPECT_TRUE(batch.Out.startsWith("FAILED  " + report_.toUtf8() + ": the output \"" +
                                     Path("pdf/informe.pdf").toUtf8() + "\" is the same file as the input \"" +
                                     report_.toUtf8() + "\"\n"))
        << batch.Out.toStdString();
    EXPECT_EQ(ReadAll(report_), report);
    EXPECT_EQ(Everything(dir_.path()), before);
}
