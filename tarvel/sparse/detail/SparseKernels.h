// Kernels shared by the sparse and the system matrix: the row-by-row LU elimination on rows
// by list position, and the forward substitution with the transposed factor in its direct
// form, which ForwSub falls back to when a row has a negative index.
#pragma once

#include <tarvel/core/Matrix.h>
#include <tarvel/sparse/detail/ListNodes.h>

#include <vector>

namespace tarvel::detail
{

// Forward substitution modes -1 and -2 by scanning every earlier row's cursor for each row
// (quadratic in the number of rows). CSparseMatrix::ForwSub gives the same bits.
void forward_sub_transposed_plain(const CSparseMatrix& A, CMatrix& B, int mode);
// The same on the rows of a list, by position.
void forward_sub_transposed_plain(const std::vector<Row*>& rows, CMatrix& B, int mode);
// The LU elimination of CSparseMatrix::LU on rows[0 .. n - 1] (by position), row by row; the
// failure result and partial state as that member states. Fill-in cells are made with new.
int lu_row_by_row(Row* const* rows, int n);

}  // namespace tarvel::detail
