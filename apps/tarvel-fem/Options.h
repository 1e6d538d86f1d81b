// The command line of tarvel-fem: options, their defaults and the help text.
//
// Choices:
//  - "--name value" and "--name=value" are both accepted; a later option overrides an earlier.
//  - --road takes one road, "all", or a comma-separated list; roads run in the order given.
//  - --reorder names match the member functions of CReorderMat, case ignored; "none" keeps the
//    mesh numbering. Given explicitly, it relabels the system road's DOFs too (a fill reducer
//    for CSystSpMat); the default applies to the skyline road only, but on a mesh and on the
//    block to the system road as well.
//  - --problem block takes its own default grid (kDefaultBlock*) unless --nx, --ny or --nz say
//    otherwise; --nz belongs to the block alone.
//  - The direct road is in the default roads when built (TARVEL_HAVE_DIRECT), after skyline.
//  - The default reordering is Hager2: of all the library's reorderings it leaves the smallest
//    envelope on the default mesh (about a quarter of the mesh numbering's).
#pragma once

#include "fem/MeshProblem.h"

#include <string>
#include <vector>

namespace tarvel_demo
{

enum class Road
{
    System,   // CSystSpMat upper triangle, SymUnifyAndZero, Cholesky_Solve
    Skyline,  // CReorderMat, a reordering, CSkylineMatrix, Cholesky_Solve
    Cg,       // CSystSpMat upper triangle, SymUnifyAndZero, ConjGradient2
    Gs,       // CSystSpMat upper triangle, SymUnifyAndZero, GaussSeidel_Iter
    Direct    // CSystSpMat upper triangle, SymUnifyAndZero, CSupernodalCholesky
};
const char* road_name(Road road);
bool direct_built_in();             // the direct road was built (Tarvel::Direct found)
std::vector<Road> default_roads();  // system, skyline, and direct when built in

constexpr int kDefaultNx = 200;
constexpr int kDefaultNy = 50;
constexpr int kDefaultBlockNx = 32;  // 33 x 9 x 9 nodes, 8019 DOFs, cubes of 12.5 cm
constexpr int kDefaultBlockNy = 8;
constexpr int kDefaultBlockNz = 8;
constexpr int kDefaultSweeps = 20000;
constexpr const char* kDefaultReordering = "Hager2";
constexpr long long kDefaultMaxFactor = 20000000;  // factor entries: about 460 MB

struct Options
{
    int nx = kDefaultNx;
    int ny = kDefaultNy;
    int nz = kDefaultBlockNz;                                        // the block only
    tarvel_fem::Physics physics = tarvel_fem::Physics::PlaneStress;  // Solid: --problem block
    std::vector<Road> roads = default_roads();
    std::string reorder = kDefaultReordering;  // a name of tarvel_fem::reorderings() or "none"
    bool reorderSystem = false;                // --reorder given, or a mesh: system road relabelled
    int sweeps = kDefaultSweeps;               // most Gauss-Seidel sweeps
    std::string mesh;                          // a Gmsh mesh file instead of the grid
    std::string vtk;                           // write the solution here
    std::string spy;                           // draw the patterns here
    std::string exportMM;                      // write the reduced system here (a directory)
    bool quiet = false;                        // hide the library's reports
    long long max_factor = kDefaultMaxFactor;  // most factor entries the system road makes
    bool progress = false;  // draw the progress bar on err (not an option: stderr a terminal)
};

struct ParsedOptions
{
    Options options;
    bool help = false;
    std::string error;  // empty when the command line is valid
};

ParsedOptions parse_options(int argc, const char* const* argv);

// The --help text, ending with a newline.
std::string usage();

}  // namespace tarvel_demo
