// tarvel-fem's progress bar: the library's progress (TarvelSetProgressHandler) drawn as one line
// on standard error, redrawn in place, and erased when the phase ends, so that the report on
// standard output reads as without it. Drawn only when standard error is a terminal (demo_main
// decides: logs and pipes stay clean).
//
// The line: task, a bar of kBarWidth cells, the share done and the seconds since the phase
// began (wall clock); for the conjugate gradients also the iteration and the residual measure:
//   "  Cholesky        [##########..........]  50%    3.2 s"
//   "  ConjGradient2   [####................]  21%    1.0 s   iteration 123, residual 1.2e-10"
#pragma once

#include <tarvel/Tarvel.h>

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>

namespace tarvel_demo
{

constexpr int kBarWidth = 20;

std::string progress_line(const TarvelProgress& p, double seconds);

// Installed for its lifetime (the previous handler given back afterwards).
class ProgressBar
{
public:
    explicit ProgressBar(std::ostream& err);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    void draw(const TarvelProgress& p);

    std::mutex m_guard;  // a phase running on several threads may report from any of them
    std::ostream& m_err;
    TarvelProgressHandler m_previous;
    std::chrono::steady_clock::time_point m_start;
    bool m_drawn = false;
};

}  // namespace tarvel_demo
