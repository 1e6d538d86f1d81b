// Small dense helpers for tests: matrices and vectors from literal values, their exact text, an
// independent reference product, and random matrices from a seeded generator.
#pragma once

#include <tarvel/Tarvel.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <string>

namespace tarvel_test
{

// A rows x cols CMatrix holding the values row by row.
inline CMatrix MakeMatrix(int rows, int cols, std::initializer_list<double> values)
{
    CMatrix m(rows, cols, true, 0.0);
    std::copy(values.begin(), values.end(), m.m_pData);
    return m;
}

inline CVector MakeVector(std::initializer_list<double> values)
{
    CVector v(static_cast<int>(values.size()), true, 0.0);
    std::copy(values.begin(), values.end(), v.m_pData);
    return v;
}

// printf's "%.17g" of v in the C locale, whatever locale the process is in.
inline std::string G17(double v)
{
    char buf[32];
    return std::string(buf,
                       std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17).ptr);
}

// "rows x columns: e0 e1 ..." for a matrix, "size: e0 e1 ..." for a vector; every element with
// 17 significant digits, so equal texts mean equal bits (but for the sign of zero).
inline std::string Text(const CVector& v)
{
    const auto* m = dynamic_cast<const CMatrix*>(&v);
    std::string s = m ? std::to_string(m->GetRows()) + "x" + std::to_string(m->GetColumns())
                      : std::to_string(v.m_nSize);
    s += ":";
    for (int k = 0; k < v.m_nSize; ++k) s += " " + G17(v.m_pData[k]);
    return s;
}

// Plain triple loop A * B, written independently of the library's product.
inline CMatrix ReferenceProduct(const CMatrix& A, const CMatrix& B)
{
    const int r = A.GetRows(), m = A.GetColumns(), n = B.GetColumns();
    CMatrix C(r, n, true, 0.0);
    for (int i = 0; i < r; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < m; ++k) C(i, j) += A(i, k) * B(k, j);
    return C;
}

// Entries uniform in [-1, 1]: square ones are well conditioned with probability near 1.
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
    const CMatrix AX = ReferenceProduct(A, X);
    double r = 0.0, b = 0.0;
    for (int k = 0; k < B.m_nSize; ++k)
    {
        r += (AX.m_pData[k] - B.m_pData[k]) * (AX.m_pData[k] - B.m_pData[k]);
        b += B.m_pData[k] * B.m_pData[k];
    }
    return std::sqrt(r / b);
}

}  // namespace tarvel_test
