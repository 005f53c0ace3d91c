#pragma once
// The limits of one thumbnailer run. File managers start the thumbnailer for every
// report they show, so a page must not hold a run (or the machine) for long: the
// reading and drawing of the page have a wall-clock deadline, and the process's data
// (its heap and every private writable mapping) a ceiling.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace qrp::thumbnailer {

// Watches the clock from construction. When `seconds` (> 0) pass before Finish, a
// watchdog thread prints `line` on stderr and ends the process with status 1. Nothing
// is written while the deadline runs, so nothing is left behind.
class TDrawingDeadline {
public:
    TDrawingDeadline(double seconds, std::string line);
    ~TDrawingDeadline();
    TDrawingDeadline(const TDrawingDeadline&) = delete;
    TDrawingDeadline& operator=(const TDrawingDeadline&) = delete;

    // Ends the watch; from here on the run is not stopped.
    void Finish();

private:
    void Watch(double seconds);

    std::mutex lock_;
    std::condition_variable finished_;
    bool done_ = false;
    std::string line_;
    std::thread watchdog_;
};

// While a page is drawn under a memory limit, a failed allocation deep in the drawing
// can end the process with a signal instead of an error. Until CatchCrashesEnd, the
// signals of a crash (SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE) print `line` on stderr
// and end the process with status 1: a file manager gets a failed thumbnail, not a
// crash report. Nothing has been written at that point.
void CatchCrashes(const std::string& line);
void CatchCrashesEnd();

// Holds the process's data to `mib` MiB (0: no limit of its own). Past it an
// allocation fails (std::bad_alloc) instead of taking the machine's memory. Throws
// std::runtime_error when the limit cannot be set.
void LimitMemory(long mib);

} // namespace qrp::thumbnailer
