// Private helpers of the system matrix: the prescribed-index conversion and right-hand-side view
// of the boundary-condition operations, and the row-merging Cholesky.
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

// ---- The row-merging Cholesky, which the member runs unless every row starts at its diagonal ----

// Square-root-free Cholesky by row merging: for each row k, d = its first cell, and every
// non-zero entry (k, j) after it merges -a_kj / d times the row from (k, j) on into row j
// (row::AddRow), then becomes a_kj / d. CSystSpMat::Cholesky gives the same lists and bits.
int syst_cholesky_merging(CSystSpMat& A);

}  // namespace tarvel::detail
