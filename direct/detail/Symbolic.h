// The analysis of a symmetric pattern as the numeric factorization and the solves read it.
// Produced by AnalyzePattern (Analysis.cpp), read by the numeric factorization (Numeric.cpp) and
// the solves (Solve.cpp).
//
// Numbering: "pivot k" is column k of the permuted matrix P A P^T; perm[k] is the caller's
// column eliminated at pivot k, iperm its inverse.
//
// The analysed matrix: n is the larger of A's row and column counts; its stored cells (i, j)
// with i <= j < n are the upper triangle of a symmetric matrix, whatever their values; cells
// below the diagonal are ignored. Every pivot's diagonal has its place in the factor, stored in
// A or not. The pivots come in a postorder of the elimination tree of the ordering chosen.
//
// Invariants:
//  Y1  perm and iperm are inverse permutations of 0 .. n-1
//  Y2  supernode s holds the consecutive pivots superStart[s] .. superStart[s+1]-1; superStart[0]
//      = 0, superStart[nsuper] = n, strictly ascending
//  Y3  superParent[s] > s, or -1 at a root: the supernodes are numbered in a postorder of the
//      supernodal elimination tree, so every descendant of s precedes s
//  Y4  the rows of supernode s are rowInd[rowPtr[s] .. rowPtr[s+1]): first its own pivots
//      superStart[s] .. superStart[s+1]-1 in order, then the rows below them, strictly
//      ascending; every row below lies in an ancestor of s
//  Y5  the factor values of supernode s are a dense column-major block at values[valuePtr[s]],
//      nrows(s) x ncols(s) with leading dimension nrows(s) (its upper triangle unused);
//      valuePtr[nsuper] is the size of the value array
//  Y6  entry t of the analysed matrix (in the order MatrixEntries walks it: rows ascending,
//      cells ascending, only cells on or above the diagonal) lands at values[entryMap[t]]:
//      the lower-triangle position of (iperm[row], iperm[col]) in the factor
//  Y7  entryRow[t], entryCol[t] are that entry's row and column in the caller's numbering (the
//      check that a matrix given to Factorize has the analysed pattern)
#pragma once

#include <tarvel/platform/String.h>

#include <cstdint>
#include <vector>

class CSparseMatrix;

namespace tarvel::direct
{

enum class OrderingChoice
{
    automatic,
    amd,
    metis,
    natural,
    labels
};

struct Symbolic
{
    int n = 0;
    std::vector<int> perm;   // Y1
    std::vector<int> iperm;  // Y1

    int nsuper = 0;
    std::vector<int> superStart;    // Y2, nsuper + 1 entries
    std::vector<int> superParent;   // Y3
    std::vector<int64_t> rowPtr;    // Y4, nsuper + 1 entries
    std::vector<int> rowInd;        // Y4
    std::vector<int64_t> valuePtr;  // Y5, nsuper + 1 entries
    std::vector<int64_t> entryMap;  // Y6
    std::vector<int> entryRow;      // Y7
    std::vector<int> entryCol;      // Y7

    int64_t factorEntries = 0;  // structural non-zeros of L, diagonal included (the sum of the
                                // column counts; no zero that amalgamation adds)
    int64_t storedEntries = 0;  // entries of the lower trapezoids of all supernodes, the zeros
                                // of relaxed amalgamation included
    double factorFlops = 0.0;   // multiply-adds of the numeric factorization on the structure:
                                // sum_j (c_j - 1)(c_j + 2) / 2 for c_j entries in column j of L
                                // (its sub-diagonal divided by the pivot, then the lower
                                // triangle it updates)
    std::vector<double> subtreeFlops;  // the same count on the stored trapezoids, summed over
                                       // each supernode and its descendants (scheduling)

    int ncols(int s) const { return superStart[s + 1] - superStart[s]; }
    int64_t nrows(int s) const { return rowPtr[s + 1] - rowPtr[s]; }
};

// Orders and analyses the pattern of A (upper triangle; cells below the diagonal ignored).
// labels: for OrderingChoice::labels, labels[dof] = the pivot position of dof (a permutation
// of 0 .. n-1). automatic: AMD, and METIS as well when AMD's factor holds more than 5 times
// A's entries and costs more than 250 multiply-adds per entry, the one with fewer factor
// entries kept. False with a reason in failure ("out of memory", or a labelling that is not a
// permutation: "the labelling ..."), out then empty.
bool AnalyzePattern(const CSparseMatrix& A, OrderingChoice ordering, const std::vector<int>* labels,
                    Symbolic& out, CString& failure);

}  // namespace tarvel::direct
