// CSparseMatrix storage and structure: the lists after Add/AddValues/Allocate/removals walked
// through the public fields, cursor positions, copies, export, queries, printing, Mirror, and AAT
// against the dense product.
#include "SparseTesting.h"

namespace
{

const double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

TEST_F(SparseMatrix, AddKeepsTheListsOrderedAndMovesTheCursors)
{
    CSparseMatrix S;
    S.Add(2, 3, 0.0);  // the plain form skips zeros and NaNs
    S.Add(2, 3, kNaN);
    for (auto [i, j, v] :
         {std::tuple{5, 2, 1.0}, {5, 1, 2.0}, {3, 4, 3.0}, {5, 2, 0.5}, {7, 0, 4.0}, {4, 9, 5.0}})
        S.Add(i, j, v);
    EXPECT_EQ(Structure(S), "3: 4=3; 4: 9=5; 5: 1=2 2=1.5; 7: 0=4");
    EXPECT_EQ(std::pair(S.GetRows(), S.GetColumns()), std::pair(8, 10));
    EXPECT_TRUE(!S.GetValue(6, 2) && !S.GetValue(5, 0));
    EXPECT_EQ(*S.GetValue(5, 2), 1.5);

    Row* r = nullptr;
    Cell* c = nullptr;
    S.Add(5, 6, 0.0, r, c);  // the cursor forms store zeros
    EXPECT_EQ(std::pair(r->m_nRow, c->m_nCol), std::pair(5, 6));
    S.Add(5, 0, 1.0, r, c);  // a cell cursor beyond the column: from the row's head
    EXPECT_EQ(c, r->m_pFirstCell);
    S.Add(5, 8, 1.0, r, c);  // forward from the cursor
    EXPECT_EQ(c->m_nCol, 8);
    Cell* c0 = nullptr;
    S.Add(0, 0, 4.0, r, c0);  // a row cursor beyond the row: from the head; a new head
    EXPECT_EQ(r, S.GetFirstRow());
    S.Add(6, 1, 5.0, r);  // row cursor only: a new row between 5 and 7
    Cell* c6 = r->m_pFirstCell;
    S.Add(6, 4, 6.0, c6);  // cell cursor only
    EXPECT_EQ(std::pair(r->m_nRow, c6->m_nCol), std::pair(6, 4));
    EXPECT_EQ(Structure(S), "0: 0=4; 3: 4=3; 4: 9=5; 5: 0=1 1=2 2=1.5 6=0 8=1; 6: 1=5 4=6; 7: 0=4");
}

TEST_F(SparseMatrix, RowAndCellOperations)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1}, {0, 3, 2}, {0, 5, 3}, {2, 1, 4}, {2, 4, 5}});
    Row* r0 = S.GetFirstRow();
    delete r0->Remove(3);
    delete r0->Remove(2, 4);                           // walks to row 2
    EXPECT_TRUE(!r0->Remove(3) && !r0->Remove(1, 1));  // no cell (0, 3), no row 1
    Cell* head = r0->m_pFirstCell;
    Cell* five = head->m_pNext;
    head->Remove(head);  // a cell never removes itself
    head->Remove(five);
    delete five;
    r0->Add(9, 2.0);
    r0->Add(7, 0.0);  // no zero test
    delete head->Remove(7);
    EXPECT_EQ(Structure(S), "0: 0=1 9=2; 2: 1=4");

    Cell* c = nullptr;
    r0->Add(4, 1.0, c);
    r0->Add(9, 1.0, c);  // from the cursor, accumulating
    EXPECT_EQ(c->m_nCol, 9);
    head->DivideAll(2.0);
    CVirtMat::m_Flops = 10;
    r0->Multiply(-2.0, 4);  // one operation per cell from column 4 on
    EXPECT_EQ(CVirtMat::m_Flops, 12u);
    // 2 (0:5, 2:1, 4:1, 11:7) merged in: a new head, between, onto a cell, appended.
    CSparseMatrix T = FromTriplets({{0, 0, 5.0}, {0, 2, 1.0}, {0, 4, 1.0}, {0, 11, 7.0}});
    r0->AddRow(T.GetFirstRow()->m_pFirstCell, 2.0);
    EXPECT_EQ(Structure(S), "0: 0=10.5 2=2 4=1 9=-3 11=14; 2: 1=4");
    EXPECT_EQ(r0->NonZeros(), 5);
    r0->Allocate(2, 1.5, 4);  // exactly columns 4 and 5, reusing cells
    EXPECT_EQ(Structure(S), "0: 4=1.5 5=1.5; 2: 1=4");
}

TEST_F(SparseMatrix, AllocateBuildsPatternsOfExplicitCells)
{
    const char* sevens = "0: 0=7 1=7 2=7; 1: 0=7 1=7 2=7";
    const std::tuple<std::vector<int>, const char*, int, int> steps[] = {
        // dims, lists, alloc
        {{2, 2}, "0: 0=0 1=0; 1: 0=0 1=0", 2, 2},  // rows renumbered by position, surplus deleted
        {{3}, "0:; 1:; 2:", 3, 0},
        {{2, 3, 9, 7}, sevens, 2, 3},  // dims[3] is the fill value
        {{-2, 3}, sevens, 2, 3},       // a negative count: nothing (choice)
        {{0}, "", 0, 0},
    };
    CSparseMatrix S = FromTriplets({{4, 1, 1.0}, {9, 0, 2.0}, {12, 5, 3.0}});
    for (auto [dims, lists, rows, cols] : steps)
    {
        EXPECT_TRUE(S.Allocate(dims.data(), static_cast<int>(dims.size())));
        EXPECT_EQ(Structure(S), lists);
        EXPECT_EQ(std::pair(S.m_nAllocRows, S.m_nAllocCols), std::pair(rows, cols));
    }
}

TEST_F(SparseMatrix, AddValuesAssemblesElementsByAscendingIndex)
{
    const std::tuple<std::vector<long>, std::vector<double>, const char*> cases[] = {
        {{7, -1, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, "3: 3=9 7=7; 7: 3=3 7=1"},  // -1: row/column out
        // The entry at the smallest index is stored even when 0.0; further zeros are not.
        {{4, 1, 6}, {0, 1, 0, 0, 0, 0, 2, 0, 3}, "1: 1=0; 4: 1=1; 6: 1=0 4=2 6=3"},
        {{-1, -5}, {1, 2, 3, 4}, ""},
        // A repeated index (choice): the pick finding nothing above 5 repeats position 1, so
        // row 5 and column 5 come twice; position 2 is never read.
        {{3, 5, 3}, {1, 2, 100, 4, 8, 100, 100, 100, 100}, "3: 3=1 5=4; 5: 3=8 5=32"},
    };
    for (auto [dofs, ke, lists] : cases)
    {
        CSparseMatrix S;
        S.AddValues(dofs.data(), ke.data(), static_cast<int>(dofs.size()));
        EXPECT_EQ(Structure(S), lists);
    }
}

TEST_F(SparseMatrix, CopyIsExactAssignmentAddsMoveTakesOver)
{
    CSparseMatrix S = FromTriplets({{0, 0, 1.0}, {0, 2, 0.0}, {2, 1, 3.0}});
    int dims[] = {3};
    CSparseMatrix withEmpty;
    withEmpty.Allocate(dims, 1);
    withEmpty.Add(1, 1, 2.0);
    CSparseMatrix copy(withEmpty);
    EXPECT_EQ(Structure(copy), "0:; 1: 1=2; 2:");
    EXPECT_EQ(copy.m_nAllocRows, 3);
    CSparseMatrix target;
    target = S;  // stored zeros are not transferred
    target = S;  // and a second assignment adds
    CSparseMatrix moved(std::move(target));
    EXPECT_EQ(Structure(moved), "0: 0=2; 2: 1=6");
    EXPECT_EQ(target.GetFirstRow(), nullptr);
    moved = std::move(copy);
    EXPECT_EQ(Structure(moved), "0:; 1: 1=2; 2:");
}

// Max starts from 0.0; NumZeros uses NearlyEqual, whose zero tolerance means x == y (choice);
// MakeArrayMat exports a unit row (one cell holding 1.0) as an empty one; COUT prints zeros
// for what is not stored.
TEST_F(SparseMatrix, QueriesExportAndPrintout)
{
    EXPECT_EQ(FromTriplets({{0, 0, -3.0}}).Max(), CSparseMatrix().Max());  // 0.0
    CSparseMatrix Z = FromTriplets(
        {{0, 0, 0.0}, {0, 1, -0.0}, {0, 2, 1e-17}, {0, 3, 1e-14}, {0, 4, 1.0}, {1, 0, kNaN}});
    // Windows of 0, 10 and 100 eps around 0.0; a NaN is never nearly zero.
    EXPECT_EQ(std::tuple(Z.NumZeros(0.0), Z.NumZeros(10.0), Z.NumZeros(100.0)),
              std::tuple(2, 3, 4));
    EXPECT_EQ(Z.Max(), 1.0);
    Z = 2.5;
    static_cast<CVirtRealMat&>(Z) += 1.0;
    EXPECT_EQ(Structure(Z), "0: 0=3.5 1=3.5 2=3.5 3=3.5 4=3.5; 1: 0=3.5");

    CSparseMatrix S = FromTriplets({{0, 0, 4.0}, {0, 3, 1.0}, {1, 1, 1.0}, {3, 3, 5.0}});
    double* values = nullptr;
    int *counts = nullptr, *cols = nullptr;
    ASSERT_EQ(S.MakeArrayMat(values, counts, cols, 5), 3);
    EXPECT_EQ(std::vector<int>(counts, counts + 5), (std::vector<int>{2, 0, 0, 1, 0}));
    EXPECT_EQ(std::vector<double>(values, values + 3), (std::vector<double>{4, 1, 5}));
    EXPECT_EQ(std::vector<int>(cols, cols + 3), (std::vector<int>{0, 3, 3}));
    delete[] values;
    delete[] counts;
    delete[] cols;

    testing::internal::CaptureStdout();  // COUT fills what is not stored with zeros
    FromTriplets({{1, 1, 2.5}, {1, 3, -1.0}, {3, 0, 4.0}}).COUT(",");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0,\n0,2.5,0,-1,\n0,\n4,\n");
}

TEST_F(SparseMatrix, StructuralEditsAndShapeTests)
{
    CSparseMatrix L =
        FromTriplets({{0, 0, 1}, {0, 2, 2}, {1, 0, 3}, {2, 0, 4}, {2, 1, 5}, {2, 2, 6}});
    CSparseMatrix U(L);
    EXPECT_FALSE(L.IsUpper());
    L.MakeLower();  // both keep the diagonal and the upper part; emptied rows stay
    U.MakeUpper();
    EXPECT_EQ(Structure(L), "0: 0=1 2=2; 1:; 2: 2=6");
    EXPECT_TRUE(SameBits(L, U));
    EXPECT_TRUE(L.IsUpper() && !L.IsLower(nullptr));
    L.ReverseRows();
    EXPECT_EQ(Structure(L), "2: 2=6; 1:; 0: 0=1 2=2");
    L.ReverseRows();
    CSparseMatrix().ReverseRows();  // nothing to walk (choice)

    L.Mirror(-2.0);  // row 1 is deleted; (0, 2) comes back as (2, 0) = -4
    EXPECT_EQ(Structure(L), "0: 0=1 2=2; 2: 0=-4 2=6");
    L.Clear();
    EXPECT_EQ(L.GetFirstRow(), nullptr);

    // A stored zero below the diagonal matches a missing entry above; not the other way round.
    EXPECT_TRUE(FromTriplets({{0, 0, 1}, {1, 0, 0.0}, {1, 1, 1}}).IsSym());
    EXPECT_FALSE(FromTriplets({{0, 0, 1}, {0, 1, 0.0}, {1, 1, 1}}).IsSym());
    EXPECT_TRUE(FromTriplets({{0, 0, 1}, {0, 1, 5}}).IsSym());  // GetRows 1: column 1 unseen
    EXPECT_FALSE(FromTriplets({{0, 1, kNaN}, {1, 0, kNaN}}).IsSym());
}

// AAT through column lists against the product of the dense forms, on random patterns with
// row gaps and stored zeros (half of them mirrored): small integers make every sum exact, and the
// sums that are 0.0 are not stored. No flop is counted.
TEST_F(SparseMatrix, AATMatchesTheDenseProduct)
{
    std::mt19937 gen(5);
    for (int trial = 0; trial < 60; ++trial)
    {
        CSparseMatrix S =
            RandomSparse(gen, {12 + trial, 1 + trial % 4, 8, trial % 2 == 0, 0.0, true});
        if (trial % 2 == 0) S.Mirror(1.0);
        CMatrix product;
        product.UnSparse(&S);
        product *= CMatrix(product, true);
        CSparseMatrix expected, *target = &expected;
        product.Sparse(target);
        CVirtMat::m_Flops = 0;
        S.AAT();
        EXPECT_EQ(Structure(S), Structure(expected)) << trial;
        EXPECT_EQ(CVirtMat::m_Flops, 0u);
    }
}
