// CSkylineMatrix storage: the three ways of sizing the profile, assembling, the printout,
// copies and the class record.
#include "support/DofGraphs.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <sstream>
#include <vector>

using namespace tarvel_test;

namespace
{

std::vector<int> Heights(const CSkylineMatrix& S)
{
    return std::vector<int>(S.m_pHeight, S.m_pHeight + S.m_nOrder);
}

// The layout of K2 recounted from the heights: diagonal j after heights 0 .. j.
void ExpectLinked(const CSkylineMatrix& S)
{
    int idx = -1;
    for (int j = 0; j < S.m_nOrder; ++j)
    {
        idx += S.m_pHeight[j];
        EXPECT_EQ(S.m_pDiagIdx[j], idx) << j;
        EXPECT_EQ(S.m_ppDiag[j], S.m_pValues + idx) << j;
    }
    EXPECT_EQ(S.m_nValues, idx + 1);
    for (int k = 0; k < S.m_nValues; ++k) EXPECT_EQ(S.m_pValues[k], 0.0);
}

}  // namespace

TEST(SkylineAllocate, BandFromHalfBandwidthOrSize)
{
    CSkylineMatrix S;
    int dims[] = {4, 2};
    ASSERT_TRUE(S.Allocate(dims, 2));
    EXPECT_EQ(dims[1], 7);  // the caller's half-bandwidth became the band's size
    EXPECT_EQ(Heights(S), (std::vector<int>{1, 2, 2, 2}));
    ExpectLinked(S);

    // Every half-bandwidth b of an order-9 band, given as its size and (below 9, which reads as
    // a count) as b, comes back as b.
    for (int b = 1; b <= 9; ++b)
    {
        SCOPED_TRACE(b);
        int asWidth[] = {9, b};
        int asSize[] = {9, b * (18 - b + 1) / 2};
        for (int* dims2 : {asSize, asWidth})
        {
            if (dims2 == asWidth && b == 9) continue;
            {
                CSkylineMatrix B;
                ASSERT_TRUE(B.Allocate(dims2, 2));
                EXPECT_EQ(dims2[1], b * (18 - b + 1) / 2);
                for (int j = 0; j < 9; ++j) EXPECT_EQ(B.m_pHeight[j], std::min(j + 1, b));
                ExpectLinked(B);
            }
        }
    }
}

TEST(SkylineAllocate, ExplicitHeightsAndEmptying)
{
    CSkylineMatrix S;
    int dims[] = {3, 5, 1, 2, 2};
    ASSERT_TRUE(S.Allocate(dims, 5));
    EXPECT_EQ(Heights(S), (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(S.PeakRow(2), 1);
    ExpectLinked(S);

    S(1, 2) = 7.0;
    EXPECT_EQ(S.m_pCurrent, S.m_pValues + 3);
    ASSERT_TRUE(S.Allocate(dims, 5));  // same size: storage kept, entries zeroed
    EXPECT_EQ(S.m_pValues[3], 0.0);

    int zero[] = {0};
    ASSERT_TRUE(S.Allocate(zero, 1));
    EXPECT_EQ(S.m_nOrder, 0);
    EXPECT_EQ(S.m_nValues, 0);
    EXPECT_EQ(S.m_pValues, nullptr);
    EXPECT_EQ(S.m_pHeight, nullptr);
}

// Column L's height reaches its farthest lower-labelled neighbour: height(L) = L - k_min + 1,
// k_min the smallest label among L's neighbours and L itself, recounted from the element lists.
TEST(SkylineAllocate, ProfileOfAReorderedGraph)
{
    const int nx = 5, ny = 4, n = (nx + 1) * (ny + 1);
    const ElementList elements = GridElements(nx, ny);
    CReorderMat g(0);
    BuildGraph(g, n, elements);
    std::vector<long> label(n);
    for (int i = 0; i < n; ++i) label[i] = i;
    std::mt19937 rng(7);
    std::shuffle(label.begin(), label.end(), rng);
    std::copy(label.begin(), label.end(), g.m_pLabel);
    g.PostReorder();

    std::vector<int> expected(n, 1);
    auto reach = [&](const std::vector<long>& l)  // column max(l_a, l_b) reaches min(l_a, l_b)
    {
        for (const auto& e : elements)
            for (long a : e)
                for (long b : e)
                {
                    const long hi = std::max(l[a], l[b]), lo = std::min(l[a], l[b]);
                    expected[hi] = std::max(expected[hi], static_cast<int>(hi - lo + 1));
                }
    };
    CSkylineMatrix S;
    ASSERT_TRUE(S.Allocate(g));
    reach(label);
    EXPECT_EQ(Heights(S), expected);
    ExpectLinked(S);

    // The same order again, under the identity labelling: the earlier heights are the floor.
    BuildGraph(g, n, elements);
    g.PostReorder();
    ASSERT_TRUE(S.Allocate(g));
    reach(Labels(g));
    EXPECT_EQ(Heights(S), expected);
    ExpectLinked(S);
}

// Entries with dofs[c] < dofs[r] are mirror images: adding them would land in the next column's
// storage (K2). Negative indices are skipped.
TEST(SkylineAddValues, UpperTriangleOnly)
{
    CSkylineMatrix S;
    int dims[] = {3, 6};
    ASSERT_TRUE(S.Allocate(dims, 2));  // full
    long dofs[] = {2, -1, 0};
    double ke[] = {1, 2, 3,  //
                   4, 5, 6,  //
                   7, 8, 9};
    S.AddValues(dofs, ke, 3);
    S.AddValues(dofs, ke, 3);
    // Stored column by column: (0,0) | (0,1) (1,1) | (0,2) (1,2) (2,2)
    const std::vector<double> expected = {18, 0, 0, 14, 0, 2};
    EXPECT_EQ(std::vector<double>(S.m_pValues, S.m_pValues + 6), expected);
}

TEST(SkylineCOUT, PrintsTheFullMatrix)
{
    CSkylineMatrix S;
    int dims[] = {3, 5, 1, 2, 2};
    ASSERT_TRUE(S.Allocate(dims, 5));
    S(0, 0) = 4;
    S(0, 1) = 1.5;
    S(1, 1) = 3;
    S(1, 2) = -2.25;
    S(2, 2) = 5;
    std::ostringstream out;
    std::streambuf* saved = std::cout.rdbuf(out.rdbuf());
    S.COUT(",");
    std::cout.rdbuf(saved);
    EXPECT_EQ(out.str(), "4,1.5,0,\n0,3,-2.25,\n0,0,5,\n");
}

TEST(SkylineCopies, DeepCopyAndMove)
{
    CSkylineMatrix S;
    int dims[] = {4, 2};
    ASSERT_TRUE(S.Allocate(dims, 2));
    S(2, 3) = 1.0;
    CSkylineMatrix copy;
    copy = S;
    copy(2, 3) = 2.0;  // through the copy's own column table
    EXPECT_EQ(S(2, 3), 1.0);
    CSkylineMatrix moved(std::move(copy));
    EXPECT_EQ(moved(2, 3), 2.0);
    EXPECT_EQ(copy.m_pValues, nullptr);
    EXPECT_EQ(CRuntimeClass::FromName("CSkylineMatrix"), RUNTIME_CLASS(CSkylineMatrix));
}
