// tarvel-fem --road petsc on the command line, in-process: recognised only when asked for, PETSc's
// own options passed over, the checks that come before any MPI work.
#include "PetscRoad.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace tarvel_demo;

TEST(TarvelFemPetscCommand, ChecksBeforeAnyWork)
{
    const std::string missing = "--road petsc is not built in";
    // (arguments, exit code (-1: not the petsc road), text of the error line)
    const std::vector<std::tuple<std::vector<const char*>, int, std::string>> cases = {
        {{"--road", "system"}, -1, ""},
        {{"--nx", "4", "-ksp_type", "cg"}, -1, ""},  // a PETSc option without the road: not taken
        {{"--road=petsc", "--problem", "poisson"}, 2, "runs alone"},
        {{"--road", "petsc", "--vtk", "u.vtk"}, 2, "runs alone"},
        // PETSc's options and their values are passed over; the road's own are still checked.
        {{"--road", "petsc", "-ksp_type", "preonly", "-ksp_monitor", "--nx", "0"}, 2, "--nx"},
        {{"--road", "petsc", "--frobnicate"}, 2, "unknown option '--frobnicate'"},
        {{"--road", "petsc", "--nx", "4000", "--ny", "2000"}, 2, "at most"},
    };
    for (const auto& [args, code, text] : cases)
    {
        std::vector<const char*> argv = {"tarvel-fem"};
        argv.insert(argv.end(), args.begin(), args.end());
        SCOPED_TRACE(argv.size() > 2 ? std::string(argv[1]) + " " + argv[2] : argv[1]);
        std::ostringstream out, err;
        const int got = petsc_dispatch(static_cast<int>(argv.size()), argv.data(), out, err);
        const bool petscAsked = code != -1;
        EXPECT_EQ(got, code);
        if (!petscAsked) continue;
        const std::string expected = petsc_built_in() ? text : missing;
        EXPECT_EQ(err.str().rfind("tarvel-fem: ", 0), 0u) << err.str();
        EXPECT_NE(err.str().find(expected), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
}
