// qrptool text FILE [--page N]: the words of a report, page by page, in reading order.
#include "Command.h"
#include "PageRange.h"

#include "emf/EmfText.h"
#include "emf/Metafile.h"
#include "storage/PageList.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace qrptool {
namespace {

int RunText(const Args& args)
{
    const Args files = Positional(args, {"--page"});
    if (files.size() != 1)
        throw EUsage{"expected one FILE"};
    const std::optional<long long> only = IntOptionIfGiven(args, "--page");

    qrp::TQRPageList pages;
    pages.OpenFile(files[0]);
    const TPageRange range = CheckPageRange(only, only, pages.Count());
    const int first = range.First, last = range.Last;

    // All pages are read before anything is printed, so a damaged page fails the
    // command without half of the text on standard output.
    std::string out;
    for (int n = first; n <= last; ++n) {
        const auto picture = pages.ReadPage(n);
        if (!picture)
            throw std::runtime_error("page " + std::to_string(n) + " cannot be read");
        if (n > first)
            out += '\f';
        const auto& bytes = picture->Bytes();
        out += qrp::ExtractPageText(bytes.data(), bytes.size());
    }
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
        throw std::runtime_error("cannot write the text");
    if (std::fflush(stdout) != 0)
        throw std::runtime_error("cannot write the text");
    return 0;
}

const TCommandRegistration registration("text", RunText);

} // namespace
} // namespace qrptool
