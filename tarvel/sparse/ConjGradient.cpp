// Block conjugate gradients for A X = B, A symmetric positive definite held as its upper
// triangle (each row's first cell its diagonal), all columns of B at once: every column runs
// its own recurrence (step length alpha_c, direction update beta_c), and the products of all
// columns share one pass over A. Optionally on the symmetrically scaled system
// D^-1/2 A D^-1/2 y = D^-1/2 b, x = D^-1/2 y (D the diagonal of A).
// Reference: Y. Saad, Iterative Methods for Sparse Linear Systems, 2nd ed., sec. 6.7.
//
// The common iteration, for k = 0 .. maxIter - 1, with P the directions (held in B's array),
// R the residuals, X the iterate and rr the squared residual norms of the columns:
//   Q = A P;  alpha_c = rr_c / (p_c . q_c);  r_c -= alpha_c q_c;  rr_c = r_c . r_c;
//   x_c += alpha_c p_c;  stop when max(rr) / res0 < tol;  p_c = (rr_c / rrOld_c) p_c + r_c.
// The result is k, the iteration in which the test was met (maxIter when it never was).
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/detail/ListNodes.h>

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

// f(e, c) for every element e of a row-major array of mp elements in p columns, c its column,
// in increasing e. One column is a loop of its own so that the compiler sees c == 0.
template <class F> void for_each_element(long mp, int p, F f)
{
    if (p == 1)
        for (long e = 0; e < mp; ++e) f(e, 0);
    else
        for (long e = 0; e < mp; e += p)
            for (int c = 0; c < p; ++c) f(e + c, c);
}

// b_i / s_i for the m rows of B: the symmetric scaling of the right-hand sides, and with the
// same s, of the solution of the scaled system back to x.
void divide_rows(CMatrix& B, const std::vector<double>& s)
{
    const int m = B.GetRows();
    const int p = B.GetColumns();
    for (int i = 0; i < m; ++i)
        for (int t = 0; t < p; ++t) B(i, t) = B(i, t) / s[i];
}

// The common iteration around a product Q = A P, which counts its own flops and may form the
// step-length denominators p_c . q_c on the way (in increasing row) and then says so.
// Afterwards m_Flops grows by (9 m + 1) k p and T holds seconds. The update of X, which
// nothing in the iteration reads, is made in the pass that renews the directions (before they
// change), or after the stopping test in the last iteration.
// Progress: iteration k + 1 has done log(rr / res0) / log(tol) of the way to the stopping test.
template <class Product>
int iterate(CMatrix& P, CMatrix& R, CMatrix& Q, CMatrix& X, CVector& rr, double res0, int maxIter,
            double tol, CVector* T, Product product, const char* task)
{
    tarvel::detail::ProgressReport progress(task, maxIter);
    const double logTol = tol > 0.0 && tol < 1.0 ? std::log(tol) : 0.0;
    const int m = R.GetRows();
    const int p = P.GetColumns();
    const long mp = static_cast<long>(m) * p;
    CVector rrOld(rr);
    std::vector<double> pq(static_cast<std::size_t>(p));
    std::vector<double> alpha(static_cast<std::size_t>(p));
    std::vector<double> beta(static_cast<std::size_t>(p));
    double* pd = P.m_pData;
    const double* qd = Q.m_pData;
    double* rd = R.m_pData;
    double* xd = X.m_pData;
    int k = 0;
    for (; k < maxIter; ++k)
    {
        clock_out(T, 0);
        const bool formed = product(P, Q, pq.data());  // Q = A P
        clock_in(T, 0);
        clock_out(T, 1);
        for (int c = 0; c < p; ++c) rrOld.m_pData[c] = rr.m_pData[c];
        if (!formed)
        {
            std::fill(pq.begin(), pq.end(), 0.0);
            for_each_element(mp, p, [&](long e, int c) { pq[c] += pd[e] * qd[e]; });
        }
        for (int c = 0; c < p; ++c) alpha[c] = rr.m_pData[c] / pq[c];
        for_each_element(mp, p, [&](long e, int c) { rd[e] -= alpha[c] * qd[e]; });
        R.Vect2Norm(rr, -1);
        const double ratio = largest(rr) / res0;
        if (ratio < tol)
        {
            for_each_element(mp, p, [&](long e, int c) { xd[e] += alpha[c] * pd[e]; });
            clock_in(T, 1);
            progress.finish(k + 1, ratio);
            break;
        }
        progress.iterate(k + 1, logTol < 0.0 ? std::log(ratio) / logTol : 0.0, ratio);
        for (int c = 0; c < p; ++c) beta[c] = rr.m_pData[c] / rrOld.m_pData[c];
        for_each_element(mp, p,
                         [&](long e, int c)
                         {
                             xd[e] += alpha[c] * pd[e];
                             pd[e] = beta[c] * pd[e] + rd[e];
                         });
        clock_in(T, 1);
    }
    CVirtMat::m_Flops += (9u * static_cast<std::uint32_t>(m) + 1u) * static_cast<std::uint32_t>(k) *
                         static_cast<std::uint32_t>(p);
    if (T)
        for (int slot = 0; slot < 2; ++slot)
            (*T)[slot] = tarvel::detail::seconds_by_product((*T)[slot]);
    return k;
}

// Q = A P from the arrays of MakeArrayMat (the upper triangle; a row holding only its unit
// diagonal is exported with count 0). Row i of count c adds its first entry a p_j0 and every
// further entry a p_j to q_i, and a p_i to q_j ((4c - 2) p flops); a row of count 0 adds p_i
// to q_i (p flops), after what earlier rows scattered into q_i through their column i.
// Column t of q_i is summed in a register: an entry of row i in column i itself (not in an
// upper triangle) adds both of its terms there, in the order the scatter would. When every
// further entry lies right of its row's diagonal, q_i is final once row i is done, so with a
// single right-hand side the denominator p . q of the step length is formed on the way, in
// increasing row order.
struct ExportedProduct
{
    const double* values;
    const int* counts;
    const int* cols;
    int N;
    bool strictlyUpper;  // every further entry of row i has a column above i

    bool operator()(CMatrix& P, CMatrix& Q, double* pq) const
    {
        const int p = P.GetColumns();
        const double* pd = P.m_pData;
        double* qd = Q.m_pData;
        const long Np = static_cast<long>(N) * p;
        for (long e = 0; e < Np; ++e) qd[e] = 0.0;
        std::uint32_t flops = 0;
        const double* a = values;
        const int* col = cols;
        const bool formed = p == 1 && strictlyUpper && P.GetRows() == N;
        if (formed)
        {
            pq[0] = single_column(pd, qd);
            return true;
        }
        for (int i = 0; i < N; ++i)
        {
            const int c = counts[i];
            double* q_i = qd + static_cast<long>(i) * p;
            const double* p_i = pd + static_cast<long>(i) * p;
            for (int t = 0; t < p; ++t)
            {
                if (c == 0)
                {
                    q_i[t] += p_i[t];
                    continue;
                }
                double q = q_i[t] + a[0] * pd[static_cast<long>(col[0]) * p + t];
                for (int e = 1; e < c; ++e)
                {
                    const int j = col[e];
                    q += a[e] * pd[static_cast<long>(j) * p + t];
                    if (j == i)
                        q += a[e] * p_i[t];
                    else
                        qd[static_cast<long>(j) * p + t] += a[e] * p_i[t];
                }
                q_i[t] = q;
            }
            flops +=
                static_cast<std::uint32_t>(c == 0 ? 1 : 4 * c - 2) * static_cast<std::uint32_t>(p);
            a += c;
            col += c;
        }
        CVirtMat::m_Flops += flops;
        return false;
    }

    // The loop above for one right-hand side of N rows on a strict upper triangle (no further
    // entry in its own row's column): the same operations in the same order, with the indices
    // plain and the test for an entry on the diagonal gone. Returns p . q, in increasing row.
    double single_column(const double* pd, double* qd) const
    {
        std::uint32_t flops = 0;
        const double* a = values;
        const int* col = cols;
        double dot = 0.0;
        for (int i = 0; i < N; ++i)
        {
            const int c = counts[i];
            const double x = pd[i];
            if (c == 0)
            {
                qd[i] += x;
                dot += x * qd[i];
                ++flops;
                continue;
            }
            double q = qd[i] + a[0] * pd[col[0]];
            for (int e = 1; e < c; ++e)
            {
                const int j = col[e];
                q += a[e] * pd[j];
                qd[j] += a[e] * x;
            }
            qd[i] = q;
            dot += x * q;
            flops += static_cast<std::uint32_t>(4 * c - 2);
            a += c;
            col += c;
        }
        CVirtMat::m_Flops += flops;
        return dot;
    }
};

}  // namespace

// ConjGradient(B, X0, res, maxIter, tol, T, scale) on the row lists. T (if given) becomes two
// zeros and res0 the largest squared column norm of B. With X0, B -= A X0 (through the
// accumulating symmetric PreMult). With scale, s_i = sqrt(a_ii) (1 for a row without its
// diagonal), the cells become a_ij / (s_i s_j) and stay so, b_i /= s_i. Then R = B, Q = 0
// (N x p), X = 0 (m x p), P = B and the common iteration; x_i /= s_i; X0 += X with X0, else B
// takes X's array. res ends as max(rr), the worst squared residual norm of the iterated
// (scaled) system; the result is the iteration count.
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

    if (T) T->Allocate(2, true, 0.0);
    CVector rr;
    B.Vect2Norm(rr, -1);
    const double res0 = largest(rr);
    res = res0;
    if (X0)  // the residual of the start solution
    {
        *X0 *= -1.0;
        X0->PreMult(this, B, true, 1);
        B.Vect2Norm(rr, -1);
    }
    std::vector<double> s;
    if (scale)
    {
        s.assign(static_cast<std::size_t>(std::max(m, N)), 1.0);
        for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        {
            const double* d = r->m_nRow >= 0 ? r->GetValue(r->m_nRow) : nullptr;
            if (d) s[r->m_nRow] = std::sqrt(*d);
        }
        const int nS = static_cast<int>(s.size());
        auto s_of = [&](int i) { return i >= 0 && i < nS ? s[i] : 1.0; };
        for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
        {
            const double s_i = s_of(r->m_nRow);
            for (cell* c = r->m_pFirstCell; c; c = c->m_pNext)
                c->m_dValue = c->m_dValue / (s_i * s_of(c->m_nCol));
        }
        divide_rows(B, s);
        B.Vect2Norm(rr, -1);
    }
    CMatrix R(B);
    CMatrix Q(N, p, true, 0.0);
    CMatrix X(m, p, true, 0.0);
    const int k = iterate(
        B, R, Q, X, rr, res0, maxIter, tol, T,
        [this](CMatrix& P, CMatrix& Qm, double*)
        {
            P.PreMult(this, Qm, false, 1);
            return false;
        },
        "ConjGradient");
    res = largest(rr);
    if (scale) divide_rows(X, s);
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
// rows); the matrix is not changed. T (if given) becomes two zeros. With scale, s_i = 1 for a
// row of count 0 (its diagonal is 1), else the square root of its first value; every value
// a_ij becomes a_ij / (s_j s_i) and b_i /= s_i. Then R = B, Q = 0, X = 0, rr the squared
// column norms of B, res0 = max(rr), and the common iteration; x_i /= s_i; B takes X's array.
// With T, the report: both times, iterations per equation, res0, res and res / res0.
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
    if (T) T->Allocate(2, true, 0.0);
    const int N = GetRows();
    double* values = nullptr;
    int* counts = nullptr;
    int* cols = nullptr;
    MakeArrayMat(values, counts, cols, N);
    const std::unique_ptr<double[]> ownValues(values);
    const std::unique_ptr<int[]> ownCounts(counts);
    const std::unique_ptr<int[]> ownCols(cols);
    std::vector<double> s;
    if (scale)
    {
        s.assign(static_cast<std::size_t>(std::max(m, N)), 1.0);
        const double* a = values;
        for (int i = 0; i < N; ++i)
        {
            if (counts[i] > 0) s[i] = std::sqrt(a[0]);
            a += counts[i];
        }
        double* v = values;
        const int* col = cols;
        for (int i = 0; i < N; ++i)
            for (int e = 0; e < counts[i]; ++e, ++v, ++col) *v = *v / (s[*col] * s[i]);
        divide_rows(B, s);
    }
    CMatrix R(B);
    CMatrix Q(N, p, true, 0.0);
    CMatrix X(m, p, true, 0.0);
    CVector rr;
    B.Vect2Norm(rr, -1);
    const double res0 = largest(rr);
    res = res0;
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
                          ExportedProduct{values, counts, cols, N, strictlyUpper}, "ConjGradient2");
    res = largest(rr);
    if (scale) divide_rows(X, s);
    B.SwitchVectors(&X);
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
