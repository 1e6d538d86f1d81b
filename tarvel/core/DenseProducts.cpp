// Dense congruence and block transforms, the rank-one update, and the split into symmetric and
// skew parts. Every product element is a sum from 0.0 in increasing k.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/detail/DenseKernels.h>

#include <algorithm>
#include <new>

void CMatrix::PostMult(const CMatrix& B) { *this *= B; }

// this = T this^T T^T (T this T^T for a symmetric this), r x r with r = T's rows:
//   -- 1. W = T this, r x c (c = this matrix's columns), and its transpose W^T;
//   -- 2. this resized through the virtual Allocate(r, r, false, 0.0);
//   -- 3. this = T (W^T), so this(a, b) = sum_k T(a, k) W(b, k).
// Both products run the product kernel (sums from 0.0 in increasing k); W and W^T live in
// per-thread work space, which the Allocate of CMatrix does not touch. T may be this matrix
// (it is then copied first). Left as it was when the work space cannot be had.
void CMatrix::PostPreMult(const CMatrix& T, int)
{
    const auto& kernels = tarvel::detail::dense_kernels();
    const int r = T.m_nRows;
    const int c = columns();
    const int tc = T.columns();
    const long wsize = static_cast<long>(r) * c;
    const long tsize = &T == this ? T.m_nSize : 0;
    tarvel::detail::DenseScratch work(static_cast<std::size_t>(2 * wsize + tsize));
    if (!work.get()) return;
    double* W = work.get();
    double* Wt = W + wsize;
    const double* t = T.m_pData;
    if (tsize > 0) t = std::copy_n(T.m_pData, tsize, Wt + wsize) - tsize;

    // -- 1. W = T this, W^T --
    kernels.product(t, tc, m_pData, c, W, c, r, c, c);
    tarvel::detail::transpose_into(W, c, r, c, Wt);
    // -- 2. Resize --
    if (!Allocate(r, r, false, 0.0)) return;
    // -- 3. this = T W^T --
    kernels.product(t, tc, Wt, r, m_pData, r, r, c, r);
}

// Transforms rows and/or columns p .. p+m-1 by the m x m matrix T (m = T's columns), in place,
// applying the flag bits in the order 1, 2, 4, 8, each on the result of the previous ones:
//   1  each column c, block rows:    this(p+j, c) = sum_k T(k, j) old(p+k, c)   (T^T from the left)
//   2  each row r, block columns:    this(r, p+j) = sum_k old(r, p+k) T(k, j)   (T from the right)
//   4  each column c, block rows:    this(p+j, c) = sum_k T(j, k) old(p+k, c)   (T from the left)
//   8  each row r, block columns:    this(r, p+j) = sum_k T(j, k) old(r, p+k)   (T^T from the right)
// So 1|2 gives T^T B T and 4|8 gives T B T^T on the diagonal block B.
// Each transform is one product kernel call into work space, copied back over the block:
//   1, 4  X(p:p+m, :) = T' X(p:p+m, :),  T' = T^T (1) or T (4);
//   2, 8  X(:, p:p+m) = X(:, p:p+m) T'', T'' = T (2) or T^T (8).
// The sums are those above, from 0.0 in increasing k. Nothing changes when the work space
// cannot be had.
void CMatrix::SubMult(CMatrix& T, int p, unsigned int flags)
{
    const auto& kernels = tarvel::detail::dense_kernels();
    const int m = T.GetColumns();
    const int rows = m_nRows;
    const int cols = columns();
    if (m <= 0) return;
    const long tsize = static_cast<long>(m) * m;
    const long block = static_cast<long>(m) * std::max(rows, cols);
    tarvel::detail::DenseScratch work(static_cast<std::size_t>(tsize + block));
    if (!work.get()) return;
    double* Tt = work.get();  // T^T, formed when a flag needs it
    double* out = Tt + tsize;
    if (flags & 9u) tarvel::detail::transpose_into(T.m_pData, m, m, m, Tt);
    double* x = m_pData;

    auto block_rows = [&](const double* t)
    {
        double* x_p = x + static_cast<long>(p) * cols;
        kernels.product(t, m, x_p, cols, out, cols, m, m, cols);
        std::copy_n(out, static_cast<long>(m) * cols, x_p);
    };
    auto block_cols = [&](const double* t)
    {
        kernels.product(x + p, cols, t, m, out, m, rows, m, m);
        for (int r = 0; r < rows; ++r)
            std::copy_n(out + static_cast<long>(r) * m, m, x + static_cast<long>(r) * cols + p);
    };
    if (flags & 1u) block_rows(Tt);
    if (flags & 2u) block_cols(T.m_pData);
    if (flags & 4u) block_rows(T.m_pData);
    if (flags & 8u) block_cols(Tt);
}

// M += f a b^T through a write position that starts at M's first element and moves forward:
// per element a_i, s = f a_i; s == 0.0 skips b's size elements, otherwise the next b-size
// elements receive += s b_j. Reversed: a and b are taken from their last elements to their
// first while the write position still moves forward.
void CMatrix::vectAvectBT(CMatrix& M, const CVector& a, const CVector& b, double& f, bool reversed)
{
    double* w = M.m_pData;
    const int na = a.m_nSize;
    const int nb = b.m_nSize;
    for (int t = 0; t < na; ++t)
    {
        const double s = f * a.m_pData[reversed ? na - 1 - t : t];
        if (s == 0.0)
        {
            w += nb;
            continue;
        }
        if (reversed)
            for (int j = nb - 1; j >= 0; --j) *w++ += s * b.m_pData[j];
        else
            for (int j = 0; j < nb; ++j) *w++ += s * b.m_pData[j];
    }
}

// sym = (A + A^T) / 2 and skew = (A - A^T) / 2 as two new n x n matrices (n = m_nRows; the
// caller owns them). The upper triangles follow the formulas from the last row up; the lower
// triangles are filled by mirroring (sym(j, i) = sym(i, j), skew(j, i) = -skew(i, j)), so that
// sym + skew = A. Both pointers are null when the storage cannot be obtained.
void CMatrix::Split(CMatrix*& sym, CMatrix*& skew) const
{
    const int n = m_nRows;
    const int cols = columns();
    sym = new (std::nothrow) CMatrix(n, n, false, 0.0);
    skew = new (std::nothrow) CMatrix(n, n, false, 0.0);
    if (!sym || !skew || (n > 0 && (!sym->m_pData || !skew->m_pData)))
    {
        delete sym;
        delete skew;
        sym = skew = nullptr;
        return;
    }
    const double* a = m_pData;
    double* s = sym->m_pData;
    double* k = skew->m_pData;
    for (int i = n - 1; i >= 0; --i)
    {
        for (int j = i + 1; j < n; ++j)
        {
            const double a_ij = a[index_of(i, j, cols)];
            const double a_ji = a[index_of(j, i, cols)];
            s[index_of(i, j, n)] = (a_ji + a_ij) * 0.5;
            k[index_of(i, j, n)] = (a_ij - a_ji) * 0.5;
            s[index_of(j, i, n)] = s[index_of(i, j, n)];
            k[index_of(j, i, n)] = -k[index_of(i, j, n)];
        }
    }
    for (int i = 0; i < n; ++i)
    {
        s[index_of(i, i, n)] = a[index_of(i, i, cols)];
        k[index_of(i, i, n)] = 0.0;
    }
}
