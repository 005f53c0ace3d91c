#include "RunLimits.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

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
