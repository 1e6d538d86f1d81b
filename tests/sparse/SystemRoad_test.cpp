// The finite-element road with the system matrix, on model problems with non-zero prescribed
// values: assemble with AddValues, impose the prescribed values, solve with every solver of the
// system matrix; each answer against a banded Cholesky of the reduced system written here.
#include "fem/Problems.h"
#include "fem/Reference.h"
#include "fem/TarvelInput.h"
#include "support/GlobalState.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using tarvel_fem::FemProblem;
using SystemRoad = tarvel_test::GlobalStateTest;

namespace
{

// u with K u = b, K symmetric positive definite (both triangles stored), by the Cholesky
// factorization K = L L^T in band storage: L(i, j) for i - w <= j <= i at L[i * (w + 1) + j - i + w].
std::vector<double> BandSolve(const tarvel_fem::CsrMatrix& K, std::vector<double> u)
{
    const long n = K.n;
    long w = 0;
    for (long i = 0; i < n; ++i)
        for (long q = K.row_start[i]; q < K.row_start[i + 1]; ++q) w = std::max(w, i - K.col[q]);
    std::vector<double> L(static_cast<size_t>(n * (w + 1)), 0.0);
    auto at = [&](long i, long j) -> double&
    { return L[static_cast<size_t>(i * (w + 1) + j - i + w)]; };
    for (long i = 0; i < n; ++i)
        for (long q = K.row_start[i]; q < K.row_start[i + 1]; ++q)
            if (K.col[q] <= i) at(i, K.col[q]) = K.val[q];
    for (long j = 0; j < n; ++j)
    {
        double d = at(j, j);
        for (long k = std::max(0L, j - w); k < j; ++k) d -= at(j, k) * at(j, k);
        at(j, j) = std::sqrt(d);
        for (long i = j + 1; i <= std::min(n - 1, j + w); ++i)
        {
            double s = at(i, j);
            for (long k = std::max(0L, i - w); k < j; ++k) s -= at(i, k) * at(j, k);
            at(i, j) = s / at(j, j);
        }
    }
    for (long i = 0; i < n; ++i)
    {
        for (long k = std::max(0L, i - w); k < i; ++k) u[i] -= at(i, k) * u[k];
        u[i] /= at(i, i);
    }
    for (long i = n - 1; i >= 0; --i)
    {
        for (long k = i + 1; k <= std::min(n - 1, i + w); ++k) u[i] -= at(k, i) * u[k];
        u[i] /= at(i, i);
    }
    return u;
}

std::vector<double> Reference(const FemProblem& p)
{
    const tarvel_fem::ReducedSystem r = tarvel_fem::reduce(p);
    return BandSolve(r.K, r.b);
}

// Column `column` of the solution u (p columns) against the reference: every prescribed DOF holds
// exactly its value, and max_i |u_i - ref_i| / max_i |ref_i| < tol.
void Check(const FemProblem& p, const double* u, const std::vector<double>& ref, double tol,
           int columns = 1, int column = 0)
{
    for (size_t t = 0; t < p.fixed_dofs.size(); ++t)
        ASSERT_EQ(u[p.fixed_dofs[t] * columns + column], p.fixed_values[t]) << p.fixed_dofs[t];
    double diff = 0.0, size = 0.0;
    for (size_t i = 0; i < ref.size(); ++i)
    {
        diff = std::max(diff, std::fabs(u[i * columns + column] - ref[i]));
        size = std::max(size, std::fabs(ref[i]));
    }
    EXPECT_LT(diff / size, tol);
}

CSystSpMat Assembled(FemProblem& p, bool upperOnly)
{
    CVirtMat::m_bSym = upperOnly;
    CSystSpMat K(static_cast<int>(p.num_dofs));
    tarvel_fem::assemble(K, p);
    return K;
}

// Gauss-Seidel from zero on the imposed system K, B; the solution.
CVector GaussSeidelFromZero(CSystSpMat& K, const CMatrix& B)
{
    CVector b(B), x(B.m_nSize, true, 0.0);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-13, 20000), 1);
    return x;
}

}  // namespace

// Poisson on 50 x 50 elements (2601 unknowns, 200 prescribed to non-zero values). The reduced
// system's condition number is about 1e3, so backward-stable solves agree with the reference to
// 1e3 * n * eps ~ 1e-12 at worst (about 2e-15 seen); CG stops at a residual ratio of 1e-14
// (about 2e-14 seen). Gauss-Seidel stops when a sweep changes no element by 1e-13; with its
// contraction of about 0.996 per sweep the error is then some 250 times that (2e-11 seen). CG
// holds the prescribed values only to its tolerance, so it is checked with the others' result.
TEST_F(SystemRoad, EverySolverAgreesOnAPoissonProblem)
{
    FemProblem p = tarvel_fem::poisson_2d(50);
    for (size_t t = 0; t < p.fixed_values.size(); ++t) p.fixed_values[t] = 0.25 * (1 + t % 4);
    const std::vector<double> ref = Reference(p);
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    double seconds = 0.0, res = 0.0;

    // Upper triangle: Cholesky_Solve, ConjGradient2 and Gauss-Seidel on the same imposed system.
    CSystSpMat K = Assembled(p, true);
    CMatrix B = tarvel_fem::load_matrix(p);
    K.SymUnifyAndZero(dofs, values, &B);
    CSystSpMat Kcg(K), Kgs(K);
    CMatrix Bcg(B);
    Check(p, GaussSeidelFromZero(Kgs, B).m_pData, ref, 1e-10);
    ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
    Check(p, B.m_pData, ref, 1e-12);
    EXPECT_LT(Kcg.ConjGradient2(Bcg, res, 1000, 1e-28, nullptr, false), 1000);
    for (int i = 0; i < B.m_nSize; ++i) EXPECT_NEAR(Bcg.m_pData[i], B.m_pData[i], 1e-12);

    // Full storage: Gauss-Seidel and LU_Solve (with its report).
    CSystSpMat F = Assembled(p, false);
    CMatrix Bf = tarvel_fem::load_matrix(p);
    F.UnifyAndZero2(dofs, values, &Bf);
    CSystSpMat Fgs(F);
    Check(p, GaussSeidelFromZero(Fgs, Bf).m_pData, ref, 1e-10);
    m_messages.clear();
    ASSERT_EQ(F.LU_Solve(&Bf, seconds), 1);
    EXPECT_EQ(m_messages.size(), 1u);
    Check(p, Bf.m_pData, ref, 1e-12);
}

// A clamped plate pushed by a prop (902 unknowns): three load cases through one matrix, each
// assembled again after a same-size Allocate (the pattern then also holds the cells left by the
// previous imposition and factorization, all at 0.0), with two right-hand sides per case.
// Agreement to 1e-11 (about 2e-13 seen; the plate is worse conditioned than the Poisson problem).
TEST_F(SystemRoad, LoadCasesReuseThePattern)
{
    FemProblem p = tarvel_fem::cantilever_plate(40, 10);
    const FemProblem base = p;
    int n = static_cast<int>(p.num_dofs);
    CSystSpMat K = Assembled(p, true);
    for (int c = 0; c < 3; ++c)
    {
        SCOPED_TRACE(c);
        if (c > 0)
        {
            ASSERT_TRUE(K.Allocate(&n, 1));
            tarvel_fem::assemble(K, p);
        }
        // Column q: the load times (c + 1)(q + 1); the prop times 1 - c.
        for (size_t t = 0; t < p.fixed_values.size(); ++t)
            p.fixed_values[t] = base.fixed_values[t] * (1.0 - c);
        CMatrix B(n, 2, true, 0.0);
        for (int i = 0; i < 2 * n; ++i) B.m_pData[i] = base.load[i / 2] * (c + 1) * (i % 2 + 1);
        CVector dofs, values;
        tarvel_fem::prescribed_vectors(p, dofs, values);
        K.SymUnifyAndZero(dofs, values, &B);
        double seconds = 0.0;
        ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
        for (int q = 0; q < 2; ++q)
        {
            for (int i = 0; i < n; ++i) p.load[i] = base.load[i] * (c + 1) * (q + 1);
            Check(p, B.m_pData, Reference(p), 1e-11, 2, q);
        }
    }
}
