// The elimination tree, its postorder and the column counts of the factor.
#include "detail/EliminationTree.h"

namespace tarvel::detail
{

namespace
{
constexpr int kNone = -1;

// The weight of pivot k: that of its vertex, 1 without weights.
int weight_of(const int* weight, const int* perm, int k) { return weight ? weight[perm[k]] : 1; }
}  // namespace

// Liu's algorithm: pivot k walks up from every i < k with c_ik != 0 to the root of i's current
// subtree, which becomes a child of k; ancestor[] short-cuts the walks to O(nnz alpha).
void elimination_tree(const PatternGraph& g, const int* perm, const int* iperm, int* parent,
                      int* work)
{
    int* ancestor = work;
    for (int k = 0; k < g.n; ++k)
    {
        parent[k] = kNone;
        ancestor[k] = kNone;
        const int v = perm[k];
        for (int p = g.ptr[v]; p < g.ptr[v + 1]; ++p)
        {
            int i = iperm[g.adj[p]];
            while (i != kNone && i < k)  // invariant: the walk stays inside the tree of 0 .. k-1
            {
                const int next = ancestor[i];
                ancestor[i] = k;
                if (next == kNone) parent[i] = k;
                i = next;
            }
        }
    }
}

// Depth-first search on child lists built so that each list comes out ascending.
void postorder(int n, const int* parent, int* post, int* work)
{
    int* head = work;
    int* next = work + n;
    int* stack = work + 2 * n;
    for (int j = 0; j < n; ++j) head[j] = kNone;
    for (int j = n - 1; j >= 0; --j)  // pushed in descending order: lists ascend
    {
        if (parent[j] == kNone) continue;
        next[j] = head[parent[j]];
        head[parent[j]] = j;
    }
    int k = 0;
    for (int root = 0; root < n; ++root)
    {
        if (parent[root] != kNone) continue;
        int top = 0;
        stack[0] = root;
        while (top >= 0)
        {
            const int p = stack[top];
            const int child = head[p];
            if (child == kNone)
            {
                --top;
                post[k++] = p;  // every child of p is already numbered
            }
            else
            {
                head[p] = next[child];
                stack[++top] = child;
            }
        }
    }
}

// Column j of L is the union of the row subtrees that contain j; counts[j] = the weight of the
// row subtrees through j, its own included. With delta[j] = +w_j at each leaf j of the tree,
// +w_i at each leaf of row subtree i, -w_i at each least common ancestor of its consecutive
// leaves and -w_i at the parent of i (the edge counted once per subtree), counts[j] is the sum
// of delta over the subtree of j. With unit weights it is the number of entries of column j.
void column_counts(const PatternGraph& g, const int* perm, const int* iperm, const int* parent,
                   const int* weight, int* counts, int* work)
{
    const int n = g.n;
    int* first = work;             // first[j]: the smallest pivot in the subtree of j
    int* maxfirst = work + n;      // maxfirst[i]: the largest first[] of a leaf seen for row i
    int* prevleaf = work + 2 * n;  // prevleaf[i]: the last leaf found of row subtree i
    int* ancestor = work + 3 * n;  // disjoint-set forest of the pivots processed so far
    int* delta = counts;
    for (int j = 0; j < n; ++j)
    {
        first[j] = kNone;
        maxfirst[j] = kNone;
        prevleaf[j] = kNone;
        ancestor[j] = j;
    }
    // -- 1. First descendants; delta = 1 at the leaves of the tree --
    for (int k = 0; k < n; ++k)
    {
        // postorder: k is a leaf iff nothing reached it
        delta[k] = first[k] == kNone ? weight_of(weight, perm, k) : 0;
        for (int j = k; j != kNone && first[j] == kNone; j = parent[j]) first[j] = k;
    }
    // -- 2. Leaves of the row subtrees, in postorder --
    for (int j = 0; j < n; ++j)
    {
        const int v = perm[j];
        if (parent[j] != kNone) delta[parent[j]] -= weight_of(weight, perm, j);
        for (int p = g.ptr[v]; p < g.ptr[v + 1]; ++p)
        {
            const int i = iperm[g.adj[p]];
            // j is a leaf of row subtree i only if i > j and no earlier leaf of it lies in the
            // subtree of j
            if (i <= j || first[j] <= maxfirst[i]) continue;
            maxfirst[i] = first[j];
            const int jprev = prevleaf[i];
            const int wi = weight_of(weight, perm, i);
            prevleaf[i] = j;
            delta[j] += wi;
            if (jprev == kNone) continue;  // the first leaf of row subtree i
            int q = jprev;                 // q = lca(jprev, j): the root of jprev's set
            while (q != ancestor[q]) q = ancestor[q];
            for (int s = jprev; s != q;)
            {
                const int up = ancestor[s];
                ancestor[s] = q;  // path compression
                s = up;
            }
            delta[q] -= wi;
        }
        if (parent[j] != kNone) ancestor[j] = parent[j];
    }
    // -- 3. Sum delta over each subtree (children precede their parents) --
    for (int j = 0; j < n; ++j)
        if (parent[j] != kNone) counts[parent[j]] += counts[j];
}

}  // namespace tarvel::detail
