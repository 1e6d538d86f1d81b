// Edits of one row's cell list that keep its columns ascending (R2): sorted insertion and
// the removal of the cells left of the diagonal.
#pragma once

#include <tarvel/sparse/detail/ListNodes.h>

namespace tarvel::detail
{

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

}  // namespace tarvel::detail
