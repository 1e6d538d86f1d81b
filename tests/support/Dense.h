// Small dense helpers for tests: matrices and vectors from literal values, their exact text, an
// independent reference product, random matrices from a seeded generator, and the scaled
// residual that judges the solves.
#pragma once

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <random>
#include <string>

namespace tarvel_test
{

// The unit roundoff u of double (half the spacing at 1.0): tolerances are c n u.
inline constexpr double kUnitRoundoff = 0x1p-53;

// A rows x cols CMatrix holding the values row by row; a CVector holding them.
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
// 17 significant digits, so equal texts mean equal bits (the sign of zero and of NaN included).
inline std::string Text(const CVector& v)
{
    const auto* m = dynamic_cast<const CMatrix*>(&v);
    std::string s = m ? std::to_string(m->GetRows()) + "x" + std::to_string(m->GetColumns())
                      : std::to_string(v.m_nSize);
    s += ":";
    for (int k = 0; k < v.m_nSize; ++k) s += " " + G17(v.m_pData[k]);
    return s;
}

// The text of x after f(x).
template <class T, class F> std::string After(T x, F f) { return (void)f(x), Text(x); }

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

// The normwise backward error of X as a solution of A X = B, which is scale-free:
//   ||A X - B||_inf / (||A||_inf ||X||_inf + ||B||_inf) (the norms CMatrix::InfNorm's, which
// Matrix_test checks by hand).
// A backward-stable solve keeps it below c n u whatever the condition of A (N. J. Higham,
// Accuracy and Stability of Numerical Algorithms, 2nd ed., thm. 7.1).
inline double RelativeResidual(const CMatrix& A, const CMatrix& X, const CMatrix& B)
{
    CMatrix R = ReferenceProduct(A, X);
    for (int k = 0; k < R.m_nSize; ++k) R.m_pData[k] -= B.m_pData[k];
    return R.InfNorm() / (A.InfNorm() * X.InfNorm() + B.InfNorm());
}

}  // namespace tarvel_test
