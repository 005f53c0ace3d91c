#pragma once
// Text folded for searching as a Spanish reader expects: accents and the diaeresis do
// not count ("peru" finds "Perú", "pinguino" finds "pingüino"), the ñ stays a letter of
// its own ("ano" does not find "año"), letter case counts only when asked, and runs of
// blanks are one blank. Every folded character remembers the characters it came from.
#include <QString>

#include <vector>

namespace qrp {

struct TFoldedText {
    QString Text;
    // For each UTF-16 unit of Text, the range of units of the original it comes from.
    std::vector<int> From, To;
};

TFoldedText FoldText(const QString& text, bool matchCase);

// A range of UTF-16 units of a text: [Start, End).
struct TTextSpan {
    int Start = 0, End = 0;
};

// Every occurrence of query in text, folded alike, as ranges of the original text, left
// to right and not overlapping. An empty (or all-blank) query finds nothing.
std::vector<TTextSpan> FindFolded(const TFoldedText& text, const QString& query, bool matchCase);

} // namespace qrp
