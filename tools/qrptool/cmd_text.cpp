// qrptool text FILE [--page N]: the words of a report, page by page, in reading order.
#include "Command.h"

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
    const long long only = IntOption(args, "--page", 0);

    qrp::TQRPageList pages;
    pages.OpenFile(files[0]);
    const int count = pages.Count();
    if (HasFlag(args, "--page") && (only < 1 || only > count))
        throw std::runtime_error("page " + std::to_string(only) + " is outside the report (1.." +
                                 std::to_string(count) + ")");
    const int first = only ? static_cast<int>(only) : 1;
    const int last = only ? static_cast<int>(only) : count;

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

TCommandRegistration registration{{
    "text",
    "text FILE [--page N]",
    "Prints the text of each page of the saved report FILE in reading order: the strings\n"
    "the page draws, ordered by their baseline and then from left to right, one line of\n"
    "the page per output line, in UTF-8. Strings turned on the page make lines of their\n"
    "own, read along their own baseline. Pages are separated by a form feed.\n\n"
    "  --page N   only page N",
    RunText,
}};

} // namespace
} // namespace qrptool
