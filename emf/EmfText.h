#pragma once
// The text of a page picture: the strings of its text records, placed where the
// picture draws them and read back in reading order (top to bottom, then left to
// right). Plain C++ but for MeasureTextRuns; bad or truncated records are skipped,
// nothing here throws.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qrp {

// The font a text record draws with, as the selected LOGFONT gives it, with its
// lengths taken to device units.
struct TEmfTextFont {
    std::string Face;          // UTF-8; empty for the stock fonts
    double Height = 0;         // lfHeight on the device: negative for the character
                               // height, positive for the cell height
    double Width = 0;          // lfWidth on the device; 0 for the face's own
    std::int32_t Weight = 400;
    bool Italic = false;
    std::uint8_t PitchAndFamily = 0;
    std::uint8_t CharSet = 0;
};

// The part of the baseline a character's glyph takes, measured from the run's start.
struct TEmfGlyphSpan {
    double Start = 0;
    double Advance = 0;
};

// One string drawn by a text record, in device units of the picture's reference
// device (y grows downwards).
struct TEmfTextRun {
    std::string Text;      // UTF-8
    double X = 0;          // start of the string on its baseline (the left end when
    double Baseline = 0;   // the text runs left to right)
    double Height = 0;     // height of the font; 0 when the record gives no clue
    double Width = -1;     // advance of the whole string; negative when unknown

    // The direction of the baseline on the device, a unit vector: (1, 0) for text that
    // runs left to right, (0, -1) for text that runs upwards.
    double DirX = 1, DirY = 0;
    // How far the glyphs reach above and below the baseline: estimated from the font
    // height until MeasureTextRuns takes them from the face.
    double Ascent = 0, Descent = 0;
    // One span per character (code point) of Text; empty while the advances are unknown.
    std::vector<TEmfGlyphSpan> Glyphs;

    // What the placement was made from, for MeasureTextRuns.
    TEmfTextFont Font;
    double RefX = 0, RefY = 0;   // the record's reference point on the device
    std::uint32_t Align = 0;     // the TA_ alignment bits in force
    bool AdvancesGiven = false;  // the record's spacing array gave the advances
};

// The strings of every EXTTEXTOUTA/W and POLYTEXTOUTA/W record, in record order.
// Positions follow the mapping in force when the record was played (map mode,
// window and viewport origins and extents, world transform, SAVEDC/RESTOREDC), the
// font's escapement and the text alignment. Strings drawn as glyph indices carry no
// characters and are left out.
std::vector<TEmfTextRun> ExtractTextRuns(const std::uint8_t* data, std::size_t size);

// Puts the run's start where its alignment puts it, from RefX/RefY, the direction,
// Width, Ascent and Descent.
void PlaceTextRun(TEmfTextRun& run);

// Takes each run's ascent and descent, and its advances when the record gave none, from
// the installed face the player draws it with, and places the run again. Needs a
// running Qt application (font database).
void MeasureTextRuns(std::vector<TEmfTextRun>& runs);

// A part of a line's text that comes from one run: bytes From..From+Length of the
// run's text are bytes At..At+Length of the line.
struct TEmfTextPiece {
    std::size_t Run = 0;
    std::size_t At = 0;
    std::size_t From = 0;
    std::size_t Length = 0;
};

struct TEmfTextLine {
    std::string Text;                  // UTF-8, without a line end
    std::vector<TEmfTextPiece> Pieces; // in the order of Text
};

// Lays runs out as lines. Runs that run the same way are taken together: those whose
// baselines lie within a fraction of the font height make one line, ordered along the
// baseline; lines are ordered by where they stand on the page, top to bottom. Runs on
// one line are joined with a blank unless they touch. Lines are trimmed, and lines with
// nothing but blanks are dropped. Pieces refer to runs by their index in `runs`.
std::vector<TEmfTextLine> ArrangeTextLines(const std::vector<TEmfTextRun>& runs);

// ArrangeTextLines as text: every line ends with '\n'.
std::string ArrangeTextRuns(std::vector<TEmfTextRun> runs);

// ExtractTextRuns followed by ArrangeTextRuns.
std::string ExtractPageText(const std::uint8_t* data, std::size_t size);

// Where the player puts a point of the picture's reference device when it plays the
// picture stretched into a target rectangle (the picture's frame fills the target):
// x' = ScaleX * x + OffsetX, y' = ScaleY * y + OffsetY.
struct TEmfPictureMapping {
    double ScaleX = 1, ScaleY = 1, OffsetX = 0, OffsetY = 0;
};
TEmfPictureMapping PictureToTarget(const std::uint8_t* data, std::size_t size, double left, double top,
                                   double width, double height);

// Helpers shared with the tools: UTF-16LE and Windows-1252 bytes to UTF-8. Unpaired
// surrogates become U+FFFD; NUL characters are dropped.
std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t charCount);
std::string Cp1252ToUtf8(const std::uint8_t* data, std::size_t count);

} // namespace qrp
