// Profile reductions that number the DOFs front to back in one sweep per connected component:
// reverse Cuthill-McKee and Sloan's algorithm; and a local search (exchanges and shifts of
// nearby labels) that lowers the envelope of their labellings further. Both sweeps start from
// pseudo-peripheral DOFs found by rooted level structures (breadth-first searches), so each
// costs O(entries log n); the local search reads a bounded number of list entries per entry.
//
// Components are taken in the order of their lowest DOF number and receive consecutive labels.
// Degrees are list lengths. Every choice between equal keys goes to the lower DOF number.
//
// References:
//  - E. Cuthill, J. McKee, Reducing the bandwidth of sparse symmetric matrices, Proc. 24th ACM
//    National Conference, 1969; A. George, J. W. H. Liu, Computer Solution of Large Sparse
//    Positive Definite Systems, Prentice-Hall 1981, ch. 4 (reversal, pseudo-peripheral nodes).
//  - S. W. Sloan, An algorithm for profile and wavefront reduction of sparse matrices, Int. J.
//    Numer. Meth. Engng 23, 1986, 239-251; A FORTRAN program for profile and wavefront
//    reduction, Int. J. Numer. Meth. Engng 28, 1989, 2651-2679 (shrinking of the last level,
//    priorities, weights); I. S. Duff, J. K. Reid, J. A. Scott, The use of profile reduction
//    algorithms with a frontal code, Int. J. Numer. Meth. Engng 28, 1989, 2555-2568 (one
//    candidate end node per degree).
//  - W. W. Hager, Minimizing the profile of a symmetric matrix, SIAM J. Sci. Comput. 23(5),
//    2002 (improving a labelling by exchanges that lower the profile).
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/GraphMeasures.h>
#include <tarvel/reorder/detail/PercentageFrame.h>
#include <tarvel/reorder/detail/ProfileKernels.h>
#include <tarvel/reorder/detail/TournamentTree.h>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>
#include <vector>

namespace tarvel::detail
{

namespace
{

// Breadth-first level structures over the DOFs not yet numbered, with a visit stamp per DOF so
// that a search costs only the component it covers.
class Levels
{
public:
    explicit Levels(const CReorderMat& g)
        : m_g(g), m_seen(static_cast<size_t>(g.m_nCount), 0), m_level(m_seen.size(), 0)
    {
        m_order.reserve(m_seen.size());
    }

    // The rooted level structure of root over the DOFs for which skip(i) is false. Stops early
    // (returns false) as soon as a level holds widthLimit DOFs or more.
    template <class Skip> bool build(int root, Skip skip, int widthLimit = INT_MAX)
    {
        ++m_stamp;
        m_order.assign(1, root);
        m_levelStart.assign(1, 0);
        m_seen[root] = m_stamp;
        m_level[root] = 0;
        m_width = 1;
        if (m_width >= widthLimit) return false;
        for (size_t begin = 0;;)
        {
            const size_t end = m_order.size();
            for (size_t h = begin; h < end; ++h)
            {
                const int v = m_order[h];
                for (int p = 0; p < m_g.m_pLength[v]; ++p)
                {
                    const int u = static_cast<int>(m_g.m_ppData[v][p]);
                    if (m_seen[u] == m_stamp || skip(u)) continue;
                    m_seen[u] = m_stamp;
                    m_level[u] = m_level[v] + 1;
                    m_order.push_back(u);
                }
            }
            const int w = static_cast<int>(m_order.size() - end);
            if (w == 0) return true;
            if (w >= widthLimit) return false;
            m_width = std::max(m_width, w);
            m_levelStart.push_back(static_cast<int>(end));
            begin = end;
        }
    }

    int depth() const { return static_cast<int>(m_levelStart.size()) - 1; }
    int width() const { return m_width; }
    const std::vector<int>& order() const { return m_order; }  // by level
    int level(int i) const { return m_level[i]; }
    // The DOFs of the last level.
    std::vector<int> last_level() const
    {
        return std::vector<int>(m_order.begin() + m_levelStart.back(), m_order.end());
    }

private:
    const CReorderMat& m_g;
    std::vector<unsigned> m_seen;
    std::vector<int> m_level;
    std::vector<int> m_order;
    std::vector<int> m_levelStart;  // position in m_order of each level's first DOF
    unsigned m_stamp = 0;
    int m_width = 0;
};

// Smallest degree, ties to the lower DOF number.
int lowest_degree(const CReorderMat& g, const std::vector<int>& dofs)
{
    int best = dofs.front();
    for (int v : dofs)
        if (g.m_pLength[v] < g.m_pLength[best] || (g.m_pLength[v] == g.m_pLength[best] && v < best))
            best = v;
    return best;
}

// George-Liu: from r, root again at a DOF of smallest degree in the last level while that
// deepens the structure.
template <class Skip> int george_liu(const CReorderMat& g, Levels& levels, int r, Skip skip)
{
    levels.build(r, skip);
    for (;;)
    {
        const int depth = levels.depth();
        const int x = lowest_degree(g, levels.last_level());
        levels.build(x, skip);
        if (levels.depth() <= depth) return r;
        r = x;
    }
}

}  // namespace

// Cuthill-McKee sequence of every component, then labels in reverse.
bool ProfileKernels::rev_cuthill_mckee(const CReorderMat& g, std::vector<long>& label)
{
    const int n = g.m_nCount;
    std::vector<int> sequence;
    std::vector<char> placed;
    std::vector<int> fresh;
    try
    {
        label.resize(static_cast<size_t>(n));
        Levels levels(g);
        sequence.reserve(static_cast<size_t>(n));
        placed.assign(static_cast<size_t>(n), 0);
        auto skip = [&](int u) { return placed[u] != 0; };
        for (int c = 0; c < n; ++c)
        {
            if (placed[c]) continue;
            levels.build(c, skip);
            const int root = george_liu(g, levels, lowest_degree(g, levels.order()), skip);
            size_t head = sequence.size();
            sequence.push_back(root);
            placed[root] = 1;
            for (; head < sequence.size(); ++head)
            {
                const int v = sequence[head];
                fresh.clear();
                for (int p = 0; p < g.m_pLength[v]; ++p)
                {
                    const int u = static_cast<int>(g.m_ppData[v][p]);
                    if (placed[u]) continue;
                    placed[u] = 1;
                    fresh.push_back(u);
                }
                std::sort(fresh.begin(), fresh.end(),
                          [&](int a, int b) {
                              return g.m_pLength[a] != g.m_pLength[b]
                                         ? g.m_pLength[a] < g.m_pLength[b]
                                         : a < b;
                          });
                sequence.insert(sequence.end(), fresh.begin(), fresh.end());
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    for (int p = 0; p < n; ++p) label[sequence[p]] = n - 1 - p;
    return true;
}

namespace
{

enum Status : char
{
    kInactive,
    kPreactive,
    kActive,
    kPostactive
};

// Sloan's pseudo-peripheral pair of the component holding `start`: s of smallest degree; the
// last level of L(s), sorted by degree, shrunk to its first (w + 2) / 2 DOFs and then to the
// first of each degree, is tried as end; a candidate that deepens the structure (and is narrower than those seen) becomes the
// new s, otherwise the narrowest becomes e. Returns (s, e).
template <class Skip>
std::pair<int, int> sloan_pair(const CReorderMat& g, Levels& levels, int start, Skip skip)
{
    levels.build(start, skip);
    int s = lowest_degree(g, levels.order());
    levels.build(s, skip);
    for (;;)
    {
        const int depth = levels.depth();
        std::vector<int> last = levels.last_level();
        std::sort(last.begin(), last.end(),
                  [&](int a, int b) {
                      return g.m_pLength[a] != g.m_pLength[b] ? g.m_pLength[a] < g.m_pLength[b]
                                                              : a < b;
                  });
        last.resize((last.size() + 2) / 2);
        // One candidate per degree (Duff, Reid and Scott's refinement of the shrinking): the
        // number of trial searches is then bounded by the number of distinct degrees, where
        // the last level of a wide mesh would otherwise cost a search per node of its side.
        last.erase(std::unique(last.begin(), last.end(),
                               [&](int a, int b) { return g.m_pLength[a] == g.m_pLength[b]; }),
                   last.end());
        int e = last.front();
        int widthMin = INT_MAX;
        bool deeper = false;
        for (int i : last)
        {
            if (!levels.build(i, skip, widthMin)) continue;
            if (levels.depth() > depth)
            {
                s = i;
                deeper = true;
                break;
            }
            e = i;
            widthMin = levels.width();
        }
        if (!deeper) return {s, e};
    }
}

}  // namespace

bool ProfileKernels::sloan(const CReorderMat& g, int distanceWeight, int degreeWeight,
                           std::vector<long>& label)
{
    const int n = g.m_nCount;
    using Tree = TournamentTree<long long, LeftmostMax>;
    constexpr long long kOut = LLONG_MIN;
    std::vector<char> status;
    std::vector<long long> priority;
    Tree queue;
    try
    {
        Levels levels(g);
        label.resize(static_cast<size_t>(n));
        status.assign(static_cast<size_t>(n), kInactive);
        priority.assign(static_cast<size_t>(n), 0);
        queue.assign(std::vector<long long>(static_cast<size_t>(n), kOut));
        auto skip = [&](int u) { return status[u] == kPostactive; };
        int next = 0;
        const long long w1 = distanceWeight, w2 = degreeWeight;
        auto raise = [&](int i)
        {
            priority[i] += w2;
            if (status[i] == kPreactive || status[i] == kActive) queue.set(i, priority[i]);
        };
        auto enter = [&](int i)
        {
            status[i] = kPreactive;
            queue.set(i, priority[i]);
        };
        for (int c = 0; c < n; ++c)
        {
            if (status[c] != kInactive) continue;
            const auto [s, e] = sloan_pair(g, levels, c, skip);
            levels.build(e, skip);  // distances to the end
            for (int i : levels.order())
                priority[i] = w1 * levels.level(i) - w2 * (g.m_pLength[i] + 1);
            enter(s);
            while (queue.best() != kOut)
            {
                const int i = queue.winner();
                queue.set(i, kOut);
                const bool wasPreactive = status[i] == kPreactive;
                label[i] = next++;
                status[i] = kPostactive;  // first, so that a self-entry cannot queue i again
                if (wasPreactive)
                    for (int p = 0; p < g.m_pLength[i]; ++p)
                    {
                        const int j = static_cast<int>(g.m_ppData[i][p]);
                        raise(j);
                        if (status[j] == kInactive) enter(j);
                    }
                for (int p = 0; p < g.m_pLength[i]; ++p)
                {
                    const int j = static_cast<int>(g.m_ppData[i][p]);
                    if (status[j] != kPreactive) continue;
                    status[j] = kActive;
                    raise(j);
                    for (int q = 0; q < g.m_pLength[j]; ++q)
                    {
                        const int k = static_cast<int>(g.m_ppData[j][q]);
                        if (status[k] == kPostactive) continue;
                        raise(k);
                        if (status[k] == kInactive) enter(k);
                    }
                }
            }
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return true;
}

// Hill climbing on the envelope, first improvement: at every position p, the exchanges of the
// labels p and p + d (d <= kReach) and the moves of label p to p + d or p - d (d <= kShift, the
// labels between shifting by one towards p), each kept when it lowers the envelope. Positions
// are swept in order, again and again, each sweep over the positions still open (see below),
// until none is open or `budget` list entries have been read (the callers make it linear in
// the size of the graph). Exchanges of nearby labels are Hager's (2002) improvement of a
// profile; the shifts are insertion moves (one label taken out and put back d places away).
//
// A move changes the labels of the DOFs in `moved` only, so its effect is counted on them and
// their neighbours: a moved DOF's band is recounted; a neighbour's band is recounted only when
// its farthest label was a moved one that came closer, otherwise it is the larger of its band
// and the new distances to the moved DOFs.
bool ProfileKernels::refine_envelope(const CReorderMat& g, std::vector<long>& label,
                                     long long budget)
{
    constexpr int kReach = 8, kShift = 2;
    const int n = g.m_nCount;
    std::vector<int> carrier, touched, moved;
    std::vector<long> band, fresh, old;
    std::vector<unsigned> seen;
    std::vector<char> open;
    try
    {
        carrier.resize(static_cast<size_t>(n));
        band.resize(static_cast<size_t>(n));
        fresh.resize(static_cast<size_t>(n));
        old.resize(static_cast<size_t>(n));
        seen.assign(static_cast<size_t>(n), 0);
        open.assign(static_cast<size_t>(n), 1);
        moved.reserve(kShift + 1);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    long long work = 0;  // list entries read
    auto count = [&](int v)
    {
        long b = 0;
        work += g.m_pLength[v];
        for (int q = 0; q < g.m_pLength[v]; ++q)
            b = std::max(b, std::labs(label[g.m_ppData[v][q]] - label[v]));
        return b;
    };
    for (int i = 0; i < n; ++i)
    {
        carrier[label[i]] = i;
        band[i] = count(i);
    }
    unsigned stamp = 0;
    // The new labels of `moved` are in place, their old ones in `old`: how much lower the
    // envelope is; `fresh` receives the new bands of `touched`.
    auto gain = [&]() -> long
    {
        if (stamp >= UINT_MAX - 2)
        {
            std::fill(seen.begin(), seen.end(), 0u);
            stamp = 0;
        }
        stamp += 2;  // seen: stamp for a neighbour already counted, stamp + 1 for a moved DOF
        touched.clear();
        long before = 0, after = 0;
        for (int x : moved)
        {
            seen[x] = stamp + 1;
            touched.push_back(x);
            before += band[x];
            fresh[x] = count(x);
            after += fresh[x];
        }
        for (int x : moved)
        {
            work += g.m_pLength[x];
            for (int q = 0; q < g.m_pLength[x]; ++q)
            {
                const int v = static_cast<int>(g.m_ppData[x][q]);
                if (seen[v] == stamp + 1) continue;
                if (seen[v] != stamp)
                {
                    seen[v] = stamp;
                    touched.push_back(v);
                    before += band[v];
                    fresh[v] = band[v];
                    after += band[v];
                }
                const long was = std::labs(label[v] - old[x]);
                const long now = std::labs(label[v] - label[x]);
                long next = fresh[v];
                if (now > next)
                    next = now;
                else if (was == band[v] && now < was)
                    next = count(v);  // its farthest label may have moved closer
                after += next - fresh[v];
                fresh[v] = next;
            }
        }
        return before - after;
    };
    // Open positions: all at first; after a kept move, those whose moves would move a DOF whose
    // label or band has just changed. (A move further away can gain anew too, through a
    // neighbour's band; leaving it closed keeps the sweeps short on graphs with long lists.)
    long openCount = n;
    auto reopen = [&](long l)
    {
        for (long r = std::max(0L, l - kReach); r <= std::min<long>(n - 1, l + kReach); ++r)
            if (!open[r])
            {
                open[r] = 1;
                ++openCount;
            }
    };
    // Keeps the new labels when they lower the envelope, restores the old ones otherwise.
    auto settle = [&]()
    {
        if (gain() > 0)
        {
            for (int x : moved) carrier[label[x]] = x;
            for (int v : touched)
            {
                band[v] = fresh[v];
                reopen(label[v]);
            }
        }
        else
            for (int x : moved) label[x] = old[x];
    };
    while (openCount > 0 && work < budget)
        for (int p = 0; p < n && work < budget; ++p)
        {
            if (!open[p]) continue;
            open[p] = 0;
            --openCount;
            for (int d = 1; d <= kReach; ++d)
            {
                if (p + d < n)
                {
                    const int a = carrier[p], b = carrier[p + d];
                    moved.assign({a, b});
                    old[a] = p;
                    old[b] = p + d;
                    label[a] = p + d;
                    label[b] = p;
                    settle();
                }
                if (d > kShift) continue;
                for (const int q : {p + d, p - d})
                {
                    if (q < 0 || q >= n) continue;
                    const int step = q > p ? 1 : -1;  // the DOFs between move by -step
                    moved.clear();
                    for (int r = std::min(p, q); r <= std::max(p, q); ++r)
                    {
                        const int x = carrier[r];
                        moved.push_back(x);
                        old[x] = r;
                        label[x] = r == p ? q : r - step;
                    }
                    settle();
                }
            }
        }
    return true;
}

}  // namespace tarvel::detail

using tarvel::detail::GraphMeasures;
using tarvel::detail::ProfileKernels;
using tarvel::detail::ProgressReport;

void CReorderMat::RevCuthillMcKee()
{
    tarvel::detail::run_percentage_frame(*this,
                                         [](CReorderMat& g)
                                         {
                                             ProgressReport progress("RevCuthillMcKee", 1);
                                             std::vector<long> label;
                                             if (!ProfileKernels::rev_cuthill_mckee(g, label))
                                                 return;
                                             std::copy(label.begin(), label.end(), g.m_pLabel);
                                             progress.finish();
                                         });
}

namespace
{

// Sloan with both weight pairs, the labels of smaller envelope (ties to the first pair) into g;
// false, labels unchanged, when a workspace could not be obtained.
bool sloan_labels(CReorderMat& g, std::vector<long>& kept)
{
    ProgressReport progress("Sloan", 2);  // a step per weight pair
    std::vector<long> second;
    if (!ProfileKernels::sloan(g, 1, 2, kept)) return false;
    progress.step(1);
    if (!ProfileKernels::sloan(g, 2, 1, second)) return false;
    std::copy(kept.begin(), kept.end(), g.m_pLabel);
    const long long firstEnv = GraphMeasures::envelope(g, nullptr);
    std::copy(second.begin(), second.end(), g.m_pLabel);
    if (GraphMeasures::envelope(g, nullptr) < firstEnv)
        kept.swap(second);
    else
        std::copy(kept.begin(), kept.end(), g.m_pLabel);
    progress.finish();
    return true;
}

}  // namespace

void CReorderMat::Sloan()
{
    tarvel::detail::run_percentage_frame(*this,
                                         [](CReorderMat& g)
                                         {
                                             std::vector<long> label;
                                             sloan_labels(g, label);
                                         });
}

void CReorderMat::SloanExchange()
{
    tarvel::detail::run_percentage_frame(
        *this,
        [](CReorderMat& g)
        {
            // List entries the local searches may read, together: a fixed amount, enough for
            // graphs of a few thousand couplings to reach a local minimum, plus a fixed number
            // per list entry (at a million DOFs, a few passes of the search).
            constexpr long long kFloor = 1LL << 25, kPerEntry = 16;
            long long entries = g.m_nCount;
            for (int i = 0; i < g.m_nCount; ++i) entries += g.m_pLength[i];
            const long long budget = (kFloor + kPerEntry * entries) / 3;
            // Sloan with (1, 2), Sloan with (2, 1), reverse Cuthill-McKee: each improved by the
            // local search, the smallest envelope kept (ties to the earlier).
            std::vector<long> label, kept;
            long long best = LLONG_MAX;
            ProgressReport progress("SloanExchange", 6);  // a labelling and a search, 3 times
            for (int k = 0; k < 3; ++k)
            {
                progress.step(2 * k);
                const bool made =
                    k == 2 ? ProfileKernels::rev_cuthill_mckee(g, label)
                           : ProfileKernels::sloan(g, k == 0 ? 1 : 2, k == 0 ? 2 : 1, label);
                if (!made) continue;
                progress.step(2 * k + 1);
                // Without its workspace the search leaves the labels as they are.
                ProfileKernels::refine_envelope(g, label, budget);
                std::copy(label.begin(), label.end(), g.m_pLabel);
                const long long env = GraphMeasures::envelope(g, nullptr);
                if (env < best)
                {
                    best = env;
                    kept.swap(label);
                }
            }
            if (kept.empty()) return;
            std::copy(kept.begin(), kept.end(), g.m_pLabel);
            progress.finish();
        });
}
