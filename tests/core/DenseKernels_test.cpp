// The dense operations that run the kernels of detail/DenseKernels.h, on every kernel set this
// processor runs, against plain loops written here. The kernels keep each element's sequence
// of roundings, so the results must agree bit for bit (sign of zero included), at the sizes of
// element matrices, at sizes that leave partial vectors and tiles, and past one panel of k.
#include "support/Dense.h"
#include "support/DenseSeams.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace tarvel_test;

namespace
{

// Equal shapes and equal bits.
void ExpectSameBits(const CVector& got, const CVector& expected)
{
    ASSERT_EQ(Text(got), Text(expected));
    const std::size_t bytes = sizeof(double) * got.m_nSize;
    EXPECT_TRUE(bytes == 0 || std::memcmp(got.m_pData, expected.m_pData, bytes) == 0);
}

// A^T, by the definition.
CMatrix Transposed(const CMatrix& A)
{
    CMatrix T(A.GetColumns(), A.GetRows(), true, 0.0);
    for (int i = 0; i < A.GetRows(); ++i)
        for (int j = 0; j < A.GetColumns(); ++j) T(j, i) = A(i, j);
    return T;
}

// The identity of order n with t placed at (1, 1).
CMatrix Embedded(const CMatrix& t, int n)
{
    CMatrix I(n, n, true, 0.0);
    for (int i = 0; i < n; ++i) I(i, i) = 1.0;
    for (int i = 0; i < t.GetRows(); ++i)
        for (int j = 0; j < t.GetColumns(); ++j) I(1 + i, 1 + j) = t(i, j);
    return I;
}

struct Shape
{
    int r, m, n;  // A r x m, B m x n
};

// The sizes of element matrices (Hex8 6 x 24 and 24 x 6, Q4 3 x 8), awkward ones, and k past
// one panel of the product kernel (256), with enough columns for whole register tiles.
const Shape kShapes[] = {
    {3, 3, 3},    {6, 6, 6},    {6, 24, 24},  {24, 6, 6},   {6, 6, 24},  {3, 8, 8},   {8, 3, 8},
    {12, 12, 12}, {24, 24, 24}, {30, 30, 30}, {60, 60, 60}, {1, 1, 1},   {2, 2, 2},   {5, 5, 5},
    {7, 7, 7},    {13, 13, 13}, {31, 31, 31}, {5, 7, 13},   {13, 31, 7}, {9, 260, 3}, {9, 260, 29}};

using Operation =
    std::function<void(const CMatrix& A, const CMatrix& B, CMatrix& got, CMatrix& expected)>;

// Each operation on A (r x m) and B (m x n): got through the library, expected by plain loops.
const std::pair<const char*, Operation> kOperations[] = {
    {"A *= B",
     [](const CMatrix& A, const CMatrix& B, CMatrix& got, CMatrix& expected)
     {
         got = A;
         const double* array = got.m_pData;
         got *= B;
         expected = ReferenceProduct(A, B);
         EXPECT_TRUE(B.GetRows() != B.GetColumns() || got.m_pData == array);  // kept when square
     }},
    {"B *= B",
     [](const CMatrix&, const CMatrix& B, CMatrix& got, CMatrix& expected)
     {
         got = B;
         if (B.GetRows() == B.GetColumns()) got *= got;
         expected = B.GetRows() == B.GetColumns() ? ReferenceProduct(B, B) : B;
     }},
    {"PostPreMult",
     [](const CMatrix& A, const CMatrix& B, CMatrix& got, CMatrix& expected)
     {
         // D = B B^T (m x m), congruence by A: A D^T A^T, each sum from 0.0.
         got = ReferenceProduct(B, Transposed(B));
         expected = ReferenceProduct(A, Transposed(ReferenceProduct(A, got)));
         got.PostPreMult(A, 0);
     }},
    {"SubMult 1|2|4|8",
     [](const CMatrix& A, const CMatrix& B, CMatrix& got, CMatrix& expected)
     {
         // The m x m block at p = 1 of X ((m + 2) x (m + 3)) transformed by T = B B^T; products
         // with identity rows add exact zeros, so the bits are those of the sums.
         const int m = A.GetColumns();
         if (m > 64) return;  // the embedding products grow as m^3
         CMatrix T = ReferenceProduct(B, Transposed(B));
         const CMatrix X = RandomMatrix(m + 2, m + 3, 7), E = Transposed(T);
         got = X;
         got.SubMult(T, 1, 1u | 2u | 4u | 8u);
         expected = ReferenceProduct(Embedded(E, m + 2), X);         // 1: T^T from the left
         expected = ReferenceProduct(expected, Embedded(T, m + 3));  // 2: T from the right
         expected = ReferenceProduct(Embedded(T, m + 2), expected);  // 4: T from the left
         expected = ReferenceProduct(expected, Embedded(E, m + 3));  // 8: T^T from the right
     }},
    {"ApplyTo 1, 2",
     [](const CMatrix& A, const CMatrix& B, CMatrix& got, CMatrix& expected)
     {
         // y = y0 + B x (mode 1), then z = z0 + B^T y (mode 2), each accumulated onto y0 and z0
         // in index order; A's first elements as x. got and expected hold y, then z.
         const int r = B.GetRows(), n = B.GetColumns();
         CVector x(n, true, 0.0), y(r, true, 0.5), z(n, true, 0.25);
         for (int j = 0; j < n; ++j) x[j] = A.m_pData[j % A.m_nSize];
         B.ApplyTo(x, y, 1);
         B.ApplyTo(y, z, 2);
         got = CMatrix(1, r + n, true, 0.0);
         std::copy_n(y.m_pData, r, got.m_pData);
         std::copy_n(z.m_pData, n, got.m_pData + r);
         expected = CMatrix(1, r + n, true, 0.25);
         double* e = expected.m_pData;
         for (int i = 0; i < r; ++i)
         {
             double s = 0.0;
             for (int j = 0; j < n; ++j) s += B(i, j) * x[j];
             e[i] = 0.5 + s;
         }
         for (int i = 0; i < r; ++i)
             for (int j = 0; j < n; ++j) e[r + j] += e[i] * B(i, j);
     }},
    {"+= -= Add Scale AplusBC",
     [](const CMatrix& A, const CMatrix&, CMatrix& got, CMatrix& expected)
     {
         const CMatrix Y = RandomMatrix(A.GetRows(), A.GetColumns(), 11);
         got = A;
         got += Y;
         got *= -0.75;
         got -= Y;
         got.Add(Y, 3.0);
         CVector::AplusBC(got.m_pData, Y.m_pData, got.m_nSize, 0.5);
         CVector::AplusBC(got.m_pData, Y.m_pData, got.m_nSize, 0.0);
         expected = A;
         for (int k = 0; k < A.m_nSize; ++k)
         {
             double& x = expected.m_pData[k];
             const double y = Y.m_pData[k];
             x = ((((x + y) * -0.75 - y) + 3.0 * y) + 0.5 * y) + y;
         }
     }},
    {"LU, Det, Cholesky",
     [](const CMatrix&, const CMatrix& B, CMatrix& got, CMatrix& expected)
     {
         // S = B B^T + m I is symmetric positive definite; the plain loops of both
         // factorizations (Golub and Van Loan, sec. 3.2 and 4.2) give the reference, with the
         // determinant as the last element.
         const int m = B.GetRows(), mm = m * m;
         CMatrix S = ReferenceProduct(B, Transposed(B));
         for (int i = 0; i < m; ++i) S(i, i) += m;
         CMatrix L(S), U(S);
         ASSERT_TRUE(L.LU());
         ASSERT_EQ(U.Cholesky(), 1);
         got = CMatrix(1, 2 * mm + 1, true, S.Det());
         std::copy_n(L.m_pData, mm, got.m_pData);
         std::copy_n(U.m_pData, mm, got.m_pData + mm);
         expected = CMatrix(1, 2 * mm + 1, true, 1.0);
         double *a = expected.m_pData, *u = a + mm;
         std::copy_n(S.m_pData, mm, a);
         std::copy_n(S.m_pData, mm, u);
         for (int k = 0; k < m; ++k)
         {
             for (int i = k + 1; i < m; ++i)
             {
                 const double l = a[i * m + k] = a[i * m + k] / a[k * m + k];
                 for (int j = k + 1; j < m; ++j) a[i * m + j] -= l * a[k * m + j];
                 const double f = u[k * m + i] / u[k * m + k];
                 for (int j = i; j < m; ++j) u[i * m + j] -= f * u[k * m + j];
             }
             const double s = std::sqrt(u[k * m + k]);
             for (int j = 0; j < m; ++j) u[k * m + j] = j < k ? 0.0 : u[k * m + j] / s;
             a[2 * mm] *= a[k * m + k];
         }
     }},
    {"transposes",
     [](const CMatrix& A, const CMatrix&, CMatrix& got, CMatrix& expected)
     {
         got = A;
         got.Transpose();
         ExpectSameBits(CMatrix(A, true), got);
         expected = Transposed(A);
     }},
};

}  // namespace

TEST(DenseKernels, EveryOperationMatchesPlainLoopsOnEveryKernelSet)
{
    for (auto set = tarvel::detail::dense_kernel_sets(); *set; ++set)
    {
        const DenseKernelScope scope(**set);
        for (const Shape& s : kShapes)
        {
            const CMatrix A = RandomMatrix(s.r, s.m, 1), B = RandomMatrix(s.m, s.n, 2);
            for (const auto& [name, operation] : kOperations)
            {
                SCOPED_TRACE(std::string((*set)->name) + " " + name + " " + std::to_string(s.r) +
                             "x" + std::to_string(s.m) + "x" + std::to_string(s.n));
                CMatrix got, expected;
                operation(A, B, got, expected);
                ExpectSameBits(got, expected);
            }
        }
    }
}

// A zero product element keeps the sign that 0.0 + (-0.0) gives (+0.0), as the plain loop does;
// infinities and NaN propagate through the partial vectors as through whole ones.
TEST(DenseKernels, SignedZerosAndSpecialValues)
{
    for (auto set = tarvel::detail::dense_kernel_sets(); *set; ++set)
    {
        SCOPED_TRACE((*set)->name);
        const DenseKernelScope scope(**set);
        const double inf = 1.0 / 0.0;
        CMatrix A = MakeMatrix(1, 2, {-0.0, 1.0}), B = MakeMatrix(2, 3, {inf, 2, 3, 1, inf, -0.0});
        A *= B;  // (0 + -0 inf, 0 + -0 2 + inf, 0 + -0 3 + 1 -0)
        EXPECT_TRUE(std::isnan(A(0, 0)));
        EXPECT_EQ(A(0, 1), inf);
        EXPECT_EQ(A(0, 2), 0.0);
        EXPECT_FALSE(std::signbit(A(0, 2)));
    }
}
