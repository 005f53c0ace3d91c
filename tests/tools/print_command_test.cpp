// qrptool print on CUPS queues of the test's own: a refused job and a removed queue end
// in status 1 with one line; a stopped queue keeps the job and a line on stderr says
// so; without a print system the line says that, not that no printer is installed.
#include "ToolTestSupport.h"
#include "tests/support/CupsTestQueue.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace qrp::test;
using namespace qrp::cupstest;

namespace {

class PrintCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        report = dir.filePath(QStringLiteral("i11tool%1.qrp").arg(getpid()));
        WriteReport(report.toStdString(), 2, [](QPainter& p, int, int) { p.fillRect(100, 100, 300, 200, Qt::black); });
    }
    void TearDown() override { RemovePdfOutputs(QStringLiteral("i11tool%1").arg(getpid())); }

    TRunResult Print(const TTestQueue& queue, const QProcessEnvironment& extra = {})
    {
        return RunProgram(QStringLiteral(QRPTOOL_PATH),
                          {QStringLiteral("print"), report, QStringLiteral("--printer"), queue.Name()}, 60000, extra);
    }

    static int Lines(const QByteArray& text) { return text.trimmed().isEmpty() ? 0 : text.trimmed().count('\n') + 1; }

    QTemporaryDir dir;
    QString report;
};

} // namespace

TEST_F(PrintCommand, RefusedStoppedAndWithoutPrintSystem)
{
    TTestQueue queue("tool");
    if (!queue.Ok())
        GTEST_SKIP() << "cannot add a cups-pdf queue (needs cups-pdf and CUPS administration rights)";

    queue.Reject();
    TRunResult r = Print(queue);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(Lines(r.Err), 1) << r.Err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.Err).contains(QStringLiteral("no acepta trabajos"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    EXPECT_TRUE(queue.ActiveJobs().empty());

    queue.Accept();
    queue.Stop();
    r = Print(queue);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_TRUE(r.Out.contains("sent to " + queue.StdName())) << r.Out.toStdString();
    EXPECT_EQ(Lines(r.Err), 1) << r.Err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.Err).contains(QStringLiteral("detenida"))) << r.Err.toStdString();
    EXPECT_EQ(queue.ActiveJobs().size(), 1u);

    // Without a print system: that is the cause given.
    QTemporaryDir gone;
    QProcessEnvironment none;
    none.insert(QStringLiteral("CUPS_SERVER"), gone.path() + QStringLiteral("/no-scheduler.sock"));
    r = Print(queue, none);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(Lines(r.Err), 1) << r.Err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.Err).contains(QStringLiteral("no está en funcionamiento"))) << r.Err.toStdString();
    EXPECT_FALSE(r.Err.contains("No printer is installed"));
}
