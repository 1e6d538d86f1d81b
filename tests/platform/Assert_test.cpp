// Misuse that shows: where TARVEL_ASSERT is active (debug and sanitizer builds), a violated
// precondition or storage invariant stops the program with the file, the line and a message
// naming the operation, before anything is read or written out of bounds.
#include <tarvel/Tarvel.h>

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace
{

// A graph of n DOFs with the chain 0 - 1 - ... - n-1, built as the calling order says.
[[maybe_unused]] void build_chain(CReorderMat& g, int n)
{
    g.Alloc(n);
    for (int mode : {0, 1})
    {
        if (mode == 1) g.Init();
        for (long i = 0; i + 1 < n; ++i)
        {
            long pair[] = {i, i + 1};
            g.InsertDOFs(pair, mode, 2);
        }
    }
}

}  // namespace

TEST(AssertDeathTest, MisuseStopsWithTheOperationNamed)
{
#if !defined(TARVEL_ENABLE_ASSERTS)
    GTEST_SKIP() << "TARVEL_ASSERT is compiled out in this build";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char*, std::function<void()>> misuses[] = {
        {"Assert_test.cpp:[0-9]+: Tarvel assertion failed: CTest",
         [] { TARVEL_ASSERT(1 + 1 == 3, "CTest: arithmetic"); }},
        {"CVector element access: index outside the vector",
         []
         {
             CVector v(3);
             v[3] = 1.0;
         }},
        {"CVector::AddValues: index at or above the size",
         []
         {
             CVector v(3);
             long idx[] = {0, 3};
             double val[] = {1.0, 1.0};
             v.AddValues(idx, val, 2);
         }},
        {"CMatrix element access", [] { CMatrix(2, 3).SetValue(0, 3, 1.0); }},
        {"CMatrix::operator\\[\\]: row outside", [] { CMatrix(2, 3)[-1][0] = 1.0; }},
        {"CSkylineMatrix::operator\\(\\): \\(i, j\\) outside the profile",
         []
         {
             CSkylineMatrix A;
             int dims[] = {3, 5, 1, 2, 2};  // column 2 holds rows 1 and 2 only
             A.Allocate(dims, 5);
             A(0, 2) = 1.0;
         }},
        {"CSkylineMatrix::AddValues: an entry outside the profile",
         []
         {
             CSkylineMatrix A;
             int dims[] = {3, 3, 1, 1, 1};  // the diagonal only
             A.Allocate(dims, 5);
             long dofs[] = {0, 1};
             double ke[] = {1, 1, 1, 1};
             A.AddValues(dofs, ke, 2);
         }},
        {"CReorderMat::InsertDOFs: DOF at or above the count",
         []
         {
             CReorderMat g(0);
             build_chain(g, 3);
             long dofs[] = {1, 3};
             g.InsertDOFs(dofs, 0, 2);
         }},
        {"CReorderMat::f_v: DOF outside the graph",
         []
         {
             CReorderMat g(0);
             build_chain(g, 4);
             (void)g.f_v(4);
         }},
        {"CSparseMatrix::LU: rows or cells out of order",
         []
         {
             CSparseMatrix A;
             A.Add(0, 0, 1.0);
             A.Add(0, 1, 2.0);
             A.Add(1, 1, 3.0);
             CSparseMatrix::cell* first = A.m_pFirstRow->m_pFirstCell;  // relinked by hand
             A.m_pFirstRow->m_pFirstCell = first->m_pNext;
             first->m_pNext = nullptr;
             A.m_pFirstRow->m_pFirstCell->m_pNext = first;
             A.LU();
         }},
        {"released twice|double-free",
         []
         {
             auto* c = new CSparseMatrix::cell{nullptr, 1.0, 0};
             delete c;
             delete c;
         }},
    };
    for (const auto& [message, misuse] : misuses)
    {
        SCOPED_TRACE(message);
        EXPECT_DEATH(misuse(), message);
    }
#endif
}
