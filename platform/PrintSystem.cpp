#include "platform/PrintSystem.h"

#include "base/Errors.h"

#include <cups/cups.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace qrp {

namespace {

using TClock = std::chrono::steady_clock;

// Ends the wait of a blocked read or write once the deadline has passed.
struct TDeadline {
    TClock::time_point Until;
    bool Expired = false;
};

int KeepWaiting(http_t*, void* data)
{
    auto* deadline = static_cast<TDeadline*>(data);
    if (TClock::now() < deadline->Until)
        return 1;
    deadline->Expired = true;
    return 0;
}

struct THttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using THttp = std::unique_ptr<http_t, THttpClose>;

THttp Connect(int timeoutMs)
{
    return THttp(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, timeoutMs,
                              nullptr));
}

std::string Quoted(const std::string& queue)
{
    return "\"" + queue + "\"";
}

std::string NotRunningMessage()
{
    return "El sistema de impresión (CUPS) no está en funcionamiento; el reporte no se imprimió";
}

// The scheduler's own words for its last answer, when it gave any.
std::string LastErrorText()
{
    const char* text = cupsLastErrorString();
    return text && *text ? text : ippErrorString(cupsLastError());
}

bool QueueExists(const std::string& queue)
{
    const THttp http = Connect(5000);
    if (!http)
        return false;
    cups_dest_t* dest = cupsGetNamedDest(http.get(), queue.c_str(), nullptr);
    if (!dest)
        return false;
    cupsFreeDests(1, dest);
    return true;
}

// The error for a job the queue did not take, by the scheduler's last answer.
EPrinterError Refusal(const std::string& queue, const TDeadline& deadline, int timeoutMs)
{
    if (deadline.Expired)
        return EPrinterError("El sistema de impresión no recibió el trabajo para la impresora " + Quoted(queue) +
                             " en el tiempo de espera (" + std::to_string(timeoutMs / 1000) +
                             " segundos); el reporte no se imprimió");
    switch (cupsLastError()) {
    case IPP_STATUS_ERROR_NOT_FOUND:
        return EPrinterError(QueueGoneMessage(queue));
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return EPrinterError("La impresora " + Quoted(queue) +
                             " no acepta trabajos en este momento; el reporte no se imprimió");
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        if (!PrintSystemRunning())
            return EPrinterError(NotRunningMessage());
        break;
    default:
        break;
    }
    const std::string why = LastErrorText();
    if (!PrintSystemRunning())
        return EPrinterError(NotRunningMessage());
    if (!QueueExists(queue))
        return EPrinterError(QueueGoneMessage(queue));
    return EPrinterError("La impresora " + Quoted(queue) + " no aceptó el trabajo: " + why);
}

// A job that was created but could not be completed is cancelled, so that no half job
// stays behind in the queue.
void CancelUnfinished(const std::string& queue, int jobId)
{
    if (jobId <= 0)
        return;
    if (THttp http = Connect(5000))
        cupsCancelJob2(http.get(), queue.c_str(), jobId, 0);
}

bool QueueStopped(http_t* http, const std::string& queue)
{
    cups_dest_t* dest = cupsGetNamedDest(http, queue.c_str(), nullptr);
    if (!dest)
        return false;
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    const bool stopped = state && std::string(state) == std::to_string(IPP_PSTATE_STOPPED);
    cupsFreeDests(1, dest);
    return stopped;
}

} // namespace

bool PrintSystemRunning()
{
    return Connect(5000) != nullptr;
}

std::string NoPrinterMessage()
{
    if (!PrintSystemRunning())
        return "El sistema de impresión (CUPS) no está en funcionamiento, por eso no hay ninguna impresora "
               "disponible. Inicie el servicio de impresión y vuelva a intentarlo";
    return "No hay ninguna impresora instalada. Instale una impresora en el sistema para poder imprimir";
}

std::string QueueGoneMessage(const std::string& queue)
{
    return "La impresora " + Quoted(queue) + " ya no existe en el sistema de impresión; el reporte no se imprimió";
}

TJobReceipt SubmitPrintJob(const std::string& queue, const std::string& file, const std::string& title,
                           int copies, const TJobOptions& options, int timeoutMs)
{
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in)
        throw EPrinterError("No se pudo leer el trabajo de impresión preparado para la impresora " + Quoted(queue));
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(in, std::fclose);

    TDeadline deadline{TClock::now() + std::chrono::milliseconds(timeoutMs)};
    const THttp http = Connect(timeoutMs);
    if (!http)
        throw EPrinterError(NotRunningMessage());
    httpSetTimeout(http.get(), 1.0, KeepWaiting, &deadline);

    cups_option_t* jobOptions = nullptr;
    int count = 0;
    for (const std::string& o : options)
        count = cupsParseOptions(o.c_str(), count, &jobOptions);
    if (copies > 1)
        count = cupsAddOption("copies", std::to_string(copies).c_str(), count, &jobOptions);
    const int jobId = cupsCreateJob(http.get(), queue.c_str(), title.c_str(), count, jobOptions);
    cupsFreeOptions(count, jobOptions);
    if (jobId <= 0)
        throw Refusal(queue, deadline, timeoutMs);

    bool sent = cupsStartDocument(http.get(), queue.c_str(), jobId, title.c_str(), CUPS_FORMAT_PDF, 1) ==
                HTTP_STATUS_CONTINUE;
    char buffer[65536];
    while (sent) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, input.get());
        if (n == 0) {
            sent = !std::ferror(input.get());
            break;
        }
        sent = cupsWriteRequestData(http.get(), buffer, n) == HTTP_STATUS_CONTINUE;
    }
    // Finishing reads the scheduler's answer; it is needed whether or not all was sent.
    const ipp_status_t status = cupsFinishDocument(http.get(), queue.c_str());
    if (!sent || status > IPP_STATUS_OK_CONFLICTING) {
        const EPrinterError error = Refusal(queue, deadline, timeoutMs);
        CancelUnfinished(queue, jobId);
        throw error;
    }

    TJobReceipt receipt;
    receipt.JobId = jobId;
    if (QueueStopped(http.get(), queue))
        receipt.Notice = "La impresora " + Quoted(queue) +
                         " está detenida: el trabajo quedó en su cola y se imprimirá cuando la impresora se "
                         "reanude";
    return receipt;
}

} // namespace qrp
