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

// max_i |u_i - ref_i| / max_i |ref_i|.
double RelativeError(const double* u, const std::vector<double>& ref)
{
    double diff = 0.0, size = 0.0;
    for (size_t i = 0; i < ref.size(); ++i)
    {
        diff = std::max(diff, std::fabs(u[i] - ref[i]));
        size = std::max(size, std::fabs(ref[i]));
    }
    return diff / size;
}

// Every prescribed DOF holds exactly its value.
void ExpectPrescribedExactly(const FemProblem& p, const double* u)
{
    for (size_t t = 0; t < p.fixed_dofs.size(); ++t)
        ASSERT_EQ(u[p.fixed_dofs[t]], p.fixed_values[t]) << "DOF " << p.fixed_dofs[t];
}

CSystSpMat Assembled(FemProblem& p, bool upperOnly)
{
    CVirtMat::m_bSym = upperOnly;
    CSystSpMat K(static_cast<int>(p.num_dofs));
    tarvel_fem::assemble(K, p);
    return K;
}

}  // namespace

// Poisson on 50 x 50 elements (2601 unknowns, 200 prescribed to non-zero values). The reduced
// system's condition number is about 1e3, so backward-stable solves agree with the reference to
// 1e3 * n * eps ~ 1e-12 at worst (about 2e-15 seen); CG stops at a residual ratio of 1e-14
// (about 2e-14 seen). Gauss-Seidel stops when a sweep changes no element by 1e-13; with its
// contraction of about 0.996 per sweep the error is then some 250 times that (2e-11 seen).
TEST_F(SystemRoad, EverySolverAgreesOnAPoissonProblem)
{
    FemProblem p = tarvel_fem::poisson_2d(50);
    for (size_t t = 0; t < p.fixed_values.size(); ++t) p.fixed_values[t] = 0.25 * (1 + t % 4);
    const std::vector<double> ref = Reference(p);
    CVector dofs, values;
    tarvel_fem::prescribed_vectors(p, dofs, values);
    const int n = static_cast<int>(p.num_dofs);

    // Upper triangle: Cholesky_Solve, ConjGradient2 and Gauss-Seidel on the same imposed system.
    CSystSpMat K = Assembled(p, true);
    CMatrix B = tarvel_fem::load_matrix(p);
    K.SymUnifyAndZero(dofs, values, &B);
    CSystSpMat Kcg(K), Kgs(K);
    CMatrix Bcg(B);
    CVector b(n, true, 0.0), x(n, true, 0.0);
    std::copy(B.m_pData, B.m_pData + n, b.m_pData);
    double seconds = 0.0;
    ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
    ExpectPrescribedExactly(p, B.m_pData);
    EXPECT_LT(RelativeError(B.m_pData, ref), 1e-12);

    double res = 0.0;
    EXPECT_LT(Kcg.ConjGradient2(Bcg, res, 1000, 1e-28, nullptr, false), 1000);
    EXPECT_LT(RelativeError(Bcg.m_pData, ref), 1e-12);

    ASSERT_EQ(Kgs.GaussSeidel_Iter(b, x, 1e-13, 20000), 1);
    ExpectPrescribedExactly(p, x.m_pData);
    EXPECT_LT(RelativeError(x.m_pData, ref), 1e-10);

    // Full storage: LU_Solve (one report) and Gauss-Seidel.
    CSystSpMat F = Assembled(p, false);
    CMatrix Bf = tarvel_fem::load_matrix(p);
    F.UnifyAndZero2(dofs, values, &Bf);
    CSystSpMat Fgs(F);
    CVector bf(n, true, 0.0), xf(n, true, 0.0);
    std::copy(Bf.m_pData, Bf.m_pData + n, bf.m_pData);
    m_messages.clear();
    ASSERT_EQ(F.LU_Solve(&Bf, seconds), 1);
    EXPECT_EQ(m_messages.size(), 1u);
    ExpectPrescribedExactly(p, Bf.m_pData);
    EXPECT_LT(RelativeError(Bf.m_pData, ref), 1e-12);

    ASSERT_EQ(Fgs.GaussSeidel_Iter(bf, xf, 1e-13, 20000), 1);
    ExpectPrescribedExactly(p, xf.m_pData);
    EXPECT_LT(RelativeError(xf.m_pData, ref), 1e-10);
}

// A clamped plate pushed by a prop (902 unknowns): three load cases through one matrix, each
// assembled again after a same-size Allocate (the pattern then also holds the cells left by the
// previous imposition and factorization, all at 0.0), with two right-hand sides per case.
// Agreement to 1e-11 (about 2e-13 seen; the plate is worse conditioned than the Poisson problem).
TEST_F(SystemRoad, LoadCasesReuseThePattern)
{
    FemProblem p = tarvel_fem::cantilever_plate(40, 10);
    const FemProblem base = p;
    const int n = static_cast<int>(p.num_dofs);
    CSystSpMat K = Assembled(p, true);
    for (int c = 0; c < 3; ++c)
    {
        SCOPED_TRACE(c);
        if (c > 0)
        {
            int dims[] = {n};
            ASSERT_TRUE(K.Allocate(dims, 1));
            tarvel_fem::assemble(K, p);
        }
        // Column 0: the load scaled by c + 1; column 1: twice that; the prop moved with c.
        for (size_t t = 0; t < p.fixed_values.size(); ++t)
            p.fixed_values[t] = base.fixed_values[t] * (1.0 - c);
        CMatrix B(n, 2, true, 0.0);
        for (int i = 0; i < n; ++i)
        {
            B.m_pData[2 * i] = base.load[i] * (c + 1);
            B.m_pData[2 * i + 1] = base.load[i] * (c + 1) * 2;
        }
        CVector dofs, values;
        tarvel_fem::prescribed_vectors(p, dofs, values);
        K.SymUnifyAndZero(dofs, values, &B);
        double seconds = 0.0;
        ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
        for (int column = 0; column < 2; ++column)
        {
            for (int i = 0; i < n; ++i) p.load[i] = base.load[i] * (c + 1) * (column + 1);
            const std::vector<double> ref = Reference(p);
            std::vector<double> u(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) u[i] = B.m_pData[2 * i + column];
            ExpectPrescribedExactly(p, u.data());
            EXPECT_LT(RelativeError(u.data(), ref), 1e-11);
        }
    }
}
