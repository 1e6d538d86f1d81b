// CSystSpMat: the row array, element assembling in both storage modes, same-size Allocate,
// copies, assignments and moves to and from plain matrices (ownership is checked by the
// sanitizer build), the inherited structural operations kept inside the array, and the
// factorizations against their right-looking reference forms.
#include "SparseTesting.h"

namespace
{

CSystSpMat System3()
{
    CSystSpMat K = System(3, FromTriplets({{0, 0, 2.0}, {0, 2, 1.0}, {2, 2, 5.0}}));
    K.m_pRowArray[1].Add(1, 0.0);  // a stored zero
    return K;
}
const char* const kSystem3 = "0: 0=2 2=1; 1: 1=0; 2: 2=5";

}  // namespace

// Rows 0..n-1 exist from the start; a zero moves no cursor; indices outside the matrix are
// ignored (choice); no profile comes from a graph.
TEST_F(SystSpMat, RowArrayAndAdd)
{
    CSystSpMat K(3);
    EXPECT_EQ(std::pair(K.GetRows(), K.GetColumns()), std::pair(3, 3));
    EXPECT_EQ(Structure(K), "0:; 1:; 2:");
    EXPECT_EQ(CSystSpMat(0).GetFirstRow(), nullptr);
    CReorderMat graph(1);
    EXPECT_FALSE(K.Allocate(graph));
    CSparseMatrix::row* r = nullptr;
    CSparseMatrix::cell* c = nullptr;
    K.Add(1, 2, 0.0, r);
    EXPECT_EQ(r, nullptr);
    K.Add(1, 2, 5.0, r, c);
    EXPECT_EQ(r, K.m_pRowArray + 1);
    K.Add(1, 0, 1.0);
    K.Add(3, 0, 7.0, r);
    K.Add(0, 3, 7.0, r, c);
    EXPECT_EQ(Structure(K), "0:; 1: 0=1 2=5; 2:");
}

// The element {4, 2} with ke = [[1, 2], [2, 3]]: (2, 2) = 3, (2, 4) = 2, (4, 4) = 1, and (4, 2)
// = 2 only in full storage. A negative index drops its row and column, an index at or above
// the row count too (choice); zeros are not stored.
TEST_F(SystSpMat, AddValuesStoresTheUpperTriangleInSymmetricMode)
{
    const std::tuple<bool, std::vector<long>, std::vector<double>, const char*> cases[] = {
        {true, {4, 2}, {1, 2, 2, 3}, "0:; 1:; 2: 2=3 4=2; 3:; 4: 4=1"},
        {false, {4, 2}, {1, 2, 2, 3}, "0:; 1:; 2: 2=3 4=2; 3:; 4: 2=2 4=1"},
        {false,
         {3, -1, 1, 5},
         {1, 9, 2, 9, 9, 9, 9, 9, 0, 9, 3, 9, 9, 9, 9, 9},
         "0:; 1: 1=3; 2:; 3: 1=2 3=1; 4:"}};
    for (auto [upperOnly, dofs, ke, lists] : cases)
    {
        CVirtMat::m_bSym = upperOnly;
        CSystSpMat K(5);
        K.AddValues(dofs.data(), ke.data(), static_cast<int>(dofs.size()));
        EXPECT_EQ(Structure(K), lists);
    }
}

// The next load case: Allocate with the same size keeps every cell with 0.0, and assembling
// again gives a fresh assembly's lists and bits; another size rebuilds; {0} releases the array.
TEST_F(SystSpMat, SameSizeAllocateKeepsThePattern)
{
    CVirtMat::m_bSym = true;
    const Mesh mesh = Grid(6);
    CSystSpMat fresh(mesh.n), K(mesh.n);
    mesh.AssembleInto(fresh);
    mesh.AssembleInto(K);
    const int cells = K.NumZeros(1e300);  // every cell
    int dims[] = {mesh.n};
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.NumZeros(0.0), cells);  // all kept, all exactly 0.0
    mesh.AssembleInto(K);
    EXPECT_TRUE(SameBits(K, fresh));
    for (int size : {mesh.n + 1, 0})
    {
        ASSERT_TRUE(K.Allocate(&size, 1));
        EXPECT_EQ(std::pair(K.GetRows(), K.NumZeros(1e300)), std::pair(size, 0));
    }
    EXPECT_EQ(K.GetFirstRow(), nullptr);
}

// Each object owns exactly one row array (choice): a deep copy; assignments that add into the
// target's own rows, growing a smaller target; moves that take the array over.
TEST_F(SystSpMat, CopiesAssignmentsAndStructuralOperationsKeepTheArrays)
{
    CSystSpMat a(3);
    a = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 1, 3}, {2, 0, 0.0}, {2, 2, 4}});  // zero dropped
    a.m_pRowArray[2].Add(1, 0.0);                                                 // a stored zero
    const std::string original = "0: 0=2 1=1; 1: 1=3; 2: 1=0 2=4";
    CSystSpMat copy(a);
    *copy.GetValue(0, 0) = 99.0;
    EXPECT_EQ(Structure(a), original);
    CSystSpMat smaller(2);
    smaller.Add(1, 1, 10.0);
    smaller = a;  // grown to 3 rows, its own cell added to; the stored zero not copied
    EXPECT_EQ(Structure(smaller), "0: 0=2 1=1; 1: 1=13; 2: 2=4");
    CSystSpMat larger(4);
    larger = copy;
    EXPECT_EQ(Structure(larger), "0: 0=99 1=1; 1: 1=3; 2: 2=4; 3:");
    CSystSpMat moved(std::move(larger));
    smaller = std::move(moved);
    EXPECT_EQ(std::pair(smaller.GetRows(), larger.GetRows()), std::pair(4, 0));
    EXPECT_EQ(Structure(a), original);

    // Clear, Mirror and AAT keep the array (choices): Clear empties the rows, Mirror keeps the rows
    // it empties, AAT refills the rows.
    CSystSpMat M(3);
    M = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 5}, {2, 0, 7}});  // row 2: only left of it
    M.Mirror(2.0);
    EXPECT_EQ(Structure(M), "0: 0=4 1=1; 1: 0=2 1=5; 2:");
    M.AAT();  // [[4, 1], [2, 5]] times its transpose
    EXPECT_EQ(Structure(M), "0: 0=17 1=13; 1: 0=13 1=29; 2:");
    M.Clear();
    EXPECT_EQ(Structure(M), "0:; 1:; 2:");
    M.Add(2, 1, 1.5);
    M.ReverseRows();
    M.FixPointers();
    EXPECT_EQ(Structure(M), "0:; 1:; 2: 1=1.5");
}

// Moves through CSparseMatrix&&: a system matrix's rows are elements of its array and must never
// be taken over (and later deleted one by one) by a plain matrix, nor its array replaced by a
// plain list (the sanitizer build reports any release of an array element, double release or
// leak). A plain matrix made or assigned from a system matrix takes its cells (the stored zero too) into
// rows of its own; the system matrix keeps its array, every row empty, and stays usable.
TEST_F(SystSpMat, PlainTargetTakesTheCellsOfASystemSource)
{
    CSystSpMat K = System3(), L = System3();
    CSparseMatrix S(std::move(static_cast<CSparseMatrix&>(K)));
    CSparseMatrix T = FromTriplets({{7, 7, 1.0}});
    T = std::move(static_cast<CSparseMatrix&>(L));  // T's own rows are released first
    EXPECT_EQ(Structure(S), kSystem3);
    EXPECT_EQ(Structure(T), kSystem3);
    EXPECT_EQ(Structure(K) + "; " + Structure(L), "0:; 1:; 2:; 0:; 1:; 2:");
    EXPECT_EQ(K.GetFirstRow(), K.m_pRowArray);
    K.Add(1, 1, 3.0);
    EXPECT_EQ(Structure(K), "0:; 1: 1=3; 2:");
}

// A system matrix assigned through CSparseMatrix& is cleared and receives the source's non-zero
// entries through its own Add: its array stays (entries outside it are ignored), from a plain
// source as from another system matrix, which keeps its cells.
TEST_F(SystSpMat, SystemTargetKeepsItsArray)
{
    CSystSpMat K = System3(), other = System3();
    const CSparseMatrix::row* array = K.m_pRowArray;
    CSparseMatrix& asSparse = K;
    asSparse = FromTriplets({{0, 1, 4.0}, {1, 1, 0.0}, {2, 0, 6.0}, {5, 5, 9.0}});
    EXPECT_TRUE(K.m_pRowArray == array && K.GetFirstRow() == array);
    EXPECT_EQ(Structure(K), "0: 1=4; 1:; 2: 0=6");
    asSparse = std::move(static_cast<CSparseMatrix&>(other));
    EXPECT_EQ(Structure(K), "0: 0=2 2=1; 1:; 2: 2=5");  // the stored zero is not added
    EXPECT_EQ(Structure(other), kSystem3);
}

// The row merging Cholesky and the row-by-row LU against their right-looking forms on random
// patterns (weak diagonals fail part way; empty rows; rows starting left or right of their
// diagonal), with a column outside the matrix: Cholesky fails at that row before it sends
// anything (choice), LU at the step that cannot pass it. Neither counts m_Flops.
TEST_F(SystSpMat, FactorizationsMatchTheReferenceFormsBitForBit)
{
    std::mt19937 gen(3);
    for (int trial = 0; trial < 60; ++trial)
    {
        SCOPED_TRACE(trial);
        const int n = 30 + trial * 2;
        const double diag = trial % 3 ? 12.0 : 4.0;
        CSystSpMat U =
            System(n, RandomSparse(gen, {n, 4, 1 + trial % 17, true, diag, trial % 7 == 0}));
        CSystSpMat F = System(n, RandomSparse(gen, {n, 3, 1 + trial % 29, false, diag, false}));
        if (trial % 4 == 1) U.m_pRowArray[n / 2].Add(n + 3, 1.0);
        if (trial % 4 == 1) F.m_pRowArray[n / 2].Add(-1, 1.0);
        if (trial % 4 == 2) U.Add(n - 1, n / 3, 0.25);
        if (trial % 4 == 3) delete U.m_pRowArray[n / 3].Remove(n / 3);
        CVirtMat::m_Flops = 7;
        CSystSpMat(U).Cholesky();
        CSystSpMat(F).LU();
        EXPECT_EQ(CVirtMat::m_Flops, 7u);
        ExpectSameAsPlain(U, Cholesky, tarvel::detail::syst_cholesky_merging);
        ExpectSameAsPlain(F, Lu, LuRightLooking);
    }
}
