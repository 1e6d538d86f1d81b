// TarvelSetProgressHandler and the phases' reports (contract in Progress.h). The handler is held
// as AfxMessageBox holds its own (MessageBox.cpp): a shared pointer exchanged under a lock and
// copied by each phase; an atomic flag spares a phase the lock while no handler is installed.
#include <tarvel/platform/detail/Progress.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace
{

struct InstalledProgress
{
    std::mutex guard;
    std::shared_ptr<const TarvelProgressHandler> handler;
    std::atomic<bool> any{false};
};

InstalledProgress& installed()
{
    static InstalledProgress* const state = new InstalledProgress;  // never destroyed
    return *state;
}

}  // namespace

TarvelProgressHandler TarvelSetProgressHandler(TarvelProgressHandler handler)
{
    std::shared_ptr<const TarvelProgressHandler> made;
    if (handler) made = std::make_shared<const TarvelProgressHandler>(std::move(handler));
    InstalledProgress& state = installed();
    std::unique_lock<std::mutex> lock(state.guard);
    state.any.store(made != nullptr, std::memory_order_relaxed);
    std::shared_ptr<const TarvelProgressHandler> previous = std::exchange(state.handler, made);
    lock.unlock();
    return previous ? *previous : TarvelProgressHandler();
}

namespace tarvel::detail
{

ProgressReport::ProgressReport(const char* task, long total) : m_pTask(task), m_nTotal(total)
{
    InstalledProgress& state = installed();
    if (!state.any.load(std::memory_order_relaxed)) return;
    {
        const std::lock_guard<std::mutex> lock(state.guard);
        m_pHandler = state.handler;
    }
    if (!m_pHandler) return;
    call(0.0, -1, 0.0);
    m_nNext = stride();
}

long ProgressReport::stride() const
{
    return std::max(1L, (m_nTotal + kProgressSteps - 1) / kProgressSteps);  // ceil(total / steps)
}

void ProgressReport::advance(long done)
{
    // Reached only with a handler (m_nNext stays LONG_MAX without one) and done >= m_nNext.
    const double share = m_nTotal > 0 ? std::min(1.0, static_cast<double>(done) / m_nTotal) : 1.0;
    call(share, -1, 0.0);
    m_nNext = done + stride();  // reports at least total / kProgressSteps steps apart
}

void ProgressReport::advance_iteration(int iteration, double share, double residual)
{
    share = std::clamp(share, m_dLast, 1.0);  // never backwards (NaN stays where it was)
    if (!(share >= m_dLast + 1.0 / kProgressSteps) && iteration < m_nNextIteration) return;
    if (iteration >= m_nNextIteration) m_nNextIteration = std::max(1, 2 * iteration);
    call(share, iteration, residual);
}

void ProgressReport::finish(int iteration, double residual)
{
    if (m_pHandler) call(1.0, iteration, residual);
    m_nNext = LONG_MAX;
}

void ProgressReport::call(double done, int iteration, double residual)
{
    if (!(done >= m_dLast)) done = m_dLast;
    m_dLast = done;
    (*m_pHandler)(TarvelProgress{m_pTask, done, iteration, residual});
}

}  // namespace tarvel::detail
