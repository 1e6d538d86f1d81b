// CPetscSystMat on the ranks this program was started with (CTest runs it on 1 and on 2):
// assembling and prescribed values against CSystSpMat entry by entry, the plate against the
// system road and the reference assembly, and the direct solve through MUMPS.
#include "PetscRoad.h"
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "fem/TarvelInput.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <tarvel-petsc/PetscSystMat.h>

namespace
{

int Rank()
{
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}

// The system road's solution of the plate: CSystSpMat, SymUnifyAndZero, Cholesky_Solve.
std::vector<double> SystemRoad(tarvel_fem::FemProblem& p)
{
    CSystSpMat K(static_cast<int>(p.num_dofs));
    tarvel_fem::assemble(K, p);
    CMatrix B = tarvel_fem::load_matrix(p);
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    K.SymUnifyAndZero(dofs, values, &B);
    double seconds = 0.0;
    EXPECT_EQ(K.Cholesky_Solve(&B, seconds), 1);
    return {B.GetVector(), B.GetVector() + B.GetRows()};
}

class PetscTest : public ::testing::Test
{
protected:
    void SetUp() override { m_bSym = CVirtMat::m_bSym; }
    void TearDown() override { CVirtMat::m_bSym = m_bSym; }
    bool m_bSym = false;
};
using PetscSystMat = PetscTest;
using PetscPlate = PetscTest;

}  // namespace

// Random elements of 3 DOFs on a chain of n DOFs, with unsymmetric element matrices, negative
// and too-large indices: with m_bSym the stored matrix is the mirror of what CSystSpMat keeps in
// its upper triangle, without it the full sum; prescribed values change matrix and load as
// SymUnifyAndZero does. Every rank assembles a different share of the elements (rank r takes
// every size-th from r), so rows of other ranks travel through PETSc's assembly.
TEST_F(PetscSystMat, AssemblesAndImposesAsTheSystemMatrix)
{
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    const int n = 24, elements = 60;
    std::mt19937 gen(5);  // the same stream on every rank
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<long> dofs;
    std::vector<double> ke;
    for (int e = 0; e < elements; ++e)
    {
        const long a = gen() % (n - 2);
        dofs.insert(dofs.end(), {a, e % 7 == 0 ? -1 : a + 1, e % 11 == 0 ? n + 3 : a + 2});
        for (int t = 0; t < 9; ++t) ke.push_back(t % 4 == 0 ? 4.0 + value(gen) : value(gen));
    }
    const std::vector<long> fixed = {0, 5, 17, 23};
    const std::vector<double> values = {0.5, 0.0, -2.0, 1.25};
    std::vector<double> load(n);
    for (int i = 0; i < n; ++i) load[i] = value(gen);
    for (bool sym : {true, false})
    {
        SCOPED_TRACE(sym);
        CVirtMat::m_bSym = sym;
        CSystSpMat S(n);
        for (int e = 0; e < elements; ++e) S.AddValues(&dofs[3 * e], &ke[9 * e], 3);
        CPetscSystMat P(MPI_COMM_WORLD, n);
        ASSERT_TRUE(P.Preallocate(dofs.data(), elements, 3));
        for (int e = Rank(); e < elements; e += size)
            ASSERT_TRUE(P.AddValues(&dofs[3 * e], &ke[9 * e], 3));
        for (int i = Rank(); i < n; i += size)
        {
            long d = i;
            ASSERT_TRUE(P.AddLoad(&d, &load[i], 1));
        }
        ASSERT_TRUE(P.Assemble());
        CMatrix B = tarvel_fem::column_matrix(load);
        CVector fd(4), fv(4);
        for (int t = 0; t < 4; ++t) fd[t] = static_cast<double>(fixed[t]), fv[t] = values[t];
        if (sym)
        {
            S.SymUnifyAndZero(fd, fv, &B);
            ASSERT_TRUE(P.SymUnifyAndZero(fixed.data(), values.data(), 4));
        }
        // K(i, j) of the system matrix, the upper triangle standing for both with m_bSym.
        auto stored = [&S, sym](int i, int j)
        {
            if (sym && j < i) std::swap(i, j);
            const double* v = S.GetValue(i, j);
            return v ? *v : 0.0;
        };
        const PetscScalar* b = nullptr;
        ASSERT_EQ(VecGetArrayRead(P.GetLoad(), &b), 0);
        for (long i = P.GetFirstRow(); i < P.GetLastRow(); ++i)
        {
            for (PetscInt j = 0; j < n; ++j)
            {
                const PetscInt row = static_cast<PetscInt>(i);
                PetscScalar got = 0.0;
                ASSERT_EQ(MatGetValues(P.GetMat(), 1, &row, 1, &j, &got), 0);
                // Sums in another order: a few ulps of the largest entry (about 5).
                EXPECT_NEAR(got, stored(static_cast<int>(i), static_cast<int>(j)), 1e-13)
                    << i << "," << j;
            }
            if (sym)
            {
                EXPECT_NEAR(b[i - P.GetFirstRow()], B(static_cast<int>(i), 0), 1e-13) << i;
            }
        }
        VecRestoreArrayRead(P.GetLoad(), &b);
    }
}

// The plate by strips and the block by slabs on the ranks: the residual PETSc reports, the
// residual of the gathered solution against the reference assembly (no library, no PETSc), and
// agreement with the system road. nx = 21 puts strip edges in the middle of node rows, nz = 3
// slab edges in the middle of a node layer.
TEST_F(PetscPlate, AgreesWithTheSystemRoad)
{
    for (auto [nx, ny, nz] : {std::tuple{8, 4, 0}, std::tuple{21, 5, 0}, std::tuple{5, 2, 3}})
    {
        SCOPED_TRACE(nx);
        std::ostringstream out;
        const tarvel_demo::PetscPlateRun run = nz ? tarvel_demo::petsc_block(nx, ny, nz, true, out)
                                                  : tarvel_demo::petsc_plate(nx, ny, true, out);
        ASSERT_TRUE(run.solved) << run.failure;
        EXPECT_LE(run.residual, 1e-8);
        EXPECT_GT(run.iterations, 1);
        EXPECT_EQ(std::pair(run.ksp, run.pc), std::pair(std::string("cg"), std::string("gamg")));
        if (Rank() != 0) continue;
        tarvel_fem::FemProblem p =
            nz ? tarvel_fem::elastic_block(nx, ny, nz) : tarvel_fem::cantilever_plate(nx, ny);
        ASSERT_EQ(run.u.size(), static_cast<std::size_t>(p.num_dofs));
        const tarvel_fem::ReducedSystem ref = tarvel_fem::reduce(p);
        EXPECT_LE(tarvel_fem::relative_residual(ref.K, run.u.data(), ref.b), 1e-8);
        const std::vector<double> u = SystemRoad(p);
        double largest = 0.0, difference = 0.0;
        for (std::size_t i = 0; i < u.size(); ++i)
        {
            largest = std::max(largest, std::fabs(u[i]));
            difference = std::max(difference, std::fabs(u[i] - run.u[i]));
        }
        EXPECT_LE(difference, 1e-7 * largest);
        EXPECT_EQ(run.tip, run.u[p.probe_dof]);
    }
}

// "-ksp_type preonly -pc_type cholesky -pc_factor_mat_solver_type mumps": a direct solve, one
// application of the factor, a residual at roundoff.
TEST_F(PetscPlate, SolvesDirectlyThroughMumps)
{
    const std::vector<std::pair<const char*, const char*>> options = {
        {"-ksp_type", "preonly"},
        {"-pc_type", "cholesky"},
        {"-pc_factor_mat_solver_type", "mumps"}};
    for (const auto& [name, value] : options) PetscOptionsSetValue(nullptr, name, value);
    std::ostringstream out;
    const tarvel_demo::PetscPlateRun run = tarvel_demo::petsc_plate(21, 5, false, out);
    for (const auto& [name, value] : options) PetscOptionsClearValue(nullptr, name);
    ASSERT_TRUE(run.solved) << run.failure;
    EXPECT_EQ(std::pair(run.ksp, run.pc),
              std::pair(std::string("preonly"), std::string("cholesky")));
    EXPECT_LE(run.residual, 1e-12);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (PetscInitialize(&argc, &argv, nullptr, nullptr) != 0) return 1;
    if (Rank() != 0)  // one report: rank 0's
        delete ::testing::UnitTest::GetInstance()->listeners().Release(
            ::testing::UnitTest::GetInstance()->listeners().default_result_printer());
    int failed = RUN_ALL_TESTS();
    int anyFailed = 0;
    MPI_Allreduce(&failed, &anyFailed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    PetscFinalize();
    return anyFailed;
}
