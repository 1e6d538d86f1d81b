// The compression of a pattern graph and the fill-reducing orderings on it: approximate minimum
// degree (SuiteSparse AMD) and nested dissection (METIS), both called on the compressed graph
// without self loops.
#include "detail/Ordering.h"

#include <algorithm>
#include <amd.h>
#include <cstdint>
#include <metis.h>
#include <type_traits>

namespace tarvel::detail
{

namespace
{

constexpr int kNone = -1;
// A vertex is compared with at most this many supervariables of equal hash, so that a bucket
// of many distinct vertices cannot make the compression quadratic.
constexpr int kMaxComparisons = 16;

// Below this share of merged vertices the graph is ordered as it is.
constexpr double kWorthMerging = 0.1;

// A 64-bit mix of a vertex number (splitmix64's finalizer: S. Vigna, Further scramblings of
// Marsaglia's xorshift generators, J. Comput. Appl. Math. 315, 2017); the hash of a closed
// neighbourhood is the sum of its members' mixes, the same in any order.
std::uint64_t mix(std::uint64_t z)
{
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Whether u and v have the same closed neighbourhood: equal degrees, each in the other's
// list, and the lists equal once u and v are skipped.
bool indistinguishable(const PatternGraph& g, int u, int v)
{
    const int* a = g.adj.data() + g.ptr[u];
    const int* aEnd = g.adj.data() + g.ptr[u + 1];
    const int* b = g.adj.data() + g.ptr[v];
    const int* bEnd = g.adj.data() + g.ptr[v + 1];
    if (aEnd - a != bEnd - b) return false;
    bool vInA = false, uInB = false;
    for (;;)
    {
        if (a < aEnd && *a == v)
        {
            vInA = true;
            ++a;
        }
        else if (b < bEnd && *b == u)
        {
            uInB = true;
            ++b;
        }
        else if (a < aEnd && b < bEnd && *a == *b)
        {
            ++a;
            ++b;
        }
        else
            break;
    }
    return a == aEnd && b == bEnd && vInA && uInB;
}

// The identity order of the supervariables for a graph without edges (nothing to reduce; the
// libraries refuse empty adjacency arrays).
bool natural_when_no_edges(const CompressedGraph& c, std::vector<int>& order)
{
    const PatternGraph& g = *c.graph;
    order.resize(static_cast<std::size_t>(g.n));
    if (g.n > 0 && g.ptr[g.n] > 0) return false;
    for (int s = 0; s < g.n; ++s) order[s] = s;
    return true;
}

}  // namespace

// Steps: 1. a hash of the closed neighbourhood (equal for indistinguishable vertices), the
// vertices bucketed by it; 2. each vertex joins the first supervariable of its bucket it is
// indistinguishable from; 3. numbering, members and the graph between supervariables.
void compress_graph(const PatternGraph& g, CompressedGraph& c)
{
    const int n = g.n;
    std::vector<int> bucketPtr(static_cast<std::size_t>(n) + 1, 0), inBucket(n), hash(n);
    // -- 1. Hash, buckets --
    std::vector<std::uint64_t> mixed(n), key(n);
    for (int v = 0; v < n; ++v) mixed[v] = mix(static_cast<std::uint64_t>(v));
    for (int v = 0; v < n; ++v)
    {
        std::uint64_t h = mixed[v];
        for (int p = g.ptr[v]; p < g.ptr[v + 1]; ++p) h += mixed[g.adj[p]];
        key[v] = h;
        hash[v] = static_cast<int>(h % static_cast<std::uint64_t>(n));
        ++bucketPtr[hash[v] + 1];
    }
    for (int b = 0; b < n; ++b) bucketPtr[b + 1] += bucketPtr[b];
    {
        std::vector<int> next(bucketPtr.begin(), bucketPtr.end() - 1);
        for (int v = 0; v < n; ++v) inBucket[next[hash[v]]++] = v;  // ascending within a bucket
    }
    // -- 2. Supervariables within the buckets --
    std::vector<int>& rep = hash;  // rep[v] = the first vertex of v's supervariable
    for (int v = 0; v < n; ++v) rep[v] = kNone;
    for (int b = 0; b < n; ++b)
        for (int p = bucketPtr[b]; p < bucketPtr[b + 1]; ++p)
        {
            const int v = inBucket[p];
            int compared = 0;
            for (int q = bucketPtr[b]; q < p && rep[v] == kNone && compared < kMaxComparisons; ++q)
            {
                const int u = inBucket[q];
                if (rep[u] != u || key[u] != key[v]) continue;
                ++compared;
                if (indistinguishable(g, u, v)) rep[v] = u;
            }
            if (rep[v] == kNone) rep[v] = v;
        }
    // -- 3. Supervariables by their first vertex; members ascending --
    std::vector<int>& id = inBucket;
    int m = 0;
    for (int v = 0; v < n; ++v) id[v] = rep[v] == v ? m++ : kNone;
    c.graph = &c.merged;
    if (m > (1.0 - kWorthMerging) * n)
    {
        c.graph = &g;
        for (int v = 0; v < n; ++v)
        {
            rep[v] = v;
            id[v] = v;
        }
        m = n;
    }
    c.memberPtr.assign(static_cast<std::size_t>(m) + 1, 0);
    for (int v = 0; v < n; ++v) ++c.memberPtr[id[rep[v]] + 1];
    for (int s = 0; s < m; ++s) c.memberPtr[s + 1] += c.memberPtr[s];
    c.weight.resize(m);
    for (int s = 0; s < m; ++s) c.weight[s] = c.memberPtr[s + 1] - c.memberPtr[s];
    c.members.resize(n);
    {
        std::vector<int> next(c.memberPtr.begin(), c.memberPtr.end() - 1);
        for (int v = 0; v < n; ++v) c.members[next[id[rep[v]]]++] = v;
    }
    if (c.graph == &g) return;
    PatternGraph& cg = c.merged;
    cg.n = m;
    cg.ptr.assign(static_cast<std::size_t>(m) + 1, 0);
    cg.adj.clear();
    cg.adj.reserve(g.adj.size());        // at most as many couplings as g
    std::vector<int>& mark = bucketPtr;  // mark[t] = the last supervariable that listed t
    for (int s = 0; s < m; ++s) mark[s] = kNone;
    for (int s = 0; s < m; ++s)
    {
        const int u = c.members[c.memberPtr[s]];
        const std::size_t begin = cg.adj.size();
        mark[s] = s;
        for (int p = g.ptr[u]; p < g.ptr[u + 1]; ++p)
        {
            const int t = id[rep[g.adj[p]]];
            if (mark[t] == s) continue;
            mark[t] = s;
            cg.adj.push_back(t);
        }
        std::sort(cg.adj.begin() + static_cast<std::ptrdiff_t>(begin), cg.adj.end());
        cg.ptr[s + 1] = static_cast<int>(cg.adj.size());
    }
}

// AMD with its default controls (dense rows: more than 10 sqrt(n) entries; aggressive
// absorption). The graph is sorted and free of duplicates, so AMD takes it as it is.
bool order_amd(const CompressedGraph& c, std::vector<int>& order)
{
    const PatternGraph& g = *c.graph;
    if (!natural_when_no_edges(c, order))
    {
        double control[AMD_CONTROL];
        double info[AMD_INFO];
        amd_defaults(control);
        const int status = amd_order(g.n, g.ptr.data(), g.adj.data(), order.data(), control, info);
        if (status != AMD_OK && status != AMD_OK_BUT_JUMBLED) return false;
    }
    return true;
}

// METIS_NodeND with its default options but its own compression (done above); its perm is our
// order (order[k] = the supervariable numbered k).
bool order_metis(const CompressedGraph& c, std::vector<int>& order)
{
    const PatternGraph& g = *c.graph;
    if (!natural_when_no_edges(c, order))
    {
        idx_t options[METIS_NOPTIONS];
        METIS_SetDefaultOptions(options);
        options[METIS_OPTION_NUMBERING] = 0;
        options[METIS_OPTION_COMPRESS] = 0;  // merged already: METIS's search would find nothing
        idx_t nvtxs = g.n;
        int status = METIS_ERROR;
        if constexpr (std::is_same_v<idx_t, int>)
        {
            std::vector<idx_t> iperm(static_cast<std::size_t>(g.n));
            // METIS takes non-const arrays but only reads the graph and the weights
            status = METIS_NodeND(
                &nvtxs, const_cast<idx_t*>(g.ptr.data()), const_cast<idx_t*>(g.adj.data()),
                const_cast<idx_t*>(c.weight.data()), options, order.data(), iperm.data());
        }
        else
        {
            std::vector<idx_t> xadj(g.ptr.begin(), g.ptr.end());
            std::vector<idx_t> adjncy(g.adj.begin(), g.adj.end());
            std::vector<idx_t> vwgt(c.weight.begin(), c.weight.end());
            std::vector<idx_t> wide(static_cast<std::size_t>(g.n)), iperm(wide.size());
            status = METIS_NodeND(&nvtxs, xadj.data(), adjncy.data(), vwgt.data(), options,
                                  wide.data(), iperm.data());
            for (int k = 0; k < g.n; ++k) order[k] = static_cast<int>(wide[k]);
        }
        if (status != METIS_OK) return false;
    }
    return true;
}

}  // namespace tarvel::detail
