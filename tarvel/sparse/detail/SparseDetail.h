// Private helpers shared by the sparse-matrix sources: sorted insertion into a row, the
// tolerant comparison behind NumZeros, the timing convention of the substitutions, and the
// straightforward forms of the kernels that have faster implementations (kept for the tests,
// which compare both bit for bit).
#pragma once

#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/sparse/SparseMatrix.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace tarvel::detail
{

using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

// Sorted insertion (R2): adds v at column col of r, the walk starting after `start` when
// start is not null (start->m_nCol <= col is the caller's duty), else at the row's head. An
// existing cell receives v added to its value; a missing one is made holding v (not 0.0 + v,
// which would turn -0.0 into +0.0). Returns the cell of column col.
inline Cell* add_in_row(Row& r, Cell* start, int col, double v)
{
    Cell* prev = nullptr;
    Cell* c = r.m_pFirstCell;
    if (start)
    {
        if (start->m_nCol == col)
        {
            start->m_dValue += v;
            return start;
        }
        prev = start;
        c = start->m_pNext;
    }
    while (c && c->m_nCol < col)
    {
        prev = c;
        c = c->m_pNext;
    }
    if (c && c->m_nCol == col)
    {
        c->m_dValue += v;
        return c;
    }
    Cell* made = new Cell{c, v, col};
    if (prev)
        prev->m_pNext = made;
    else
        r.m_pFirstCell = made;
    return made;
}

// Deletes the cells of r left of its diagonal; by R2 they stand at the head of the row.
inline void drop_left_of_diagonal(Row& r)
{
    Cell* c = r.m_pFirstCell;
    while (c && c->m_nCol < r.m_nRow)
    {
        Cell* next = c->m_pNext;
        delete c;
        c = next;
    }
    r.m_pFirstCell = c;
}

// Zero and NaN: the values that the plain Add, the copies and the eliminations skip.
inline bool is_zero_or_nan(double v) { return v == 0.0 || std::isnan(v); }

// Work storage of n value-initialized elements, or null when it cannot be obtained (the
// caller reports that as its API says).
template <class T> std::unique_ptr<T[]> try_alloc(std::size_t n)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[n == 0 ? 1 : n]());
}

// NearlyEqual(x, y, tol), with e = tol * DBL_EPSILON: for |y| >= 1 a relative window
// [(1 - e) y, (1 + e) y], both ends included when (1 - e) y is the smaller (or equal) bound and
// excluded when it is the larger; for |y| < 1 the absolute window (y - e, y + e), or, for e not
// positive, [y + e, y - e]. A NaN x is never nearly equal.
inline bool nearly_equal(double x, double y, double tol)
{
    const double e = tol * 2.220446049250313e-16;
    if (std::fabs(y) >= 1.0)
    {
        const double lo = (1.0 - e) * y;
        const double hi = (1.0 + e) * y;
        if (lo <= hi) return lo <= x && x <= hi;
        return hi < x && x < lo;
    }
    if (y - e < x && x < y + e) return true;
    return !(e > 0.0) && y + e <= x && x <= y - e;
}

// The right-hand sides of the solvers: a dense matrix behind the interface pointer, or null
// when it is not one (then the solvers have nothing to work on).
inline CMatrix* dense_rhs(CVirtMat* B) { return dynamic_cast<CMatrix*>(B); }

// Timing convention of the substitutions and of DiagMult/IsLower: a non-null target first
// receives 1000.0 (clock ticks per second) and, at the end, the elapsed ticks divided by it.
class TickTimer
{
public:
    explicit TickTimer(double* seconds) : m_pSeconds(seconds)
    {
        if (m_pSeconds)
        {
            *m_pSeconds = 1000.0;
            m_nStart = TarvelClock();
        }
    }
    ~TickTimer()
    {
        if (m_pSeconds) *m_pSeconds = static_cast<double>(TarvelClock() - m_nStart) / *m_pSeconds;
    }
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

private:
    double* m_pSeconds;
    long m_nStart = 0;
};

// Step 2 of element assembling: the positions of an element's index list that hold a
// non-negative index, ordered by ascending index. Each pick scans all n positions for the
// smallest index above the previous pick, stopping early at previous + 1; a pick that finds no
// larger index (an index repeated in the element) repeats the previous pick's position, so the
// picked indices never decrease. Elements of up to kStackPositions positions use no heap.
class ElementOrder
{
public:
    ElementOrder(const long* dofs, int n)
    {
        int valid = 0;
        for (int p = 0; p < n; ++p)
            if (dofs[p] >= 0) ++valid;
        m_nValid = valid;
        if (valid > kStackPositions)
        {
            m_heap.reset(new int[static_cast<std::size_t>(valid)]);
            m_pOrder = m_heap.get();
        }
        long previous = -1;
        int pick = 0;  // position of the latest pick; kept when a scan finds nothing (repeats)
        for (int t = 0; t < valid; ++t)
        {
            long best = -1;
            for (int p = 0; p < n; ++p)
            {
                const long d = dofs[p];
                if (d > previous && (best < 0 || d < best))
                {
                    best = d;
                    pick = p;
                    if (d == previous + 1) break;
                }
            }
            m_pOrder[t] = pick;
            if (best >= 0) previous = best;
        }
    }
    ElementOrder(const ElementOrder&) = delete;
    ElementOrder& operator=(const ElementOrder&) = delete;

    int size() const { return m_nValid; }                // positions with an index >= 0
    int operator[](int t) const { return m_pOrder[t]; }  // the t-th position picked

private:
    static constexpr int kStackPositions = 64;
    int m_stack[kStackPositions];
    std::unique_ptr<int[]> m_heap;
    int* m_pOrder = m_stack;
    int m_nValid = 0;
};

// True when cells come from the pools of CellPool.cpp, which hand out the lowest free slot
// first; false in sanitizer builds, where every cell is a heap object of its own.
bool cells_reused_in_address_order();
// The 2 MiB blocks of the pools mapped now (owned by threads or in the reserve); 0 without pools.
std::size_t cell_blocks_mapped();
// n new cells chained in order (each one's m_pNext the next, the last one's null), holding 0.0
// at column 0; with the pools, in consecutive slots. Null when n is 0 or storage is exhausted
// (then nothing is kept). Each cell is released with delete like any other.
Cell* new_cell_chain(std::size_t n) noexcept;

// True when the matrix keeps R1 and R2 (strictly ascending rows and cells).
bool lists_are_ordered(const CSparseMatrix& A);

// ---- Straightforward kernels, the direct forms of the algorithms; the members are faster ----

// Forward substitution modes -1 and -2 by scanning every earlier row's cursor for each row
// (quadratic in the number of rows). CSparseMatrix::ForwSub gives the same bits.
void forward_sub_transposed_plain(const CSparseMatrix& A, CMatrix& B, int mode);
// The same on the rows of a list, by position.
void forward_sub_transposed_plain(const std::vector<Row*>& rows, CMatrix& B, int mode);
// The LU elimination of CSparseMatrix::LU on rows[0 .. n - 1] (by position), row by row; the
// failure result and partial state as that member states. Fill-in cells are made with new.
int lu_row_by_row(Row* const* rows, int n);
// Row-oriented LU visiting every later row for every pivot. CSparseMatrix::LU gives the same
// lists and bits, and the same partial state on failure.
int lu_plain(CSparseMatrix& A);
// Right-looking square-root-free Cholesky, merging each pivot row into the rows below it.
// CSparseMatrix::Cholesky gives the same lists, bits, m_Flops and
// partial state on failure.
int cholesky_right_looking(CSparseMatrix& A);
// A * A^T by one merge pass for every pair of rows (quadratic in the rows).
void aat_plain(CSparseMatrix& A);

}  // namespace tarvel::detail
