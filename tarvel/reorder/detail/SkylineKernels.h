// The skyline kernels written exactly as the algorithms are stated, one element at a time
// through operator() and PeakRow. The members compute the same numbers with the same
// floating-point operations in the same order, faster; the tests compare the two bit for bit.
#pragma once

class CMatrix;
class CSkylineMatrix;

namespace tarvel::detail
{

// Root-free Cholesky A = U^T D U column by column; 1, or -1 when the work arrays cannot be had.
int skyline_cholesky_plain(CSkylineMatrix& A);
// U^T Y = B (mode 1: unit diagonal; 2: stored diagonal), column by column of B, row by row.
void skyline_forwsub_plain(CSkylineMatrix& A, CMatrix& B, int mode);
// U X = B (mode 1: unit diagonal; 2: stored diagonal): for each row, every later column is
// scanned and its peak tested (quadratic in the order).
void skyline_backwsub_plain(CSkylineMatrix& A, CMatrix& B, int mode);

}  // namespace tarvel::detail
