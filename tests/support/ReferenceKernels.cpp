#include "support/ReferenceKernels.h"

#include <algorithm>
#include <cmath>
#include <utility>
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
    if (from && from->m_nCol == col)
    {
        from->m_dValue += v;
        return from;
    }
    Cell* prev = from;
    Cell* c = from ? from->m_pNext : r.m_pFirstCell;
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
    (prev ? prev->m_pNext : r.m_pFirstCell) = made;
    return made;
}

// The elimination of column k from a later row r whose cursor c stands on it: l = a_rk / d
// stored in c, -(u_km l) added at every column m of the pivot row's cells uk. A cursor holding
// 0.0 is only passed. Returns the cell after c, the row's new cursor.
Cell* eliminate(Row& r, Cell* c, const Cell* uk, double d)
{
    if (c->m_dValue == 0.0) return c->m_pNext;
    const double l = c->m_dValue / d;
    c->m_dValue = l;
    Cell* at = c;
    for (const Cell* u = uk; u; u = u->m_pNext) at = add_at(r, at, u->m_nCol, -(u->m_dValue * l));
    return c->m_pNext;
}

// Coupling of the right-hand sides: b_r -= g a over the columns, when B has row r.
void subtract(CMatrix* B, int r, double g, double a)
{
    if (!B || r >= B->GetRows()) return;
    for (int c = 0; c < B->GetColumns(); ++c) (*B)(r, c) -= g * a;
}

int prescribed(double v, int n) { return (v > -1.0 && v < n) ? static_cast<int>(v) : -1; }

// Removes the couplings of every row with the prescribed indices (in symmetric storage also the
// mirrored cell of a row above), then makes the unit rows and sets B's prescribed rows.
void unify_by_rows(CSystSpMat& A, CVector& dofs, CVector& values, CVirtMat* Bv, bool symmetric)
{
    const int n = A.m_nRowArraySize;
    const int m = std::max(0, std::min(dofs.m_nSize, values.m_nSize));
    CMatrix* B = dynamic_cast<CMatrix*>(Bv);
    for (int r = 0; r < n; ++r)
        for (int t = 0; t < m; ++t)
        {
            const int k = prescribed(dofs.m_pData[t], n);
            if (k < 0 || (symmetric && k == r)) continue;
            Cell* held[2] = {A.m_pRowArray[r].Remove(k),
                             symmetric && k < r ? A.m_pRowArray[k].Remove(r) : nullptr};
            for (Cell* c : held)
                if (c)
                {
                    subtract(B, r, values.m_pData[t], c->m_dValue);
                    delete c;
                }
        }
    for (int t = 0; t < m; ++t)
    {
        const int k = prescribed(dofs.m_pData[t], n);
        if (k < 0) continue;
        Row& row = A.m_pRowArray[k];
        while (Cell* c = row.m_pFirstCell)
        {
            row.m_pFirstCell = c->m_pNext;
            delete c;
        }
        row.m_pFirstCell = new Cell{nullptr, 1.0, k};
        if (B && k < B->GetRows())
            for (int c = 0; c < B->GetColumns(); ++c) (*B)(k, c) = values.m_pData[t];
    }
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
        const Cell* uk = ck->m_pNext;
        if (!uk) continue;  // nothing right of the pivot: the later rows' cursors stay
        for (int r = k + 1; r < n; ++r)
            if (cursor[r] && cursor[r]->m_nCol == k)
                cursor[r] = eliminate(*rows[r], cursor[r], uk, ck->m_dValue);
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
    std::vector<char> stored(static_cast<std::size_t>(width), 0);
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
            const double f = -a / d;
            while (rows[j]->m_nRow < ckj->m_nCol) ++j;  // stored, and rows ascend
            Cell* cursor = nullptr;
            for (const Cell* ckm = ckj; ckm; ckm = ckm->m_pNext)
            {
                cursor = add_at(*rows[j], cursor, ckm->m_nCol, f * ckm->m_dValue);
                CVirtMat::m_Flops += 2;
            }
            ckj->m_dValue = a / d;
        }
    }
    return 1;
}

void AatByRowPairs(CSparseMatrix& A)
{
    CSparseMatrix T;
    Row* rowCursor = nullptr;
    for (const Row* ri = A.GetFirstRow(); ri; ri = ri->m_pNextRow)
    {
        Cell* cellCursor = nullptr;
        for (const Row* rj = A.GetFirstRow(); rj; rj = rj->m_pNextRow)
        {
            double s = 0.0;
            const Cell* a = ri->m_pFirstCell;
            const Cell* b = rj->m_pFirstCell;
            while (a && b)
            {
                if (a->m_nCol == b->m_nCol)
                {
                    s += a->m_dValue * b->m_dValue;
                    a = a->m_pNext;
                    b = b->m_pNext;
                }
                else if (a->m_nCol < b->m_nCol)
                    a = a->m_pNext;
                else
                    b = b->m_pNext;
            }
            if (!zero_or_nan(s))
                T.CSparseMatrix::Add(ri->m_nRow, rj->m_nRow, s, rowCursor, cellCursor);
        }
    }
    std::swap(A.m_pFirstRow, T.m_pFirstRow);
}

void UnifyAndZero2ByRows(CSystSpMat& A, CVector& dofs, CVector& values, CVirtMat* B)
{
    unify_by_rows(A, dofs, values, B, false);
}

void SymUnifyAndZeroByRows(CSystSpMat& A, CVector& dofs, CVector& values, CVirtMat* B)
{
    unify_by_rows(A, dofs, values, B, true);
}

}  // namespace tarvel_test
