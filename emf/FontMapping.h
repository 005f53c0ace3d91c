#pragma once
// Which installed family draws a font of a page picture: Windows faces go to the
// installed faces with the same metrics, unknown faces to the closest kind, and a face
// that lacks the font's script gives way to one that has it.
#include <QString>
#include <cstdint>

namespace qrp::emf {

// face, pitchAndFamily and charSet as the LOGFONT gives them (lfFaceName,
// lfPitchAndFamily, lfCharSet).
QString MappedFamily(const QString& face, std::uint8_t pitchAndFamily, std::uint8_t charSet);

} // namespace qrp::emf
