// qrptool grep: matching lines of report pages across files, with grep's statuses.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);

// Page n: a title, a client per line, and a footer.
void DrawClients(QPainter& p, int n, int count, const QStringList& clients)
{
    QFont f("Liberation Sans");
    f.setPixelSize(14);
    p.setFont(f);
    p.drawText(QPointF(60, 80), QStringLiteral("Clientes por ciudad"));
    int y = 140;
    for (const QString& c : clients) {
        p.drawText(QPointF(60, y), c.arg(n));
        y += 30;
    }
    p.drawText(QPointF(60, 1050), QStringLiteral("Hoja %1 de %2").arg(n).arg(count));
}

class GrepCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        a_ = dir_.filePath("a.qrp");
        b_ = dir_.filePath("b.qrp");
        WriteReport(a_.toStdString(), 3, [](QPainter& p, int n, int count) {
            DrawClients(p, n, count, {"Textiles Perú %1 Lima", "Ferretería Ñahui %1 Cusco"});
        });
        WriteReport(b_.toStdString(), 2, [](QPainter& p, int n, int count) {
            DrawClients(p, n, count, {"COMERCIAL PERÚ %1 Piura", "Agro Andina %1 Tacna"});
        });
    }

    // a.qrp with page 2's picture damaged: page 1 reads, page 2 does not.
    QString Damaged()
    {
        QFile f(a_);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        const auto first = bytes.indexOf(" EMF");
        const auto second = bytes.indexOf(" EMF", first + 4);
        EXPECT_GT(second, first);
        bytes.replace(second, 4, "XXXX");
        const QString path = dir_.filePath("damaged.qrp");
        QFile d(path);
        EXPECT_TRUE(d.open(QIODevice::WriteOnly));
        d.write(bytes);
        return path;
    }

    static TRunResult Grep(const QStringList& args) { return RunProgram(kQrptool, QStringList{"grep"} + args); }

    QTemporaryDir dir_;
    QString a_, b_;
};

} // namespace

TEST_F(GrepCommandTest, PrintsMatchingLinesInFileAndPageOrder)
{
    const QString expected = a_ + ":1: Textiles Perú 1 Lima\n" + a_ + ":2: Textiles Perú 2 Lima\n" + a_ +
                             ":3: Textiles Perú 3 Lima\n";
    // One thread or several: the same lines in the same order.
    for (const char* jobs : {"1", "2", "7"}) {
        const auto r = Grep({"Perú", a_, b_, "-j", jobs});
        EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
        EXPECT_EQ(QString::fromUtf8(r.Out), expected);
        EXPECT_TRUE(r.Err.isEmpty()) << r.Err.toStdString(); // no progress bar off a terminal
    }

    // Case folded with -i, accents kept: "PERÚ" matches, "PERU" would not.
    const auto i = Grep({"-i", "perú", b_, a_});
    EXPECT_EQ(i.ExitCode, 0);
    EXPECT_EQ(QString::fromUtf8(i.Out).split('\n', Qt::SkipEmptyParts),
              (QStringList{b_ + ":1: COMERCIAL PERÚ 1 Piura", b_ + ":2: COMERCIAL PERÚ 2 Piura",
                           a_ + ":1: Textiles Perú 1 Lima", a_ + ":2: Textiles Perú 2 Lima",
                           a_ + ":3: Textiles Perú 3 Lima"}));
    EXPECT_EQ(Grep({"-i", "peru", a_}).ExitCode, 1);

    // A regular expression with -E; without it the pattern is a plain string.
    const auto e = Grep({"-E", "^Hoja [23] de", a_, b_});
    EXPECT_EQ(QString::fromUtf8(e.Out), a_ + ":2: Hoja 2 de 3\n" + a_ + ":3: Hoja 3 de 3\n" + b_ + ":2: Hoja 2 de 2\n");
    EXPECT_EQ(Grep({"^Hoja [23] de", a_, b_}).ExitCode, 1);

    // A pattern that begins with a dash, through -e.
    const auto dash = Grep({"-e", "-", a_});
    EXPECT_EQ(dash.ExitCode, 1);
    EXPECT_TRUE(dash.Err.isEmpty());
}

TEST_F(GrepCommandTest, StatusesForNoMatchDamagedAndMissingFiles)
{
    const auto none = Grep({"Quito", a_, b_});
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_TRUE(none.Out.isEmpty());
    EXPECT_TRUE(none.Err.isEmpty());

    // Trouble with some files: reported one line each on stderr, status 2, and the
    // others (and the readable pages before the damage) still searched.
    const QString damaged = Damaged();
    const QString missing = dir_.filePath("no-such.qrp");
    const auto r = Grep({"Hoja", missing, damaged, b_});
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_EQ(QString::fromUtf8(r.Out), damaged + ":1: Hoja 1 de 3\n" + b_ + ":1: Hoja 1 de 2\n" + b_ + ":2: Hoja 2 de 2\n");
    const QStringList errors = QString::fromUtf8(r.Err).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(errors.size(), 2) << r.Err.toStdString();
    EXPECT_TRUE(errors[0].startsWith("qrptool grep: " + missing + ": ")) << errors[0].toStdString();
    EXPECT_TRUE(errors[1].startsWith("qrptool grep: " + damaged + ": page 2: ")) << errors[1].toStdString();
    EXPECT_TRUE(errors[1].contains("Metafile is not valid")) << errors[1].toStdString();
    // Only a missing file and no match: still trouble.
    EXPECT_EQ(Grep({"Quito", missing, b_}).ExitCode, 2);

    // Usage errors and a bad expression are trouble too, not "no match".
    for (const QStringList& args : {QStringList{}, QStringList{"Perú"}, QStringList{"-x", "Perú", a_},
                                    QStringList{"-j", "0", "Perú", a_}, QStringList{"-E", "(", a_},
                                    QStringList{"-e"}}) {
        const auto u = Grep(args);
        EXPECT_EQ(u.ExitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(u.Out.isEmpty());
        EXPECT_EQ(u.Err.count('\n'), 1) << u.Err.toStdString();
    }
}

TEST_F(GrepCommandTest, JsonListsMatchesWithCharacterRangesAndErrors)
{
    const QString missing = dir_.filePath("no-such.qrp");
    const auto r = Grep({"--json", "-i", "ñahui", a_, missing});
    EXPECT_EQ(r.ExitCode, 2);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.Out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.Out.toStdString();
    const QJsonArray matches = doc.object()["matches"].toArray();
    ASSERT_EQ(matches.size(), 3);
    for (int n = 1; n <= 3; ++n) {
        const QJsonObject m = matches[n - 1].toObject();
        EXPECT_EQ(m["file"].toString(), a_);
        EXPECT_EQ(m["page"].toInt(), n);
        EXPECT_EQ(m["line"].toInt(), 3); // title, first client, second client
        EXPECT_EQ(m["text"].toString(), QString("Ferretería Ñahui %1 Cusco").arg(n));
        // Characters, not bytes: "Ferretería " is 11 characters and 12 bytes.
        EXPECT_EQ(m["matches"].toArray(), (QJsonArray{QJsonArray{11, 16}}));
    }
    const QJsonArray errors = doc.object()["errors"].toArray();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].toObject()["file"].toString(), missing);

    const auto empty = Grep({"--json", "Quito", b_});
    EXPECT_EQ(empty.ExitCode, 1);
    const QJsonDocument none = QJsonDocument::fromJson(empty.Out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << empty.Out.toStdString();
    EXPECT_TRUE(none.object()["matches"].toArray().isEmpty());
    EXPECT_TRUE(none.object()["errors"].toArray().isEmpty());
}

TEST_F(GrepCommandTest, ProgressBarOnATerminalOnly)
{
    if (RunProgram("script", {"--version"}).ExitCode != 0)
        GTEST_SKIP() << "script (bsdutils) is not available";
    // Under script(1) standard error is a terminal; the bar is drawn and then wiped.
    const QString command = QString("'%1' grep Lima '%2' '%3' >/dev/null").arg(kQrptool, a_, b_);
    const auto r = RunProgram("script", {"-qec", command, "/dev/null"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("reports")) << r.Out.toStdString();
    EXPECT_TRUE(r.Out.contains("\033[K"));
}
