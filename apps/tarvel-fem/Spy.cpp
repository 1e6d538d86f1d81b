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
constexpr int kCaption = 44;  // pixels above the panels for two caption lines

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

// One panel: frame, caption and the dark cells, one "M c r h len v 1 h -len z" per run.
void write_panel(std::ostream& out, const std::vector<bool>& cells, int n, int x0,
                 const std::string& caption)
{
    const std::size_t line = caption.find('\n');
    out << format("<text x=\"%d\" y=\"%d\">", x0, kMargin + 4) << escaped(caption.substr(0, line))
        << "</text>\n";
    if (line != std::string::npos)
        out << format("<text x=\"%d\" y=\"%d\">", x0, kMargin + 22)
            << escaped(caption.substr(line + 1)) << "</text>\n";
    const int y0 = kMargin + kCaption;
    out << format("<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" "
                  "stroke=\"#888\"/>\n",
                  x0, y0, kPanel, kPanel);
    out << format("<g transform=\"translate(%d %d) scale(%.6g)\">\n<path fill=\"#1d4f91\" d=\"", x0,
                  y0, static_cast<double>(kPanel) / n);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n;)
        {
            if (!cells[static_cast<std::size_t>(r) * n + c])
            {
                ++c;
                continue;
            }
            int end = c;
            while (end < n && cells[static_cast<std::size_t>(r) * n + end]) ++end;
            out << 'M' << c << ' ' << r << 'h' << end - c << "v1h-" << end - c << 'z';
            c = end;
        }
    out << "\"/>\n</g>\n";
}

}  // namespace

std::vector<bool> spy_cells(const CReorderMat& g, bool byLabel, int cells)
{
    const long long n = g.GetRows();
    std::vector<bool> dark(static_cast<std::size_t>(cells) * cells, false);
    auto cell = [&](long long index) { return static_cast<std::size_t>(index * cells / n); };
    auto at = [&](int dof) { return cell(byLabel ? g.f_v(dof) : dof); };
    for (int i = 0; i < n; ++i)
    {
        const std::size_t r = at(i);
        dark[r * cells + r] = true;
        for (int e = 0; e < g.m_pLength[i]; ++e)
            dark[r * cells + at(static_cast<int>(g.m_ppData[i][e]))] = true;
    }
    return dark;
}

void write_spy_svg(std::ostream& out, const CReorderMat& g, const std::string& beforeCaption,
                   const std::string& afterCaption)
{
    const int cells = std::max(1, std::min(g.GetRows(), kSpyCells));
    const int width = 2 * kPanel + 3 * kMargin;
    const int height = kPanel + kCaption + 2 * kMargin;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                  "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"14\" "
                  "shape-rendering=\"crispEdges\">\n",
                  width, height, width, height)
        << format("<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", width, height);
    if (g.GetRows() > 0)
    {
        write_panel(out, spy_cells(g, false, cells), cells, kMargin, beforeCaption);
        write_panel(out, spy_cells(g, true, cells), cells, 2 * kMargin + kPanel, afterCaption);
    }
    out << "</svg>\n";
}

}  // namespace tarvel_demo
