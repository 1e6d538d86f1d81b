// Private helpers of the sparse-matrix sources for the row lists (R1-R2 of SparseMatrix.h):
// sorted insertion into a row, the values that are never stored, the tolerant comparison behind
// NumZeros, work storage, the dense right-hand sides of the solvers, and the invariant check.
#pragma once

#include <tarvel/core/Matrix.h>
#include <tarvel/sparse/SparseMatrix.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

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

// The cell after c. The rows of a factor are runs of consecutive cells, so the walk guesses
// c + 1 and checks the guess with a predicted branch: the next cell's loads then start without
// waiting for c->m_pNext, which turns a walk bound by load latency into one bound by its own
// work. (The empty volatile statement keeps the compiler from folding the guess into the loaded
// pointer, which would bring the wait back.)
template <class C> inline C* next_cell(C* c)
{
    C* const next = c->m_pNext;
#if defined(__GNUC__) || defined(__clang__)
    C* guess = c + 1;
    if (__builtin_expect(next == guess, 1))
    {
        __asm__ volatile("" : "+r"(guess));
        return guess;
    }
#endif
    return next;
}

// Zero and NaN: the values that the plain Add, the copies and the eliminations skip. (|v| > 0
// fails exactly for +-0.0 and NaN; the quiet comparison raises no flag for a NaN.)
inline bool is_zero_or_nan(double v) { return !std::isgreater(std::fabs(v), 0.0); }

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

// True when the matrix keeps R1 and R2 (strictly ascending rows and cells).
bool lists_are_ordered(const CSparseMatrix& A);

}  // namespace tarvel::detail
