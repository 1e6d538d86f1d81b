// SVG spy plot of a labelling before and after reordering (layout and choices in Spy.h).
#include "Spy.h"

#include "Print.h"

#include <algorithm>

namespace tarvel_demo
{
namespace
{

constexpr int kPanel = 400;   // pixels per panel side
constexpr int kMargin = 20;   // pixels around and between the panels
constexpr int kCaption = 62;  // pixels above the panels for three caption lines
constexpr int kLegend = 30;   // pixels below the panels for the legend
// Fill of shades 1 .. kSpyShades, light to dark, and what each means.
constexpr const char* kShadeFill[kSpyShades] = {"#c6dbef", "#6baed6", "#2171b5", "#08306b"};
constexpr const char* kShadeMeaning[kSpyShades] = {"below 0.1%", "0.1% to 1%", "1% to 10%",
                                                   "10% or more"};

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    return out;
}

// One panel: caption lines, frame and the shaded cells, drawn in entry units (n x n scaled to
// the panel), one path per shade present, one "M x y h w v h h -w z" per run of that shade in
// a row of cells.
void write_panel(std::ostream& out, const SpyGrid& grid, int n, int x0, const std::string& caption)
{
    int y = kMargin + 4;
    for (std::size_t start = 0; start <= caption.size(); y += 18)
    {
        const std::size_t end = std::min(caption.find('\n', start), caption.size());
        out << format("<text x=\"%d\" y=\"%d\">", x0, y)
            << escaped(caption.substr(start, end - start)) << "</text>\n";
        start = end + 1;
    }
    const int y0 = kMargin + kCaption;
    out << format("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" "
                  "stroke=\"#888\"/>\n",
                  x0, y0, kPanel, kPanel);
    out << format("<g transform=\"translate(%d %d) scale(%.6g)\">\n", x0, y0,
                  static_cast<double>(kPanel) / n);
    const long s = grid.side;
    auto extent = [&](long c) { return std::min(s, n - c * s); };  // entries in cell row/column c
    std::vector<int> shade(static_cast<std::size_t>(grid.cells) * grid.cells);
    for (long r = 0; r < grid.cells; ++r)
        for (long c = 0; c < grid.cells; ++c)
            shade[r * grid.cells + c] =
                spy_shade(grid.counts[r * grid.cells + c], extent(r) * extent(c));
    for (int level = 1; level <= kSpyShades; ++level)
    {
        if (std::find(shade.begin(), shade.end(), level) == shade.end()) continue;
        out << format("<path fill=\"%s\" d=\"", kShadeFill[level - 1]);
        for (long r = 0; r < grid.cells; ++r)
            for (long c = 0; c < grid.cells;)
            {
                if (shade[r * grid.cells + c] != level)
                {
                    ++c;
                    continue;
                }
                long end = c;
                while (end < grid.cells && shade[r * grid.cells + end] == level) ++end;
                const long width = std::min(end * s, static_cast<long>(n)) - c * s;
                out << 'M' << c * s << ' ' << r * s << 'h' << width << 'v' << extent(r) << 'h'
                    << -width << 'z';
                c = end;
            }
        out << "\"/>\n";
    }
    out << "</g>\n";
}

// The legend: one swatch per shade with its meaning.
void write_legend(std::ostream& out, int y)
{
    out << format("<text x=\"%d\" y=\"%d\">share of a cell's entries stored:</text>\n", kMargin,
                  y + 13);
    for (int level = 0; level < kSpyShades; ++level)
    {
        const int x = kMargin + 250 + level * 140;
        out << format("<rect x=\"%d\" y=\"%d\" width=\"14\" height=\"14\" fill=\"%s\" "
                      "stroke=\"#888\"/>\n",
                      x, y + 1, kShadeFill[level])
            << format("<text x=\"%d\" y=\"%d\">%s</text>\n", x + 20, y + 13, kShadeMeaning[level]);
    }
}

}  // namespace

SpyGrid spy_grid(const CReorderMat& g, bool byLabel, int maxCells)
{
    const long n = g.GetRows();
    SpyGrid grid;
    grid.side = static_cast<int>(std::max(1L, (n + maxCells - 1) / maxCells));
    grid.cells = static_cast<int>((n + grid.side - 1) / grid.side);
    grid.counts.assign(static_cast<std::size_t>(grid.cells) * grid.cells, 0);
    auto cell = [&](int dof)
    { return static_cast<std::size_t>((byLabel ? g.f_v(dof) : dof) / grid.side); };
    for (int i = 0; i < n; ++i)
    {
        const std::size_t r = cell(i);
        ++grid.counts[r * grid.cells + r];
        for (int e = 0; e < g.m_pLength[i]; ++e)
            ++grid.counts[r * grid.cells + cell(static_cast<int>(g.m_ppData[i][e]))];
    }
    return grid;
}

int spy_shade(long count, long area)
{
    if (count <= 0) return 0;
    const double share = static_cast<double>(count) / static_cast<double>(area);
    return share < 0.001 ? 1 : share < 0.01 ? 2 : share < 0.1 ? 3 : 4;
}

void write_spy_svg(std::ostream& out, const CReorderMat& g, const std::string& beforeCaption,
                   const std::string& afterCaption)
{
    const int n = g.GetRows();
    const int width = 2 * kPanel + 3 * kMargin;
    const int height = kPanel + kCaption + kLegend + 2 * kMargin;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                  "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"14\" "
                  "shape-rendering=\"crispEdges\">\n",
                  width, height, width, height)
        << format("<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", width, height);
    if (n > 0)
    {
        const SpyGrid before = spy_grid(g, false), after = spy_grid(g, true);
        const std::string cellSize =
            before.side == 1 ? "\neach cell one entry"
                             : format("\neach cell %d x %d entries", before.side, before.side);
        write_panel(out, before, n, kMargin, beforeCaption + cellSize);
        write_panel(out, after, n, 2 * kMargin + kPanel, afterCaption + cellSize);
        write_legend(out, kMargin + kCaption + kPanel + 10);
    }
    out << "</svg>\n";
}

}  // namespace tarvel_demo
