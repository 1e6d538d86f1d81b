/// \file
/// The size of a Cholesky factor before it is made: for a symmetric matrix held as its upper
/// triangle (a CSparseMatrix, or a CSystSpMat assembled with m_bSym set), the elimination tree
/// and the number of entries in each row of the factor U of A = U^T D U, the layout Cholesky
/// leaves in place. A caller weighs these against the storage it has before factorizing:
/// Cholesky makes one cell per entry.
///
/// The pattern counted is the stored one: every stored entry right of the diagonal counts,
/// whatever its value. Cholesky sends no update from an entry holding 0.0 or NaN, so the factor
/// it makes holds at most this many entries, and exactly this many when no stored or computed
/// value right of the diagonal is 0.0 or NaN. Entries on or left of the diagonal and columns
/// outside 0 .. n - 1 are not counted as couplings; every row's factor counts its diagonal,
/// a row that is not stored included (Cholesky fails on such a matrix).
///
/// Cost: time proportional to the stored entries (times an inverse Ackermann factor), work
/// space of a few integers per row, nothing proportional to the factor.
#pragma once

#include <tarvel/platform/AfxTypes.h>
#include <tarvel/sparse/SparseMatrix.h>

/// The number of entries of U, diagonal included, for n = A.GetRows() rows; -1 when the work
/// space cannot be had. When parent is not null, parent[k] receives the elimination tree:
/// the smallest j > k with u_kj in the pattern, -1 for a root. When counts is not null,
/// counts[k] receives the entries of row k of U, its diagonal included. Each array holds n
/// entries.
TARVEL_API LONGLONG CholeskyFactorSize(const CSparseMatrix& A, int* parent = nullptr,
                                       int* counts = nullptr);
