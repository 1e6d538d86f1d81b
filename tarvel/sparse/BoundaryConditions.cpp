// Prescribed degrees of freedom (boundary conditions) imposed on a sparse system by unifying and
// zeroing: the row of a prescribed index k becomes the unit row (k, k) = 1.0, the couplings of
// k with the other rows are removed, what they contributed, a_rk g_k, is moved to the right-hand
// side, and B(k, c) becomes g_k. Solving the result gives g_k at every prescribed k and, at the
// free rows, the solution of the reduced system K_ff u_f = f_f - K_fp g_p.
//
// One index at a time (CSparseMatrix::UnifyAndZero) or a list of them on a system matrix, fully
// stored (UnifyAndZero2) or as its upper triangle (SymUnifyAndZero, SymHandleBCs). The direct form of
// the list operations visits every row once per prescribed index; here every row is visited once and
// looks its cells up in a table of the prescribed indices. The subtractions from B(r, c) are
// still made in the order of the list (the removed couplings are sorted by list position), so
// the results are those of the direct form (the tests' reference) bit for bit.
#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Assert.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/DenseRhs.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/ListOrder.h>
#include <tarvel/sparse/detail/SystDetail.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

using tarvel::detail::Cell;
using tarvel::detail::prescribed_index;
using tarvel::detail::RhsView;
using tarvel::detail::Row;

tarvel::detail::RhsView::RhsView(CVirtMat* B)
{
    CMatrix* dense = tarvel::detail::dense_rhs(B);
    if (!dense || !dense->m_pData) return;
    p = dense->GetColumns();
    if (p < 1) return;
    data = dense->m_pData;
    rows = dense->m_nRows;
}

namespace
{

void delete_chain(Cell* c)
{
    while (c)
    {
        Cell* next = c->m_pNext;
        delete c;
        c = next;
    }
}

// Row k becomes the single cell (k, k) = 1.0, reusing its first cell.
void make_unit_row(Row& r, int k)
{
    Cell* first = r.m_pFirstCell;
    if (!first)
    {
        r.m_pFirstCell = new Cell{nullptr, 1.0, k};
        return;
    }
    delete_chain(first->m_pNext);
    *first = Cell{nullptr, 1.0, k};
}

// b_r -= g a over the right-hand sides (b_r null: no right-hand side for this row).
inline void subtract_coupling(double* b_r, int p, double g, double a)
{
    if (!b_r) return;
    const double ga = g * a;
    for (int c = 0; c < p; ++c) b_r[c] -= ga;
}

inline void set_row(double* b_r, int p, double g)
{
    if (!b_r) return;
    for (int c = 0; c < p; ++c) b_r[c] = g;
}

// The positions of the list that count: both vectors have them.
inline int list_length(const CVector& dofs, const CVector& values)
{
    return std::max(0, std::min(dofs.m_nSize, values.m_nSize));
}

// first[k]: the first list position naming row k, -1 for a free row. A repeated index acts
// through its first position (the later ones find its couplings gone) except for B(k, c),
// which every position sets in turn.
std::vector<int> first_positions(const CVector& dofs, int m, int n)
{
    std::vector<int> first(static_cast<std::size_t>(n), -1);
    for (int t = 0; t < m; ++t)
    {
        const int k = prescribed_index(dofs.m_pData[t], n);
        if (k >= 0 && first[static_cast<std::size_t>(k)] < 0)
            first[static_cast<std::size_t>(k)] = t;
    }
    return first;
}

// Step 2 of the list operations (UnifyAndZero2 below): unit rows and B(k, c) = g_k, in list
// order.
void unify_rows(Row* rows, int n, const CVector& dofs, const CVector& values, int m,
                const RhsView& rhs)
{
    for (int t = 0; t < m; ++t)
    {
        const int k = prescribed_index(dofs.m_pData[t], n);
        if (k < 0) continue;
        make_unit_row(rows[k], k);
        set_row(rhs.row(k), rhs.p, values.m_pData[t]);
    }
}

// A coupling removed from a free row, to be subtracted in list order (position t; for the upper
// triangle, `partner` orders the cell of the prescribed row after the row's own cell).
struct Removed
{
    int t;
    int partner;
    double a;
    bool operator<(const Removed& o) const { return t < o.t || (t == o.t && partner < o.partner); }
};

// Unlinks from free row r every cell whose column is prescribed (other than r), deletes it and
// appends it to `removed`. `onlyRight`: only columns right of r.
void remove_prescribed_columns(Row& r, int n, const std::vector<int>& first, bool onlyRight,
                               std::vector<Removed>& removed)
{
    const int i = r.m_nRow;
    Cell** link = &r.m_pFirstCell;
    while (Cell* c = *link)
    {
        const int j = c->m_nCol;
        if (j >= 0 && j < n && j != i && (!onlyRight || j > i) &&
            first[static_cast<std::size_t>(j)] >= 0)
        {
            removed.push_back(Removed{first[static_cast<std::size_t>(j)], 0, c->m_dValue});
            *link = c->m_pNext;
            delete c;
        }
        else
        {
            link = &c->m_pNext;
        }
    }
}

void subtract_in_list_order(std::vector<Removed>& removed, double* b_r, int p,
                            const CVector& values)
{
    if (!b_r) return;
    // Insertion sort: the lists are short and usually in order already (ascending columns of
    // an ascending list); no allocation per row.
    for (std::size_t i = 1; i < removed.size(); ++i)
        for (std::size_t j = i; j > 0 && removed[j] < removed[j - 1]; --j)
            std::swap(removed[j], removed[j - 1]);
    for (const Removed& x : removed) subtract_coupling(b_r, p, values.m_pData[x.t], x.a);
}

}  // namespace

// =============================================================================================
// One index: CSparseMatrix::UnifyAndZero
// =============================================================================================

// UnifyAndZero(k, g, B):
//  1. B(k, c) = g.
//  2. No row at all: row k = (k, k) = 1.0, and stop.
//  3. Row k: every cell deleted, then the single cell (k, k) = 1.0. Every other stored row r:
//     its cell (r, k), if any, is unlinked and deleted and B(r, c) -= g a_rk.
//  4. No row k: it is made at its ordered place (R1) holding (k, k) = 1.0.
void CSparseMatrix::UnifyAndZero(int k, double g, CVirtMat* B)
{
    const RhsView rhs(B);
    set_row(rhs.row(k), rhs.p, g);
    bool found = false;
    for (row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        if (r->m_nRow == k)
        {
            r->Clear();
            r->m_pFirstCell = new cell{nullptr, 1.0, k};
            found = true;
        }
        else if (cell* c = r->Remove(k))
        {
            subtract_coupling(rhs.row(r->m_nRow), rhs.p, g, c->m_dValue);
            delete c;
        }
    }
    // A system matrix holds its rows in its array (S1): an index outside it has no row to make
    // (one made here would stay outside the array, never released).
    if (!found && !IsKindOf(RUNTIME_CLASS(CSystSpMat)))
        find_or_make_row(nullptr, k)->m_pFirstCell = new cell{nullptr, 1.0, k};
    TARVEL_ASSERT(tarvel::detail::lists_are_ordered(*this),
                  "CSparseMatrix::UnifyAndZero: rows or cells out of order or repeated (R1, R2)");
}

void CSparseMatrix::UnifyAndZero(int k) { UnifyAndZero(k, 0.0, nullptr); }

// =============================================================================================
// Lists of indices on the system matrix
// =============================================================================================

// UnifyAndZero2(dofs, values, B), full storage:
//  1. Every free row r loses its cells at prescribed columns k; B(r, c) -= g_k a_rk in list order.
//  2. In list order, row k becomes (k, k) = 1.0 and B(k, c) = g_k.
// (The prescribed rows are made unit rows in the same pass; stripping them first, as the direct
// form does, would end the same.)
void CSystSpMat::UnifyAndZero2(CVector& dofs, CVector& values, CVirtMat* B)
{
    const int n = m_nRowArraySize;
    const int m = list_length(dofs, values);
    const RhsView rhs(B);
    const std::vector<int> first = first_positions(dofs, m, n);
    std::vector<Removed> removed;
    for (int r = 0; r < n; ++r)
    {
        if (first[static_cast<std::size_t>(r)] >= 0) continue;  // a prescribed row: step 2
        removed.clear();
        remove_prescribed_columns(m_pRowArray[r], n, first, false, removed);
        if (!removed.empty()) subtract_in_list_order(removed, rhs.row(r), rhs.p, values);
    }
    unify_rows(m_pRowArray, n, dofs, values, m, rhs);
}

// SymUnifyAndZero(dofs, values, B), upper-triangle storage. The coupling of a free row r with a
// prescribed k is the cell (r, k) of row r when k > r and the cell (k, r) of row k when k < r:
//  1. The couplings held by the prescribed rows are listed by the free row they belong to.
//  2. Every free row r loses its cells at prescribed columns; B(r, c) -= g_k a_rk over all its
//     couplings in list order.
//  3. In list order, row k becomes (k, k) = 1.0 (its couplings with it) and B(k, c) = g_k.
void CSystSpMat::SymUnifyAndZero(CVector& dofs, CVector& values, CVirtMat* B)
{
    const int n = m_nRowArraySize;
    const int m = list_length(dofs, values);
    const RhsView rhs(B);
    const std::vector<int> first = first_positions(dofs, m, n);

    // -- 1. Couplings in the prescribed rows, by free row (compressed lists) --
    std::vector<int> start(static_cast<std::size_t>(n) + 1, 0);
    auto partner_cells = [&](auto&& visit)
    {
        for (int k = 0; k < n; ++k)
        {
            const int t = first[static_cast<std::size_t>(k)];
            if (t < 0) continue;
            for (const Cell* c = m_pRowArray[k].m_pFirstCell; c; c = c->m_pNext)
                if (c->m_nCol > k && c->m_nCol < n &&
                    first[static_cast<std::size_t>(c->m_nCol)] < 0)
                    visit(c->m_nCol, Removed{t, 1, c->m_dValue});
        }
    };
    if (rhs.data)
    {
        partner_cells([&](int j, const Removed&) { ++start[static_cast<std::size_t>(j) + 1]; });
        for (int r = 0; r < n; ++r) start[r + 1] += start[r];
    }
    std::vector<Removed> held(static_cast<std::size_t>(start[static_cast<std::size_t>(n)]));
    if (rhs.data)
    {
        std::vector<int> fill(start.begin(), start.end() - 1);
        partner_cells([&](int j, const Removed& x) { held[fill[j]++] = x; });
    }

    // -- 2. Free rows --
    std::vector<Removed> removed;
    for (int r = 0; r < n; ++r)
    {
        if (first[static_cast<std::size_t>(r)] >= 0) continue;
        removed.clear();
        remove_prescribed_columns(m_pRowArray[r], n, first, false, removed);
        removed.insert(removed.end(), held.begin() + start[r], held.begin() + start[r + 1]);
        if (!removed.empty()) subtract_in_list_order(removed, rhs.row(r), rhs.p, values);
    }

    // -- 3. Prescribed rows --
    unify_rows(m_pRowArray, n, dofs, values, m, rhs);
}

// SymHandleBCs(bc, B): prescribed indices in column 0 of bc (truncated toward zero).
//  1. The couplings of every prescribed d with the other rows are deleted: cells (r, d) of the
//     free rows r < d, and every cell of row d but its diagonal.
//  2. The diagonal of each prescribed row is set to 1.0 (a row without one stays empty).
// The right-hand side is not touched (the header's choices).
void CSystSpMat::SymHandleBCs(CMatrix& bc, CMatrix /*B*/)
{
    const int n = m_nRowArraySize;
    const int columns = bc.GetColumns();
    if (columns < 1 || !bc.m_pData) return;
    std::vector<int> first(static_cast<std::size_t>(n), -1);
    for (int t = 0; t < bc.m_nRows; ++t)
    {
        const int d = prescribed_index(bc.m_pData[static_cast<long>(t) * columns], n);
        if (d >= 0) first[static_cast<std::size_t>(d)] = t;
    }
    std::vector<Removed> removed;
    for (int r = 0; r < n; ++r)
    {
        Row& row_r = m_pRowArray[r];
        if (first[static_cast<std::size_t>(r)] < 0)
        {
            removed.clear();
            remove_prescribed_columns(row_r, n, first, true, removed);
            continue;
        }
        Cell* diagonal = nullptr;
        Cell* c = row_r.m_pFirstCell;
        while (c)
        {
            Cell* next = c->m_pNext;
            if (c->m_nCol == r && !diagonal)
                diagonal = c;
            else
                delete c;
            c = next;
        }
        row_r.m_pFirstCell = diagonal;
        if (diagonal) *diagonal = Cell{nullptr, 1.0, r};
    }
}
