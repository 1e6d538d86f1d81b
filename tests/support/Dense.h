// Small dense helpers for tests: matrices and vectors from literal values, an independent
// reference product, and well-conditioned random systems from a seeded generator.
#pragma once

#include <tarvel/Tarvel.h>

#include <cmath>
#include <initializer_list>
#include <random>
#include <vector>

namespace tarvel_test
{

// A rows x cols CMatrix holding the values row by row.
inline CMatrix MakeMatrix(int rows, int cols, std::initializer_list<double> values)
{
    CMatrix m(rows, cols, true, 0.0);
    int k = 0;
    for (double v : values) m.m_pData[k++] = v;
    return m;
}

inline CVector MakeVector(std::initializer_list<double> values)
{
    CVector v(static_cast<int>(values.size()), true, 0.0);
    int k = 0;
    for (double x : values) v[k++] = x;
    return v;
}

// Plain triple loop A * B, written independently of the library's product.
inline std::vector<double> ReferenceProduct(const CMatrix& A, const CMatrix& B)
{
    const int r = A.GetRows(), m = A.GetColumns(), n = B.GetColumns();
    std::vector<double> c(static_cast<std::size_t>(r) * n, 0.0);
    for (int i = 0; i < r; ++i)
        for (int j = 0; j < n; ++j)
        {
            double s = 0.0;
            for (int k = 0; k < m; ++k) s += A(i, k) * B(k, j);
            c[static_cast<std::size_t>(i) * n + j] = s;
        }
    return c;
}

// Elements of a matrix in storage order.
inline std::vector<double> Elements(const CVector& v)
{
    return std::vector<double>(v.m_pData, v.m_pData + v.m_nSize);
}

// A random n x n matrix with entries in [-1, 1] and n added to the diagonal: strictly
// diagonally dominant, so well conditioned and factorizable without pivoting.
inline CMatrix DiagonallyDominant(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    CMatrix A(n, n, true, 0.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) A(i, j) = u(gen) + (i == j ? n : 0.0);
    return A;
}

inline CMatrix RandomMatrix(int rows, int cols, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    CMatrix A(rows, cols, true, 0.0);
    for (int k = 0; k < A.m_nSize; ++k) A.m_pData[k] = u(gen);
    return A;
}

// Frobenius norm of A X - B over all columns, divided by that of B.
inline double RelativeResidual(const CMatrix& A, const CMatrix& X, const CMatrix& B)
{
    const std::vector<double> ax = ReferenceProduct(A, X);
    double r = 0.0, b = 0.0;
    for (int k = 0; k < B.m_nSize; ++k)
    {
        const double d = ax[static_cast<std::size_t>(k)] - B.m_pData[k];
        r += d * d;
        b += B.m_pData[k] * B.m_pData[k];
    }
    return std::sqrt(r) / std::sqrt(b);
}

}  // namespace tarvel_test
