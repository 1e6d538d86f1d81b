// Command-line parsing and the help text (choices in Options.h).
#include "Options.h"

#include "MeshInput.h"
#include "fem/Roads.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <strings.h>

namespace tarvel_demo
{
namespace
{

// A whole number from 1 to most, the whole text; false otherwise.
bool parse_count(const std::string& text, long long most, long long& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < 1 || v > most) return false;
    value = v;
    return true;
}

// A positive int, the whole text; false otherwise.
bool parse_positive(const std::string& text, int& value)
{
    long long v = 0;
    if (!parse_count(text, 1000000000LL, v)) return false;
    value = static_cast<int>(v);
    return true;
}

std::string parse_roads(const std::string& text, std::vector<Road>& roads)
{
    roads.clear();
    auto add = [&roads](Road r)
    {
        if (std::find(roads.begin(), roads.end(), r) == roads.end()) roads.push_back(r);
    };
    std::size_t start = 0;
    while (start <= text.size())
    {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string name = text.substr(start, comma - start);
        if (name == "all")
        {
            for (Road r : {Road::System, Road::Skyline, Road::Cg, Road::Gs}) add(r);
            if (direct_built_in()) add(Road::Direct);
        }
        else if (name == "system")
            add(Road::System);
        else if (name == "skyline")
            add(Road::Skyline);
        else if (name == "cg")
            add(Road::Cg);
        else if (name == "gs")
            add(Road::Gs);
        else if (name == "direct" && direct_built_in())
            add(Road::Direct);
        else if (name == "direct")
            return "--road direct is not built in: this program was built without Tarvel::Direct "
                   "(BLAS, LAPACK, AMD and METIS)";
        else
            return "unknown road '" + name + "' (system, skyline, cg, gs, direct or all)";
        start = comma + 1;
    }
    return "";
}

std::string parse_reordering(const std::string& text, std::string& name)
{
    if (strcasecmp(text.c_str(), "none") == 0)
    {
        name = "none";
        return "";
    }
    for (const auto& r : tarvel_fem::reorderings())
        if (strcasecmp(text.c_str(), r.name) == 0)
        {
            name = r.name;
            return "";
        }
    return "unknown reordering '" + text + "' (see --help)";
}

}  // namespace

const char* road_name(Road road)
{
    switch (road)
    {
    case Road::System:
        return "system";
    case Road::Skyline:
        return "skyline";
    case Road::Cg:
        return "cg";
    case Road::Gs:
        return "gs";
    case Road::Direct:
        return "direct";
    }
    return "";
}

std::vector<Road> default_roads()
{
    if (direct_built_in()) return {Road::System, Road::Skyline, Road::Direct};
    return {Road::System, Road::Skyline};
}

ParsedOptions parse_options(int argc, const char* const* argv)
{
    ParsedOptions parsed;
    Options& o = parsed.options;
    bool gridGiven = false, nxGiven = false, nyGiven = false, nzGiven = false;
    bool reorderGiven = false;
    for (int i = 1; i < argc && parsed.error.empty(); ++i)
    {
        std::string arg = argv[i], value;
        bool hasValue = false;
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos)
        {
            value = arg.substr(equals + 1);
            arg.erase(equals);
            hasValue = true;
        }
        if (arg == "--help" || arg == "-h" || arg == "--quiet")
        {
            if (hasValue)
                parsed.error = "option " + arg + " takes no value";
            else
                (arg == "--quiet" ? o.quiet : parsed.help) = true;
            continue;
        }
        static const char* const valued[] = {"--nx",   "--ny",      "--nz",        "--problem",
                                             "--road", "--reorder", "--sweeps",    "--mesh",
                                             "--vtk",  "--spy",     "--export-mm", "--max-factor"};
        if (std::find_if(std::begin(valued), std::end(valued),
                         [&arg](const char* v) { return arg == v; }) == std::end(valued))
        {
            parsed.error = "unknown option '" + std::string(argv[i]) + "' (see --help)";
            break;
        }
        if (!hasValue)
        {
            if (i + 1 >= argc)
            {
                parsed.error = "option " + arg + " needs a value";
                break;
            }
            value = argv[++i];
        }
        if (arg == "--nx" || arg == "--ny" || arg == "--nz" || arg == "--sweeps")
        {
            int& target = arg == "--nx"   ? o.nx
                          : arg == "--ny" ? o.ny
                          : arg == "--nz" ? o.nz
                                          : o.sweeps;
            if (!parse_positive(value, target))
                parsed.error = arg + " takes a positive whole number, not '" + value + "'";
            gridGiven = gridGiven || arg != "--sweeps";
            bool sweepsGiven = false;
            (arg == "--nx"   ? nxGiven
             : arg == "--ny" ? nyGiven
             : arg == "--nz" ? nzGiven
                             : sweepsGiven) = true;
        }
        else if (arg == "--max-factor")
        {
            if (!parse_count(value, 1000000000000000LL, o.max_factor))
                parsed.error = "--max-factor takes a positive whole number, not '" + value + "'";
        }
        else if (arg == "--problem")
        {
            if (value == "elasticity")
                o.physics = tarvel_fem::Physics::PlaneStress;
            else if (value == "poisson")
                o.physics = tarvel_fem::Physics::Poisson;
            else if (value == "block")
                o.physics = tarvel_fem::Physics::Solid;
            else
                parsed.error = "unknown problem '" + value + "' (elasticity, poisson or block)";
        }
        else if (arg == "--road")
            parsed.error = parse_roads(value, o.roads);
        else if (arg == "--reorder")
        {
            parsed.error = parse_reordering(value, o.reorder);
            o.reorderSystem = o.reorder != "none";
            reorderGiven = true;
        }
        else if (value.empty())
            parsed.error = "option " + arg + " needs a file name";
        else if (arg == "--export-mm")
            o.exportMM = value;
        else
            (arg == "--mesh" ? o.mesh : arg == "--vtk" ? o.vtk : o.spy) = value;
    }
    const bool block = o.physics == tarvel_fem::Physics::Solid;
    if (parsed.error.empty() && gridGiven && !o.mesh.empty())
        parsed.error = "--mesh and --nx/--ny/--nz exclude each other";
    else if (parsed.error.empty() && block && !o.mesh.empty())
        parsed.error = "--problem block is a grid: a 3-D mesh is solved with --mesh alone";
    else if (parsed.error.empty() && nzGiven && !block)
        parsed.error = "--nz is for --problem block only";
    if (block && !nxGiven) o.nx = kDefaultBlockNx;
    if (block && !nyGiven) o.ny = kDefaultBlockNy;
    // A mesh's own numbering is arbitrary, the block's runs along its length (the plate's is by
    // short rows, already banded): there the system road takes the default reordering too unless
    // --reorder says otherwise.
    if ((!o.mesh.empty() || block) && !reorderGiven) o.reorderSystem = true;
    return parsed;
}

std::string usage()
{
    std::string text =
        "Usage: tarvel-fem [options]\n"
        "\n"
        "Solves a finite-element problem with the Tarvel library and checks the\n"
        "answer. With no options: plane stress in a cantilever plate of 8 m x 2 m cut\n"
        "into 200 x 50 four-node elements (20502 DOFs), clamped at x = 0, loaded by a\n"
        "shear traction at x = 8, with one non-zero prescribed displacement; solved by\n"
        "the system-matrix road and by the skyline road (and the direct road when\n"
        "built in).\n"
        "\n"
        "Options:\n"
        "  --nx N, --ny N   elements along x and along y (default 200 and 50)\n"
        "  --problem KIND   elasticity (plane stress; default), poisson\n"
        "                   (-div grad u = 1), or block: 3-D elasticity in a\n"
        "                   cantilever block of 4 m x 1 m x 1 m cut into eight-node\n"
        "                   hexahedra, clamped at x = 0, sheared at x = 4 (default\n"
        "                   32 x 8 x 8 elements, 8019 DOFs); its tip deflection is\n"
        "                   compared with beam theory\n"
        "  --nz N           the block's elements along z (default 8)\n"
        "  --road LIST      roads to take, comma-separated, or all (default\n"
        "                   system,skyline, and direct when built in):\n"
        "                     system   CSystSpMat (m_bSym = true), SymUnifyAndZero,\n"
        "                              Cholesky_Solve\n"
        "                     skyline  CReorderMat and a reordering, CSkylineMatrix,\n"
        "                              Cholesky_Solve\n"
        "                     cg       CSystSpMat, SymUnifyAndZero, ConjGradient2\n"
        "                     gs       CSystSpMat, SymUnifyAndZero, GaussSeidel_Iter\n"
        "                              (slow on large problems: see --sweeps)\n"
        "                     direct   CSystSpMat, SymUnifyAndZero,\n"
        "                              CSupernodalCholesky (Tarvel::Direct)\n"
        "                     petsc    CPetscSystMat on MPI ranks (runs alone; see\n"
        "                              the README)\n"
        "  --reorder NAME   the skyline road's reordering: MinDegReorder,\n"
        "                   MinDegReorder2, MinDegReorder3, MinDegReorder4, Hager1,\n"
        "                   Hager2, Hager3, TabuReorder, TabuReorder2,\n"
        "                   RevCuthillMcKee, Sloan, SloanExchange, or none\n"
        "                   (default Hager2: the smallest envelope on the default mesh);\n"
        "                   given, or on a --mesh, it relabels the system road's DOFs\n"
        "                   as well\n"
        "  --sweeps N       most Gauss-Seidel sweeps (default 20000)\n"
        "  --max-factor N   most entries the system road's factor may hold (default\n"
        "                   20000000, about 460 MB); the road counts them first and\n"
        "                   does not factorize above the limit\n"
        "  --mesh FILE      a Gmsh mesh of 3-node triangles or of 4-node quadrilaterals,\n"
        "                   or of 4-node tetrahedra or 8-node hexahedra (3-D elasticity,\n"
        "                   boundary by the physical surfaces \"clamped\" and \"load\")\n";
    text += gmsh_built_in() ? "                   instead of the grid\n"
                            : "                   instead of the grid (not built in: build\n"
                              "                   with Debian's libgmsh-dev installed)\n";
    text += "  --vtk FILE       write the solution as a legacy VTK file (for ParaView)\n"
            "  --spy FILE.svg   draw the matrix pattern before and after reordering\n"
            "  --export-mm DIR  write the reduced system, after the prescribed values are\n"
            "                   imposed, as Matrix Market files DIR/K.mtx (symmetric)\n"
            "                   and DIR/b.mtx (the right-hand side)\n"
            "  --quiet          hide the library's timing reports\n"
            "  --help           show this text\n"
            "\n"
            "Boundary conditions, on the grid and on a mesh: the nodes with the smallest x\n"
            "are clamped (u = 0); the element sides with the largest x carry a shear\n"
            "traction of -1 MPa (poisson: an inflow of 1); of the other nodes with the\n"
            "smallest y, the one nearest the middle of the x range has u_y = -1 mm\n"
            "prescribed (poisson: u = 1). The tip is the node with the largest x nearest\n"
            "the middle of the y range. Material: E = 210 GPa, nu = 0.3, thickness 5 cm;\n"
            "lengths in metres. The block and 3-D meshes: the nodes of the clamped part\n"
            "are fixed, the loaded faces carry a shear traction of -1 MPa along z, and the\n"
            "tip is the loaded node nearest their centre; no thickness.\n"
            "\n"
            "Each road's solution u is checked against K u = f assembled from the element\n"
            "matrices without the library, the prescribed values imposed by elimination.\n"
            "Exit status: 0 when every residual ||K u - f|| / ||f|| is at most 1e-8, 1 when\n"
            "one is not or a road has no solution, 2 on bad input.\n";
    return text;
}

}  // namespace tarvel_demo
