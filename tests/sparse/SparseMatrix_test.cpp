// CSparseMatrix storage: list structure after Add/AddValues/Allocate/removals (walked through
// the public fields), cursor positions, copies, export, queries and printing.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SparseDetail.h>

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <thread>

using namespace tarvel_test;
using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

namespace
{

// Captures std::cout for the lifetime of the object.
class CoutCapture
{
public:
    CoutCapture() : m_old(std::cout.rdbuf(m_buffer.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(m_old); }
    std::string text() const { return m_buffer.str(); }

private:
    std::ostringstream m_buffer;
    std::streambuf* m_old;
};

}  // namespace

TEST(SparseAdd, PlainAddSkipsZeroAndNaNCursorFormsStoreZeros)
{
    CSparseMatrix S;
    S.Add(2, 3, 0.0);
    S.Add(2, 3, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(S.GetFirstRow(), nullptr);

    Cell* c = nullptr;
    S.Add(2, 3, 0.0, c);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Structure(S), "2: 3=0");
    EXPECT_EQ(c, S.GetFirstRow()->m_pFirstCell);
}

TEST(SparseAdd, RowsAndCellsAreLinkedInAscendingOrder)
{
    CSparseMatrix S;
    S.Add(5, 2, 1.0);
    S.Add(5, 1, 2.0);
    S.Add(3, 4, 3.0);
    S.Add(5, 2, 0.5);  // accumulates
    S.Add(7, 0, 4.0);  // appended at the end
    S.Add(4, 9, 5.0);  // between two rows
    EXPECT_EQ(Structure(S), "3: 4=3; 4: 9=5; 5: 1=2 2=1.5; 7: 0=4");
    EXPECT_TRUE(tarvel::detail::lists_are_ordered(S));
    EXPECT_EQ(S.GetRows(), 8);
    EXPECT_EQ(S.GetColumns(), 10);
    EXPECT_EQ(S.GetValue(4, 0), nullptr);
    EXPECT_EQ(S.GetValue(5, 0), nullptr);
    EXPECT_EQ(S.GetValue(6, 2), nullptr);
    ASSERT_NE(S.GetValue(5, 2), nullptr);
    EXPECT_EQ(*S.GetValue(5, 2), 1.5);
}

TEST(SparseAdd, CursorsPointAtTheEntryAndRestartWhenBehind)
{
    CSparseMatrix S;
    Row* r = nullptr;
    Cell* c = nullptr;
    S.Add(1, 5, 1.0, r, c);
    EXPECT_EQ(r->m_nRow, 1);
    EXPECT_EQ(c->m_nCol, 5);
    // A cell cursor beyond the wanted column is ignored: the walk restarts at the row head.
    S.Add(1, 2, 2.0, r, c);
    EXPECT_EQ(c->m_nCol, 2);
    EXPECT_EQ(r->m_pFirstCell, c);
    // Forward from the cursor.
    S.Add(1, 7, 3.0, r, c);
    EXPECT_EQ(c->m_nCol, 7);
    // A row cursor beyond the wanted row restarts at the list head: row 0 becomes the head.
    Cell* c0 = nullptr;
    S.Add(0, 0, 4.0, r, c0);
    EXPECT_EQ(r, S.GetFirstRow());
    EXPECT_EQ(r->m_nRow, 0);
    // Row-cursor form: cells from the head.
    S.Add(3, 1, 5.0, r);
    EXPECT_EQ(r->m_nRow, 3);
    // Cell-cursor form: rows from the head.
    Cell* c3 = r->m_pFirstCell;
    S.Add(3, 4, 6.0, c3);
    EXPECT_EQ(c3->m_nCol, 4);
    EXPECT_EQ(Structure(S), "0: 0=4; 1: 2=2 5=1 7=3; 3: 1=5 4=6");
}

TEST(SparseAdd, RowAddWithCursorAndAddRowMerge)
{
    CSparseMatrix S;
    Row* r = nullptr;
    S.Add(0, 3, 1.0, r);
    Cell* c = nullptr;
    r->Add(1, 2.0, c);
    EXPECT_EQ(c->m_nCol, 1);
    r->Add(3, 1.0, c);  // from the cursor, accumulates
    EXPECT_EQ(c->m_dValue, 2.0);
    r->Add(6, 0.0);  // no zero test
    EXPECT_EQ(Structure(S), "0: 1=2 3=2 6=0");

    // 2 * (0:5, 2:1, 3:1, 9:7) merged: new head, between, equal, appended.
    CSparseMatrix T = FromTriplets({{0, 0, 5.0}, {0, 2, 1.0}, {0, 3, 1.0}, {0, 9, 7.0}});
    r->AddRow(T.GetFirstRow()->m_pFirstCell, 2.0);
    EXPECT_EQ(Structure(S), "0: 0=10 1=2 2=2 3=4 6=0 9=14");
    r->AddRow(nullptr, 1.0);  // adds f to every cell
    EXPECT_EQ(Structure(S), "0: 0=11 1=3 2=3 3=5 6=1 9=15");

    // Merging into an empty row appends everything.
    Row empty;
    empty.m_nRow = 4;
    empty.AddRow(T.GetFirstRow()->m_pFirstCell->m_pNext, -1.0);
    EXPECT_EQ(empty.NonZeros(), 3);
    EXPECT_EQ(empty.m_pFirstCell->m_nCol, 2);
    EXPECT_EQ(empty.m_pFirstCell->m_dValue, -1.0);
}

TEST(SparseAllocate, PatternsOfExplicitCells)
{
    CSparseMatrix S;
    int three[] = {3};
    EXPECT_TRUE(S.Allocate(three, 1));
    EXPECT_EQ(Structure(S), "0:; 1:; 2:");
    EXPECT_EQ(S.GetRows(), 3);
    EXPECT_EQ(S.GetColumns(), 0);
    EXPECT_EQ(S.m_nAllocRows, 3);

    int twoByThree[] = {2, 3};
    S.Allocate(twoByThree, 2);
    EXPECT_EQ(Structure(S), "0: 0=0 1=0 2=0; 1: 0=0 1=0 2=0");
    EXPECT_EQ(S.m_nAllocCols, 3);

    int sevens[] = {2, 3, 9, 7};
    S.Allocate(sevens, 4);
    EXPECT_EQ(Structure(S), "0: 0=7 1=7 2=7; 1: 0=7 1=7 2=7");

    int four[] = {4, 4};
    S.Allocate(four, 2);
    int two[] = {2, 2};
    S.Allocate(two, 2);
    EXPECT_EQ(Structure(S), "0: 0=0 1=0; 1: 0=0 1=0");

    // Existing rows are renumbered by position; surplus rows deleted.
    CSparseMatrix T = FromTriplets({{4, 1, 1.0}, {9, 0, 2.0}, {12, 5, 3.0}});
    T.Allocate(two, 2);
    EXPECT_EQ(Structure(T), "0: 0=0 1=0; 1: 0=0 1=0");

    int zero[] = {0};
    EXPECT_TRUE(S.Allocate(zero, 1));
    EXPECT_EQ(S.GetFirstRow(), nullptr);
    EXPECT_EQ(S.m_nAllocRows, 0);
    int negative[] = {-2, 3};
    EXPECT_TRUE(T.Allocate(negative, 2));  // does nothing
    EXPECT_EQ(Structure(T), "0: 0=0 1=0; 1: 0=0 1=0");
}

TEST(SparseAddValues, SkipsNegativeDofsAndOrdersByIndex)
{
    CSparseMatrix S;
    long dofs[] = {7, -1, 3};
    double ke[] = {1, 2, 3,  //
                   4, 5, 6,  //
                   7, 8, 9};
    S.AddValues(dofs, ke, 3);
    EXPECT_EQ(Structure(S), "3: 3=9 7=7; 7: 3=3 7=1");
}

TEST(SparseAddValues, ZeroAtSmallestIndexIsStoredFurtherZerosAreSkipped)
{
    CSparseMatrix S;
    long dofs[] = {4, 1, 6};
    double ke[] = {0, 1, 0,  //
                   0, 0, 0,  //
                   2, 0, 3};
    S.AddValues(dofs, ke, 3);
    EXPECT_EQ(Structure(S), "1: 1=0; 4: 1=1; 6: 1=0 4=2 6=3");

    long none[] = {-1, -5};
    S.AddValues(none, ke, 2);
    EXPECT_EQ(Structure(S), "1: 1=0; 4: 1=1; 6: 1=0 4=2 6=3");
}

TEST(SparseAddValues, RepeatedIndexRepeatsThePreviousPick)
{
    // Picks: position 0 (index 3), position 1 (index 5), then nothing above 5: position 1
    // again. Position 2 (the second 3) is never read.
    CSparseMatrix S;
    long dofs[] = {3, 5, 3};
    double ke[] = {1,   2,   100,  //
                   4,   8,   100,  //
                   100, 100, 100};
    S.AddValues(dofs, ke, 3);
    // Row 3: (3,3)=1, then further picks 5, 5: 2 + 2. Row 5 twice: each time 4 at column 3
    // and 8 + 8 at column 5.
    EXPECT_EQ(Structure(S), "3: 3=1 5=4; 5: 3=8 5=32");
}

TEST(SparseAddValues, AssembledModelsEqualTheirDenseTwins)
{
    for (const Mesh& mesh : {SpringChain(9), GridLaplacian(5, 4), PoissonQ4(5, 6)})
    {
        CSparseMatrix S;
        mesh.AssembleInto(S);
        EXPECT_TRUE(tarvel::detail::lists_are_ordered(S));
        const CMatrix D = mesh.Dense();
        CMatrix back;
        back.UnSparse(&S);
        ASSERT_EQ(back.m_nSize, D.m_nSize);
        for (int e = 0; e < D.m_nSize; ++e) EXPECT_EQ(back.m_pData[e], D.m_pData[e]) << e;
        EXPECT_TRUE(S.IsSym());
    }
}

TEST(SparseCopy, CopyIsExactAndAssignmentAdds)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1.0}, {0, 2, 0.0}, {2, 1, 3.0}});
    int dims[] = {3};
    CSparseMatrix withEmpty;
    withEmpty.Allocate(dims, 1);
    withEmpty.Add(1, 1, 2.0);
    CSparseMatrix copy(withEmpty);
    EXPECT_EQ(Structure(copy), "0:; 1: 1=2; 2:");
    EXPECT_EQ(copy.m_nAllocRows, 3);
    EXPECT_NE(copy.GetFirstRow(), withEmpty.GetFirstRow());

    CSparseMatrix target;
    target = S;  // stored zeros are not transferred
    EXPECT_EQ(Structure(target), "0: 0=1; 2: 1=3");
    target = S;  // adds
    EXPECT_EQ(Structure(target), "0: 0=2; 2: 1=6");

    CSparseMatrix moved(std::move(target));
    EXPECT_EQ(Structure(moved), "0: 0=2; 2: 1=6");
    EXPECT_EQ(target.GetFirstRow(), nullptr);
    moved = std::move(copy);
    EXPECT_EQ(Structure(moved), "0:; 1: 1=2; 2:");
    EXPECT_EQ(moved.m_nAllocRows, 3);
}

TEST(SparseRemove, RowAndCellRemovalUnlinkWithoutDeleting)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1}, {0, 3, 2}, {0, 5, 3}, {2, 1, 4}, {2, 4, 5}});
    Row* r0 = S.GetFirstRow();
    Cell* removed = r0->Remove(3);
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->m_nCol, 3);
    delete removed;
    EXPECT_EQ(r0->Remove(3), nullptr);
    removed = r0->Remove(2, 4);  // walks to row 2
    ASSERT_NE(removed, nullptr);
    delete removed;
    EXPECT_EQ(r0->Remove(1, 1), nullptr);  // row 1 does not exist
    EXPECT_EQ(Structure(S), "0: 0=1 5=3; 2: 1=4");

    Cell* head = r0->m_pFirstCell;
    Cell* five = head->m_pNext;
    head->Remove(head);  // the cell itself is never removed
    EXPECT_EQ(head->m_pNext, five);
    head->Remove(five);
    EXPECT_EQ(head->m_pNext, nullptr);
    delete five;
    EXPECT_EQ(head->Remove(0), nullptr);
    r0->Add(7, 1.0);
    r0->Add(9, 2.0);
    Cell* seven = head->Remove(7);
    ASSERT_NE(seven, nullptr);
    delete seven;
    EXPECT_EQ(Structure(S), "0: 0=1 9=2; 2: 1=4");

    head->DivideAll(2.0);
    EXPECT_EQ(Structure(S), "0: 0=0.5 9=1; 2: 1=4");
    r0->Allocate(3, 1.5, 4);
    EXPECT_EQ(Structure(S), "0: 4=1.5 5=1.5 6=1.5; 2: 1=4");
    r0->Allocate(0, 1.0, 0);
    EXPECT_EQ(Structure(S), "0:; 2: 1=4");
}

TEST_F(GlobalStateTest, RowMultiplyCountsOneFlopPerCell)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1}, {0, 2, 2}, {0, 5, 3}});
    CVirtMat::m_Flops = 10;
    S.GetFirstRow()->Multiply(-2.0, 2);
    EXPECT_EQ(CVirtMat::m_Flops, 12u);
    EXPECT_EQ(Structure(S), "0: 0=1 2=-4 5=-6");
}

TEST(SparseQueries, MaxNumZerosAndValueOperators)
{
    CSparseMatrix S = FromTriplets({{0, 0, -3.0}});
    EXPECT_EQ(S.Max(), 0.0);
    EXPECT_EQ(S.GetFirstRow()->Max(), 0.0);
    CSparseMatrix empty;
    EXPECT_EQ(empty.Max(), 0.0);
    EXPECT_EQ(empty.GetRows(), 0);
    EXPECT_EQ(empty.GetColumns(), 0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    CSparseMatrix Z = FromTriplets(
        {{0, 0, 0.0}, {0, 1, -0.0}, {0, 2, 1e-17}, {0, 3, 1e-14}, {0, 4, 1.0}, {1, 0, nan}});
    EXPECT_EQ(Z.NumZeros(0.0), 2);    // exactly zero
    EXPECT_EQ(Z.NumZeros(10.0), 3);   // |v| < 2.2e-15
    EXPECT_EQ(Z.NumZeros(100.0), 4);  // |v| < 2.2e-14
    EXPECT_EQ(Z.GetFirstRow()->NumZeros(100.0), 4);
    EXPECT_EQ(Z.Max(), 1.0);

    Z = 2.5;  // CVirtRealMat::operator=(double) through the base interface
    static_cast<CVirtRealMat&>(Z) += 1.0;
    EXPECT_EQ(Structure(Z), "0: 0=3.5 1=3.5 2=3.5 3=3.5 4=3.5; 1: 0=3.5");
}

TEST(SparseQueries, NearlyEqualWindows)
{
    using tarvel::detail::nearly_equal;
    const double up = std::nextafter(2.0, 3.0);  // 2 (1 + eps): the relative window's end
    EXPECT_TRUE(nearly_equal(up, 2.0, 1.0));
    EXPECT_FALSE(nearly_equal(std::nextafter(up, 3.0), 2.0, 1.0));
    EXPECT_TRUE(nearly_equal(std::nextafter(2.0, 1.0), 2.0, 1.0));
    // Negative y: (1 - e) y is the larger bound, both ends excluded.
    EXPECT_TRUE(nearly_equal(-2.0, -2.0, 1.0));
    EXPECT_FALSE(nearly_equal(-up, -2.0, 1.0));
    // Zero tolerance: equal values only.
    EXPECT_TRUE(nearly_equal(3.0, 3.0, 0.0));
    EXPECT_FALSE(nearly_equal(std::nextafter(3.0, 4.0), 3.0, 0.0));
    EXPECT_TRUE(nearly_equal(0.5, 0.5, 0.0));
    EXPECT_FALSE(nearly_equal(std::nan(""), 0.0, 1e300));
}

TEST(SparseExport, MakeArrayMatSkipsUnitRows)
{
    for (const double diag : {1.0, 2.0})
    {
        SCOPED_TRACE(diag);
        CSparseMatrix S = FromTriplets({{0, 0, 4.0}, {0, 3, 1.0}, {1, 1, diag}, {3, 3, 5.0}});
        double* values = nullptr;
        int* counts = nullptr;
        int* cols = nullptr;
        const int total = S.MakeArrayMat(values, counts, cols, 5);
        const bool unit = diag == 1.0;
        EXPECT_EQ(total, unit ? 3 : 4);
        EXPECT_EQ(counts[0], 2);
        EXPECT_EQ(counts[1], unit ? 0 : 1);
        EXPECT_EQ(counts[2], 0);  // not stored
        EXPECT_EQ(counts[3], 1);
        EXPECT_EQ(counts[4], 0);
        EXPECT_EQ(values[0], 4.0);
        EXPECT_EQ(cols[1], 3);
        EXPECT_EQ(values[total - 1], 5.0);
        EXPECT_EQ(cols[total - 1], 3);
        delete[] values;
        delete[] counts;
        delete[] cols;
    }
}

TEST(SparseStructureEdits, LowerUpperReverseAndClear)
{
    const std::vector<std::tuple<int, int, double>> entries = {{0, 0, 1}, {0, 2, 2}, {1, 0, 3},
                                                               {2, 0, 4}, {2, 1, 5}, {2, 2, 6}};
    CSparseMatrix L = FromTriplets(entries);
    CSparseMatrix U = FromTriplets(entries);
    L.MakeLower();
    U.MakeUpper();
    EXPECT_EQ(Structure(L), "0: 0=1 2=2; 1:; 2: 2=6");  // the emptied row stays
    EXPECT_TRUE(SameBits(L, U));
    EXPECT_TRUE(L.IsUpper());

    L.ReverseRows();
    EXPECT_EQ(Structure(L), "2: 2=6; 1:; 0: 0=1 2=2");
    L.ReverseRows();
    EXPECT_TRUE(SameBits(L, U));
    CSparseMatrix empty;
    empty.ReverseRows();
    EXPECT_EQ(empty.GetFirstRow(), nullptr);

    int dims[] = {4, 4};
    L.Allocate(dims, 2);
    L.Clear();
    EXPECT_EQ(L.GetFirstRow(), nullptr);
    EXPECT_EQ(L.m_nAllocRows, 0);
    EXPECT_EQ(L.m_nAllocCols, 0);
}

TEST(SparsePrint, CoutFillsMissingRowsAndColumnsWithZeros)
{
    CSparseMatrix S = FromTriplets({{1, 1, 2.5}, {1, 3, -1.0}, {3, 0, 4.0}});
    CoutCapture capture;
    S.COUT(",");
    EXPECT_EQ(capture.text(), "0,\n0,2.5,0,-1,\n0,\n4,\n");
}

TEST(SparseRecord, RuntimeClassAndDynamicCreation)
{
    const CRuntimeClass* rc = CRuntimeClass::FromName("CSparseMatrix");
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(rc->m_pBaseClass, RUNTIME_CLASS(CVirtRealMat));
    EXPECT_EQ(rc->m_wSchema, 1u);
    CObject* made = rc->CreateObject();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->IsKindOf(RUNTIME_CLASS(CSparseMatrix)));
    EXPECT_EQ(static_cast<CSparseMatrix*>(made)->GetFirstRow(), nullptr);
    delete made;
}

TEST(SparseRecord, ArchivesStoreNothingAndReadBackEmpty)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1.0}, {2, 3, 4.0}});
    const std::string path = ::testing::TempDir() + "sparse_record.bin";
    {
        CFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        ar << static_cast<const CObject*>(&S);
    }
    CFile file(path.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    CSparseMatrix* loaded = nullptr;
    ar >> loaded;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetFirstRow(), nullptr);
    EXPECT_EQ(loaded->GetRuntimeClass(), RUNTIME_CLASS(CSparseMatrix));
    delete loaded;
}

// Cells come from per-thread pools: matrices built on two threads at once come out alike, and
// cells made on one thread may be released on another.
TEST(SparseCells, ThreadsBuildAndReleaseIndependently)
{
    const Mesh mesh = GridLaplacian(30, 20);
    CSparseMatrix onMain, onOther;
    std::thread worker(
        [&]
        {
            mesh.AssembleInto(onOther);
            onOther.LU();  // counts no flops: m_Flops is not shared across threads
        });
    mesh.AssembleInto(onMain);
    onMain.LU();
    worker.join();
    EXPECT_TRUE(SameBits(onMain, onOther));
    std::thread releaser([&] { onOther.Clear(); });  // made on the worker, released here
    releaser.join();
    onMain.Clear();
    mesh.AssembleInto(onMain);  // reuses released slots
    EXPECT_TRUE(tarvel::detail::lists_are_ordered(onMain));
}
