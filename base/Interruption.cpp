#include "base/Interruption.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qrp {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A slot is free (0), being filled or emptied (1), or holds a path (2). Only a thread
// that moved it from 0 or 2 to 1 touches its path; the handler reads held slots only.
enum : int { kFree = 0, kBusy = 1, kHeld = 2 };

struct TPathSlot {
    std::atomic<int> State{kFree};
    TRemoval What = TRemoval::File;
    char Path[PATH_MAX] = {};
};

constexpr std::size_t kPathSlots = 128;
constexpr std::size_t kChildSlots = 256;

std::array<TPathSlot, kPathSlots> paths;
std::array<std::atomic<pid_t>, kChildSlots> children{};

sigset_t InterruptingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kSignals)
        sigaddset(&set, s);
    return set;
}

// What follows runs in the signal handler: system calls only, no allocation.

void RemoveFolder(const char* path)
{
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        // Removing entries while listing them may make the listing skip some: list
        // again from the start until a pass finds nothing left.
        alignas(8) char buf[4096];
        for (int pass = 0; pass < 64; ++pass) {
            bool removed = false;
            for (;;) {
                const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
                if (n <= 0)
                    break;
                for (long at = 0; at < n;) {
                    const auto* e = reinterpret_cast<const struct dirent64*>(buf + at);
                    at += e->d_reclen;
                    const char* name = e->d_name;
                    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                        continue;
                    if (::unlinkat(fd, name, 0) == 0)
                        removed = true;
                }
            }
            if (!removed || ::lseek(fd, 0, SEEK_SET) != 0)
                break;
        }
        ::close(fd);
    }
    ::rmdir(path);
}

bool ChildGone(pid_t pid)
{
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    return r == pid || (r < 0 && errno == ECHILD);
}

void OnInterruption(int signal)
{
    const int savedErrno = errno;
    for (auto& c : children)
        if (const pid_t pid = c.load(); pid > 0)
            ::kill(pid, signal);
    for (auto& slot : paths) {
        if (slot.State.load(std::memory_order_acquire) != kHeld)
            continue;
        if (slot.What == TRemoval::Folder)
            RemoveFolder(slot.Path);
        else
            ::unlink(slot.Path);
    }
    // The children clean up after themselves: give them a moment before this program
    // ends, so that it ends with nothing of theirs left either.
    for (int tick = 0; tick < 250; ++tick) {
        bool running = false;
        for (auto& c : children)
            if (const pid_t pid = c.load(); pid > 0 && !ChildGone(pid))
                running = true;
            else if (pid > 0)
                c.store(0);
        if (!running)
            break;
        const timespec pause{0, 20 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    // End by the same signal: it is blocked while this handler runs and is taken,
    // with its default action, as the handler returns.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(signal, &dfl, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

} // namespace

void CleanUpOnInterruption()
{
    for (const int s : kSignals) {
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction sa {};
        sa.sa_handler = OnInterruption;
        sa.sa_mask = InterruptingSignals();
        sa.sa_flags = SA_RESTART;
        ::sigaction(s, &sa, nullptr);
    }
}

bool RemoveOnInterruption(const std::string& path, TRemoval what)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return false;
    for (auto& slot : paths) {
        int expected = kFree;
        if (!slot.State.compare_exchange_strong(expected, kBusy, std::memory_order_acquire))
            continue;
        std::memcpy(slot.Path, path.c_str(), path.size() + 1);
        slot.What = what;
        slot.State.store(kHeld, std::memory_order_release);
        return true;
    }
    return false;
}

void KeepOnInterruption(const std::string& path)
{
    for (auto& slot : paths) {
        // A held slot's path changes only once it is claimed: compare before claiming,
        // so that the other slots stay held all the while.
        if (slot.State.load(std::memory_order_acquire) != kHeld || path != slot.Path)
            continue;
        int expected = kHeld;
        if (!slot.State.compare_exchange_strong(expected, kBusy, std::memory_order_acquire))
            continue;
        slot.Path[0] = '\0';
        slot.State.store(kFree, std::memory_order_release);
        return;
    }
}

bool ForwardInterruptionTo(pid_t child)
{
    for (auto& c : children) {
        pid_t expected = 0;
        if (c.compare_exchange_strong(expected, child))
            return true;
    }
    return false;
}

void StopForwardingTo(pid_t child)
{
    for (auto& c : children) {
        pid_t expected = child;
        if (c.compare_exchange_strong(expected, 0))
            return;
    }
}

TSignalsBlocked::TSignalsBlocked()
{
    const sigset_t set = InterruptingSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

TSignalsBlocked::~TSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

} // namespace qrp
