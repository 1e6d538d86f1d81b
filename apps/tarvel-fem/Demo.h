// tarvel-fem as a function: builds the problem the options ask for, takes the roads, judges each
// solution against an assembly made without the library, and writes the requested files.
//
// Output: the report goes to out; an error in the input is one line on err, starting with
// "tarvel-fem: ", and nothing else is done. Exit codes: 0 every residual at most 1e-8, 1 a
// residual above it or a road without a solution, 2 bad input.
//
// Choices:
//  - The residual is ||K u - f|| / ||f|| of the reduced system of fem/Reference.h: K and f summed
//    from the element matrices and loads without the library, each prescribed DOF's row and
//    column replaced by a unit one and its value moved to f.
//  - The library's message boxes are printed into out, each line indented under "| ", unless
//    quiet; the previous handler, m_bSym and the reordering script path are restored afterwards.
//  - The reorderings' Matlab script goes to a temporary directory removed at the end.
//  - --vtk writes the solution of the first road that found one, an unfinished iterate (gs at its
//    sweep limit) only when no road has more, marked so in the title and the array name; the
//    mesh's nodes keep their z. Output files are opened before any work, so a path that cannot
//    be written is bad input. They are written beside their targets and renamed into place when
//    complete (OutputFile.h): a run that fails or has nothing to write leaves an existing file
//    as it was.
//  - Phase lines are flushed as they are written, so that a pipe shows a long run's progress.
//  - On a terminal (Options::progress, which demo_main sets when standard error is one), the
//    library's progress is drawn on err as the bar of ProgressBar.h.
//  - Problems above kMaxDofs DOFs are refused as bad input.
//  - The block's tip is compared with beam theory and the difference printed; it does not change
//    the exit code (the residuals judge the roads; the tests judge the model).
#pragma once

#include "DemoRoads.h"
#include "Options.h"

#include <ostream>
#include <string>
#include <vector>

namespace tarvel_demo
{

constexpr long kMaxDofs = 10000000;
constexpr double kResidualLimit = 1e-8;
// The block's tip against beam theory: within kBeamTolerance on grids of at least 24 x 4 x 4
// elements (Demo.cpp, print_beam_check, gives the figures behind it).
constexpr double kBeamTolerance = 0.05;
inline bool beam_grid(const Options& o) { return o.nx >= 24 && o.ny >= 4 && o.nz >= 4; }

struct RoadReport
{
    Road road = Road::System;
    bool solved = false;
    std::vector<double> u;
    double residual = 0.0;  // meaningful when solved
    std::string failure;
    std::string unfinished;  // why u is an iterate rather than the solution; "" when final
};

struct DemoResult
{
    int exit_code = 0;
    long nodes = 0, elements = 0, dofs = 0;
    std::vector<RoadReport> roads;
    double largest_difference = 0.0;  // max |u_a - u_b| over the DOFs and pairs of solved roads
    double beam_error = 0.0;  // the block: (tip - beam theory) / beam theory, first final road
};

DemoResult run_demo(const Options& options, std::ostream& out, std::ostream& err);

// Parses the command line, shows the help or runs; returns the exit code.
int demo_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace tarvel_demo
