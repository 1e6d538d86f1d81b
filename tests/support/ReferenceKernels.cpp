#include "support/ReferenceKernels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tarvel_test
{

namespace
{

using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

bool zero_or_nan(double v) { return v == 0.0 || std::isnan(v); }

std::vector<Row*> rows_of(CSparseMatrix& A)
{
    std::vector<Row*> rows;
    for (Row* r = A.GetFirstRow(); r; r = r->m_pNextRow) rows.push_back(r);
    return rows;
}

// Adds v at column col of row r by sorted insertion, the walk starting at `from` (a cell of r
// at or left of col) or at the row's head; a missing cell is made holding v. Returns the cell.
Cell* add_at(Row& r, Cell* from, int col, double v)
{
    if (from && from->m_nCol == col) return from->m_dValue += v, from;
    Cell** link = from ? &from->m_pNext : &r.m_pFirstCell;
    while (*link && (*link)->m_nCol < col) link = &(*link)->m_pNext;
    if (*link && (*link)->m_nCol == col)
        (*link)->m_dValue += v;
    else
        *link = new Cell{*link, v, col};
    return *link;
}

}  // namespace

int LuRightLooking(CSparseMatrix& A)
{
    const std::vector<Row*> rows = rows_of(A);
    const int n = static_cast<int>(rows.size());
    std::vector<Cell*> cursor(rows.size());
    for (int r = 0; r < n; ++r) cursor[r] = rows[r]->m_pFirstCell;
    for (int k = 0; k < n; ++k)
    {
        Cell* ck = cursor[k];
        if (rows[k]->m_nRow != k || !ck || ck->m_nCol != k || zero_or_nan(ck->m_dValue)) return -1;
        if (!ck->m_pNext) continue;  // nothing right of the pivot: the later rows' cursors stay
        for (int r = k + 1; r < n; ++r)
        {
            Cell* c = cursor[r];
            if (!c || c->m_nCol != k) continue;
            const double l = c->m_dValue / ck->m_dValue;
            if (c->m_dValue != 0.0)  // a cursor holding 0.0 is only passed
            {
                c->m_dValue = l;
                Cell* at = c;
                for (const Cell* u = ck->m_pNext; u; u = u->m_pNext)
                    at = add_at(*rows[r], at, u->m_nCol, -(u->m_dValue * l));
            }
            cursor[r] = c->m_pNext;  // the first cell past the pivot column, fill included
        }
    }
    return 1;
}

int CholeskyRightLooking(CSparseMatrix& A)
{
    const std::vector<Row*> rows = rows_of(A);
    int width = 0;
    for (const Row* r : rows)
    {
        width = std::max(width, r->m_nRow + 1);
        for (const Cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            width = std::max(width, c->m_nCol + 1);
    }
    std::vector<char> stored(static_cast<std::size_t>(width), 0);  // stored[i]: row i listed
    for (const Row* r : rows)
        if (r->m_nRow >= 0) stored[r->m_nRow] = 1;
    for (int k = 0; k < static_cast<int>(rows.size()); ++k)
    {
        Row& rk = *rows[k];
        Cell* diag = rk.m_pFirstCell;
        if (rk.m_nRow != k || !diag || diag->m_nCol != k || !(diag->m_dValue > 0.0)) return -1;
        for (const Cell* c = diag->m_pNext; c; c = c->m_pNext)
            if (!zero_or_nan(c->m_dValue) && (c->m_nCol < 0 || !stored[c->m_nCol])) return -1;
        ++CVirtMat::m_Flops;
        const double d = diag->m_dValue;
        std::size_t j = static_cast<std::size_t>(k);
        for (Cell* ckj = diag->m_pNext; ckj; ckj = ckj->m_pNext)
        {
            const double a = ckj->m_dValue;
            if (zero_or_nan(a)) continue;
            while (rows[j]->m_nRow < ckj->m_nCol) ++j;  // stored, and rows ascend
            Cell* cursor = nullptr;
            for (const Cell* ckm = ckj; ckm; ckm = ckm->m_pNext, CVirtMat::m_Flops += 2)
                cursor = add_at(*rows[j], cursor, ckm->m_nCol, -a / d * ckm->m_dValue);
            ckj->m_dValue = a / d;
        }
    }
    return 1;
}

}  // namespace tarvel_test
