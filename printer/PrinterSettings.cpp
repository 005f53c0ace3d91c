#include "printer/PrinterSettings.h"

#include "platform/WindowMessages.h"

#include <cfenv>
#include <climits>
#include <cmath>

namespace qrp {

const std::array<std::int16_t, QRPaperSizeCount> PaperCodes = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
    14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, DMPAPER_USER};

const std::array<std::array<long double, 2>, 26> PaperMetrics = {{
    {215.9L, 279.4L},  // Letter
    {215.9L, 279.4L},  // LetterSmall
    {279.4L, 431.8L},  // Tabloid
    {431.8L, 279.4L},  // Ledger
    {215.9L, 355.6L},  // Legal
    {139.7L, 215.9L},  // Statement
    {190.5L, 254.0L},  // Executive
    {297.0L, 420.0L},  // A3
    {210.0L, 297.0L},  // A4
    {210.0L, 297.0L},  // A4Small
    {148.0L, 210.0L},  // A5
    {250.0L, 354.0L},  // B4
    {182.0L, 257.0L},  // B5
    {215.9L, 330.2L},  // Folio
    {215.0L, 275.0L},  // Quarto
    {254.0L, 355.6L},  // 10x14
    {279.4L, 431.8L},  // 11x17
    {215.9L, 279.0L},  // Note
    {98.43L, 225.4L},  // Env9
    {104.8L, 241.3L},  // Env10
    {114.3L, 263.5L},  // Env11
    {101.6L, 279.4L},  // Env12
    {127.0L, 292.1L},  // Env14
    {100.0L, 100.0L},  // CSheet
    {100.0L, 100.0L},  // DSheet
    {100.0L, 100.0L},  // ESheet
}};

const std::array<const char*, QRPaperSizeCount> PaperNames = {
    "Default size",
    "Letter 8 1/2 x 11 in",
    "Letter Small 8 1/2 x 11 in",
    "Tabloid 11 x 17 in",
    "Ledger 17 x 11 in",
    "Legal 8 1/2 x 14 in",
    "Statement 5 1/2 x 8 1/2 in",
    "Executive7 1/2 x 10 in",
    "A3 297 x 420 mm",
    "A4 210 x 297 mm",
    "A4 Small 210 x 297 mm",
    "A5 148 x 210 mm",
    "B4 250 x 354 mm",
    "B5 182 x 257 mm",
    "Folio 8 1/2 x 13 in",
    "Quarto 215 x 275 mm",
    "10x14 in",
    "11x17 in",
    "Note 8 1/2 x 11 in",
    "Envelope #9 3 7/8 x 8 7/8",
    "Envelope #10 4 1/8 x 9 1/2",
    "Envelope #11 4 1/2 x 10 3/8",
    "Envelope #12 4 \\276 x 11",
    "Envelope #14 4 \\276 x 11",
    "C size sheet",
    "D size sheet",
    "E size sheet",
    "Custom Size",
};

const std::array<std::int16_t, QRBinCount> BinCodes = {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14, 14};

int RoundHalfEven(long double v)
{
    // nearbyint rounds in the current mode; the program never leaves round-to-nearest,
    // which breaks ties to even.
    const long double r = std::nearbyintl(v);
    if (!(r >= static_cast<long double>(INT_MIN)))
        return INT_MIN;
    if (r > static_cast<long double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(r);
}

namespace {

// Device pixels to tenths of a millimetre.
int PixelsToUnits(int pixels, int dpi)
{
    if (dpi <= 0)
        return 0;
    return RoundHalfEven(static_cast<long double>(pixels) / dpi * 254);
}

std::string NameBuffer(std::string name)
{
    // The names live in 128-byte zero-terminated buffers.
    if (name.size() > 127)
        name.resize(127);
    return name;
}

} // namespace

TPrinterSettings::TPrinterSettings() = default;
TPrinterSettings::~TPrinterSettings() = default;

void TPrinterSettings::AttachPrinter(TPrinterDevice* printer)
{
    attached_ = printer;
    if (attached_ && !attached_->Printers().empty())
        ReadFromDevice();
}

void TPrinterSettings::ReadFromDevice()
{
    if (!attached_)
        return;
    TPrinterDevice& printer = *attached_;

    // 1. Names and the device mode.
    ProcessPendingMessages();
    deviceName_ = NameBuffer(printer.DeviceName());
    driverName_ = NameBuffer(printer.DriverName());
    portName_ = NameBuffer(printer.PortName());
    devMode_ = printer.DevMode();
    haveDevMode_ = true;
    if (const auto path = printer.DriverPath()) {
        const auto slash = path->find_last_of("/\\");
        std::string file = slash == std::string::npos ? *path : path->substr(slash + 1);
        if (file.size() > 63)
            file.resize(63);
        driverName_ = file;
    }

    // 2. Resolution, needed by everything measured below.
    deviceDpiX_ = printer.DeviceCaps(LOGPIXELSX);
    deviceDpiY_ = printer.DeviceCaps(LOGPIXELSY);

    // 3. Copies.
    copies_ = CapabilityPresent(DM_COPIES) ? devMode_.dmCopies : 1;

    // 4. Paper source: the first bin with the device's source code.
    outputBin_ = TQRBin::First;
    if (CapabilityPresent(DM_DEFAULTSOURCE)) {
        for (int b = 0; b < QRBinCount; ++b) {
            if (BinCodes[b] == devMode_.dmDefaultSource) {
                outputBin_ = static_cast<TQRBin>(b);
                break;
            }
        }
    }

    // 5. Duplex.
    duplex_ = CapabilityPresent(DM_DUPLEX) && devMode_.dmDuplex != DMDUP_SIMPLEX;

    // 6. Unprintable offsets.
    physicalLeft_ = PixelsToUnits(printer.DeviceCaps(PHYSICALOFFSETX), deviceDpiX_);
    physicalTop_ = PixelsToUnits(printer.DeviceCaps(PHYSICALOFFSETY), deviceDpiY_);

    // 7. Paper size: the first size with the device's paper code.
    paperSize_ = TQRPaperSize::Default;
    if (CapabilityPresent(DM_PAPERSIZE)) {
        for (int s = 0; s < QRPaperSizeCount; ++s) {
            if (PaperCodes[s] == devMode_.dmPaperSize) {
                paperSize_ = static_cast<TQRPaperSize>(s);
                break;
            }
        }
    }

    // 8. The sheet.
    sheetWidth_ = PixelsToUnits(printer.DeviceCaps(PHYSICALWIDTH), deviceDpiX_);
    sheetLength_ = PixelsToUnits(printer.DeviceCaps(PHYSICALHEIGHT), deviceDpiY_);

    // 9. The sizes the device offers; custom sizes always count as offered.
    sizeAvailable_.fill(false);
    for (const std::int16_t code : printer.PaperCodes()) {
        for (int s = 1; s < QRPaperSizeCount; ++s) {
            if (PaperCodes[s] == code) {
                sizeAvailable_[s] = true;
                break;
            }
        }
    }
    sizeAvailable_[static_cast<int>(TQRPaperSize::Custom)] = true;
}

void TPrinterSettings::ApplyToDevice()
{
    // Nothing to write into without a device (no printer installed).
    if (!attached_)
        return;
    TPrinterDevice& printer = *attached_;

    deviceName_ = NameBuffer(printer.DeviceName());
    driverName_ = NameBuffer(printer.DriverName());
    portName_ = NameBuffer(printer.PortName());
    devMode_ = printer.DevMode();
    haveDevMode_ = true;

    if (paperSize_ == TQRPaperSize::Custom) {
        if (CapabilityPresent(DM_PAPERLENGTH)) {
            MarkField(DM_PAPERLENGTH);
            devMode_.dmPaperLength = static_cast<std::int16_t>(sheetLength_);
        }
        if (CapabilityPresent(DM_PAPERWIDTH)) {
            MarkField(DM_PAPERWIDTH);
            devMode_.dmPaperWidth = static_cast<std::int16_t>(sheetWidth_);
        }
    }
    if (duplex_) {
        MarkField(DM_DUPLEX);
        devMode_.dmDuplex = DMDUP_HORIZONTAL;
    }
    if (CapabilityPresent(DM_PAPERSIZE) && paperSize_ != TQRPaperSize::Default) {
        MarkField(DM_PAPERSIZE);
        devMode_.dmPaperSize = PaperCodes[static_cast<int>(paperSize_)];
    }
    MarkField(DM_COPIES);
    devMode_.dmCopies = static_cast<std::int16_t>(copies_);
    MarkField(DM_DEFAULTSOURCE);
    devMode_.dmDefaultSource = static_cast<std::int16_t>(
        BinCodes[static_cast<int>(outputBin_)] | (devMode_.dmDefaultSource & 256));
    MarkField(DM_ORIENTATION);
    devMode_.dmOrientation = orientation_ == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;

    printer.SetDevMode(devMode_);
}

void TPrinterSettings::ReloadDriverDefaults(TPrinterDevice& printer)
{
    deviceName_ = NameBuffer(printer.DeviceName());
    driverName_ = NameBuffer(printer.DriverName());
    portName_ = NameBuffer(printer.PortName());
    printer.ReleaseDevMode();
}

bool TPrinterSettings::CapabilityPresent(std::uint32_t fields) const
{
    if (!attached_)
        return false;
    return (devMode_.dmFields & fields) == fields;
}

void TPrinterSettings::MarkField(std::uint32_t fields)
{
    devMode_.dmFields |= fields;
}

bool TPrinterSettings::SizeSupported(TQRPaperSize size) const
{
    const int s = static_cast<int>(size);
    return s > 0 && s < QRPaperSizeCount && sizeAvailable_[s];
}

void TPrinterSettings::SetCopies(int copies)
{
    if (CapabilityPresent(DM_COPIES))
        copies_ = copies;
}

void TPrinterSettings::SetOrientation(TPrinterOrientation orientation)
{
    if (CapabilityPresent(DM_ORIENTATION))
        orientation_ = orientation;
}

void TPrinterSettings::SetOutputBin(TQRBin bin)
{
    if (static_cast<int>(bin) >= QRBinCount)
        return;
    if (CapabilityPresent(DM_DEFAULTSOURCE))
        outputBin_ = bin;
}

void TPrinterSettings::SetPaperSize(TQRPaperSize size)
{
    if (SizeSupported(size) || size == TQRPaperSize::Default)
        paperSize_ = size;
}

int TPrinterSettings::PaperWidth() const
{
    if (paperSize_ == TQRPaperSize::Default || paperSize_ == TQRPaperSize::Custom)
        return sheetWidth_;
    return RoundHalfEven(10 * PaperMetrics[static_cast<int>(paperSize_) - 1][0]);
}

int TPrinterSettings::PaperLength() const
{
    if (paperSize_ == TQRPaperSize::Default || paperSize_ == TQRPaperSize::Custom)
        return sheetLength_;
    return RoundHalfEven(10 * PaperMetrics[static_cast<int>(paperSize_) - 1][1]);
}

void TPrinterSettings::SetPaperWidth(int width)
{
    if (paperSize_ == TQRPaperSize::Custom)
        sheetWidth_ = width;
}

void TPrinterSettings::SetPaperLength(int length)
{
    if (paperSize_ == TQRPaperSize::Custom)
        sheetLength_ = length;
}

} // namespace qrp
