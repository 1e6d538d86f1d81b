// The command line of tarvel-fem: options, their defaults and the help text.
//
// Choices:
//  - "--name value" and "--name=value" are both accepted; a later option overrides an earlier.
//  - --road takes one road, "all", or a comma-separated list; roads run in the order given.
//  - --reorder names match the member functions of CReorderMat, case ignored; "none" keeps the
//    mesh numbering. Given explicitly, it relabels the system road's DOFs too (a fill reducer
//    for CSystSpMat); the default applies to the skyline road only.
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
    Gs        // CSystSpMat upper triangle, SymUnifyAndZero, GaussSeidel_Iter
};
const char* road_name(Road road);

constexpr int kDefaultNx = 200;
constexpr int kDefaultNy = 50;
constexpr int kDefaultSweeps = 20000;
constexpr const char* kDefaultReordering = "Hager2";
constexpr long long kDefaultMaxFactor = 20000000;  // factor entries: about 460 MB

struct Options
{
    int nx = kDefaultNx;
    int ny = kDefaultNy;
    tarvel_fem::Physics physics = tarvel_fem::Physics::PlaneStress;
    std::vector<Road> roads = {Road::System, Road::Skyline};
    std::string reorder = kDefaultReordering;  // a name of tarvel_fem::reorderings() or "none"
    bool reorderSystem = false;                // --reorder given, or a mesh: system road relabelled
    int sweeps = kDefaultSweeps;               // most Gauss-Seidel sweeps
    std::string mesh;                          // a Gmsh mesh file instead of the grid
    std::string vtk;                           // write the solution here
    std::string spy;                           // draw the patterns here
    std::string exportMM;                      // write the reduced system here (a directory)
    bool quiet = false;                        // hide the library's reports
    long long max_factor = kDefaultMaxFactor;  // most factor entries the system road makes
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
