#pragma once
// Cleaning up when a program is interrupted. A program that writes files calls
// CleanUpOnInterruption once at its start; from then on SIGINT, SIGTERM and SIGHUP
// remove every file and folder registered here, pass the signal on to the registered
// child processes and then end the program by the same signal, so its exit status
// still says what stopped it. A signal the program was started with ignored (nohup)
// stays ignored.
//
// The registry is a fixed table that the signal handler reads without allocating or
// locking: registering never allocates either, and fails when the table is full.
// Registration and removal are safe from any thread.
#include <csignal>
#include <string>

#include <sys/types.h>

namespace qrp {

// Installs the handler for SIGINT, SIGTERM and SIGHUP (those not ignored). Calling it
// again does no harm.
void CleanUpOnInterruption();

// What the handler removes: a file, or a folder with the files in it (one level).
enum class TRemoval { File, Folder };

// Adds path to what an interruption removes; false when the table is full or the path
// too long. Register a file in the same signal-blocked stretch that creates it
// (TSignalsBlocked) so that no interruption falls between the two.
bool RemoveOnInterruption(const std::string& path, TRemoval what = TRemoval::File);
// Takes path off again (after it was renamed into place or removed).
void KeepOnInterruption(const std::string& path);

// Child processes the handler passes the signal on to, and waits for (a few seconds
// at most) before the program ends.
bool ForwardInterruptionTo(pid_t child);
void StopForwardingTo(pid_t child);

// The interrupting signals held back for the lifetime of the object, on this thread:
// one that arrives meanwhile is handled when the object goes.
class TSignalsBlocked {
public:
    TSignalsBlocked();
    ~TSignalsBlocked();
    TSignalsBlocked(const TSignalsBlocked&) = delete;
    TSignalsBlocked& operator=(const TSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

} // namespace qrp
