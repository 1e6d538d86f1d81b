// The adjacency graph of a symmetric pattern, its compression, and the fill-reducing orderings
// computed on it.
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

// A graph with its indistinguishable vertices merged (u, v with adj(u) + u = adj(v) + v, as the
// degrees of freedom of one finite-element node): supervariable s stands for the vertices
// members[memberPtr[s] .. memberPtr[s + 1]), ascending; supervariables are numbered in the order
// of their smallest vertex. Eliminating a supervariable's vertices one after the other makes no
// fill that eliminating one of them would not (C. Ashcraft, Compressed graphs and the minimum
// degree algorithm, SIAM J. Sci. Comput. 16(6), 1995), so an ordering of the compressed graph
// expands to one of the same quality for the whole graph, found several times faster.
struct CompressedGraph
{
    // The graph the orderings see: &merged, or the original graph itself when merging would
    // save less than a tenth of its vertices (each vertex then its own supervariable).
    const PatternGraph* graph = nullptr;
    PatternGraph merged;  // between supervariables, no self loop
    std::vector<int> memberPtr, members;
    std::vector<int> weight;  // weight[s] = its number of vertices
};

// Merges the indistinguishable vertices of g (candidates found by a hash of the closed
// neighbourhood, then compared exactly). c refers to g afterwards: g must outlive it.
void compress_graph(const PatternGraph& g, CompressedGraph& c);

// order[k] = the supervariable of c eliminated at step k (a vertex of c.graph); its members
// follow one another in the elimination of the unknowns. Each returns false when its library
// runs out of memory (order then undefined); std::bad_alloc from the vectors passes through.
// Approximate minimum degree: P. R. Amestoy, T. A. Davis, I. S. Duff, An approximate minimum
// degree ordering algorithm, SIAM J. Matrix Anal. Appl. 17(4), 1996 (SuiteSparse AMD).
bool order_amd(const CompressedGraph& c, std::vector<int>& order);
// Multilevel nested dissection: G. Karypis, V. Kumar, A fast and high quality multilevel scheme
// for partitioning irregular graphs, SIAM J. Sci. Comput. 20(1), 1998 (METIS_NodeND), the
// supervariables weighted by their sizes so that separators balance the vertices of g.
bool order_metis(const CompressedGraph& c, std::vector<int>& order);

}  // namespace tarvel::detail
