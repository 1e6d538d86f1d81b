// The analysis of a symmetric pattern for the supernodal Cholesky: the entries and the graph of
// A, a fill-reducing ordering, the elimination tree in postorder, the column counts, relaxed
// supernodes, the row structure of every supernode, the value layout and where each entry of A
// lands in it (Y1-Y7 of detail/Symbolic.h).
//
// Steps:
//  1. Walk A's upper triangle (MatrixEntries.h): entryRow/entryCol (Y7) and the graph of A.
//  2. Order: natural, a labelling, AMD, METIS, or automatic (AMD; METIS as well when AMD's
//     factor is large and dense, the smaller factor kept).
//  3. Elimination tree, its postorder folded into the ordering, column counts (for AMD and
//     METIS on the compressed graph they ordered, then expanded to the unknowns).
//  4. Fundamental supernodes, then relaxed amalgamation.
//  5. Row structure of each supernode, value layout (Y4, Y5), counts and flops, and with it
//  6. the entry map (Y6).
#include "detail/EliminationTree.h"
#include "detail/MatrixEntries.h"
#include "detail/Symbolic.h"

#include <tarvel/platform/Assert.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>

namespace tarvel::direct
{

namespace
{

using detail::PatternGraph;

constexpr int kNone = -1;

// Relaxed amalgamation (C. Ashcraft, R. Grimes, The influence of relaxed supernode partitions
// on the multifrontal method, ACM TOMS 15(4), 1989): a child merges into its parent when the
// merged supernode has at most kRelaxAlways columns, or when the share of explicit zeros in the
// merged lower trapezoid stays below the bound of its size class.
constexpr int kRelaxAlways = 4;
constexpr int kRelaxSmall = 16;
constexpr double kZerosSmall = 0.8;
constexpr int kRelaxMedium = 48;
constexpr double kZerosMedium = 0.1;
constexpr double kZerosLarge = 0.05;

// orderAuto orders by AMD, and by METIS as well when AMD's factor is large and dense: more than
// kMetisFill times the entries of A's triangle, and more than kMetisDensity multiply-adds per
// factor entry (3-D meshes from about 10^4 unknowns, 2-D ones from about 10^6, where nested
// dissection saves from a fifth to three quarters of the work); the ordering with fewer factor
// entries is kept.
constexpr double kMetisFill = 5.0;
constexpr double kMetisDensity = 250.0;

// The graph of A and where its entries lie in the walk order: the coupling of u < v is entry
// upperEntry[u] + (q - upperBegin[u]) for the place q of v in u's list (its neighbours above u
// start at upperBegin[u], in the order of row u's cells); diagEntry[v] is the entry of the
// diagonal of v, kNone when it is not stored.
struct Pattern
{
    PatternGraph graph;
    std::vector<int> upperBegin, upperEntry, diagEntry;

    int coupling_entry(int u, int q) const { return upperEntry[u] + (q - upperBegin[u]); }
};

// Step 1: entryRow/entryCol in walk order, and the graph of A (every off-diagonal entry both
// ways). The walk gives vertex v's neighbours u < v before those u > v, each part ascending, so
// the lists come out strictly ascending. False when the graph exceeds int indexing.
bool read_pattern(const CSparseMatrix& A, int n, Symbolic& out, Pattern& pattern)
{
    std::vector<int>& rows = out.entryRow;
    std::vector<int>& cols = out.entryCol;
    std::size_t count = 0;  // counted first: the arrays are made once, at their size
    detail::for_each_upper_entry(A, n, [&](int, int, const CSparseMatrix::cell*) { ++count; });
    rows.resize(count);
    cols.resize(count);
    count = 0;
    detail::for_each_upper_entry(A, n,
                                 [&](int i, int j, const CSparseMatrix::cell*)
                                 {
                                     rows[count] = i;
                                     cols[count++] = j;
                                 });
    PatternGraph& g = pattern.graph;
    g.n = n;
    g.ptr.assign(static_cast<std::size_t>(n) + 1, 0);
    pattern.diagEntry.assign(n, kNone);
    pattern.upperEntry.assign(n, kNone);
    std::vector<int>& above = pattern.upperBegin;  // first the count of row v's couplings
    above.assign(n, 0);
    long long edges = 0;
    for (std::size_t t = 0; t < rows.size(); ++t)
        if (rows[t] != cols[t])
        {
            ++g.ptr[rows[t] + 1];
            ++g.ptr[cols[t] + 1];
            ++above[rows[t]];
            edges += 2;
        }
    if (edges > INT_MAX || rows.size() > static_cast<std::size_t>(INT_MAX)) return false;
    for (int v = 0; v < n; ++v)
    {
        g.ptr[v + 1] += g.ptr[v];
        above[v] = g.ptr[v + 1] - above[v];
    }
    g.adj.resize(static_cast<std::size_t>(edges));
    std::vector<int> next(g.ptr.begin(), g.ptr.end() - 1);
    for (std::size_t t = 0; t < rows.size(); ++t)
    {
        const int i = rows[t], j = cols[t];
        if (i == j)
        {
            pattern.diagEntry[i] = static_cast<int>(t);
            continue;
        }
        if (pattern.upperEntry[i] == kNone) pattern.upperEntry[i] = static_cast<int>(t);
        g.adj[next[i]++] = j;
        g.adj[next[j]++] = i;
    }
    return true;
}

// An ordering with its elimination tree: perm postordered (every subtree a run of consecutive
// pivots), parent and counts per pivot, the factor's entries and multiply-adds. While it orders
// a compressed graph, its pivots are supervariables and counts[k] is the column count of the
// first unknown of supervariable perm[k]; expand_tree then makes it one of the unknowns.
struct OrderedTree
{
    std::vector<int> perm, iperm, parent, counts;
    long long entries = 0;
    double flops = 0.0;
};

void invert(const std::vector<int>& perm, std::vector<int>& iperm)
{
    iperm.resize(perm.size());
    for (std::size_t k = 0; k < perm.size(); ++k) iperm[perm[k]] = static_cast<int>(k);
}

// Step 3: tree, postorder and counts of the ordering perm of h, whose vertex v stands for
// weight[v] indistinguishable unknowns (nullptr: h is the graph of the unknowns). Postordering
// renumbers the pivots without changing the factor's structure (an equivalent reordering,
// Davis sec. 4.3). The multiply-adds: column j with c_j entries costs c_j - 1 divisions of its
// sub-diagonal by the pivot plus (c_j - 1) c_j / 2 updates of the lower triangle it touches,
// sum_j (c_j - 1)(c_j + 2) / 2; a supervariable of w unknowns whose first column has c entries
// has columns of c, c - 1, ..., c - w + 1 entries (each integer term is exact in a double, so
// the sum does not depend on its order).
void analyse_ordering(const PatternGraph& h, const int* weight, std::vector<int> perm,
                      OrderedTree& t)
{
    const int n = h.n;
    std::vector<int> iperm, parent(n), post(n), work(4 * static_cast<std::size_t>(n));
    invert(perm, iperm);
    detail::elimination_tree(h, perm.data(), iperm.data(), parent.data(), work.data());
    detail::postorder(n, parent.data(), post.data(), work.data());
    std::vector<int>& ipost = work;  // ipost[old pivot] = new pivot
    for (int k = 0; k < n; ++k) ipost[post[k]] = k;
    t.perm.resize(n);
    t.parent.resize(n);
    for (int k = 0; k < n; ++k)
    {
        t.perm[k] = perm[post[k]];
        const int p = parent[post[k]];
        t.parent[k] = p == kNone ? kNone : ipost[p];
    }
    invert(t.perm, t.iperm);
    t.counts.resize(n);
    detail::column_counts(h, t.perm.data(), t.iperm.data(), t.parent.data(), weight,
                          t.counts.data(), work.data());
    t.entries = 0;
    t.flops = 0.0;
    for (int j = 0; j < n; ++j)
    {
        const int w = weight ? weight[t.perm[j]] : 1;
        for (int m = 0; m < w; ++m)
        {
            const double c = t.counts[j] - m;
            t.entries += t.counts[j] - m;
            t.flops += (c - 1.0) * (c + 2.0) / 2.0;
        }
    }
}

// The tree of a compressed graph's ordering made the tree of the unknowns: each supervariable's
// members take consecutive pivots in ascending order, each the parent of the next and the last
// a child of the first member of the supervariable's parent, their counts descending by one
// from the supervariable's (C. Ashcraft, Compressed graphs and the minimum degree algorithm,
// 1995). The result is the postordered tree of the expanded ordering.
void expand_tree(const detail::CompressedGraph& c, OrderedTree& t)
{
    if (c.graph != &c.merged) return;  // the graph was ordered as it is
    const int m = c.graph->n, n = static_cast<int>(c.members.size());
    std::vector<int> start(static_cast<std::size_t>(m) + 1);  // first pivot of each supervariable
    start[0] = 0;
    for (int k = 0; k < m; ++k) start[k + 1] = start[k] + c.weight[t.perm[k]];
    std::vector<int> perm(n), parent(n), counts(n);
    for (int k = 0; k < m; ++k)
    {
        const int s = t.perm[k];
        const int up = t.parent[k] == kNone ? kNone : start[t.parent[k]];
        for (int q = 0, j = start[k]; j < start[k + 1]; ++q, ++j)
        {
            perm[j] = c.members[c.memberPtr[s] + q];
            parent[j] = j + 1 < start[k + 1] ? j + 1 : up;
            counts[j] = t.counts[k] - q;
        }
    }
    t.perm = std::move(perm);
    t.parent = std::move(parent);
    t.counts = std::move(counts);
    invert(t.perm, t.iperm);
}

// Step 2 for a labelling: labels[dof] = pivot. Empty reason when it is a permutation.
CString perm_from_labels(const std::vector<int>* labels, int n, std::vector<int>& perm)
{
    char text[160];
    if (!labels || static_cast<long long>(labels->size()) != n)
    {
        std::snprintf(text, sizeof text, "the labelling has %lld labels for %d unknowns",
                      labels ? static_cast<long long>(labels->size()) : 0LL, n);
        return text;
    }
    perm.assign(n, kNone);
    for (int dof = 0; dof < n; ++dof)
    {
        const int label = (*labels)[dof];
        if (label < 0 || label >= n || perm[label] != kNone)
        {
            std::snprintf(text, sizeof text,
                          "the labelling is not a permutation: unknown %d has label %d", dof,
                          label);
            return text;
        }
        perm[label] = dof;
    }
    return CString();
}

// Step 2: the ordering asked for, analysed (step 3). Empty reason on success. AMD and METIS
// order the compressed graph, whose tree and counts stand for those of the unknowns: both
// candidates of the automatic choice are compared there, and only the one kept is expanded.
CString order_and_analyse(const PatternGraph& g, OrderingChoice choice,
                          const std::vector<int>* labels, std::size_t entriesOfA, OrderedTree& t)
{
    std::vector<int> perm;
    if (choice == OrderingChoice::natural || choice == OrderingChoice::labels)
    {
        if (choice == OrderingChoice::labels)
        {
            CString reason = perm_from_labels(labels, g.n, perm);
            if (!reason.IsEmpty()) return reason;
        }
        else
        {
            perm.resize(g.n);
            for (int k = 0; k < g.n; ++k) perm[k] = k;
        }
        analyse_ordering(g, nullptr, std::move(perm), t);
        return CString();
    }
    detail::CompressedGraph compressed;
    detail::compress_graph(g, compressed);
    const PatternGraph& h = *compressed.graph;
    const int* weight = &h == &compressed.merged ? compressed.weight.data() : nullptr;
    const bool metisFirst = choice == OrderingChoice::metis;
    if (!(metisFirst ? detail::order_metis(compressed, perm) : detail::order_amd(compressed, perm)))
        return "out of memory";
    analyse_ordering(h, weight, std::move(perm), t);
    const double entries = static_cast<double>(t.entries);
    if (choice == OrderingChoice::automatic &&
        entries > kMetisFill * static_cast<double>(entriesOfA) && t.flops > kMetisDensity * entries)
    {
        OrderedTree nd;
        if (!detail::order_metis(compressed, perm)) return "out of memory";
        analyse_ordering(h, weight, std::move(perm), nd);
        if (nd.entries < t.entries) t = std::move(nd);
    }
    expand_tree(compressed, t);
    return CString();
}

// Step 4: supernodes as runs of pivots, returned in superStart. A pivot j + 1 continues the
// fundamental supernode of j when j is its only child and its column is j's without row j
// (Liu, Ng, Peyton, On finding supernodes for sparse matrix computations, SIAM J. Matrix Anal.
// Appl. 14(1), 1993). Relaxed amalgamation then visits the fundamental supernodes from the last
// down and merges s into the group that starts at s + 1 when that group holds s's parent (so
// the columns stay consecutive) and the zeros allow it. rowsOut[s] = the rows of supernode s.
void find_supernodes(const OrderedTree& t, std::vector<int>& superStart,
                     std::vector<long long>& rowsOut)
{
    const int n = static_cast<int>(t.perm.size());
    std::vector<int> children(n, 0);
    for (int j = 0; j < n; ++j)
        if (t.parent[j] != kNone) ++children[t.parent[j]];
    // -- 4a. Fundamental supernodes: their first pivots start[s], superOf[pivot] --
    std::vector<int> start, superOf(n);
    for (int j = 0; j < n; ++j)
    {
        const bool continues =
            j > 0 && t.parent[j - 1] == j && children[j] == 1 && t.counts[j - 1] == t.counts[j] + 1;
        if (!continues) start.push_back(j);
        superOf[j] = static_cast<int>(start.size()) - 1;
    }
    const int nfund = static_cast<int>(start.size());
    start.push_back(n);
    // -- 4b. Relaxed amalgamation; a group is a run of fundamental supernodes, its columns,
    //        rows and zeros kept at its first one --
    std::vector<int> group(nfund);  // group[s] = s at a group's first supernode, else an earlier
                                    // supernode of its group (find compresses the chains)
    std::vector<int> cols(nfund);
    std::vector<long long> rows(nfund), zeros(nfund, 0);
    for (int s = 0; s < nfund; ++s)
    {
        group[s] = s;
        cols[s] = start[s + 1] - start[s];
        rows[s] = t.counts[start[s]];
    }
    auto find = [&](int s)
    {
        int r = s;
        while (group[r] != r) r = group[r];
        while (group[s] != r)
        {
            const int up = group[s];
            group[s] = r;
            s = up;
        }
        return r;
    };
    auto trapezoid = [](long long c, long long r) { return c * r - c * (c - 1) / 2; };
    for (int s = nfund - 2; s >= 0; --s)
    {
        const int lastParent = t.parent[start[s + 1] - 1];
        if (lastParent == kNone || find(superOf[lastParent]) != s + 1) continue;
        // s's rows below its pivots lie among g's pivots and rows: the merged supernode has
        // cols[s] + cols[g] columns and cols[s] + rows[g] rows
        const int g = s + 1;
        const long long c = cols[s] + cols[g];
        const long long r = cols[s] + rows[g];
        const long long total = trapezoid(c, r);
        const long long merged = total - (trapezoid(cols[s], rows[s]) - zeros[s]) -
                                 (trapezoid(cols[g], rows[g]) - zeros[g]);  // its zeros
        const double share = static_cast<double>(merged) / static_cast<double>(total);
        const bool merge = merged == zeros[s] + zeros[g] || c <= kRelaxAlways ||
                           (c <= kRelaxSmall && share < kZerosSmall) ||
                           (c <= kRelaxMedium && share < kZerosMedium) || share < kZerosLarge;
        if (!merge) continue;
        group[g] = s;
        cols[s] = static_cast<int>(c);
        rows[s] = r;
        zeros[s] = merged;
    }
    superStart.clear();
    rowsOut.clear();
    for (int s = 0; s < nfund; ++s)
        if (group[s] == s)
        {
            superStart.push_back(start[s]);
            rowsOut.push_back(rows[s]);
        }
    superStart.push_back(n);
}

// Steps 5 and 6: rows of every supernode (its pivots, then the rows of A's columns and of its
// children's rows below its last pivot, ascending), the value layout, counts and flops, and the
// entry map: the coupling of pivots j < i lands in column j's supernode at the row of i, found
// while that supernode's rows are scattered into position[].
void lay_out(const Pattern& pattern, const OrderedTree& t, const std::vector<long long>& nrows,
             Symbolic& out)
{
    const PatternGraph& g = pattern.graph;
    const int n = g.n;
    const int nsuper = out.nsuper;
    std::vector<int> superOf(n);
    for (int s = 0; s < nsuper; ++s)
        for (int j = out.superStart[s]; j < out.superStart[s + 1]; ++j) superOf[j] = s;
    out.superParent.resize(nsuper);
    std::vector<int> head(nsuper, kNone), next(nsuper, kNone);
    for (int s = nsuper - 1; s >= 0; --s)
    {
        const int p = t.parent[out.superStart[s + 1] - 1];
        out.superParent[s] = p == kNone ? kNone : superOf[p];
        if (p == kNone) continue;
        next[s] = head[superOf[p]];
        head[superOf[p]] = s;
    }
    out.rowPtr.resize(nsuper + 1);
    out.valuePtr.resize(nsuper + 1);
    out.rowPtr[0] = 0;
    out.valuePtr[0] = 0;
    out.storedEntries = 0;
    for (int s = 0; s < nsuper; ++s)
    {
        const long long c = out.ncols(s);
        out.rowPtr[s + 1] = out.rowPtr[s] + nrows[s];
        out.valuePtr[s + 1] = out.valuePtr[s] + c * nrows[s];
        out.storedEntries += c * nrows[s] - c * (c - 1) / 2;
    }
    out.rowInd.resize(static_cast<std::size_t>(out.rowPtr[nsuper]));
    out.entryMap.resize(out.entryRow.size());
    out.subtreeFlops.assign(nsuper, 0.0);
    std::vector<int>& mark = superOf;  // mark[i] = the last supernode that listed row i
    for (int i = 0; i < n; ++i) mark[i] = kNone;
    std::vector<int> positionOf(n);  // positionOf[i] = the place of row i in the current s
    for (int s = 0; s < nsuper; ++s)
    {
        const int first = out.superStart[s], last = out.superStart[s + 1] - 1;
        int* rows = out.rowInd.data() + out.rowPtr[s];
        long long end = 0;
        for (int j = first; j <= last; ++j) rows[end++] = j;
        // -- 5a. A's rows below the pivots, then the children's --
        for (int j = first; j <= last; ++j)
        {
            const int v = t.perm[j];
            for (int p = g.ptr[v]; p < g.ptr[v + 1]; ++p)
            {
                const int i = t.iperm[g.adj[p]];
                if (i > last && mark[i] != s)
                {
                    mark[i] = s;
                    rows[end++] = i;
                }
            }
        }
        for (int child = head[s]; child != kNone; child = next[child])
            for (long long p = out.rowPtr[child] + out.ncols(child); p < out.rowPtr[child + 1]; ++p)
            {
                const int i = out.rowInd[p];
                if (i > last && mark[i] != s)
                {
                    mark[i] = s;
                    rows[end++] = i;
                }
            }
        TARVEL_ASSERT(end == nrows[s], "AnalyzePattern: a supernode's rows differ from its count");
        std::sort(rows + (last - first + 1), rows + end);
        // -- 5b. The work at s on its stored trapezoid: local column c eliminates end - c - 1
        //        rows --
        const double r = static_cast<double>(end);
        double work = 0.0;
        for (int c = 0; c <= last - first; ++c) work += (r - c - 1.0) * (r - c + 2.0) / 2.0;
        out.subtreeFlops[s] += work;
        if (out.superParent[s] != kNone)
            out.subtreeFlops[out.superParent[s]] += out.subtreeFlops[s];
        // -- 6. The entries whose smaller pivot lies in s --
        for (long long p = 0; p < end; ++p) positionOf[rows[p]] = static_cast<int>(p);
        for (int j = first; j <= last; ++j)
        {
            const int v = t.perm[j];
            const long long column = out.valuePtr[s] + (j - first) * end;
            if (pattern.diagEntry[v] != kNone)
                out.entryMap[pattern.diagEntry[v]] = column + (j - first);
            for (int p = g.ptr[v]; p < g.ptr[v + 1]; ++p)
            {
                const int u = g.adj[p], i = t.iperm[u];
                if (i <= j) continue;
                int entry = 0;
                if (u > v)
                    entry = pattern.coupling_entry(v, p);
                else  // the coupling is a cell of row u: find v among u's upper neighbours
                {
                    const int* above = g.adj.data() + pattern.upperBegin[u];
                    const int* at = std::lower_bound(above, g.adj.data() + g.ptr[u + 1], v);
                    entry = pattern.coupling_entry(u, static_cast<int>(at - g.adj.data()));
                }
                out.entryMap[entry] = column + positionOf[i];
            }
        }
    }
}

bool analyse(const CSparseMatrix& A, OrderingChoice ordering, const std::vector<int>* labels,
             Symbolic& out, CString& failure)
{
    const int n = detail::analysed_order(A);
    out = Symbolic();
    out.n = n;
    // -- 1. Entries and graph --
    Pattern pattern;
    if (!read_pattern(A, n, out, pattern))
    {
        failure = "out of memory";
        return false;
    }
    // -- 2, 3. Ordering, tree, counts --
    OrderedTree t;
    failure = order_and_analyse(pattern.graph, ordering, labels, out.entryRow.size(), t);
    if (!failure.IsEmpty()) return false;
    out.factorEntries = t.entries;
    out.factorFlops = t.flops;
    // -- 4. Supernodes --
    std::vector<long long> nrows;
    find_supernodes(t, out.superStart, nrows);
    out.nsuper = static_cast<int>(out.superStart.size()) - 1;
    // -- 5, 6. Rows, layout, entry map --
    lay_out(pattern, t, nrows, out);
    out.perm = std::move(t.perm);
    out.iperm = std::move(t.iperm);
    return true;
}

}  // namespace

bool AnalyzePattern(const CSparseMatrix& A, OrderingChoice ordering, const std::vector<int>* labels,
                    Symbolic& out, CString& failure)
{
    failure = CString();
    try
    {
        if (analyse(A, ordering, labels, out, failure)) return true;
    }
    catch (const std::bad_alloc&)
    {
        failure = "out of memory";
    }
    out = Symbolic();
    return false;
}

}  // namespace tarvel::direct
