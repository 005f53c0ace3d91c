#pragma once
// The one rule for the pages a command is asked for (export-pdf --from/--to, render
// --page, extract PAGE, export-png --pages, text --page, print --from/--to): every page
// number typed must name a page of the report, 1 to its page count, and a range must
// not run backwards. Anything else fails the command before it writes or prints a
// thing, with the numbers as they were typed:
//   "page 7 is outside the report, which has 4 pages"
//   "the page range 4 to 2 runs backwards"
#include <optional>
#include <string>

namespace qrptool {

struct TPageRange {
    int First = 1;
    int Last = 0;
};

// first and last as typed (none: from the first page, to the last). Throws
// std::runtime_error with the rule's message.
TPageRange CheckPageRange(std::optional<long long> first, std::optional<long long> last, int pageCount);

// A single page, the same rule.
int CheckPage(long long page, int pageCount);

} // namespace qrptool
