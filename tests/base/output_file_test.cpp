// Files written all or nothing, outputs that are their own inputs, and what an
// interrupting signal removes.
#include "tests/support/TestFiles.h"

#include "base/Errors.h"
#include "base/Interruption.h"
#include "base/OutputFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qrp;
using qrp::test::Pattern;
using qrp::test::ReadAll;
using qrp::test::TTempDir;
using qrp::test::WriteAll;

namespace {

std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsPartialName(const std::string& name, const std::string& target)
{
    const std::string prefix = "." + target + kPartialInfix;
    return name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0;
}

} // namespace

TEST(OutputFile, AppearsWholeUnderItsNameOnlyWhenCommitted)
{
    TTempDir dir;
    const std::string target = dir / "r.pdf";
    WriteAll(target, {1, 2, 3});
    const auto data = Pattern(100000);
    // A cache file (not flushed to the disk) is replaced all or nothing as well.
    {
        TOutputFile out(target, TDurability::Cache);
        out.WriteBuffer(data.data(), 1000);
        EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{1, 2, 3}));
        out.Commit();
    }
    EXPECT_EQ(ReadAll(target), std::vector<std::uint8_t>(data.begin(), data.begin() + 1000));
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"r.pdf"});
    WriteAll(target, {1, 2, 3});
    {
        TOutputFile out(target);
        out.WriteBuffer(data.data(), 60000);
        out.WriteBuffer(data.data() + 60000, 40000);
        // Meanwhile the old file is there as it was, with the temporary beside it.
        EXPECT_EQ(ReadAll(target), (std::vector<std::uint8_t>{1, 2, 3}));
        const auto names = Names(dir.Path());
        ASSERT_EQ(names.size(), 2u);
        EXPECT_TRUE(IsPartialName(names[0], "r.pdf")) << names[0];
        EXPECT_EQ(dir / names[0], out.TemporaryPath());
        out.Commit();
    }
    EXPECT_EQ(ReadAll(target), data);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"r.pdf"});
    // The mode a newly created file gets, not mkstemp's private one.
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

    // Not committed: the target keeps its content and nothing else is left.
    {
        TOutputFile out(target);
        out.WriteBuffer(data.data(), 10);
    }
    EXPECT_EQ(ReadAll(target), data);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"r.pdf"});

    // A relative target and a name too long to take the temporary's additions.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string longName(250, 'x');
    {
        TOutputFile out(longName);
        out.WriteBuffer(data.data(), 5);
        out.Commit();
    }
    std::filesystem::current_path(cwd);
    EXPECT_EQ(ReadAll(dir / longName).size(), 5u);
}

TEST(OutputFile, FailuresNameTheTargetAndTheCauseAndLeaveNothing)
{
    TTempDir dir;
    try {
        TOutputFile out(dir / "no/such/r.pdf");
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + (dir / "no/such/r.pdf") +
                                             "\". No such file or directory");
    }

    // A file size limit stands for a full disk: the write fails part way.
    const std::string target = dir / "big.bin";
    WriteAll(target, {9});
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    {
        TOutputFile out(target);
        const auto data = Pattern(20000);
        try {
            out.WriteBuffer(data.data(), 20000);
            out.Commit();
        } catch (const EFWriteError& e) {
            message = e.what();
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, "Cannot write file \"" + target + "\". File too large");
    EXPECT_EQ(ReadAll(target), std::vector<std::uint8_t>{9});
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"big.bin"});

    // The target is a folder: the rename fails, the folder stays, the temporary goes.
    std::filesystem::create_directory(dir / "folder");
    {
        TOutputFile out(dir / "folder");
        out.WriteBuffer("abc", 3);
        EXPECT_THROW(out.Commit(), EFWriteError);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"big.bin", "folder"}));
}

TEST(OutputFile, AnOutputThatIsAnInputIsRefused)
{
    TTempDir dir;
    const std::string report = dir / "r.qrp";
    WriteAll(report, {1, 2, 3});
    std::filesystem::create_symlink(report, dir / "link.pdf");
    std::filesystem::create_hard_link(report, dir / "hard.pdf");
    WriteAll(dir / "other.pdf", {4});

    EXPECT_TRUE(SameFile(report, report));
    EXPECT_TRUE(SameFile(report, dir / "link.pdf"));
    EXPECT_TRUE(SameFile(dir / "hard.pdf", report));
    EXPECT_TRUE(SameFile(report, dir.Path() + "/./r.qrp"));
    EXPECT_FALSE(SameFile(report, dir / "other.pdf"));
    EXPECT_FALSE(SameFile(report, dir / "missing.pdf"));

    for (const std::string& out : {report, dir / "link.pdf", dir / "hard.pdf"}) {
        try {
            RefuseToOverwrite({dir / "other.pdf", report}, out);
            ADD_FAILURE() << out;
        } catch (const EError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "the output \"" + out + "\" is the same file as the input \"" + report + "\"");
        }
    }
    EXPECT_NO_THROW(RefuseToOverwrite({report}, dir / "new.pdf"));
    EXPECT_EQ(ReadAll(report), (std::vector<std::uint8_t>{1, 2, 3}));
}

namespace {

// Runs body in a child process that cleans up on interruption; the child reports on a
// pipe once it is ready and then waits to be signalled. Returns its pid.
template <typename TBody> pid_t StartChild(TBody body, bool ignoreHangUp = false)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        if (ignoreHangUp)
            std::signal(SIGHUP, SIG_IGN);
        CleanUpOnInterruption();
        body();
        const char c = 1;
        if (::write(ready[1], &c, 1) != 1)
            ::_exit(3);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    const bool ok = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    return ok ? pid : -1;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace

TEST(Interruption, EachSignalRemovesWhatIsBeingWrittenAndEndsByThatSignal)
{
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        TTempDir dir;
        WriteAll(dir / "r.pdf", {7});
        const pid_t pid = StartChild([&] {
            // Released on purpose: an interrupted program never runs its destructors.
            auto* out = new TOutputFile(dir / "r.pdf");
            out->WriteBuffer("partial", 7);
            std::filesystem::create_directory(dir / "staging");
            WriteAll(dir / "staging/a.png", {1});
            WriteAll(dir / "staging/b.png", {2});
            RemoveOnInterruption(dir / "staging", TRemoval::Folder);
            WriteAll(dir / "spill", {3});
            RemoveOnInterruption(dir / "spill");
            WriteAll(dir / "kept", {4});
            RemoveOnInterruption(dir / "kept");
            KeepOnInterruption(dir / "kept");
        });
        ASSERT_GT(pid, 0);
        EXPECT_EQ(Names(dir.Path()).size(), 5u);
        ::kill(pid, sig);
        const int status = WaitFor(pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << sig;
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"kept", "r.pdf"})) << sig;
        EXPECT_EQ(ReadAll(dir / "r.pdf"), std::vector<std::uint8_t>{7});
    }
}

TEST(Interruption, AnIgnoredSignalStaysIgnoredAndKillLeavesANamedLeftover)
{
    TTempDir dir;
    const pid_t pid = StartChild(
        [&] {
            auto* out = new TOutputFile(dir / "r.pdf");
            out->WriteBuffer("partial", 7);
        },
        true);
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGHUP);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "a program started under nohup keeps running";
    ::kill(pid, SIGKILL);
    status = WaitFor(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    // Nothing runs after SIGKILL: what is left says what it is.
    const auto names = Names(dir.Path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(IsPartialName(names[0], "r.pdf")) << names[0];
    // The next writer of the same target is not disturbed by it.
    TOutputFile next(dir / "r.pdf");
    next.WriteBuffer("whole", 5);
    next.Commit();
    EXPECT_EQ(ReadAll(dir / "r.pdf").size(), 5u);
}

TEST(Interruption, TheSignalIsPassedOnToChildrenThatEndFirst)
{
    TTempDir dir;
    int gp[2];
    ASSERT_EQ(::pipe(gp), 0);
    const pid_t pid = StartChild([&] {
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            // Writes its own partial file and cleans up like any of the tools.
            CleanUpOnInterruption();
            auto* out = new TOutputFile(dir / "child.pdf");
            out->WriteBuffer("x", 1);
            // Once for its parent, once for the test.
            const pid_t self = ::getpid();
            for (int i = 0; i < 2; ++i)
                if (::write(gp[1], &self, sizeof self) != sizeof self)
                    ::_exit(3);
            for (;;)
                ::pause();
        }
        pid_t reported = 0;
        if (::read(gp[0], &reported, sizeof reported) != sizeof reported)
            ::_exit(3);
        ForwardInterruptionTo(grandchild);
    });
    ASSERT_GT(pid, 0);
    pid_t grandchild = 0;
    ASSERT_EQ(::read(gp[0], &grandchild, sizeof grandchild), static_cast<ssize_t>(sizeof grandchild));
    ::close(gp[0]);
    ::close(gp[1]);
    ASSERT_EQ(Names(dir.Path()).size(), 1u);
    ::kill(pid, SIGTERM);
    const int status = WaitFor(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    // The parent waited for it: it is gone, and so is its file.
    EXPECT_NE(::kill(grandchild, 0), 0);
    EXPECT_TRUE(Names(dir.Path()).empty());
}
