// Private helpers of the system matrix: the prescribed-index conversion of the boundary-condition
// operations, and the straightforward forms of the kernels that have faster implementations
// (kept for the tests, which compare both bit for bit).
#pragma once

#include <tarvel/core/Matrix.h>
#include <tarvel/sparse/SystSpMat.h>

namespace tarvel::detail
{

// A prescribed index held as a double, truncated toward zero; -1 when it does not name a row
// of 0 .. n - 1 (NaN included).
inline int prescribed_index(double v, int n)
{
    return (v > -1.0 && v < static_cast<double>(n)) ? static_cast<int>(v) : -1;
}

// The right-hand sides of the boundary-condition operations: B as a dense matrix with its
// column count and the number of its rows that exist; null when B is not a CMatrix.
struct RhsView
{
    explicit RhsView(CVirtMat* B);
    double* row(int r) const
    {
        return (data && r >= 0 && r < rows) ? data + static_cast<long>(r) * p : nullptr;
    }

    double* data = nullptr;
    int rows = 0;
    int p = 0;  // right-hand sides (columns)
};

// ---- Straightforward kernels, as the algorithms are stated; the members are faster ----

// Square-root-free Cholesky by row merging: for each row k, d = its first cell, and every
// non-zero entry (k, j) after it merges -a_kj / d times the row from (k, j) on into row j
// (row::AddRow), then becomes a_kj / d. CSystSpMat::Cholesky gives the same lists and bits.
int syst_cholesky_merging(CSystSpMat& A);
// UnifyAndZero2 visiting every row once per prescribed index (rows x prescribed).
void unify_and_zero2_plain(CSystSpMat& A, CVector& dofs, CVector& values, CVirtMat* B);
// SymUnifyAndZero visiting every row once per prescribed index: the coupling of row r with k is
// read, removed and subtracted from B(r, c) where the upper triangle keeps it (cell (r, k) of
// row r, then cell (k, r) of row k when k < r).
void sym_unify_and_zero_plain(CSystSpMat& A, CVector& dofs, CVector& values, CVirtMat* B);

}  // namespace tarvel::detail
