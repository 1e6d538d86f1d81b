// CArrayArray<long> storage and the CReorderMat graph: building from element lists, labels,
// bandwidth and envelope, the inverse labelling, allocation, copies and the defaults.
#include "GraphProbe.h"

#include <gtest/gtest.h>
#include <utility>

using namespace tarvel_test;
using ReorderMat = ReorderTest;

TEST(ArrayArray, AllocKeepsTablesOfTheSameSizeAndCopiesAreDeep)
{
    CArrayArray<long> a;
    int dims[] = {2, 3};
    ASSERT_TRUE(a.Allocate(dims, 2));
    ASSERT_EQ(std::pair(a.m_pLength[0], a.m_pLength[1]), std::pair(3, 3));
    a.m_ppData[0][0] = 7;
    a.m_pLength[0] = 1;  // spare slots are not copied
    std::copy_n(std::vector<long>{4, 5, 6}.begin(), 3, a.m_ppData[1]);
    const Lists_t expected = {{7}, {4, 5, 6}};

    CArrayArray<long> same, other, constructed(a);
    same.Alloc(2);
    long** table = same.m_ppData;
    other.Alloc(7);
    EXPECT_EQ(same.Copy(a), 2);  // same count: tables kept
    EXPECT_EQ(same.m_ppData, table);
    EXPECT_EQ(other.Copy(a), 2);  // another count: tables rebuilt
    a.m_ppData[1][0] = 99;
    for (CArrayArray<long>* c : {&same, &other, &constructed}) EXPECT_EQ(Lists(*c), expected);
    EXPECT_EQ(same.Copy(same), 2);  // a self-copy keeps the contents
    EXPECT_EQ(Lists(same), expected);
    CArrayArray<long> moved(std::move(constructed));
    EXPECT_EQ(Lists(moved), expected);
    EXPECT_EQ(constructed.m_nCount, 0);
    EXPECT_EQ(moved.GetRuntimeClass(), RUNTIME_CLASS(CVirtMat));

    same.Alloc(2);  // same size: lists freed (length 0, null), tables kept
    EXPECT_EQ(same.m_ppData, table);
    EXPECT_TRUE(same.m_ppData[1] == nullptr && same.m_pLength[1] == 0);
    same.Alloc(0);
    EXPECT_TRUE(same.m_nCount == 0 && !same.m_ppData && !same.m_pLength);
}

// Lists in insertion order; negative DOFs skipped; a pair shared by two elements stored once
// (counted twice: a spare slot); a DOF listed twice in one element becomes its own neighbour,
// twice, and Check fails; unknown modes and empty elements change nothing.
TEST(Graph, BuildsListsFromElements)
{
    GraphProbe g(4, {{0, 1, 2}, {2, -1, 1, 3}, {-5, 3}, {1}});
    const Lists_t lists = {{1, 2}, {0, 2, 3}, {0, 1, 3}, {2, 1}};
    EXPECT_EQ(Lists(g), lists);
    EXPECT_TRUE(g.Check());
    EXPECT_EQ(std::pair(g.Find(3, 1), g.Find(0, 3)), std::pair(2, -1));
    long more[] = {0, 3};
    g.InsertDOFs(more, 2, 2);
    g.InsertDOFs(more, 1, 0);
    EXPECT_EQ(Lists(g), lists);

    GraphProbe repeated(3, {{0, 1, 0}});
    EXPECT_EQ(Lists(repeated), (Lists_t{{1, 0, 0}, {0}, {}}));
    EXPECT_FALSE(repeated.Check());
    EXPECT_TRUE(GraphProbe(0, {}).Check());
}

// GetB, its first DOF and Env (with the largest B_f) on paths, an edgeless and an empty graph
// and the 3x3 grid, where every node but 2 and 6 reaches 4 labels away.
TEST(Graph, BandwidthAndEnvelope)
{
    // n, elements, labels (empty: the identity), bandwidth, its first DOF, envelope.
    const std::tuple<int, ElementList, Labels_t, int, int, int> cases[] = {
        {3, {{0, 1}, {1, 2}}, {}, 1, 0, 3},
        {3, {{0, 1}, {1, 2}}, {2, 0, 1}, 2, 0, 5},  // B_f 2, 2, 1: both directions count
        {4, kPath, {}, 3, 0, 10},
        {3, {{0}, {2}}, {}, 0, 0, 0},
        {0, {}, {}, 0, 0, 0},
        {9, GridElements(2, 2), {}, 4, 0, 34},
    };
    for (const auto& [n, elements, labels, b, firstRow, env] : cases)
    {
        GraphProbe g(n, elements);
        std::copy(labels.begin(), labels.end(), g.m_pLabel);
        int row = -1, maxB = -1;
        EXPECT_EQ(g.GetB(row), b);
        EXPECT_EQ(row, firstRow);
        EXPECT_EQ(g.Env(&maxB), env);
        EXPECT_EQ(maxB, b);
    }
}

// Alloc: identity labels, zeroed stamps (type 1 only), empty lists; another size rebuilds;
// none below 1. PostReorder builds the inverse labelling, making the array when absent. Copies
// take lists, labels, stamps and step, not the candidate list; moves leave an empty graph.
TEST(Graph, AllocPostReorderCopyAndMove)
{
    GraphProbe g(4, kPath, 1);
    g.m_pLabel[0] = 3;
    g.m_pTabu[2] = 9;
    g.Alloc(4);
    EXPECT_EQ(std::tuple(Labels(g), Labels_t(g.m_pTabu, g.m_pTabu + 4), Lists(g)),
              std::tuple(Labels_t{0, 1, 2, 3}, Labels_t(4, 0), Lists_t(4)));
    g.Alloc(2);
    EXPECT_EQ(Labels(g), (Labels_t{0, 1}));
    g.Alloc(-1);
    EXPECT_TRUE(!g.m_pLabel && !g.m_pTabu);
    for (int type : {0, 1})
    {
        GraphProbe h(5, {{0, 1, 2, 3, 4}}, type);
        EXPECT_EQ(h.m_pTabu == nullptr, type == 0);
        std::copy_n(Labels_t{3, 0, 4, 1, 2}.begin(), 5, h.m_pLabel);
        h.PostReorder();
        for (int i = 0; i < 5; ++i) EXPECT_EQ(h.f_v_inv(h.f_v(i)), i);
    }

    GraphProbe star(4, kStar, 1);
    std::copy_n(Labels_t{2, 1, 0, 3}.begin(), 4, star.m_pLabel);
    star.m_pTabu[1] = 7;
    star.m_nStep = 3;
    CReorderMat copy(star);
    EXPECT_EQ(std::tuple(Lists(copy), Labels(copy), copy.m_pTabu[1], copy.m_nStep, copy.m_nType),
              std::tuple(Lists(star), Labels(star), 7L, 3, 1));
    EXPECT_EQ(copy.m_pList, nullptr);
    star.m_pLabel[0] = 5;
    CReorderMat assigned(0);
    assigned = std::move(copy);
    EXPECT_EQ(assigned.f_v(0), 2);
    EXPECT_TRUE(copy.GetRows() == 0 && !copy.m_pLabel);
    assigned = star;
    EXPECT_EQ(assigned.f_v(0), 5);
}

// Choices: m_pList null, m_nStep 0 and m_nType 0 after the protected constructor; Init frees
// the lists it finds; the reorderings measure with this class's own B_f and labels, whatever a
// derived class makes f_v return to callers.
TEST_F(ReorderMat, DefaultsInitAndOwnMeasures)
{
    struct Defaulted : CReorderMat
    {
    } d;
    EXPECT_TRUE(d.m_nType == 0 && d.m_pList == nullptr && d.m_nStep == 0);
    GraphProbe g(4, kPath);
    g.Init();  // the filled lists are freed (no leak) and new ones are empty
    EXPECT_EQ(Lists(g), Lists_t(4));

    struct Flat : GraphProbe
    {
        using GraphProbe::GraphProbe;
        int f_v(int) const override { return 0; }
    } flat(3, {{0, 1}, {1, 2}});
    int row = 0;
    EXPECT_EQ(flat.GetB(row) + flat.Env(nullptr), 0);
    flat.Hager1();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(
        m_messages[0].find(" Old bandwidth.        :   1\r\n New bandwidth        :   100.0%"),
        std::string::npos);
}
