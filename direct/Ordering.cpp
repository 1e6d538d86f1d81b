// The fill-reducing orderings of the library's graphs: approximate minimum degree (SuiteSparse
// AMD) and nested dissection (METIS), both called on the graph without self loops.
#include "detail/Ordering.h"

#include <amd.h>
#include <metis.h>
#include <type_traits>

namespace tarvel::detail
{

namespace
{

// The natural order, for a graph without edges (nothing to reduce; the libraries refuse
// empty adjacency arrays).
bool natural_when_no_edges(const PatternGraph& g, std::vector<int>& perm)
{
    perm.resize(static_cast<std::size_t>(g.n));
    if (g.n > 0 && g.ptr[g.n] > 0) return false;
    for (int k = 0; k < g.n; ++k) perm[k] = k;
    return true;
}

}  // namespace

// AMD with its default controls (dense rows: more than 10 sqrt(n) entries; aggressive
// absorption). The graph is sorted and free of duplicates, so AMD takes it as it is.
bool order_amd(const PatternGraph& g, std::vector<int>& perm)
{
    if (natural_when_no_edges(g, perm)) return true;
    double control[AMD_CONTROL];
    double info[AMD_INFO];
    amd_defaults(control);
    const int status = amd_order(g.n, g.ptr.data(), g.adj.data(), perm.data(), control, info);
    return status == AMD_OK || status == AMD_OK_BUT_JUMBLED;
}

// METIS_NodeND with its default options; its perm is ours (perm[k] = the vertex numbered k).
bool order_metis(const PatternGraph& g, std::vector<int>& perm)
{
    if (natural_when_no_edges(g, perm)) return true;
    idx_t options[METIS_NOPTIONS];
    METIS_SetDefaultOptions(options);
    options[METIS_OPTION_NUMBERING] = 0;
    idx_t nvtxs = g.n;
    std::vector<idx_t> iperm(static_cast<std::size_t>(g.n));
    int status = METIS_ERROR;
    if constexpr (std::is_same_v<idx_t, int>)
    {
        // METIS takes non-const arrays but only reads the graph
        status =
            METIS_NodeND(&nvtxs, const_cast<idx_t*>(g.ptr.data()), const_cast<idx_t*>(g.adj.data()),
                         nullptr, options, perm.data(), iperm.data());
    }
    else
    {
        std::vector<idx_t> xadj(g.ptr.begin(), g.ptr.end());
        std::vector<idx_t> adjncy(g.adj.begin(), g.adj.end());
        std::vector<idx_t> order(static_cast<std::size_t>(g.n));
        status = METIS_NodeND(&nvtxs, xadj.data(), adjncy.data(), nullptr, options, order.data(),
                              iperm.data());
        for (int k = 0; k < g.n; ++k) perm[k] = static_cast<int>(order[k]);
    }
    return status == METIS_OK;
}

}  // namespace tarvel::detail
