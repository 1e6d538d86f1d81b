// CSystSpMat storage: the row array, element assembling in both storage modes, same-size
// Allocate, copies and assignments (ownership is checked by the sanitizer build), and the
// inherited structural operations kept inside the array.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;
using SystSpMat = GlobalStateTest;

TEST_F(SystSpMat, RowArrayRecordAndAdd)
{
    CSystSpMat K(3);
    EXPECT_EQ(K.GetColumns(), 3);
    EXPECT_EQ(Structure(K), "0:; 1:; 2:");
    EXPECT_EQ(CSystSpMat(0).GetFirstRow(), nullptr);
    CReorderMat graph(1);
    EXPECT_FALSE(K.Allocate(graph));  // no profile from a graph
    const CRuntimeClass* record = CRuntimeClass::FromName("CSystSpMat");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CSparseMatrix));
    std::unique_ptr<CObject> made(record->CreateObject());
    EXPECT_NE(dynamic_cast<CSystSpMat*>(made.get()), nullptr);

    CSparseMatrix::row* r = nullptr;
    CSparseMatrix::cell* c = nullptr;
    K.Add(1, 2, 0.0, r);
    EXPECT_EQ(r, nullptr);  // a zero moves no cursor
    K.Add(1, 2, 5.0, r, c);
    EXPECT_EQ(r, K.m_pRowArray + 1);
    K.Add(1, 0, 1.0);
    K.Add(3, 0, 7.0, r);  // outside the matrix (a text file may hold more): ignored
    K.Add(0, 3, 7.0, r, c);
    EXPECT_EQ(Structure(K), "0:; 1: 0=1 2=5; 2:");
}

// The element {4, 2} with ke = [[1, 2], [2, 3]] in both modes; a negative index drops its row and
// column, an index at or above the row count too; zeros are not stored.
TEST_F(SystSpMat, AddValuesStoresTheUpperTriangleInSymmetricMode)
{
    long dofs[] = {4, 2};
    double ke[] = {1, 2, 2, 3};
    for (bool upperOnly : {true, false})
    {
        CVirtMat::m_bSym = upperOnly;
        CSystSpMat K(5);
        K.AddValues(dofs, ke, 2);
        EXPECT_EQ(Structure(K), upperOnly ? "0:; 1:; 2: 2=3 4=2; 3:; 4: 4=1"
                                          : "0:; 1:; 2: 2=3 4=2; 3:; 4: 2=2 4=1");
    }
    long dropped[] = {3, -1, 1, 5};
    double ke4[] = {1, 9, 2, 9, 9, 9, 9, 9, 0, 9, 3, 9, 9, 9, 9, 9};
    CSystSpMat K(5);
    K.AddValues(dropped, ke4, 4);
    EXPECT_EQ(Structure(K), "0:; 1: 1=3; 2:; 3: 1=2 3=1; 4:");
}

// The next load case: Allocate with the same size keeps every cell with 0.0, and assembling the
// same elements again gives a fresh assembly's lists and bits; another size rebuilds.
TEST_F(SystSpMat, SameSizeAllocateKeepsThePattern)
{
    CVirtMat::m_bSym = true;
    const Mesh mesh = PoissonQ4(7, 6);
    CSystSpMat fresh(mesh.n), K(mesh.n);
    mesh.AssembleInto(fresh);
    mesh.AssembleInto(K);
    const int cells = K.NumZeros(1e300);  // every cell
    int dims[] = {mesh.n};
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.NumZeros(0.0), cells);  // all kept, all exactly 0.0
    mesh.AssembleInto(K);
    EXPECT_TRUE(SameBits(K, fresh));
    dims[0] = mesh.n + 1;
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.GetRows(), mesh.n + 1);
    EXPECT_EQ(K.NumZeros(1e300), 0);
    dims[0] = 0;
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.GetFirstRow(), nullptr);
}

// Every object owns exactly one row array: a deep copy; assignments that add, growing a smaller
// target; moves. The sanitizer build reports any double release or leak.
TEST_F(SystSpMat, CopiesAndAssignmentsOwnOneArrayEach)
{
    CSystSpMat a(3);
    a = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 1, 3}, {2, 0, 0.0}, {2, 2, 4}});  // zero: not kept
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
    EXPECT_EQ(smaller.GetRows(), 4);
    EXPECT_EQ(larger.GetRows(), 0);
    EXPECT_EQ(Structure(a), original);
}

// Clear, Mirror and AAT of the sparse matrix unlink or replace rows; on the system matrix they
// keep the array: Clear empties the rows, Mirror keeps the rows it empties, AAT refills the rows.
TEST_F(SystSpMat, StructuralOperationsKeepTheRowArray)
{
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
