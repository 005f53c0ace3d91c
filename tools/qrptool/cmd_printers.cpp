// qrptool printers: the print queues as the report printer's settings read them.
#include "Command.h"

#include "platform/PrinterDevice.h"
#include "printer/PrinterSettings.h"

#include <algorithm>
#include <cstdio>

namespace {

int Run(const qrptool::Args&)
{
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
        std::printf("  paper codes");
        for (const auto code : device->PaperCodes())
            std::printf(" %d", code);
        std::printf("\n  copies %d, duplex %s\n", settings.Copies(), settings.Duplex() ? "yes" : "no");
    }
    return 0;
}

const qrptool::TCommandRegistration registration{{
    "printers",
    "printers",
    "Lists the print queues in the printing system's order: each with its driver,\n"
    "resolution, default paper, sheet and printable area (tenths of a millimetre) and the\n"
    "paper codes it offers.",
    Run,
}};

} // namespace
