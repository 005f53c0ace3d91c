#include "RunLimits.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace qrp::thumbnailer {

TDrawingDeadline::TDrawingDeadline(double seconds, std::string line) : line_(std::move(line))
{
    if (seconds > 0)
        watchdog_ = std::thread([this, seconds] { Watch(seconds); });
}

TDrawingDeadline::~TDrawingDeadline() { Finish(); }

void TDrawingDeadline::Finish()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        done_ = true;
    }
    finished_.notify_all();
    if (watchdog_.joinable())
        watchdog_.join();
}

void TDrawingDeadline::Watch(double seconds)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(seconds));
    std::unique_lock<std::mutex> guard(lock_);
    if (finished_.wait_until(guard, deadline, [this] { return done_; }))
        return;
    // Still drawing: the lock stays held, so Finish cannot let the run go on to write.
    std::fprintf(stderr, "%s\n", line_.c_str());
    std::fflush(stderr);
    _exit(1);
}

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE};
// The line, ready before any crash: the handler may only write it.
char gCrashLine[1024];
std::size_t gCrashLineLength = 0;

extern "C" void OnCrash(int signal)
{
    char text[sizeof gCrashLine + 32];
    std::size_t n = 0;
    auto add = [&](const char* s, std::size_t len) {
        for (std::size_t i = 0; i < len && n < sizeof text; ++i)
            text[n++] = s[i];
    };
    add(gCrashLine, gCrashLineLength);
    // "(signal 11)": the number by hand, as nothing else is safe here.
    char digits[12];
    int d = 0;
    for (unsigned v = static_cast<unsigned>(signal); d == 0 || v != 0; v /= 10)
        digits[d++] = static_cast<char>('0' + v % 10);
    add(" (signal ", 9);
    while (d > 0)
        add(&digits[--d], 1);
    add(")\n", 2);
    const ssize_t written = write(STDERR_FILENO, text, n);
    (void)written;
    _exit(1);
}

} // namespace

void CatchCrashes(const std::string& line)
{
    gCrashLineLength = std::min(line.size(), sizeof gCrashLine);
    std::memcpy(gCrashLine, line.data(), gCrashLineLength);
    // A stack of its own, so that a crash on a full stack still reports.
    static std::vector<char> stack(1 << 16);
    stack_t alt{};
    alt.ss_sp = stack.data();
    alt.ss_size = stack.size();
    sigaltstack(&alt, nullptr);
    struct sigaction action {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : kCrashSignals)
        sigaction(signal, &action, nullptr);
}

void CatchCrashesEnd()
{
    for (const int signal : kCrashSignals)
        std::signal(signal, SIG_DFL);
}

void LimitMemory(long mib)
{
    if (mib <= 0)
        return;
    rlimit limit{};
    if (getrlimit(RLIMIT_DATA, &limit) != 0)
        throw std::runtime_error(std::string("cannot read the memory limit: ") + std::strerror(errno));
    const rlim_t wanted = static_cast<rlim_t>(mib) << 20;
    // A lower limit set from outside stays.
    rlim_t cur = wanted;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < cur)
        cur = limit.rlim_cur;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < cur)
        cur = limit.rlim_max;
    limit.rlim_cur = cur;
    if (setrlimit(RLIMIT_DATA, &limit) != 0)
        throw std::runtime_error(std::string("cannot set the memory limit: ") + std::strerror(errno));
}

} // namespace qrp::thumbnailer
