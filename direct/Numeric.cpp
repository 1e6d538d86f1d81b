// The numeric supernodal Cholesky factorization P A P^T = L L^T, left-looking.
//
// For each supernode s in the postorder (its pivots k1 .. k2-1, nsrow rows, nscol columns):
//   1. the descendants d whose next unused row lies in k1 .. k2-1 are taken in ascending order;
//   2. each sends its update: with L_d1 its rows in k1 .. k2-1 and L_d2 all its rows from the
//      first of those on, C = L_d2 L_d1^T (dsyrk for the square top, dgemm below it) in a dense
//      work block, subtracted from L_s through the relative map of d's rows into s's rows;
//      d is then linked to the supernode holding its next unused row;
//   3. L_s11 = chol(A_s11) (dpotrf, blocked for wide supernodes), L_s21 = A_s21 L_s11^-T (dtrsm);
//   4. s is linked to the supernode holding its first row below its pivots.
// References: E. Ng and B. Peyton, Block sparse Cholesky algorithms on advanced uniprocessor
// computers, SIAM J. Sci. Comput. 14 (1993); T. Davis, Direct Methods for Sparse Linear
// Systems, SIAM 2006, ch. 4 and 9.
//
// Threads: the subtrees of Plan::tasks run at once, one thread each with its own work space
// and the BLAS on one thread; then the top supernodes in order on the calling thread with the
// BLAS's own threads. Every supernode receives its updates in ascending order of the sender
// (step 1), and every dpotrf runs with the BLAS on one thread, so the factor has the same bits
// for any thread count (given a BLAS whose level-3 results do not depend on its thread count).
#include "detail/Numeric.h"

#include "detail/Blas.h"

#include <tarvel/platform/Assert.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <system_error>
#include <thread>

namespace tarvel::direct
{

namespace
{

constexpr int kNone = -1;             // end of a descendant list
constexpr int kPotrfBlock = 256;      // columns of a diagonal block factorized by one dpotrf call
constexpr int kTasksPerThread = 4;    // the subtrees are cut to about this many per thread
constexpr double kSerialFlops = 1e6;  // below this much work, one thread does everything
constexpr int64_t kDirectUpdate = 2048;  // multiply-adds below which an update skips the BLAS

const double kOne = 1.0, kMinusOne = -1.0, kZero = 0.0;

// What one thread works with: the row map of the current supernode, the relative map of a
// sender, the sorted senders, the update block, and the senders whose next receiver lies
// outside the thread's subtree.
struct Workspace
{
    std::vector<int> map;        // map[row] = position of row in the current supernode's rows
    std::vector<int> relative;   // relative[i] = map[i-th sent row]
    std::vector<int> senders;    // the descendants of the current supernode, ascending
    std::vector<double> update;  // C, column-major
    std::vector<int> deferred;   // senders left for the top supernodes
};

// The descendant lists, shared by the threads: a list only the thread owning its supernode
// reads or writes.
//  D1  head[s] .. next[d] .. kNone: the descendants d whose row rowInd[pos[d]] lies in s
//  D2  pos[d] indexes rowInd: rows of d before it have sent all their updates
struct Links
{
    std::vector<int> head;
    std::vector<int> next;
    std::vector<int64_t> pos;

    void link(int d, int s)
    {
        next[d] = head[s];
        head[s] = d;
    }
};

struct Context
{
    const Symbolic& S;
    const Layout& layout;
    double* values;
    Links& links;
};

// C (ndrow2 x ndrow1, column-major, leading dimension ndrow2; lower part of the top square)
// = A A1^T with A the ndrow2 x ndcol block at a (leading dimension lda) and A1 its first ndrow1
// rows; then L_s -= C through relative. Small updates are formed in place without the BLAS.
void send_update(const double* a, int lda, int ndrow1, int ndrow2, int ndcol, const int* relative,
                 double* Ls, int nsrow, double* C)
{
    if (static_cast<int64_t>(ndrow1) * ndrow2 * ndcol < kDirectUpdate)
    {
        for (int j = 0; j < ndrow1; ++j)
        {
            double* column = Ls + static_cast<int64_t>(relative[j]) * nsrow;
            for (int i = j; i < ndrow2; ++i)
            {
                double c_ij = 0.0;  // sum_k l_ik l_jk
                for (int k = 0; k < ndcol; ++k)
                    c_ij +=
                        a[i + static_cast<int64_t>(k) * lda] * a[j + static_cast<int64_t>(k) * lda];
                column[relative[i]] -= c_ij;
            }
        }
        return;
    }
    dsyrk_("L", "N", &ndrow1, &ndcol, &kOne, a, &lda, &kZero, C, &ndrow2);
    const int ndrow3 = ndrow2 - ndrow1;
    if (ndrow3 > 0)
        dgemm_("N", "T", &ndrow3, &ndrow1, &ndcol, &kOne, a + ndrow1, &lda, a, &lda, &kZero,
               C + ndrow1, &ndrow2);
    const int last = ndrow2 - 1;
    for (int j = 0; j < ndrow1; ++j)
    {
        double* column = Ls + static_cast<int64_t>(relative[j]) * nsrow;
        const double* c = C + static_cast<int64_t>(j) * ndrow2;
        if (relative[last] - relative[j] == last - j)  // rows j .. last land in a run
        {
            double* run = column + relative[j] - j;
            for (int i = j; i < ndrow2; ++i) run[i] -= c[i];
        }
        else
            for (int i = j; i < ndrow2; ++i) column[relative[i]] -= c[i];
    }
}

// Cholesky of the nscol x nscol diagonal block at Ls (leading dimension nsrow), then the rows
// below it: L21 = A21 L11^-T. Wide blocks go kPotrfBlock columns at a time (right-looking: dpotrf
// of the block, dtrsm of the rows below it in the diagonal block, dsyrk of the rest), so that
// dpotrf always runs on one BLAS thread and the rest on all of them. Returns 0, or the
// 1-based column of the first non-positive pivot.
int factor_diagonal(double* Ls, int nscol, int nsrow, const BlasThreads* blas, int threads)
{
    for (int c = 0; c < nscol; c += kPotrfBlock)
    {
        const int nb = std::min(kPotrfBlock, nscol - c);
        double* Lcc = Ls + c + static_cast<int64_t>(c) * nsrow;
        int info = 0;
        if (blas) blas->Set(1);
        dpotrf_("L", &nb, Lcc, &nsrow, &info);
        if (blas) blas->Set(threads);
        if (info != 0) return c + info;
        const int rest = nscol - c - nb;
        if (rest == 0) break;
        dtrsm_("R", "L", "T", "N", &rest, &nb, &kOne, Lcc, &nsrow, Lcc + nb, &nsrow);
        dsyrk_("L", "N", &rest, &nb, &kMinusOne, Lcc + nb, &nsrow, &kOne,
               Lcc + nb + static_cast<int64_t>(nb) * nsrow, &nsrow);
    }
    const int below = nsrow - nscol;
    if (below > 0)
        dtrsm_("R", "L", "T", "N", &below, &nscol, &kOne, Ls, &nsrow, Ls + nscol, &nsrow);
    return 0;
}

// Factorizes the supernodes first .. last (a subtree, or the top supernodes when top is given:
// then only those with top[s] set). A sender whose next receiver lies above last goes to
// w.deferred. Returns kNone, or the first failing pivot. Stops before any supernode above
// *stop (the smallest failing supernode found by any thread so far).
int factor_supernodes(Context& ctx, int first, int last, const char* top, Workspace& w,
                      const BlasThreads* blas, int threads, std::atomic<int>* stop)
{
    const Symbolic& S = ctx.S;
    const int* rowInd = S.rowInd.data();
    const int* superOf = ctx.layout.superOf.data();
    Links& links = ctx.links;
    int* map = w.map.data();
    int* relative = w.relative.data();
    int* senders = w.senders.data();
    double* C = w.update.data();

    for (int s = first; s <= last; ++s)
    {
        if (top && !top[s]) continue;
        if (stop && s > stop->load(std::memory_order_relaxed)) return kNone;
        const int k1 = S.superStart[s], k2 = S.superStart[s + 1], nscol = k2 - k1;
        const int64_t p1 = S.rowPtr[s];
        const int nsrow = static_cast<int>(S.rowPtr[s + 1] - p1);
        double* Ls = ctx.values + S.valuePtr[s];
        for (int i = 0; i < nsrow; ++i) map[rowInd[p1 + i]] = i;

        // -- 1. The senders, ascending --
        int count = 0;
        for (int d = links.head[s]; d != kNone; d = links.next[d]) senders[count++] = d;
        links.head[s] = kNone;
        std::sort(senders, senders + count);

        // -- 2. Their updates --
        for (int q = 0; q < count; ++q)
        {
            const int d = senders[q];
            const int64_t pd = S.rowPtr[d], pdend = S.rowPtr[d + 1];
            const int64_t pdi1 = links.pos[d];
            int64_t pdi2 = pdi1;
            while (pdi2 < pdend && rowInd[pdi2] < k2) ++pdi2;
            const int ndrow = static_cast<int>(pdend - pd);
            const int ndrow1 = static_cast<int>(pdi2 - pdi1),
                      ndrow2 = static_cast<int>(pdend - pdi1);
            for (int i = 0; i < ndrow2; ++i) relative[i] = map[rowInd[pdi1 + i]];
            send_update(ctx.values + S.valuePtr[d] + (pdi1 - pd), ndrow, ndrow1, ndrow2, S.ncols(d),
                        relative, Ls, nsrow, C);
            if (pdi2 < pdend)
            {
                links.pos[d] = pdi2;
                const int receiver = superOf[rowInd[pdi2]];
                if (receiver <= last)
                    links.link(d, receiver);
                else
                    w.deferred.push_back(d);  // capacity reserved: no allocation here
            }
        }

        // -- 3. Its own columns --
        const int failed = factor_diagonal(Ls, nscol, nsrow, blas, threads);
        if (failed != 0) return k1 + failed - 1;

        // -- 4. Its first update goes to the supernode of its first row below its pivots --
        if (nsrow > nscol)
        {
            links.pos[s] = p1 + nscol;
            const int receiver = superOf[rowInd[p1 + nscol]];
            if (receiver <= last)
                links.link(s, receiver);
            else
                w.deferred.push_back(s);
        }
    }
    return kNone;
}

void make_workspace(const Symbolic& S, const Layout& layout, int64_t updateSize, Workspace& w)
{
    w.map.assign(S.n, 0);
    w.relative.assign(layout.maxRows, 0);
    w.senders.assign(S.nsuper, 0);
    w.update.assign(static_cast<size_t>(updateSize), 0.0);
    w.deferred.clear();
    w.deferred.reserve(S.nsuper);
}

// Largest update block into the supernodes with top[s] == want (any when top is null).
int64_t largest_update(const Layout& layout, const char* top, char want)
{
    int64_t largest = 0;
    for (size_t s = 0; s < layout.updateInto.size(); ++s)
        if (!top || top[s] == want) largest = std::max(largest, layout.updateInto[s]);
    return largest;
}

}  // namespace

void build_layout(const Symbolic& S, Layout& layout)
{
    layout.superOf.assign(S.n, 0);
    layout.updateInto.assign(S.nsuper, 0);
    layout.subtreeSize.assign(S.nsuper, 1);
    layout.maxRows = 0;
    for (int s = 0; s < S.nsuper; ++s)
    {
        for (int k = S.superStart[s]; k < S.superStart[s + 1]; ++k) layout.superOf[k] = s;
        layout.maxRows = std::max(layout.maxRows, static_cast<int>(S.nrows(s)));
        if (S.superParent[s] != kNone)
            layout.subtreeSize[S.superParent[s]] += layout.subtreeSize[s];
    }
#ifndef NDEBUG
    // Y3 and L3: when each subtree's range lies in its parent's, each range holds exactly the
    // subtree (its size many descendants, all inside it by induction): a postorder.
    for (int s = 0; s < S.nsuper; ++s)
    {
        const int p = S.superParent[s];
        TARVEL_ASSERT(p == kNone ||
                          (p > s && p - layout.subtreeSize[p] <= s - layout.subtreeSize[s]),
                      "direct analysis: the supernodes are not numbered in a postorder");
    }
#endif
    // The rows of d below its pivots fall into runs, one per receiver (Y4: ascending, each in
    // an ancestor); a run of m rows with r rows from its start to d's end makes an r x m block.
    for (int d = 0; d < S.nsuper; ++d)
    {
        const int64_t end = S.rowPtr[d + 1];
        int64_t p = S.rowPtr[d] + S.ncols(d);
        while (p < end)
        {
            const int receiver = layout.superOf[S.rowInd[p]];
            const int64_t runEnd = S.superStart[receiver + 1];
            int64_t q = p;
            while (q < end && S.rowInd[q] < runEnd) ++q;
            layout.updateInto[receiver] =
                std::max(layout.updateInto[receiver], (end - p) * (q - p));
            p = q;
        }
    }
}

void plan_threads(const Symbolic& S, const Layout& layout, int threads, Plan& plan)
{
    plan.threads = std::max(1, threads);
    plan.tasks.clear();
    plan.top.assign(S.nsuper, 1);
    double total = 0.0;
    for (int s = 0; s < S.nsuper; ++s)
        if (S.superParent[s] == kNone) total += S.subtreeFlops[s];
    if (plan.threads == 1 || total < kSerialFlops) return;
    // A subtree of at most total / (kTasksPerThread * threads) work is one task; its root's
    // parent has more (subtreeFlops grows toward the root) and stays on top.
    const double cut = total / (kTasksPerThread * plan.threads);
    for (int s = 0; s < S.nsuper; ++s)
    {
        const int parent = S.superParent[s];
        if (S.subtreeFlops[s] <= cut && (parent == kNone || S.subtreeFlops[parent] > cut))
        {
            plan.tasks.push_back(s);
            std::fill(plan.top.begin() + (s - layout.subtreeSize[s] + 1), plan.top.begin() + s + 1,
                      0);
        }
    }
    std::stable_sort(plan.tasks.begin(), plan.tasks.end(),
                     [&S](int a, int b) { return S.subtreeFlops[a] > S.subtreeFlops[b]; });
}

int64_t factorization_workspace_bytes(const Symbolic& S, const Layout& layout, const Plan& plan)
{
    const int64_t perThread =
        static_cast<int64_t>(sizeof(int)) * (S.n + layout.maxRows + 2 * S.nsuper);
    const int64_t links = static_cast<int64_t>(S.nsuper) * (2 * sizeof(int) + sizeof(int64_t));
    const int64_t helpers = plan.tasks.empty() ? 0 : plan.threads - 1;
    const int64_t doubles =
        largest_update(layout, nullptr, 0) + helpers * largest_update(layout, plan.top.data(), 0);
    return perThread * (1 + helpers) + links + doubles * static_cast<int64_t>(sizeof(double));
}

int factorize_numeric(const Symbolic& S, const Layout& layout, const Plan& plan, double* values,
                      int& failedPivot)
{
    failedPivot = kNone;
    if (S.nsuper == 0) return 1;
    Links links;
    links.head.assign(S.nsuper, kNone);
    links.next.assign(S.nsuper, kNone);
    links.pos.assign(S.nsuper, 0);
    Context ctx{S, layout, values, links};
    const int helpers = plan.tasks.empty() ? 0 : plan.threads - 1;
    std::vector<Workspace> spaces(1 + helpers);
    make_workspace(S, layout, largest_update(layout, nullptr, 0), spaces[0]);
    for (int t = 1; t <= helpers; ++t)
        make_workspace(S, layout, largest_update(layout, plan.top.data(), 0), spaces[t]);

    // -- The subtrees, in parallel, the BLAS on one thread --
    BlasThreads blas(1);
    std::atomic<int> stop(INT_MAX);  // smallest supernode that failed
    std::atomic<int> firstFailure(INT_MAX);
    if (!plan.tasks.empty())
    {
        std::atomic<size_t> nextTask(0);
        auto work = [&](Workspace& w)
        {
            for (size_t i = nextTask.fetch_add(1); i < plan.tasks.size(); i = nextTask.fetch_add(1))
            {
                const int root = plan.tasks[i];
                const int first = root - layout.subtreeSize[root] + 1;
                const int pivot =
                    factor_supernodes(ctx, first, root, nullptr, w, nullptr, 1, &stop);
                if (pivot == kNone) continue;
                const int s = layout.superOf[pivot];
                for (int seen = stop.load(); s < seen && !stop.compare_exchange_weak(seen, s);)
                {
                }
                for (int seen = firstFailure.load();
                     pivot < seen && !firstFailure.compare_exchange_weak(seen, pivot);)
                {
                }
            }
        };
        std::vector<std::thread> pool;
        pool.reserve(helpers);
        try
        {
            for (int t = 1; t <= helpers; ++t) pool.emplace_back(work, std::ref(spaces[t]));
        }
        catch (const std::system_error&)  // fewer threads: the others take their tasks
        {
        }
        work(spaces[0]);
        for (std::thread& t : pool) t.join();
        for (const Workspace& w : spaces)  // the senders into the top supernodes (D1)
            for (int d : w.deferred) links.link(d, layout.superOf[S.rowInd[links.pos[d]]]);
    }

    // -- The top supernodes in order, the BLAS on all threads --
    // After a failure in a subtree, only the top supernodes before it: the failure reported is
    // the one a single thread meets first.
    blas.Set(plan.threads);
    const int pivot = factor_supernodes(ctx, 0, S.nsuper - 1, plan.top.data(), spaces[0],
                                        plan.threads > 1 ? &blas : nullptr, plan.threads, &stop);
    failedPivot = pivot != kNone                   ? pivot
                  : firstFailure.load() != INT_MAX ? firstFailure.load()
                                                   : kNone;
    return failedPivot == kNone ? 1 : 0;
}

}  // namespace tarvel::direct
