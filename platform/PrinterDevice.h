#pragma once
// The platform printer object: one print queue of the system, its device mode (the
// settings a document is printed with), its device capabilities and the document
// calls. TQtPrinterDevice is the real one over Qt PrintSupport and CUPS; the scripted
// device (ScriptedPrinterDevice.h) stands in for it in tests.
#include "base/Errors.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace qrp {

// Field bits of a device mode's field mask.
constexpr std::uint32_t DM_ORIENTATION = 1;
constexpr std::uint32_t DM_PAPERSIZE = 2;
constexpr std::uint32_t DM_PAPERLENGTH = 4;
constexpr std::uint32_t DM_PAPERWIDTH = 8;
constexpr std::uint32_t DM_COPIES = 256;
constexpr std::uint32_t DM_DEFAULTSOURCE = 512;
constexpr std::uint32_t DM_DUPLEX = 4096;

constexpr std::int16_t DMORIENT_PORTRAIT = 1;
constexpr std::int16_t DMORIENT_LANDSCAPE = 2;
constexpr std::int16_t DMDUP_SIMPLEX = 1;
constexpr std::int16_t DMDUP_VERTICAL = 2;   // long-edge binding
constexpr std::int16_t DMDUP_HORIZONTAL = 3; // short-edge binding
constexpr std::int16_t DMPAPER_USER = 256;   // custom size: dmPaperWidth x dmPaperLength

// Device capability indexes (the values the platform uses for them).
enum TDeviceCap : int {
    HORZRES = 8,           // printable width, device pixels
    VERTRES = 10,          // printable height, device pixels
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    PHYSICALWIDTH = 110,   // whole sheet, device pixels
    PHYSICALHEIGHT = 111,
    PHYSICALOFFSETX = 112, // left edge of the printable area from the sheet's edge
    PHYSICALOFFSETY = 113,
};

// The device mode: the settings the next document is printed with. Only the fields
// whose bit is in dmFields are declared by the device (or were written since).
struct TDevMode {
    std::uint32_t dmFields = 0;
    std::int16_t dmOrientation = DMORIENT_PORTRAIT;
    std::int16_t dmPaperSize = 0;   // paper code
    std::int16_t dmPaperLength = 0; // tenths of a millimetre (custom size)
    std::int16_t dmPaperWidth = 0;  // tenths of a millimetre (custom size)
    std::int16_t dmCopies = 1;
    std::int16_t dmDefaultSource = 0;
    std::int16_t dmDuplex = DMDUP_SIMPLEX;

    bool operator==(const TDevMode&) const = default;
};

class TPrinterDevice {
public:
    virtual ~TPrinterDevice() = default;

    // The queues in the printing system's order, as last read.
    virtual std::vector<std::string> Printers() const = 0;
    // Reads the queue list again, for queues added or removed since. The selected queue
    // stays selected (at its new index) while it is listed; otherwise the default queue
    // is selected, or none when no queue is left. Nothing changes while printing.
    virtual void RefreshPrinters() = 0;
    // Index of the selected queue in Printers(); -1 when there is none.
    virtual int PrinterIndex() const = 0;
    // -1 selects the system's default queue; any other index outside Printers() fails
    // with EPrinterError "Printer index out of range". Selecting a queue puts its
    // default device mode in force.
    virtual void SetPrinterIndex(int index) = 0;

    virtual std::string DeviceName() const = 0;
    virtual std::string DriverName() const = 0;
    virtual std::string PortName() const = 0;
    // The driver's file path (the queue's driver information); none when it cannot be had.
    virtual std::optional<std::string> DriverPath() const = 0;

    // The device mode in force: the queue's defaults until one is set.
    virtual TDevMode DevMode() = 0;
    // Documents begun after this use the given device mode.
    virtual void SetDevMode(const TDevMode& mode) = 0;
    // Drops the device mode; the queue's defaults are fetched when next needed.
    virtual void ReleaseDevMode() = 0;

    // Capabilities of the queue under the device mode in force; 0 for unknown indexes.
    virtual int DeviceCaps(TDeviceCap cap) = 0;
    // The paper codes of the sizes the queue offers (DMPAPER_USER for custom sizes).
    virtual std::vector<std::int16_t> PaperCodes() = 0;

    virtual std::string Title() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Starts a document titled Title() and opens its first page.
    virtual void BeginDoc() = 0;
    // Ends the current page and opens the next.
    virtual void NewPage() = 0;
    // Makes sure a page is open on a running document (nothing when one is open).
    virtual void StartPage() = 0;
    // Ends the last page and the document; the job goes to the queue. Fails when the
    // queue does not take it.
    virtual void EndDoc() = 0;
    // What the user should know about the job the last EndDoc handed over (for example
    // that the queue is stopped and keeps it); empty when it went straight to print.
    virtual std::string JobNotice() const = 0;
    // Discards the running job.
    virtual void Abort() = 0;
    virtual bool Printing() const = 0;
    // Drawing surface of the open page, origin at the printable area's top-left corner;
    // nullptr while no document runs.
    virtual QPainter* Canvas() = 0;
    // The printable area in device pixels (HORZRES, VERTRES).
    virtual int PageWidth() = 0;
    virtual int PageHeight() = 0;
};

// The real device: a CUPS queue through Qt PrintSupport. Without a print system it
// lists no printer.
std::unique_ptr<TPrinterDevice> CreateSystemPrinterDevice();

// The system's queue names, in the printing system's order.
std::vector<std::string> SystemPrinterNames();
// The application-wide printer object (its index starts at the default queue).
TPrinterDevice& ApplicationPrinter();
// Index of the application-wide printer in the system's queue list as it is now (the
// list is read again): the default queue; -1 without printers.
int ApplicationPrinterIndex();

} // namespace qrp
