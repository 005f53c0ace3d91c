#include "preview/TextFolding.h"

namespace qrp {

namespace {

constexpr char16_t kCombiningTilde = 0x0303;

bool IsEnye(char16_t c)
{
    return c == 0x00F1 || c == 0x00D1;
}

// The base letters and marks of one character, by canonical decomposition only (a
// ligature or a superscript stays what it is).
QString Decomposed(const QString& ch)
{
    if (ch.size() != 1 || ch[0].decompositionTag() != QChar::Canonical)
        return ch;
    QString d = ch[0].decomposition();
    if (!d.isEmpty() && d[0].decompositionTag() == QChar::Canonical)
        d = Decomposed(d.left(1)) + d.mid(1);
    return d;
}

} // namespace

TFoldedText FoldText(const QString& text, bool matchCase)
{
    TFoldedText out;
    out.Text.reserve(text.size());
    out.From.reserve(static_cast<std::size_t>(text.size()));
    out.To.reserve(static_cast<std::size_t>(text.size()));
    auto append = [&](QChar c, int from, int to) {
        out.Text.append(c);
        out.From.push_back(from);
        out.To.push_back(to);
    };
    const int n = static_cast<int>(text.size());
    for (int i = 0; i < n;) {
        const int from = i;
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            i += 2;
            append(c, from, i);
            append(text[from + 1], from, i);
            continue;
        }
        ++i;
        const char16_t u = c.unicode();
        if (c.isSpace() && u != '\n') {
            if (!out.Text.isEmpty() && out.Text.back() == QLatin1Char(' '))
                out.To.back() = i; // one blank for the whole run
            else
                append(QLatin1Char(' '), from, i);
            continue;
        }
        if (u < 0x80) {
            append(matchCase ? c : c.toCaseFolded(), from, i);
            continue;
        }
        if (IsEnye(u)) {
            append(matchCase ? c : c.toCaseFolded(), from, i);
            continue;
        }
        if (u == kCombiningTilde && !out.Text.isEmpty() &&
            (out.Text.back() == QLatin1Char('n') || out.Text.back() == QLatin1Char('N'))) {
            // n followed by a combining tilde: the letter ñ, written in two characters.
            const bool upper = out.Text.back() == QLatin1Char('N');
            out.Text.back() = QChar(upper && matchCase ? 0x00D1 : 0x00F1);
            out.To.back() = i;
            continue;
        }
        const QString parts = Decomposed(QString(c));
        bool kept = false;
        for (const QChar p : parts) {
            if (p.category() == QChar::Mark_NonSpacing)
                continue; // accents, diaeresis and the like
            append(matchCase ? p : p.toCaseFolded(), from, i);
            kept = true;
        }
        if (!kept && parts.size() == 1 && parts[0].category() == QChar::Mark_NonSpacing && !out.Text.isEmpty())
            out.To.back() = i; // a lone mark belongs to the letter before it
    }
    return out;
}

std::vector<TTextSpan> FindFolded(const TFoldedText& text, const QString& query, bool matchCase)
{
    std::vector<TTextSpan> found;
    const QString needle = FoldText(query, matchCase).Text;
    if (needle.trimmed().isEmpty())
        return found;
    for (qsizetype at = text.Text.indexOf(needle); at >= 0; at = text.Text.indexOf(needle, at + needle.size())) {
        const auto first = static_cast<std::size_t>(at);
        const auto last = static_cast<std::size_t>(at + needle.size() - 1);
        found.push_back({text.From[first], text.To[last]});
    }
    return found;
}

} // namespace qrp
