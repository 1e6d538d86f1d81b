// Stand-in for PetscRoad.cpp when PETSc was not found at build time.
#include "Options.h"
#include "PetscRoad.h"

namespace tarvel_demo
{

bool petsc_built_in() { return false; }

int run_petsc_road(const Options&, int, const char* const*, std::ostream&, std::ostream&)
{
    return 2;
}

PetscPlateRun petsc_plate(int, int, bool, std::ostream&)
{
    PetscPlateRun r;
    r.failure = "not built in";
    return r;
}

PetscPlateRun petsc_block(int, int, int, bool, std::ostream&)
{
    PetscPlateRun r;
    r.failure = "not built in";
    return r;
}

}  // namespace tarvel_demo
