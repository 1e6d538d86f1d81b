// CObjVect and CObjMat: sizing that keeps or releases the array, creation through a run-time
// class, and DeleteEntries with shared objects (each object deleted once, at its last entry).
#include "support/Tracked.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace tarvel_test;

namespace
{

using ObjContainers = TrackedObjectsTest;

bool all_null(CObject* const* entries, long n)
{
    return std::all_of(entries, entries + n, [](const CObject* p) { return p == nullptr; });
}

}  // namespace

// An array of the same entry count stays with its entries (for the matrix whatever the shape);
// another count gets a new array of null entries; none for no entries. Re-sizing, clearing by
// operator= and destroying a container never delete an object.
TEST_F(ObjContainers, SizingKeepsAnArrayOfTheSameEntryCount)
{
    CTracked a(1);
    {
        CObjVect v;
        v.Allocate(3, true, &a);
        CObject** array = v.m_pData;
        v.Allocate(3, false, nullptr);
        EXPECT_TRUE(v.m_pData == array && v[2] == &a);
        v.Allocate(2, false, nullptr);
        EXPECT_TRUE(v.GetSize() == 2 && all_null(v.m_pData, 2));
        v.Allocate(2, true, &a);
        v = nullptr;
        EXPECT_TRUE(all_null(v.m_pData, 2) && static_cast<const CObjVect&>(v)[1] == nullptr);
        v.Allocate(0, true, &a);
        CObjMat m;
        m.Allocate(3, 2, true, &a);
        array = m.m_pData;
        m.Allocate(2, 3, false, nullptr);
        EXPECT_TRUE(v.m_pData == nullptr && m.m_pData == array && m.GetRows() == 2 &&
                    m.GetColumns() == 3 && m[1][2] == &a);
        m.Allocate(2, 2, false, nullptr);
        EXPECT_TRUE(all_null(m.m_pData, 4));
        m.Allocate(0, 3, true, &a);
        EXPECT_TRUE(m.m_pData == nullptr && m.GetColumns() == 3);
        m.Allocate(1, 1, true, &a);  // destroyed holding the object
    }
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{});
}

// Every entry receives a distinct new object; a class without a creation function gives null
// entries.
TEST_F(ObjContainers, MatrixCreatesObjectsThroughARuntimeClass)
{
    CObjMat m;
    m.Allocate(2, 2, RUNTIME_CLASS(CVector));
    std::vector<CObject*> made(m.m_pData, m.m_pData + 4);
    std::sort(made.begin(), made.end());
    EXPECT_EQ(std::unique(made.begin(), made.end()), made.end());
    for (CObject* p : made)
        EXPECT_TRUE(p && p->IsKindOf(RUNTIME_CLASS(CVector)) &&
                    static_cast<CVector*>(p)->GetSize() == 0);
    m.DeleteEntries();
    m.Allocate(2, 1, RUNTIME_CLASS(CVirtMat));  // type information only: not creatable
    EXPECT_TRUE(all_null(m.m_pData, 2));
}

// 10^5 entries over 1000 objects, each standing in about 86 shuffled entries, with nulls between,
// in an object vector and in an object matrix: every object deleted exactly once, at its last
// entry counted from the end, and every entry null afterwards. The quadratic rescan would take
// billions of comparisons here.
TEST_F(ObjContainers, DeleteEntriesDeletesSharedObjectsOnce)
{
    constexpr int kEntries = 100000, kObjects = 1000;
    for (bool matrix : {false, true})
    {
        CTracked::s_destroyed.clear();
        std::vector<CObject*> layout(kEntries, nullptr);
        for (int i = 0; i < kObjects; ++i) layout[std::size_t(i)] = new CTracked(i);
        for (int i = kObjects; i < kEntries; ++i)
            if (i % 7 != 3) layout[std::size_t(i)] = layout[std::size_t(i % kObjects)];
        std::mt19937 gen(13);
        std::shuffle(layout.begin(), layout.end(), gen);
        std::vector<int> expected;  // the objects by their last entry, last first
        std::vector<bool> seen(kObjects, false);
        for (auto p = layout.rbegin(); p != layout.rend(); ++p)
            if (auto* t = static_cast<CTracked*>(*p); t && !seen[t->m_nValue])
            {
                seen[t->m_nValue] = true;
                expected.push_back(t->m_nValue);
            }
        CObjVect v;
        CObjMat m;
        v.Allocate(matrix ? 0 : kEntries, false, nullptr);
        m.Allocate(matrix ? kEntries / 100 : 0, 100, false, nullptr);
        CObject** entries = matrix ? m.m_pData : v.m_pData;
        std::copy(layout.begin(), layout.end(), entries);
        matrix ? m.DeleteEntries() : v.DeleteEntries();
        EXPECT_EQ(CTracked::s_destroyed, expected);
        EXPECT_TRUE(all_null(entries, kEntries));
    }
}
