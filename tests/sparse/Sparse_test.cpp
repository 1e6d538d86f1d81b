// The sparse matrices of tarvel/sparse, one section per source:
// - CSparseMatrix storage and structure: the lists after Add/AddValues/Allocate/removals walked
//   through the public fields, cursor positions, copies, export, queries, printing, Mirror, AAT
//   against the dense product, and the shape tests.
// - The CMatrix members that meet CSparseMatrix (DenseSparseProducts.cpp): PreMult in both forms
//   and modes with its flop count, ATthisA against a dense congruence, Sparse/UnSparse.
// - Cells across threads (CellPool.cpp): slots released on another thread return to their block,
//   blocks of ended threads are reused, and empty blocks go back to the system (the block counts
//   of the pools and the resident set show it).
// - The direct solvers (SparseLU.cpp, SparseCholesky.cpp, SparseSubstitution.cpp): hand-worked
//   factors, counts and report, grid solves by their scaled residual, the failure paths, the
//   fast kernels against their plain forms bit for bit, the substitution and scaling modes, and
//   the one-column substitutions against the general ones.
// - The symbolic count (SymbolicCholesky.cpp): the elimination tree and the factor's row counts
//   against the factor that Cholesky actually makes, and trees worked by hand.
// - Block conjugate gradients (ConjGradient.cpp): the hand-worked 2 x 2 case with its count and
//   report, maxIter 0 and a zero right-hand side; both solvers by their scaled residual, scaling
//   on and off, and against each other bit for bit; a start solution; prescribed unit rows.
// - CSystSpMat: the row array, element assembling in both storage modes, same-size Allocate,
//   copies, assignments and moves to and from plain matrices (ownership is checked by the
//   sanitizer build), the inherited structural operations kept inside the array, the
//   factorizations (SystFactor.cpp) against their right-looking reference forms.
// - Prescribed degrees of freedom (BoundaryConditions.cpp): UnifyAndZero by hand, the list
//   operations against one UnifyAndZero per listed index (bit for bit), the upper-triangle form
//   against the full one, and SymHandleBCs.
// - Gauss-Seidel (GaussSeidel.cpp): the 2 x 2 case against sweeps written here (same iterates,
//   sweep count and report text) in both storage modes, and the runs that make no sweep.
// - The finite-element road: assemble with AddValues, impose non-zero prescribed values, solve
//   with every solver of the system matrix, and compare each answer with the reference solve of
//   the dense twin, in which every prescribed row is replaced by its unit row.
#include "support/GlobalState.h"
#include "support/MemoryLimit.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/CellPool.h>
#include <tarvel/sparse/detail/SparseKernels.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace tarvel_test;
using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;
using SparseMatrix = GlobalStateTest;
using tarvel::detail::cell_blocks_mapped;
using SystSpMat = GlobalStateTest;

namespace
{

const double kNaN = std::numeric_limits<double>::quiet_NaN();

int Lu(CSparseMatrix& A) { return A.LU(); }
int Cholesky(CSparseMatrix& A) { return A.Cholesky(); }

// The factor's size, its elimination tree and every row's count.
using Symbolic = std::tuple<LONGLONG, std::vector<int>, std::vector<int>>;

Symbolic counted(const CSparseMatrix& A)
{
    std::vector<int> parent(A.GetRows(), -7), counts(A.GetRows(), -7);
    const LONGLONG total = CholeskyFactorSize(A, parent.data(), counts.data());
    return {total, parent, counts};
}

// The same three read off a factor that Cholesky has made.
Symbolic made(const CSparseMatrix& U)
{
    Symbolic s;
    auto& [total, parent, counts] = s;
    for (const CSparseMatrix::row* r = U.GetFirstRow(); r; r = r->m_pNextRow)
    {
        const CSparseMatrix::cell* first = r->m_pFirstCell;
        parent.push_back(first && first->m_pNext ? first->m_pNext->m_nCol : -1);
        counts.push_back(0);
        for (const CSparseMatrix::cell* c = first; c; c = c->m_pNext) ++counts.back(), ++total;
    }
    return s;
}

// An upper triangle of n rows: perRow couplings per row drawn in i + 1 .. i + band (and, every
// fifth row, one anywhere to the right), values of both signs in 0.5 .. 1.5 so that nothing
// cancels, and a diagonal above the sum of every row's and column's couplings (SPD).
CSystSpMat random_upper(std::mt19937& gen, int n, int perRow, int band)
{
    std::uniform_real_distribution<double> magnitude(0.5, 1.5);
    CSystSpMat K(n);
    for (int i = 0; i < n; ++i)
    {
        K.Add(i, i, 4.0 * (perRow + 2) + n);
        for (int d = 0; i + 1 < n && d < perRow + (i % 5 == 0); ++d)
        {
            const int reach = d < perRow ? std::min(n - 1, i + band) : n - 1;
            const int j = std::uniform_int_distribution<int>(i + 1, reach)(gen);
            K.Add(i, j, gen() % 2 ? magnitude(gen) : -magnitude(gen));
        }
    }
    return K;
}

// The iteration stops at a relative residual of sqrt(tol) in the 2-norm of the largest column:
// with tol = 1e-24 the scaled residual of these small well-conditioned problems stays below this.
constexpr double kTol = 1e-24, kResidual = 1e-11;

// Solver 0 is ConjGradient (no start solution), solver 1 ConjGradient2.
int Solve(int solver, CSparseMatrix& A, CMatrix& B, double& res, int maxIter, double tol,
          bool scale, CVector* times = nullptr)
{
    return solver == 0 ? A.ConjGradient(B, nullptr, res, maxIter, tol, times, scale)
                       : A.ConjGradient2(B, res, maxIter, tol, times, scale);
}

CSystSpMat System3()
{
    CSystSpMat K = System(3, FromTriplets({{0, 0, 2.0}, {0, 2, 1.0}, {2, 2, 5.0}}));
    K.m_pRowArray[1].Add(1, 0.0);  // a stored zero
    return K;
}
const char* const kSystem3 = "0: 0=2 2=1; 1: 1=0; 2: 2=5";

// The report expected, its time field as Untimed leaves it.
std::string Report(int sweeps, int n, double error, bool symmetric)
{
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Used time solving :   T s\r\n Number of iter. :   %d\r\n NEQ             :   "
                  "%d\r\n Norm of error   :   %e\r\n Symmetric       :   %d\r\n24\r\n16",
                  sweeps, n, error, symmetric ? 1 : 0);
    return buf;
}

// [[4, 1], [1, 3]] in full storage, or its upper triangle.
CSystSpMat TwoByTwo(bool upperOnly)
{
    CSystSpMat K = System(2, FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}}));
    if (upperOnly) K.MakeUpper();
    return K;
}

// The Poisson grid of 45 x 45 unknowns; the 45 unknowns of grid row 21 are prescribed, unknown t
// of them to factor * 0.25 (1 + t % 4).
const Mesh kMesh = Grid(45);

struct Load
{
    CVector dofs, values;
    CMatrix B, reference;  // the right-hand sides and the solution of the unit-row system
};

Load MakeLoad(double factor, int columns, unsigned seed)
{
    Load l{
        CVector(45, true, 0.0), CVector(45, true, 0.0), RandomMatrix(kMesh.n, columns, seed), {}};
    CMatrix A = kMesh.Dense(), b(l.B);
    for (int t = 0; t < 45; ++t)
    {
        const int k = 21 * 45 + t;
        l.dofs[t] = k;
        l.values[t] = factor * 0.25 * (1 + t % 4);
        for (int j = 0; j < kMesh.n; ++j) A(k, j) = j == k ? 1.0 : 0.0;
        for (int c = 0; c < columns; ++c) b(k, c) = l.values[t];
    }
    l.reference = DenseSolve(A, b);
    return l;
}

// Every prescribed unknown holds exactly its value; elsewhere max |x - ref| / max |ref| < tol.
void Check(const CVector& x, const Load& l, double tol)
{
    const int p = l.B.GetColumns();
    for (int t = 0; t < 45; ++t)
        for (int c = 0; c < p; ++c)
            ASSERT_EQ(x.m_pData[static_cast<int>(l.dofs[t]) * p + c], l.values[t]);
    EXPECT_LT(MaxRelativeDifference(x, l.reference), tol);
}

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

// The upper triangle [[2, 1], [., 3]] in mode 1 against the full [[2, 1], [1, 3]] in mode 0,
// bit for bit, in place and into a result. Only the result form counts: 2c per row update
// (mode 0: each cell; mode 1: a row's first cell) and 4c per off-diagonal cell in mode 1.
TEST_F(SparseMatrix, PreMultSymmetricModeEqualsTheMirroredMatrix)
{
    CSparseMatrix upper = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 1, 3}});
    CSparseMatrix full = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 1}, {1, 1, 3}});
    const CMatrix A = RandomMatrix(2, 3, 4);
    const std::uint32_t c = 3;
    CMatrix inPlaceSym(A), inPlaceFull(A), R1, R0;
    CVirtMat::m_Flops = 0;
    inPlaceSym.PreMult(&upper, 1);
    inPlaceFull.PreMult(&full, 0);
    EXPECT_EQ(CVirtMat::m_Flops, 0u);
    A.PreMult(&upper, R1, false, 1);
    EXPECT_EQ(CVirtMat::m_Flops, 2 * c + 4 * c + 2 * c);
    A.PreMult(&full, R0, false, 0);
    EXPECT_EQ(CVirtMat::m_Flops, 8 * c + 4 * 2 * c);
    EXPECT_TRUE(SameBits(inPlaceSym, inPlaceFull));
    EXPECT_TRUE(SameBits(R1, R0));
    EXPECT_TRUE(SameBits(R1, inPlaceSym));
    EXPECT_DOUBLE_EQ(R1(1, 2), A(0, 2) + 3.0 * A(1, 2));  // against the dense product

    // Accumulating into a result of another size adds to the zeros its Allocate leaves (the
    // documented choice); an unknown mode leaves the result as allocated and counts nothing.
    CMatrix small(1, 1, true, 9.0), kept(R1);
    A.PreMult(&full, small, true, 0);
    EXPECT_TRUE(SameBits(small, R0));
    CVirtMat::m_Flops = 0;
    A.PreMult(&full, kept, true, 5);
    EXPECT_TRUE(SameBits(kept, R1) && CVirtMat::m_Flops == 0);
}

// ATthisA against S A S^T formed densely; the conversions: Sparse stores the non-zeros (added
// into a matrix holding entries), UnSparse takes its width from the largest stored column.
TEST_F(SparseMatrix, ATthisAAndConversions)
{
    Problem p = MakeProblem(Grid(4), 1, false);
    p.A.Add(0, 5, 0.75);  // unsymmetric
    const CMatrix A = RandomMatrix(p.A.GetRows(), p.A.GetRows(), 8);
    CMatrix S, result(A);
    S.UnSparse(&p.A);
    CMatrix expected(S);
    expected *= A;
    expected *= CMatrix(S, true);
    result.ATthisA(&p.A);
    // Two sums of n products each: at most 2 n u times the entries of |S| |A| |S^T|, which are
    // at most ||S||_inf^2 for entries of A in [-1, 1].
    const double tol = 2 * A.GetRows() * kUnitRoundoff * S.InfNorm() * S.InfNorm();
    ASSERT_EQ(result.GetRows(), expected.GetRows());
    for (int k = 0; k < expected.m_nSize; ++k)
        EXPECT_NEAR(result.m_pData[k], expected.m_pData[k], tol) << k;

    CMatrix D(3, 4, true, 0.0), back;
    D(0, 3) = 1.5;
    D(2, 0) = -2.0;
    CSparseMatrix* sparse = nullptr;
    D.Sparse(sparse);
    std::unique_ptr<CSparseMatrix> owner(sparse);
    back.UnSparse(sparse);
    EXPECT_TRUE(SameBits(back, D));
    D.Sparse(sparse);
    sparse->Add(1, 5, 1.0);
    EXPECT_EQ(Structure(*sparse), "0: 3=3; 1: 5=1; 2: 0=-4");
    back.UnSparse(sparse);
    EXPECT_EQ(back.GetColumns(), 6);
}

// Cells made on one thread and released on another come back to the thread that made them;
// cells of an ended thread, released here, are reused by the next thread. 50 rounds of 20,000
// cells (about a quarter of a block) each: without reuse they would take 12 blocks. Then a
// thread that made 60 MB of cells and released them keeps only a small reserve mapped (at most
// 24 MiB: the header's counts of kept empty blocks), and its resident set (the second field of
// /proc/self/statm, in pages) shrinks accordingly.
TEST_F(SparseMatrix, CellPoolsReuseBlocksAndGiveThemBack)
{
    if (!tarvel::detail::cells_reused_in_address_order()) GTEST_SKIP() << "cells from the heap";
    std::vector<Cell*> cells;
    const auto make = [&cells]
    {
        for (int k = 0; k < 20000; ++k) cells.push_back(new Cell{nullptr, 1.0, k});
    };
    const auto release = [&cells]
    {
        for (Cell* c : cells) delete c;
        cells.clear();
    };
    for (bool makeAside : {false, true})
    {
        const std::size_t before = cell_blocks_mapped();
        std::thread(
            [&]
            {
                for (int round = 0; round < 50; ++round)
                    makeAside ? (std::thread(make).join(), release())
                              : (make(), std::thread(release).join());
            })
            .join();
        EXPECT_LE(cell_blocks_mapped(), before + 2) << makeAside;
    }

    const std::size_t before = cell_blocks_mapped();
    std::size_t during = 0, after = 0;
    long resident[2] = {0, 0}, size = 0;  // during, after
    std::thread(
        [&]
        {
            cells.resize(2500000);
            for (Cell*& c : cells) c = new Cell{nullptr, 1.0, 0};
            during = cell_blocks_mapped();
            std::ifstream("/proc/self/statm") >> size >> resident[0];
            release();
            after = cell_blocks_mapped();
            std::ifstream("/proc/self/statm") >> size >> resident[1];
        })
        .join();
    EXPECT_GE(during, before + 28);  // 60 MB in 2 MiB blocks
    EXPECT_LE(after, before + 12);
    EXPECT_LE(cell_blocks_mapped(), before + 12);
    EXPECT_LT(resident[1], resident[0] - 30 * (1 << 20) / 4096);
}

// LU of [[2, 1], [4, 5]]: multiplier 2, U = [[2, 1], [0, 3]]; b = (3, 9) gives (1, 1), one report,
// no count. Cholesky of [[4, 2], [2, 3]]: d = (4, 2), multiplier 0.5; b = (2, 1) gives (0.5, 0);
// m_Flops reset, then 2 rows + 1 update (2) = 4; no report.
TEST_F(SparseMatrix, SmallCasesByHand)
{
    CSparseMatrix A = FromTriplets({{0, 0, 2}, {0, 1, 1}, {1, 0, 4}, {1, 1, 5}});
    CSparseMatrix C = FromTriplets({{0, 0, 4}, {0, 1, 2}, {1, 1, 3}});
    CMatrix B = Mat(2, 1, {3, 9}), BC = Mat(2, 1, {2, 1});
    double seconds = -5.0, secondsC = -5.0;
    CVirtMat::m_Flops = 17;
    ASSERT_EQ(A.LU_Solve(&B, seconds), 1);
    EXPECT_EQ(CVirtMat::m_Flops, 17u);
    ASSERT_EQ(C.Cholesky_Solve(&BC, secondsC), 1);
    EXPECT_EQ(CVirtMat::m_Flops, 4u);
    EXPECT_EQ(Structure(A) + "; " + Structure(C), "0: 0=2 1=1; 1: 0=2 1=3; 0: 0=4 1=0.5; 1: 1=2");
    EXPECT_TRUE(SameBits(B, Mat(2, 1, {1, 1})) && SameBits(BC, Mat(2, 1, {0.5, 0.0})));
    EXPECT_TRUE(seconds >= 0.0 && secondsC >= 0.0);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(Untimed(m_messages[0]), "Used time:\r\n Factorizing  :   T s\r\n"
                                      " Forw. subst. :   T s\r\n Backw. subst.:   T s\r\n");
    EXPECT_EQ(m_types[0], static_cast<UINT>(MB_OK));

    // The modes the drivers do not use. F holds L = [[1, 0], [2, 1]] left of its diagonal (2, 4);
    // row 0 of D holds its diagonal, row 1 only a cell right of it, row 2 nothing (B untouched).
    CSparseMatrix F = FromTriplets({{0, 0, 2.0}, {1, 0, 2.0}, {1, 1, 4.0}});
    CSparseMatrix D = FromTriplets({{0, 0, 4.0}, {1, 3, 5.0}, {3, 3, 2.0}});
    const double inf = std::numeric_limits<double>::infinity();
    const CMatrix b2 = Mat(2, 2, {1, 2, 5, 8}), b4 = Mat(4, 2, {8, 2, 1, 1, 7, 7, 6, 3});
    using Op = void (CSparseMatrix::*)(CVirtMat*, double*, int);
    const std::tuple<CSparseMatrix*, Op, int, CMatrix, CMatrix> cases[] = {
        {&F, &CSparseMatrix::ForwSub, 2, b2, Mat(2, 2, {0.5, 1, 1, 1.5})},  // divides as it goes
        {&D, &CSparseMatrix::DiagMult, -2, b4, Mat(4, 2, {2, 0.5, inf, inf, 7, 7, 3, 1.5})},
        {&D, &CSparseMatrix::DiagMult, 2, b4, Mat(4, 2, {32, 8, 0, 0, 7, 7, 12, 6})},
    };
    for (const auto& [A, op, mode, in, out] : cases)
    {
        CMatrix B(in);
        (A->*op)(&B, nullptr, mode);
        EXPECT_TRUE(SameBits(B, out)) << mode;
    }
    B = Mat(4, 1, {2, 3, 4, 4});
    D.DiagMult(&B, nullptr, 1);  // the diagonal times column 0 of B
    EXPECT_EQ(Structure(D), "0: 0=8; 1: 3=5; 3: 3=8");
    D.DiagMult(&B, nullptr, -1);
    EXPECT_EQ(Structure(D), "0: 0=4; 1: 3=5; 3: 3=2");
}

// The Poisson grid of 17 x 17 unknowns with three right-hand sides, by both drivers: the scaled
// residual of a backward-stable solve.
TEST_F(SparseMatrix, GridSolvesWithSeveralRightHandSides)
{
    const int k = 17, n = k * k;
    for (bool cholesky : {false, true})
    {
        SCOPED_TRACE(cholesky ? "Cholesky_Solve" : "LU_Solve");
        Problem p = MakeProblem(Grid(k), 3, cholesky, 7);
        const CSparseMatrix A(p.A);
        double seconds = 0.0;
        ASSERT_EQ(cholesky ? p.A.Cholesky_Solve(&p.rhs, seconds) : p.A.LU_Solve(&p.rhs, seconds),
                  1);
        EXPECT_LT(ScaledResidual(A, p.rhs, p.b), n * DBL_EPSILON);
    }
    EXPECT_EQ(m_messages.size(), 1u);  // the LU report only
}

// A failing factorization: the driver returns -1, stores -1.0 as its time and leaves B alone,
// and the matrix records a breakdown; the next factorization that succeeds clears it. No report.
TEST_F(SparseMatrix, FailurePathsLeaveTheRightHandSideAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const int lu = 1, cholesky = 2, both = 3;
    const std::tuple<const char*, int, std::vector<std::tuple<int, int, double>>> cases[] = {
        {"zero pivot", lu, {{0, 0, 1}, {0, 1, 2}, {1, 0, 2}, {1, 1, 4}}},
        {"zero pivot", cholesky, {{0, 0, 1}, {0, 1, 2}, {1, 1, 4}}},
        {"zero pivot that no update reaches", cholesky, {{0, 0, 0}}},
        {"negative pivot", cholesky, {{0, 0, 4}, {1, 1, -1}}},
        {"NaN pivot", both, {{0, 0, nan}}},
        {"missing diagonal", both, {{0, 0, 4}, {1, 2, 1}, {2, 2, 4}}},
        {"missing row 1 of rows 0 and 2", both, {{0, 0, 4}, {2, 2, 4}}},
        {"cell left of the diagonal", cholesky, {{0, 0, 4}, {1, 0, 1}, {1, 1, 4}}},
        // Nothing right of the first pivot: (1, 0) is left alone and row 1 fails (choice).
        {"pivot row without upper part", lu, {{0, 0, 2}, {1, 0, 1}, {1, 1, 3}}},
        // (0, 3) aims at the missing row 3: row 0 fails before sending anything (choice).
        {"update aimed at a missing row", cholesky, {{0, 0, 4}, {0, 1, 1}, {0, 3, 1}, {1, 1, 4}}},
    };
    for (const auto& [name, drivers, entries] : cases)
        for (const bool byLu : {true, false})
        {
            if (!(drivers & (byLu ? lu : cholesky))) continue;
            SCOPED_TRACE(std::string(name) + (byLu ? " LU" : " Cholesky"));
            CSparseMatrix A = FromTriplets(entries);
            CMatrix B = RandomMatrix(3, 2, 3);
            const CMatrix kept(B);
            double seconds = 0.0;
            EXPECT_EQ(byLu ? A.LU_Solve(&B, seconds) : A.Cholesky_Solve(&B, seconds), -1);
            EXPECT_EQ(seconds, -1.0);
            EXPECT_TRUE(SameBits(B, kept));
            EXPECT_EQ(A.LastFactorFailure(), CSparseMatrix::FactorFailure::Breakdown);
            EXPECT_EQ(CSparseMatrix(A).LastFactorFailure(), CSparseMatrix::FactorFailure::None);
            A.Clear();
            A.Add(0, 0, 2.0);
            EXPECT_EQ(byLu ? A.LU() : A.Cholesky(), 1);
            EXPECT_EQ(A.LastFactorFailure(), CSparseMatrix::FactorFailure::None);
        }
    EXPECT_TRUE(m_messages.empty());
    CSparseMatrix empty;
    CMatrix B = Mat(1, 1, {1});
    double seconds = 0.0;
    EXPECT_EQ(empty.LU() + empty.Cholesky_Solve(&B, seconds), 2);
    EXPECT_EQ(B.m_pData[0], 1.0);
}

// Storage running out during a factorization is told from a breakdown: with the address space
// limited to what the matrices already hold plus 8 MiB, the work space of a million-row
// factorization (tens of bytes per row) cannot be had, and each factorization of both matrix
// classes returns -1 with OutOfMemory recorded (one bit of the exit code each when not).
TEST(SparseFactorFailure, ExhaustedStorageIsOutOfMemory)
{
    ExpectZeroUnderLimit(
        []
        {
            const int n = 1000000;
            CSparseMatrix A;
            CSystSpMat K(n), L(n);
            CSparseMatrix::row* r = nullptr;
            for (int i = 0; i < n; ++i) A.Add(i, i, 1.0, r), K.Add(i, i, 1.0), L.Add(i, i, 1.0);
            if (!limit_address_space(8ull << 20)) return 99;
            const int results[] = {A.Cholesky(), A.LU(), K.Cholesky(), L.LU()};
            const CSparseMatrix* failed[] = {&A, &A, &K, &L};
            int code = 0;
            for (int k = 0; k < 4; ++k)
                if (results[k] != -1 ||
                    failed[k]->LastFactorFailure() != CSparseMatrix::FactorFailure::OutOfMemory)
                    code |= 1 << k;
            return code;
        });
}

// LU by per-column lists, Cholesky row by row and ForwSub modes -1/-2 by column lists, each
// against its plain form on one stream of random patterns: small integers make exact
// cancellations (entries that stop sending part way, stored zeros), weak diagonals make
// failures with updates pending; every fourth LU meets lists with missing rows (the row at
// position k is not row k: the failure at the first such position, with the eliminations of
// the steps before it done in the rows below); the forward substitution also meets row gaps
// and a cell beyond the last row, with one right-hand side and with three. ForwSub and BackwSub,
// modes 1 and 2, on one column give the bits of the same column solved among others (the
// one-column forms keep the entry in a register, the same operations).
TEST_F(SparseMatrix, FastKernelsMatchThePlainFormsBitForBit)
{
    std::mt19937 gen(12345);
    for (int trial = 0; trial < 240; ++trial)
    {
        SCOPED_TRACE(trial);
        const int n = 20 + trial % 40, perRow = 1 + trial % 4;
        const double diag = trial % 3 == 0 ? 3.0 : 9.0;
        CSparseMatrix F =
            RandomSparse(gen, {n, perRow, 1 + trial % 30, false, diag, trial % 4 == 3});
        ExpectSameAsPlain(F, Lu, LuRightLooking);
        CSparseMatrix U =
            RandomSparse(gen, {n, perRow, 1 + trial % 12, true, diag, trial % 5 == 0});
        ExpectSameAsPlain(U, Cholesky, CholeskyRightLooking);

        if (U.Cholesky() != 1) U = RandomSparse(gen, {n, perRow, 6, true, 9.0, true});
        U.Add(n - 1, n + 4, 0.25);  // a column no row index reaches: its cursor stays put
        for (int mode : {-1, -2})
        {
            CMatrix fast = RandomMatrix(n + 6, trial % 2 ? 1 : 3, trial), plain(fast);
            U.ForwSub(&fast, nullptr, mode);
            tarvel::detail::forward_sub_transposed_plain(U, plain, mode);
            EXPECT_TRUE(SameBits(fast, plain));
        }
        for (auto sub : {&CSparseMatrix::ForwSub, &CSparseMatrix::BackwSub})
            for (int mode : {1, 2})  // one column alone: the bits of the same column among others
            {
                CMatrix all = RandomMatrix(n, 3, trial), one(n, 1), column(n, 1);
                for (int i = 0; i < n; ++i) one.m_pData[i] = all(i, 1);
                (F.*sub)(&all, nullptr, mode);
                (F.*sub)(&one, nullptr, mode);
                for (int i = 0; i < n; ++i) column.m_pData[i] = all(i, 1);
                EXPECT_TRUE(SameBits(one, column)) << mode;
            }
    }
}

// On random patterns (narrow and wide bands, sparse and dense rows) and on the grid in its
// natural order, as a system matrix and as a list matrix, the count, the tree and every row's
// count equal those of the factor Cholesky makes.
TEST_F(SparseMatrix, SymbolicCholeskyMatchesTheFactorCholeskyMakes)
{
    std::mt19937 gen(11);
    const auto check = [](CSparseMatrix& A)  // Cholesky is virtual: the system matrix's own
    {
        const Symbolic before = counted(A);
        ASSERT_EQ(A.Cholesky(), 1);
        EXPECT_EQ(before, made(A));
    };
    const std::tuple<int, int, int> sizes[] = {{1, 0, 1},    {2, 1, 1},    {30, 1, 3},
                                               {60, 2, 10},  {120, 3, 40}, {200, 1, 200},
                                               {300, 4, 15}, {150, 8, 150}};  // n, per row, band
    for (const auto& [n, perRow, band] : sizes)
    {
        CSystSpMat K = random_upper(gen, n, perRow, band);
        check(K);
    }
    Problem grid = MakeProblem(Grid(12), 1, true);
    CSystSpMat K = System(grid.A.GetRows(), CSparseMatrix(grid.A));
    check(K);
    check(grid.A);
}

// Trees worked by hand on 4 x 4 patterns (entries right of the diagonal; every diagonal
// stored): an arrow at the top fills everything, an arrow at the bottom nothing; a chain is its
// own tree; two disjoint pairs make a forest. Entries left of the diagonal, at columns beyond
// the last row and in rows that are not stored are not couplings. Stored zeros count as
// couplings, but Cholesky sends no update from them: the factor holds at most the count.
TEST_F(SparseMatrix, SymbolicCholeskyHandWorkedTrees)
{
    const std::tuple<const char*, std::vector<std::pair<int, int>>, std::vector<int>,
                     std::vector<int>>
        cases[] = {
            {"arrow at the top", {{0, 1}, {0, 2}, {0, 3}}, {1, 2, 3, -1}, {4, 3, 2, 1}},
            {"arrow at the bottom", {{0, 3}, {1, 3}, {2, 3}}, {3, 3, 3, -1}, {2, 2, 2, 1}},
            {"chain", {{0, 1}, {1, 2}, {2, 3}}, {1, 2, 3, -1}, {2, 2, 2, 1}},
            {"two pairs", {{0, 2}, {1, 3}}, {2, 3, -1, -1}, {2, 2, 1, 1}},
            {"fill joins two branches", {{0, 2}, {1, 2}, {0, 3}}, {2, 2, 3, -1}, {3, 2, 2, 1}},
            {"left of the diagonal, beyond the last row",
             {{2, 0}, {3, 1}, {1, 9}},
             {-1, -1, -1, -1},
             {1, 1, 1, 1}},
        };
    for (const auto& [name, couplings, parent, counts] : cases)
    {
        SCOPED_TRACE(name);
        CSystSpMat K(4);
        for (int i = 0; i < 4; ++i) K.Add(i, i, 1.0);
        for (const auto& [i, j] : couplings) K.m_pRowArray[i].Add(j, 0.5);  // even outside
        EXPECT_EQ(counted(K),
                  Symbolic(std::accumulate(counts.begin(), counts.end(), 0LL), parent, counts));
    }
    // Rows 1 and 2 not stored: they count their diagonals, and the coupling (0, 3) passes them.
    EXPECT_EQ(counted(FromTriplets({{0, 0, 1}, {0, 3, 1}, {3, 3, 1}})),
              Symbolic(5, {3, -1, -1, -1}, {2, 1, 1, 1}));
    EXPECT_EQ(CholeskyFactorSize(CSparseMatrix()), 0);
    EXPECT_EQ(CholeskyFactorSize(CSystSpMat(3)), 3);

    CSystSpMat K(4);  // row 0's couplings hold 0.0: rows 1 .. 3 receive no fill
    for (int i = 0; i < 4; ++i) K.Add(i, i, 2.0);
    for (int j = 1; j < 4; ++j) K.m_pRowArray[0].Add(j, 0.0);
    EXPECT_EQ(CholeskyFactorSize(K), 10);
    ASSERT_EQ(K.Cholesky(), 1);
    EXPECT_EQ(std::get<0>(made(K)), 7);
}

// Upper triangle [[4, 1], [., 3]], b = (1, 2): two iterations reach (1/11, 7/11), the test being
// met in iteration 1; flops 2 x (2 + 4) for the products plus (9 m + 1) k p = 19: 35 in all.
// ConjGradient2 reports, with the iterations per equation and the squared residual norms.
// maxIter 0: no iteration, B = 0, res the largest squared column norm of B (scaled: b_i^2 /
// a_ii). A zero right-hand side divides 0 by 0: NaN results and all maxIter iterations (choice).
TEST_F(SparseMatrix, ConjGradientTwoByTwoCasesForBothSolvers)
{
    for (int solver = 0; solver < 2; ++solver)
    {
        SCOPED_TRACE(solver);
        CSparseMatrix A = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}});
        CMatrix B = Mat(2, 1, {1, 2});
        CVector times;
        double res = -1.0;
        CVirtMat::m_Flops = 0;
        m_messages.clear();
        EXPECT_EQ(Solve(solver, A, B, res, 10, 1e-12, false, &times), 1);
        EXPECT_LT(MaxRelativeDifference(B, Mat(2, 1, {1.0 / 11.0, 7.0 / 11.0})),
                  SolveTolerance(2, 3.0));
        EXPECT_LT(res, 5e-12);
        EXPECT_EQ(CVirtMat::m_Flops, 35u);
        EXPECT_EQ(Structure(A), "0: 0=4 1=1; 1: 1=3");
        ASSERT_EQ(m_messages.size(), static_cast<size_t>(solver));
        if (solver == 1)
        {
            EXPECT_EQ(Untimed(m_messages[0]),
                      "Used time:\r\n Solving (1)    :   T s\r\n Solving (2)    :   T s\r\n "
                      "Iter/Eq's      :   50.000 %\r\n ||v_0||        :   5.000e+00\r\n ||v_i||  "
                      "       :   0.000e+00\r\n ||v_i||/||v_0||:   0.000e+00\r\n (norms are "
                      "inf-norm)");
        }

        for (bool scale : {false, true})
        {
            CSparseMatrix S = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 1, 3}});
            B = Mat(2, 1, {1, 2});
            EXPECT_EQ(Solve(solver, S, B, res, 0, 1e-12, scale), 0);
            EXPECT_DOUBLE_EQ(res, scale ? 0.25 + 4.0 / 3.0 : 5.0);
            EXPECT_TRUE(SameBits(B, Mat(2, 1, {0, 0})));
        }
        B = Mat(2, 1, {0, 0});
        EXPECT_EQ(Solve(solver, A, B, res, 4, 1e-12, false), 4);
        EXPECT_TRUE(std::isnan(B.m_pData[0]) && std::isnan(res));
    }
}

// The Poisson problem on 100 unknowns with one and two right-hand sides: each solver, scaled or
// not, solves it; unscaled, both make the same iterations bit for bit (the products through the
// lists and through the exported arrays, whose single-column loop is a kernel of its own), with
// the same res and count. A start solution receives the correction.
TEST_F(SparseMatrix, ConjGradientBothSolversSolveAlikeWithOneAndTwoRightHandSides)
{
    const Mesh mesh = Grid(10);
    CMatrix unscaled[2];
    for (int nRhs : {1, 2})
    {
        SCOPED_TRACE(nRhs);
        std::tuple<int, double, std::uint32_t> runs[2];  // iterations, res, m_Flops
        for (int solver = 0; solver < 2; ++solver)
            for (bool scale : {false, true})
            {
                SCOPED_TRACE(::testing::Message() << "solver " << solver << " scale " << scale);
                Problem p = MakeProblem(mesh, nRhs, true, 5);
                const CSparseMatrix A(p.A);
                double res = 0.0;
                CVirtMat::m_Flops = 0;
                const int k = Solve(solver, p.A, p.rhs, res, 1000, kTol, scale);
                EXPECT_TRUE(k > 1 && k < 1000) << k;
                EXPECT_LT(ScaledResidual(A, p.rhs, p.b), kResidual);
                if (scale)  // ConjGradient leaves its cells scaled: a unit diagonal
                    EXPECT_EQ(*p.A.GetValue(3, 3) == 1.0, solver == 0);
                else
                    unscaled[solver] = p.rhs, runs[solver] = {k, res, CVirtMat::m_Flops};
            }
        EXPECT_TRUE(SameBits(unscaled[0], unscaled[1]));
        EXPECT_EQ(runs[0], runs[1]);
    }
    Problem p = MakeProblem(mesh, 2, true, 5);
    CMatrix X0(unscaled[0]);
    X0 *= 0.9;
    double res = 0.0;
    EXPECT_GT(p.A.ConjGradient(p.rhs, &X0, res, 1000, kTol, nullptr, false), 1);
    EXPECT_LT(ScaledResidual(MakeProblem(mesh, 2, true, 5).A, X0, p.b), kResidual);
}

// A row holding only its unit diagonal (a prescribed row) still receives what earlier rows add
// into it through their entries in its column: in upper storage that is the last row of every
// matrix with a unit diagonal. ConjGradient2 must solve as ConjGradient does: the 2 x 2 case, a
// unit-diagonal chain (condition below 20), scaling on and off; then a decoupled unit row.
// ConjGradient scales its own cells, a row without its diagonal by 1.0 (choice).
TEST_F(SparseMatrix, ConjGradientPrescribedRowsAndScaling)
{
    std::vector<std::tuple<int, int, double>> chain;
    for (int i = 0; i < 12; ++i)
    {
        chain.emplace_back(i, i, 1.0);
        if (i + 1 < 12) chain.emplace_back(i, i + 1, -0.45);
    }
    const std::pair<std::vector<std::tuple<int, int, double>>, CMatrix> cases[] = {
        {{{0, 0, 1.0}, {0, 1, 0.5}, {1, 1, 1.0}}, Mat(2, 1, {1.5, 1.5})},
        {chain, RandomMatrix(12, 2, 3)},
        {{{0, 0, 4}, {0, 1, 1}, {1, 1, 3}, {2, 2, 1.0}}, Mat(3, 1, {1, 2, 5})},
    };
    for (const auto& [upper, b] : cases)
        for (int solver = 0; solver < 2; ++solver)
            for (bool scale : {false, true})
            {
                SCOPED_TRACE(testing::Message() << b.GetRows() << " " << solver << " " << scale);
                CSparseMatrix A = FromTriplets(upper);
                CMatrix B(b);
                double res = 0.0;
                EXPECT_LT(Solve(solver, A, B, res, 200, 1e-28, scale), 200);
                EXPECT_LT(ScaledResidual(FromTriplets(upper), B, b), kResidual);
            }

    CSparseMatrix S = FromTriplets({{0, 0, 4}, {0, 1, 1}, {1, 2, 3}, {2, 2, 9}});
    CMatrix B = Mat(3, 1, {2, 1, 3});
    double res = 0.0;
    S.ConjGradient(B, nullptr, res, 0, 1e-12, nullptr, true);
    EXPECT_EQ(Structure(S), "0: 0=1 1=0.5; 1: 2=1; 2: 2=1");
    EXPECT_EQ(res, 3.0);  // the scaled B is (1, 1, 1)
}

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

// For a 2 x 2 system both modes make the operations of the textbook sweep below, so iterates,
// sweep count and final change agree exactly, and x holds the last iterate in its own array
// whichever array the upper-triangle mode computed it in (1, 2 and all sweeps).
TEST_F(SystSpMat, GaussSeidelTwoByTwoMatchesTheTextbookSweep)
{
    for (int maxIter : {1, 2, 100})
        for (bool symmetric : {false, true})
        {
            SCOPED_TRACE(maxIter * 10 + symmetric);
            double y0 = 0.0, y1 = 0.0, change = 0.0;
            int sweeps = 0;
            do
            {
                const double x0 = (1.0 - 1.0 * y1) / 4.0, x1 = (2.0 - 1.0 * x0) / 3.0;
                change = std::max(std::fabs(x0 - y0), std::fabs(x1 - y1));
                y0 = x0;
                y1 = x1;
            } while (++sweeps < maxIter && !(change < 1e-10));

            CVirtMat::m_bSym = symmetric;
            CSystSpMat K = TwoByTwo(symmetric);
            CVector b(2, true, 1.0), x(2, true, 0.0);
            b[1] = 2.0;
            const double* storage = x.m_pData;
            m_messages.clear();
            EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, maxIter), change < 1e-10 ? 1 : -1);
            EXPECT_EQ(std::pair(x[0], x[1]), std::pair(y0, y1));
            EXPECT_EQ(x.m_pData, storage);
            ASSERT_EQ(m_messages.size(), 1u);
            EXPECT_EQ(Untimed(m_messages[0]), Report(sweeps, 2, change, symmetric));
        }
}

// No sweep: an empty system is solved (1); no sweep allowed, or a system larger than the matrix
// or than x, is not (-1); x is untouched and the report shows 0 sweeps and error 0. A row
// without a diagonal divides by 0.0 in both modes.
TEST_F(SystSpMat, GaussSeidelRunsWithoutASweepAndRowsWithoutDiagonal)
{
    CVirtMat::m_bSym = false;
    CSystSpMat K = TwoByTwo(false);
    CVector empty, x(2, true, 5.0), b(2, true, 1.0), b3(3, true, 1.0), x1(1, true, 0.0);
    EXPECT_EQ(K.GaussSeidel_Iter(empty, x, 1e-10, 10), 1);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x, 1e-10, 0), -1);
    EXPECT_EQ(K.GaussSeidel_Iter(b3, x, 1e-10, 10), -1);
    EXPECT_EQ(K.GaussSeidel_Iter(b, x1, 1e-10, 10), -1);
    EXPECT_EQ(x[0] + x[1] + x1[0], 10.0);
    ASSERT_EQ(m_messages.size(), 4u);
    EXPECT_EQ(Untimed(m_messages[0]), Report(0, 0, 0.0, false));
    EXPECT_EQ(Untimed(m_messages[2]), Report(0, 3, 0.0, false));

    CSystSpMat noDiagonal(1);
    for (bool symmetric : {false, true})
    {
        CVirtMat::m_bSym = symmetric;
        CVector b1(1, true, 1.0), x0(1, true, 0.0);
        EXPECT_EQ(noDiagonal.GaussSeidel_Iter(b1, x0, 1e-10, 1), -1);
        EXPECT_EQ(x0[0], std::numeric_limits<double>::infinity());
    }
}

// The reduced system's condition is below 46^2 / 4 (Problems.h), so the backward-stable direct
// solves agree with the reference to SolveTolerance(n, 529). Gauss-Seidel stops when a sweep
// changes nothing by 1e-13; its contraction is about 1 - 1/200 per sweep, so its error is then
// some 200 times that. CG holds the prescribed values only to its tolerance and is compared
// with the Cholesky solution. Two more load cases, with two right-hand sides each and
// prescribed values of other signs, go through the same matrix after a same-size Allocate and a
// new assembly (the pattern then also holds the cells left by the previous imposition and
// factorization, all at 0.0).
TEST_F(SystSpMat, SystemRoadEverySolverAgreesWithTheReference)
{
    const double direct = SolveTolerance(kMesh.n, 529.0), iterative = 200 * 1e-13 * 10;
    Load load = MakeLoad(1.0, 1, 3);
    double seconds = 0.0, res = 0.0;
    for (bool upperOnly : {false, true})
    {
        SCOPED_TRACE(upperOnly);
        CVirtMat::m_bSym = upperOnly;
        CSystSpMat K(kMesh.n);
        kMesh.AssembleInto(K);
        CMatrix B(load.B);
        if (upperOnly)
            K.SymUnifyAndZero(load.dofs, load.values, &B);
        else
            K.UnifyAndZero2(load.dofs, load.values, &B);
        CSystSpMat Kgs(K), Kcg(K);
        CVector b(B), x(kMesh.n, true, 0.0);
        EXPECT_EQ(Kgs.GaussSeidel_Iter(b, x, 1e-13, 20000), 1);
        Check(x, load, iterative);
        CMatrix Bcg(B);
        ASSERT_EQ(upperOnly ? K.Cholesky_Solve(&B, seconds) : K.LU_Solve(&B, seconds), 1);
        Check(B, load, direct);
        if (!upperOnly) continue;
        EXPECT_LT(Kcg.ConjGradient2(Bcg, res, 1000, 1e-28, nullptr, false), 1000);
        EXPECT_LT(MaxRelativeDifference(Bcg, B), iterative);

        int n = kMesh.n;
        for (int c = 1; c < 3; ++c)
        {
            ASSERT_TRUE(K.Allocate(&n, 1));
            kMesh.AssembleInto(K);
            load = MakeLoad(1.0 - 2 * c, 2, 10 + c);
            B = load.B;
            K.SymUnifyAndZero(load.dofs, load.values, &B);
            ASSERT_EQ(K.Cholesky_Solve(&B, seconds), 1);
            Check(B, load, direct);
        }
    }
    EXPECT_EQ(m_messages.size(), 3u);  // Gauss-Seidel twice, LU_Solve once
}

// A full 3 x 3 matrix with (0, 1) = 3 and (2, 1) = 4 and g = 2 moves -6 and -8 to B; a missing
// row k is made at its ordered place, except in a system matrix, where an index outside 0 .. n-1
// leaves the matrix as it was and B changes in its row k only when it has one.
TEST_F(SystSpMat, BoundaryConditionsUnifyAndZeroByHand)
{
    CSparseMatrix A;
    CSparseMatrix* pA = &A;
    Mat(3, 3, {1, 3, 1, 1, 1, 1, 1, 4, 1}).Sparse(pA);
    CMatrix B = Mat(3, 1, {1, 1, 1});
    A.UnifyAndZero(1, 2.0, &B);
    EXPECT_EQ(Structure(A), "0: 0=1 2=1; 1: 1=1; 2: 0=1 2=1");
    EXPECT_TRUE(SameBits(B, Mat(3, 1, {-5, 2, -7})));

    CSparseMatrix S;
    S.UnifyAndZero(3);
    S.Add(2, 0, 5.0);
    for (int k : {0, 1, 4}) S.UnifyAndZero(k);
    EXPECT_EQ(Structure(S), "0: 0=1; 1: 1=1; 2:; 3: 3=1; 4: 4=1");

    for (const int k : {-1, 3, 4})
    {
        CSystSpMat K = System(3, FromTriplets({{0, 0, 2}, {0, 2, 1}, {1, 1, 3}, {2, 2, 4}}));
        CMatrix B4 = Mat(4, 1, {1, 1, 1, 1});
        K.UnifyAndZero(k, 5.0, &B4);
        K.UnifyAndZero(k);
        EXPECT_EQ(Structure(K), "0: 0=2 2=1; 1: 1=3; 2: 2=4") << k;
        EXPECT_TRUE(SameBits(B4, Mat(4, 1, {1, 1, 1, k == 3 ? 5.0 : 1.0}))) << k;
    }
}

// UnifyAndZero2 against UnifyAndZero applied index by index in list order (the same subtractions
// from each row of B in the same order), on lists with repeated, fractional and outside indices
// and two right-hand sides; SymUnifyAndZero against UnifyAndZero2: the same right-hand sides bit
// for bit (rows below a prescribed one corrected too) and the upper triangle of its matrix.
TEST_F(SystSpMat, BoundaryConditionsListOperationsMatchOneIndexAtATime)
{
    const int n = 60;
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (unsigned trial = 0; trial < 20; ++trial)
    {
        SCOPED_TRACE(trial);
        const int m = 1 + trial % 12;
        CVector dofs(m + 2, true, 0.0), values(m + 2, true, 0.0);
        for (int t = 0; t < m; ++t)  // the DOF drawn first, then its value
        {
            dofs[t] = static_cast<int>(gen() % n) + 0.5 * (t % 2);
            values[t] = u(gen);
        }
        dofs[m] = dofs[0];  // repeated: its couplings are already gone
        values[m] = u(gen);
        dofs[m + 1] = trial % 2 ? -3.0 : n + 1.0;  // outside: ignored
        const CMatrix B = RandomMatrix(n, 2, trial);
        CSystSpMat upper = System(n, RandomSparse(gen, {n, 4, n - 1, true, 12.0, false}));
        CSystSpMat full(upper);
        full.Mirror(1.0);
        CSystSpMat reference(full);
        CMatrix Bfull(B), Breference(B), Bupper(B);

        full.UnifyAndZero2(dofs, values, &Bfull);
        for (int t = 0; t < m + 2; ++t)
            if (dofs[t] >= 0 && dofs[t] < n)
                reference.UnifyAndZero(static_cast<int>(dofs[t]), values[t], &Breference);
        EXPECT_TRUE(SameBits(full, reference));
        EXPECT_TRUE(SameBits(Bfull, Breference));
        upper.SymUnifyAndZero(dofs, values, &Bupper);
        EXPECT_TRUE(SameBits(Bupper, Bfull));
        full.MakeUpper();
        EXPECT_TRUE(SameBits(upper, full));
    }
}

// SymHandleBCs: the couplings of the prescribed indices go, their rows keep only the diagonal
// set to 1.0 (row 3 has none and ends empty). B, taken by value, is not the caller's. The same
// with SymUnifyAndZero: row 3 gets its unit diagonal; a B of one row is corrected in that row
// only (b_0 -= 1 * 0.5 + 2 * 0.25); no B (or one that is not a CMatrix): none.
TEST_F(SystSpMat, BoundaryConditionsSymHandleBCsChangesTheMatrixOnly)
{
    CSystSpMat K = System(
        4, FromTriplets(
               {{0, 0, 4}, {0, 1, 1}, {0, 3, 2}, {1, 1, 5}, {1, 2, 3}, {2, 2, 6}, {3, 2, 7}}));
    CSystSpMat L(K), M(K);
    CMatrix bc = Mat(2, 2, {1, 0.5, 3, 0.25});  // indices 1 and 3 with their values
    K.SymHandleBCs(bc, Mat(4, 1, {1, 2, 3, 4}));
    EXPECT_EQ(Structure(K), "0: 0=4; 1: 1=1; 2: 2=6; 3:");

    CMatrix dofs = Mat(2, 1, {1, 3}), values = Mat(2, 1, {0.5, 0.25}), B = Mat(1, 1, {1});
    L.SymUnifyAndZero(dofs, values, &B);
    EXPECT_EQ(Structure(L), "0: 0=4; 1: 1=1; 2: 2=6; 3: 3=1");
    EXPECT_EQ(B.m_pData[0], 0.0);
    CSparseMatrix notDense;
    M.SymUnifyAndZero(dofs, values, &notDense);
    EXPECT_TRUE(SameBits(M, L));
}
