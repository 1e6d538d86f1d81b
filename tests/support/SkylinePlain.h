// Reference forms of the skyline kernels for the tests: the root-free Cholesky and the two
// substitutions column by column, in the textbook order of summation (Bathe, Finite Element
// Procedures, 1996, sec. 8.2.3). The library's members must agree with them up to rounding.
#pragma once

#include <tarvel/Tarvel.h>

namespace tarvel_test
{

// Root-free Cholesky A = U^T D U column by column, no pivot test; 1, or -1 when the work
// arrays cannot be had.
int CholeskyPlain(CSkylineMatrix& A);
// U^T Y = B (mode 1: unit diagonal; 2: stored diagonal), column by column of B, row by row.
void ForwSubPlain(CSkylineMatrix& A, CMatrix& B, int mode);
// U X = B (mode 1: unit diagonal; 2: stored diagonal): for each row, every later column is
// scanned and its peak tested (quadratic in the order).
void BackwSubPlain(CSkylineMatrix& A, CMatrix& B, int mode);

}  // namespace tarvel_test
