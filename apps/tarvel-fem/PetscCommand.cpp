// --road petsc on the command line: recognised, checked and handed over (choices in PetscRoad.h).
#include "Demo.h"
#include "PetscRoad.h"

#include <cstring>

namespace tarvel_demo
{

int run_petsc_road(const Options& o, int argc, const char* const* argv, std::ostream& out,
                   std::ostream& err);

int petsc_dispatch(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    std::vector<const char*> own = {argc > 0 ? argv[0] : "tarvel-fem"};
    bool petsc = false;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--road=petsc" ||
            (arg == "--road" && i + 1 < argc && std::strcmp(argv[i + 1], "petsc") == 0 && ++i))
            petsc = true;
        else if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-' && arg != "-h")
        {
            if (i + 1 < argc && argv[i + 1][0] != '-') ++i;  // a PETSc option and its value
        }
        else
            own.push_back(argv[i]);
    }
    if (!petsc) return -1;
    auto bad = [&err](const std::string& message)
    {
        err << "tarvel-fem: " << message << '\n';
        return 2;
    };
    if (!petsc_built_in())
        return bad("--road petsc is not built in: this program was built without PETSc (Debian "
                   "package petsc-dev)");
    const ParsedOptions parsed = parse_options(static_cast<int>(own.size()), own.data());
    if (!parsed.error.empty()) return bad(parsed.error);
    if (parsed.help)
    {
        out << usage();
        return 0;
    }
    const Options& o = parsed.options;
    const Options defaults;
    if (o.roads != defaults.roads || !o.mesh.empty() || !o.vtk.empty() || !o.spy.empty() ||
        !o.exportMM.empty() || o.physics == tarvel_fem::Physics::Poisson)
        return bad("--road petsc runs alone, on the elasticity plate or block grid (--problem "
                   "block, --nx, --ny, --nz, --quiet)");
    return run_petsc_road(o, argc, argv, out, err);
}

}  // namespace tarvel_demo
