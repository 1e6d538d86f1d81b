// The elimination tree of a symmetric pattern under an ordering, its postorder and the column
// counts of the Cholesky factor, all without forming the factor.
// Reference: T. A. Davis, Direct Methods for Sparse Linear Systems, SIAM 2006, sec. 4.1-4.5.
#pragma once

#include "detail/Ordering.h"

namespace tarvel::detail
{

// parent[k] = the parent of pivot k in the elimination tree of P A P^T (P from perm, iperm its
// inverse), -1 at a root: the smallest i > k with l_ik != 0 (J. W. H. Liu, A compact row
// storage scheme for Cholesky factors using elimination trees, ACM TOMS 12(2), 1986; path
// compression through ancestor). work: n ints.
void elimination_tree(const PatternGraph& g, const int* perm, const int* iperm, int* parent,
                      int* work);

// post[k] = the k-th node of a depth-first postorder of the forest parent (children in
// ascending order, roots in ascending order). work: 3n ints.
void postorder(int n, const int* parent, int* post, int* work);

// counts[j] = the entries of column j of L, diagonal included, for P A P^T with an elimination
// tree that is already postordered (every subtree is a run of consecutive pivots ending at its
// root). Row subtrees found through their leaves with the first descendants and a disjoint-set
// forest (Gilbert, Ng, Peyton 1994; Davis sec. 4.5, cs_counts). With weights (weight[v] for
// vertex v, or nullptr for all 1), vertex v stands for weight[v] indistinguishable unknowns
// eliminated one after the other (a CompressedGraph's supervariable), and counts[j] is the column count of the first of them. work: 4n ints.
void column_counts(const PatternGraph& g, const int* perm, const int* iperm, const int* parent,
                   const int* weight, int* counts, int* work);

}  // namespace tarvel::detail
