#pragma once
// Which installed family draws a font of a page picture: Windows faces go to the
// installed faces with the same metrics, unknown faces to the closest kind, and a face
// that lacks the font's script gives way to one that has it.
#include "emf/SymbolFonts.h"

#include <QString>
#include <cstdint>

namespace qrp::emf {

// face, pitchAndFamily and charSet as the LOGFONT gives them (lfFaceName,
// lfPitchAndFamily, lfCharSet).
QString MappedFamily(const QString& face, std::uint8_t pitchAndFamily, std::uint8_t charSet);

// The symbol face a font names when neither it nor a face with the same codes is
// installed: MappedFamily then gives a family with the symbols at their Unicode
// characters, and the codes are drawn through SymbolCharacter. None otherwise.
TSymbolFace ReplacedSymbolFace(const QString& face);

// The installed family that draws replaced symbol faces.
QString UnicodeSymbolFamily();

} // namespace qrp::emf
