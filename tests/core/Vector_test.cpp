// CVector: sizing, size rules of the element-wise operations, reductions, searches, ownership
// and the run-time class record.
#include "support/Dense.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using tarvel_test::Elements;
using tarvel_test::MakeVector;
using V = std::vector<double>;

TEST(Vector, AllocateKeepsSameSizeAndRefusesZero)
{
    CVector v;
    EXPECT_FALSE(v.Allocate(0, true, 1.0));
    EXPECT_EQ(v.GetSize(), 0);
    EXPECT_EQ(v.GetVector(), nullptr);

    ASSERT_TRUE(v.Allocate(3, true, 2.5));
    EXPECT_EQ(Elements(v), (V{2.5, 2.5, 2.5}));
    double* array = v.GetVector();
    v[1] = 7.0;
    ASSERT_TRUE(v.Allocate(3, false, 0.0));  // same size, no init: array and values kept
    EXPECT_EQ(v.GetVector(), array);
    EXPECT_EQ(Elements(v), (V{2.5, 7.0, 2.5}));

    ASSERT_TRUE(v.Allocate(2, false, 9.0));  // new size without init: zero-filled (our choice)
    EXPECT_EQ(Elements(v), (V{0.0, 0.0}));
    EXPECT_FALSE(v.Allocate(-4, true, 1.0));  // negative: refused, empty
    EXPECT_EQ(v.GetSize(), 0);
    EXPECT_EQ(v.GetVector(), nullptr);
}

TEST(Vector, AllocateFromDimensionList)
{
    CVector v;
    int four[] = {4};
    ASSERT_TRUE(v.Allocate(four, 1));
    EXPECT_EQ(Elements(v), (V{0, 0, 0, 0}));
    ASSERT_TRUE(v.Allocate(four, 0));  // d[0] is read even for a count of 0
    EXPECT_EQ(v.GetSize(), 4);

    int sevens[] = {4, 1, 7};
    ASSERT_TRUE(v.Allocate(sevens, 3));
    EXPECT_EQ(Elements(v), (V{7, 7, 7, 7}));

    int unset[] = {4, 0};
    ASSERT_TRUE(v.Allocate(unset, 2));  // same size, no init: the sevens stay
    EXPECT_EQ(Elements(v), (V{7, 7, 7, 7}));

    // A matrix's own Allocate(int*, int) is not reached: the vector form is the one called.
    CMatrix m(2, 2, true, 1.0);
    int six[] = {6};
    ASSERT_TRUE(m.CVector::Allocate(six, 1));
    EXPECT_EQ(m.GetSize(), 6);
    EXPECT_EQ(m.GetRows(), 2);
}

TEST(Vector, SumAndDifferenceTakeTheLongerSize)
{
    const CVector five = MakeVector({1, 2, 3, 4, 5});
    CVector a = MakeVector({10, 20, 30});
    a += five;
    EXPECT_EQ(Elements(a), (V{11, 22, 33, 4, 5}));

    CVector b = MakeVector({10, 20, 30});
    b -= five;
    EXPECT_EQ(Elements(b), (V{9, 18, 27, -4, -5}));

    CVector c = five;  // the longer one keeps its tail in place
    c -= MakeVector({1, 1});
    EXPECT_EQ(Elements(c), (V{0, 1, 3, 4, 5}));

    CVector d = MakeVector({1, 1});
    d.Add(five, 2.0);
    EXPECT_EQ(Elements(d), (V{3, 5, 6, 8, 10}));

    CVector e, f;
    e += f;
    EXPECT_EQ(e.GetSize(), 0);
    EXPECT_EQ(e.GetVector(), nullptr);
}

TEST(Vector, LinCombAndCrossProd)
{
    const CVector A = MakeVector({1, 2, 3});
    const CVector B = MakeVector({1, 1, 1, 1, 1});
    CVector r;
    r.LinComb(2.0, A, -1.0, B);
    EXPECT_EQ(Elements(r), (V{1, 3, 5, -1, -1}));
    r.LinComb(1.0, B, 3.0, A);
    EXPECT_EQ(Elements(r), (V{4, 7, 10, 1, 1}));

    CVector same = MakeVector({1, 2, 3});  // the result may be an operand of the same size
    same.LinComb(2.0, same, 1.0, A);
    EXPECT_EQ(Elements(same), (V{3, 6, 9}));

    CMatrix m(2, 3, true, 0.0);  // a matrix resized at vector level becomes a column
    m.LinComb(1.0, B, 0.0, A);
    EXPECT_EQ(m.GetRows(), 5);
    EXPECT_EQ(m.GetColumns(), 1);

    CVector empty;
    r.LinComb(1.0, empty, 1.0, empty);
    EXPECT_EQ(r.GetSize(), 0);

    const CVector x = MakeVector({1, 0, 0}), y = MakeVector({0, 1, 0});
    CMatrix z;
    z.CrossProd(&x, &y);
    EXPECT_EQ(Elements(z), (V{0, 0, 1}));
    EXPECT_EQ(z.GetRows(), 3);
    const CVector p = MakeVector({2, 3, 4}), q = MakeVector({5, 6, 7});
    CVector pq;
    pq.CrossProd(&p, &q);
    EXPECT_EQ(Elements(pq), (V{3 * 7 - 4 * 6, 4 * 5 - 2 * 7, 2 * 6 - 3 * 5}));
}

TEST(Vector, NormsFollowTheirDefinitions)
{
    const CVector v = MakeVector({0, 0, 3});
    EXPECT_EQ(v.PNorm(0.0), 3.0);  // the element count, not the non-zeros
    EXPECT_EQ(v.PNorm(1.0), 3.0);
    EXPECT_EQ(v.PNorm(2.0), 3.0);
    EXPECT_EQ(v.ZeroNorm(), 0.0);
    EXPECT_EQ(v.InfNorm(), 3.0);

    const CVector w = MakeVector({1, -2, 2});
    EXPECT_EQ(w.PNorm(0.0), 3.0);
    EXPECT_EQ(w.PNorm(1.0), 5.0);
    EXPECT_DOUBLE_EQ(w.PNorm(2.0), 3.0);
    EXPECT_DOUBLE_EQ(w.PNorm(3.0), std::cbrt(17.0));
    EXPECT_DOUBLE_EQ(w.Length(), 3.0);
    EXPECT_EQ(w.ZeroNorm(), 1.0);
    EXPECT_EQ(w.Sum(), 1.0);
    EXPECT_DOUBLE_EQ(w.Mean(), 1.0 / 3.0);
    EXPECT_EQ(w.Dot(MakeVector({4, 5})), 4.0 - 10.0);  // over the shorter length

    CVector empty;
    EXPECT_EQ(empty.InfNorm(), 0.0);
    EXPECT_EQ(empty.ZeroNorm(), 0.0);
    EXPECT_EQ(empty.Length(), 0.0);

    CVector zero(3, true, 0.0);
    EXPECT_EQ(zero.Normalize(), 0.0);
    EXPECT_EQ(Elements(zero), (V{0, 0, 0}));
    CVector n = MakeVector({3, 4});
    EXPECT_EQ(n.Normalize(), 5.0);
    EXPECT_EQ(Elements(n), (V{0.6, 0.8}));
}

TEST(Vector, MaxAndMinReferToTheFirstOfTies)
{
    CVector a = MakeVector({1, 5, 5});
    EXPECT_EQ(&a.Max(), &a[1]);
    a.Max() = 0.0;  // a writable reference
    EXPECT_EQ(Elements(a), (V{1, 0, 5}));
    CVector b = MakeVector({2, 1, 1});
    EXPECT_EQ(&b.Min(), &b[1]);
    CVector c = MakeVector({4});
    EXPECT_EQ(&c.Max(), &c[0]);
    EXPECT_EQ(&c.Min(), &c[0]);
}

TEST(Vector, FindAndCountRanges)
{
    const CVector v = MakeVector({7, 1, 7, 2, 7});
    EXPECT_EQ(v.Find(7, 0, 0), 0);  // last below 1: the whole vector
    EXPECT_EQ(v.Find(7, 1, 0), 2);
    EXPECT_EQ(v.Find(2, 0, 3), -1);  // last excluded
    EXPECT_EQ(v.Find(9, 0, -5), -1);
    EXPECT_EQ(v.Count(7, 0, 0), 3);
    EXPECT_EQ(v.Count(7, 1, 4), 1);
    EXPECT_EQ(v.Count(7, 3, 3), 0);
    EXPECT_EQ(v.Count(7, 4, 2), 0);
}

TEST(Vector, TruncKeepsARange)
{
    CVector v = MakeVector({1, 2, 3, 4});
    v.Trunc(1, 3);
    EXPECT_EQ(Elements(v), (V{2, 3}));
    CVector w = MakeVector({1, 2, 3, 4});
    w.Trunc(2, 0);
    EXPECT_EQ(Elements(w), (V{3, 4}));
    CVector x = MakeVector({1, 2, 3, 4});
    x.Trunc(1, 99);  // beyond the end: to the end
    EXPECT_EQ(Elements(x), (V{2, 3, 4}));
    CVector y = MakeVector({1, 2, 3});
    y.Trunc(3, 2);
    EXPECT_EQ(y.GetSize(), 0);
    EXPECT_EQ(y.GetVector(), nullptr);
}

TEST(Vector, ScalarOperationsAndAssembling)
{
    CVector v = MakeVector({1, 2, 3});
    v += 1.0;
    v *= 2.0;
    EXPECT_EQ(Elements(v), (V{4, 6, 8}));
    v /= 4.0;
    EXPECT_EQ(Elements(v), (V{1, 1.5, 2}));
    const CVector s = MakeVector({2, 2, 0});
    v.Scale(&s);
    EXPECT_EQ(Elements(v), (V{2, 3, 0}));
    v = 5.0;
    EXPECT_TRUE(v == 5.0);
    EXPECT_TRUE(v == 5);
    EXPECT_TRUE(v != 4);
    v.SetIncremental(0.5, 1.0);
    EXPECT_EQ(Elements(v), (V{1.0, 1.5, 2.0}));

    long idx[] = {2, -1, 0};
    double val[] = {10, 99, 20};
    v.AddValues(idx, val, 3);
    EXPECT_EQ(Elements(v), (V{21.0, 1.5, 12.0}));

    double a[] = {1, 1}, b[] = {2, 3};
    CVector::AplusBC(a, b, 2, 0.5);
    EXPECT_EQ(a[0], 2.0);
    EXPECT_EQ(a[1], 2.5);
    CVector::AplusBC(a, b, 2, 0.0);  // c = 0 adds b unscaled (the documented choice)
    EXPECT_EQ(a[0], 4.0);

    CVector empty;
    EXPECT_TRUE(empty == 3.0);  // documented choice: vacuously true
    EXPECT_TRUE(empty == CVector());
    EXPECT_FALSE(MakeVector({1}) == MakeVector({1, 1}));
    EXPECT_FALSE(MakeVector({NAN}) == MakeVector({NAN}));
}

TEST(Vector, CopyIsDeepMoveIsCheap)
{
    CVector a = MakeVector({1, 2, 3});
    CVector b(a);
    EXPECT_NE(b.GetVector(), a.GetVector());
    b[0] = 9;
    EXPECT_EQ(a[0], 1.0);
    CVector c(&a);
    EXPECT_NE(c.GetVector(), a.GetVector());
    EXPECT_TRUE(c == a);
    c = b;
    EXPECT_TRUE(c == b);
    EXPECT_NE(c.GetVector(), b.GetVector());

    double* array = a.GetVector();
    CVector moved(std::move(a));
    EXPECT_EQ(moved.GetVector(), array);
    EXPECT_EQ(a.GetSize(), 0);  // NOLINT(bugprone-use-after-move): the moved-from state
    EXPECT_EQ(a.GetVector(), nullptr);
    CVector target = MakeVector({5});
    target = std::move(moved);
    EXPECT_EQ(target.GetVector(), array);
}

TEST(Vector, ArrayHandOver)
{
    CVector v = MakeVector({1, 2});
    double* mine = new double[3]{4, 5, 6};
    double* old = v.ReplaceVector(mine, 3);
    EXPECT_EQ(old[1], 2.0);
    delete[] old;  // the caller owns the returned array
    EXPECT_EQ(Elements(v), (V{4, 5, 6}));
    v.SetVector(1, new double[1]{8});  // releases the held array
    EXPECT_EQ(Elements(v), (V{8}));

    CVector three = MakeVector({1, 2, 3});
    CMatrix m(2, 3, true, 4.0);
    double* mArray = m.GetVector();
    three.SwitchVectors(&m);
    EXPECT_EQ(three.GetVector(), mArray);
    EXPECT_EQ(three.GetSize(), 6);
    EXPECT_EQ(m.GetRows(), 3);  // the matrix is now a 3 x 1 column
    EXPECT_EQ(m.GetColumns(), 1);
    EXPECT_EQ(Elements(m), (V{1, 2, 3}));

    CVector empty;
    three.SwitchVectors(&empty);
    EXPECT_EQ(empty.GetSize(), 6);
    CMatrix m2(2, 2, true, 1.0);
    CVector none;
    none.SwitchVectors(&m2);  // a matrix receiving nothing has no rows
    EXPECT_EQ(m2.GetSize(), 0);
    EXPECT_EQ(m2.GetRows(), 0);
}

TEST(Vector, RuntimeClassAndCreation)
{
    const CRuntimeClass* rc = CRuntimeClass::FromName("CVector");
    ASSERT_EQ(rc, RUNTIME_CLASS(CVector));
    EXPECT_EQ(rc->m_pBaseClass, RUNTIME_CLASS(CVirtRealMat));
    EXPECT_EQ(rc->m_wSchema, 1u);
    EXPECT_EQ(CRuntimeClass::FromName("CMatrix"), RUNTIME_CLASS(CMatrix));
    EXPECT_EQ(RUNTIME_CLASS(CMatrix)->m_pBaseClass, RUNTIME_CLASS(CVector));

    std::unique_ptr<CObject> made(rc->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRuntimeClass(), RUNTIME_CLASS(CVector));
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CVirtMat)));
    EXPECT_FALSE(made->IsKindOf(RUNTIME_CLASS(CMatrix)));
    EXPECT_TRUE(made->IsSerializable());
    EXPECT_EQ(static_cast<CVector*>(made.get())->GetSize(), 0);

    std::unique_ptr<CObject> matrix(CRuntimeClass::FromName("CMatrix")->CreateObject());
    ASSERT_NE(matrix, nullptr);
    EXPECT_TRUE(matrix->IsKindOf(RUNTIME_CLASS(CVector)));
    EXPECT_EQ(static_cast<CMatrix*>(matrix.get())->GetRows(), 0);
}

TEST(Vector, CholeskySolveOfTheDenseClassesDoesNothing)
{
    CVector v = MakeVector({4, 1});
    CMatrix rhs = tarvel_test::MakeMatrix(2, 1, {1, 2});
    double seconds = 42.0;
    EXPECT_EQ(v.Cholesky_Solve(&rhs, seconds), 0);
    EXPECT_EQ(seconds, 42.0);
    EXPECT_EQ(Elements(rhs), (V{1, 2}));
    EXPECT_EQ(Elements(v), (V{4, 1}));
    CMatrix A = tarvel_test::MakeMatrix(2, 2, {4, 1, 1, 3});
    CVirtRealMat& base = A;
    EXPECT_EQ(base.Cholesky_Solve(&rhs, seconds), 0);
    EXPECT_EQ(seconds, 42.0);
    EXPECT_EQ(Elements(rhs), (V{1, 2}));
    EXPECT_EQ(Elements(A), (V{4, 1, 1, 3}));
}

TEST(Vector, VectToQuatAgainstHalfAngleFormulas)
{
    double q[3];
    const double zero[3] = {0, 0, 0};
    EXPECT_EQ(CVector::VectToQuat(zero, q), 1.0);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], 0.0);
    EXPECT_EQ(q[2], 0.0);

    // Below 1e-4 the series stands for sin(theta/2)/theta; it agrees to rounding.
    const double small[3] = {3e-5, -4e-5, 0.0};  // theta = 5e-5
    const double w = CVector::VectToQuat(small, q);
    const double s = std::sin(2.5e-5) / 5e-5;
    EXPECT_NEAR(q[0], 3e-5 * s, 1e-20);
    EXPECT_NEAR(q[1], -4e-5 * s, 1e-20);
    EXPECT_NEAR(w, std::cos(2.5e-5), 1e-16);

    const double pi = std::acos(-1.0);
    const double axis[3] = {0, 0, pi};
    EXPECT_NEAR(CVector::VectToQuat(axis, q), 0.0, 1e-16);
    EXPECT_NEAR(q[2], 1.0, 1e-16);

    const double large[3] = {1.0, 2.0, 2.0};  // theta = 3
    const double w3 = CVector::VectToQuat(large, q);
    EXPECT_NEAR(w3, std::cos(1.5), 1e-15);
    EXPECT_NEAR(q[0], std::sin(1.5) / 3.0, 1e-15);
    EXPECT_NEAR(q[1], 2.0 * std::sin(1.5) / 3.0, 1e-15);
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + w3 * w3, 1.0, 1e-15);
}
