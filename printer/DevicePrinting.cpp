// Printing a held report on the printer's own device: one device document per print.
#include "printer/QRPrinter.h"

#include "emf/EmfPlayer.h"

#include <QPainter>
#include <algorithm>

namespace qrp {

void TQRPrinter::PrintPages()
{
    if (hostWindow_ && !loadedFromFile_) {
        // A produced report is printed by its host, which produces it again onto the device.
        PostWindowMessage(hostWindow_, MsgPrintRequest, 0, 0);
        return;
    }
    if (state_ != rsFinished || !hasPrinters_)
        return;
    // A second print started from inside this one (its window messages) would abort it.
    if (printingPages_)
        throw EQRError("Este reporte ya se está imprimiendo; espere a que termine");
    printNotice_.clear();

    // Only pages that exist are printed: a range past the report would feed blank
    // sheets, and one with nothing in it opens no document at all.
    const int first = std::max(firstPage_ != 0 ? firstPage_ : 1, 1);
    const int last = std::min(lastPage_ != 0 ? lastPage_ : pageTotal_, pageTotal_);
    if (last < first)
        return;
    // A cancel left over from an earlier run must not cut this print short.
    cancelRequested_ = false;
    // Pages are read from the held report between the window messages processed below,
    // so nothing may clear or reload it until the job is handed over.
    struct TPrintingFlag {
        bool& Flag;
        explicit TPrintingFlag(bool& flag) : Flag(flag) { Flag = true; }
        ~TPrintingFlag() { Flag = false; }
    } printing(printingPages_);

    TPrinterDevice& device = *devicePrinter_;
    device.SetTitle(jobTitle_);
    if (device.Printing())
        device.Abort();
    deviceSettings_->ApplyToDevice();
    device.BeginDoc();
    try {
        for (int i = first; i <= last; ++i) {
            ProcessPendingMessages();
            SetCurrentPage(i);
            if (const std::unique_ptr<TMetafile> picture = PagePicture(i)) {
                if (QPainter* canvas = device.Canvas())
                    PlayMetafile(*canvas, *picture, QRectF(0, 0, device.PageWidth(), device.PageHeight()));
            }
            if (i < last)
                device.NewPage();
            if (cancelRequested_) {
                device.Abort();
                break;
            }
        }
    } catch (...) {
        // The pages sent so far still go out; the page's own error is the one reported.
        try {
            if (device.Printing())
                device.EndDoc();
        } catch (...) {
        }
        throw;
    }
    if (device.Printing()) {
        device.EndDoc();
        printNotice_ = device.JobNotice();
    }
}

} // namespace qrp
