// The adjacency graph of a symmetric pattern and the fill-reducing orderings computed on it.
#pragma once

#include <vector>

namespace tarvel::detail
{

// The graph of a symmetric n x n pattern: the neighbours of vertex v are
// adj[ptr[v] .. ptr[v + 1]), strictly ascending, v itself never among them (no self loop);
// u is a neighbour of v exactly when v is a neighbour of u.
struct PatternGraph
{
    int n = 0;
    std::vector<int> ptr;  // n + 1 entries
    std::vector<int> adj;  // ptr[n] entries
};

// perm[k] = the vertex eliminated at pivot k. Each returns false when its library runs out
// of memory (perm then undefined); std::bad_alloc from the vectors passes through.
// Approximate minimum degree: P. R. Amestoy, T. A. Davis, I. S. Duff, An approximate minimum
// degree ordering algorithm, SIAM J. Matrix Anal. Appl. 17(4), 1996 (SuiteSparse AMD).
bool order_amd(const PatternGraph& g, std::vector<int>& perm);
// Multilevel nested dissection: G. Karypis, V. Kumar, A fast and high quality multilevel scheme
// for partitioning irregular graphs, SIAM J. Sci. Comput. 20(1), 1998 (METIS_NodeND).
bool order_metis(const PatternGraph& g, std::vector<int>& perm);

}  // namespace tarvel::detail
