// Tabu search: local improvement of an existing labelling by exchanging the labels of two DOFs.
// A DOF whose neighbours lie far above it is moved towards the middle M of the label range its
// higher neighbours span; DOFs just exchanged are tabu (stamp in m_pTabu) for `tenure` steps.
// Reference: F. Glover, M. Laguna, Tabu Search, Kluwer 1997, ch. 2 (short-term memory).
//
// Fast kernels: TabuReorder's plain form recomputes the whole envelope and bandwidth after each
// trial exchange; the fast form keeps B_f of every DOF, their sum and a largest-first tree
// (ties to the lowest DOF, as GetB's scan) and refreshes only the DOFs whose list holds one of
// the two exchanged DOFs. TabuReorder2's plain form recomputes every DOF's middle label, the
// DOF carrying it (a search over all labels) and its bandwidth at every step; the fast form
// caches them and refreshes what an exchange can change (see tabu_2_fast).
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/Random.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/GraphMeasures.h>
#include <tarvel/reorder/detail/ReorderReports.h>
#include <tarvel/reorder/detail/ReorderSurroundings.h>
#include <tarvel/reorder/detail/ScriptFile.h>
#include <tarvel/reorder/detail/TabuKernels.h>
#include <tarvel/reorder/detail/TournamentTree.h>
#include <tarvel/reorder/detail/Transpose.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>

namespace tarvel::detail
{

// M = (hi + lo + 1) / 2 over k's neighbours labelled above L = label(k): hi the largest such
// label (L when none), lo the smallest (the DOF count when none).
int TabuKernels::mid_label(const CReorderMat& g, int k)
{
    const long L = g.m_pLabel[k];
    long hi = L;
    long lo = g.m_nCount;
    for (int p = 0; p < g.m_pLength[k]; ++p)
    {
        const long l = g.m_pLabel[g.m_ppData[k][p]];
        if (l > L)
        {
            hi = std::max(hi, l);
            lo = std::min(lo, l);
        }
    }
    return static_cast<int>((hi + lo + 1) / 2);
}

// GetClosestToMid: with M the middle label of k, the neighbour j (first in list order among
// equals) strictly closer to M than k and every neighbour taken before it, provided j is a
// candidate (closer to M than k, or stamp(j) < m_nStep); k itself when there is none. M is
// computed once: IsCandidate(k, j) would compute the same value for every j.
int TabuKernels::closest_to_mid(const CReorderMat& g, int k)
{
    const long M = mid_label(g, k);
    const long dk = std::labs(M - g.m_pLabel[k]);
    int best = k;
    long dist = dk;
    for (int p = 0; p < g.m_pLength[k]; ++p)
    {
        const long j = g.m_ppData[k][p];
        const long d = std::labs(M - g.m_pLabel[j]);
        const bool candidate = d < dk || (g.m_pTabu != nullptr && g.m_pTabu[j] < g.m_nStep);
        if (candidate && d < dist)
        {
            best = static_cast<int>(j);
            dist = d;
        }
    }
    return best;
}

namespace
{

// A random DOF 0 .. n-1 from r in 0 .. 32767: (r n - 1) / 32767, truncated toward zero, with
// r n formed in 64 bits.
int random_dof(int n)
{
    const long long r = TarvelRand();
    return static_cast<int>((r * n - 1) / 32767);
}

int tenure_of(int n) { return std::max(n / 10, 1); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The search loop of TabuReorder, entered once the starting bandwidth oldB (its row in `row`),
// the seeding of the generator and the starting envelope oldEnv have been taken.

TabuCounts TabuKernels::tabu_1_plain(CReorderMat& g, int row, int oldB, long long oldEnv)
{
    const int n = g.m_nCount;
    const int tenure = tenure_of(n);
    long* stamp = g.m_pTabu;
    TabuCounts c{oldB, oldEnv, 0};
    ProgressReport progress("TabuReorder", n);
    for (g.m_nStep = 0; g.m_nStep < n; ++g.m_nStep)
    {
        progress.step(g.m_nStep);
        const int v = row;
        const int w = g.CReorderMat::GetClosestToMid(v);
        if (w == v || w < 0)
        {
            row = random_dof(n);
        }
        else if (stamp[w] <= g.m_nStep)
        {
            const int bv = GraphMeasures::band_of(g, v);
            g.CReorderMat::Move(v, w);
            const long long e = GraphMeasures::envelope(g, nullptr);
            const int b = GraphMeasures::bandwidth(g, row);
            if (GraphMeasures::band_of(g, v) <= bv)
            {
                ++c.switches;
                stamp[v] = stamp[w] = g.m_nStep + tenure;
                c.newEnv = e;
                c.newB = b;
            }
            else
            {
                g.CReorderMat::Move(v, w);
            }
        }
    }
    progress.finish();
    return c;
}

bool TabuKernels::tabu_1_fast(CReorderMat& g, int row, int oldB, long long oldEnv, TabuCounts& out)
{
    const int n = g.m_nCount;
    std::unique_ptr<Transpose> T;
    TournamentTree<int, LeftmostMax> bands;  // B_f of every DOF; winner = GetB's row
    try
    {
        T = std::make_unique<Transpose>(g);
        std::vector<int> bf(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) bf[i] = GraphMeasures::band_of(g, i);
        bands.assign(bf);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    long long env = 0;
    for (int i = 0; i < n; ++i) env += bands.value(i);
    long* label = g.m_pLabel;
    long* stamp = g.m_pTabu;
    auto refresh = [&](int i)
    {
        const int b = GraphMeasures::band_of(g, i);
        env += b - bands.value(i);
        bands.set(i, b);
    };
    auto exchange = [&](int a, int b) {  // Move, then every B_f it can change
        std::swap(label[a], label[b]);
        refresh(a);
        refresh(b);
        for (int q = T->start[a]; q < T->start[a + 1]; ++q) refresh(T->idx[q]);
        for (int q = T->start[b]; q < T->start[b + 1]; ++q) refresh(T->idx[q]);
    };
    const int tenure = tenure_of(n);
    TabuCounts c{oldB, oldEnv, 0};
    ProgressReport progress("TabuReorder", n);
    for (g.m_nStep = 0; g.m_nStep < n; ++g.m_nStep)
    {
        progress.step(g.m_nStep);
        const int v = row;
        const int w = closest_to_mid(g, v);
        if (w == v || w < 0)
        {
            row = random_dof(n);
        }
        else if (stamp[w] <= g.m_nStep)
        {
            const int bv = bands.value(v);
            exchange(v, w);
            const long long e = env;
            const int b = bands.best();
            row = bands.winner();
            if (bands.value(v) <= bv)
            {
                ++c.switches;
                stamp[v] = stamp[w] = g.m_nStep + tenure;
                c.newEnv = e;
                c.newB = b;
            }
            else
            {
                exchange(v, w);
            }
        }
    }
    progress.finish();
    out = c;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TabuReorder2: at step t the DOF v of largest B_f among those whose exchange with m = the DOF
// carrying v's middle label qualifies (both free at t, and IsCandidate(m, v)); ties to the
// lowest v; stop when no score is positive.

void TabuKernels::tabu_2_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    const int tenure = n / 100;
    long* stamp = g.m_pTabu;
    ProgressReport progress("TabuReorder2", n);
    for (int t = 0; t < n; ++t)
    {
        progress.step(t);
        int bestScore = 0;
        int best = -1;
        int partner = -1;
        for (int v = 0; v < n; ++v)
        {
            if (stamp[v] > t) continue;
            int m = v;
            g.CReorderMat::mid(m);
            if (stamp[m] > t) continue;
            const int score = g.CReorderMat::IsCandidate(m, v) ? GraphMeasures::band_of(g, v) : 0;
            if (score > bestScore)
            {
                bestScore = score;
                best = v;
                partner = m;
            }
        }
        if (best < 0) break;
        g.CReorderMat::Move(best, partner);
        stamp[best] = stamp[partner] = t + tenure;
    }
    progress.finish();
}

// Runs only when the labels are a permutation of 0 .. n-1 (otherwise the plain kernel runs),
// so that the DOF carrying a label is inv[label]. Cached per DOF v:
//   M[v]    middle label of v (labels of v and of its list),
//   part[v] inv[M[v]], or v when M[v] is outside 0 .. n-1,
//   geo[v]  |M[part] - label(v)| < |M[part] - label(part)| (IsCandidate without the stamp),
//   bf[v]   B_f(v).
// Exchanging a and b changes M and bf of S1 = {a, b} and the DOFs whose list holds a or b;
// part of S1 and of the DOFs whose partner was a or b (their M is la or lb); geo of all of
// these and of the DOFs whose partner lies in S1. The stamps are read live at every scan.
bool TabuKernels::tabu_2_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* label = g.m_pLabel;
    long* stamp = g.m_pTabu;
    std::unique_ptr<Transpose> T;
    std::vector<int> inv, M, part, bf, head, next, prev, seen, touched, partMoved;
    std::vector<char> geo;
    try
    {
        inv.assign(static_cast<size_t>(n), -1);
        for (int i = 0; i < n; ++i)
        {
            if (label[i] < 0 || label[i] >= n || inv[label[i]] >= 0) return false;
            inv[label[i]] = i;
        }
        T = std::make_unique<Transpose>(g);
        M.resize(static_cast<size_t>(n));
        part.resize(static_cast<size_t>(n));
        bf.resize(static_cast<size_t>(n));
        head.assign(static_cast<size_t>(n), -1);
        next.resize(static_cast<size_t>(n));
        prev.resize(static_cast<size_t>(n));
        seen.assign(static_cast<size_t>(n), 0);
        touched.reserve(static_cast<size_t>(n));
        partMoved.reserve(static_cast<size_t>(n));
        geo.resize(static_cast<size_t>(n));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    // Reverse partner lists: the DOFs v with part[v] == x, doubly linked from head[x].
    auto unlink = [&](int v)
    {
        if (prev[v] >= 0)
            next[prev[v]] = next[v];
        else
            head[part[v]] = next[v];
        if (next[v] >= 0) prev[next[v]] = prev[v];
    };
    auto link = [&](int v)
    {
        prev[v] = -1;
        next[v] = head[part[v]];
        if (next[v] >= 0) prev[next[v]] = v;
        head[part[v]] = v;
    };
    auto partner_of = [&](int v) { return M[v] >= 0 && M[v] < n ? inv[M[v]] : v; };
    auto geometry = [&](int v)
    {
        const int m = part[v];
        const long Mm = M[m];
        geo[v] = std::labs(Mm - label[v]) < std::labs(Mm - label[m]);
    };
    int mark = 0;  // seen[v] == mark: v is in `touched` already
    auto touch = [&](int v)
    {
        if (seen[v] != mark)
        {
            seen[v] = mark;
            touched.push_back(v);
        }
    };

    for (int v = 0; v < n; ++v)
    {
        M[v] = mid_label(g, v);
        bf[v] = GraphMeasures::band_of(g, v);
        part[v] = partner_of(v);
        link(v);
    }
    for (int v = 0; v < n; ++v) geometry(v);

    const int tenure = n / 100;
    const int step = g.m_nStep;
    ProgressReport progress("TabuReorder2", n);
    for (int t = 0; t < n; ++t)
    {
        progress.step(t);
        int bestScore = 0;
        int best = -1;
        for (int v = 0; v < n; ++v)
        {
            if (stamp[v] > t || stamp[part[v]] > t) continue;
            const int score = (geo[v] || stamp[v] < step) ? bf[v] : 0;
            if (score > bestScore)
            {
                bestScore = score;
                best = v;
            }
        }
        if (best < 0) break;
        const int a = best;
        const int b = part[best];
        const long la = label[a];
        const long lb = label[b];
        std::swap(label[a], label[b]);
        inv[la] = b;
        inv[lb] = a;
        stamp[a] = stamp[b] = t + tenure;

        // S1: middle label and bandwidth.
        ++mark;
        touched.clear();
        touch(a);
        touch(b);
        for (int q = T->start[a]; q < T->start[a + 1]; ++q) touch(T->idx[q]);
        for (int q = T->start[b]; q < T->start[b + 1]; ++q) touch(T->idx[q]);
        const size_t s1 = touched.size();
        for (size_t s = 0; s < s1; ++s)
        {
            const int v = touched[s];
            M[v] = mid_label(g, v);
            bf[v] = GraphMeasures::band_of(g, v);
        }
        // Partners: S1 and the DOFs whose partner was a or b.
        for (int v = head[a]; v >= 0; v = next[v]) touch(v);
        for (int v = head[b]; v >= 0; v = next[v]) touch(v);
        partMoved.assign(touched.begin(), touched.end());
        for (int v : partMoved)
        {
            const int p = partner_of(v);
            if (p == part[v]) continue;
            unlink(v);
            part[v] = p;
            link(v);
        }
        // Geometry: all of the above and the DOFs whose partner lies in S1.
        for (size_t s = 0; s < s1; ++s)
            for (int v = head[partMoved[s]]; v >= 0; v = next[v]) touch(v);
        for (int v : touched) geometry(v);
    }
    progress.finish();
    return true;
}

}  // namespace tarvel::detail

using tarvel::detail::GraphMeasures;
using tarvel::detail::ReorderPath;
using tarvel::detail::TabuKernels;

// ---------------------------------------------------------------------------------------------
// Members

int CReorderMat::mid(int& k) const
{
    const int M = TabuKernels::mid_label(*this, k);
    for (int v = 0; v < m_nCount; ++v)
    {
        if (m_pLabel[v] == M)
        {
            k = v;
            break;
        }
    }
    return M;
}

bool CReorderMat::IsCandidate(int i, int j) const
{
    const long M = TabuKernels::mid_label(*this, i);  // mid of a copy of i: only M is used
    if (std::labs(M - m_pLabel[j]) < std::labs(M - m_pLabel[i])) return true;
    return m_pTabu != nullptr && m_pTabu[j] < m_nStep;
}

int CReorderMat::GetClosestToMid(int k) const { return TabuKernels::closest_to_mid(*this, k); }

void CReorderMat::Move(int a, int b) { std::swap(m_pLabel[a], m_pLabel[b]); }

int CReorderMat::NumMovables(int i, int t) const
{
    if (m_pTabu == nullptr) return 0;
    int count = 0;
    for (int p = 0; p < m_pLength[i]; ++p) count += m_pTabu[m_ppData[i][p]] < t;
    return count;
}

void CReorderMat::TabuReorder()
{
    tarvel::detail::ScriptFile script;
    script.block(*this, "before");
    const long start = TarvelClock();
    int row = 0;
    const int oldB = GraphMeasures::bandwidth(*this, row);
    TarvelSrand(tarvel::detail::tabu_seed());
    const long long oldEnv = GraphMeasures::envelope(*this, nullptr);
    tarvel::detail::TabuCounts c{oldB, oldEnv, 0};
    if (ensure_tabu())
    {
        if (tarvel::detail::reorder_path() != ReorderPath::fast ||
            !TabuKernels::tabu_1_fast(*this, row, oldB, oldEnv, c))
            c = TabuKernels::tabu_1_plain(*this, row, oldB, oldEnv);
    }
    const long ticks = TarvelClock() - start;
    tarvel::detail::show_switch_report(ticks, oldB, c.newB, c.switches, oldEnv, c.newEnv);
    script.block(*this, "after");
    script.text(tarvel::detail::kTrailerPlain);
    script.commit();
}

void CReorderMat::TabuReorder2()
{
    if (m_nCount < 1 || !ensure_tabu()) return;
    if (tarvel::detail::reorder_path() != ReorderPath::fast || !TabuKernels::tabu_2_fast(*this))
        TabuKernels::tabu_2_plain(*this);
}
