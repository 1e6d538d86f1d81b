// Dense congruence and block transforms, the rank-one update, and the split into symmetric and
// skew parts. Every product element is a sum from 0.0 in increasing k.
#include <tarvel/core/Matrix.h>

#include <memory>
#include <new>

void CMatrix::PostMult(const CMatrix& B) { *this *= B; }

// this = T this^T T^T (T this T^T for a symmetric this), r x r with r = T's rows:
//   -- 1. W = T this, r x c (c = this matrix's columns);
//   -- 2. this resized through the virtual Allocate(r, r, false, 0.0);
//   -- 3. this(a, b) = sum_k T(a, k) W(b, k).
// Left as it was when the work matrix cannot be allocated.
void CMatrix::PostPreMult(const CMatrix& T, int)
{
    const int r = T.m_nRows;
    const int c = columns();
    const int tc = T.columns();
    const long wsize = static_cast<long>(r) * c;
    std::unique_ptr<double[]> W(new (std::nothrow) double[static_cast<std::size_t>(wsize)]());
    if (!W) return;

    // -- 1. W = T this (k outside b: this is read row by row, same sums in the same order) --
    for (int a = 0; a < r; ++a)
    {
        const double* t_a = T.m_pData + static_cast<long>(a) * tc;
        double* w_a = W.get() + static_cast<long>(a) * c;
        for (int k = 0; k < c; ++k)
        {
            const double t_ak = t_a[k];
            const double* x_k = m_pData + static_cast<long>(k) * c;
            for (int b = 0; b < c; ++b) w_a[b] += t_ak * x_k[b];
        }
    }
    // -- 2. Resize --
    if (!Allocate(r, r, false, 0.0)) return;
    // -- 3. this = T W^T --
    for (int a = 0; a < r; ++a)
    {
        const double* t_a = T.m_pData + static_cast<long>(a) * tc;
        for (int b = 0; b < r; ++b)
        {
            const double* w_b = W.get() + static_cast<long>(b) * c;
            double s = 0.0;
            for (int k = 0; k < c; ++k) s += t_a[k] * w_b[k];
            m_pData[index_of(a, b, r)] = s;
        }
    }
}

// Transforms rows and/or columns p .. p+m-1 by the m x m matrix T (m = T's columns), in place,
// applying the flag bits in the order 1, 2, 4, 8, each on the result of the previous ones:
//   1  each column c, block rows:    this(p+j, c) = sum_k T(k, j) old(p+k, c)   (T^T from the left)
//   2  each row r, block columns:    this(r, p+j) = sum_k old(r, p+k) T(k, j)   (T from the right)
//   4  each column c, block rows:    this(p+j, c) = sum_k T(j, k) old(p+k, c)   (T from the left)
//   8  each row r, block columns:    this(r, p+j) = sum_k T(j, k) old(r, p+k)   (T^T from the right)
// So 1|2 gives T^T B T and 4|8 gives T B T^T on the diagonal block B.
void CMatrix::SubMult(CMatrix& T, int p, unsigned int flags)
{
    const int m = T.GetColumns();
    const int rows = m_nRows;
    const int cols = columns();
    if (m <= 0) return;
    std::unique_ptr<double[]> buf(new (std::nothrow) double[static_cast<std::size_t>(m)]);
    if (!buf) return;
    const double* t = T.m_pData;
    double* x = m_pData;

    // Block rows of one column: the new column part into buf, then back.
    auto block_rows = [&](bool transposedT)
    {
        for (int c = 0; c < cols; ++c)
        {
            for (int j = 0; j < m; ++j)
            {
                double s = 0.0;
                for (int k = 0; k < m; ++k)
                {
                    const double t_kj = transposedT ? t[index_of(k, j, m)] : t[index_of(j, k, m)];
                    s += t_kj * x[index_of(p + k, c, cols)];
                }
                buf[j] = s;
            }
            for (int j = 0; j < m; ++j) x[index_of(p + j, c, cols)] = buf[j];
        }
    };
    // Block columns of one row.
    auto block_cols = [&](bool transposedT)
    {
        for (int r = 0; r < rows; ++r)
        {
            double* x_r = x + static_cast<long>(r) * cols + p;
            for (int j = 0; j < m; ++j)
            {
                double s = 0.0;
                if (transposedT)
                    for (int k = 0; k < m; ++k) s += t[index_of(j, k, m)] * x_r[k];
                else
                    for (int k = 0; k < m; ++k) s += x_r[k] * t[index_of(k, j, m)];
                buf[j] = s;
            }
            for (int j = 0; j < m; ++j) x_r[j] = buf[j];
        }
    };
    if (flags & 1u) block_rows(true);
    if (flags & 2u) block_cols(false);
    if (flags & 4u) block_rows(false);
    if (flags & 8u) block_cols(true);
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
