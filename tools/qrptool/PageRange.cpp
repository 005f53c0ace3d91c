#include "PageRange.h"

#include <stdexcept>

namespace qrptool {

namespace {

std::string PageCount(int count)
{
    if (count == 0)
        return "no pages";
    return std::to_string(count) + (count == 1 ? " page" : " pages");
}

void CheckInside(long long page, int pageCount)
{
    if (page < 1 || page > pageCount)
        throw std::runtime_error("page " + std::to_string(page) + " is outside the report, which has " +
                                 PageCount(pageCount));
}

} // namespace

TPageRange CheckPageRange(std::optional<long long> first, std::optional<long long> last, int pageCount)
{
    if (first)
        CheckInside(*first, pageCount);
    if (last)
        CheckInside(*last, pageCount);
    if (first && last && *first > *last)
        throw std::runtime_error("the page range " + std::to_string(*first) + " to " + std::to_string(*last) +
                                 " runs backwards");
    TPageRange range;
    range.First = first ? static_cast<int>(*first) : 1;
    range.Last = last ? static_cast<int>(*last) : pageCount;
    return range;
}

int CheckPage(long long page, int pageCount)
{
    CheckInside(page, pageCount);
    return static_cast<int>(page);
}

} // namespace qrptool
