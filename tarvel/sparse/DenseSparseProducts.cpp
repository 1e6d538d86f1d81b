// The CMatrix members that meet the sparse matrix: products with a sparse S from the left
// (S A, and S A S^T), and the conversions between dense and sparse storage. They walk S's
// rows and cells directly (ascending rows and columns).
//
// Symmetric mode (mode 1) reads S as the upper triangle of a symmetric matrix: the first cell
// of each row is its diagonal, and every further cell (i, k, a) stands for a_ik and a_ki.
//
// Choice where the behaviour is open: an accumulating PreMult given a result of another
// element count adds the products to the zeros that its Allocate leaves.
#include <tarvel/core/Matrix.h>
#include <tarvel/sparse/SparseMatrix.h>

#include <cstdint>
#include <utility>
#include <vector>

using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

namespace
{

// y += a x over n contiguous elements.
inline void add_scaled(double* y, const double* x, double a, int n)
{
    for (int t = 0; t < n; ++t) y[t] += a * x[t];
}

// W (+)= S A in mode 0 (S as stored) or 1 (symmetric mode), A with c columns, W with as many
// columns; returns the number of row updates of length c (one per cell in mode 0, one for
// the first and two for every further cell of a row in mode 1). Other modes do nothing.
std::uint64_t sparse_times_dense(const CSparseMatrix& S, const double* A, double* W, int c,
                                 int mode)
{
    std::uint64_t updates = 0;
    if (mode != 0 && mode != 1) return 0;
    for (const Row* r = S.GetFirstRow(); r; r = r->m_pNextRow)
    {
        const long i = r->m_nRow;
        double* wi = W + i * c;
        const double* ai = A + i * c;
        const Cell* first = r->m_pFirstCell;
        for (const Cell* x = first; x; x = x->m_pNext)
        {
            const long k = x->m_nCol;
            const double a = x->m_dValue;
            add_scaled(wi, A + k * c, a, c);  // row i += a * (row k)
            ++updates;
            if (mode == 1 && x != first)
            {
                add_scaled(W + k * c, ai, a, c);  // row k += a * (row i), the mirrored entry
                ++updates;
            }
        }
    }
    return updates;
}

}  // namespace

// PreMult(S, mode): this becomes S this (S's row count by this matrix's column count) through
// a zero matrix whose array then replaces this matrix's. Nothing is counted.
void CMatrix::PreMult(CSparseMatrix* S, int mode)
{
    const int c = GetColumns();
    CMatrix W(S->GetRows(), c, true, 0.0);
    if (W.m_pData) sparse_times_dense(*S, m_pData, W.m_pData, c, mode);
    *this = std::move(W);
}

// PreMult(S, R, accumulate, mode): R (+)= S this, R sized by its virtual Allocate(rows of S,
// columns of this, !accumulate, 0.0). m_Flops grows by 2c for every row update (each cell in
// mode 0; the first cell of a row in mode 1) and 4c for every cell that updates two rows.
void CMatrix::PreMult(CSparseMatrix* S, CMatrix& R, bool accumulate, int mode) const
{
    const int c = GetColumns();
    R.Allocate(S->GetRows(), c, !accumulate, 0.0);
    if (!R.m_pData) return;
    const std::uint64_t updates = sparse_times_dense(*S, m_pData, R.m_pData, c, mode);
    m_Flops += static_cast<std::uint32_t>(updates * 2u * static_cast<std::uint32_t>(c));
}

// ATthisA(S): this (n x n) becomes S this S^T, n = S's row count, c = this matrix's columns.
//  1. W (c x n): W(j, i) = sum over the cells (k, a) of row i of this(k, j) a  = (S this)^T.
//  2. This matrix becomes n x n zeros (virtual Allocate).
//  3. this(j, i) = sum over the cells (k, a) of row i of W(k, j) a  = (S this S^T)(j, i).
// Every sum runs from 0.0 in cell order; sums exactly 0.0 leave their element alone.
void CMatrix::ATthisA(CSparseMatrix* S)
{
    const int n = S->GetRows();
    const int c = GetColumns();
    std::vector<double> W(static_cast<std::size_t>(c) * static_cast<std::size_t>(n), 0.0);
    std::vector<double> s(static_cast<std::size_t>(c));
    // Each sum s_j gathers the products of one row's cells in cell order; the loop over j
    // runs inside the loop over the cells, along contiguous rows.
    auto row_sums = [&](const Row* r, const double* M, int ld)
    {
        for (int j = 0; j < c; ++j) s[static_cast<std::size_t>(j)] = 0.0;
        for (const Cell* x = r->m_pFirstCell; x; x = x->m_pNext)
        {
            const double* mk = M + static_cast<long>(x->m_nCol) * ld;
            for (int j = 0; j < c; ++j) s[static_cast<std::size_t>(j)] += mk[j] * x->m_dValue;
        }
    };
    // -- 1. --
    for (const Row* r = S->GetFirstRow(); r; r = r->m_pNextRow)
    {
        row_sums(r, m_pData, c);
        for (int j = 0; j < c; ++j)
            if (s[static_cast<std::size_t>(j)] != 0.0)
                W[static_cast<std::size_t>(j) * n + static_cast<std::size_t>(r->m_nRow)] =
                    s[static_cast<std::size_t>(j)];
    }
    // -- 2. --
    Allocate(n, n, true, 0.0);
    // -- 3. --
    for (const Row* r = S->GetFirstRow(); r; r = r->m_pNextRow)
    {
        row_sums(r, W.data(), n);
        for (int j = 0; j < c; ++j)
            if (s[static_cast<std::size_t>(j)] != 0.0)
                (*this)(j, r->m_nRow) = s[static_cast<std::size_t>(j)];
    }
}

// Sparse(S): every element that is not exactly 0.0 is added to S (made empty when null; the
// caller owns it). Rows from the last to the first and, within a row, columns from the last
// to the first: the last non-zero element of a row goes through S's virtual
// Add(i, j, v, row*&) with a fresh cursor, which yields the row; the others through that
// row's Add(int, double).
void CMatrix::Sparse(CSparseMatrix*& S) const
{
    if (!S) S = new CSparseMatrix;
    const int c = GetColumns();
    for (int i = m_nRows - 1; i >= 0; --i)
    {
        const double* ai = m_pData + static_cast<long>(i) * c;
        Row* r = nullptr;
        for (int j = c - 1; j >= 0; --j)
        {
            if (ai[j] == 0.0) continue;
            if (!r)
                S->Add(i, j, ai[j], r);
            else
                r->Add(j, ai[j]);
        }
    }
}

// UnSparse(S): this becomes the dense form of S: S's GetRows() rows, 1 + the largest stored
// column, zeros where S stores nothing.
void CMatrix::UnSparse(CSparseMatrix* S)
{
    int columns = 0;
    for (const Row* r = S->GetFirstRow(); r; r = r->m_pNextRow)
        for (const Cell* x = r->m_pFirstCell; x; x = x->m_pNext)
            if (x->m_nCol + 1 > columns) columns = x->m_nCol + 1;
    if (!Allocate(S->GetRows(), columns, true, 0.0)) return;
    for (const Row* r = S->GetFirstRow(); r; r = r->m_pNextRow)
        for (const Cell* x = r->m_pFirstCell; x; x = x->m_pNext)
            (*this)(r->m_nRow, x->m_nCol) = x->m_dValue;
}
