// tarvel-fem --export-mm: the files hold the reduced system, read back and solved by the
// library, and judged against the reference assembly made without it.
#include "Demo.h"
#include "fem/MeshProblem.h"
#include "fem/Reference.h"
#include "support/GlobalState.h"
#include "support/TempDir.h"

#include <tarvel/exchange/MatrixMarket.h>

#include <gtest/gtest.h>
#include <sstream>

using namespace tarvel_demo;
using tarvel_test::read_bytes;
using tarvel_test::TempDir;
using tarvel_test::write_bytes;
using TarvelFemExport = tarvel_test::GlobalStateTest;

// The solution of the exported K u = b satisfies the reference system to roundoff: the files
// hold the prescribed values imposed, in both the matrix and the right-hand side.
TEST_F(TarvelFemExport, FilesHoldTheReducedSystem)
{
    TempDir dir;
    Options o;
    o.nx = 6;
    o.ny = 2;
    o.quiet = true;
    o.roads = {Road::System};
    o.exportMM = dir.file("made/below");  // made when missing
    std::ostringstream out, err;
    ASSERT_EQ(run_demo(o, out, err).exit_code, 0) << err.str();
    const std::string K = dir.file("made/below/K.mtx"), b = dir.file("made/below/b.mtx");
    EXPECT_EQ(read_bytes(K).rfind("%%MatrixMarket matrix coordinate real symmetric\n42 42 ", 0),
              0u);
    EXPECT_EQ(read_bytes(b).rfind("%%MatrixMarket matrix array real general\n42 1\n", 0), 0u);

    CVirtMat::m_bSym = true;
    CSystSpMat A;
    CMatrix B;
    ASSERT_EQ(MMRead(K.c_str(), A), MM_OK);
    ASSERT_EQ(MMRead(b.c_str(), B), MM_OK);
    double seconds = 0.0;
    ASSERT_EQ(A.Cholesky_Solve(&B, seconds), 1);
    const tarvel_fem::PlateData plate;
    const tarvel_fem::FemProblem p = tarvel_fem::mesh_problem(
        tarvel_fem::to_mesh(tarvel_fem::make_quad_grid(6, 2, plate.length, plate.height)),
        tarvel_fem::Physics::PlaneStress);
    const tarvel_fem::ReducedSystem ref = tarvel_fem::reduce(p);
    EXPECT_LT(tarvel_fem::relative_residual(ref.K, B.GetVector(), ref.b), 1e-12);

    std::ostringstream out2, err2;
    o.exportMM = dir.file("K.mtx/x");  // below a file: cannot be made
    write_bytes(dir.file("K.mtx"), "");
    EXPECT_EQ(run_demo(o, out2, err2).exit_code, 2);
    EXPECT_EQ(out2.str(), "");
    EXPECT_NE(err2.str().find("--export-mm"), std::string::npos);
}
