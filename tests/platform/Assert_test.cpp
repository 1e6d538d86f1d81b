// Misuse that shows: where TARVEL_ASSERT is active (debug and sanitizer builds), a violated
// precondition or storage invariant stops the program with the file, the line and a message
// naming the operation, before anything is read or written out of bounds.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

namespace
{

[[maybe_unused]] long kDofs01[] = {0, 1}, kDofs03[] = {0, 3}, kDofs13[] = {1, 3};
[[maybe_unused]] double kOnes[] = {1, 1, 1, 1};

// A graph of n DOFs, allocated (the death test's child process ends before anything would free
// it).
[[maybe_unused]] CReorderMat* graph(int n)
{
    auto* g = new CReorderMat(0);
    g->Alloc(n);
    return g;
}

// A skyline matrix allocated by the list form {n, n, column heights...}.
template <class... Dims> CSkylineMatrix* skyline(Dims... list)
{
    auto* A = new CSkylineMatrix;
    std::vector<int> dims{list...};
    A->Allocate(dims.data(), int(dims.size()));
    return A;
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
        {"CVector element access: index outside the vector", [] { CVector(3)[3] = 1.0; }},
        {"CVector::AddValues: index at or above the size",
         [] { CVector(3).AddValues(kDofs03, kOnes, 2); }},
        {"CMatrix element access", [] { CMatrix(2, 3).SetValue(0, 3, 1.0); }},
        {"CMatrix::operator\\[\\]: row outside", [] { CMatrix(2, 3)[-1][0] = 1.0; }},
        // column 2 holds rows 1 and 2 only; then the diagonal only
        {"CSkylineMatrix::operator\\(\\): \\(i, j\\) outside the profile",
         [] { (*skyline(3, 5, 1, 2, 2))(0, 2) = 1.0; }},
        {"CSkylineMatrix::AddValues: an entry outside the profile",
         [] { skyline(3, 3, 1, 1, 1)->AddValues(kDofs01, kOnes, 2); }},
        {"CReorderMat::InsertDOFs: DOF at or above the count",
         [] { graph(3)->InsertDOFs(kDofs13, 0, 2); }},
        {"CReorderMat::f_v: DOF outside the graph", [] { (void)graph(4)->f_v(4); }},
        {"CSparseMatrix::LU: rows or cells out of order",
         []
         {
             CSparseMatrix A;  // row 0 holds (0, 1) before (0, 0)
             A.Add(0, 1, 2.0);
             A.Add(1, 1, 3.0);
             A.m_pFirstRow->m_pFirstCell->m_pNext = new CSparseMatrix::cell{nullptr, 1.0, 0};
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
