// The factorizations of the system matrix: LU without pivoting and square-root-free Cholesky of
// the upper triangle, both in place on the array's rows.
//
// Cholesky by row merging (right-looking):
//   for k = 0, 1, ..., n - 1:  d_k = the first cell of row k (it must exist, d_k > 0);
//     for each further cell (k, j) with a = a_kj not 0.0 or NaN:
//       row j += f * [(k, j), (k, j + ...), ...]  with f = -a / d_k   (row::AddRow, fill-in made)
//       a_kj <- a / d_k
//   A = U^T D U,  D = diag(d_k), U unit upper: the layout the inherited Cholesky_Solve expects.
// Reference: G. H. Golub, C. F. Van Loan, Matrix Computations, 4th ed., sec. 4.1 (LDL^T).
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/ListOrder.h>
#include <tarvel/sparse/detail/SparseKernels.h>
#include <tarvel/sparse/detail/SystDetail.h>
#include <tarvel/sparse/detail/ValueTests.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::is_zero_or_nan;
using tarvel::detail::Row;

namespace
{

// The row-merging elimination. Fails with -1 at a row without cells, with a first value not above
// 0.0, or with a non-zero entry after the first cell in a column outside 0 .. n - 1 (its row j
// would not exist).
int merge_rows(Row* rows, int n)
{
    tarvel::detail::ProgressReport progress("Cholesky", n);
    for (int k = 0; k < n; ++k)
    {
        progress.step(k);
        Cell* first = rows[k].m_pFirstCell;
        if (!first || !(first->m_dValue > 0.0)) return -1;
        for (const Cell* c = first->m_pNext; c; c = c->m_pNext)
            if (!is_zero_or_nan(c->m_dValue) && (c->m_nCol < 0 || c->m_nCol >= n)) return -1;
        const double d = first->m_dValue;  // taken as the diagonal, whatever its column
        for (Cell* c = first->m_pNext; c; c = c->m_pNext)
        {
            const double a = c->m_dValue;
            if (is_zero_or_nan(a)) continue;
            rows[c->m_nCol].AddRow(c, -a / d);
            c->m_dValue = a / d;
        }
    }
    progress.finish();
    return 1;
}

// True when every row starts at its diagonal or is empty. The updates of a row j start at
// column j, so this stays true during the elimination and each row's first cell at its turn is
// its diagonal (or the row is still empty).
bool rows_start_at_diagonal(const Row* rows, int n)
{
    for (int k = 0; k < n; ++k)
        if (rows[k].m_pFirstCell && rows[k].m_pFirstCell->m_nCol != k) return false;
    return true;
}

}  // namespace

int tarvel::detail::syst_cholesky_merging(CSystSpMat& A)
{
    return merge_rows(A.m_pRowArray, A.m_nRowArraySize);
}

// Cholesky(): 1 on success (no rows included), -1 as merge_rows fails; on failure the rows above
// the failing one are finished and every row below holds their updates. Nothing is counted.
//
// When every row starts at its diagonal, the merging is exactly CSparseMatrix::Cholesky on the
// list (S2): the same checks at each row's turn (first cell present and positive, entries aiming
// at rows of the matrix), the same updates in the same order, the same partial state on failure;
// that member computes them row by row from compact copies of the finished rows, which is much
// faster than merging linked rows. Its operation count is not kept. Other matrices (a row
// starting left or right of its diagonal, where the first cell still serves as d_k) are merged
// row into row (merge_rows).
int CSystSpMat::Cholesky()
{
    if (m_nRowArraySize < 1) return record_factor_result(1);
    if (!rows_start_at_diagonal(m_pRowArray, m_nRowArraySize))
    {
        try
        {
            return record_factor_result(merge_rows(m_pRowArray, m_nRowArraySize));
        }
        catch (const std::bad_alloc&)  // a fill-in cell: reported as a failure
        {
            return record_factor_result(-1, FactorFailure::OutOfMemory);
        }
    }
    const std::uint32_t flops = m_Flops;
    const int status = CSparseMatrix::Cholesky();  // records exhausted storage itself
    m_Flops = flops;
    return status;
}

// =============================================================================================
// LU
// =============================================================================================

// LU(): A = L U in place, the elimination of CSparseMatrix::LU (rows by list position are the
// array's rows, S2; each update added forward from the row's cursor cell): 1 on success, -1 at
// the first step k whose row has no usable pivot (its cursor not on its diagonal, or a pivot of
// 0.0 or NaN), every row below it then holding the eliminations of the steps before k.
// Nothing is counted. The row-by-row kernel of CSparseMatrix::LU (tarvel::detail::lu_row_by_row)
// on the array's rows.
int CSystSpMat::LU()
{
    TARVEL_ASSERT(tarvel::detail::lists_are_ordered(*this),
                  "CSystSpMat::LU: rows or cells out of order or repeated (R1, R2)");
    const int n = m_nRowArraySize;
    if (n < 1) return record_factor_result(1);
    try
    {
        std::vector<Row*> rows(static_cast<std::size_t>(n));
        for (int r = 0; r < n; ++r) rows[static_cast<std::size_t>(r)] = m_pRowArray + r;
        return record_factor_result(tarvel::detail::lu_row_by_row(rows.data(), n));
    }
    catch (const std::bad_alloc&)  // work space or a fill-in cell: reported as a failure
    {
        return record_factor_result(-1, FactorFailure::OutOfMemory);
    }
}
