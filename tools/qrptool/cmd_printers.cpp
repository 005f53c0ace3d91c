// qrptool printers: the print queues as the report printer's settings read them.
#include "Command.h"

#include "platform/PrintSystem.h"
#include "platform/PrinterDevice.h"
#include "printer/PrinterSettings.h"

#include <QPageSize>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// The name of a paper code: the report printer's own names for the codes it knows,
// the toolkit's for the other standard codes.
std::string PaperName(std::int16_t code)
{
    for (int i = 1; i < qrp::QRPaperSizeCount; ++i)
        if (qrp::PaperCodes[i] == code)
            return qrp::PaperNames[i];
    const QPageSize size(QPageSize::id(code));
    return size.isValid() ? size.name().toStdString() : "unknown size";
}

int Run(const qrptool::Args& args)
{
    if (!args.empty())
        throw qrptool::EUsage{"takes no arguments"};
    // Without its scheduler the printing system lists no queue at all: say why,
    // rather than that there is no printer.
    if (!qrp::PrintSystemRunning())
        throw qrp::EPrinterError(qrp::NoPrinterMessage());
    const auto names = qrp::SystemPrinterNames();
    if (names.empty()) {
        std::printf("no printer is installed\n");
        return 0;
    }
    const int application = qrp::ApplicationPrinterIndex();
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        auto device = qrp::CreateSystemPrinterDevice();
        device->SetPrinterIndex(i);
        qrp::TPrinterSettings settings;
        settings.AttachPrinter(device.get());
        const int paper = static_cast<int>(settings.PaperSize());
        std::printf("%s%s\n", names[i].c_str(), i == application ? " (default)" : "");
        std::printf("  driver %s, resolution %d x %d dpi\n", settings.DriverName().c_str(), settings.DeviceDpiX(),
                    settings.DeviceDpiY());
        std::printf("  paper %s (code %d), sheet %d x %d, printable area from %d, %d: %d x %d (0.1 mm)\n",
                    qrp::PaperNames[paper], qrp::PaperCodes[paper], settings.SheetWidth(), settings.SheetLength(),
                    settings.PhysicalLeft(), settings.PhysicalTop(),
                    qrp::RoundHalfEven(static_cast<long double>(device->DeviceCaps(qrp::HORZRES)) /
                                       std::max(1, settings.DeviceDpiX()) * 254),
                    qrp::RoundHalfEven(static_cast<long double>(device->DeviceCaps(qrp::VERTRES)) /
                                       std::max(1, settings.DeviceDpiY()) * 254));
        std::printf("  papers offered (code name):\n");
        for (const auto code : device->PaperCodes())
            std::printf("    %3d %s\n", code, PaperName(code).c_str());
        std::printf("  copies %d, duplex %s\n", settings.Copies(), settings.Duplex() ? "yes" : "no");
    }
    return 0;
}

const qrptool::TCommandRegistration registration("printers", Run);

} // namespace
