// Reference assembly, reduction and residual (contracts in Reference.h).
#include "fem/Reference.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvel_fem
{

void CsrMatrix::multiply(const double* x, double* y) const
{
    for (long i = 0; i < n; ++i)
    {
        double s = 0.0;
        for (long q = row_start[i]; q < row_start[i + 1]; ++q) s += val[q] * x[col[q]];
        y[i] = s;
    }
}

CsrMatrix assemble_reference(const FemProblem& p)
{
    // -- 1. Count the coupling slots per row (duplicates included) --
    const int k = p.dofs_per_element;
    CsrMatrix A;
    A.n = p.num_dofs;
    std::vector<long> slots(static_cast<std::size_t>(A.n) + 1, 0);
    for (long e = 0; e < p.num_elements(); ++e)
        for (int a = 0; a < k; ++a) slots[p.dofs(e)[a] + 1] += k;
    for (long i = 0; i < A.n; ++i) slots[i + 1] += slots[i];

    // -- 2. Scatter (column, value) pairs into the slots --
    std::vector<std::pair<long, double>> entries(static_cast<std::size_t>(slots[A.n]));
    std::vector<long> fill(slots.begin(), slots.end() - 1);
    for (long e = 0; e < p.num_elements(); ++e)
    {
        const long* d = p.dofs(e);
        const double* ke = p.matrix(e);
        for (int a = 0; a < k; ++a)
            for (int b = 0; b < k; ++b) entries[fill[d[a]]++] = {d[b], ke[a * k + b]};
    }

    // -- 3. Sort each row by column and sum the duplicates (C1) --
    A.row_start.assign(static_cast<std::size_t>(A.n) + 1, 0);
    for (long i = 0; i < A.n; ++i)
    {
        auto first = entries.begin() + slots[i], last = entries.begin() + slots[i + 1];
        std::sort(first, last, [](const auto& l, const auto& r) { return l.first < r.first; });
        for (auto it = first; it != last; ++it)
        {
            if (static_cast<long>(A.col.size()) > A.row_start[i] && A.col.back() == it->first)
                A.val.back() += it->second;
            else
            {
                A.col.push_back(it->first);
                A.val.push_back(it->second);
            }
        }
        A.row_start[i + 1] = static_cast<long>(A.col.size());
    }
    return A;
}

ReducedSystem reduce(const FemProblem& p)
{
    ReducedSystem r;
    r.K = assemble_reference(p);
    CsrMatrix& K = r.K;
    std::vector<char> fixed(static_cast<std::size_t>(K.n), 0);
    std::vector<double> g(static_cast<std::size_t>(K.n), 0.0);
    for (std::size_t t = 0; t < p.fixed_dofs.size(); ++t)
    {
        fixed[p.fixed_dofs[t]] = 1;
        g[p.fixed_dofs[t]] = p.fixed_values[t];
    }
    // b_red = f - K_{:,fixed} g on free rows; every coupling to a fixed DOF becomes 0, the fixed
    // rows become unit rows (zeros kept so the pattern stays that of K).
    r.b = p.load;
    for (long i = 0; i < K.n; ++i)
    {
        for (long q = K.row_start[i]; q < K.row_start[i + 1]; ++q)
        {
            const long j = K.col[q];
            if (fixed[i])
                K.val[q] = (j == i) ? 1.0 : 0.0;
            else if (fixed[j])
            {
                r.b[i] -= K.val[q] * g[j];
                K.val[q] = 0.0;
            }
        }
        if (fixed[i]) r.b[i] = g[i];
    }
    return r;
}

double relative_residual(const CsrMatrix& A, const double* u, const std::vector<double>& b)
{
    std::vector<double> Au(static_cast<std::size_t>(A.n));
    A.multiply(u, Au.data());
    double rr = 0.0, bb = 0.0;
    for (long i = 0; i < A.n; ++i)
    {
        const double ri = Au[i] - b[i];
        rr += ri * ri;
        bb += b[i] * b[i];
    }
    if (bb == 0.0) return std::numeric_limits<double>::infinity();
    return std::sqrt(rr / bb);
}

}  // namespace tarvel_fem
