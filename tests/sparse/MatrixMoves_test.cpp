// Moves between the plain sparse matrix and the system matrix through CSparseMatrix&&: the
// system matrix's rows are elements of its array and must never be taken over (and later deleted
// one by one) by a plain matrix, nor a system matrix's array replaced by a plain list. The
// sanitizer build reports any release of an array element, double release or leak.
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <utility>

using namespace tarvel_test;
using MatrixMoves = GlobalStateTest;

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

// A plain matrix made or assigned from a system matrix takes its cells (the stored zero too) into
// rows of its own; the system matrix keeps its array, every row empty, and stays usable.
TEST_F(MatrixMoves, PlainTargetTakesTheCellsOfASystemSource)
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
TEST_F(MatrixMoves, SystemTargetKeepsItsArray)
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
