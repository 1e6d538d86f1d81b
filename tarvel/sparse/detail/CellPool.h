// What the cell pool (CellPool.cpp) offers the factorizations beyond `new cell`.
#pragma once

#include <tarvel/sparse/SparseMatrix.h>

#include <cstddef>

namespace tarvel::detail
{

// True when cells come from the pools of CellPool.cpp, which hand out the lowest free slot
// first; false in sanitizer builds, where every cell is a heap object of its own.
bool cells_reused_in_address_order();
// The 2 MiB blocks of the pools mapped now (owned by threads or in the reserve); 0 without pools.
std::size_t cell_blocks_mapped();
// n new cells chained in order (each one's m_pNext the next, the last one's null), holding 0.0
// at column 0; with the pools, in consecutive slots. Null when n is 0 or storage is exhausted
// (then nothing is kept). Each cell is released with delete like any other.
CSparseMatrix::cell* new_cell_chain(std::size_t n) noexcept;
// As new_cell_chain, but only the links are set: every cell's value and column must be
// written before they are read.
CSparseMatrix::cell* new_cell_run(std::size_t n) noexcept;

}  // namespace tarvel::detail
