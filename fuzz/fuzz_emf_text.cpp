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
    // Every piece of a line is the part of its run it says it is.
    for (const qrp::TEmfTextLine& line : qrp::ArrangeTextLines(runs))
        for (const qrp::TEmfTextPiece& p : line.Pieces)
            if (p.Run >= runs.size() || p.At + p.Length > line.Text.size() ||
                p.From + p.Length > runs[p.Run].Text.size() ||
                line.Text.compare(p.At, p.Length, runs[p.Run].Text, p.From, p.Length) != 0)
                __builtin_trap();
    return 0;
}
