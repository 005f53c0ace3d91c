#pragma once
// Paper, paper source and orientation of a report, and the bridge that reads them from
// a printer device and writes them back into its device mode before a document starts.
#include "platform/PrinterDevice.h"

#include <array>
#include <cstdint>
#include <string>

namespace qrp {

enum class TQRPaperSize : std::uint8_t {
    Default, Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4,
    A4Small, A5, B4, B5, Folio, Quarto, qr10X14, qr11X17, Note, Env9, Env10, Env11,
    Env12, Env14, CSheet, DSheet, ESheet, Custom
};
constexpr int QRPaperSizeCount = 28;

enum class TQRBin : std::uint8_t {
    First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto, Tractor, SmallFormat,
    LargeFormat, LargeCapacity, Cassette, Last
};
constexpr int QRBinCount = 14;

enum TPrinterOrientation : std::uint8_t { poPortrait = 0, poLandscape = 1 };

// Device-mode paper code of each size (Custom: DMPAPER_USER).
extern const std::array<std::int16_t, QRPaperSizeCount> PaperCodes;
// Width and length in millimetres, portrait, of Letter .. ESheet; index = size - 1.
extern const std::array<std::array<long double, 2>, 26> PaperMetrics;
// Display names of the sizes.
extern const std::array<const char*, QRPaperSizeCount> PaperNames;
// Device-mode source code of each paper source.
extern const std::array<std::int16_t, QRBinCount> BinCodes;

// Nearest integer, halves to even.
int RoundHalfEven(long double v);

class TPrinterSettings {
public:
    TPrinterSettings();
    ~TPrinterSettings();
    TPrinterSettings(const TPrinterSettings&) = delete;
    TPrinterSettings& operator=(const TPrinterSettings&) = delete;

    // Attaches a device (not owned) and reads it when it lists a printer.
    void AttachPrinter(TPrinterDevice* printer);
    TPrinterDevice* AttachedPrinter() const { return attached_; }

    void ReadFromDevice();
    void ApplyToDevice();
    // Asks the device to drop its device mode, so that the driver's defaults apply.
    void ReloadDriverDefaults(TPrinterDevice& printer);

    bool CapabilityPresent(std::uint32_t fields) const;
    void MarkField(std::uint32_t fields);
    bool SizeSupported(TQRPaperSize size) const;

    // Guarded setters: a value the device does not declare leaves the old one.
    int Copies() const { return copies_; }
    void SetCopies(int copies);
    bool Duplex() const { return duplex_; }
    void SetDuplex(bool duplex) { duplex_ = duplex; }
    TPrinterOrientation Orientation() const { return orientation_; }
    void SetOrientation(TPrinterOrientation orientation);
    TQRBin OutputBin() const { return outputBin_; }
    void SetOutputBin(TQRBin bin);
    TQRPaperSize PaperSize() const { return paperSize_; }
    void SetPaperSize(TQRPaperSize size);
    // Report units (tenths of a millimetre), portrait; the custom size is settable
    // only while PaperSize is Custom.
    int PaperWidth() const;
    void SetPaperWidth(int width);
    int PaperLength() const;
    void SetPaperLength(int length);

    int SheetWidth() const { return sheetWidth_; }
    int SheetLength() const { return sheetLength_; }
    int DeviceDpiX() const { return deviceDpiX_; }
    int DeviceDpiY() const { return deviceDpiY_; }
    int PhysicalTop() const { return physicalTop_; }
    int PhysicalLeft() const { return physicalLeft_; }

    const std::string& DeviceName() const { return deviceName_; }
    const std::string& DriverName() const { return driverName_; }
    const std::string& PortName() const { return portName_; }
    // The device mode as of the last read or apply.
    const TDevMode& DevModeData() const { return devMode_; }

private:
    std::string deviceName_, driverName_, portName_;
    bool haveDevMode_ = false;
    TDevMode devMode_;
    int copies_ = 0;
    bool duplex_ = false;
    TPrinterOrientation orientation_ = poPortrait;
    TQRBin outputBin_ = TQRBin::First;
    TQRPaperSize paperSize_ = TQRPaperSize::A4;
    std::array<bool, QRPaperSizeCount> sizeAvailable_{}; // index 0 (Default) unused
    int sheetWidth_ = 0, sheetLength_ = 0;
    int deviceDpiX_ = 0, deviceDpiY_ = 0;
    int physicalTop_ = 0, physicalLeft_ = 0;
    TPrinterDevice* attached_ = nullptr;
};

// The plainer settings record a report host keeps and publishes: defaults only.
class TQRPrinterSettings {
public:
    int Copies = 1;
    bool Duplex = false;
    TPrinterOrientation Orientation = poPortrait;
    TQRBin OutputBin = TQRBin::Auto;
    TQRPaperSize PaperSize = TQRPaperSize::Letter;
    int PrinterNumber = -1; // -1: the system's default printer
    std::string Title;
    int FirstPage = 0;
    int LastPage = 0;
};

// The published form of it (Copies, Duplex, FirstPage, LastPage, OutputBin).
class TQRReportPrinterSettings : public TQRPrinterSettings {};

} // namespace qrp
