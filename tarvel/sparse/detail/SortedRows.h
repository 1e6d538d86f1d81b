// Building a matrix's rows from entries already sorted by row, then by column (repeats next to
// each other, summed in their order): each cell goes in at the end of its row, no search.
#pragma once

#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SystSpMat.h>

#include <cstddef>

namespace tarvel::detail
{

// B, holding no row, receives the entries (members i, j, v) as rows made at the end of its
// list (R1 and R2 follow from the order), and rows x cols as the size of its last Allocate.
template <class Entries>
void build_sorted_rows(CSparseMatrix& B, const Entries& entries, int rows, int cols)
{
    CSparseMatrix::row* last = nullptr;
    CSparseMatrix::cell* c = nullptr;
    for (const auto& e : entries)
    {
        if (!last || last->m_nRow != e.i)
        {
            CSparseMatrix::row* r = new CSparseMatrix::row;
            r->m_nRow = e.i;
            (last ? last->m_pNextRow : B.m_pFirstRow) = r;  // owned by B from here (R3)
            last = r;
            c = nullptr;
        }
        last->Add(e.j, e.v, c);
    }
    B.m_nAllocRows = rows;
    B.m_nAllocCols = cols;
}

// K, a system matrix of its final order holding no cell, receives the entries in the rows of
// its array; its order becomes the size of its last Allocate.
template <class Entries> void build_sorted_rows(CSystSpMat& K, const Entries& entries)
{
    CSparseMatrix::cell* c = nullptr;
    for (std::size_t k = 0; k < entries.size(); ++k)
    {
        if (k == 0 || entries[k].i != entries[k - 1].i) c = nullptr;
        K.m_pRowArray[entries[k].i].Add(entries[k].j, entries[k].v, c);
    }
    K.m_nAllocRows = K.m_nAllocCols = K.GetRows();
}

}  // namespace tarvel::detail
