// Page text from arbitrary bytes: the extraction must neither crash nor read outside
// the image, whatever the records claim.
#include "emf/EmfText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto runs = qrp::ExtractTextRuns(data, size);
    const std::string text = qrp::ArrangeTextRuns(runs);
    // Every line of the arranged text ends with a line break.
    if (!text.empty() && text.back() != '\n')
        __builtin_trap();
    return 0;
}
