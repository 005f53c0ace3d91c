#pragma once
// The print system (the CUPS scheduler) where the printer device needs more than Qt's
// printer information: whether the scheduler answers, and handing a finished document
// to a queue as one job, with the queue's answer turned into words for the user.
#include <string>
#include <utility>
#include <vector>

namespace qrp {

// True when the scheduler answers on its socket or port.
bool PrintSystemRunning();

// Why there is no printer to print on: the scheduler does not run, or no queue is
// installed. Spanish, for the user.
std::string NoPrinterMessage();

// The message for a queue that is no longer in the print system.
std::string QueueGoneMessage(const std::string& queue);

// Job options in the "name=value" (or bare "name") form the lp command takes with -o.
using TJobOptions = std::vector<std::string>;

// What became of a job the queue took.
struct TJobReceipt {
    int JobId = 0;
    // For the user when the job does not go straight to the printer (the queue is
    // stopped and keeps the job until it runs again); empty otherwise.
    std::string Notice;
};

// Hands the file to the queue as one job titled `title`, in `copies` copies. The call
// returns once the scheduler holds the whole file, so the file may be removed then.
// Fails with EPrinterError, in words for the user, when the scheduler does not answer,
// the queue is gone or refuses jobs, or the hand-off takes longer than timeoutMs.
TJobReceipt SubmitPrintJob(const std::string& queue, const std::string& file, const std::string& title,
                           int copies, const TJobOptions& options, int timeoutMs);

} // namespace qrp
