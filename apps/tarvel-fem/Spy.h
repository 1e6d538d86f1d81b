// The pattern of the skyline road's matrix before and after reordering, side by side, as an
// SVG picture (a "spy" plot).
//
// The pattern of a labelling is {(L(i), L(j)) : j a neighbour of i in the graph} together with
// the diagonal {(L(i), L(i))}: before reordering L is the mesh numbering (L(i) = i), after it
// the graph's labels f_v. Prescribed DOFs, outside the graph, show their diagonal only.
//
// Choices:
//  - A matrix of n rows is drawn on square cells of side s = ceil(n / kSpyCells) entries (the
//    last row and column of cells cut off by the matrix's edge), so the picture has at most
//    kSpyCells x kSpyCells cells and the file stays below a few hundred KB whatever n is. The
//    captions state s.
//  - Each cell is shaded by the share of its entries that are stored, in four steps a decade
//    apart (kSpyShades: below 0.1%, 0.1% to 1%, 1% to 10%, 10% or more), white when it holds
//    none; a legend under the panels says so. Decades, because a sparse matrix's cells range
//    from one entry in a quarter million to full.
//  - Each row's runs of cells of one shade are one path segment, one path per shade.
#pragma once

#include <tarvel/Tarvel.h>

#include <ostream>
#include <string>
#include <vector>

namespace tarvel_demo
{

constexpr int kSpyCells = 200;
constexpr int kSpyShades = 4;

// The cells of a pattern: side entries a side, cells x cells of them, counts row-major.
struct SpyGrid
{
    int side = 1;
    int cells = 0;
    std::vector<long> counts;  // stored entries per cell
};

// The pattern of g counted on cells of ceil(n / maxCells) entries; byLabel false counts the
// mesh numbering.
SpyGrid spy_grid(const CReorderMat& g, bool byLabel, int maxCells = kSpyCells);

// The shade of a cell holding count stored entries of area: 0 (none) to kSpyShades (10% or more).
int spy_shade(long count, long area);

// The SVG document: the mesh numbering on the left, g's labels on the right, each under its
// caption (plain text, escaped here) and a line with the cell size; the legend below.
void write_spy_svg(std::ostream& out, const CReorderMat& g, const std::string& beforeCaption,
                   const std::string& afterCaption);

}  // namespace tarvel_demo
