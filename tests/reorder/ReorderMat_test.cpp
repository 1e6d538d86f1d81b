// CArrayArray<long> storage and the CReorderMat graph: building from element lists, labels,
// bandwidth and envelope, the inverse labelling, copying.
#include "GraphProbe.h"

#include <gtest/gtest.h>
#include <utility>

using namespace tarvel_test;
using Lists_t = std::vector<std::vector<long>>;

TEST(ArrayArray, AllocSameSizeKeepsTablesOtherSizeRebuilds)
{
    CArrayArray<long> a;
    int dims[] = {3, 2};
    ASSERT_TRUE(a.Allocate(dims, 2));
    EXPECT_EQ(a.m_nCount, 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(a.m_pLength[i], 2);
        ASSERT_NE(a.m_ppData[i], nullptr);
    }
    long** table = a.m_ppData;
    a.Alloc(3);  // same size: lists freed, tables kept
    EXPECT_EQ(a.m_ppData, table);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(a.m_pLength[i], 0);
        EXPECT_EQ(a.m_ppData[i], nullptr);
    }
    a.Alloc(5);
    EXPECT_EQ(a.m_nCount, 5);
    EXPECT_EQ(Lists(a), Lists_t(5));
    a.Alloc(0);
    EXPECT_EQ(a.m_nCount, 0);
    EXPECT_EQ(a.m_ppData, nullptr);
    EXPECT_EQ(a.m_pLength, nullptr);
}

TEST(ArrayArray, CopyIsDeepAndCopiesOnlyTheEntriesInUse)
{
    CArrayArray<long> src;
    int dims[] = {2, 3};
    src.Allocate(dims, 2);
    src.m_ppData[0][0] = 7;
    src.m_pLength[0] = 1;  // spare slots are not copied
    src.m_ppData[1][0] = 4;
    src.m_ppData[1][1] = 5;
    src.m_ppData[1][2] = 6;

    CArrayArray<long> same;  // same count: tables kept
    same.Alloc(2);
    long** table = same.m_ppData;
    EXPECT_EQ(same.Copy(src), 2);
    EXPECT_EQ(same.m_ppData, table);
    CArrayArray<long> other;  // other count: tables rebuilt
    other.Alloc(7);
    EXPECT_EQ(other.Copy(src), 2);
    CArrayArray<long> constructed(src);

    const Lists_t expected = {{7}, {4, 5, 6}};
    for (CArrayArray<long>* c : {&same, &other, &constructed})
    {
        EXPECT_EQ(Lists(*c), expected);
        EXPECT_NE(c->m_ppData[1], src.m_ppData[1]);
    }
    src.m_ppData[1][0] = 99;
    EXPECT_EQ(Lists(same), expected);
    EXPECT_EQ(same.Copy(same), 2);  // self-copy keeps the contents
    EXPECT_EQ(Lists(same), expected);

    CArrayArray<long> moved(std::move(constructed));
    EXPECT_EQ(Lists(moved), expected);
    EXPECT_EQ(constructed.m_nCount, 0);
    EXPECT_EQ(moved.GetRuntimeClass(), RUNTIME_CLASS(CVirtMat));
}

// ---------------------------------------------------------------------------------------------

TEST(ReorderMat, BuildsListsInInsertionOrderSkippingNegativeDofs)
{
    // Two elements share the pair (1, 2): counted twice, stored once (spare slot).
    GraphProbe g(4, {{0, 1, 2}, {2, -1, 1, 3}, {-5, 3}, {1}});
    EXPECT_EQ(Lists(g), (Lists_t{{1, 2}, {0, 2, 3}, {0, 1, 3}, {2, 1}}));
    EXPECT_TRUE(g.Check());
    EXPECT_EQ(g.GetRows(), 4);
    EXPECT_EQ(g.Find(3, 1), 2);
    EXPECT_EQ(g.Find(0, 3), -1);
    EXPECT_EQ(g.f_v(2), 2);  // identity after Alloc

    long bad[] = {0, 3};
    g.InsertDOFs(bad, 2, 2);  // unknown mode
    g.InsertDOFs(bad, 1, 0);  // no DOFs
    EXPECT_EQ(Lists(g), (Lists_t{{1, 2}, {0, 2, 3}, {0, 1, 3}, {2, 1}}));
}

TEST(ReorderMat, RepeatedDofInAnElementMakesASelfEntryTwice)
{
    GraphProbe g(3, {{0, 1, 0}});
    EXPECT_EQ(Lists(g), (Lists_t{{1, 0, 0}, {0}, {}}));
    EXPECT_FALSE(g.Check());
    GraphProbe empty(0, {});
    EXPECT_TRUE(empty.Check());
}

TEST(ReorderMat, RuntimeClassIsThatOfCVirtMat)
{
    GraphProbe g;
    EXPECT_STREQ(g.GetRuntimeClass()->m_lpszClassName, "CVirtMat");
}

TEST(ReorderMat, BandwidthAndEnvelope)
{
    GraphProbe path(3, {{0, 1}, {1, 2}});  // identity: B_f 1, 1, 1
    int row = -1;
    int maxB = -1;
    EXPECT_EQ(path.GetB(row), 1);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(path.Env(&maxB), 3);
    EXPECT_EQ(maxB, 1);
    EXPECT_EQ(path.B_f(1), 1);

    // Labels 2, 0, 1 on the path 0-1-2: B_f = 2, 2, 1; both directions count.
    path.m_pLabel[0] = 2;
    path.m_pLabel[1] = 0;
    path.m_pLabel[2] = 1;
    EXPECT_EQ(path.GetB(row), 2);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(path.Env(nullptr), 5);

    GraphProbe edgeless(3, {{0}, {2}});
    row = 5;
    EXPECT_EQ(edgeless.GetB(row), 0);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(edgeless.Env(&maxB), 0);
    EXPECT_EQ(maxB, 0);
    GraphProbe none(0, {});
    EXPECT_EQ(none.GetB(row), 0);
    EXPECT_EQ(none.Env(&maxB), 0);

    // 3x3 nodes, identity labels: every node but 2 and 6 reaches 4 labels away.
    GraphProbe grid(9, GridElements(2, 2));
    const std::vector<int> degree = {3, 5, 3, 5, 8, 5, 3, 5, 3};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(grid.m_pLength[i], degree[i]) << i;
    EXPECT_EQ(Lists(grid)[4], (std::vector<long>{0, 1, 3, 2, 5, 7, 6, 8}));
    EXPECT_EQ(grid.GetB(row), 4);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(grid.Env(&maxB), 34);
}

TEST(ReorderMat, PostReorderBuildsTheInverseLabelling)
{
    for (int type : {0, 1})
    {
        GraphProbe g(5, {{0, 1, 2, 3, 4}}, type);
        const long labels[] = {3, 0, 4, 1, 2};
        std::copy(labels, labels + 5, g.m_pLabel);
        g.PostReorder();
        ASSERT_NE(g.m_pTabu, nullptr);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(g.f_v_inv(g.f_v(i)), i);
    }
}

TEST(ReorderMat, AllocResetsLabelsAndStamps)
{
    GraphProbe g(4, kPath, 1);
    g.m_pLabel[0] = 3;
    g.m_pTabu[2] = 9;
    g.Alloc(4);
    EXPECT_EQ(Labels(g), (std::vector<long>{0, 1, 2, 3}));
    EXPECT_EQ(std::vector<long>(g.m_pTabu, g.m_pTabu + 4), std::vector<long>(4, 0));
    EXPECT_EQ(Lists(g), Lists_t(4));
    g.Alloc(2);
    EXPECT_EQ(Labels(g), (std::vector<long>{0, 1}));
    g.Alloc(-1);
    EXPECT_EQ(g.m_pLabel, nullptr);
    EXPECT_EQ(g.m_pTabu, nullptr);
    GraphProbe plain(3, {}, 0);  // any type but 1: no tabu array
    EXPECT_EQ(plain.m_pTabu, nullptr);
}

TEST(ReorderMat, CopyIsDeepAndMoveTakesEverything)
{
    GraphProbe g(4, kStar, 1);
    g.m_pLabel[0] = 2;
    g.m_pLabel[2] = 0;
    g.m_pTabu[1] = 7;
    g.m_nStep = 3;
    CReorderMat copy(g);
    EXPECT_EQ(Lists(copy), Lists(g));
    EXPECT_EQ(Labels(copy), Labels(g));
    EXPECT_EQ(copy.m_pTabu[1], 7);
    EXPECT_EQ(copy.m_nStep, 3);
    EXPECT_EQ(copy.m_nType, 1);
    EXPECT_EQ(copy.m_pList, nullptr);
    EXPECT_NE(copy.m_pLabel, g.m_pLabel);
    g.m_pLabel[0] = 5;
    EXPECT_EQ(copy.f_v(0), 2);

    CReorderMat assigned(0);
    assigned = std::move(copy);
    EXPECT_EQ(assigned.f_v(0), 2);
    EXPECT_EQ(copy.GetRows(), 0);
    EXPECT_EQ(copy.m_pLabel, nullptr);
    assigned = g;
    EXPECT_EQ(assigned.f_v(0), 5);
}

TEST(ReorderMat, StartsWithoutListOrStepAndInitStartsListsAfresh)
{
    struct Defaulted : CReorderMat
    {
    } d;
    EXPECT_EQ(d.m_nType, 0);
    EXPECT_EQ(d.m_pList, nullptr);
    EXPECT_EQ(d.m_nStep, 0);
    GraphProbe g(4, kPath);
    g.Init();  // the filled lists are freed (no leak) and new ones are empty
    EXPECT_EQ(Lists(g), Lists_t(4));
}

// The measures dispatch for callers; the reorderings keep to the graph's own labels.
using ReorderMatFrames = ReorderTest;
TEST_F(ReorderMatFrames, ReorderingsDoNotDispatchToOverriddenMeasures)
{
    struct Flat : GraphProbe
    {
        using GraphProbe::GraphProbe;
        int f_v(int) const override { return 0; }
    } g(3, {{0, 1}, {1, 2}});
    int row = 0;
    EXPECT_EQ(g.GetB(row), 0);
    EXPECT_EQ(g.Env(nullptr), 0);
    g.Hager1();  // identity again; the report measures the labels themselves
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(
        m_messages[0].find(" Old bandwidth.        :   1\r\n New bandwidth        :   100.0%"),
        std::string::npos);
}
