// Square-root-free Cholesky of CSparseMatrix and Cholesky_Solve: hand-worked factors and
// operation counts, model problems against their dense twins, the row-by-row kernel against
// the classical right-looking form (bit for bit, failures included), and the failure paths.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace tarvel_test;
using SparseCholesky = GlobalStateTest;

namespace
{

CMatrix Column(std::initializer_list<double> v)
{
    CMatrix B(static_cast<int>(v.size()), 1, true, 0.0);
    int i = 0;
    for (double x : v) B.m_pData[i++] = x;
    return B;
}

bool SameDense(const CMatrix& a, const CMatrix& b)
{
    return a.m_nSize == b.m_nSize &&
           std::memcmp(a.m_pData, b.m_pData, sizeof(double) * static_cast<size_t>(a.m_nSize)) == 0;
}

// Factorizes copies of A with the member and with the right-looking form; both must agree on the
// result, the lists, every bit and the operation count.
int ExpectSameAsRightLooking(const CSparseMatrix& A)
{
    CSparseMatrix fast(A);
    CSparseMatrix plain(A);
    CVirtMat::m_Flops = 7;
    const int fastStatus = fast.Cholesky();
    const std::uint32_t fastFlops = CVirtMat::m_Flops;
    CVirtMat::m_Flops = 7;
    const int plainStatus = tarvel::detail::cholesky_right_looking(plain);
    EXPECT_EQ(fastStatus, plainStatus);
    EXPECT_EQ(fastFlops, CVirtMat::m_Flops);
    EXPECT_TRUE(SameBits(fast, plain)) << Structure(fast) << "\n" << Structure(plain);
    EXPECT_TRUE(tarvel::detail::lists_are_ordered(fast));
    return fastStatus;
}

}  // namespace

TEST_F(SparseCholesky, TwoByTwoByHand)
{
    CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 2}, {1, 1, 3}});
    CMatrix B = Column({2, 1});
    double seconds = 0.0;
    CVirtMat::m_Flops = 99;  // reset by the solve
    ASSERT_EQ(A.Cholesky_Solve(&B, seconds), 1);
    EXPECT_EQ(Structure(A), "0: 0=4 1=0.5; 1: 1=2");
    EXPECT_EQ(B.m_pData[0], 0.5);
    EXPECT_EQ(B.m_pData[1], 0.0);
    EXPECT_EQ(CVirtMat::m_Flops, 4u);  // two rows, one update
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 1000.0);
    EXPECT_TRUE(m_messages.empty());
}

// Upper triangle of [[4, 2, 2], [2, 5, 1], [2, 1, 6]]: row 0 updates (1,1), (1,2) and (2,2);
// (1,2) becomes exactly 0.0 and then sends nothing and is not divided.
// Flops: 3 rows + 2 * 3 updates = 9.
TEST_F(SparseCholesky, CancelledEntrySendsNothing)
{
    CSparseMatrix A =
        FromTriplets({{0, 0, 4}, {0, 1, 2}, {0, 2, 2}, {1, 1, 5}, {1, 2, 1}, {2, 2, 6}});
    CVirtMat::m_Flops = 0;
    ASSERT_EQ(A.Cholesky(), 1);
    EXPECT_EQ(Structure(A), "0: 0=4 1=0.5 2=0.5; 1: 1=4 2=0; 2: 2=5");
    EXPECT_EQ(CVirtMat::m_Flops, 9u);
}

TEST_F(SparseCholesky, FillInIsCreatedWhereTheEliminationNeedsIt)
{
    const int nx = 6;
    Problem p = MakeProblem(GridLaplacian(nx, 5), 1, true);
    EXPECT_EQ(p.A.GetValue(1, nx), nullptr);  // not a neighbour of node 1
    ASSERT_EQ(p.A.Cholesky(), 1);
    ASSERT_NE(p.A.GetValue(1, nx), nullptr);      // fill from row 0
    EXPECT_EQ(p.A.GetValue(0, nx + 1), nullptr);  // row 0 is never updated
    // The band fills up: row i holds columns i .. i + nx once row i - 1 reaches that far.
    CSparseMatrix::row* r = p.A.GetFirstRow();
    for (int i = 0; i < 12; ++i, r = r->m_pNextRow)
        EXPECT_EQ(r->NonZeros(), std::min(i + 3, nx + 1)) << i;
}

// The solves are backward stable: the scaled residual stays below c n eps; c = 10 leaves
// room for the order of summation.
TEST_F(SparseCholesky, SolvesModelProblemsWithSeveralRightHandSides)
{
    const Mesh meshes[] = {SpringChain(1), SpringChain(7), SpringChain(200), GridLaplacian(20, 15),
                           PoissonQ4(18, 17)};
    for (const Mesh& mesh : meshes)
    {
        SCOPED_TRACE(mesh.n);
        Problem p = MakeProblem(mesh, 3, true, static_cast<unsigned>(mesh.n));
        double seconds = -5.0;
        ASSERT_EQ(p.A.Cholesky_Solve(&p.rhs, seconds), 1);
        EXPECT_GE(seconds, 0.0);
        const double residual = ScaledResidual(p.dense, p.rhs, p.b);
        EXPECT_LE(residual, 10.0 * mesh.n * kEps);
        EXPECT_LT(residual, 1e-10);
        // Against the independent dense solve.
        const CMatrix X = DenseSolve(p.dense, p.b);
        for (int e = 0; e < X.m_nSize; ++e)
            EXPECT_NEAR(p.rhs.m_pData[e], X.m_pData[e], 1e-9 * (1.0 + std::fabs(X.m_pData[e])));
    }
}

TEST_F(SparseCholesky, RowByRowKernelMatchesTheRightLookingFormBitForBit)
{
    ExpectSameAsRightLooking(MakeProblem(GridLaplacian(13, 11), 1, true).A);
    ExpectSameAsRightLooking(MakeProblem(PoissonQ4(9, 12), 1, true).A);
    for (unsigned seed = 1; seed <= 20; ++seed)
    {
        SCOPED_TRACE(seed);
        CSparseMatrix A = RandomSpdUpper(60, 1 + seed % 4, 1 + static_cast<int>(seed) * 3, seed);
        ExpectSameAsRightLooking(A);
        // Stored zeros right of the diagonal send nothing and stay undivided.
        CSparseMatrix::cell* c = nullptr;
        A.Add(3, 9, 0.0, c);
        c = nullptr;
        A.Add(5, 7, -0.0, c);
        ExpectSameAsRightLooking(A);
        // Indefinite: fails part way, with updates pending for the rows below.
        *A.GetValue(30, 30) = 0.01;
        ExpectSameAsRightLooking(A);
    }
}

// Small integers make cancellations to exactly 0.0 common: entries that stop sending part way,
// fill that depends on them, stored zeros, and failures with updates pending.
TEST_F(SparseCholesky, RowByRowKernelMatchesUnderExactCancellations)
{
    std::mt19937 gen(12345);
    std::uniform_int_distribution<int> value(-2, 2), column(1, 6), count(0, 3);
    int outcomes[2] = {0, 0};
    for (int trial = 0; trial < 300; ++trial)
    {
        const int n = 25;
        CSparseMatrix A;
        for (int i = 0; i < n; ++i)
        {
            CSparseMatrix::cell* c = nullptr;
            A.Add(i, i, trial % 3 == 0 ? 3.0 + value(gen) : 8.0 + value(gen), c);
            for (int t = count(gen); t > 0; --t)
            {
                const int j = i + column(gen);
                if (j < n) A.Add(i, j, static_cast<double>(value(gen)), c);
            }
        }
        SCOPED_TRACE(trial);
        ++outcomes[ExpectSameAsRightLooking(A) == 1];
    }
    EXPECT_GT(outcomes[0], 20);  // failures, with updates pending
    EXPECT_GT(outcomes[1], 20);  // successes
}

TEST_F(SparseCholesky, FailurePathsLeaveTheRightHandSideAlone)
{
    struct Case
    {
        const char* name;
        std::vector<std::tuple<int, int, double>> entries;
    };
    const Case cases[] = {
        {"zero pivot", {{0, 0, 1}, {0, 1, 2}, {1, 1, 4}}},  // (1,1) becomes 0.0
        {"negative pivot", {{0, 0, 4}, {1, 1, -1}}},
        {"NaN pivot", {{0, 0, std::nan("")}}},
        {"missing diagonal", {{0, 0, 4}, {1, 2, 1}, {2, 2, 4}}},
        {"empty row", {{0, 0, 4}, {1, 1, 1}, {2, 2, 4}}},
        {"missing row 1 of rows 0 and 2", {{0, 0, 4}, {2, 2, 4}}},
        {"cell left of the diagonal", {{0, 0, 4}, {1, 0, 1}, {1, 1, 4}}},
        {"update aimed at a missing row", {{0, 0, 4}, {0, 3, 1}, {1, 1, 4}, {2, 2, 4}}},
        // A zero aimed at the missing row 1 sends nothing; (0, 2) still updates row 2 before
        // position 1 fails.
        {"zero aimed at a missing row", {{0, 0, 4}, {0, 1, 0.0}, {0, 2, 1}, {2, 2, 4}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        CSparseMatrix A = FromTriplets(c.entries);
        if (std::string(c.name) == "empty row") A.GetFirstRow()->m_pNextRow->Clear();
        ExpectSameAsRightLooking(A);
        CMatrix B = Column({1, 2, 3, 4});
        const CMatrix kept(B);
        double seconds = 0.0;
        EXPECT_EQ(A.Cholesky_Solve(&B, seconds), -1);
        EXPECT_EQ(seconds, -1.0);
        EXPECT_TRUE(SameDense(B, kept));
    }
}

TEST_F(SparseCholesky, PartialStateAfterAFailure)
{
    // Row 0 sends its updates to rows 1 and 2; row 1 fails (d = 4 - 4 = 0); row 2 keeps what
    // row 0 sent and is not divided.
    CSparseMatrix A =
        FromTriplets({{0, 0, 1}, {0, 1, 2}, {0, 2, 1}, {1, 1, 4}, {1, 2, 3}, {2, 2, 9}});
    CVirtMat::m_Flops = 0;
    EXPECT_EQ(A.Cholesky(), -1);
    EXPECT_EQ(Structure(A), "0: 0=1 1=2 2=1; 1: 1=0 2=1; 2: 2=8");
    EXPECT_EQ(CVirtMat::m_Flops, 1u + 2u * 3u);
}

TEST_F(SparseCholesky, EmptyMatrixFactorizesTrivially)
{
    CSparseMatrix A;
    EXPECT_EQ(A.Cholesky(), 1);
    CMatrix B = Column({1});
    double seconds = 0.0;
    EXPECT_EQ(A.Cholesky_Solve(&B, seconds), 1);
    EXPECT_EQ(B.m_pData[0], 1.0);
}
