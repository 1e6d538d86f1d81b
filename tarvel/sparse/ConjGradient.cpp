// Block conjugate gradients for A X = B, A symmetric positive definite held as its upper
// triangle (each row's first cell its diagonal), all columns of B at once: every column runs
// its own recurrence (step length alpha_c, direction update beta_c), and the products of all
// columns share one pass over A. Optionally on the symmetrically scaled system
// D^-1/2 A D^-1/2 y = D^-1/2 b, x = D^-1/2 y (D the diagonal of A).
// Reference: Y. Saad, Iterative Methods for Sparse Linear Systems, 2nd ed., sec. 6.7.
//
// The common iteration, for k = 0 .. maxIter - 1, with P the directions (held in B's array),
// R the residuals, X the iterate and rr the squared residual norms of the columns:
//   Q = A P;  alpha_c = rr_c / (p_c . q_c);  x_c += alpha_c p_c;  r_c -= alpha_c q_c;
//   rr_c = r_c . r_c;  stop when max(rr) / res0 < tol;  p_c = (rr_c / rrOld_c) p_c + r_c.
// The result is k, the iteration in which the test was met (maxIter when it never was).
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::Row;

namespace
{

// The largest element of rr (the first of equal ones, as CVector::Max); 0.0 when empty.
double largest(CVector& rr) { return rr.GetSize() > 0 ? rr.Max() : 0.0; }

// Time bookkeeping of the optional vector T: T[0] collects the products, T[1] the rest, in
// clock ticks until the end of the iteration.
void clock_out(CVector* T, int slot)
{
    if (T) (*T)[slot] -= static_cast<double>(TarvelClock());
}
void clock_in(CVector* T, int slot)
{
    if (T) (*T)[slot] += static_cast<double>(TarvelClock());
}

// x_c += alpha_c p_c over the m rows of p columns.
void add_directions(double* xd, const double* pd, const double* alpha, long m, int p)
{
    if (p == 1)
    {
        for (long i = 0; i < m; ++i) xd[i] += alpha[0] * pd[i];
        return;
    }
    for (long e = 0; e < m * p; e += p)
        for (int c = 0; c < p; ++c) xd[e + c] += alpha[c] * pd[e + c];
}

// Steps 2 to 9 of the common iteration around a product Q = A P (step 2, which counts its
// own flops; it may also form the step-length denominators p_c . q_c, in increasing row,
// and then says so). Afterwards m_Flops grows by (9 m + 1) k p and T is in seconds.
// The update of X, which nothing in the iteration reads, is made in the pass that renews the
// directions (before they change), or after the stopping test in the last iteration.
template <class Product>
int iterate(CMatrix& P, CMatrix& R, CMatrix& Q, CMatrix& X, CVector& rr, double res0, int maxIter,
            double tol, CVector* T, Product product)
{
    const int m = R.GetRows();
    const int p = P.GetColumns();
    const long mp = static_cast<long>(m) * p;
    CVector rrOld(rr);
    std::vector<double> sums(static_cast<std::size_t>(p));
    std::vector<double> alpha(static_cast<std::size_t>(p));
    std::vector<double> beta(static_cast<std::size_t>(p));
    int k = 0;
    for (; k < maxIter; ++k)
    {
        // -- 2. Q = A P --
        clock_out(T, 0);
        const bool dotted = product(P, Q, sums.data());
        clock_in(T, 0);
        clock_out(T, 1);
        // -- 4. Step lengths alpha_c = rr_c / (p_c . q_c) --
        double* pd = P.m_pData;
        const double* qd = Q.m_pData;
        double* rd = R.m_pData;
        for (int c = 0; c < p; ++c) rrOld.m_pData[c] = rr.m_pData[c];
        if (!dotted)
        {
            for (int c = 0; c < p; ++c) sums[static_cast<std::size_t>(c)] = 0.0;
            if (p == 1)
            {
                double s = 0.0;
                for (int i = 0; i < m; ++i) s += pd[i] * qd[i];
                sums[0] = s;
            }
            else
            {
                for (long e = 0; e < mp; e += p)
                    for (int c = 0; c < p; ++c)
                        sums[static_cast<std::size_t>(c)] += pd[e + c] * qd[e + c];
            }
        }
        for (int c = 0; c < p; ++c)
            alpha[static_cast<std::size_t>(c)] = rr.m_pData[c] / sums[static_cast<std::size_t>(c)];
        // -- 5. Residuals r_c -= alpha_c q_c --
        if (p == 1)
        {
            const double a = alpha[0];
            for (long e = 0; e < mp; ++e) rd[e] -= a * qd[e];
        }
        else
        {
            for (long e = 0; e < mp; e += p)
                for (int c = 0; c < p; ++c)
                    rd[e + c] -= alpha[static_cast<std::size_t>(c)] * qd[e + c];
        }
        // -- 6./7. Squared residual norms and the stopping test --
        R.Vect2Norm(rr, -1);
        if (largest(rr) / res0 < tol)
        {
            add_directions(X.m_pData, pd, alpha.data(), m, p);
            clock_in(T, 1);
            break;
        }
        // -- 5./8. x_c += alpha_c p_c, then p_c = beta_c p_c + r_c --
        double* xd = X.m_pData;
        if (p == 1)
        {
            const double a = alpha[0];
            const double b = rr.m_pData[0] / rrOld.m_pData[0];
            for (long e = 0; e < mp; ++e)
            {
                xd[e] += a * pd[e];
                pd[e] = b * pd[e] + rd[e];
            }
        }
        else
        {
            for (int c = 0; c < p; ++c)
                beta[static_cast<std::size_t>(c)] = rr.m_pData[c] / rrOld.m_pData[c];
            for (long e = 0; e < mp; e += p)
                for (int c = 0; c < p; ++c)
                {
                    xd[e + c] += alpha[static_cast<std::size_t>(c)] * pd[e + c];
                    pd[e + c] = beta[static_cast<std::size_t>(c)] * pd[e + c] + rd[e + c];
                }
        }
        clock_in(T, 1);
    }
    CVirtMat::m_Flops += (9u * static_cast<std::uint32_t>(m) + 1u) * static_cast<std::uint32_t>(k) *
                         static_cast<std::uint32_t>(p);
    if (T)
        for (int slot = 0; slot < 2; ++slot)
            (*T)[slot] = tarvel::detail::seconds_by_product((*T)[slot]);
    return k;
}

// Q = A P from the arrays of MakeArrayMat (the upper triangle, rows of count 0 acting as
// identity rows): a row of count 0 copies p_i into q_i (p flops); a row of count c adds its
// first entry a p_j0 and every further entry a p_j to q_i and a p_i to q_j ((4c - 2) p flops).
// When every further entry lies right of its row's diagonal (an upper triangle), q_i is final
// once row i is done: with a single right-hand side q_i is then summed in a register and the
// denominator p . q of the step length is formed on the way, in increasing row order.
struct ExportedProduct
{
    const double* values;
    const int* counts;
    const int* cols;
    int N;
    bool strictlyUpper;  // every further entry of row i has a column above i

    bool operator()(CMatrix& P, CMatrix& Q, double* sums) const
    {
        const int p = P.GetColumns();
        const double* pd = P.m_pData;
        double* qd = Q.m_pData;
        const long Np = static_cast<long>(N) * p;
        for (long e = 0; e < Np; ++e) qd[e] = 0.0;
        std::uint32_t flops = 0;
        const double* a = values;
        const int* col = cols;
        const bool fused = p == 1 && strictlyUpper && P.GetRows() == N;
        double dot = 0.0;
        for (int i = 0; i < N; ++i)
        {
            const int c = counts[i];
            double* qi = qd + static_cast<long>(i) * p;
            const double* pi = pd + static_cast<long>(i) * p;
            if (c == 0)
            {
                for (int t = 0; t < p; ++t) qi[t] = pi[t];
                flops += static_cast<std::uint32_t>(p);
                if (fused) dot += pi[0] * qi[0];
                continue;
            }
            flops += static_cast<std::uint32_t>(4 * c - 2) * static_cast<std::uint32_t>(p);
            if (fused)
            {
                double q = qi[0] + a[0] * pd[col[0]];
                const double x = pi[0];
                for (int e = 1; e < c; ++e)
                {
                    const int j = col[e];
                    q += a[e] * pd[j];
                    qd[j] += a[e] * x;
                }
                qi[0] = q;
                dot += x * q;
            }
            else
            {
                const double* pj0 = pd + static_cast<long>(col[0]) * p;
                for (int t = 0; t < p; ++t) qi[t] += a[0] * pj0[t];
                for (int e = 1; e < c; ++e)
                {
                    double* qj = qd + static_cast<long>(col[e]) * p;
                    const double* pj = pd + static_cast<long>(col[e]) * p;
                    for (int t = 0; t < p; ++t)
                    {
                        qi[t] += a[e] * pj[t];
                        qj[t] += a[e] * pi[t];
                    }
                }
            }
            a += c;
            col += c;
        }
        CVirtMat::m_Flops += flops;
        if (fused) sums[0] = dot;
        return fused;
    }
};

}  // namespace

// ConjGradient(B, X0, res, maxIter, tol, T, scale) on the row lists:
//  1. T (if given) becomes two zeros.  2. rr = squared column norms of B, res0 = max(rr).
//  3. With X0: B -= A X0 (through the accumulating symmetric PreMult), rr from B again.
//  4. With scale: s_i = sqrt(a_ii); the cells become a_ij / (s_i s_j), b_i /= s_i; rr again.
//  5./6. R = B, Q = 0 (N x p), X = 0 (m x p), P = B; the common iteration.
//  7. x_i /= s_i.  8. X0 += X with X0, else B takes X's array.  9. The iteration count.
// res ends as max(rr), the worst squared residual norm of the iterated (scaled) system.
int CSparseMatrix::ConjGradient(CVirtMat& Bv, CVirtMat* X0v, double& res, int maxIter, double tol,
                                CVector* T, bool scale)
{
    CMatrix* Bp = dynamic_cast<CMatrix*>(&Bv);
    if (!Bp)
    {
        res = 0.0;
        return 0;
    }
    CMatrix& B = *Bp;
    CMatrix* X0 = dynamic_cast<CMatrix*>(X0v);
    const int m = B.GetRows();
    const int p = B.GetColumns();
    const int N = GetRows();

    // -- 1./2. --
    if (T) T->Allocate(2, true, 0.0);
    CVector rr;
    B.Vect2Norm(rr, -1);
    const double res0 = largest(rr);
    res = res0;
    // -- 3. The residual of the start solution --
    if (X0)
    {
        *X0 *= -1.0;
        X0->PreMult(this, B, true, 1);
        B.Vect2Norm(rr, -1);
    }
    // -- 4. Symmetric scaling of the cells and of B --
    std::vector<double> s;
    if (scale)
    {
        s.assign(static_cast<std::size_t>(std::max(m, N)), 1.0);
        for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        {
            const double* d = r->m_nRow >= 0 ? r->GetValue(r->m_nRow) : nullptr;
            if (d) s[static_cast<std::size_t>(r->m_nRow)] = std::sqrt(*d);
        }
        const int nS = static_cast<int>(s.size());
        auto s_of = [&](int i) { return i >= 0 && i < nS ? s[static_cast<std::size_t>(i)] : 1.0; };
        for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        {
            const double si = s_of(r->m_nRow);
            for (cell* c = r->m_pFirstCell; c; c = c->m_pNext)
                c->m_dValue = c->m_dValue / (si * s_of(c->m_nCol));
        }
        for (int i = 0; i < m; ++i)
            for (int t = 0; t < p; ++t) B(i, t) = B(i, t) / s[static_cast<std::size_t>(i)];
        B.Vect2Norm(rr, -1);
    }
    // -- 5./6. --
    CMatrix R(B);
    CMatrix Q(N, p, true, 0.0);
    CMatrix X(m, p, true, 0.0);
    const int k = iterate(B, R, Q, X, rr, res0, maxIter, tol, T,
                          [this](CMatrix& P, CMatrix& Qm, double*)
                          {
                              P.PreMult(this, Qm, false, 1);
                              return false;
                          });
    res = largest(rr);
    // -- 7./8. --
    if (scale)
        for (int i = 0; i < m; ++i)
            for (int t = 0; t < p; ++t) X(i, t) = X(i, t) / s[static_cast<std::size_t>(i)];
    if (X0)
    {
        *X0 *= -1.0;
        *X0 += X;
    }
    else
    {
        B.SwitchVectors(&X);
    }
    return k;
}

// ConjGradient2(B, res, maxIter, tol, T, scale) on the arrays of MakeArrayMat (N = GetRows
// rows; unit and empty rows count 0 and act as identity rows); the matrix is not changed.
//  3. With scale: s_i = 1 for rows of count 0, else sqrt(first value); values a / (s_j s_i);
//     b_i /= s_i.  4. R = B, Q = 0, X = 0, rr = squared column norms of B, res0 = max(rr).
//  5. The common iteration.  7. x_i /= s_i.  8. B takes X's array.
//  9. With T: the report (times, iterations per equation, res0, res, res / res0).
int CSparseMatrix::ConjGradient2(CVirtMat& Bv, double& res, int maxIter, double tol, CVector* T,
                                 bool scale)
{
    CMatrix* Bp = dynamic_cast<CMatrix*>(&Bv);
    if (!Bp)
    {
        res = 0.0;
        return 0;
    }
    CMatrix& B = *Bp;
    const int m = B.GetRows();
    const int p = B.GetColumns();
    // -- 1./2. --
    if (T) T->Allocate(2, true, 0.0);
    const int N = GetRows();
    double* values = nullptr;
    int* counts = nullptr;
    int* cols = nullptr;
    MakeArrayMat(values, counts, cols, N);
    const std::unique_ptr<double[]> ownValues(values);
    const std::unique_ptr<int[]> ownCounts(counts);
    const std::unique_ptr<int[]> ownCols(cols);
    // -- 3. --
    std::vector<double> s;
    if (scale)
    {
        s.assign(static_cast<std::size_t>(std::max(m, N)), 1.0);
        const double* a = values;
        for (int i = 0; i < N; ++i)
        {
            if (counts[i] > 0) s[static_cast<std::size_t>(i)] = std::sqrt(a[0]);
            a += counts[i];
        }
        double* v = values;
        const int* col = cols;
        for (int i = 0; i < N; ++i)
            for (int e = 0; e < counts[i]; ++e, ++v, ++col)
                *v = *v / (s[static_cast<std::size_t>(*col)] * s[static_cast<std::size_t>(i)]);
        for (int i = 0; i < m; ++i)
            for (int t = 0; t < p; ++t) B(i, t) = B(i, t) / s[static_cast<std::size_t>(i)];
    }
    // -- 4. --
    CMatrix R(B);
    CMatrix Q(N, p, true, 0.0);
    CMatrix X(m, p, true, 0.0);
    CVector rr;
    B.Vect2Norm(rr, -1);
    const double res0 = largest(rr);
    res = res0;
    // -- 5./6. --
    bool strictlyUpper = true;
    {
        const int* col = cols;
        for (int i = 0; i < N; ++i)
        {
            for (int e = 1; e < counts[i]; ++e)
                if (col[e] <= i) strictlyUpper = false;
            col += counts[i];
        }
    }
    const int k = iterate(B, R, Q, X, rr, res0, maxIter, tol, T,
                          ExportedProduct{values, counts, cols, N, strictlyUpper});
    res = largest(rr);
    // -- 7./8. --
    if (scale)
        for (int i = 0; i < m; ++i)
            for (int t = 0; t < p; ++t) X(i, t) = X(i, t) / s[static_cast<std::size_t>(i)];
    B.SwitchVectors(&X);
    // -- 9. --
    if (T)
    {
        using namespace tarvel::detail;
        const ReportTime products = report_time((*T)[0]);
        const ReportTime rest = report_time((*T)[1]);
        show_report("Used time:\r\n Solving (1)    :   %u m %2.2f s\r\n Solving (2)    :   %u m "
                    "%2.2f s\r\n Iter/Eq's      :   %6.3f %%\r\n ||v_0||        :   %.3e\r\n "
                    "||v_i||         :   %.3e\r\n ||v_i||/||v_0||:   %.3e\r\n (norms are inf-norm)",
                    products.minutes, products.seconds, rest.minutes, rest.seconds,
                    static_cast<double>(k) / static_cast<double>(N) * 100.0, res0, res, res / res0);
    }
    return k;
}
