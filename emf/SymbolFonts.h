#pragma once
// The symbol faces of Windows pictures (Symbol, Wingdings, Wingdings 2 and 3, Webdings)
// draw their own pictures at the codes of Latin letters. Where such a face is not
// installed, each code is drawn as the Unicode character it stands for. Plain C++.
#include <cstdint>
#include <string_view>

namespace qrp::emf {

enum class TSymbolFace { None, Symbol, Wingdings, Wingdings2, Wingdings3, Webdings };

// The symbol face a font names (lfFaceName, compared without case), or None.
TSymbolFace SymbolFaceOf(std::u16string_view face);

// The Unicode character the code stands for in the face: codes 0x20..0xFF, or the same in
// the private-use range U+F020..U+F0FF where symbol fonts also answer. 0 when the face
// draws nothing with a Unicode equivalent there (the code then shows as a missing glyph).
char32_t SymbolCharacter(TSymbolFace face, char32_t code);

} // namespace qrp::emf
