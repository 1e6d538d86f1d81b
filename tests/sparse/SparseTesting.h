// What the sparse tests share: the fixtures (the global state saved and restored), the driver
// wrappers, the symbolic counts read two ways, random SPD patterns, the small hand-worked
// systems and the prescribed-value load of the finite-element road.
#pragma once

#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/CellPool.h>
#include <tarvel/sparse/detail/SparseKernels.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace tarvel_test;
using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;
using SparseMatrix = GlobalStateTest;
using tarvel::detail::cell_blocks_mapped;
using SystSpMat = GlobalStateTest;

namespace sparse_testing
{

inline const double kNaN = std::numeric_limits<double>::quiet_NaN();

inline int Lu(CSparseMatrix& A) { return A.LU(); }
inline int Cholesky(CSparseMatrix& A) { return A.Cholesky(); }

// The factor's size, its elimination tree and every row's count.
using Symbolic = std::tuple<LONGLONG, std::vector<int>, std::vector<int>>;

inline Symbolic counted(const CSparseMatrix& A)
{
    std::vector<int> parent(A.GetRows(), -7), counts(A.GetRows(), -7);
    const LONGLONG total = CholeskyFactorSize(A, parent.data(), counts.data());
    return {total, parent, counts};
}

// The same three read off a factor that Cholesky has made.
inline Symbolic made(const CSparseMatrix& U)
{
    Symbolic s;
    auto& [total, parent, counts] = s;
    for (const CSparseMatrix::row* r = U.GetFirstRow(); r; r = r->m_pNextRow)
    {
        const CSparseMatrix::cell* first = r->m_pFirstCell;
        parent.push_back(first && first->m_pNext ? first->m_pNext->m_nCol : -1);
        counts.push_back(0);
        for (const CSparseMatrix::cell* c = first; c; c = c->m_pNext) ++counts.back(), ++total;
    }
    return s;
}

// An upper triangle of n rows: perRow couplings per row drawn in i + 1 .. i + band (and, every
// fifth row, one anywhere to the right), values of both signs in 0.5 .. 1.5 so that nothing
// cancels, and a diagonal above the sum of every row's and column's couplings (SPD).
inline CSystSpMat random_upper(std::mt19937& gen, int n, int perRow, int band)
{
    std::uniform_real_distribution<double> magnitude(0.5, 1.5);
    CSystSpMat K(n);
    for (int i = 0; i < n; ++i)
    {
        K.Add(i, i, 4.0 * (perRow + 2) + n);
        for (int d = 0; i + 1 < n && d < perRow + (i % 5 == 0); ++d)
        {
            const int reach = d < perRow ? std::min(n - 1, i + band) : n - 1;
            const int j = std::uniform_int_distribution<int>(i + 1, reach)(gen);
            K.Add(i, j, gen() % 2 ? magnitude(gen) : -magnitude(gen));
        }
    }
    return K;
}

// The iteration stops at a relative residual of sqrt(tol) in the 2-norm of the largest column:
// with tol = 1e-24 the scaled residual of these small well-conditioned problems stays below this.
constexpr double kTol = 1e-24, kResidual = 1e-11;

// Solver 0 is ConjGradient (no start solution), solver 1 ConjGradient2.
inline int Solve(int solver, CSparseMatrix& A, CMatrix& B, double& res, int maxIter, double tol,
                 bool scale, CVector* times = nullptr)
{
    return solver == 0 ? A.ConjGradient(B, nullptr, res, maxIter, tol, times, scale)
                       : A.ConjGradient2(B, res, maxIter, tol, times, scale);
}

inline CSystSpMat System3()
{
    CSystSpMat K = System(3, FromTriplets({{0, 0, 2.0}, {0, 2, 1.0}, {2, 2, 5.0}}));
    K.m_pRowArray[1].Add(1, 0.0);  // a stored zero
    return K;
}
const char* const kSystem3 = "0: 0=2 2=1; 1: 1=0; 2: 2=5";

// The report expected, its time field as Untimed leaves it.
inline std::string Report(int sweeps, int n, double error, bool symmetric)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Used time solving :   T s\r\n Number of iter. :   %d\r\n NEQ             :   "
                  "%d\r\n Norm of error   :   %e\r\n Symmetric       :   %d\r\n24\r\n16",
                  sweeps, n, error, symmetric ? 1 : 0);
    return buf;
}

// [[4, 1], [1, 3]] in full storage, or its upper triangle.
inline CSystSpMat TwoByTwo(bool upperOnly)
{
    CSystSpMat K = System(2, FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}}));
    if (upperOnly) K.MakeUpper();
    return K;
}

// The Poisson grid of 45 x 45 unknowns; the 45 unknowns of grid row 21 are prescribed, unknown t
// of them to factor * 0.25 (1 + t % 4).
inline const Mesh kMesh = Grid(45);

struct Load
{
    CVector dofs, values;
    CMatrix B, reference;  // the right-hand sides and the solution of the unit-row system
};

inline Load MakeLoad(double factor, int columns, unsigned seed)
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
inline void Check(const CVector& x, const Load& l, double tol)
{
    const int p = l.B.GetColumns();
    for (int t = 0; t < 45; ++t)
        for (int c = 0; c < p; ++c)
            ASSERT_EQ(x.m_pData[static_cast<int>(l.dofs[t]) * p + c], l.values[t]);
    EXPECT_LT(MaxRelativeDifference(x, l.reference), tol);
}

}  // namespace sparse_testing

using namespace sparse_testing;
