// SIGINT, SIGTERM and SIGHUP in the middle of a command leave none of its files: not
// the partial output, not the report's temporary store, not the images of a page
// export, not the PDFs of the conversions a batch had started. The program ends by the
// signal. A signal ignored from the start (nohup) stays ignored; the conversions of a
// batch whose parent is killed outright stop and clean up by themselves; and what
// SIGKILL leaves is named for what it is and does not disturb the next run.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qrp::test;

namespace {

const QString kQrptool = QStringLiteral(QRPTOOL_PATH);
const QString kThumbnailer = QStringLiteral(QRP_THUMBNAILER_PATH);

QStringList Entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool IsPartial(const QString& name) { return name.startsWith('.') && name.contains(".partial-"); }

// New names in a folder, watched from before the program starts so none is missed.
class TFolderWatch {
public:
    explicit TFolderWatch(const QString& dir) : dir_(dir)
    {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0)
            ::inotify_add_watch(fd_, dir.toUtf8().constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~TFolderWatch()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFolderWatch(const TFolderWatch&) = delete;
    TFolderWatch& operator=(const TFolderWatch&) = delete;

    // Waits until a name that match accepts appears; returns it, empty after timeoutMs.
    QString WaitFor(const std::function<bool(const QString&)>& match, int timeoutMs = 60000)
    {
        for (const QString& name : Entries(dir_))
            if (match(name))
                return name;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        alignas(inotify_event) char buf[8192];
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                const QString name = e->len ? QString::fromUtf8(e->name) : QString();
                if (!name.isEmpty() && match(name))
                    return name;
            }
        }
        return {};
    }

private:
    QString dir_;
    int fd_ = -1;
};

// Starts program with args (output discarded), with extra environment and, when
// ignored is a signal, that signal ignored from the start.
pid_t Start(const QString& program, const QStringList& args, const QProcessEnvironment& extra = {},
            int ignored = 0)
{
    std::vector<std::string> argStore{program.toStdString()}, envStore;
    for (const QString& a : args)
        argStore.push_back(a.toStdString());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert(extra);
    for (const QString& k : env.keys())
        envStore.push_back((k + "=" + env.value(k)).toStdString());
    std::vector<char*> argv, envp;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (const int s : {SIGINT, SIGTERM, SIGHUP})
            std::signal(s, s == ignored ? SIG_IGN : SIG_DFL);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(null);
    return pid;
}

// The wait status; the program is killed after timeoutMs.
int Wait(pid_t pid, int timeoutMs = 120000)
{
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

bool EndedBy(int status, int sig) { return WIFSIGNALED(status) && WTERMSIG(status) == sig; }

// Processes whose command line mentions text.
int ProcessesMentioning(const QString& text)
{
    int count = 0;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile f("/proc/" + pid + "/cmdline");
        if (pid.toInt() > 0 && f.open(QIODevice::ReadOnly) && f.readAll().contains(text.toUtf8()))
            ++count;
    }
    return count;
}

class InterruptionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir;
        report_ = dir_->filePath("informe.qrp");
        WriteReport(report_.toStdString(), 120, DrawMosaic);
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(work_.isValid());
        tmp_ = Path("tmp");
        out_ = Path("out");
        QDir().mkpath(tmp_);
        QDir().mkpath(out_);
        env_.insert("TMPDIR", tmp_);
    }
    QString Path(const QString& name) const { return work_.filePath(name); }
    // The report's temporary stores left in TMPDIR.
    QStringList Stores() const { return Entries(tmp_).filter(QRegularExpression("^QRP")); }

    static QTemporaryDir* dir_;
    static QString report_;
    QTemporaryDir work_;
    QString tmp_, out_;
    QProcessEnvironment env_;
};

QTemporaryDir* InterruptionTest::dir_ = nullptr;
QString InterruptionTest::report_;

} // namespace

TEST_F(InterruptionTest, ConversionsPageImagesAndThumbnailsLeaveNothing)
{
    // A single conversion, hung up on while its PDF is being written.
    {
        TFolderWatch watch(out_);
        const pid_t pid = Start(kQrptool, {"export-pdf", report_, "-o", out_ + "/r.pdf"}, env_);
        EXPECT_FALSE(watch.WaitFor(IsPartial).isEmpty());
        ::kill(pid, SIGHUP);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGHUP));
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
    }
    // Page images: interrupted after some pages are done, none of them stays.
    {
        TFolderWatch watch(out_);
        const pid_t pid = Start(kQrptool, {"export-png", report_, "-d", out_}, env_);
        const QString staging = watch.WaitFor(IsPartial);
        ASSERT_FALSE(staging.isEmpty());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (QDir(out_ + "/" + staging).entryList({"*.png"}, QDir::Files).size() < 2 &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::kill(pid, SIGINT);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGINT));
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
    }
    // A thumbnail, terminated while its image is written.
    {
        TFolderWatch watch(out_);
        const pid_t pid = Start(kThumbnailer, {"-s", "4096", report_, out_ + "/t.png"}, env_);
        EXPECT_FALSE(watch.WaitFor(IsPartial).isEmpty());
        ::kill(pid, SIGTERM);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGTERM));
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
    }
    // Many reports: the conversions it started end with it and write nothing later.
    {
        QStringList args = {"export-pdf"};
        for (const char* name : {"a.qrp", "b.qrp", "c.qrp"}) {
            ASSERT_TRUE(QFile::copy(report_, Path(name)));
            args << Path(name);
        }
        args << "-d" << out_ << "-j" << "2";
        TFolderWatch watch(out_);
        const pid_t pid = Start(kQrptool, args, env_);
        EXPECT_FALSE(watch.WaitFor(IsPartial).isEmpty());
        ::kill(pid, SIGTERM);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGTERM));
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
        // Long enough for a surviving conversion to have written its PDF.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        EXPECT_EQ(ProcessesMentioning(out_), 0);
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
    }
    EXPECT_TRUE(Stores().isEmpty());
}

TEST_F(InterruptionTest, MakingReportsLeavesNeitherTheOutputNorTheTemporaryStore)
{
    // make-sample, interrupted while its pages fill the temporary store.
    {
        TFolderWatch watch(tmp_);
        const pid_t pid = Start(kQrptool, {"make-sample", out_ + "/muestra.qrp", "--pages", "100000"}, env_);
        EXPECT_FALSE(watch.WaitFor([](const QString& n) { return n.startsWith("QRP"); }).isEmpty());
        ::kill(pid, SIGINT);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGINT));
        EXPECT_TRUE(Stores().isEmpty()) << Stores().join(' ').toStdString();
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
    }
    // make, terminated while it copies the finished report to its file.
    {
        const QString emf = Path("p.emf");
        const auto extracted = RunProgram(kQrptool, {"extract", report_, "1", "-o", emf});
        ASSERT_EQ(extracted.ExitCode, 0) << extracted.Err.toStdString();
        QStringList args = {"make", out_ + "/hecho.qrp"};
        for (int i = 0; i < 400; ++i)
            args << emf;
        TFolderWatch watch(out_);
        const pid_t pid = Start(kQrptool, args, env_);
        EXPECT_FALSE(watch.WaitFor(IsPartial).isEmpty());
        ::kill(pid, SIGTERM);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGTERM));
        EXPECT_TRUE(Stores().isEmpty()) << Stores().join(' ').toStdString();
        EXPECT_TRUE(Entries(out_).isEmpty()) << Entries(out_).join(' ').toStdString();
    }
}

TEST_F(InterruptionTest, AnIgnoredSignalStaysIgnoredAndSigkillLeavesOnlyMarkedFiles)
{
    // Started under nohup: the hang-up changes nothing.
    {
        TFolderWatch watch(out_);
        const pid_t pid = Start(kQrptool, {"export-pdf", report_, "-o", out_ + "/r.pdf"}, env_, SIGHUP);
        EXPECT_FALSE(watch.WaitFor(IsPartial).isEmpty());
        ::kill(pid, SIGHUP);
        const int status = Wait(pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(Entries(out_), QStringList{"r.pdf"});
        QFile::remove(out_ + "/r.pdf");
    }
    // The conversions of a batch whose parent is killed outright stop by themselves and
    // clean up after themselves.
    {
        const QString batch = Path("batch");
        QDir().mkpath(batch);
        QStringList args = {"export-pdf"};
        for (const char* name : {"a.qrp", "b.qrp"}) {
            ASSERT_TRUE(QFile::copy(report_, Path(name)));
            args << Path(name);
        }
        args << "-d" << batch << "-j" << "2";
        TFolderWatch watch(batch);
        const pid_t pid = Start(kQrptool, args, env_);
        EXPECT_FALSE(watch.WaitFor(IsPartial).isEmpty());
        ::kill(pid, SIGKILL);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGKILL));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ProcessesMentioning(batch) > 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(ProcessesMentioning(batch), 0);
        EXPECT_TRUE(Entries(batch).isEmpty()) << Entries(batch).join(' ').toStdString();
    }
    // SIGKILL: nothing runs, the leftovers carry the partial mark.
    QStringList leftovers;
    for (const QStringList& args : {QStringList{"export-pdf", report_, "-o", out_ + "/r.pdf"},
                                    QStringList{"export-png", report_, "-d", out_}}) {
        TFolderWatch watch(out_);
        const pid_t pid = Start(kQrptool, args, env_);
        const QString left = watch.WaitFor([&](const QString& n) { return IsPartial(n) && !leftovers.contains(n); });
        ASSERT_FALSE(left.isEmpty());
        ::kill(pid, SIGKILL);
        EXPECT_TRUE(EndedBy(Wait(pid), SIGKILL));
        leftovers << left;
    }
    leftovers.sort();
    ASSERT_EQ(Entries(out_), leftovers);
    EXPECT_TRUE(leftovers[0].startsWith(".informe.partial-")) << leftovers[0].toStdString();
    EXPECT_TRUE(leftovers[1].startsWith(".r.pdf.partial-")) << leftovers[1].toStdString();

    // The next runs write what they should beside them and leave them be.
    const auto pdf = RunProgram(kQrptool, {"export-pdf", report_, "-o", out_ + "/r.pdf"});
    EXPECT_EQ(pdf.ExitCode, 0) << pdf.Err.toStdString();
    QFile written(out_ + "/r.pdf");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().trimmed().endsWith("%%EOF"));
    const auto png = RunProgram(kQrptool, {"export-png", report_, "--pages", "1-3", "-d", out_});
    EXPECT_EQ(png.ExitCode, 0) << png.Err.toStdString();
    EXPECT_EQ(png.Out.count('\n'), 3);
    QStringList expected = leftovers + QStringList{"informe-001.png", "informe-002.png", "informe-003.png", "r.pdf"};
    expected.sort();
    EXPECT_EQ(Entries(out_), expected);
}
