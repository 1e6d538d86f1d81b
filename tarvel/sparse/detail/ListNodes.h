// Short names of the row lists' nodes (R1-R2 of SparseMatrix.h) for the sparse sources.
#pragma once

#include <tarvel/sparse/SparseMatrix.h>

namespace tarvel::detail
{

using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

}  // namespace tarvel::detail
