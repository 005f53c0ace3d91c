// qrptool make-sample: writes a realistic multi-page sample report.
#include "Command.h"

#include "printer/SampleReport.h"

#include <string>

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
    const std::string pageCount = std::to_string(options.Pages) + (options.Pages == 1 ? " page" : " pages");
    qrptool::ReportWritten(files[0], pageCount + ", " + (options.Letter ? "Letter" : "A4") +
                                         (options.Compress ? ", compressed" : ""));
    return 0;
}

const qrptool::TCommandRegistration registration("make-sample", Run);

} // namespace
