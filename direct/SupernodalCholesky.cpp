// CSupernodalCholesky: the calling order, the state between calls, the memory check, the
// timing report and the failure texts; the analysis is in Analysis.cpp, the numeric
// factorization in Numeric.cpp and the substitutions in Solve.cpp.
#include "detail/MatrixEntries.h"
#include "detail/Numeric.h"
#include "detail/Symbolic.h"

#include <tarvel/core/Matrix.h>
#include <tarvel/platform/Clock.h>
#include <tarvel/platform/MessageBox.h>
#include <tarvel/platform/detail/Report.h>
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/sparse/SparseMatrix.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <sys/resource.h>
#include <tarvel-direct/SupernodalCholesky.h>
#include <thread>
#include <unistd.h>

namespace
{

using tarvel::direct::OrderingChoice;

OrderingChoice choice_of(CSupernodalCholesky::Ordering o)
{
    switch (o)
    {
    case CSupernodalCholesky::orderAMD:
        return OrderingChoice::amd;
    case CSupernodalCholesky::orderMETIS:
        return OrderingChoice::metis;
    case CSupernodalCholesky::orderNatural:
        return OrderingChoice::natural;
    case CSupernodalCholesky::orderLabels:
        return OrderingChoice::labels;
    default:
        return OrderingChoice::automatic;
    }
}

// Bytes this process may still be given, as far as the system tells: the physical memory and
// the address-space limit, the smaller of the two; -1 when neither is known.
long long memory_available()
{
    long long limit = -1;
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) limit = static_cast<long long>(pages) * pageSize;
    rlimit r{};
    if (::getrlimit(RLIMIT_AS, &r) == 0 && r.rlim_cur != RLIM_INFINITY)
    {
        const long long as = static_cast<long long>(r.rlim_cur);
        limit = limit < 0 ? as : std::min(limit, as);
    }
    return limit;
}

CString format_text(const char* format, long long a, long long b)
{
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return CString(text);
}

}  // namespace

// The analysed pattern (Y1-Y7), what the factorization derives from it, the factor values and
// the state of the calling order:
//  C1  analysed: symbolic and layout describe the last pattern given to a successful Analyze
//  C2  factorized: values holds L for that pattern (valuePtr[nsuper] entries); cleared by a
//      failed Analyze or Factorize
struct CSupernodalCholesky::Impl
{
    tarvel::direct::Symbolic symbolic;
    tarvel::direct::Layout layout;
    tarvel::direct::LargeArray values;
    std::vector<tarvel::direct::Workspace> spaces;  // kept for the next factorization
    std::vector<int> labels;
    Ordering ordering = orderAuto;
    int threads = 1;
    bool analysed = false;    // C1
    bool factorized = false;  // C2
    CString failure;

    int fail(const CString& why)
    {
        failure = why;
        factorized = false;
        return -1;
    }
    int fail_solve(const CString& why)  // the factor stays usable
    {
        failure = why;
        return -1;
    }
    int factorize(const CSparseMatrix& A);
    int solve(double* B, int rows, int k);
};

CSupernodalCholesky::CSupernodalCholesky() : m_pImpl(std::make_unique<Impl>()) {}
CSupernodalCholesky::~CSupernodalCholesky() = default;
CSupernodalCholesky::CSupernodalCholesky(CSupernodalCholesky&&) noexcept = default;
CSupernodalCholesky& CSupernodalCholesky::operator=(CSupernodalCholesky&&) noexcept = default;

void CSupernodalCholesky::SetOrdering(Ordering o) { m_pImpl->ordering = o; }

void CSupernodalCholesky::SetLabels(const CReorderMat& graph)
{
    try
    {
        m_pImpl->labels.assign(graph.m_pLabel, graph.m_pLabel + graph.m_nCount);
    }
    catch (const std::exception&)  // std::bad_alloc
    {
        m_pImpl->labels.clear();  // Analyze then fails: the labelling does not fit the matrix
    }
    m_pImpl->ordering = orderLabels;
}

void CSupernodalCholesky::SetThreads(int n)
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    m_pImpl->threads = n > 0 ? n : std::max(1, cores);
}

int CSupernodalCholesky::Analyze(const CSparseMatrix& A)
{
    Impl& m = *m_pImpl;
    m.analysed = m.factorized = false;
    try
    {
        tarvel::direct::Symbolic symbolic;
        CString why;
        if (!tarvel::direct::AnalyzePattern(A, choice_of(m.ordering),
                                            m.ordering == orderLabels ? &m.labels : nullptr,
                                            symbolic, why))
            return m.fail(why);
        tarvel::direct::build_layout(symbolic, m.layout);
        m.symbolic = std::move(symbolic);
    }
    catch (const std::exception&)
    {
        return m.fail("out of memory in the analysis");
    }
    m.analysed = true;
    m.failure = "";
    return 1;
}

// Steps: 1. the plan for the threads and the memory check; 2. the factor's storage, zeroed;
// 3. A's entries scattered into it, its pattern checked against the analysed one (Y6, Y7);
// 4. the numeric factorization; 5. the report.
int CSupernodalCholesky::Impl::factorize(const CSparseMatrix& A)
{
    using namespace tarvel::direct;
    const Symbolic& S = symbolic;
    const long start = TarvelClock();
    factorized = false;

    // -- 1. --
    Plan plan;
    plan_threads(S, layout, threads, plan);
    const int64_t entries = S.valuePtr.empty() ? 0 : S.valuePtr[S.nsuper];
    const long long need = entries * static_cast<long long>(sizeof(double)) +
                           factorization_workspace_bytes(S, layout, plan);
    const long long available = memory_available();
    if (available >= 0 && need > available)
        return fail(format_text("out of memory: the factorization needs %lld bytes, %lld available",
                                need, available));

    // -- 2. --
    if (!values.Reserve(static_cast<size_t>(entries)))
        return fail(format_text("out of memory: the factor's %lld bytes could not be had",
                                entries * static_cast<long long>(sizeof(double)), 0));
    double* L = values.data();
    std::fill(L, L + entries, 0.0);

    // -- 3. --
    const size_t count = S.entryMap.size();
    size_t t = 0;
    bool same = tarvel::detail::analysed_order(A) == S.n;
    tarvel::detail::for_each_upper_entry(A, S.n,
                                         [&](int i, int j, const CSparseMatrix::cell* c)
                                         {
                                             if (!same) return;
                                             same = t < count && S.entryRow[t] == i &&
                                                    S.entryCol[t] == j;
                                             if (same) L[S.entryMap[t++]] += c->m_dValue;
                                         });
    if (!same || t != count) return fail("pattern differs from the analysed one");

    // -- 4. --
    int pivot = -1;
    const int status = factorize_numeric(S, layout, plan, L, spaces, pivot);
    if (status == 0)
        return fail(format_text("not positive definite at column %lld", S.perm[pivot], 0));
    factorized = true;
    failure = "";

    // -- 5. --
    using namespace tarvel::detail;
    const ReportTime time = report_time(seconds_by_product(TarvelClock() - start));
    char text[256];
    std::snprintf(text, sizeof text,
                  "Used time:\r\n Factorizing  :   %u m %2.2f s\r\n Size factor  :   %lld\r\n "
                  "Flops        :   %10.3e",
                  time.minutes, time.seconds, static_cast<long long>(S.factorEntries),
                  S.factorFlops);
    AfxMessageBox(text, MB_OK);
    return 1;
}

int CSupernodalCholesky::Factorize(const CSparseMatrix& A)
{
    Impl& m = *m_pImpl;
    if (!m.analysed) return m.fail("no analysis: Analyze comes before Factorize");
    try
    {
        return m.factorize(A);
    }
    catch (const std::exception&)  // std::bad_alloc, or std::system_error from the threads
    {
        m.values.Release();
        m.spaces.clear();
        return m.fail("out of memory in the factorization");
    }
}

// B (rows x k, row by row) becomes the solution of A X = B: pivot order in, L L^T X = B, the
// caller's order out (row i of X is row perm[i] of B).
int CSupernodalCholesky::Impl::solve(double* B, int rows, int k)
{
    const tarvel::direct::Symbolic& S = symbolic;
    if (!factorized) return fail_solve("no factorization: Factorize comes before Solve");
    if (rows != S.n)
        return fail_solve(format_text("%lld right-hand side rows for %lld equations", rows, S.n));
    if (S.n == 0 || k == 0) return 1;
    try
    {
        // the pivot-order copy is written whole before it is read: no zeroing, huge pages
        tarvel::direct::LargeArray copy;
        if (!copy.Reserve(static_cast<size_t>(S.n) * k))
            return fail_solve("out of memory in the solve");
        double* X = copy.data();
        for (int i = 0; i < S.n; ++i)
            std::copy_n(B + static_cast<int64_t>(S.perm[i]) * k, k,
                        X + static_cast<int64_t>(i) * k);
        tarvel::direct::solve_factored(S, values.data(), X, k, threads);
        for (int i = 0; i < S.n; ++i)
            std::copy_n(X + static_cast<int64_t>(i) * k, k,
                        B + static_cast<int64_t>(S.perm[i]) * k);
    }
    catch (const std::exception&)  // std::bad_alloc
    {
        return fail_solve("out of memory in the solve");
    }
    return 1;
}

int CSupernodalCholesky::Solve(CMatrix& B) const
{
    return m_pImpl->solve(B.m_pData, B.GetRows(), B.GetColumns());
}

int CSupernodalCholesky::Solve(CVector& b) const { return m_pImpl->solve(b.m_pData, b.m_nSize, 1); }

LONGLONG CSupernodalCholesky::FactorEntries() const
{
    return m_pImpl->analysed ? m_pImpl->symbolic.factorEntries : 0;
}

double CSupernodalCholesky::FactorFlops() const
{
    return m_pImpl->analysed ? m_pImpl->symbolic.factorFlops : 0.0;
}

CString CSupernodalCholesky::LastFailure() const { return m_pImpl->failure; }
