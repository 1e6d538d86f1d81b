// Minimum-degree reorderings: greedy labellings that pick one DOF after another by a key built
// from degrees and give it the next label (0, 1, 2, ... in the end).
//
// MinDegReorder, MinDegReorder2 and MinDegReorder3 park the negated remaining degree of an
// unlabelled DOF in its label (label <= 0) and give 1-based labels (label > 0), decreased by 1
// at the end. MinDegReorder4 eliminates DOFs in the graph as symbolic Gaussian elimination does
// (the lists become the elimination graph, restored afterwards) and gives 0-based labels
// directly, keeping unlabelled DOFs at the complement of their old label (< 0).
// References: A. George, J. W. H. Liu, Computer Solution of Large Sparse Positive Definite
// Systems, Prentice-Hall 1981, ch. 5 (minimum degree, elimination graphs).
//
// Fast kernels: the plain forms rescan every DOF for every label. The fast forms keep each
// DOF's key up to date when one of its inputs changes (found through the transposed lists) and
// pick the DOF from a tournament tree whose tie rule is the scan's, so the labels are the same.
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/Invariants.h>
#include <tarvel/reorder/detail/MinDegreeKernels.h>
#include <tarvel/reorder/detail/ReorderReports.h>
#include <tarvel/reorder/detail/ReorderSurroundings.h>
#include <tarvel/reorder/detail/ScriptFile.h>
#include <tarvel/reorder/detail/TournamentTree.h>
#include <tarvel/reorder/detail/Transpose.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

namespace tarvel::detail
{

namespace
{

constexpr int kOutOfPlay = INT_MAX;  // tree value of a labelled DOF in a smallest-first tree

using MinTree = TournamentTree<int, LeftmostMin>;

// Common start of the first three variants: label(i) = -length(i).
void set_negated_degrees(CReorderMat& g)
{
    for (int i = 0; i < g.m_nCount; ++i) g.m_pLabel[i] = -g.m_pLength[i];
}

// Common end of the first three variants: 1-based labels to 0-based.
void decrement_labels(CReorderMat& g)
{
    for (int i = 0; i < g.m_nCount; ++i) --g.m_pLabel[i];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// MinDegReorder: key(i) = max(0, max over unlabelled neighbours u of (-label(u) - k)).
// The remaining degrees are never updated; only the copy label(k) = label(chosen) changes them.

void MinDegreeKernels::min_degree_1_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* label = g.m_pLabel;
    ProgressReport progress("MinDegReorder", n);
    for (int k = 0; k < n - 1;)
    {
        progress.step(k);
        long bestKey = n + 2;
        int chosen = -1;
        for (int i = 0; i < n; ++i)
        {
            if (label[i] > 0) continue;
            long key = 0;
            for (int p = 0; p < g.m_pLength[i]; ++p)
            {
                const long u = g.m_ppData[i][p];
                if (label[u] <= 0) key = std::max(key, -label[u] - k);
            }
            if (key < bestKey)
            {
                bestKey = key;
                chosen = i;
            }
        }
        if (chosen < 0) break;  // unreachable: every key is below n + 2
        if (label[k] <= 0) label[k] = label[chosen];
        ++k;
        label[chosen] = k;
    }
    for (int i = 0; i < n; ++i)
        if (label[i] <= 0) label[i] = n;
    decrement_labels(g);
    progress.finish();
}

// With m(i) = max over unlabelled neighbours of -label(u) (-1 when there is none), key(i) =
// max(0, m(i) - k) is monotone in m(i) and clamps at 0. The scan's choice is therefore the
// lowest DOF with m(i) <= max(M, k), M the smallest m of an unlabelled DOF: the first DOF of
// key 0 when M <= k, else the first DOF with m(i) = M.
bool MinDegreeKernels::min_degree_1_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* label = g.m_pLabel;
    MinTree tree;
    std::unique_ptr<Transpose> T;
    try
    {
        T = std::make_unique<Transpose>(g);
        tree.assign(std::vector<int>(static_cast<size_t>(n), kOutOfPlay));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    auto max_unlabelled = [&](int i) {  // m(i)
        long m = -1;
        for (int p = 0; p < g.m_pLength[i]; ++p)
        {
            const long u = g.m_ppData[i][p];
            if (label[u] <= 0) m = std::max(m, -label[u]);
        }
        return static_cast<int>(m);
    };
    auto refresh_holders_of = [&](int j) {  // every unlabelled DOF whose list holds j
        for (int q = T->start[j]; q < T->start[j + 1]; ++q)
        {
            const int y = T->idx[q];
            if (label[y] <= 0) tree.set(y, max_unlabelled(y));
        }
    };

    for (int i = 0; i < n; ++i) tree.set(i, max_unlabelled(i));
    ProgressReport progress("MinDegReorder", n);
    for (int k = 0; k < n - 1;)
    {
        progress.step(k);
        const int chosen = tree.leftmost_at_most(std::max(tree.best(), k));
        const bool copied = label[k] <= 0 && k != chosen;
        if (copied) label[k] = label[chosen];
        const int step = k;
        ++k;
        label[chosen] = k;
        tree.set(chosen, kOutOfPlay);
        if (copied) refresh_holders_of(step);
        refresh_holders_of(chosen);
    }
    for (int i = 0; i < n; ++i)
        if (label[i] <= 0) label[i] = n;
    decrement_labels(g);
    progress.finish();
    return true;
}

// ---------------------------------------------------------------------------------------------
// MinDegReorder2: minimum remaining degree d = -label(i), no fill; ties to the lowest DOF; the
// scan stops early once it meets the lower bound `low`.

void MinDegreeKernels::min_degree_2_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    if (n < 1) return;
    long* label = g.m_pLabel;
    int low = g.m_pLength[0];
    int high = g.m_pLength[0];
    for (int i = 0; i < n; ++i)
    {
        const int d = g.m_pLength[i];
        if (d > high)
            high = d;
        else if (d < low)
            low = d;
    }
    ProgressReport progress("MinDegReorder2", n);
    for (int k = 0; k < n; ++k)
    {
        progress.step(k);
        long best = high + 1;
        int chosen = -1;
        for (int i = 0; i < n; ++i)
        {
            const long d = -label[i];
            if (d < 0 || d >= best) continue;
            best = d;
            chosen = i;
            if (best == low) break;  // no remaining degree is below low
        }
        for (int p = 0; p < g.m_pLength[chosen]; ++p)
        {
            const long u = g.m_ppData[chosen][p];
            if (label[u] < 0) ++label[u];
        }
        low = best - 1 > 0 ? static_cast<int>(best - 1) : 0;
        label[chosen] = k + 1;
    }
    decrement_labels(g);
    progress.finish();
}

// The scan returns the first DOF of degree low when the first DOF of degree <= low has degree
// exactly low (the early stop), and the first DOF of the smallest degree otherwise. For a graph
// built by InsertDOFs low never exceeds the smallest degree, so this is plain minimum degree;
// the rule above also covers lists with repeated entries.
bool MinDegreeKernels::min_degree_2_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    if (n < 1) return true;
    long* label = g.m_pLabel;
    MinTree tree;
    try
    {
        tree.assign(std::vector<int>(g.m_pLength, g.m_pLength + n));  // degrees = -labels
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    int low = g.m_pLength[0];
    for (int i = 0; i < n; ++i) low = std::min(low, g.m_pLength[i]);
    ProgressReport progress("MinDegReorder2", n);
    for (int k = 0; k < n; ++k)
    {
        progress.step(k);
        const int first = tree.leftmost_at_most(low);
        const int chosen = (first >= 0 && tree.value(first) == low) ? first : tree.winner();
        const int best = tree.value(chosen);
        for (int p = 0; p < g.m_pLength[chosen]; ++p)
        {
            const long u = g.m_ppData[chosen][p];
            if (label[u] < 0) tree.set(static_cast<int>(u), static_cast<int>(-++label[u]));
        }
        low = best - 1 > 0 ? best - 1 : 0;
        label[chosen] = k + 1;
        tree.set(chosen, kOutOfPlay);
    }
    decrement_labels(g);
    progress.finish();
    return true;
}

// ---------------------------------------------------------------------------------------------
// MinDegReorder3: key(i) = max(|hi - k|, |k - lo|), hi and lo the largest and smallest DOF
// numbers among the neighbours of i whose label is negative (hi = 0, lo = n when none).

namespace
{

struct Spread
{
    long hi;
    long lo;
};

Spread active_spread(const CReorderMat& g, int i)
{
    Spread s{0, g.m_nCount};
    for (int p = 0; p < g.m_pLength[i]; ++p)
    {
        const long u = g.m_ppData[i][p];
        if (g.m_pLabel[u] < 0)
        {
            s.hi = std::max(s.hi, u);
            s.lo = std::min(s.lo, u);
        }
    }
    return s;
}

long spread_key(const Spread& s, long k)
{
    return std::max(std::labs(s.hi - k), std::labs(k - s.lo));
}

}  // namespace

void MinDegreeKernels::min_degree_3_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* label = g.m_pLabel;
    ProgressReport progress("MinDegReorder3", n);
    for (int k = 0; k < n; ++k)
    {
        progress.step(k);
        long best = n + 2;
        int chosen = -1;
        for (int i = 0; i < n; ++i)
        {
            if (label[i] > 0) continue;
            const long key = spread_key(active_spread(g, i), k);
            if (key < best)
            {
                best = key;
                chosen = i;
            }
        }
        for (int p = 0; p < g.m_pLength[chosen]; ++p)
        {
            const long u = g.m_ppData[chosen][p];
            if (label[u] < 0) ++label[u];
        }
        label[chosen] = k + 1;
    }
    decrement_labels(g);
    progress.finish();
}

// hi and lo of a DOF change only when a DOF of its list stops having a negative label (its
// remaining degree reaches 0, or it is chosen); each list is kept sorted by DOF number with two
// cursors that only move inwards, so all refreshes together cost O(entries). With lo <= hi the
// key is max(hi - k, k - lo): hi - k while hi + lo >= 2k, k - lo afterwards. The unlabelled
// DOFs are held in three trees: group A (hi + lo >= 2k, ordered by hi), group B (hi + lo < 2k,
// ordered by -lo) and the DOFs without active neighbours (key max(k, n - k) for all of them).
// As k grows, a DOF passes from A to B once per spread, found through buckets by hi + lo. The
// choice is the smallest (key, DOF) of the three tree winners: the scan's first smallest key.
// O(entries log n) in all.
bool MinDegreeKernels::min_degree_3_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* label = g.m_pLabel;
    std::unique_ptr<Transpose> T;
    std::vector<int> start, sorted, loAt, hiAt;
    std::vector<long long> sumOf;  // hi + lo of every DOF filed in a group, -1 otherwise
    std::vector<int> retired;
    std::vector<int> head;                     // head[s]: last entry filed with hi + lo = s
    std::vector<std::pair<int, int>> entries;  // (DOF, previous entry of its bucket)
    MinTree byHi, byLo, isolated;
    try
    {
        T = std::make_unique<Transpose>(g);
        start.assign(static_cast<size_t>(n) + 1, 0);
        for (int i = 0; i < n; ++i) start[i + 1] = start[i] + g.m_pLength[i];
        sorted.resize(static_cast<size_t>(start[n]));
        for (int i = 0; i < n; ++i)
        {
            std::copy(g.m_ppData[i], g.m_ppData[i] + g.m_pLength[i], sorted.begin() + start[i]);
            std::sort(sorted.begin() + start[i], sorted.begin() + start[i + 1]);
        }
        loAt.assign(start.begin(), start.end() - 1);
        hiAt.assign(start.begin() + 1, start.end());  // one past the upper cursor
        sumOf.assign(static_cast<size_t>(n), -1);
        head.assign(2 * static_cast<size_t>(n) + 1, -1);
        // One entry per placement: n at the start, then at most one per list entry.
        entries.reserve(static_cast<size_t>(n) + static_cast<size_t>(start[n]));
        retired.reserve(static_cast<size_t>(n));
        const std::vector<int> none(static_cast<size_t>(n), kOutOfPlay);
        byHi.assign(none);
        byLo.assign(none);
        isolated.assign(none);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    // Moves the cursors of i past inactive entries and files i in its tree for step k.
    auto place = [&](int i, int k)
    {
        while (loAt[i] < hiAt[i] && label[sorted[loAt[i]]] >= 0) ++loAt[i];
        while (hiAt[i] > loAt[i] && label[sorted[hiAt[i] - 1]] >= 0) --hiAt[i];
        const bool wasA = byHi.value(i) != kOutOfPlay;
        if (loAt[i] == hiAt[i])
        {
            sumOf[i] = -1;
            byHi.set(i, kOutOfPlay);
            byLo.set(i, kOutOfPlay);
            isolated.set(i, 0);
            return;
        }
        const int lo = sorted[loAt[i]];
        const int hi = sorted[hiAt[i] - 1];
        const long long s = static_cast<long long>(lo) + hi;
        if (s >= 2 * static_cast<long long>(k))
        {
            if (!wasA || s != sumOf[i])
            {
                entries.emplace_back(i, head[s]);
                head[s] = static_cast<int>(entries.size()) - 1;
            }
            byHi.set(i, hi);
            byLo.set(i, kOutOfPlay);
        }
        else
        {
            byHi.set(i, kOutOfPlay);
            byLo.set(i, -lo);
        }
        sumOf[i] = s;
    };
    for (int i = 0; i < n; ++i) place(i, 0);
    ProgressReport progress("MinDegReorder3", n);
    for (int k = 0; k < n; ++k)
    {
        progress.step(k);
        const long long twiceK = 2 * static_cast<long long>(k);
        for (long long s = std::max(0LL, twiceK - 2); s < twiceK; ++s)  // middles k has passed
        {
            for (int e = head[s]; e >= 0; e = entries[e].second)
            {
                const int i = entries[e].first;
                if (sumOf[i] != s || byHi.value(i) == kOutOfPlay) continue;
                byHi.set(i, kOutOfPlay);
                byLo.set(i, -sorted[loAt[i]]);
            }
            head[s] = -1;
        }
        long bestKey = LONG_MAX;
        int chosen = n;
        auto offer = [&](const MinTree& tree, long key)
        {
            const int i = tree.winner();
            if (tree.best() == kOutOfPlay) return;
            if (key < bestKey || (key == bestKey && i < chosen))
            {
                bestKey = key;
                chosen = i;
            }
        };
        offer(byHi, long{byHi.best()} - k);
        offer(byLo, long{k} + byLo.best());
        offer(isolated, std::max(k, n - k));
        byHi.set(chosen, kOutOfPlay);
        byLo.set(chosen, kOutOfPlay);
        isolated.set(chosen, kOutOfPlay);
        retired.clear();
        if (label[chosen] < 0) retired.push_back(chosen);
        for (int p = 0; p < g.m_pLength[chosen]; ++p)
        {
            const long u = g.m_ppData[chosen][p];
            if (label[u] < 0 && ++label[u] == 0) retired.push_back(static_cast<int>(u));
        }
        label[chosen] = k + 1;
        for (int x : retired)
            for (int q = T->start[x]; q < T->start[x + 1]; ++q)
                if (label[T->idx[q]] <= 0) place(T->idx[q], k + 1);
    }
    decrement_labels(g);
    progress.finish();
    return true;
}

// ---------------------------------------------------------------------------------------------
// MinDegReorder4: elimination chains. Unlabelled DOFs have negative labels; labels are 0-based.

bool MinDegreeKernels::min_degree_4_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    const long* labelArr = g.m_pLabel;
    int label = 0;
    int slack = 0;
    ProgressReport progress("MinDegReorder4", n);
    while (label < n)
    {
        progress.step(label);
        // Start DOF: smallest current length, ties to the first; slack = the gap to the next
        // smallest length seen by the scan.
        int m = n;
        int start = -1;
        int firstUnlabelled = -1;
        for (int i = 0; i < n; ++i)
        {
            if (labelArr[i] >= 0) continue;
            if (firstUnlabelled < 0) firstUnlabelled = i;
            const int L = g.m_pLength[i];
            if (L < m)
            {
                slack = m - L;
                m = L;
                start = i;
            }
            else
            {
                slack = std::min(slack, L - m);
            }
        }
        if (start < 0) start = firstUnlabelled;
        if (g.SetLabels(start, label, slack) < 0) return false;
        ++label;
    }
    progress.finish();
    return true;
}

namespace
{

// The list of p becomes (p's list without i) + (i's entries that are neither p nor in p's old
// list, in_old_p telling membership); -1, list unchanged, when the new list cannot be allocated.
template <class InOldP> int replace_by_union(CReorderMat& g, int p, int i, InOldP in_old_p)
{
    const long* lp = g.m_ppData[p];
    const long* li = g.m_ppData[i];
    const int Lp = g.m_pLength[p];
    const int Li = g.m_pLength[i];
    int kept = 0;
    for (int q = 0; q < Lp; ++q)
        if (lp[q] != i) ++kept;
    int added = 0;
    for (int q = 0; q < Li; ++q)
        if (li[q] != p && !in_old_p(li[q])) ++added;
    const int newLen = kept + added;
    long* merged = nullptr;
    if (newLen > 0)
    {
        merged = new (std::nothrow) long[static_cast<size_t>(newLen)];
        if (merged == nullptr) return -1;
        long* out = merged;
        for (int q = 0; q < Lp; ++q)
            if (lp[q] != i) *out++ = lp[q];
        for (int q = 0; q < Li; ++q)
            if (li[q] != p && !in_old_p(li[q])) *out++ = li[q];
    }
    delete[] g.m_ppData[p];
    g.m_ppData[p] = merged;
    g.m_pLength[p] = newLen;
    return newLen;
}

}  // namespace

// UnionAdj_Ex_p_i in place: one pass over p's list marks its entries (mark[e] == stamp) and
// closes the gap left by i, one pass over i's list appends the unmarked ones. The list grows
// into spare room (capacity[p], doubled when short), so a merge costs O(length(p) +
// length(i)) and allocates only now and then; an emptied list keeps its storage. -1, list
// unchanged, when it cannot grow.
int MinDegreeKernels::union_marked(CReorderMat& g, int p, int i, std::vector<unsigned>& mark,
                                   unsigned& stamp, std::vector<int>& capacity)
{
    if (++stamp == 0)  // wrapped: old marks could collide
    {
        std::fill(mark.begin(), mark.end(), 0u);
        stamp = 1;
    }
    const int Li = g.m_pLength[i];
    int Lp = g.m_pLength[p];
    if (static_cast<long long>(Lp) + Li > capacity[p])
    {
        const long long wanted = std::max(static_cast<long long>(Lp) + Li, 2LL * capacity[p]);
        const int grown = static_cast<int>(std::min<long long>(wanted, INT_MAX));
        long* bigger = new (std::nothrow) long[static_cast<size_t>(grown)];
        if (bigger == nullptr) return -1;
        std::copy(g.m_ppData[p], g.m_ppData[p] + Lp, bigger);
        delete[] g.m_ppData[p];
        g.m_ppData[p] = bigger;
        capacity[p] = grown;
    }
    long* lp = g.m_ppData[p];
    int kept = 0;
    for (int q = 0; q < Lp; ++q)
    {
        mark[lp[q]] = stamp;
        if (lp[q] != i) lp[kept++] = lp[q];
    }
    const long* li = g.m_ppData[i];
    for (int q = 0; q < Li; ++q)
        if (li[q] != p && mark[li[q]] != stamp) lp[kept++] = li[q];
    g.m_pLength[p] = kept;
    return kept;
}

// Start DOF from a tree of the current lengths: with M the smallest length (first DOF j*),
// the scan's slack is min(n, smallest length of another unlabelled DOF) - M. The chains are
// those of SetLabels, with the marked union.
int MinDegreeKernels::min_degree_4_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* labelArr = g.m_pLabel;
    MinTree tree;
    std::vector<unsigned> mark;
    std::vector<int> capacity;  // known room of every list
    try
    {
        capacity.assign(g.m_pLength, g.m_pLength + n);
        std::vector<int> length(static_cast<size_t>(n), kOutOfPlay);
        for (int i = 0; i < n; ++i)
            if (labelArr[i] < 0) length[i] = g.m_pLength[i];
        tree.assign(length);
        mark.assign(static_cast<size_t>(n), 0u);
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
    unsigned stamp = 0;
    int label = 0;
    int slack = 0;
    ProgressReport progress("MinDegReorder4", n);
    while (label < n)
    {
        progress.step(label);
        int v;
        const int M = tree.best();
        if (M < n)
        {
            v = tree.winner();
            tree.set(v, kOutOfPlay);
            const int second = tree.best();
            tree.set(v, M);
            slack = std::min(n, second) - M;
        }
        else  // no length below n (lists with repeated entries only)
        {
            slack = std::min(slack, M - n);
            v = tree.leftmost_at_most(kOutOfPlay - 1);
        }
        for (;;)  // one chain (SetLabels)
        {
            labelArr[v] = label;
            tree.set(v, kOutOfPlay);
            int limit = g.m_pLength[v] + slack + 1;
            int next = -1;
            for (int q = 0; q < g.m_pLength[v]; ++q)
            {
                const int u = static_cast<int>(g.m_ppData[v][q]);
                if (labelArr[u] >= 0) continue;
                const int d = union_marked(g, u, v, mark, stamp, capacity);
                if (d < 0) return -1;
                tree.set(u, d);
                if (d < limit)
                {
                    limit = d;
                    next = u;
                }
            }
            if (next < 0) break;
            ++label;
            v = next;
        }
        ++label;
    }
    progress.finish();
    return 1;
}

}  // namespace tarvel::detail

using tarvel::detail::MinDegreeKernels;
using tarvel::detail::ReorderPath;

// ---------------------------------------------------------------------------------------------
// Members

int CReorderMat::UnionAdj_Ex_p_i(int p, int i)
{
    const long* lp = m_ppData[p];
    const int Lp = m_pLength[p];
    return tarvel::detail::replace_by_union(*this, p, i,
                                            [&](long e)
                                            {
                                                for (int q = 0; q < Lp; ++q)
                                                    if (lp[q] == e) return true;
                                                return false;
                                            });
}

// One chain: label v, eliminate it into every unlabelled neighbour, continue with the neighbour
// whose new degree is smallest (ties to the first in v's list) while that degree is below
// length(v) + slack + 1. A loop, so the chain length costs no stack.
int CReorderMat::SetLabels(int v, int& label, int slack)
{
    for (;;)
    {
        m_pLabel[v] = label;
        int limit = m_pLength[v] + slack + 1;
        int next = -1;
        for (int q = 0; q < m_pLength[v]; ++q)
        {
            const int u = static_cast<int>(m_ppData[v][q]);
            if (m_pLabel[u] >= 0) continue;
            const int d = CReorderMat::UnionAdj_Ex_p_i(u, v);
            if (d < 0) return -1;
            if (d < limit)
            {
                limit = d;
                next = u;
            }
        }
        if (next < 0) return limit;
        ++label;
        v = next;
    }
}

void CReorderMat::MinDegReorder(CFile* file)
{
    if (file != nullptr) MatlabWrite(file, "before");
    tarvel::detail::set_negated_degrees(*this);
    const long start = TarvelClock();
    if (tarvel::detail::reorder_path() != ReorderPath::fast ||
        !MinDegreeKernels::min_degree_1_fast(*this))
        MinDegreeKernels::min_degree_1_plain(*this);
    TARVEL_ASSERT(tarvel::detail::labels_are_permutation(*this),
                  "CReorderMat::MinDegReorder: the labels are not a permutation (G3)");
    const long ticks = TarvelClock() - start;
    if (file != nullptr)
    {
        MatlabWrite(file, "after");
        tarvel::detail::write_text(*file, tarvel::detail::kTrailerSymmmd);
    }
    tarvel::detail::show_short_report(ticks);
}

namespace
{

// Frame of MinDegReorder2 and MinDegReorder3: script file, "before", labelling, "after",
// trailer, close, short report (the labelling runs whether or not there is a script).
void run_min_degree(CReorderMat& g, bool (*fast)(CReorderMat&), void (*plain)(CReorderMat&))
{
    tarvel::detail::ScriptFile script;
    script.block(g, "before");
    const long start = TarvelClock();
    tarvel::detail::set_negated_degrees(g);
    if (tarvel::detail::reorder_path() != ReorderPath::fast || !fast(g)) plain(g);
    TARVEL_ASSERT(tarvel::detail::labels_are_permutation(g),
                  "CReorderMat::MinDegReorder2/3: the labels are not a permutation (G3)");
    const long ticks = TarvelClock() - start;
    script.block(g, "after");
    script.text(tarvel::detail::kTrailerSymmmd);
    script.commit();
    tarvel::detail::show_short_report(ticks);
}

}  // namespace

void CReorderMat::MinDegReorder2()
{
    run_min_degree(*this, MinDegreeKernels::min_degree_2_fast,
                   MinDegreeKernels::min_degree_2_plain);
}

void CReorderMat::MinDegReorder3()
{
    run_min_degree(*this, MinDegreeKernels::min_degree_3_fast,
                   MinDegreeKernels::min_degree_3_plain);
}

void CReorderMat::MinDegReorder4()
{
    const int n = m_nCount;
    // 1. Save the lists (exact lengths) and the labels, so that both can be given back.
    CArrayArray<long> saved;
    if (saved.Copy(*this) != n) return;
    std::unique_ptr<long[]> savedLabels(n > 0 ? new (std::nothrow) long[static_cast<size_t>(n)]
                                              : nullptr);
    if (n > 0 && savedLabels == nullptr) return;
    std::copy(m_pLabel, m_pLabel + n, savedLabels.get());
    // 2.-3. Script file, "before", clock.
    tarvel::detail::ScriptFile script;
    script.block(*this, "before");
    const long start = TarvelClock();
    // 4. Every DOF unlabelled: label(i) = -1 - label(i) < 0.
    for (int i = 0; i < n; ++i) m_pLabel[i] = ~m_pLabel[i];
    // 5. Chains.
    bool done;
    int fast = 0;
    if (tarvel::detail::reorder_path() == ReorderPath::fast)
        fast = MinDegreeKernels::min_degree_4_fast(*this);
    done = fast == 0 ? MinDegreeKernels::min_degree_4_plain(*this) : fast > 0;
    // 6. Lists back from the saved arrays (the merged ones are freed with `saved`).
    std::swap(m_ppData, saved.m_ppData);
    std::swap(m_pLength, saved.m_pLength);
    if (!done) std::copy(savedLabels.get(), savedLabels.get() + n, m_pLabel);
    TARVEL_ASSERT(tarvel::detail::labels_are_permutation(*this),
                  "CReorderMat::MinDegReorder4: the labels are not a permutation (G3)");
    const long ticks = TarvelClock() - start;
    script.block(*this, "after");
    script.text(tarvel::detail::kTrailerSymmmd);
    script.commit();
    tarvel::detail::show_short_report(ticks);
}

// ---------------------------------------------------------------------------------------------
// The sparse matrix's minimum-degree member leaves the matrix and v as they are: the
// reorderings work on the degree-of-freedom graph (CReorderMat) above. Its include stands
// here, beside the one definition that needs it.
#include <tarvel/sparse/SparseMatrix.h>

void CSparseMatrix::MinDegReorder(CVector&) {}
