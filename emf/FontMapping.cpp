// Font faces of page pictures mapped onto installed families.
#include "emf/FontMapping.h"

#include <QFontDatabase>
#include <QStringList>
#include <algorithm>
#include <map>
#include <utility>

namespace qrp::emf {

namespace {

// Windows faces and the installed faces with the same metrics (or the closest kind).
QString InstalledFamily(const QString& face, std::uint8_t pitchAndFamily)
{
    const QString f = face.trimmed().toLower();
    static const struct { const char* from; const char* to; } twins[] = {
        {"arial", "Liberation Sans"},
        {"helvetica", "Liberation Sans"},
        {"ms sans serif", "Liberation Sans"},
        {"microsoft sans serif", "Liberation Sans"},
        {"ms shell dlg", "Liberation Sans"},
        {"ms shell dlg 2", "Liberation Sans"},
        {"tahoma", "Liberation Sans"},
        {"verdana", "Liberation Sans"},
        {"segoe ui", "Liberation Sans"},
        {"calibri", "Liberation Sans"},
        {"system", "Liberation Sans"},
        {"arial narrow", "Liberation Sans Narrow"},
        {"times new roman", "Liberation Serif"},
        {"times", "Liberation Serif"},
        {"ms serif", "Liberation Serif"},
        {"georgia", "Liberation Serif"},
        {"cambria", "Liberation Serif"},
        {"garamond", "Liberation Serif"},
        {"courier new", "Liberation Mono"},
        {"courier", "Liberation Mono"},
        {"consolas", "Liberation Mono"},
        {"lucida console", "Liberation Mono"},
        {"fixedsys", "Liberation Mono"},
        {"terminal", "Liberation Mono"},
        {"symbol", "Standard Symbols PS"},
    };
    if (ReplacedSymbolFace(face) != TSymbolFace::None)
        return UnicodeSymbolFamily();
    for (const auto& t : twins)
        if (f == QLatin1String(t.from))
            return QString::fromLatin1(t.to);
    if (!f.isEmpty() && QFontDatabase::hasFamily(face.trimmed()))
        return face.trimmed();
    if ((pitchAndFamily & 0xF0) == 0x10) // FF_ROMAN
        return QStringLiteral("Liberation Serif");
    if ((pitchAndFamily & 0xF0) == 0x30 || (pitchAndFamily & 0x3) == 1) // FF_MODERN, FIXED_PITCH
        return QStringLiteral("Liberation Mono");
    return QStringLiteral("Liberation Sans");
}

// The writing system a font's character set asks for; Any where every face will do.
QFontDatabase::WritingSystem WritingSystemOf(std::uint8_t charSet)
{
    switch (charSet) {
    case 128: return QFontDatabase::Japanese;            // SHIFTJIS_CHARSET
    case 129: case 130: return QFontDatabase::Korean;    // HANGEUL_CHARSET, JOHAB_CHARSET
    case 134: return QFontDatabase::SimplifiedChinese;   // GB2312_CHARSET
    case 136: return QFontDatabase::TraditionalChinese;  // CHINESEBIG5_CHARSET
    case 161: return QFontDatabase::Greek;               // GREEK_CHARSET
    case 163: return QFontDatabase::Vietnamese;          // VIETNAMESE_CHARSET
    case 177: return QFontDatabase::Hebrew;              // HEBREW_CHARSET
    case 178: return QFontDatabase::Arabic;              // ARABIC_CHARSET
    case 204: return QFontDatabase::Cyrillic;            // RUSSIAN_CHARSET
    case 222: return QFontDatabase::Thai;                // THAI_CHARSET
    default: return QFontDatabase::Any;
    }
}

// A face that covers the font's character set: the mapped one when it does, else, as
// GDI's font mapper falls back, the first installed family by name that does. Without
// any, the mapped face stays.
QString CoveringFamily(const QString& family, std::uint8_t charSet)
{
    const QFontDatabase::WritingSystem ws = WritingSystemOf(charSet);
    if (ws == QFontDatabase::Any)
        return family;
    static std::map<std::pair<QString, int>, QString> chosen;
    const auto key = std::make_pair(family, int(ws));
    auto it = chosen.find(key);
    if (it == chosen.end()) {
        QString pick = family;
        if (!QFontDatabase::writingSystems(family).contains(ws)) {
            QStringList covering = QFontDatabase::families(ws);
            covering.removeIf([](const QString& f) { return !QFontDatabase::isSmoothlyScalable(f); });
            std::sort(covering.begin(), covering.end(),
                      [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
            if (!covering.isEmpty())
                pick = covering.first();
        }
        it = chosen.emplace(key, pick).first;
    }
    return it->second;
}

} // namespace

TSymbolFace ReplacedSymbolFace(const QString& face)
{
    const QString name = face.trimmed();
    const TSymbolFace symbols = SymbolFaceOf(name.toStdU16String());
    if (symbols == TSymbolFace::None || QFontDatabase::hasFamily(name))
        return TSymbolFace::None;
    // The URW twin of Symbol keeps Symbol's codes and metrics.
    if (symbols == TSymbolFace::Symbol && QFontDatabase::hasFamily(QStringLiteral("Standard Symbols PS")))
        return TSymbolFace::None;
    return symbols;
}

QString UnicodeSymbolFamily()
{
    return QStringLiteral("Symbola");
}

QString MappedFamily(const QString& face, std::uint8_t pitchAndFamily, std::uint8_t charSet)
{
    return CoveringFamily(InstalledFamily(face, pitchAndFamily), charSet);
}

} // namespace qrp::emf
