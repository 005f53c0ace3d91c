#include "emf/EmfText.h"

#include "emf/EmfReader.h"
#include "emf/EmfRecords.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace qrp {

namespace {

using namespace qrp::emf;

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Row-vector affine transform, as the world transform is stored:
// x' = x*M11 + y*M21 + Dx, y' = x*M12 + y*M22 + Dy.
struct TXForm {
    double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;

    void Apply(double x, double y, double& ox, double& oy) const
    {
        ox = x * M11 + y * M21 + Dx;
        oy = x * M12 + y * M22 + Dy;
    }
    // this applied first, then b.
    TXForm Then(const TXForm& b) const
    {
        TXForm r;
        r.M11 = M11 * b.M11 + M12 * b.M21;
        r.M12 = M11 * b.M12 + M12 * b.M22;
        r.M21 = M21 * b.M11 + M22 * b.M21;
        r.M22 = M21 * b.M12 + M22 * b.M22;
        r.Dx = Dx * b.M11 + Dy * b.M21 + b.Dx;
        r.Dy = Dx * b.M12 + Dy * b.M22 + b.Dy;
        return r;
    }
    bool Finite() const
    {
        return std::isfinite(M11) && std::isfinite(M12) && std::isfinite(M21) &&
               std::isfinite(M22) && std::isfinite(Dx) && std::isfinite(Dy);
    }
};

// The selected font as the collector keeps it (logical units).
struct TFontState {
    std::int32_t Height = 16; // lfHeight
    std::int32_t Width = 0;
    std::int32_t Escapement = 0;
    std::int32_t Weight = 400;
    bool Italic = false;
    std::uint8_t PitchAndFamily = 0;
    std::uint8_t CharSet = 0;
    std::string Face;
};

// The part of a device context that decides where text lands.
struct TDcState {
    std::uint32_t MapMode = MM_TEXT;
    double WinOrgX = 0, WinOrgY = 0, WinExtX = 1, WinExtY = 1;
    double VpOrgX = 0, VpOrgY = 0, VpExtX = 1, VpExtY = 1;
    TXForm World;
    std::uint32_t TextAlign = TA_LEFT | TA_TOP;
    double CurX = 0, CurY = 0;     // current position, logical units
    TFontState Font;
    bool FontSelected = false;     // no font selected: the height gives no clue
};

// Calls emit(first unit, code point) for each character of a record's string: UTF-16LE
// units or Windows-1252 bytes. Unpaired surrogates and undefined bytes give U+FFFD.
template <typename Emit>
void DecodeUtf16Le(const std::uint8_t* data, std::size_t count, Emit&& emit)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t first = i;
        std::uint32_t c = data[2 * i] | (std::uint32_t(data[2 * i + 1]) << 8);
        if (c >= 0xD800 && c <= 0xDBFF) {
            std::uint32_t lo = 0;
            if (i + 1 < count)
                lo = data[2 * i + 2] | (std::uint32_t(data[2 * i + 3]) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        emit(first, c);
    }
}

template <typename Emit>
void DecodeCp1252(const std::uint8_t* data, std::size_t count, Emit&& emit)
{
    // 0x80..0x9F; 0 where the code page leaves the byte undefined.
    static constexpr std::uint16_t kHigh[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
        0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = data[i];
        emit(i, b >= 0x80 && b <= 0x9F ? (kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xFFFDu) : std::uint32_t(b));
    }
}

class TTextCollector {
public:
    TTextCollector(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::vector<TEmfTextRun> Run()
    {
        TEmfReader reader(data_, size_);
        if (!reader.Valid())
            return {};
        // Pixels per millimetre of the reference device, for the metric map modes.
        const TEmfHeaderInfo& h = reader.Header();
        if (h.Device.Cx > 0 && h.Device.Cy > 0 && h.Millimeters.Cx > 0 && h.Millimeters.Cy > 0) {
            pxPerMmX_ = double(h.Device.Cx) / h.Millimeters.Cx;
            pxPerMmY_ = double(h.Device.Cy) / h.Millimeters.Cy;
        }
        TRecordView record;
        while (reader.Next(record))
            Record(record);
        return std::move(runs_);
    }

private:
    static constexpr std::size_t kTextSize = 40; // EMRTEXT with its rectangle

    void Record(const TRecordView& r)
    {
        const std::uint32_t type = r.Type();
        const std::size_t n = r.Size();
        auto& dc = dc_;
        const bool scalable = dc.MapMode == MM_ISOTROPIC || dc.MapMode == MM_ANISOTROPIC;
        switch (type) {
        case EMR_SETMAPMODE:
            if (n >= 12)
                SetMapMode(r.U32(8));
            break;
        case EMR_SETWINDOWORGEX:
            if (n >= 16) { dc.WinOrgX = r.I32(8); dc.WinOrgY = r.I32(12); }
            break;
        case EMR_SETVIEWPORTORGEX:
            if (n >= 16) { dc.VpOrgX = r.I32(8); dc.VpOrgY = r.I32(12); }
            break;
        case EMR_SETWINDOWEXTEX:
            if (n >= 16 && scalable && r.I32(8) != 0 && r.I32(12) != 0) {
                dc.WinExtX = r.I32(8);
                dc.WinExtY = r.I32(12);
            }
            break;
        case EMR_SETVIEWPORTEXTEX:
            if (n >= 16 && scalable && r.I32(8) != 0 && r.I32(12) != 0) {
                dc.VpExtX = r.I32(8);
                dc.VpExtY = r.I32(12);
            }
            break;
        case EMR_SCALEWINDOWEXTEX:
        case EMR_SCALEVIEWPORTEXTEX:
            if (n >= 24 && scalable) {
                const double xn = r.I32(8), xd = r.I32(12), yn = r.I32(16), yd = r.I32(20);
                if (xn == 0 || xd == 0 || yn == 0 || yd == 0)
                    break;
                double& ex = type == EMR_SCALEWINDOWEXTEX ? dc.WinExtX : dc.VpExtX;
                double& ey = type == EMR_SCALEWINDOWEXTEX ? dc.WinExtY : dc.VpExtY;
                ex = ex * xn / xd;
                ey = ey * yn / yd;
            }
            break;
        case EMR_SETWORLDTRANSFORM:
            if (n >= 32) {
                const TXForm x = ReadXForm(r, 8);
                if (x.Finite())
                    dc.World = x;
            }
            break;
        case EMR_MODIFYWORLDTRANSFORM:
            if (n >= 36) {
                const TXForm x = ReadXForm(r, 8);
                if (!x.Finite())
                    break;
                switch (r.U32(32)) {
                case MWT_IDENTITY: dc.World = TXForm{}; break;
                case MWT_LEFTMULTIPLY: dc.World = x.Then(dc.World); break;
                case MWT_RIGHTMULTIPLY: dc.World = dc.World.Then(x); break;
                case MWT_SET: dc.World = x; break;
                default: break;
                }
            }
            break;
        case EMR_SAVEDC:
            if (saved_.size() < 4096)
                saved_.push_back(dc);
            break;
        case EMR_RESTOREDC:
            if (n >= 12)
                RestoreDc(r.I32(8));
            break;
        case EMR_SETTEXTALIGN:
            if (n >= 12)
                dc.TextAlign = r.U32(8);
            break;
        case EMR_MOVETOEX:
            if (n >= 16) { dc.CurX = r.I32(8); dc.CurY = r.I32(12); }
            break;
        case EMR_EXTCREATEFONTINDIRECTW:
            if (n >= 16)
                fonts_[r.U32(8)] = ReadFont(r);
            break;
        case EMR_SELECTOBJECT:
            if (n >= 12) {
                const std::uint32_t h = r.U32(8);
                if (h & STOCK_OBJECT_FLAG) {
                    const std::uint32_t stock = h & ~STOCK_OBJECT_FLAG;
                    if (stock >= OEM_FIXED_FONT && stock <= DEFAULT_GUI_FONT && stock != DEFAULT_PALETTE) {
                        dc.Font = TFontState{};
                        dc.FontSelected = true;
                    }
                } else if (auto it = fonts_.find(h); it != fonts_.end()) {
                    dc.Font = it->second;
                    dc.FontSelected = true;
                }
            }
            break;
        case EMR_DELETEOBJECT:
            if (n >= 12)
                fonts_.erase(r.U32(8));
            break;
        case EMR_EXTTEXTOUTA:
        case EMR_EXTTEXTOUTW:
            // rclBounds(16) iGraphicsMode exScale eyScale, then one EMRTEXT at 36.
            if (n >= 36 + 20)
                Text(r, 36, type == EMR_EXTTEXTOUTW, true);
            break;
        case EMR_POLYTEXTOUTA:
        case EMR_POLYTEXTOUTW:
            // rclBounds(16) iGraphicsMode exScale eyScale cStrings, then the EMRTEXTs.
            if (n >= 40) {
                const std::uint32_t count = r.U32(36);
                std::size_t at = 40;
                for (std::uint32_t i = 0; i < count && at + 20 <= n; ++i)
                    at += Text(r, at, type == EMR_POLYTEXTOUTW, false);
            }
            break;
        default:
            break;
        }
    }

    static TXForm ReadXForm(const TRecordView& r, std::size_t at)
    {
        TXForm x;
        x.M11 = r.F32(at);
        x.M12 = r.F32(at + 4);
        x.M21 = r.F32(at + 8);
        x.M22 = r.F32(at + 12);
        x.Dx = r.F32(at + 16);
        x.Dy = r.F32(at + 20);
        return x;
    }

    // EXTCREATEFONTINDIRECTW: the LOGFONTW at offset 12 (a short record keeps what fits).
    static TFontState ReadFont(const TRecordView& r)
    {
        TFontState f;
        f.Height = r.I32(12);
        f.Width = r.I32(16);
        f.Escapement = r.I32(20);
        f.Weight = r.I32(28) > 0 ? std::min(r.I32(28), 1000) : 400;
        f.Italic = r.U8(32) != 0;
        f.CharSet = r.U8(35);
        f.PitchAndFamily = r.U8(39);
        std::vector<std::uint8_t> face;
        for (std::size_t i = 0; i < 32 && r.Has(40 + i * 2, 2) && r.U16(40 + i * 2) != 0; ++i) {
            face.push_back(r.U8(40 + i * 2));
            face.push_back(r.U8(41 + i * 2));
        }
        f.Face = Utf16LeToUtf8(face.data(), face.size() / 2);
        return f;
    }

    void SetMapMode(std::uint32_t mode)
    {
        auto& dc = dc_;
        // Logical units per millimetre of the metric and imperial modes.
        double unitsPerMm = 0;
        switch (mode) {
        case MM_TEXT:
            dc.WinExtX = dc.WinExtY = dc.VpExtX = dc.VpExtY = 1;
            dc.MapMode = mode;
            return;
        case MM_LOMETRIC: unitsPerMm = 10; break;
        case MM_HIMETRIC: unitsPerMm = 100; break;
        case MM_LOENGLISH: unitsPerMm = 100 / 25.4; break;
        case MM_HIENGLISH: unitsPerMm = 1000 / 25.4; break;
        case MM_TWIPS: unitsPerMm = 1440 / 25.4; break;
        case MM_ISOTROPIC: unitsPerMm = 10; break; // starts from the low-metric extents
        case MM_ANISOTROPIC: dc.MapMode = mode; return; // keeps the extents in force
        default: return;
        }
        dc.MapMode = mode;
        dc.WinExtX = dc.WinExtY = unitsPerMm;
        dc.VpExtX = pxPerMmX_;
        dc.VpExtY = -pxPerMmY_; // y grows upwards in these modes
    }

    void RestoreDc(std::int32_t which)
    {
        // Negative: relative to the most recent save; positive: the n-th saved state.
        std::size_t keep;
        if (which < 0) {
            const std::size_t back = static_cast<std::size_t>(-static_cast<std::int64_t>(which));
            if (back > saved_.size())
                return;
            keep = saved_.size() - back;
        } else if (which > 0 && static_cast<std::size_t>(which) <= saved_.size()) {
            keep = static_cast<std::size_t>(which) - 1;
        } else {
            return;
        }
        dc_ = saved_[keep];
        saved_.resize(keep);
    }

    // Logical point to device point.
    void ToDevice(double x, double y, double& dx, double& dy) const
    {
        const auto& dc = dc_;
        double px, py;
        dc.World.Apply(x, y, px, py);
        double sx = dc.VpExtX / dc.WinExtX, sy = dc.VpExtY / dc.WinExtY;
        if (dc.MapMode == MM_ISOTROPIC) {
            const double m = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        dx = (px - dc.WinOrgX) * sx + dc.VpOrgX;
        dy = (py - dc.WinOrgY) * sy + dc.VpOrgY;
    }

    // Length on the device of a logical vector (vx, vy) starting at (x, y).
    double DeviceLength(double x, double y, double vx, double vy) const
    {
        double ax, ay, bx, by;
        ToDevice(x, y, ax, ay);
        ToDevice(x + vx, y + vy, bx, by);
        return std::hypot(bx - ax, by - ay);
    }

    // The baseline's direction on the device at (x, y): the logical x axis as the
    // mapping turns it, turned further by the escapement (counter-clockwise in logical
    // space, which a mapping that flips one axis shows clockwise), as the player does.
    void Direction(double x, double y, double& dirX, double& dirY) const
    {
        double ox, oy, ax, ay, bx, by;
        ToDevice(x, y, ox, oy);
        ToDevice(x + 1, y, ax, ay);
        ToDevice(x, y + 1, bx, by);
        const double vx = ax - ox, vy = ay - oy;
        const double det = vx * (by - oy) - vy * (bx - ox);
        const double esc = dc_.Font.Escapement / 10.0;
        const double deg = std::atan2(-vy, vx) * 180.0 / M_PI + (det < 0 ? -esc : esc);
        const double rad = std::fmod(deg, 360.0) * M_PI / 180.0;
        dirX = std::cos(rad);
        dirY = -std::sin(rad);
        // Whole turns leave text level: no rounding residue in the placement.
        if (std::fabs(dirY) < 1e-9) {
            dirY = 0;
            dirX = dirX < 0 ? -1 : 1;
        } else if (std::fabs(dirX) < 1e-9) {
            dirX = 0;
            dirY = dirY < 0 ? -1 : 1;
        }
    }

    // Reads one EMRTEXT at offset `at` of the record; returns its size. The record's
    // bounds (device units, at offset 8) are used only for a single-string record.
    std::size_t Text(const TRecordView& r, std::size_t at, bool wide, bool useBounds)
    {
        const std::size_t n = r.Size();
        const std::int32_t refX = r.I32(at), refY = r.I32(at + 4);
        const std::uint32_t chars = r.U32(at + 8);
        const std::uint32_t offString = r.U32(at + 12);
        const std::uint32_t options = r.U32(at + 16);
        const bool hasRect = !(options & ETO_NO_RECT);
        const std::size_t textSize = hasRect ? kTextSize : kTextSize - 16;
        if (at + textSize > n)
            return textSize;
        const std::uint32_t offDx = r.U32(at + textSize - 4);
        const std::size_t charBytes = wide ? 2 : 1;
        if (chars == 0 || (options & ETO_GLYPH_INDEX))
            return textSize;
        const std::uint8_t* text = r.HasArray(offString, chars, charBytes) ? r.Data() + offString : nullptr;
        if (!text)
            return textSize;

        // Advances in logical units from the spacing array, when the record has one.
        const bool pdy = (options & ETO_PDY) != 0;
        const bool hasDx = offDx != 0 && r.HasArray(offDx, pdy ? std::size_t(chars) * 2 : chars, 4);
        auto unitAdvance = [&](std::size_t i) { return double(r.I32(offDx + 4 * (pdy ? 2 * i : i))); };

        TEmfTextRun run;
        // Characters with the logical start of each; NUL characters are dropped but keep
        // their advance, control characters become blanks (they would break the lines).
        std::vector<std::size_t> firstUnit, unitsOf;
        auto emit = [&](std::size_t first, std::uint32_t cp) {
            if (cp == 0)
                return;
            firstUnit.push_back(first);
            unitsOf.push_back(wide && cp >= 0x10000 ? 2 : 1);
            AppendUtf8(run.Text, cp < 0x20 ? ' ' : cp);
        };
        if (wide)
            DecodeUtf16Le(text, chars, emit);
        else
            DecodeCp1252(text, chars, emit);
        if (run.Text.empty())
            return textSize;

        std::vector<double> startLogical(chars + 1, 0.0);
        if (hasDx)
            for (std::size_t i = 0; i < chars; ++i)
                startLogical[i + 1] = startLogical[i] + unitAdvance(i);
        const double advance = hasDx ? startLogical[chars] : -1;

        auto& dc = dc_;
        const bool updateCp = dc.TextAlign & TA_UPDATECP;
        const double lx = updateCp ? dc.CurX : refX;
        const double ly = updateCp ? dc.CurY : refY;
        ToDevice(lx, ly, run.RefX, run.RefY);
        Direction(lx, ly, run.DirX, run.DirY);
        const double unit = DeviceLength(lx, ly, 1, 0); // device length of a logical x unit
        const double fontLogical = dc.FontSelected ? std::fabs(double(dc.Font.Height)) : 0;
        run.Height = fontLogical > 0 ? DeviceLength(lx, ly, 0, fontLogical) : 0;
        // Typical faces put about four fifths of the height above the baseline.
        run.Ascent = 0.8 * run.Height;
        run.Descent = 0.2 * run.Height;
        run.Font.Face = dc.Font.Face;
        // A height of 0 asks for the default cell height of 16 units.
        const double lfHeight = dc.Font.Height == 0 ? 16.0 : std::fabs(double(dc.Font.Height));
        run.Font.Height = (dc.Font.Height < 0 ? -1 : 1) * DeviceLength(lx, ly, 0, lfHeight);
        run.Font.Width = dc.Font.Width == 0 ? 0 : DeviceLength(lx, ly, std::fabs(double(dc.Font.Width)), 0);
        run.Font.Weight = dc.Font.Weight;
        run.Font.Italic = dc.Font.Italic;
        run.Font.PitchAndFamily = dc.Font.PitchAndFamily;
        run.Font.CharSet = dc.Font.CharSet;
        run.Align = dc.TextAlign;

        if (hasDx) {
            run.Width = advance * unit;
            run.AdvancesGiven = true;
            for (std::size_t k = 0; k < firstUnit.size(); ++k) {
                const std::size_t end = k + 1 < firstUnit.size() ? firstUnit[k + 1] : chars;
                const std::size_t last = std::min(end, firstUnit[k] + unitsOf[k]);
                const double s = startLogical[firstUnit[k]] * unit;
                run.Glyphs.push_back({s, startLogical[last] * unit - s});
            }
        } else if (useBounds && r.I32(16) > r.I32(8)) {
            // Without a spacing array the record's bounds (device units) tell the
            // width when they are set; the characters share it evenly until measured.
            run.Width = double(r.I32(16)) - r.I32(8) + 1;
            const double each = run.Width / double(firstUnit.size());
            for (std::size_t k = 0; k < firstUnit.size(); ++k)
                run.Glyphs.push_back({each * double(k), each});
        }
        PlaceTextRun(run);

        if (updateCp && advance >= 0) {
            const std::uint32_t hAlign = dc.TextAlign & TA_CENTER;
            if (hAlign == TA_RIGHT)
                dc_.CurX -= advance;
            else if (hAlign != TA_CENTER)
                dc_.CurX += advance;
        }
        if (std::isfinite(run.X) && std::isfinite(run.Baseline) && std::isfinite(run.Width))
            runs_.push_back(std::move(run));
        return textSize;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    double pxPerMmX_ = 96 / 25.4, pxPerMmY_ = 96 / 25.4;
    TDcState dc_;
    std::vector<TDcState> saved_;
    std::map<std::uint32_t, TFontState> fonts_; // object index -> font
    std::vector<TEmfTextRun> runs_;
};

} // namespace

std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t charCount)
{
    std::string out;
    out.reserve(charCount);
    DecodeUtf16Le(data, charCount, [&](std::size_t, std::uint32_t c) {
        if (c != 0)
            AppendUtf8(out, c);
    });
    return out;
}

std::string Cp1252ToUtf8(const std::uint8_t* data, std::size_t count)
{
    std::string out;
    out.reserve(count);
    DecodeCp1252(data, count, [&](std::size_t, std::uint32_t c) {
        if (c != 0)
            AppendUtf8(out, c);
    });
    return out;
}

void PlaceTextRun(TEmfTextRun& run)
{
    // Text space: x along the baseline, y downwards across it.
    const double downX = -run.DirY, downY = run.DirX;
    double along = 0;
    const std::uint32_t hAlign = run.Align & TA_CENTER;
    if (run.Width >= 0 && hAlign == TA_CENTER)
        along = -run.Width / 2;
    else if (run.Width >= 0 && hAlign == TA_RIGHT)
        along = -run.Width;
    // Vertical alignment: the reference point is the top, the baseline or the bottom.
    double across = 0;
    const std::uint32_t vAlign = run.Align & TA_BASELINE;
    if (vAlign == TA_BOTTOM)
        across = -run.Descent;
    else if (vAlign != TA_BASELINE)
        across = run.Ascent;
    run.X = run.RefX + run.DirX * along + downX * across;
    run.Baseline = run.RefY + run.DirY * along + downY * across;
}

TEmfPictureMapping PictureToTarget(const std::uint8_t* data, std::size_t size, double left, double top,
                                   double width, double height)
{
    TEmfPictureMapping m;
    TEmfHeaderInfo h;
    if (!data || !ReadEmfHeader(data, size, h))
        return m;
    // One reference pixel in millimetres; the frame (0.01 mm) fills the target.
    const double mmX = h.Device.Cx > 0 && h.Millimeters.Cx > 0 ? double(h.Millimeters.Cx) / h.Device.Cx : 25.4 / 96;
    const double mmY = h.Device.Cy > 0 && h.Millimeters.Cy > 0 ? double(h.Millimeters.Cy) / h.Device.Cy : 25.4 / 96;
    const double frameLeft = h.Frame.Left / 100.0 / mmX, frameTop = h.Frame.Top / 100.0 / mmY;
    const double frameWidth = (double(h.Frame.Right) - h.Frame.Left) / 100.0 / mmX;
    const double frameHeight = (double(h.Frame.Bottom) - h.Frame.Top) / 100.0 / mmY;
    m.ScaleX = frameWidth != 0 ? width / frameWidth : 1.0;
    m.ScaleY = frameHeight != 0 ? height / frameHeight : 1.0;
    m.OffsetX = left - frameLeft * m.ScaleX;
    m.OffsetY = top - frameTop * m.ScaleY;
    return m;
}

std::vector<TEmfTextRun> ExtractTextRuns(const std::uint8_t* data, std::size_t size)
{
    if (!data)
        return {};
    return TTextCollector(data, size).Run();
}

std::string ExtractPageText(const std::uint8_t* data, std::size_t size)
{
    return ArrangeTextRuns(ExtractTextRuns(data, size));
}

} // namespace qrp
