// Block conjugate gradients: the hand-worked 2 x 2 case with its counts, convergence to the
// dense solution with two right-hand sides (scaling on and off), maxIter 0, a prescribed unit
// row, a start solution, and the ConjGradient2 report.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <regex>

using namespace tarvel_test;
using ConjGradient = GlobalStateTest;

namespace
{

CSparseMatrix TwoByTwo() { return FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}}); }

CMatrix Column(std::initializer_list<double> v)
{
    CMatrix B(static_cast<int>(v.size()), 1, true, 0.0);
    int i = 0;
    for (double x : v) B.m_pData[i++] = x;
    return B;
}

// Largest squared column norm, as the solvers' res0.
double LargestSquaredColumnNorm(const CMatrix& B)
{
    double worst = 0.0;
    for (int c = 0; c < B.GetColumns(); ++c)
    {
        double s = 0.0;
        for (int i = 0; i < B.GetRows(); ++i) s += B(i, c) * B(i, c);
        worst = std::max(worst, s);
    }
    return worst;
}

void ExpectNearSolution(const CMatrix& X, const CMatrix& reference, double tol)
{
    ASSERT_EQ(X.m_nSize, reference.m_nSize);
    for (int e = 0; e < X.m_nSize; ++e)
        EXPECT_NEAR(X.m_pData[e], reference.m_pData[e],
                    tol * (1.0 + std::fabs(reference.m_pData[e])))
            << e;
}

// The common iteration written out step by step on the exported arrays (no fusion, no
// shortcuts), for the bit-for-bit comparison with ConjGradient2: returns k, leaves the
// solution in X and the final res in res.
int ReferenceCG2(CSparseMatrix& A, const CMatrix& B0, CMatrix& X, double& res, int maxIter,
                 double tol, bool scale)
{
    const int N = A.GetRows(), m = B0.GetRows(), p = B0.GetColumns();
    double* values = nullptr;
    int *counts = nullptr, *cols = nullptr;
    A.MakeArrayMat(values, counts, cols, N);
    std::vector<double> s(static_cast<size_t>(std::max(m, N)), 1.0);
    CMatrix P(B0);
    if (scale)
    {
        for (int i = 0, at = 0; i < N; at += counts[i], ++i)
            if (counts[i] > 0) s[i] = std::sqrt(values[at]);
        for (int i = 0, at = 0; i < N; ++i)
            for (int e = 0; e < counts[i]; ++e, ++at)
                values[at] = values[at] / (s[cols[at]] * s[i]);
        for (int i = 0; i < m; ++i)
            for (int c = 0; c < p; ++c) P(i, c) = P(i, c) / s[i];
    }
    CMatrix R(P), Q(N, p, true, 0.0);
    X = CMatrix(m, p, true, 0.0);
    std::vector<double> rr(p, 0.0), rrOld(p), alpha(p);
    for (int c = 0; c < p; ++c)
        for (int i = 0; i < m; ++i) rr[c] += P(i, c) * P(i, c);
    const double res0 = *std::max_element(rr.begin(), rr.end());
    int k = 0;
    for (; k < maxIter; ++k)
    {
        for (int e = 0; e < Q.m_nSize; ++e) Q.m_pData[e] = 0.0;
        for (int i = 0, at = 0; i < N; ++i)
        {
            if (counts[i] == 0)
                for (int c = 0; c < p; ++c) Q(i, c) = P(i, c);
            for (int e = 0; e < counts[i]; ++e, ++at)
                for (int c = 0; c < p; ++c)
                {
                    Q(i, c) += values[at] * P(cols[at], c);
                    if (e > 0) Q(cols[at], c) += values[at] * P(i, c);
                }
        }
        rrOld = rr;
        for (int c = 0; c < p; ++c)
        {
            double d = 0.0;
            for (int i = 0; i < m; ++i) d += P(i, c) * Q(i, c);
            alpha[c] = rr[c] / d;
        }
        for (int i = 0; i < m; ++i)
            for (int c = 0; c < p; ++c)
            {
                X(i, c) += alpha[c] * P(i, c);
                R(i, c) -= alpha[c] * Q(i, c);
            }
        for (int c = 0; c < p; ++c)
        {
            rr[c] = 0.0;
            for (int i = 0; i < m; ++i) rr[c] += R(i, c) * R(i, c);
        }
        if (*std::max_element(rr.begin(), rr.end()) / res0 < tol) break;
        for (int i = 0; i < m; ++i)
            for (int c = 0; c < p; ++c) P(i, c) = rr[c] / rrOld[c] * P(i, c) + R(i, c);
    }
    res = *std::max_element(rr.begin(), rr.end());
    for (int i = 0; i < m && scale; ++i)
        for (int c = 0; c < p; ++c) X(i, c) = X(i, c) / s[i];
    delete[] values;
    delete[] counts;
    delete[] cols;
    return k;
}

bool SameDense(const CMatrix& a, const CMatrix& b)
{
    return a.m_nSize == b.m_nSize &&
           std::memcmp(a.m_pData, b.m_pData, sizeof(double) * static_cast<size_t>(a.m_nSize)) == 0;
}

}  // namespace

// ConjGradient2 against the step-by-step reference, and ConjGradient (products through
// PreMult on the lists) against ConjGradient2: the same iterations, bits, res and flops.
TEST_F(ConjGradient, SolversFollowTheIterationBitForBit)
{
    for (int p : {1, 3})
        for (bool scale : {false, true})
        {
            SCOPED_TRACE(::testing::Message() << "p " << p << " scale " << scale);
            Problem prob = MakeProblem(PoissonQ4(9, 8), p, true, 3);
            // A prescribed unit row: identity in ConjGradient2.
            CSparseMatrix::row* r5 = prob.A.GetFirstRow();
            while (r5->m_nRow != 5) r5 = r5->m_pNextRow;
            r5->Allocate(1, 1.0, 5);
            CMatrix X;
            double refRes = 0.0;
            const int refK = ReferenceCG2(prob.A, prob.b, X, refRes, 40, 1e-20, scale);
            CMatrix B(prob.b);
            double res = 0.0;
            CVirtMat::m_Flops = 0;
            EXPECT_EQ(prob.A.ConjGradient2(B, res, 40, 1e-20, nullptr, scale), refK);
            EXPECT_TRUE(SameDense(B, X));
            EXPECT_EQ(std::memcmp(&res, &refRes, sizeof res), 0);
            const std::uint32_t flops2 = CVirtMat::m_Flops;

            if (scale) continue;  // ConjGradient's res0 is taken before scaling
            Problem plain = MakeProblem(PoissonQ4(9, 8), p, true, 3);  // no unit row
            CMatrix B1(plain.b), B2(plain.b);
            double res1 = 0.0, res2 = 0.0;
            CVirtMat::m_Flops = 0;
            const int k1 = plain.A.ConjGradient(B1, nullptr, res1, 40, 1e-20, nullptr, false);
            const std::uint32_t flops1 = CVirtMat::m_Flops;
            CVirtMat::m_Flops = 0;
            const int k2 = plain.A.ConjGradient2(B2, res2, 40, 1e-20, nullptr, false);
            EXPECT_EQ(k1, k2);
            EXPECT_TRUE(SameDense(B1, B2));
            EXPECT_EQ(res1, res2);
            EXPECT_EQ(flops1, CVirtMat::m_Flops);
            EXPECT_GT(flops2, 0u);
        }
}

// Two iterations reach the solution of the 2 x 2 system; the test is met in iteration 1.
// Flops: 2 iterations of the product (6 + 2) plus (9 m + 1) k p = 19.
TEST_F(ConjGradient, TwoByTwoByHandBothSolvers)
{
    for (int solver = 0; solver < 2; ++solver)
    {
        SCOPED_TRACE(solver);
        CSparseMatrix A = TwoByTwo();
        CMatrix B = Column({1, 2});
        double res = -1.0;
        CVirtMat::m_Flops = 0;
        const int k = solver == 0 ? A.ConjGradient(B, nullptr, res, 10, 1e-12, nullptr, false)
                                  : A.ConjGradient2(B, res, 10, 1e-12, nullptr, false);
        EXPECT_EQ(k, 1);
        EXPECT_NEAR(B.m_pData[0], 1.0 / 11.0, 1e-14);
        EXPECT_NEAR(B.m_pData[1], 7.0 / 11.0, 1e-14);
        EXPECT_LT(res, 1e-12 * 5.0);
        EXPECT_EQ(CVirtMat::m_Flops, 35u);
        EXPECT_EQ(Structure(A), "0: 0=4 1=1; 1: 1=3");
    }
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ConjGradient, ReachesTheDenseSolutionWithTwoRightHandSides)
{
    const Mesh meshes[] = {GridLaplacian(12, 10), PoissonQ4(11, 9)};
    for (const Mesh& mesh : meshes)
        for (int solver = 0; solver < 2; ++solver)
            for (bool scale : {false, true})
            {
                SCOPED_TRACE(::testing::Message()
                             << mesh.n << " solver " << solver << " scale " << scale);
                Problem p = MakeProblem(mesh, 2, true, 5);
                const CMatrix reference = DenseSolve(p.dense, p.b);
                double res = 0.0;
                const int k =
                    solver == 0 ? p.A.ConjGradient(p.rhs, nullptr, res, 1000, 1e-24, nullptr, scale)
                                : p.A.ConjGradient2(p.rhs, res, 1000, 1e-24, nullptr, scale);
                EXPECT_GT(k, 1);
                EXPECT_LT(k, 1000);
                EXPECT_EQ(p.rhs.GetRows(), mesh.n);
                EXPECT_EQ(p.rhs.GetColumns(), 2);
                ExpectNearSolution(p.rhs, reference, 1e-9);
                if (solver == 0 && scale)  // the cells stay scaled: unit diagonal
                {
                    EXPECT_NEAR(*p.A.GetValue(3, 3), 1.0, 1e-15);
                }
            }
}

TEST_F(ConjGradient, MaxIterZeroReturnsZeroAndTheRightHandSideNorm)
{
    for (int solver = 0; solver < 2; ++solver)
        for (bool scale : {false, true})
        {
            SCOPED_TRACE(::testing::Message() << "solver " << solver << " scale " << scale);
            CSparseMatrix A = TwoByTwo();
            CMatrix B = Column({1, 2});
            CMatrix scaled = Column({1 / std::sqrt(4.0), 2 / std::sqrt(3.0)});
            double res = -1.0;
            const int k = solver == 0 ? A.ConjGradient(B, nullptr, res, 0, 1e-12, nullptr, scale)
                                      : A.ConjGradient2(B, res, 0, 1e-12, nullptr, scale);
            EXPECT_EQ(k, 0);
            EXPECT_DOUBLE_EQ(res, LargestSquaredColumnNorm(scale ? scaled : Column({1, 2})));
            EXPECT_EQ(B.m_pData[0], 0.0);
            EXPECT_EQ(B.m_pData[1], 0.0);
        }
}

TEST_F(ConjGradient, PrescribedUnitRowActsAsIdentity)
{
    CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}, {2, 2, 1.0}});
    CMatrix B = Column({1, 2, 5});
    double res = 0.0;
    const int k = A.ConjGradient2(B, res, 10, 1e-20, nullptr, true);
    EXPECT_LE(k, 3);
    EXPECT_NEAR(B.m_pData[0], 1.0 / 11.0, 1e-14);
    EXPECT_NEAR(B.m_pData[1], 7.0 / 11.0, 1e-14);
    EXPECT_NEAR(B.m_pData[2], 5.0, 1e-14);
}

TEST_F(ConjGradient, StartSolutionReceivesTheCorrection)
{
    Problem p = MakeProblem(GridLaplacian(9, 8), 2, true, 11);
    const CMatrix reference = DenseSolve(p.dense, p.b);
    CMatrix X0(reference);
    for (int e = 0; e < X0.m_nSize; ++e) X0.m_pData[e] *= 0.9;  // a rough guess
    double res = 0.0;
    const int k = p.A.ConjGradient(p.rhs, &X0, res, 1000, 1e-24, nullptr, false);
    EXPECT_GT(k, 1);
    ExpectNearSolution(X0, reference, 1e-9);
}

TEST_F(ConjGradient, TimesAndTheReportOfConjGradient2)
{
    CSparseMatrix A = TwoByTwo();
    CMatrix B = Column({1, 2});
    CVector T;
    double res = 0.0;
    ASSERT_EQ(A.ConjGradient2(B, res, 10, 1e-12, &T, false), 1);
    ASSERT_EQ(T.GetSize(), 2);
    EXPECT_GE(T[0], 0.0);
    EXPECT_GE(T[1], 0.0);
    ASSERT_EQ(m_messages.size(), 1u);
    char tail[256];
    std::snprintf(tail, sizeof tail,
                  "\r\n Iter/Eq's      :   50.000 %%\r\n ||v_0||        :   5.000e+00\r\n "
                  "||v_i||         :   %.3e\r\n ||v_i||/||v_0||:   %.3e\r\n (norms are inf-norm)",
                  res, res / 5.0);
    const std::string& text = m_messages[0];
    const std::regex head("Used time:\r\n Solving \\(1\\)    :   \\d+ m +\\d+\\.\\d\\d s\r\n "
                          "Solving \\(2\\)    :   \\d+ m +\\d+\\.\\d\\d s");
    const size_t cut = text.find("\r\n Iter/Eq's");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_TRUE(std::regex_match(text.substr(0, cut), head)) << text;
    EXPECT_EQ(text.substr(cut), tail);

    // ConjGradient fills T but shows nothing.
    CSparseMatrix A2 = TwoByTwo();
    CMatrix B2 = Column({1, 2});
    CVector T2;
    A2.ConjGradient(B2, nullptr, res, 10, 1e-12, &T2, false);
    EXPECT_EQ(T2.GetSize(), 2);
    EXPECT_EQ(m_messages.size(), 1u);
}

// A zero right-hand side gives 0 / 0 in the first step length: the results are NaN, the test
// is never met, and the solvers run to maxIter without failing otherwise.
TEST_F(ConjGradient, ZeroDenominatorGivesNaNAndRunsToMaxIter)
{
    for (int solver = 0; solver < 2; ++solver)
    {
        CSparseMatrix A = TwoByTwo();
        CMatrix B = Column({0, 0});
        double res = 0.0;
        const int k = solver == 0 ? A.ConjGradient(B, nullptr, res, 4, 1e-12, nullptr, false)
                                  : A.ConjGradient2(B, res, 4, 1e-12, nullptr, false);
        EXPECT_EQ(k, 4);
        EXPECT_TRUE(std::isnan(B.m_pData[0]));
        EXPECT_TRUE(std::isnan(res));
    }
}

// ConjGradient scales the cells themselves; a row without its diagonal scales by 1.0.
TEST_F(ConjGradient, ScalingChangesTheCellsAndSkipsMissingDiagonals)
{
    CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 2, 3}, {2, 2, 9}});
    CMatrix B = Column({2, 1, 3});
    double res = 0.0;
    A.ConjGradient(B, nullptr, res, 0, 1e-12, nullptr, true);
    EXPECT_EQ(Structure(A), "0: 0=1 1=0.5; 1: 2=1; 2: 2=1");
    EXPECT_EQ(res, 3.0);  // the scaled B is (1, 1, 1)
}

TEST(SparseMinDegReorder, LeavesTheVectorAlone)
{
    CSparseMatrix A = TwoByTwo();
    CVector v(3, true, 2.5);
    A.MinDegReorder(v);
    EXPECT_EQ(v.GetSize(), 3);
    EXPECT_EQ(v[2], 2.5);
}
