// qrptool export-pdf: a saved report as a PDF file, each page on its paper size.
#include "BatchExport.h"
#include "Command.h"

#include "printer/PdfExport.h"
#include "printer/QRPrinter.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace {

int Run(const qrptool::Args& args)
{
    const auto files = qrptool::Positional(args, {"-o", "-d", "-j", "--from", "--to"});
    const std::string outDir = qrptool::OptionValue(args, "-d");
    if (!outDir.empty() || files.size() > 1) {
        // Many reports, one PDF each in OUTDIR, converted side by side.
        if (!qrptool::OptionValue(args, "-o").empty())
            throw qrptool::EUsage{"-o names one output file; use -d OUTDIR for several reports"};
        if (outDir.empty())
            throw qrptool::EUsage{"several reports need -d OUTDIR"};
        if (files.empty())
            throw qrptool::EUsage{"expected report files"};
        const long long jobs = qrptool::IntOption(args, "-j", 0);
        if (qrptool::HasFlag(args, "-j") && (jobs < 1 || jobs > 256))
            throw qrptool::EUsage{"-j takes a number of conversions at a time from 1 to 256"};
        qrptool::TBatchExport job;
        job.Inputs = files;
        job.OutDir = outDir;
        job.Jobs = static_cast<int>(jobs);
        for (const char* range : {"--from", "--to"})
            if (const std::string v = qrptool::OptionValue(args, range); !v.empty())
                job.ChildOptions.insert(job.ChildOptions.end(), {range, v});
        if (qrptool::HasFlag(args, "--pdfa"))
            job.ChildOptions.push_back("--pdfa");
        return qrptool::RunBatchExport(job);
    }
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
    const int pages = qrp::ExportReportToPdf(printer, out, static_cast<int>(from), static_cast<int>(to),
                                             qrptool::HasFlag(args, "--pdfa"));
    std::printf("%s: %d pages\n", out.c_str(), pages);
    return 0;
}

const qrptool::TCommandRegistration registration{{
    "export-pdf",
    "export-pdf FILE -o OUT.pdf [--from N] [--to N] [--pdfa] | FILE... -d OUTDIR [-j JOBS] [--pdfa]",
    "Writes the report's pages into a PDF file, each page on a PDF page of the report's\n"
    "paper size and orientation, its text as text with the fonts embedded. The output\n"
    "appears only once it is complete. The document information gives the report's\n"
    "name as title, the date the report was written as creation date, and the program\n"
    "as creator and producer; each page is labelled \"Página N\" with its number in the\n"
    "report.\n"
    "With -d, each report becomes OUTDIR/NAME.pdf; reports are converted JOBS at a time\n"
    "(default: one per processor), a progress bar shows on a terminal, a report that\n"
    "fails leaves no file and does not stop the others, and a status line per report\n"
    "and a total close the run (status 1 when any report failed).\n"
    "  --from N, --to N   page range (default: all pages)\n"
    "  --pdfa             an archival PDF (PDF/A-1b), the information also as XMP metadata\n"
    "  -d OUTDIR          folder for the PDFs of one or more reports (made when missing)\n"
    "  -j JOBS            conversions at a time with -d",
    Run,
}};

} // namespace
