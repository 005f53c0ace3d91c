// qrptool make-sample: writes a realistic multi-page sample report.
#include "Command.h"

#include "printer/SampleReport.h"

#include <cstdio>

namespace {

int Run(const qrptool::Args& args)
{
    const auto files = qrptool::Positional(args, {"--pages"});
    if (files.size() != 1)
        throw qrptool::EUsage{"expected one output file"};
    qrp::TSampleReportOptions options;
    const long long pages = qrptool::IntOption(args, "--pages", 3);
    if (pages < 1 || pages > 1000000)
        throw qrptool::EUsage{"--pages must lie between 1 and 1000000"};
    options.Pages = static_cast<int>(pages);
    options.Compress = qrptool::HasFlag(args, "--compress");
    options.Letter = qrptool::HasFlag(args, "--letter");
    qrp::MakeSampleReport(files[0], options);
    std::printf("%s: %d pages, %s%s\n", files[0].c_str(), options.Pages, options.Letter ? "Letter" : "A4",
                options.Compress ? ", compressed" : "");
    return 0;
}

const qrptool::TCommandRegistration registration{{
    "make-sample",
    "make-sample OUT.qrp [--pages N] [--compress] [--letter]",
    "Writes a sample report: a sales listing of several pages with a title block and logo,\n"
    "a ruled table with right-aligned amounts, totals and \"Pagina n de N\" footers.\n"
    "  --pages N    number of pages (default 3)\n"
    "  --compress   store the pages compressed\n"
    "  --letter     Letter paper instead of A4",
    Run,
}};

} // namespace
