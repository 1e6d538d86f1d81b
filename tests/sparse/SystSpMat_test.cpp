// CSystSpMat: the row array, element assembling in both storage modes, same-size Allocate,
// copies, assignments and moves to and from plain matrices (ownership is checked by the
// sanitizer build), the inherited structural operations kept inside the array, the
// factorizations (SystFactor.cpp) against their right-looking reference forms. Prescribed
// degrees of freedom (BoundaryConditions.cpp): UnifyAndZero by hand, the list operations against
// one UnifyAndZero per listed index (bit for bit), the upper-triangle form against the full one,
// and SymHandleBCs. Gauss-Seidel (GaussSeidel.cpp): the 2 x 2 case against sweeps written here
// (same iterates, sweep count and report text) in both storage modes, and the runs that make no
// sweep. The finite-element road: assemble with AddValues, impose non-zero prescribed values,
// solve with every solver of the system matrix, and compare each answer with the reference solve
// of the dense twin, in which every prescribed row is replaced by its unit row (independent of
// the library's boundary-condition operations).
#include "support/GlobalState.h"
#include "support/Problems.h"

#include <tarvel/Tarvel.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

using namespace tarvel_test;
using SystSpMat = GlobalStateTest;

namespace
{

int Cholesky(CSystSpMat& K) { return K.Cholesky(); }
int LU(CSystSpMat& K) { return K.LU(); }

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
    int outcomes[2][2] = {{0, 0}, {0, 0}};
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
        ++outcomes[0][ExpectSameAsPlain(U, Cholesky, tarvel::detail::syst_cholesky_merging) == 1];
        ++outcomes[1][ExpectSameAsPlain(F, LU, LuRightLooking) == 1];
    }
    for (auto& o : outcomes) EXPECT_TRUE(o[0] > 5 && o[1] > 5) << o[0] << " " << o[1];
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
