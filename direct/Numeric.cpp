// The numeric supernodal Cholesky factorization P A P^T = L L^T, left-looking.
//
// For each supernode s in the postorder (its pivots k1 .. k2-1, nsrow rows, nscol columns):
//   1. the descendants d whose next unused row lies in k1 .. k2-1 are taken in ascending order;
//   2. each sends its update: with L_d1 its rows in k1 .. k2-1 and L_d2 all its rows from the
//      first of those on, C = L_d2 L_d1^T (dsyrk for the square top, dgemm below it) in a dense
//      work block, subtracted from L_s through the relative map of d's rows into s's rows;
//      d is then linked to the supernode holding its next unused row;
//   3. L_s = chol(A_s11) over A_s21 L_s11^-T, right-looking by blocks of columns: dpotrf
//      of the block, dtrsm of all rows below it, dsyrk/dgemm of the later columns;
//   4. s is linked to the supernode holding its first row below its pivots.
// References: E. Ng and B. Peyton, Block sparse Cholesky algorithms on advanced uniprocessor
// computers, SIAM J. Sci. Comput. 14 (1993); T. Davis, Direct Methods for Sparse Linear
// Systems, SIAM 2006, ch. 4 and 9.
//
// Threads: the subtrees of Plan::tasks run at once, one thread each with its own work space
// (a subtree's supernodes receive only from inside it, so the lists D1 need no lock);
// then the top supernodes in order, each step of one supernode split over the threads by
// fixed pieces: step 2 by blocks of piece_width(nscol) columns of s (each block receives every
// sender's part, senders ascending), step 3 by blocks of kTrsmRows rows (dtrsm) and of
// piece_width(nscol) columns (the later columns). The BLAS runs on one thread throughout.
// Every entry of L thus sees the same operations in the same order whatever the thread count:
// the factor has the same bits.
//
// Progress (tarvel/platform/Progress.h) is the share of the multiply-adds done, each supernode
// counted with its own share of Symbolic::subtreeFlops once it is factorized; only the calling
// thread calls the handler, so the calls stay in order. Without a handler nothing is counted.
#include "detail/Numeric.h"

#include "detail/Blas.h"

#include <tarvel/platform/Assert.h>
#include <tarvel/platform/detail/Progress.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace tarvel::direct
{

namespace
{

constexpr int kNone = -1;                // end of a descendant list
constexpr int kBlock = 256;              // widest piece of steps 2 and 3 (and dpotrf block)
constexpr int kSplitColumns = 128;       // narrower supernodes are one piece
constexpr int kTrsmRows = 256;           // rows of a piece of the dtrsm in step 3
constexpr int kTasksPerThread = 4;       // the subtrees are cut to about this many per thread
constexpr double kSerialFlops = 1e6;     // below this much work no subtree runs on its own
constexpr int64_t kDirectUpdate = 2048;  // multiply-adds below which an update skips the BLAS

const double kOne = 1.0, kMinusOne = -1.0, kZero = 0.0;

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

// A fixed team of threads for the parallel steps: Run(count, body) calls body(i, t) for every
// piece i in 0 .. count-1, t the member running it (0 is the calling thread), and returns when
// all are done. Helpers sleep between steps.
class Team
{
public:
    explicit Team(int threads)
    {
        try
        {
            for (int t = 1; t < threads; ++t) m_helpers.emplace_back([this, t] { serve(t); });
        }
        catch (const std::system_error&)  // fewer threads: the pieces are shared all the same
        {
        }
    }
    ~Team()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bQuit = true;
            ++m_nGeneration;
        }
        m_wake.notify_all();
        for (std::thread& t : m_helpers) t.join();
    }
    Team(const Team&) = delete;
    Team& operator=(const Team&) = delete;

    int Size() const { return 1 + static_cast<int>(m_helpers.size()); }

    template <class Body> void Run(int count, Body& body)
    {
        if (m_helpers.empty() || count <= 1)
        {
            for (int i = 0; i < count; ++i) body(i, 0);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pCall = [](void* b, int i, int t) { (*static_cast<Body*>(b))(i, t); };
            m_pBody = &body;
            m_nCount = count;
            m_nNext.store(0);
            m_nBusy = static_cast<int>(m_helpers.size());
            ++m_nGeneration;
        }
        m_wake.notify_all();
        work(0);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_nBusy == 0; });
    }

private:
    void work(int t)
    {
        for (int i = m_nNext.fetch_add(1); i < m_nCount; i = m_nNext.fetch_add(1))
            m_pCall(m_pBody, i, t);
    }
    void serve(int t)
    {
        for (int seen = 0;;)
        {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [&] { return m_nGeneration != seen; });
                seen = m_nGeneration;
                if (m_bQuit) return;
            }
            work(t);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (--m_nBusy == 0) m_done.notify_one();
        }
    }

    std::vector<std::thread> m_helpers;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    void (*m_pCall)(void*, int, int) = nullptr;
    void* m_pBody = nullptr;
    int m_nCount = 0;
    std::atomic<int> m_nNext{0};
    int m_nBusy = 0;        // helpers still in the current step
    int m_nGeneration = 0;  // steps started
    bool m_bQuit = false;
};

// Where a supernode's pieces are run: in line on one work space (inside a subtree) or by the
// team, each member on its own work space (the top supernodes).
struct Runner
{
    Team* team;  // null: in line
    std::vector<Workspace>* spaces;
    Workspace* own;

    template <class Body> void Run(int count, Body&& body) const
    {
        if (!team)
        {
            for (int i = 0; i < count; ++i) body(i, *own);
            return;
        }
        auto piece = [&](int i, int t) { body(i, (*spaces)[t]); };
        team->Run(count, piece);
    }
};

// The multiply-adds of the supernodes factorized so far, added by every thread; reported by the
// thread that started the factorization.
class FlopsDone
{
public:
    FlopsDone(const Symbolic& S, tarvel::detail::ProgressReport& report)
        : m_report(report), m_own(S.subtreeFlops), m_caller(std::this_thread::get_id())
    {
        for (int s = 0; s < S.nsuper; ++s)  // less the children's subtrees: s alone
            if (S.superParent[s] != kNone) m_own[S.superParent[s]] -= S.subtreeFlops[s];
    }
    static long total(const Symbolic& S)  // the sum of every supernode's own share
    {
        double sum = 0.0;
        for (int s = 0; s < S.nsuper; ++s)
            if (S.superParent[s] == kNone) sum += S.subtreeFlops[s];
        return static_cast<long>(sum);
    }
    void finished(int s)
    {
        const long own = static_cast<long>(std::max(0.0, m_own[s]));
        const long done = m_done.fetch_add(own, std::memory_order_relaxed) + own;
        if (std::this_thread::get_id() == m_caller) m_report.step(done);
    }

private:
    tarvel::detail::ProgressReport& m_report;
    std::vector<double> m_own;  // multiply-adds of each supernode alone
    std::atomic<long> m_done{0};
    std::thread::id m_caller;
};

struct Context
{
    const Symbolic& S;
    const Layout& layout;
    double* values;
    Links& links;
    FlopsDone* progress;  // null without a progress handler
};

// The supernode being factorized, as its pieces read it.
struct Receiver
{
    int k1, nscol, nsrow;
    double* Ls;
    const int* map;          // map[row] = position in s's rows, for s's rows
    const int* senders;      // ascending
    const int64_t* sentEnd;  // sentEnd[q]: end of sender q's rows in k1 .. k2-1 (index into rowInd)
    int count;
};

// Step 2 for the columns j0 .. j1-1 of s: every sender's rows in k1 + j0 .. k1 + j1 - 1 and all
// rows after them make one update block, subtracted through the relative map.
void receive_columns(const Context& ctx, const Receiver& R, int j0, int j1, Workspace& w)
{
    const Symbolic& S = ctx.S;
    const int* rowInd = S.rowInd.data();
    int* relative = w.relative.data();
    for (int q = 0; q < R.count; ++q)
    {
        const int d = R.senders[q];
        const int64_t pd = S.rowPtr[d], pdend = S.rowPtr[d + 1];
        const int* first = rowInd + ctx.links.pos[d];
        const int* last = rowInd + R.sentEnd[q];
        const int* r1 = j0 == 0 ? first : std::lower_bound(first, last, R.k1 + j0);
        const int* r2 = j1 == R.nscol ? last : std::lower_bound(r1, last, R.k1 + j1);
        if (r1 == r2) continue;
        const int64_t p1 = r1 - rowInd;
        const int ndrow1 = static_cast<int>(r2 - r1), ndrow2 = static_cast<int>(pdend - p1);
        for (int i = 0; i < ndrow2; ++i) relative[i] = R.map[rowInd[p1 + i]];
        send_update(ctx.values + S.valuePtr[d] + (p1 - pd), static_cast<int>(pdend - pd), ndrow1,
                    ndrow2, S.ncols(d), relative, R.Ls, R.nsrow, w.update.data());
    }
}

// Columns of a piece of a supernode of nscol columns: all of them below kSplitColumns, else a
// quarter (a multiple of 16) but from kSplitColumns / 2 to kBlock, so that the few wide
// supernodes split among a few threads and the many narrow ones keep whole BLAS calls. It
// depends on nscol alone, never on the thread count.
int piece_width(int nscol)
{
    if (nscol < kSplitColumns) return nscol;
    const int quarter = ((nscol + 3) / 4 + 15) / 16 * 16;
    return std::min(kBlock, std::max(kSplitColumns / 2, quarter));
}

// Step 3: L_s by blocks of width columns. Returns 0, or the 1-based column of the first
// pivot that is not positive.
int factor_columns(double* Ls, int nscol, int nsrow, int width, const Runner& run)
{
    for (int c = 0; c < nscol; c += width)
    {
        const int nb = std::min(width, nscol - c);
        double* Lcc = Ls + c + static_cast<int64_t>(c) * nsrow;
        int info = 0;
        dpotrf_("L", &nb, Lcc, &nsrow, &info);
        if (info != 0) return c + info;
        const int below = nsrow - c - nb;  // L21 = A21 Lcc^-T, by pieces of rows
        run.Run((below + kTrsmRows - 1) / kTrsmRows,
                [&](int i, Workspace&)
                {
                    const int rows = std::min(kTrsmRows, below - i * kTrsmRows);
                    dtrsm_("R", "L", "T", "N", &rows, &nb, &kOne, Lcc, &nsrow,
                           Lcc + nb + i * kTrsmRows, &nsrow);
                });
        const int later = nscol - c - nb;  // A22 -= L21 L21^T, by pieces of columns
        run.Run((later + width - 1) / width,
                [&](int i, Workspace&)
                {
                    const int j0 = c + nb + i * width, cols = std::min(width, nscol - j0);
                    const int rows = nsrow - j0 - cols;
                    const double* Lj =
                        Ls + j0 + static_cast<int64_t>(c) * nsrow;  // rows j0.., block c
                    double* Ajj = Ls + j0 + static_cast<int64_t>(j0) * nsrow;
                    dsyrk_("L", "N", &cols, &nb, &kMinusOne, Lj, &nsrow, &kOne, Ajj, &nsrow);
                    if (rows > 0)
                        dgemm_("N", "T", &rows, &cols, &nb, &kMinusOne, Lj + cols, &nsrow, Lj,
                               &nsrow, &kOne, Ajj + cols, &nsrow);
                });
    }
    return 0;
}

// Factorizes the supernodes first .. last (a subtree, or the top supernodes when top is given:
// then only those with top[s] set), the pieces of each run by run on the work space w. A
// sender whose next receiver lies above last goes to w.deferred. Returns kNone, or the first
// failing pivot. Stops before any supernode above *stop (the smallest failing supernode found
// by any thread so far).
int factor_supernodes(Context& ctx, int first, int last, const char* top, Workspace& w,
                      const Runner& run, std::atomic<int>& stop)
{
    const Symbolic& S = ctx.S;
    const int* rowInd = S.rowInd.data();
    const int* superOf = ctx.layout.superOf.data();
    Links& links = ctx.links;
    int* map = w.map.data();
    int* senders = w.senders.data();
    int64_t* sentEnd = w.sentEnd.data();

    for (int s = first; s <= last; ++s)
    {
        if (top && !top[s]) continue;
        if (s > stop.load(std::memory_order_relaxed)) return kNone;
        const int k1 = S.superStart[s], k2 = S.superStart[s + 1], nscol = k2 - k1;
        const int64_t p1 = S.rowPtr[s];
        const int nsrow = static_cast<int>(S.rowPtr[s + 1] - p1);
        double* Ls = ctx.values + S.valuePtr[s];
        for (int i = 0; i < nsrow; ++i) map[rowInd[p1 + i]] = i;

        // -- 1. The senders, ascending, and where their rows in k1 .. k2-1 end --
        int count = 0;
        for (int d = links.head[s]; d != kNone; d = links.next[d]) senders[count++] = d;
        links.head[s] = kNone;
        std::sort(senders, senders + count);
        for (int q = 0; q < count; ++q)
        {
            const int64_t pdend = S.rowPtr[senders[q] + 1];
            int64_t p = links.pos[senders[q]];
            while (p < pdend && rowInd[p] < k2) ++p;
            sentEnd[q] = p;
        }

        // -- 2. Their updates, by blocks of columns of s --
        const Receiver R{k1, nscol, nsrow, Ls, map, senders, sentEnd, count};
        const int width = piece_width(nscol);
        run.Run((nscol + width - 1) / width, [&](int i, Workspace& own)
                { receive_columns(ctx, R, i * width, std::min(nscol, (i + 1) * width), own); });
        for (int q = 0; q < count; ++q)  // each sender on to its next receiver (D1, D2)
        {
            const int d = senders[q];
            if (sentEnd[q] == S.rowPtr[d + 1]) continue;
            links.pos[d] = sentEnd[q];
            const int receiver = superOf[rowInd[sentEnd[q]]];
            if (receiver <= last)
                links.link(d, receiver);
            else
                w.deferred.push_back(d);  // capacity reserved: no allocation here
        }

        // -- 3. Its own columns --
        const int failed = factor_columns(Ls, nscol, nsrow, width, run);
        if (failed != 0) return k1 + failed - 1;
        if (ctx.progress) ctx.progress->finished(s);

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

// Doubles of one work space's update block: an update of a block of at most kBlock columns,
// at most maxRows rows, and never more than the largest whole update (L2).
int64_t update_block_size(const Layout& layout)
{
    int64_t largest = 0;
    for (int64_t u : layout.updateInto) largest = std::max(largest, u);
    return std::min(largest, static_cast<int64_t>(layout.maxRows) * kBlock);
}

// Sizes w for S, keeping what it already holds (every entry is written before it is read).
void make_workspace(const Symbolic& S, const Layout& layout, Workspace& w)
{
    w.map.resize(S.n);
    w.relative.resize(layout.maxRows);
    w.senders.resize(S.nsuper);
    w.sentEnd.resize(S.nsuper);
    if (!w.update.Reserve(static_cast<size_t>(update_block_size(layout)))) throw std::bad_alloc();
    w.deferred.clear();
    w.deferred.reserve(S.nsuper);
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
        static_cast<int64_t>(sizeof(int)) * (S.n + layout.maxRows + 2 * S.nsuper) +
        static_cast<int64_t>(sizeof(int64_t)) * S.nsuper +
        static_cast<int64_t>(sizeof(double)) * update_block_size(layout);
    const int64_t links = static_cast<int64_t>(S.nsuper) * (2 * sizeof(int) + sizeof(int64_t));
    return perThread * plan.threads + links;
}

int factorize_numeric(const Symbolic& S, const Layout& layout, const Plan& plan, double* values,
                      std::vector<Workspace>& spaces, int& failedPivot)
{
    failedPivot = kNone;
    if (S.nsuper == 0) return 1;
    Links links;
    links.head.assign(S.nsuper, kNone);
    links.next.assign(S.nsuper, kNone);
    links.pos.assign(S.nsuper, 0);
    tarvel::detail::ProgressReport report("Cholesky", FlopsDone::total(S));
    std::unique_ptr<FlopsDone> progress;
    if (report.active()) progress = std::make_unique<FlopsDone>(S, report);
    Context ctx{S, layout, values, links, progress.get()};
    if (spaces.size() < static_cast<size_t>(plan.threads)) spaces.resize(plan.threads);
    for (int t = 0; t < plan.threads; ++t) make_workspace(S, layout, spaces[t]);
    const BlasThreads blas(1);
    Team team(plan.threads);
    std::atomic<int> stop(INT_MAX);  // smallest supernode that failed
    std::atomic<int> firstFailure(INT_MAX);

    // -- The subtrees, one thread each --
    auto subtree = [&](int i, int t)
    {
        const int root = plan.tasks[i];
        const int first = root - layout.subtreeSize[root] + 1;
        const Runner inLine{nullptr, &spaces, &spaces[t]};
        const int pivot = factor_supernodes(ctx, first, root, nullptr, spaces[t], inLine, stop);
        if (pivot == kNone) return;
        const int s = layout.superOf[pivot];
        for (int seen = stop.load(); s < seen && !stop.compare_exchange_weak(seen, s);)
        {
        }
        for (int seen = firstFailure.load();
             pivot < seen && !firstFailure.compare_exchange_weak(seen, pivot);)
        {
        }
    };
    team.Run(static_cast<int>(plan.tasks.size()), subtree);
    for (const Workspace& w : spaces)  // the senders into the top supernodes (D1)
    {
        for (int d : w.deferred) links.link(d, layout.superOf[S.rowInd[links.pos[d]]]);
    }

    // -- The top supernodes in order, their pieces over the team --
    // After a failure in a subtree, only the top supernodes before it: the failure reported is
    // the one a single thread meets first.
    const Runner shared{&team, &spaces, &spaces[0]};
    const int pivot =
        factor_supernodes(ctx, 0, S.nsuper - 1, plan.top.data(), spaces[0], shared, stop);
    failedPivot = pivot != kNone                   ? pivot
                  : firstFailure.load() != INT_MAX ? firstFailure.load()
                                                   : kNone;
    if (failedPivot != kNone) return 0;
    report.finish();
    return 1;
}

}  // namespace tarvel::direct
