// The dense operations that run the kernels of detail/DenseKernels.h, on every kernel set this
// processor runs, against plain loops written here. The kernels keep each element's sequence
// of roundings, so the results must agree bit for bit (sign of zero included), at the sizes of
// element matrices, at sizes that leave partial vectors and tiles, and past one panel of k.
#include "support/Dense.h"
#include "support/DenseSeams.h"

#include <gtest/gtest.h>

using namespace tarvel_test;

namespace
{

// Equal shapes and equal bits (Text shows the sign of zero).
void ExpectSame(const CVector& got, const CVector& want) { EXPECT_EQ(Text(got), Text(want)); }

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

// A r x m, B m x n: the sizes of element matrices (Hex8 6 x 24 and 24 x 6, Q4 3 x 8), awkward
// ones, and k past one panel of the product kernel (256), with enough columns for whole
// register tiles.
const int kShapes[][3] = {
    {3, 3, 3},    {6, 6, 6},    {6, 24, 24},  {24, 6, 6},   {6, 6, 24},  {3, 8, 8},   {8, 3, 8},
    {12, 12, 12}, {24, 24, 24}, {30, 30, 30}, {60, 60, 60}, {1, 1, 1},   {2, 2, 2},   {5, 5, 5},
    {7, 7, 7},    {13, 13, 13}, {31, 31, 31}, {5, 7, 13},   {13, 31, 7}, {9, 260, 3}, {9, 260, 29}};

// Each operation on A (r x m) and B (m x n), through the library and by plain loops.
const std::pair<const char*, std::function<void(const CMatrix& A, const CMatrix& B)>>
    kOperations[] = {
        {"A *= B, B *= B",
         [](const CMatrix& A, const CMatrix& B)
         {
             CMatrix got(A), self(B);
             const double* array = got.m_pData;
             got *= B;
             ExpectSame(got, ReferenceProduct(A, B));
             EXPECT_TRUE(B.GetRows() != B.GetColumns() || got.m_pData == array);  // kept
             if (B.GetRows() == B.GetColumns()) ExpectSame(self *= self, ReferenceProduct(B, B));
         }},
        {"PostPreMult",
         [](const CMatrix& A, const CMatrix& B)
         {
             // D = B B^T (m x m), congruence by A: A D^T A^T, each sum from 0.0.
             const CMatrix D = ReferenceProduct(B, Transposed(B));
             CMatrix got(D);
             got.PostPreMult(A, 0);
             ExpectSame(got, ReferenceProduct(A, Transposed(ReferenceProduct(A, D))));
         }},
        {"SubMult 1|2|4|8",
         [](const CMatrix& A, const CMatrix& B)
         {
             // The m x m block at p = 1 of X ((m + 2) x (m + 3)) transformed by T = B B^T;
             // products with identity rows add exact zeros, so the bits are those of the sums.
             const int m = A.GetColumns();
             if (m > 64) return;  // the embedding products grow as m^3
             CMatrix T = ReferenceProduct(B, Transposed(B)), E = Transposed(T);
             const CMatrix X = RandomMatrix(m + 2, m + 3, 7);
             CMatrix got(X);
             got.SubMult(T, 1, 1u | 2u | 4u | 8u);
             CMatrix e = ReferenceProduct(Embedded(E, m + 2), X);       // 1: T^T from the left
             e = ReferenceProduct(e, Embedded(T, m + 3));               // 2: T from the right
             e = ReferenceProduct(Embedded(T, m + 2), e);               // 4: T from the left
             ExpectSame(got, ReferenceProduct(e, Embedded(E, m + 3)));  // 8: T^T from the right
         }},
        {"ApplyTo 1, 2",
         [](const CMatrix& A, const CMatrix& B)
         {
             // y = 0.5 + B x (the sum from 0.0), then z_j = 0.25 + y_0 b_0j + y_1 b_1j + ... in
             // index order; A's elements as x.
             const int r = B.GetRows(), n = B.GetColumns();
             CMatrix x(n, 1, true, 0.0), y(r, 1, true, 0.5), z(n, 1, true, 0.25), ez(z);
             for (int j = 0; j < n; ++j) x.m_pData[j] = A.m_pData[j % A.m_nSize];
             B.ApplyTo(x, y, 1);
             B.ApplyTo(y, z, 2);
             CMatrix ey = ReferenceProduct(B, x);
             for (int i = 0; i < r; ++i) ey.m_pData[i] += 0.5;
             for (int i = 0; i < r; ++i)
                 for (int j = 0; j < n; ++j) ez.m_pData[j] += y.m_pData[i] * B(i, j);
             ExpectSame(y, ey);
             ExpectSame(z, ez);
         }},
        {"+= -= Add Scale AplusBC",
         [](const CMatrix& A, const CMatrix&)
         {
             const CMatrix Y = RandomMatrix(A.GetRows(), A.GetColumns(), 11);
             CMatrix got(A), expected(A);
             got += Y;
             got *= -0.75;
             got -= Y;
             got.Add(Y, 3.0);
             CVector::AplusBC(got.m_pData, Y.m_pData, got.m_nSize, 0.5);
             CVector::AplusBC(got.m_pData, Y.m_pData, got.m_nSize, 0.0);
             double *x = expected.m_pData, *y = Y.m_pData;
             for (int k = 0; k < A.m_nSize; ++k)
                 x[k] = ((((x[k] + y[k]) * -0.75 - y[k]) + 3.0 * y[k]) + 0.5 * y[k]) + y[k];
             ExpectSame(got, expected);
         }},
        {"LU, Det, Cholesky",
         [](const CMatrix&, const CMatrix& B)
         {
             // S = B B^T + m I is symmetric positive definite; the plain loops of both
             // factorizations (Golub and Van Loan, sec. 3.2 and 4.2) give the reference.
             const int m = B.GetRows();
             CMatrix S = ReferenceProduct(B, Transposed(B));
             for (int i = 0; i < m; ++i) S(i, i) += m;
             CMatrix L(S), U(S), a(S), u(S);
             ASSERT_TRUE(L.LU());
             ASSERT_EQ(U.Cholesky(), 1);
             double det = 1.0;
             for (int k = 0; k < m; ++k)
             {
                 for (int i = k + 1; i < m; ++i)
                 {
                     const double l = a(i, k) = a(i, k) / a(k, k), f = u(k, i) / u(k, k);
                     for (int j = k + 1; j < m; ++j) a(i, j) -= l * a(k, j);
                     for (int j = i; j < m; ++j) u(i, j) -= f * u(k, j);
                 }
                 const double s = std::sqrt(u(k, k));
                 for (int j = 0; j < m; ++j) u(k, j) = j < k ? 0.0 : u(k, j) / s;
                 det *= a(k, k);
             }
             ExpectSame(L, a);
             ExpectSame(U, u);
             EXPECT_EQ(G17(S.Det()), G17(det));
         }},
        {"transposes",
         [](const CMatrix& A, const CMatrix&)
         {
             CMatrix got(A);
             const double* array = got.m_pData;
             got.Transpose();
             ExpectSame(got, Transposed(A));
             EXPECT_TRUE(A.GetRows() != A.GetColumns() || got.m_pData == array);  // in place
             ExpectSame(CMatrix(A, true), got);
         }},
};

}  // namespace

// Also: a zero product element keeps the sign that 0.0 + (-0.0) gives (+0.0), as the plain
// loop does; infinities and NaN propagate through the partial vectors as through whole ones.
TEST(DenseKernels, EveryOperationMatchesPlainLoopsOnEveryKernelSet)
{
    const double inf = 1.0 / 0.0;
    for (auto set = tarvel::detail::dense_kernel_sets(); *set; ++set)
    {
        SCOPED_TRACE((*set)->name);
        SetDenseKernels(*set);
        CMatrix Z = MakeMatrix(1, 2, {-0.0, 1.0});
        Z *= MakeMatrix(2, 3,
                        {inf, 2, 3, 1, inf, -0.0});  // 0 + -0 inf, 0 + -0 2 + inf, 0 + -0 3 + 1 -0
        EXPECT_TRUE(std::isnan(Z(0, 0)));
        EXPECT_EQ(G17(Z(0, 1)) + " " + G17(Z(0, 2)), "inf 0");
        for (const auto& [r, m, n] : kShapes)
        {
            const CMatrix A = RandomMatrix(r, m, 1), B = RandomMatrix(m, n, 2);
            for (const auto& [name, operation] : kOperations)
            {
                SCOPED_TRACE(testing::Message() << name << " " << r << "x" << m << "x" << n);
                operation(A, B);
            }
        }
    }
    SetDenseKernels(nullptr);
}
