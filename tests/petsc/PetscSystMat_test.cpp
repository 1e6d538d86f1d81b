// CPetscSystMat on the ranks this program was started with (CTest runs it on 1 and on 2):
// assembling and prescribed values against CSystSpMat entry by entry, and the petsc road's plate
// and block against the system road and the reference assembly, iteratively and through MUMPS.
#include "DemoRoads.h"
#include "PetscRoad.h"
#include "fem/Reference.h"
#include "fem/TarvelInput.h"
#include "support/GlobalState.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <sstream>
#include <tarvel-petsc/PetscSystMat.h>

namespace
{

constexpr double kEps = std::numeric_limits<double>::epsilon();

int worldRank = 0, worldSize = 1;  // this process's place in MPI_COMM_WORLD, set by main
using Petsc = tarvel_test::GlobalStateTest;

}  // namespace

// Random elements of 3 DOFs on a chain of n DOFs, with unsymmetric element matrices, negative
// and too-large indices: with m_bSym the stored matrix is the mirror of what CSystSpMat keeps in
// its upper triangle, without it the full sum; prescribed values change matrix and load as
// SymUnifyAndZero does. Rank r assembles every size-th element from r, so rows of other ranks
// travel through PETSc's assembly; sums in another order agree to a few ulps of the largest
// entry (about 5).
TEST_F(Petsc, SystMatAssemblesAndImposesAsTheSystemMatrix)
{
    const int n = 24, elements = 60;
    std::mt19937 gen(5);  // the same stream on every rank
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<long> dofs;
    std::vector<double> ke, load(n);
    for (int e = 0; e < elements; ++e)
    {
        const long a = gen() % (n - 2);
        dofs.insert(dofs.end(), {a, e % 7 == 0 ? -1 : a + 1, e % 11 == 0 ? n + 3 : a + 2});
        for (int t = 0; t < 9; ++t) ke.push_back(t % 4 == 0 ? 4.0 + value(gen) : value(gen));
    }
    for (double& f : load) f = value(gen);
    const std::vector<long> fixed = {0, 5, 17, 23};
    const std::vector<double> values = {0.5, 0.0, -2.0, 1.25};
    for (bool sym : {true, false})
    {
        CVirtMat::m_bSym = sym;
        CSystSpMat S(n);
        CPetscSystMat P(MPI_COMM_WORLD, n);
        ASSERT_TRUE(P.Preallocate(dofs.data(), elements, 3));
        for (int e = 0; e < elements; ++e)
        {
            S.AddValues(&dofs[3 * e], &ke[9 * e], 3);
            ASSERT_TRUE(e % worldSize != worldRank || P.AddValues(&dofs[3 * e], &ke[9 * e], 3))
                << e;
        }
        for (long i = worldRank; i < n; i += worldSize) ASSERT_TRUE(P.AddLoad(&i, &load[i], 1));
        ASSERT_TRUE(P.Assemble());
        CMatrix B = tarvel_fem::column_matrix(load);
        CVector fd(4), fv(4);
        for (int t = 0; t < 4; ++t) fd[t] = static_cast<double>(fixed[t]), fv[t] = values[t];
        if (sym) S.SymUnifyAndZero(fd, fv, &B);
        ASSERT_TRUE(!sym || P.SymUnifyAndZero(fixed.data(), values.data(), 4));
        const PetscScalar* b = nullptr;
        ASSERT_EQ(VecGetArrayRead(P.GetLoad(), &b), 0);
        for (PetscInt i = P.GetFirstRow(); i < P.GetLastRow(); ++i)
        {
            for (PetscInt j = 0; j < n; ++j)
            {
                PetscScalar got = 0.0;
                ASSERT_EQ(MatGetValues(P.GetMat(), 1, &i, 1, &j, &got), 0);
                const double* v = S.GetValue(static_cast<int>(sym ? std::min(i, j) : i),
                                             static_cast<int>(sym ? std::max(i, j) : j));
                EXPECT_NEAR(got, v ? *v : 0.0, 8 * 5 * kEps) << sym << ": " << i << "," << j;
            }
            EXPECT_NEAR(sym ? b[i - P.GetFirstRow()] : 0.0, sym ? B(static_cast<int>(i), 0) : 0.0,
                        8 * 5 * kEps)
                << i;
        }
        VecRestoreArrayRead(P.GetLoad(), &b);
    }
}

// The plate by strips and the block by slabs on the ranks (nx = 21 puts strip edges in the middle
// of node rows, nz = 3 slab edges in the middle of a node layer), by PETSc's conjugate gradients
// with algebraic multigrid, and directly through MUMPS ("-ksp_type preonly -pc_type cholesky
// -pc_factor_mat_solver_type mumps": one application of the factor, a residual of 64 n eps): the
// residual PETSc reports, the residual of the gathered solution against the reference assembly
// (no library, no PETSc) within ten times that, and agreement with the system road to 1e5 times
// it (the growth from residual to error on these grids, as in the demo's tests).
TEST_F(Petsc, RoadAgreesWithTheSystemRoad)
{
    const std::tuple<int, int, int, bool> cases[] = {
        {8, 4, 0, false}, {21, 5, 0, false}, {5, 2, 3, false}, {21, 5, 0, true}};
    for (auto [nx, ny, nz, mumps] : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << nx << " x " << ny << " x " << nz << (mumps ? " mumps" : ""));
        if (mumps)
            PetscOptionsInsertString(
                nullptr, "-ksp_type preonly -pc_type cholesky -pc_factor_mat_solver_type mumps");
        std::ostringstream out;
        const tarvel_demo::PetscPlateRun run = nz ? tarvel_demo::petsc_block(nx, ny, nz, true, out)
                                                  : tarvel_demo::petsc_plate(nx, ny, true, out);
        for (const char* o : {"-ksp_type", "-pc_type", "-pc_factor_mat_solver_type"})
            PetscOptionsClearValue(nullptr, o);
        ASSERT_TRUE(run.solved) << run.failure;
        EXPECT_LE(run.residual, mumps ? 64 * run.dofs * kEps : 1e-8);
        const double residual = 10 * std::max(run.residual, 64 * run.dofs * kEps);
        EXPECT_EQ(run.ksp + " " + run.pc, mumps ? "preonly cholesky" : "cg gamg");
        EXPECT_TRUE(mumps || run.iterations > 1);
        if (worldRank != 0) continue;
        tarvel_fem::FemProblem p =
            nz ? tarvel_fem::elastic_block(nx, ny, nz) : tarvel_fem::cantilever_plate(nx, ny);
        ASSERT_EQ(run.u.size(), static_cast<std::size_t>(p.num_dofs));
        const tarvel_fem::ReducedSystem ref = tarvel_fem::reduce(p);
        EXPECT_LE(tarvel_fem::relative_residual(ref.K, run.u.data(), ref.b), residual);
        const std::vector<double> u = tarvel_demo::system_road(p, out, 1LL << 40).u;
        double largest = 0.0, difference = 0.0;
        for (std::size_t i = 0; i < u.size(); ++i)
        {
            largest = std::max(largest, std::fabs(u[i]));
            difference = std::max(difference, std::fabs(u[i] - run.u[i]));
        }
        EXPECT_LE(difference, 1e5 * residual * largest);
        EXPECT_EQ(run.tip, run.u[p.probe_dof]);
    }
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (PetscInitialize(&argc, &argv, nullptr, nullptr) != 0) return 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &worldRank);
    MPI_Comm_size(MPI_COMM_WORLD, &worldSize);
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    if (worldRank != 0)
        delete listeners.Release(listeners.default_result_printer());  // rank 0 reports
    int failed = RUN_ALL_TESTS(), anyFailed = 0;
    MPI_Allreduce(&failed, &anyFailed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    PetscFinalize();
    return anyFailed;
}
