// The finite-element road: assemble with AddValues, impose non-zero prescribed values, solve
// with every solver of the system matrix, and compare each answer with the reference solve of
// the dense twin, in which every prescribed row is replaced by its unit row.
#include "SparseTesting.h"

namespace
{

// The Poisson grid of 45 x 45 unknowns; the 45 unknowns of grid row 21 are prescribed, unknown t
// of them to factor * 0.25 (1 + t % 4).
const Mesh kMesh = Grid(45);

struct Load
{
    CVector dofs, values;
    CMatrix B, reference;  // the right-hand sides and the solution of the unit-row system
};

Load MakeLoad(double factor, int columns, unsigned seed)
{
    Load l{
        CVector(45, true, 0.0), CVector(45, true, 0.0), RandomMatrix(kMesh.n, columns, seed), {}};
    CMatrix A = kMesh.Dense(), b(l.B);
    for (int t = 0; t < 45; ++t)
    {
        const int k = 21 * 45 + t;
        l.dofs[t] = k;
        l.values[t] = factor * 0.25 * (1 + t % 4);
        for (int j = 0; j < kMesh.n; ++j) A(k, j) = j == k ? 1.0 : 0.0;
        for (int c = 0; c < columns; ++c) b(k, c) = l.values[t];
    }
    l.reference = DenseSolve(A, b);
    return l;
}

// Every prescribed unknown holds exactly its value; elsewhere max |x - ref| / max |ref| < tol.
void Check(const CVector& x, const Load& l, double tol)
{
    const int p = l.B.GetColumns();
    for (int t = 0; t < 45; ++t)
        for (int c = 0; c < p; ++c)
            ASSERT_EQ(x.m_pData[static_cast<int>(l.dofs[t]) * p + c], l.values[t]);
    EXPECT_LT(MaxRelativeDifference(x, l.reference), tol);
}

}  // namespace

// The reduced system's condition is below 46^2 / 4 (Problems.h), so the backward-stable direct
// solves agree with the reference to SolveTolerance(n, 529). Gauss-Seidel stops when a sweep
// changes nothing by 1e-13; its contraction is about 1 - 1/200 per sweep, so its error is then
// some 200 times that. CG holds the prescribed values only to its tolerance and is compared
// with the Cholesky solution. Two more load cases, with two right-hand sides each and
// prescribed values of other signs, go through the same matrix after a same-size Allocate and a
// new assembly (the pattern then also holds the cells left by the previous imposition and
// factorization, all at 0.0).
TEST_F(SystSpMat, SystemRoadEverySolverAgreesWithTheReference)
{
    const double direct = SolveTolerance(kMesh.n, 529.0), iterative = 200 * 1e-13 * 10;
    Load load = MakeLoad(1.0, 1, 3);
    double seconds = 0.0, res = 0.0;
    for (bool upperOnly : {false, true})
    {
        SCOPED_TRACE(upperOnly);
        CVirtMat::m_bSym = upperOnly;
        CSystSpMat K(kMesh.n);
        kMesh.AssembleInto(K);
        CMatrix B(load.B);
        if (upperOnly)
            K.SymUnifyAndZero(load.dofs, load.values, &B);
        else
            K.UnifyAndZero2(load.dofs, load.values, &B);
        CSystSpMat Kgs(K), Kcg(K);
        CVector b(B), x(kMesh.n, true, 0.0);
        EXPECT_EQ(Kgs.GaussSeidel_Iter(b, x, 1e-13, 20000), 1);
        Check(x, load, iterative);
        CMatrix Bcg(B);
        ASSERT_EQ(upperOnly ? K.Cholesky_Solve(&B, seconds) : K.LU_Solve(&B, seconds), 1);
        Check(B, load, direct);
        if (!upperOnly) continue;
        EXPECT_LT(Kcg.ConjGradient2(Bcg, res, 1000, 1e-28, nullptr, false), 1000);
        EXPECT_LT(MaxRelativeDifference(Bcg, B), iterative);

        int n = kMesh.n;
        for (int c = 1; c < 3; ++c)
        {
            ASSERT_TRUE(K.Allocate(&n, 1));
            kMesh.AssembleInto(K);
            load = MakeLoad(1.0 - 2 * c, 2, 10 + c);
            B = load.B;
            K.SymUnifyAndZero(load.dofs, load.values, &B);
            ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
            Check(B, load, direct);
        }
    }
    EXPECT_EQ(m_messages.size(), 3u);  // Gauss-Seidel twice, LU_Solve once
}
