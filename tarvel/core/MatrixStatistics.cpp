// Row and column statistics of CMatrix: 2-norms, and the largest and smallest of a quantity
// computed per row or per column (Euclidean lengths, or a caller's function).
#include <tarvel/core/Matrix.h>

#include <cmath>

namespace
{

// Largest and smallest of value(t) for t = 0 .. count-1, each value computed once: both start
// at value(0); a value strictly above the maximum replaces it, otherwise one strictly below
// the minimum replaces that. No elements or no items: both 0.0.
template <class Value> void max_min(int count, bool empty, Value value, double& max, double& min)
{
    if (empty || count <= 0)
    {
        max = 0.0;
        min = 0.0;
        return;
    }
    max = min = value(0);
    for (int t = 1; t < count; ++t)
    {
        const double x = value(t);
        if (x > max)
            max = x;
        else if (x < min)
            min = x;
    }
}

}  // namespace

// |mode| == 1: v_j = sum_i a_ij^2 per column; otherwise v_i = sum_j a_ij^2 per row. mode >= 1
// then takes square roots (the 2-norms); mode <= 0 keeps the sums of squares.
void CMatrix::Vect2Norm(CVector& v, int mode) const
{
    const int cols = columns();
    const bool perColumn = mode == 1 || mode == -1;
    if (!v.Allocate(perColumn ? cols : m_nRows, true, 0.0)) return;
    double* s = v.m_pData;
    if (perColumn && cols == 1)  // one column (the solvers' residuals): a register sum
    {
        double sum = 0.0;
        for (int i = 0; i < m_nRows; ++i) sum += m_pData[i] * m_pData[i];
        s[0] = sum;
    }
    else
    {
        for (int i = 0; i < m_nRows; ++i)
        {
            const double* a_i = m_pData + static_cast<long>(i) * cols;
            if (perColumn)
                for (int j = 0; j < cols; ++j) s[j] += a_i[j] * a_i[j];
            else
                for (int j = 0; j < cols; ++j) s[i] += a_i[j] * a_i[j];
        }
    }
    if (mode >= 1)
        for (int t = 0; t < v.m_nSize; ++t) s[t] = std::sqrt(s[t]);
}

// Extreme Euclidean lengths of (element a, element b) of each row (perRow: columns a and b) or
// of each column (rows a and b); squared lengths are compared, roots taken at the end.
void CMatrix::GetMaxMinLength(double& max, double& min, int a, int b, bool perRow) const
{
    const int cols = columns();
    auto at = [&](int t, int k)
    { return perRow ? m_pData[index_of(t, k, cols)] : m_pData[index_of(k, t, cols)]; };
    max_min(
        perRow ? m_nRows : cols, m_nSize == 0,
        [&](int t)
        {
            const double x = at(t, a), y = at(t, b);
            return x * x + y * y;
        },
        max, min);
    max = std::sqrt(max);
    min = std::sqrt(min);
}

void CMatrix::GetMaxMinLength(double& max, double& min, int a, int b, int c, bool perRow) const
{
    const int cols = columns();
    auto at = [&](int t, int k)
    { return perRow ? m_pData[index_of(t, k, cols)] : m_pData[index_of(k, t, cols)]; };
    max_min(
        perRow ? m_nRows : cols, m_nSize == 0,
        [&](int t)
        {
            const double x = at(t, a), y = at(t, b), z = at(t, c);
            return x * x + y * y + z * z;
        },
        max, min);
    max = std::sqrt(max);
    min = std::sqrt(min);
}

// Extremes of f(element) over column k (perRow: one element per row) or over row k.
void CMatrix::GetMaxMin1(double (*f)(double), double& max, double& min, int k, bool perRow) const
{
    const int cols = columns();
    max_min(
        perRow ? m_nRows : cols, m_nSize == 0,
        [&](int t)
        { return f(perRow ? m_pData[index_of(t, k, cols)] : m_pData[index_of(k, t, cols)]); },
        max, min);
}

// f receives (element a, element b) of each row (perRow) or of each column.
void CMatrix::GetMaxMin2(double (*f)(double*), double& max, double& min, int a, int b,
                         bool perRow) const
{
    const int cols = columns();
    auto at = [&](int t, int k)
    { return perRow ? m_pData[index_of(t, k, cols)] : m_pData[index_of(k, t, cols)]; };
    max_min(
        perRow ? m_nRows : cols, m_nSize == 0,
        [&](int t)
        {
            double pair[2] = {at(t, a), at(t, b)};
            return f(pair);
        },
        max, min);
}

void CMatrix::GetMaxMin3(double (*f)(double*), double& max, double& min, int a, int b, int c,
                         bool perRow) const
{
    const int cols = columns();
    auto at = [&](int t, int k)
    { return perRow ? m_pData[index_of(t, k, cols)] : m_pData[index_of(k, t, cols)]; };
    max_min(
        perRow ? m_nRows : cols, m_nSize == 0,
        [&](int t)
        {
            double triple[3] = {at(t, a), at(t, b), at(t, c)};
            return f(triple);
        },
        max, min);
}
