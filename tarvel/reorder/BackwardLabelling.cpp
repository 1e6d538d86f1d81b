// Backward labelling: labels are given from n-1 down to 0; at step k (m_nStep) one unlabelled
// DOF, chosen by a score, receives label k. Unlabelled DOFs carry label -1.
//
// The candidate list m_pList is a permutation of the DOFs whose positions 0 .. k hold the
// unlabelled ones; the chosen DOF is swapped to position k. Ties between equal scores depend on
// these positions (Hager2 and Hager3 take the last one), so the fast kernels perform the same
// swaps.
// Reference: W. W. Hager, Minimizing the profile of a symmetric matrix, SIAM J. Sci. Comput.
// 23(5), 2002 (exchange and backward-labelling heuristics for the envelope).
//
// Weights: WFun(d) = 20 / d in single precision (0.1 for d > 200). Scores are float sums built
// in list order; the fast kernels rebuild a cached sum in the same order whenever one of its
// terms changes, so every float is the one the plain kernel computes.
#include <tarvel/platform/Assert.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/detail/Progress.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/detail/BackwardKernels.h>
#include <tarvel/reorder/detail/GraphMeasures.h>
#include <tarvel/reorder/detail/Invariants.h>
#include <tarvel/reorder/detail/PercentageFrame.h>
#include <tarvel/reorder/detail/ReorderReports.h>
#include <tarvel/reorder/detail/ReorderSurroundings.h>
#include <tarvel/reorder/detail/ScriptFile.h>
#include <tarvel/reorder/detail/TournamentTree.h>
#include <tarvel/reorder/detail/Transpose.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace tarvel::detail
{

namespace
{

inline float weight(int d) { return d > 200 ? 0.1f : 20.0f / static_cast<float>(d); }

// d_k: entries of the list of k whose label is negative.
inline int unlabelled_neighbours(const CReorderMat& g, int k)
{
    int count = 0;
    for (int p = 0; p < g.m_pLength[k]; ++p) count += g.m_pLabel[g.m_ppData[k][p]] < 0;
    return count;
}

void swap_positions(long* list, int a, int b) { std::swap(list[a], list[b]); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Hager1: the next label goes to the unlabelled DOF with the most labelled neighbours (count in
// m_pTabu), ties to the smaller DOF number; the first to a DOF of smallest degree, ties to the
// highest number.

namespace
{

// The start shared by both kernels: labels -1, counts 0, start DOF of smallest degree.
int hager_1_start(CReorderMat& g)
{
    const int n = g.m_nCount;
    g.InitLabels(-1);
    int start = -1;
    int best = n + 1;
    for (int k = n - 1; k >= 0; --k)
    {
        g.m_pTabu[k] = 0;
        if (g.m_pLength[k] < best)
        {
            best = g.m_pLength[k];
            start = k;
        }
    }
    return start < 0 ? n - 1 : start;  // start < 0 only when every degree exceeds n
}

}  // namespace

bool BackwardKernels::hager_1_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    g.m_nStep = -1;
    if (n < 1) return true;
    std::unique_ptr<long[]> list(new (std::nothrow) long[static_cast<size_t>(n)]);
    if (list == nullptr) return false;
    for (int k = 0; k < n; ++k) list[k] = k;
    g.m_pList = list.get();
    long* count = g.m_pTabu;
    const int start = hager_1_start(g);
    swap_positions(list.get(), start, n - 1);
    g.m_pLabel[start] = n - 1;
    for (int p = 0; p < g.m_pLength[start]; ++p) ++count[g.m_ppData[start][p]];
    ProgressReport progress("Hager1", n);
    for (g.m_nStep = n - 2; g.m_nStep >= 0; --g.m_nStep)
    {
        const int k = g.m_nStep;
        progress.step(n - 1 - k);  // DOFs labelled
        swap_positions(list.get(), g.MinZ(), k);
        const long v = list[k];
        g.m_pLabel[v] = k;
        for (int p = 0; p < g.m_pLength[v]; ++p) ++count[g.m_ppData[v][p]];
    }
    progress.finish();
    g.m_pList = nullptr;
    return true;
}

// MinZ's choice does not depend on the order of the list: it is the unlabelled DOF of largest
// count, ties to the smallest DOF number, i.e. the winner of a largest-first tree over DOFs.
bool BackwardKernels::hager_1_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    TournamentTree<long, LeftmostMax> tree;
    try
    {
        tree.assign(std::vector<long>(static_cast<size_t>(n), 0L));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    g.m_nStep = -1;
    if (n < 1) return true;
    long* count = g.m_pTabu;
    auto label_and_count = [&](int v, int k)
    {
        g.m_pLabel[v] = k;
        tree.set(v, std::numeric_limits<long>::min());
        for (int p = 0; p < g.m_pLength[v]; ++p)
        {
            const long u = g.m_ppData[v][p];
            ++count[u];
            if (g.m_pLabel[u] < 0) tree.set(static_cast<int>(u), count[u]);
        }
    };
    label_and_count(hager_1_start(g), n - 1);
    ProgressReport progress("Hager1", n);
    for (g.m_nStep = n - 2; g.m_nStep >= 0; --g.m_nStep)
    {
        progress.step(n - 1 - g.m_nStep);  // DOFs labelled
        label_and_count(tree.winner(), g.m_nStep);
    }
    progress.finish();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Hager2: the next label goes to the candidate of largest truncated S_k, ties to the last
// position of the list.

bool BackwardKernels::hager_2_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    g.InitLabels(-1);
    long* list = g.m_pTabu;
    g.m_pList = list;
    for (int k = 0; k < n; ++k) list[k] = k;
    int bestPos = 0;
    ProgressReport progress("Hager2", n);
    for (g.m_nStep = n - 1; g.m_nStep >= 0; --g.m_nStep)
    {
        const int k = g.m_nStep;
        progress.step(n - 1 - k);  // DOFs labelled
        int best = -1;
        for (int p = 0; p <= k; ++p)
        {
            const int s = static_cast<int>(g.S_k(static_cast<int>(list[p])));
            if (s >= best)
            {
                best = s;
                bestPos = p;
            }
        }
        swap_positions(list, bestPos, k);
        g.m_pLabel[list[k]] = k;
    }
    progress.finish();
    g.m_pList = nullptr;
    return true;
}

// S_k(x) = sumL(x) + WFun(min(k - d(x) + 1, d(x) + 1)), with d(x) = d_k(x) and sumL(x) the
// float sum, in list order, of WFun(d(u)) over the labelled neighbours u. Labelling v changes
//   d(y) for every y whose list holds v, sumL(y) for those y and for every y whose list holds a
//   labelled DOF whose d changed;
// and moving from step k+1 to k changes the second term exactly when 2 d(x) > k. Only those
// DOFs are recomputed (sumL in full, in list order); a largest-first tree over list positions
// with ties to the last position then gives the scan's choice.
bool BackwardKernels::hager_2_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    long* label = g.m_pLabel;
    std::unique_ptr<Transpose> T;
    TournamentTree<int, RightmostMax> tree;
    std::vector<int> d, pos, bucketHead, bucketNext, bucketPrev, dirtyList;
    std::vector<float> sumL;
    std::vector<char> dirty;
    int maxD = 0;
    for (int i = 0; i < n; ++i) maxD = std::max(maxD, g.m_pLength[i]);
    try
    {
        T = std::make_unique<Transpose>(g);
        tree.assign(std::vector<int>(static_cast<size_t>(n), INT_MIN));
        d.assign(g.m_pLength, g.m_pLength + n);
        pos.resize(static_cast<size_t>(n));
        bucketHead.assign(static_cast<size_t>(maxD) + 1, -1);
        bucketNext.resize(static_cast<size_t>(n));
        bucketPrev.resize(static_cast<size_t>(n));
        dirtyList.reserve(static_cast<size_t>(n));
        sumL.assign(static_cast<size_t>(n), 0.0f);
        dirty.assign(static_cast<size_t>(n), 0);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    // Buckets of unlabelled DOFs by d (doubly linked), to find the DOFs with 2 d > k.
    auto unlink = [&](int x)
    {
        if (bucketPrev[x] >= 0)
            bucketNext[bucketPrev[x]] = bucketNext[x];
        else
            bucketHead[d[x]] = bucketNext[x];
        if (bucketNext[x] >= 0) bucketPrev[bucketNext[x]] = bucketPrev[x];
    };
    auto link = [&](int x)
    {
        bucketPrev[x] = -1;
        bucketNext[x] = bucketHead[d[x]];
        if (bucketNext[x] >= 0) bucketPrev[bucketNext[x]] = x;
        bucketHead[d[x]] = x;
    };
    auto value = [&](int x, int k)
    { return static_cast<int>(sumL[x] + weight(std::min(k - d[x] + 1, d[x] + 1))); };
    auto labelled_sum = [&](int x)
    {
        float s = 0.0f;
        for (int p = 0; p < g.m_pLength[x]; ++p)
        {
            const long u = g.m_ppData[x][p];
            if (label[u] > -1) s += weight(d[u]);
        }
        return s;
    };
    auto mark = [&](int y)
    {
        if (label[y] < 0 && !dirty[y])
        {
            dirty[y] = 1;
            dirtyList.push_back(y);
        }
    };

    g.InitLabels(-1);
    long* list = g.m_pTabu;
    g.m_pList = list;
    for (int x = 0; x < n; ++x)
    {
        list[x] = x;
        pos[x] = x;
        link(x);
        tree.set(x, value(x, n - 1));
    }
    int bestPos = 0;
    ProgressReport progress("Hager2", n);
    for (g.m_nStep = n - 1; g.m_nStep >= 0; --g.m_nStep)
    {
        const int k = g.m_nStep;
        progress.step(n - 1 - k);  // DOFs labelled
        for (int y : dirtyList)
        {
            dirty[y] = 0;
            sumL[y] = labelled_sum(y);
            tree.set(pos[y], value(y, k));
        }
        dirtyList.clear();
        for (int dd = k / 2 + 1; dd <= maxD; ++dd)  // 2 d > k: the k-dependent term moved
            for (int x = bucketHead[dd]; x >= 0; x = bucketNext[x]) tree.set(pos[x], value(x, k));

        const int w = tree.winner();
        if (tree.value(w) >= -1) bestPos = w;
        const int v = static_cast<int>(list[bestPos]);
        const int moved = static_cast<int>(list[k]);
        swap_positions(list, bestPos, k);
        pos[moved] = bestPos;
        pos[v] = k;
        tree.set(bestPos, tree.value(k));
        tree.set(k, INT_MIN);
        label[v] = k;
        unlink(v);

        for (int q = T->start[v]; q < T->start[v + 1]; ++q)
        {
            const int y = T->idx[q];  // the list of y holds v: d(y) drops, sumL(y) changes
            if (label[y] < 0)
            {
                unlink(y);
                --d[y];
                link(y);
                mark(y);
            }
            else
            {
                --d[y];
                for (int r = T->start[y]; r < T->start[y + 1]; ++r) mark(T->idx[r]);
            }
        }
    }
    progress.finish();
    g.m_pList = nullptr;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Hager3: cached scores, updated around the DOF just labelled; the next label goes to the
// candidate of largest score, ties to the last position.

namespace
{

// The start, the cached scores and their updates after each choice, shared by both kernels.
// on_score(x) is called whenever the score of an unlabelled DOF x changes.
struct Hager3State
{
    CReorderMat& g;
    float* score;
    float w1 = weight(1);

    void init(long* list)
    {
        const int n = g.m_nCount;
        for (int k = n - 1; k >= 0; --k)
        {
            list[k] = k;
            const int d = unlabelled_neighbours(g, k);
            score[k] = weight(std::min(n - d, d + 1));
        }
    }

    template <class OnScore> void label(int v, int k, OnScore on_score)
    {
        const int n = g.m_nCount;
        const long* label = g.m_pLabel;
        g.m_pLabel[v] = k;
        const long* list = g.m_ppData[v];
        for (int p = 0; p < g.m_pLength[v]; ++p)
        {
            const long u = list[p];
            if (label[u] > -1 && score[u] != w1) score[u] = weight(unlabelled_neighbours(g, u));
        }
        const int dv = unlabelled_neighbours(g, v);
        if (dv == 0)
        {
            score[v] = 0.0f;
            return;
        }
        score[v] = weight(dv);
        for (int p = 0; p < g.m_pLength[v]; ++p)
        {
            const long u = list[p];
            if (label[u] >= 0) continue;
            // WFun(min(k - d(u), n)) + score(w1) + score(w2) + ..., left to right over the
            // labelled neighbours w of u in list order.
            float s = weight(std::min(k - unlabelled_neighbours(g, static_cast<int>(u)), n));
            for (int r = 0; r < g.m_pLength[u]; ++r)
            {
                const long w = g.m_ppData[u][r];
                if (label[w] > -1) s += score[w];
            }
            score[u] = s;
            on_score(static_cast<int>(u));
        }
    }
};

}  // namespace

bool BackwardKernels::hager_3_plain(CReorderMat& g)
{
    const int n = g.m_nCount;
    std::unique_ptr<float[]> score(new (std::nothrow) float[static_cast<size_t>(std::max(n, 1))]);
    if (score == nullptr) return false;
    g.InitLabels(-1);
    long* list = g.m_pTabu;
    g.m_pList = list;
    Hager3State state{g, score.get()};
    state.init(list);
    int bestPos = 0;
    ProgressReport progress("Hager3", n);
    for (g.m_nStep = n - 1; g.m_nStep >= 0; --g.m_nStep)
    {
        const int k = g.m_nStep;
        progress.step(n - 1 - k);  // DOFs labelled
        float best = -1.0f;
        for (int p = 0; p <= k; ++p)
        {
            if (score[list[p]] >= best)
            {
                best = score[list[p]];
                bestPos = p;
            }
        }
        swap_positions(list, bestPos, k);
        state.label(static_cast<int>(list[k]), k, [](int) {});
    }
    progress.finish();
    g.m_pList = nullptr;
    return true;
}

// The scan over positions 0 .. k becomes a largest-first tree with ties to the last position;
// a NaN score, which ">=" never takes, enters the tree as -infinity.
bool BackwardKernels::hager_3_fast(CReorderMat& g)
{
    const int n = g.m_nCount;
    constexpr float kOut = -std::numeric_limits<float>::infinity();
    std::unique_ptr<float[]> score;
    std::vector<int> pos;
    TournamentTree<float, RightmostMax> tree;
    try
    {
        score.reset(new float[static_cast<size_t>(std::max(n, 1))]);
        pos.resize(static_cast<size_t>(n));
        tree.assign(std::vector<float>(static_cast<size_t>(n), kOut));
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    auto entry = [](float s) { return std::isnan(s) ? kOut : s; };
    g.InitLabels(-1);
    long* list = g.m_pTabu;
    g.m_pList = list;
    Hager3State state{g, score.get()};
    state.init(list);
    for (int x = 0; x < n; ++x)
    {
        pos[x] = x;
        tree.set(x, entry(score[x]));
    }
    int bestPos = 0;
    ProgressReport progress("Hager3", n);
    for (g.m_nStep = n - 1; g.m_nStep >= 0; --g.m_nStep)
    {
        const int k = g.m_nStep;
        progress.step(n - 1 - k);  // DOFs labelled
        const int w = tree.winner();
        if (tree.value(w) >= -1.0f) bestPos = w;
        const int moved = static_cast<int>(list[k]);
        swap_positions(list, bestPos, k);
        pos[moved] = bestPos;
        pos[list[k]] = k;
        tree.set(bestPos, tree.value(k));
        tree.set(k, kOut);
        state.label(static_cast<int>(list[k]), k,
                    [&](int u) { tree.set(pos[u], entry(score[u])); });
    }
    progress.finish();
    g.m_pList = nullptr;
    return true;
}

}  // namespace tarvel::detail

using tarvel::detail::BackwardKernels;
using tarvel::detail::GraphMeasures;
using tarvel::detail::ReorderPath;

// ---------------------------------------------------------------------------------------------
// Members

float CReorderMat::WFun(int d) const { return tarvel::detail::weight(d); }

int CReorderMat::d_k(int k) const { return tarvel::detail::unlabelled_neighbours(*this, k); }

int CReorderMat::r_k(int k) const { return tarvel::detail::unlabelled_neighbours(*this, k); }

void CReorderMat::InitTabu(long value)
{
    if (m_pTabu == nullptr) return;
    for (int i = 0; i < m_nCount; ++i) m_pTabu[i] = value;
}

int CReorderMat::MinZ() const
{
    long best = 0;
    int result = 0;
    for (int p = 0; p <= m_nStep; ++p)
    {
        const long v = m_pList[p];
        const long c = m_pTabu[v];
        if (c > best || (c == best && v <= m_pList[result]))
        {
            best = c;
            result = p;
        }
    }
    return result;
}

// sum over labelled neighbours u of WFun(d_k(u)), in list order, then + WFun(min(k - d + 1,
// d + 1)) with k = m_nStep and d = d_k(self); all in single precision.
float CReorderMat::S_k(int k) const
{
    const int d = CReorderMat::d_k(k);
    float s = 0.0f;
    for (int p = 0; p < m_pLength[k]; ++p)
    {
        const long u = m_ppData[k][p];
        if (m_pLabel[u] > -1) s += CReorderMat::WFun(CReorderMat::d_k(static_cast<int>(u)));
    }
    return s + CReorderMat::WFun(std::min(m_nStep - d + 1, d + 1));
}

namespace tarvel::detail
{

void run_percentage_frame(CReorderMat& g, const std::function<void(CReorderMat&)>& label)
{
    ScriptFile script;
    script.block(g, "before");
    int row = 0;
    const int oldB = GraphMeasures::bandwidth(g, row);
    const long start = TarvelClock();
    const long long oldEnv = GraphMeasures::envelope(g, nullptr);
    label(g);
    TARVEL_ASSERT(tarvel::detail::labels_are_permutation(g),
                  "CReorderMat: a backward labelling left labels that are not a permutation (G3)");
    const long ticks = TarvelClock() - start;
    const int newB = GraphMeasures::bandwidth(g, row);
    const long long newEnv = GraphMeasures::envelope(g, nullptr);
    show_percentage_report(ticks, oldB, newB, oldEnv, newEnv);
    script.block(g, "after");
    script.text(kTrailerPlain);
    script.commit();
}

}  // namespace tarvel::detail

namespace
{

void run_backward(CReorderMat& g, bool (*fast)(CReorderMat&), bool (*plain)(CReorderMat&))
{
    tarvel::detail::run_percentage_frame(
        g,
        [&](CReorderMat& h)
        {
            if (!BackwardKernels::ensure_tabu(h)) return;
            if (tarvel::detail::reorder_path() != ReorderPath::fast || !fast(h)) plain(h);
        });
}

}  // namespace

void CReorderMat::Hager1()
{
    run_backward(*this, BackwardKernels::hager_1_fast, BackwardKernels::hager_1_plain);
}

void CReorderMat::Hager2()
{
    run_backward(*this, BackwardKernels::hager_2_fast, BackwardKernels::hager_2_plain);
}

void CReorderMat::Hager3()
{
    run_backward(*this, BackwardKernels::hager_3_fast, BackwardKernels::hager_3_plain);
}
