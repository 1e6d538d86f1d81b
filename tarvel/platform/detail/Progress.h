// The reporting side of TarvelProgress (platform/Progress.h): one object per phase, which copies
// the installed handler once and thins the calls to the bounded rate the header promises.
// Inline throughout, so that the components built on the library (Tarvel::Direct) report through
// the same object as the library's own phases.
#pragma once

#include <tarvel/platform/Progress.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace tarvel::detail
{

class ProgressReport
{
public:
    // Starts a phase of total steps (reports done = 0 when a handler is installed).
    ProgressReport(const char* task, long total)
        : m_pHandler(TarvelGetProgressHandler()), m_pTask(task), m_nTotal(total)
    {
        if (!m_pHandler) return;
        call(0.0, -1, 0.0);
        m_nNext = stride();
    }
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    bool active() const { return m_pHandler != nullptr; }  // a handler was installed at the start

    // Step `done` of total reached: one comparison unless a report is due.
    void step(long done)
    {
        if (done >= m_nNext) advance(done);
    }
    // Iteration `iteration` reached with share done (clipped to 0 .. 1) and its residual.
    void iterate(int iteration, double share, double residual)
    {
        if (m_pHandler) advance_iteration(iteration, share, residual);
    }
    void finish(int iteration = -1, double residual = 0.0)  // done = 1
    {
        if (m_pHandler) call(1.0, iteration, residual);
        m_nNext = LONG_MAX;
    }

private:
    long stride() const
    {
        return std::max(1L, (m_nTotal + kProgressSteps - 1) / kProgressSteps);  // ceil
    }
    void advance(long done)
    {
        // Reached only with a handler (m_nNext stays LONG_MAX without one) and done >= m_nNext.
        const double share =
            m_nTotal > 0 ? std::min(1.0, static_cast<double>(done) / m_nTotal) : 1.0;
        call(share, -1, 0.0);
        m_nNext = done + stride();  // reports at least total / kProgressSteps steps apart
    }
    void advance_iteration(int iteration, double share, double residual)
    {
        share = std::clamp(share, m_dLast, 1.0);  // never backwards (NaN stays where it was)
        if (!(share >= m_dLast + 1.0 / kProgressSteps) && iteration < m_nNextIteration) return;
        if (iteration >= m_nNextIteration) m_nNextIteration = std::max(1, 2 * iteration);
        call(share, iteration, residual);
    }
    void call(double done, int iteration, double residual)
    {
        if (!(done >= m_dLast)) done = m_dLast;
        m_dLast = done;
        (*m_pHandler)(TarvelProgress{m_pTask, done, iteration, residual});
    }

    std::shared_ptr<const TarvelProgressHandler> m_pHandler;  // null: nothing is reported
    const char* m_pTask;
    long m_nTotal;
    long m_nNext = LONG_MAX;  // the next step that reports
    double m_dLast = 0.0;     // the share last reported
    int m_nNextIteration = 1;
};

}  // namespace tarvel::detail
