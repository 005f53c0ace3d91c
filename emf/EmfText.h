#pragma once
// The text of a page picture: the strings of its text records, placed where the
// picture draws them and read back in reading order (top to bottom, then left to
// right). Plain C++; bad or truncated records are skipped, nothing here throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrp {

// One string drawn by a text record, in device units of the picture's reference
// device (y grows downwards).
struct TEmfTextRun {
    std::string Text;      // UTF-8
    double X = 0;          // left end of the string
    double Baseline = 0;   // y of the baseline
    double Height = 0;     // height of the font; 0 when the record gives no clue
    double Width = -1;     // advance of the whole string; negative when unknown
};

// The strings of every EXTTEXTOUTA/W and POLYTEXTOUTA/W record, in record order.
// Positions follow the mapping in force when the record was played (map mode,
// window and viewport origins and extents, world transform, SAVEDC/RESTOREDC) and the
// text alignment. Strings drawn as glyph indices carry no characters and are left out.
std::vector<TEmfTextRun> ExtractTextRuns(const std::uint8_t* data, std::size_t size);

// Lays runs out as lines: runs whose baselines lie within a fraction of the font
// height make one line, ordered by x; lines are ordered by baseline. Runs on one line
// are joined with a blank unless they touch. Every line ends with '\n'; lines with
// nothing but blanks are dropped.
std::string ArrangeTextRuns(std::vector<TEmfTextRun> runs);

// ExtractTextRuns followed by ArrangeTextRuns.
std::string ExtractPageText(const std::uint8_t* data, std::size_t size);

// Helpers shared with the tools: UTF-16LE and Windows-1252 bytes to UTF-8. Unpaired
// surrogates become U+FFFD; NUL characters are dropped.
std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t charCount);
std::string Cp1252ToUtf8(const std::uint8_t* data, std::size_t count);

} // namespace qrp
