// Ellipses on the pixel grid: the shapes GDI sets for a one-pixel pen.
#include "emf/PixelEllipse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qrp::emf;

namespace {

// The ellipse as text rows: 'o' outline, '#' interior, '.' neither.
std::vector<std::string> Picture(int w, int h)
{
    std::vector<std::string> rows(std::size_t(h), std::string(std::size_t(w), '.'));
    const TPixelEllipse e = RasterizeEllipse(w, h);
    auto mark = [&](const std::vector<TPixelRun>& runs, char c) {
        for (const TPixelRun& r : runs) {
            EXPECT_TRUE(r.Y >= 0 && r.Y < h && r.X0 >= 0 && r.X1 < w && r.X0 <= r.X1);
            for (int x = r.X0; x <= r.X1; ++x) {
                EXPECT_EQ(rows[std::size_t(r.Y)][std::size_t(x)], '.') << "pixel set twice";
                rows[std::size_t(r.Y)][std::size_t(x)] = c;
            }
        }
    };
    mark(e.Outline, 'o');
    mark(e.Interior, '#');
    return rows;
}

} // namespace

// Shapes read off GDI's own playback of ELLIPSE records with a one-pixel pen.
TEST(PixelEllipse, SmallBoxesAsGdiSetsThem)
{
    EXPECT_EQ(Picture(3, 3), (std::vector<std::string>{".o.", "o#o", ".o."}));
    EXPECT_EQ(Picture(4, 4), (std::vector<std::string>{".oo.", "o##o", "o##o", ".oo."}));
    EXPECT_EQ(Picture(7, 5), (std::vector<std::string>{"..ooo..", "oo###oo", "o#####o", "oo###oo", "..ooo.."}));
    // A tall thin box: GDI leaves the last row at each end empty.
    EXPECT_EQ(Picture(3, 9), (std::vector<std::string>{"...", ".o.", "o#o", "o#o", "o#o", "o#o", "o#o", ".o.", "..."}));
    EXPECT_TRUE(RasterizeEllipse(2, 5).Outline.empty());
}

// Every ellipse is symmetric about both axes of its box, reaches the box's left and
// right edges on its middle row, and has no holes between outline and interior.
TEST(PixelEllipse, SymmetricAndSolid)
{
    for (int w = 3; w <= 40; ++w) {
        for (int h = 3; h <= 40; ++h) {
            const auto rows = Picture(w, h);
            for (int y = 0; y < h; ++y) {
                const std::string& row = rows[std::size_t(y)];
                EXPECT_EQ(row, rows[std::size_t(h - 1 - y)]) << w << "x" << h;
                EXPECT_EQ(row, std::string(row.rbegin(), row.rend())) << w << "x" << h;
                const auto first = row.find_first_not_of('.'), last = row.find_last_not_of('.');
                if (first != std::string::npos) {
                    EXPECT_EQ(row.substr(first, last - first + 1).find('.'), std::string::npos) << w << "x" << h;
                }
            }
            EXPECT_EQ(rows[std::size_t(h / 2)].front(), 'o') << w << "x" << h;
        }
    }
}
