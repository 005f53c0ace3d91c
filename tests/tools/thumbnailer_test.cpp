// qrp-thumbnailer: the size bound, that the page is really drawn, that a failure
// leaves the output alone, and the time and memory limits of a run.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>

#include <signal.h>

using namespace qrp::test;

namespace {

const QString kThumbnailer = QStringLiteral(QRP_THUMBNAILER_PATH);

// A page with a black block in its top-left quarter and some text elsewhere.
void DrawBlockPage(QPainter& p, int, int)
{
    p.fillRect(QRect(0, 0, p.device()->width() / 2, p.device()->height() / 4), Qt::black);
    p.setFont(QFont("Liberation Sans", 12));
    p.drawText(QPointF(60, 600), QStringLiteral("Informe de Ventas"));
}

QStringList FilesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// A report whose first page is compressed and states `expanded` bytes: its code is
// zero bytes, the fewest that can expand to that many, so reading the page costs
// `expanded` bytes of memory and the time to decode them.
QByteArray ExpensivePageReport(const QString& dir, std::int32_t expanded)
{
    const QString plain = dir + "/plain.qrp";
    WriteReport(plain.toStdString(), 1, DrawBlockPage);
    QFile f(plain);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray bytes = f.read(128); // the header
    f.close();
    QFile::remove(plain);
    bytes[25] = 1; // compressed pages
    const std::int32_t code = expanded / 8 + 1;
    auto put = [&](std::int32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); };
    put(1);                    // PageNo
    put(128 + 12 + code + 4);  // NextRecord
    put(expanded);             // ExpandedSize
    bytes.append(QByteArray(code, '\0'));
    put(128);                  // ThisRecord
    return bytes;
}

class ThumbnailerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

} // namespace

TEST_F(ThumbnailerTest, FitsWithinSizeKeepingProportions)
{
    const QString portrait = Path("portrait.qrp"), landscape = Path("landscape.qrp");
    WriteReport(portrait.toStdString(), 2, DrawBlockPage, 794, 1123);
    WriteReport(landscape.toStdString(), 1, DrawBlockPage, 1123, 794);

    struct Case {
        QString Input;
        int Size, Width, Height;
    };
    // 794 x 1123 scaled so the longer side is SIZE; the shorter one rounds to nearest.
    for (const Case& c : {Case{portrait, 128, 91, 128}, Case{portrait, 256, 181, 256},
                          Case{landscape, 256, 256, 181}, Case{portrait, 1, 1, 1},
                          Case{landscape, 1024, 1024, 724}}) {
        const QString out = Path(QString("thumb-%1.png").arg(c.Size));
        QFile::remove(out);
        const auto r = RunProgram(kThumbnailer, {"-s", QString::number(c.Size), c.Input, out});
        ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        QImage image(out);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width(), c.Width) << c.Size;
        EXPECT_EQ(image.height(), c.Height) << c.Size;
        EXPECT_LE(std::max(image.width(), image.height()), c.Size);
    }
}

TEST_F(ThumbnailerTest, DrawsPageOneOnWhite)
{
    const QString input = Path("r.qrp"), out = Path("t.png");
    WriteReport(input.toStdString(), 3, [](QPainter& p, int n, int count) {
        if (n == 1)
            DrawBlockPage(p, n, count);
        else
            p.fillRect(QRect(0, 0, 794, 1123), Qt::black); // later pages must not show
    });
    const auto r = RunProgram(kThumbnailer, {"-s", "200", input, out});
    ASSERT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    const QImage image = QImage(out).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(141, 200));
    EXPECT_LT(qGray(image.pixel(20, 20)), 60);    // inside the block
    EXPECT_GT(qGray(image.pixel(120, 180)), 240); // bottom right: paper
    EXPECT_GT(qGray(image.pixel(120, 20)), 240);  // right of the block
}

TEST_F(ThumbnailerTest, DamagedOrMissingInputWritesNothing)
{
    const QString good = Path("good.qrp");
    WriteReport(good.toStdString(), 2, DrawBlockPage);
    QFile goodFile(good);
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray bytes = goodFile.readAll();
    goodFile.close();

    auto write = [&](const QString& name, const QByteArray& content) {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return Path(name);
    };
    QByteArray badPicture = bytes;
    badPicture.replace(bytes.indexOf(" EMF"), 4, "XXXX");
    QByteArray noPages = bytes.left(128);
    noPages[8] = noPages[9] = noPages[10] = noPages[11] = 0; // PagesInFile

    const QStringList inputs = {
        write("truncated.qrp", bytes.left(128 + 8 + 200)), // inside page 1's picture
        write("header-only.qrp", bytes.left(100)),
        write("empty.qrp", QByteArray()),
        write("noise.qrp", QByteArray(4096, char(0x5A))),
        write("bad-picture.qrp", badPicture),
        write("no-pages.qrp", noPages),
        Path("missing.qrp"),
    };
    const QString out = Path("thumb.png");
    for (const QString& input : inputs) {
        SCOPED_TRACE(input.toStdString());
        // No output before: none after.
        auto r = RunProgram(kThumbnailer, {"-s", "128", input, out});
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_FALSE(r.Err.isEmpty());
        EXPECT_FALSE(QFile::exists(out));
        // An older thumbnail stays as it was.
        write("thumb.png", "old thumbnail");
        r = RunProgram(kThumbnailer, {"-s", "128", input, out});
        EXPECT_EQ(r.ExitCode, 1);
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), QByteArray("old thumbnail"));
        f.close();
        QFile::remove(out);
    }
    // Nothing left behind but the inputs.
    EXPECT_EQ(FilesIn(dir_.path()).size(), 7);
}

TEST_F(ThumbnailerTest, RejectsBadArguments)
{
    const QString input = Path("r.qrp"), out = Path("t.png");
    WriteReport(input.toStdString(), 1, DrawBlockPage);
    for (const QStringList& args :
         {QStringList{input, out}, QStringList{"-s", "0", input, out}, QStringList{"-s", "5000", input, out},
          QStringList{"-s", "12x", input, out}, QStringList{"-s", "64", input},
          QStringList{"-s", "64", "--bogus", input, out}, QStringList{"-s"}}) {
        const auto r = RunProgram(kThumbnailer, args);
        EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    // The output folder does not exist: failure, nothing created.
    const auto r = RunProgram(kThumbnailer, {"-s", "64", input, Path("no/such/dir/t.png")});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_FALSE(QDir(Path("no")).exists());
}

TEST_F(ThumbnailerTest, TimeAndMemoryLimitsEndARunWithoutAThumbnail)
{
    // 60 MiB to expand: under the largest page, over a small memory limit, and seconds
    // of decoding.
    const QString input = Path("slow.qrp"), out = Path("t.png");
    {
        QFile f(input);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ExpensivePageReport(dir_.path(), 60 << 20));
    }
    struct Case {
        QStringList Limits;
        const char* Says;
    };
    for (const Case& c : {Case{{"--time-limit", "0.2"}, "took longer than 0.2 s; no thumbnail written"},
                          Case{{"--memory-limit", "32", "--time-limit", "0"}, "needs more than 32 MiB of memory"}}) {
        SCOPED_TRACE(c.Limits.join(' ').toStdString());
        QStringList args{"-s", "128"};
        args += c.Limits;
        args += {input, out};
        QElapsedTimer clock;
        clock.start();
        const auto r = RunProgram(kThumbnailer, args);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.startsWith(("qrp-thumbnailer: " + input).toUtf8())) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(c.Says)) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        if (c.Limits.first() == "--time-limit") {
            EXPECT_LT(clock.elapsed(), 2500) << "ms";
        }
    }
    // A drawing that ends in a crash (what a failed allocation deep in the drawing can
    // do) ends as a failure too: one line, status 1, no thumbnail.
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(kThumbnailer, {"-s", "128", "--time-limit", "0", input, out});
        ASSERT_TRUE(p.waitForStarted());
        // Once the page's 60 MiB are resident the run is decoding it, which takes
        // seconds: the signal comes while the page is being read.
        auto residentKiB = [&] {
            QFile status(QString("/proc/%1/status").arg(p.processId()));
            if (!status.open(QIODevice::ReadOnly))
                return 0LL;
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').first().toLongLong();
            return 0LL;
        };
        QElapsedTimer waited;
        waited.start();
        while (residentKiB() < 70 * 1024 && waited.elapsed() < 20000)
            QThread::msleep(10);
        ASSERT_GE(residentKiB(), 70 * 1024) << "the page was never read";
        ::kill(static_cast<pid_t>(p.processId()), SIGSEGV);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 1);
        const QByteArray err = p.readAllStandardError();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.contains("could not be drawn within 256 MiB of memory; no thumbnail written (signal 11)"))
            << err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
    // Nothing left behind but the input.
    EXPECT_EQ(FilesIn(dir_.path()), QStringList{"slow.qrp"});

    // Without limits the page is read to its end (and found not to be a picture).
    const auto r = RunProgram(kThumbnailer, {"-s", "128", "--time-limit", "0", "--memory-limit", "0", input, out});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_FALSE(r.Err.contains("took longer")) << r.Err.toStdString();
    EXPECT_FALSE(r.Err.contains("memory")) << r.Err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    // A page within the limits gives its thumbnail as before.
    const QString good = Path("good.qrp");
    WriteReport(good.toStdString(), 1, DrawBlockPage);
    const auto ok = RunProgram(kThumbnailer, {"-s", "64", "--time-limit", "5", "--memory-limit", "64", good, out});
    ASSERT_EQ(ok.ExitCode, 0) << ok.Err.toStdString();
    EXPECT_EQ(QImage(out).size(), QSize(45, 64));
}

TEST_F(ThumbnailerTest, RejectsBadLimits)
{
    const QString input = Path("r.qrp"), out = Path("t.png");
    WriteReport(input.toStdString(), 1, DrawBlockPage);
    for (const QStringList& limit :
         {QStringList{"--time-limit", "-1"}, QStringList{"--time-limit", "abc"}, QStringList{"--time-limit", "1e3"},
          QStringList{"--time-limit", "inf"}, QStringList{"--time-limit", "nan"}, QStringList{"--time-limit", ""},
          QStringList{"--time-limit", "86401"}, QStringList{"--memory-limit", "31"},
          QStringList{"--memory-limit", "-256"}, QStringList{"--memory-limit", "256M"},
          QStringList{"--memory-limit", "1048577"}, QStringList{"--memory-limit"}}) {
        QStringList args{"-s", "64", input, out};
        args += limit;
        const auto r = RunProgram(kThumbnailer, args);
        EXPECT_EQ(r.ExitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains("limit")) << r.Err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}
