// The reporting side of TarvelProgress (platform/Progress.h): one object per phase, which copies
// the installed handler once and thins the calls to the bounded rate the header promises.
#pragma once

#include <tarvel/platform/Progress.h>

#include <climits>
#include <memory>

namespace tarvel::detail
{

class ProgressReport
{
public:
    // Starts a phase of total steps (reports done = 0 when a handler is installed).
    ProgressReport(const char* task, long total);
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

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
    void finish(int iteration = -1, double residual = 0.0);  // done = 1

private:
    long stride() const;
    void advance(long done);
    void advance_iteration(int iteration, double share, double residual);
    void call(double done, int iteration, double residual);

    std::shared_ptr<const TarvelProgressHandler> m_pHandler;  // null: nothing is reported
    const char* m_pTask;
    long m_nTotal;
    long m_nNext = LONG_MAX;  // the next step that reports
    double m_dLast = 0.0;     // the share last reported
    int m_nNextIteration = 1;
};

}  // namespace tarvel::detail
