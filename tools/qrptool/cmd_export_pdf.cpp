// qrptool export-pdf: a saved report as a PDF file, each page on its paper size.
#include "BatchExport.h"
#include "Command.h"
#include "PageRange.h"

#include "base/OutputFile.h"
#include "printer/PdfExport.h"
#include "printer/QRPrinter.h"

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
        // Each report is checked against the range by its own conversion.
        for (const char* range : {"--from", "--to"})
            if (qrptool::IntOptionIfGiven(args, range))
                job.ChildOptions.insert(job.ChildOptions.end(), {range, qrptool::OptionValue(args, range)});
        if (qrptool::HasFlag(args, "--pdfa"))
            job.ChildOptions.push_back("--pdfa");
        return qrptool::RunBatchExport(job);
    }
    if (files.size() != 1)
        throw qrptool::EUsage{"expected one report file"};
    const std::string out = qrptool::OptionValue(args, "-o");
    if (out.empty())
        throw qrptool::EUsage{"-o OUT.pdf is required"};
    const auto from = qrptool::IntOptionIfGiven(args, "--from");
    const auto to = qrptool::IntOptionIfGiven(args, "--to");
    qrp::RefuseToOverwrite({files[0]}, out);

    qrp::TQRPrinter printer(qrp::CreatePdfPaperDevice(), 0);
    printer.LoadReport(files[0]);
    const qrptool::TPageRange range = qrptool::CheckPageRange(from, to, printer.PageTotal());
    printer.SetJobTitle(std::filesystem::path(files[0]).stem().string());
    const int pages =
        qrp::ExportReportToPdf(printer, out, range.First, range.Last, qrptool::HasFlag(args, "--pdfa"));
    // The batch conversion reads the page count from the end of this line.
    qrptool::ReportWritten(out, std::to_string(pages) + (pages == 1 ? " page" : " pages"));
    return 0;
}

const qrptool::TCommandRegistration registration("export-pdf", Run);

} // namespace
