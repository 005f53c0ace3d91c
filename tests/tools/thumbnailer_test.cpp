// qrp-thumbnailer: the size bound, that the page is really drawn, and that a failure
// leaves the output alone.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

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
