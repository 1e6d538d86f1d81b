// Symbolic Cholesky: elimination tree and factor row counts from the stored upper triangle.
//
// Notation: L = U^T, so row k of U is column k of L, and stored upper row j holds column j of
// A's lower triangle. parent(k) = min { j > k : l_jk != 0 } (the elimination tree).
//
// 1. Elimination tree (Liu): for k = 0, 1, ..., n - 1, for each i < k with a_ik stored, climb
//    from i along the ancestors already linked (path compression to k) to the root r of i's
//    current subtree and make k its parent. The entries of column k of the upper triangle are
//    met without a transposed copy: every row waits, in a bucket of the column of its next
//    entry right of the diagonal, until that column's turn.
// 2. Postorder of the tree, and for each node the first (smallest) postorder number in its
//    subtree.
// 3. Column counts of L (Gilbert, Ng, Peyton): |L_*j| is the number of row subtrees that hold
//    j. In postorder, each entry a_ij (i > j) whose j is a leaf of row subtree i adds 1 at j and
//    -1 at the least common ancestor of j and the previous leaf of that subtree; each non-root
//    node adds -1 at its parent. Summing these differences over each subtree gives the counts.
//
// References: J. W. H. Liu, The role of elimination trees in sparse factorization, SIAM J.
// Matrix Anal. Appl. 11 (1990) 134-172; J. R. Gilbert, E. G. Ng, B. W. Peyton, An efficient
// algorithm to compute row and column counts for sparse Cholesky factorization, SIAM J. Matrix
// Anal. Appl. 15 (1994) 1075-1091; T. A. Davis, Direct Methods for Sparse Linear Systems, SIAM
// 2006, ch. 4.
#include <tarvel/sparse/SymbolicCholesky.h>

#include <cstddef>
#include <new>
#include <vector>

namespace
{

using Cell = CSparseMatrix::cell;
using Row = CSparseMatrix::row;

constexpr int kNone = -1;

// The first stored entry of the chain from c on whose column lies in (k, n); null if none.
const Cell* next_coupling(const Cell* c, int k, int n)
{
    while (c && (c->m_nCol <= k || c->m_nCol >= n)) c = c->m_pNext;
    return c;
}

// -- 1. The elimination tree --
void elimination_tree(const std::vector<const Row*>& rows, int n, std::vector<int>& parent)
{
    std::vector<int> ancestor(static_cast<std::size_t>(n), kNone);
    std::vector<const Cell*> cursor(static_cast<std::size_t>(n), nullptr);
    std::vector<int> head(static_cast<std::size_t>(n), kNone), next(static_cast<std::size_t>(n));
    auto wait = [&](int i, const Cell* c)  // row i waits for the column of c
    {
        cursor[static_cast<std::size_t>(i)] = c;
        if (!c) return;
        next[static_cast<std::size_t>(i)] = head[static_cast<std::size_t>(c->m_nCol)];
        head[static_cast<std::size_t>(c->m_nCol)] = i;
    };
    for (int i = 0; i < n; ++i)
        if (const Row* r = rows[static_cast<std::size_t>(i)])
            wait(i, next_coupling(r->m_pFirstCell, i, n));
    for (int k = 0; k < n; ++k)
    {
        int i = head[static_cast<std::size_t>(k)];
        while (i != kNone)  // each i < k with a_ik stored, once
        {
            const int following = next[static_cast<std::size_t>(i)];
            for (int a = i; a != kNone && a < k;)  // climb to the root, compressing to k
            {
                const int up = ancestor[static_cast<std::size_t>(a)];
                ancestor[static_cast<std::size_t>(a)] = k;
                if (up == kNone) parent[static_cast<std::size_t>(a)] = k;
                a = up;
            }
            wait(i, next_coupling(cursor[static_cast<std::size_t>(i)]->m_pNext, i, n));
            i = following;
        }
    }
}

// -- 2. Postorder: post[p] is the node numbered p; children before parents, each subtree a run --
std::vector<int> postorder(const std::vector<int>& parent, int n)
{
    std::vector<int> head(static_cast<std::size_t>(n), kNone), next(static_cast<std::size_t>(n));
    for (int j = n - 1; j >= 0; --j)  // children listed in increasing order
    {
        const int p = parent[static_cast<std::size_t>(j)];
        if (p == kNone) continue;
        next[static_cast<std::size_t>(j)] = head[static_cast<std::size_t>(p)];
        head[static_cast<std::size_t>(p)] = j;
    }
    std::vector<int> post, stack;
    post.reserve(static_cast<std::size_t>(n));
    for (int root = 0; root < n; ++root)
    {
        if (parent[static_cast<std::size_t>(root)] != kNone) continue;
        stack.push_back(root);
        while (!stack.empty())
        {
            const int top = stack.back();
            const int child = head[static_cast<std::size_t>(top)];
            if (child == kNone)
            {
                stack.pop_back();
                post.push_back(top);
            }
            else
            {
                head[static_cast<std::size_t>(top)] = next[static_cast<std::size_t>(child)];
                stack.push_back(child);
            }
        }
    }
    return post;
}

// -- 3. Column counts of L by the row-subtree skeleton --
class ColumnCounts
{
public:
    explicit ColumnCounts(int n)
        : m_first(static_cast<std::size_t>(n), kNone),
          m_maxFirst(static_cast<std::size_t>(n), kNone),
          m_prevLeaf(static_cast<std::size_t>(n), kNone), m_ancestor(static_cast<std::size_t>(n))
    {
        for (int k = 0; k < n; ++k) m_ancestor[static_cast<std::size_t>(k)] = k;
    }

    // delta[j] summed over the subtree of j = |L_*j|, diagonal included.
    void count(const std::vector<const Row*>& rows, const std::vector<int>& parent,
               const std::vector<int>& post, std::vector<LONGLONG>& delta)
    {
        const int n = static_cast<int>(post.size());
        for (int p = 0; p < n; ++p)
        {
            int j = post[static_cast<std::size_t>(p)];
            delta[static_cast<std::size_t>(j)] =
                m_first[static_cast<std::size_t>(j)] == kNone;  // leaf
            for (; j != kNone && m_first[static_cast<std::size_t>(j)] == kNone;
                 j = parent[static_cast<std::size_t>(j)])
                m_first[static_cast<std::size_t>(j)] = p;
        }
        for (int p = 0; p < n; ++p)
        {
            const int j = post[static_cast<std::size_t>(p)];
            const int up = parent[static_cast<std::size_t>(j)];
            if (up != kNone) --delta[static_cast<std::size_t>(up)];
            if (const Row* r = rows[static_cast<std::size_t>(j)])
                for (const Cell* c = next_coupling(r->m_pFirstCell, j, n); c;
                     c = next_coupling(c->m_pNext, j, n))
                {
                    int q = kNone;
                    const int leaf = leaf_of(c->m_nCol, j, q);
                    if (leaf >= 1) ++delta[static_cast<std::size_t>(j)];  // l_ij in the skeleton
                    if (leaf == 2) --delta[static_cast<std::size_t>(q)];  // counted twice above q
                }
            if (up != kNone) m_ancestor[static_cast<std::size_t>(j)] = up;
        }
    }

private:
    // Whether j is a leaf of row subtree i (i > j, a_ij stored): 0 no, 1 its first leaf (q = i),
    // 2 a later leaf (q = the least common ancestor of j and the previous leaf).
    int leaf_of(int i, int j, int& q)
    {
        const std::size_t si = static_cast<std::size_t>(i);
        if (m_first[static_cast<std::size_t>(j)] <= m_maxFirst[si]) return 0;
        m_maxFirst[si] = m_first[static_cast<std::size_t>(j)];
        const int previous = m_prevLeaf[si];
        m_prevLeaf[si] = j;
        if (previous == kNone)
        {
            q = i;
            return 1;
        }
        for (q = previous; q != m_ancestor[static_cast<std::size_t>(q)];)
            q = m_ancestor[static_cast<std::size_t>(q)];
        for (int s = previous; s != q;)  // path compression
        {
            const int up = m_ancestor[static_cast<std::size_t>(s)];
            m_ancestor[static_cast<std::size_t>(s)] = q;
            s = up;
        }
        return 2;
    }

    std::vector<int> m_first, m_maxFirst, m_prevLeaf, m_ancestor;
};

LONGLONG factor_size(const CSparseMatrix& A, int* parentOut, int* countsOut)
{
    const int n = A.GetRows();
    if (n <= 0) return 0;
    std::vector<const Row*> rows(static_cast<std::size_t>(n), nullptr);
    for (const Row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        if (r->m_nRow >= 0 && r->m_nRow < n) rows[static_cast<std::size_t>(r->m_nRow)] = r;

    std::vector<int> parent(static_cast<std::size_t>(n), kNone);
    elimination_tree(rows, n, parent);
    const std::vector<int> post = postorder(parent, n);
    std::vector<LONGLONG> counts(static_cast<std::size_t>(n), 0);
    ColumnCounts(n).count(rows, parent, post, counts);
    LONGLONG total = 0;
    for (int j = 0; j < n; ++j)  // parent[j] > j: each child is summed before its parent
    {
        const int up = parent[static_cast<std::size_t>(j)];
        if (up != kNone)
            counts[static_cast<std::size_t>(up)] += counts[static_cast<std::size_t>(j)];
        total += counts[static_cast<std::size_t>(j)];
    }
    for (int j = 0; j < n; ++j)
    {
        if (parentOut) parentOut[j] = parent[static_cast<std::size_t>(j)];
        if (countsOut) countsOut[j] = static_cast<int>(counts[static_cast<std::size_t>(j)]);
    }
    return total;
}

}  // namespace

LONGLONG CholeskyFactorSize(const CSparseMatrix& A, int* parent, int* counts)
{
    try
    {
        return factor_size(A, parent, counts);
    }
    catch (const std::bad_alloc&)  // work space
    {
        return -1;
    }
}
