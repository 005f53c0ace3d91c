// qrptool print: prints a saved report on a print queue, the way the viewer does.
#include "Command.h"
#include "PageRange.h"

#include "platform/PrintSystem.h"
#include "platform/PrinterDevice.h"
#include "printer/QRPrinter.h"
#include "storage/PageList.h"
#include "storage/ReportFileInfo.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

int Run(const qrptool::Args& args)
{
    const auto files = qrptool::Positional(args, {"--printer", "--from", "--to", "--copies"});
    if (files.size() != 1)
        throw qrptool::EUsage{"expected one report file"};
    const std::string name = qrptool::OptionValue(args, "--printer");
    const auto from = qrptool::IntOptionIfGiven(args, "--from");
    const auto to = qrptool::IntOptionIfGiven(args, "--to");
    const long long copies = qrptool::IntOption(args, "--copies", 1);
    if (copies < 1 || copies > 999)
        throw qrptool::EUsage{"--copies must lie between 1 and 999"};

    // The page rule first, as in every command, whatever the printing system's state.
    qrp::TQRPageList pages;
    pages.OpenFile(files[0]);
    const qrptool::TPageRange range = qrptool::CheckPageRange(from, to, pages.Count());
    // Damaged records fail here, with the message every command gives, before a page
    // goes to the printer: printing sends the pages before a failing one.
    qrp::ReadReportFileInfo(*pages.Storage());

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
    printer.SetFirstPage(range.First);
    printer.SetLastPage(range.Last);
    printer.SetJobTitle(std::filesystem::path(files[0]).stem().string());
    printer.PrintPages();
    std::printf("%s: pages %d to %d sent to %s, %d %s\n", files[0].c_str(), range.First, range.Last,
                printer.DeviceSettings().DeviceName().c_str(), printer.Copies(),
                printer.Copies() == 1 ? "copy" : "copies");
    // A job the queue keeps (a stopped printer) is not printed yet: say so.
    if (!printer.PrintNotice().empty())
        std::fprintf(stderr, "qrptool print: %s\n", printer.PrintNotice().c_str());
    return 0;
}

const qrptool::TCommandRegistration registration("print", Run);

} // namespace
