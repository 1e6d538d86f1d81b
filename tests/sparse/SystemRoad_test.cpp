// The finite-element road with the system matrix: assemble with AddValues, impose non-zero
// prescribed values, solve with every solver of the system matrix, and compare each answer
// with the reference solve of the dense twin, in which every prescribed row is replaced by
// its unit row (independent of the library's boundary-condition operations).
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;
using SystemRoad = GlobalStateTest;

namespace
{

// Poisson on 46 x 46 elements: 2025 unknowns. The 45 unknowns of grid row 22 are prescribed,
// unknown t of them to factor * 0.25 (1 + t % 4).
const Mesh kMesh = PoissonQ4(46, 46);

void Prescribed(double factor, CVector& dofs, CVector& values)
{
    dofs = CVector(45, true, 0.0);
    values = CVector(45, true, 0.0);
    for (int t = 0; t < 45; ++t)
    {
        dofs[t] = 21 * 45 + t;
        values[t] = factor * 0.25 * (1 + t % 4);
    }
}

CMatrix Reference(const CMatrix& dense, const CMatrix& B, const CVector& dofs,
                  const CVector& values)
{
    CMatrix A(dense), b(B);
    const int n = A.GetRows(), p = b.GetColumns();
    for (int t = 0; t < dofs.GetSize(); ++t)
    {
        const int k = static_cast<int>(dofs[t]);
        for (int j = 0; j < n; ++j) A(k, j) = j == k ? 1.0 : 0.0;
        for (int c = 0; c < p; ++c) b(k, c) = values[t];
    }
    return DenseSolve(A, b);
}

// Every prescribed unknown holds exactly its value; elsewhere max |x - ref| / max |ref| < tol.
void Check(const CVector& x, const CMatrix& ref, const CVector& dofs, const CVector& values,
           double tol)
{
    const int p = ref.GetColumns();
    for (int t = 0; t < dofs.GetSize(); ++t)
        for (int c = 0; c < p; ++c)
            ASSERT_EQ(x.m_pData[static_cast<int>(dofs[t]) * p + c], values[t]);
    EXPECT_LT(MaxRelativeDifference(x, ref), tol);
}

CSystSpMat Assembled(bool upperOnly)
{
    CVirtMat::m_bSym = upperOnly;
    CSystSpMat K(kMesh.n);
    kMesh.AssembleInto(K);
    return K;
}

}  // namespace

// The reduced system's condition number is about 1e3, so the backward-stable direct solves
// agree with the reference to 1e3 n eps ~ 5e-10 at worst (far less is seen; 1e-11 is asked).
// Gauss-Seidel stops when a sweep changes nothing by 1e-13; its contraction is about 0.995
// per sweep, so its error is then some 200 times that. CG holds the prescribed values only to
// its tolerance and is compared with the Cholesky solution. Two more load cases, with two
// right-hand sides each and prescribed values of other signs, go through the same matrix after
// a same-size Allocate and a new assembly (the pattern then also holds the cells left by the
// previous imposition and factorization, all at 0.0).
TEST_F(SystemRoad, EverySolverAgreesWithTheReference)
{
    CVector dofs, values;
    Prescribed(1.0, dofs, values);
    const CMatrix dense = kMesh.Dense(), B0 = RandomMatrix(kMesh.n, 1, 3);
    const CMatrix ref = Reference(dense, B0, dofs, values);
    double seconds = 0.0, res = 0.0;

    // Full storage: Gauss-Seidel and LU_Solve (with its report).
    CSystSpMat F = Assembled(false);
    CMatrix Bf(B0);
    F.UnifyAndZero2(dofs, values, &Bf);
    CSystSpMat Fgs(F);
    CVector bf(Bf), xf(kMesh.n, true, 0.0);
    EXPECT_EQ(Fgs.GaussSeidel_Iter(bf, xf, 1e-13, 20000), 1);
    Check(xf, ref, dofs, values, 1e-10);
    ASSERT_EQ(F.LU_Solve(&Bf, seconds), 1);
    EXPECT_EQ(m_messages.size(), 2u);
    Check(Bf, ref, dofs, values, 1e-11);

    // Upper triangle: Gauss-Seidel, Cholesky_Solve and ConjGradient2 on one imposed system.
    CSystSpMat K = Assembled(true);
    CMatrix B(B0);
    K.SymUnifyAndZero(dofs, values, &B);
    CSystSpMat Kcg(K), Kgs(K);
    CMatrix Bcg(B);
    CVector b(B), x(kMesh.n, true, 0.0);
    EXPECT_EQ(Kgs.GaussSeidel_Iter(b, x, 1e-13, 20000), 1);
    Check(x, ref, dofs, values, 1e-10);
    ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);  // the system matrix's Cholesky counts nothing
    Check(B, ref, dofs, values, 1e-11);
    EXPECT_LT(Kcg.ConjGradient2(Bcg, res, 1000, 1e-28, nullptr, false), 1000);
    EXPECT_LT(MaxRelativeDifference(Bcg, B), 1e-12);

    int n = kMesh.n;
    for (int c = 1; c < 3; ++c)
    {
        ASSERT_TRUE(K.Allocate(&n, 1));
        kMesh.AssembleInto(K);
        Prescribed(1.0 - 2 * c, dofs, values);
        const CMatrix Bc = RandomMatrix(n, 2, 10 + c);
        B = Bc;
        K.SymUnifyAndZero(dofs, values, &B);
        ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
        Check(B, Reference(dense, Bc, dofs, values), dofs, values, 1e-11);
    }
}
