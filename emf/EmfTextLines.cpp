// Text runs laid out as the lines a reader sees: grouped by the way they run, then by
// baseline, then along it.
#include "emf/EmfText.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace qrp {

namespace {

bool IsBlank(const std::string& s)
{
    return s.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

// A run seen in the frame of its own direction: u along the baseline, v across it
// (downwards); for level text u is x and v the baseline's y.
struct TPlaced {
    std::size_t Run;
    double U, V;
};

// Runs that run the same way: their direction rounded to a whole degree.
int DirectionKey(const TEmfTextRun& r)
{
    const double deg = std::atan2(-r.DirY, r.DirX) * 180.0 / M_PI;
    int key = static_cast<int>(std::lround(deg)) % 360;
    return key < 0 ? key + 360 : key;
}

struct TLaidLine {
    TEmfTextLine Line;
    double Key = 0; // where the line stands on the page, for the order of the lines
};

// The lines of runs that run the same way, in order across the baseline.
void LayOutGroup(const std::vector<TEmfTextRun>& runs, std::vector<TPlaced> placed, std::vector<TLaidLine>& out)
{
    std::stable_sort(placed.begin(), placed.end(), [](const TPlaced& a, const TPlaced& b) { return a.V < b.V; });
    // A run belongs to the current line while its baseline stays within 40% of the
    // smaller font height (at least one device unit) of the line's first baseline.
    auto tolerance = [](double a, double b) {
        const double h = (a > 0 && b > 0) ? std::min(a, b) : std::max(a, b);
        return std::max(1.0, h > 0 ? 0.4 * h : 3.0);
    };
    std::size_t i = 0;
    while (i < placed.size()) {
        const TEmfTextRun& first = runs[placed[i].Run];
        std::size_t j = i + 1;
        while (j < placed.size() &&
               placed[j].V - placed[i].V <= tolerance(first.Height, runs[placed[j].Run].Height))
            ++j;
        const double lineV = placed[i].V;
        std::stable_sort(placed.begin() + i, placed.begin() + j,
                         [](const TPlaced& a, const TPlaced& b) { return a.U < b.U; });
        TLaidLine laid;
        TEmfTextLine& line = laid.Line;
        for (std::size_t k = i; k < j; ++k) {
            const TEmfTextRun& r = runs[placed[k].Run];
            if (k > i) {
                const TEmfTextRun& p = runs[placed[k - 1].Run];
                // Pieces of one string drawn in several records touch; others get a blank.
                const double h = std::max(p.Height, r.Height);
                const bool touches =
                    p.Width >= 0 && placed[k].U - (placed[k - 1].U + p.Width) < 0.15 * (h > 0 ? h : 10);
                const bool hasBlank = (!line.Text.empty() && line.Text.back() == ' ') || r.Text.front() == ' ';
                if (!touches && !hasBlank)
                    line.Text += ' ';
            }
            line.Pieces.push_back({placed[k].Run, line.Text.size(), 0, r.Text.size()});
            line.Text += r.Text;
        }
        // Trimmed of blanks at both ends; the pieces follow.
        const auto begin = line.Text.find_first_not_of(' ');
        if (begin != std::string::npos) {
            const std::size_t end = line.Text.find_last_not_of(' ') + 1;
            std::vector<TEmfTextPiece> kept;
            for (TEmfTextPiece piece : line.Pieces) {
                const std::size_t from = std::max(piece.At, begin);
                const std::size_t to = std::min(piece.At + piece.Length, end);
                if (from >= to)
                    continue;
                piece.From += from - piece.At;
                piece.Length = to - from;
                piece.At = from - begin;
                kept.push_back(piece);
            }
            line.Text = line.Text.substr(begin, end - begin);
            line.Pieces = std::move(kept);
            // Level text: the baseline. Other directions: the middle of the line's
            // extent on the page, so that a label along an axis sits beside what it names.
            if (first.DirY == 0 && first.DirX > 0) {
                laid.Key = lineV;
            } else {
                const TEmfTextRun& a = runs[placed[i].Run];
                const TEmfTextRun& b = runs[placed[j - 1].Run];
                const double endY = b.Baseline + b.DirY * std::max(0.0, b.Width);
                laid.Key = (a.Baseline + endY) / 2;
            }
            out.push_back(std::move(laid));
        }
        i = j;
    }
}

} // namespace

std::vector<TEmfTextLine> ArrangeTextLines(const std::vector<TEmfTextRun>& runs)
{
    // Level text first, so that it comes first where lines of two directions stand level.
    std::map<int, std::vector<TPlaced>> groups;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const TEmfTextRun& r = runs[i];
        if (r.Text.empty() || IsBlank(r.Text))
            continue;
        const double downX = -r.DirY, downY = r.DirX;
        groups[DirectionKey(r)].push_back({i, r.X * r.DirX + r.Baseline * r.DirY, r.X * downX + r.Baseline * downY});
    }
    std::vector<TLaidLine> laid;
    for (auto& [key, placed] : groups)
        LayOutGroup(runs, std::move(placed), laid);
    std::stable_sort(laid.begin(), laid.end(), [](const TLaidLine& a, const TLaidLine& b) { return a.Key < b.Key; });
    std::vector<TEmfTextLine> lines;
    lines.reserve(laid.size());
    for (TLaidLine& l : laid)
        lines.push_back(std::move(l.Line));
    return lines;
}

std::string ArrangeTextRuns(std::vector<TEmfTextRun> runs)
{
    std::string out;
    for (const TEmfTextLine& line : ArrangeTextLines(runs)) {
        out += line.Text;
        out += '\n';
    }
    return out;
}

} // namespace qrp
