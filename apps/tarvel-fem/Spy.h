// The pattern of the skyline road's matrix before and after reordering, side by side, as an
// SVG picture (a "spy" plot).
//
// The pattern of a labelling is {(L(i), L(j)) : j a neighbour of i in the graph} together with
// the diagonal {(L(i), L(i))}: before reordering L is the mesh numbering (L(i) = i), after it
// the graph's labels f_v. Prescribed DOFs, outside the graph, show their diagonal only.
//
// Choice: a matrix of more than kSpyCells rows is drawn on a kSpyCells x kSpyCells grid, cell
// (r, c) covering the indices [r n / cells, (r + 1) n / cells) of each side and dark when any
// entry falls in it, so the file stays below a few hundred KB whatever n is. Each row's runs of
// dark cells are one path segment.
#pragma once

#include <tarvel/Tarvel.h>

#include <ostream>
#include <string>
#include <vector>

namespace tarvel_demo
{

constexpr int kSpyCells = 200;

// Row-major cells x cells occupancy of the pattern; byLabel false draws the mesh numbering.
std::vector<bool> spy_cells(const CReorderMat& g, bool byLabel, int cells);

// The SVG document: the mesh numbering on the left, g's labels on the right, each under its
// caption (plain text, escaped here).
void write_spy_svg(std::ostream& out, const CReorderMat& g, const std::string& beforeCaption,
                   const std::string& afterCaption);

}  // namespace tarvel_demo
