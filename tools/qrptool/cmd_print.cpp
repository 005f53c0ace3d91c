// qrptool print: prints a saved report on a print queue, the way the viewer does.
#include "Command.h"

#include "platform/PrintSystem.h"
#include "platform/PrinterDevice.h"
#include "printer/QRPrinter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace {

int Run(const qrptool::Args& args)
{
    const auto files = qrptool::Positional(args, {"--printer", "--from", "--to", "--copies"});
    if (files.size() != 1)
        throw qrptool::EUsage{"expected one report file"};
    const std::string name = qrptool::OptionValue(args, "--printer");
    const long long from = qrptool::IntOption(args, "--from", 0);
    const long long to = qrptool::IntOption(args, "--to", 0);
    const long long copies = qrptool::IntOption(args, "--copies", 1);
    if (from < 0 || to < 0 || from > INT32_MAX || to > INT32_MAX)
        throw qrptool::EUsage{"--from and --to take page numbers"};
    if (copies < 1 || copies > 999)
        throw qrptool::EUsage{"--copies must lie between 1 and 999"};

    qrp::TQRPrinter printer;
    if (!printer.HasPrinters())
        throw qrp::EPrinterError(qrp::PrintSystemRunning() ? "No printer is installed" : qrp::NoPrinterMessage());
    int index = -1;
    if (!name.empty()) {
        // An index into the printer's own list, so that it names the queue asked for.
        const auto names = printer.DevicePrinter().Printers();
        const auto it = std::find(names.begin(), names.end(), name);
        if (it == names.end())
            throw qrp::EPrinterError("There is no printer \"" + name + "\"");
        index = static_cast<int>(it - names.begin());
    }

    printer.LoadReport(files[0]);
    if (index >= 0)
        printer.SelectPrinter(index);
    printer.SetCopies(static_cast<int>(copies));
    printer.SetFirstPage(static_cast<int>(from));
    printer.SetLastPage(static_cast<int>(to));
    printer.SetJobTitle(std::filesystem::path(files[0]).stem().string());

    const int first = std::max<int>(from != 0 ? static_cast<int>(from) : 1, 1);
    const int last = std::min<int>(to != 0 ? static_cast<int>(to) : printer.PageTotal(), printer.PageTotal());
    if (last < first)
        throw qrp::EError("No page of the report lies in the range (the report has " +
                          std::to_string(printer.PageTotal()) + " pages)");
    printer.PrintPages();
    std::printf("%s: pages %d to %d sent to %s, %d %s\n", files[0].c_str(), first, last,
                printer.DeviceSettings().DeviceName().c_str(), printer.Copies(),
                printer.Copies() == 1 ? "copy" : "copies");
    // A job the queue keeps (a stopped printer) is not printed yet: say so.
    if (!printer.PrintNotice().empty())
        std::fprintf(stderr, "qrptool print: %s\n", printer.PrintNotice().c_str());
    return 0;
}

const qrptool::TCommandRegistration registration{{
    "print",
    "print FILE [--printer NAME] [--from N] [--to N] [--copies N]",
    "Prints the report on a print queue (the default one unless --printer names another),\n"
    "on the paper and orientation detected from its first page (the queue's default paper\n"
    "when it does not offer that one). A queue that refuses the job or is gone is an error;\n"
    "a stopped queue keeps the job, and a line on stderr says so.\n"
    "  --from N, --to N   page range (default: all pages)\n"
    "  --copies N         number of copies (default 1)",
    Run,
}};

} // namespace
