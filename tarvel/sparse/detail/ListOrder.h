// The whole-matrix check of the row lists' order (R1-R2), for TARVEL_ASSERT after complete
// operations.
#pragma once

#include <tarvel/sparse/SparseMatrix.h>

namespace tarvel::detail
{

// True when the matrix keeps R1 and R2 (strictly ascending rows and cells).
bool lists_are_ordered(const CSparseMatrix& A);

}  // namespace tarvel::detail
