// qrptool export-pdf: a saved report as a PDF file, each page on its paper size.
#include "Command.h"

#include "printer/PdfExport.h"
#include "printer/QRPrinter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace {

int Run(const qrptool::Args& args)
{
    const auto files = qrptool::Positional(args, {"-o", "--from", "--to"});
    if (files.size() != 1)
        throw qrptool::EUsage{"expected one report file"};
    const std::string out = qrptool::OptionValue(args, "-o");
    if (out.empty())
        throw qrptool::EUsage{"-o OUT.pdf is required"};
    const long long from = qrptool::IntOption(args, "--from", 0);
    const long long to = qrptool::IntOption(args, "--to", 0);
    if (from < 0 || to < 0 || from > INT32_MAX || to > INT32_MAX)
        throw qrptool::EUsage{"--from and --to take page numbers"};

    qrp::TQRPrinter printer(qrp::CreatePdfPaperDevice(), 0);
    printer.LoadReport(files[0]);
    printer.SetJobTitle(std::filesystem::path(files[0]).stem().string());
    const int pages = qrp::ExportReportToPdf(printer, out, static_cast<int>(from), static_cast<int>(to));
    std::printf("%s: %d pages\n", out.c_str(), pages);
    return 0;
}

const qrptool::TCommandRegistration registration{{
    "export-pdf",
    "export-pdf FILE -o OUT.pdf [--from N] [--to N]",
    "Writes the report's pages into a PDF file, each page on a PDF page of the report's\n"
    "paper size and orientation. The output appears only once it is complete.\n"
    "  --from N, --to N   page range (default: all pages)",
    Run,
}};

} // namespace
