// The timing reports of the skyline matrix and the reorderings, with a clock that advances by a
// fixed step at every reading, against their exact texts. All of them convert by product, so a
// step of 570 ticks shows as 0.57 s (by division it would show as 0.56 s); the skyline time
// argument is by division.
#include "GraphProbe.h"
#include "support/FixedClock.h"
#include "support/Problems.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using TimingReports = ReorderTest;

// diag(2, 4): Cholesky_Solve reads the clock at the start, at the start of the factorization,
// before the forward and the backward substitution and at the end.
TEST_F(TimingReports, SkylineCholeskySolve)
{
    CSkylineMatrix S;
    int dims[] = {2, 2};
    ASSERT_TRUE(S.Allocate(dims, 2));
    S(0, 0) = 2;
    S(1, 1) = 4;
    CMatrix B = Mat(2, 1, {2, 4});
    double seconds = 0.0;
    {
        FixedClock clock(570);
        ASSERT_EQ(S.Cholesky_Solve(&B, seconds), 1);
    }
    EXPECT_EQ(seconds, 2.28);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Used time:\r\n Factorizing  :   0 m 0.57 s\r\n Forw. subst. :   "
                             "0 m 0.57 s\r\n Backw. subst.:   0 m 0.57 s\r\n Size stiffm. :   "
                             "2\r\n Flops        :    0.000e+00");
}

// One sweep from the solution: the clock is read at the start, around the two halves of the
// sweep (three readings) and before the report, so the total spans four steps (2.28 s by
// product, 2.27 s by division) and each half one.
TEST_F(TimingReports, SkylineGaussSeidel)
{
    CSkylineMatrix S;
    int dims[] = {2, 2};
    ASSERT_TRUE(S.Allocate(dims, 2));
    S(0, 0) = 2;
    S(1, 1) = 4;
    CVector b(2, true, 0.0), x(2, true, 1.0);
    b[0] = 2;
    b[1] = 4;
    {
        FixedClock clock(570);
        ASSERT_EQ(S.GaussSeidel_Iter(b, x, 1e-10, 5), 1);
    }
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Used time solving :   0 m 2.28 s\r\nFirst            :   0 m 0.57 "
                             "s\r\nLast             :   0 m 0.57 s\r\n Number of iter. :   1\r\n "
                             "NEQ             :   2\r\n Norm of error   :   0.000000e+00");
}

// Every reordering family reads the clock before and after its work; the report's first line
// shows the difference. A step of 64070 ticks fills the minutes field too.
TEST_F(TimingReports, ReorderingsOfEachFamily)
{
    SeedScope seed([] { return 1u; });
    for (auto run : {&CReorderMat::MinDegReorder2, &CReorderMat::MinDegReorder4,
                     &CReorderMat::Hager1, &CReorderMat::TabuReorder})
    {
        GraphProbe g(4, kPath);
        m_messages.clear();
        {
            FixedClock clock(64070);
            (g.*run)();
        }
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].rfind("Used time reordering:   1 m 4.07 s\r\n", 0), 0u)
            << m_messages[0];
    }
}
