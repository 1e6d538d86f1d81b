// CSystSpMat storage: the row array, element assembling in both storage modes, same-size
// Allocate, copies and assignments (ownership is checked by the sanitizer build), and the
// inherited structural operations kept inside the array.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>

using namespace tarvel_test;
using SystSpMat = GlobalStateTest;

namespace
{

// A small full matrix [[2, 1, 0], [1, 3, 0.5], [0, 0.5, 4]] in the rows of a system matrix.
CSystSpMat Small()
{
    CSystSpMat K(3);
    K = FromTriplets(
        {{0, 0, 2}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}, {1, 2, 0.5}, {2, 1, 0.5}, {2, 2, 4}});
    return K;
}

}  // namespace

TEST_F(SystSpMat, RowArrayAndClassRecord)
{
    CSystSpMat K(3);
    EXPECT_EQ(K.GetRows(), 3);
    EXPECT_EQ(K.GetColumns(), 3);
    EXPECT_EQ(Structure(K), "0:; 1:; 2:");
    EXPECT_EQ(K.GetFirstRow(), K.m_pRowArray);
    CSystSpMat none(0);
    EXPECT_EQ(none.GetRows(), 0);
    EXPECT_EQ(none.GetFirstRow(), nullptr);
    CReorderMat graph(1);  // the system matrix takes no profile from a graph
    EXPECT_FALSE(K.Allocate(graph));
    EXPECT_EQ(K.GetRows(), 3);

    EXPECT_STREQ(K.GetRuntimeClass()->m_lpszClassName, "CSystSpMat");
    EXPECT_EQ(K.GetRuntimeClass()->m_pBaseClass, RUNTIME_CLASS(CSparseMatrix));
    const CRuntimeClass* record = CRuntimeClass::FromName("CSystSpMat");
    ASSERT_NE(record, nullptr);
    std::unique_ptr<CObject> made(record->CreateObject());
    ASSERT_NE(dynamic_cast<CSystSpMat*>(made.get()), nullptr);
}

TEST_F(SystSpMat, AddReachesRowsByIndexAndSkipsZerosAndOutsideRows)
{
    CSystSpMat K(3);
    CSparseMatrix::row* r = nullptr;
    CSparseMatrix::cell* c = nullptr;
    K.Add(1, 2, 0.0, r);
    EXPECT_EQ(r, nullptr);  // a zero moves no cursor
    K.Add(1, 2, 5.0, r);
    EXPECT_EQ(r, K.m_pRowArray + 1);
    K.Add(1, 0, 1.0, r, c);
    K.Add(1, 2, 1.0, r, c);  // accumulates, forward from the cursor
    EXPECT_EQ(c->m_nCol, 2);
    K.Add(3, 0, 7.0);  // outside the array: ignored (a text file may hold more lines)
    K.Add(-1, 0, 7.0, r);
    EXPECT_EQ(Structure(K), "0:; 1: 0=1 2=6; 2:");
}

// The element {4, 2} with ke = [[1, 2], [2, 3]] in both modes; a negative index drops its row and
// column, an index at or above the row count too; zeros are not stored.
TEST_F(SystSpMat, AddValuesStoresTheUpperTriangleInSymmetricMode)
{
    long dofs[] = {4, 2};
    double ke[] = {1, 2, 2, 3};
    CVirtMat::m_bSym = true;
    CSystSpMat upper(5);
    upper.AddValues(dofs, ke, 2);
    EXPECT_EQ(Structure(upper), "0:; 1:; 2: 2=3 4=2; 3:; 4: 4=1");

    CVirtMat::m_bSym = false;
    CSystSpMat full(5);
    full.AddValues(dofs, ke, 2);
    EXPECT_EQ(Structure(full), "0:; 1:; 2: 2=3 4=2; 3:; 4: 2=2 4=1");

    // Position 1 (-1) and position 3 (5, beyond the 5 rows) take no part; ke(2, 0) is 0.0.
    long withDropped[] = {3, -1, 1, 5};
    double ke4[] = {1, 9, 2, 9, 9, 9, 9, 9, 0, 9, 3, 9, 9, 9, 9, 9};
    CSystSpMat K(5);
    K.AddValues(withDropped, ke4, 4);
    EXPECT_EQ(Structure(K), "0:; 1: 1=3; 2:; 3: 1=2 3=1; 4:");
}

// The next load case: Allocate with the same size keeps every cell with 0.0, and assembling the
// same elements again gives a fresh assembly's lists and bits; another size rebuilds.
TEST_F(SystSpMat, SameSizeAllocateKeepsThePattern)
{
    CVirtMat::m_bSym = true;
    const Mesh mesh = PoissonQ4(7, 6);
    CSystSpMat fresh(mesh.n);
    mesh.AssembleInto(fresh);
    CSystSpMat K(mesh.n);
    mesh.AssembleInto(K);
    const CSparseMatrix::cell* first = K.m_pRowArray[0].m_pFirstCell;
    const int cells = K.NumZeros(1e300);  // every cell
    int dims[] = {mesh.n};
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.NumZeros(0.0), cells);  // all kept, all exactly 0.0
    EXPECT_EQ(K.m_pRowArray[0].m_pFirstCell, first);
    mesh.AssembleInto(K);
    EXPECT_TRUE(SameBits(K, fresh));

    dims[0] = mesh.n + 1;
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.GetRows(), mesh.n + 1);
    EXPECT_EQ(K.NumZeros(1e300), 0);
    dims[0] = 0;
    ASSERT_TRUE(K.Allocate(dims, 1));
    EXPECT_EQ(K.GetRows(), 0);
    EXPECT_EQ(K.GetFirstRow(), nullptr);
}

// Every object owns exactly one row array: deep copies, adding assignments that grow the target
// when it is smaller, moves. The sanitizer build reports any double release or leak.
TEST_F(SystSpMat, CopiesAndAssignmentsOwnOneArrayEach)
{
    CSystSpMat a = Small();
    a.m_pRowArray[2].Add(0, 0.0);  // a stored zero
    const std::string original = Structure(a);

    CSystSpMat copy(a);
    EXPECT_EQ(Structure(copy), original);
    *copy.GetValue(0, 0) = 99.0;
    EXPECT_EQ(*a.GetValue(0, 0), 2.0);

    CSystSpMat empty;
    empty = a;  // a copy without the stored zero
    EXPECT_EQ(Structure(empty), "0: 0=2 1=1; 1: 0=1 1=3 2=0.5; 2: 1=0.5 2=4");
    EXPECT_NE(empty.m_pRowArray, a.m_pRowArray);

    CSystSpMat smaller(2);
    smaller.Add(1, 1, 10.0);
    smaller = a;  // grown to 3 rows, its own cell kept and added to
    EXPECT_EQ(Structure(smaller), "0: 0=2 1=1; 1: 0=1 1=13 2=0.5; 2: 1=0.5 2=4");

    CSystSpMat larger(4);
    larger = a;
    EXPECT_EQ(larger.GetRows(), 4);
    EXPECT_EQ(Structure(larger), "0: 0=2 1=1; 1: 0=1 1=3 2=0.5; 2: 1=0.5 2=4; 3:");

    CSystSpMat moved(std::move(larger));
    EXPECT_EQ(larger.GetRows(), 0);
    EXPECT_EQ(moved.GetRows(), 4);
    smaller = std::move(moved);
    EXPECT_EQ(smaller.GetRows(), 4);
    EXPECT_EQ(Structure(a), original);
}

// Clear, Mirror and AAT of the sparse matrix unlink or replace rows; on the system matrix they
// keep the array: Clear empties the rows, Mirror keeps the rows it empties, AAT refills the rows.
TEST_F(SystSpMat, StructuralOperationsKeepTheRowArray)
{
    CSystSpMat K = Small();
    K.Clear();
    EXPECT_EQ(Structure(K), "0:; 1:; 2:");
    K.Add(2, 1, 1.5);
    EXPECT_EQ(Structure(K), "0:; 1:; 2: 1=1.5");

    CSystSpMat M(3);
    M = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 5}, {2, 0, 7}});  // row 2: only left of it
    M.Mirror(2.0);
    EXPECT_EQ(Structure(M), "0: 0=4 1=1; 1: 0=2 1=5; 2:");

    CSystSpMat A(3);
    A = FromTriplets({{0, 0, 1}, {0, 1, 2}, {1, 1, 3}});
    A.AAT();
    EXPECT_EQ(Structure(A), "0: 0=5 1=6; 1: 0=6 1=9; 2:");

    A.ReverseRows();
    A.FixPointers();
    EXPECT_EQ(Structure(A), "0: 0=5 1=6; 1: 0=6 1=9; 2:");
}
