// The progress bar (contract in ProgressBar.h).
#include "ProgressBar.h"

#include "Print.h"

#include <cmath>

namespace tarvel_demo
{

std::string progress_line(const TarvelProgress& p, double seconds)
{
    const int filled = static_cast<int>(std::floor(p.done * kBarWidth));
    std::string line =
        format("  %-15s [%s%s] %3d%% %6.1f s", p.task,
               std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(),
               static_cast<int>(std::floor(100.0 * p.done)), seconds);
    if (p.iteration >= 0) line += format("   iteration %d, residual %.1e", p.iteration, p.residual);
    return line;
}

ProgressBar::ProgressBar(std::ostream& err) : m_err(err)
{
    m_previous = TarvelSetProgressHandler([this](const TarvelProgress& p) { draw(p); });
}

ProgressBar::~ProgressBar()
{
    TarvelSetProgressHandler(m_previous);
    if (m_drawn) m_err << "\r\033[K" << std::flush;
}

void ProgressBar::draw(const TarvelProgress& p)
{
    const std::lock_guard<std::mutex> lock(m_guard);
    const auto now = std::chrono::steady_clock::now();
    if (p.done == 0.0 && p.iteration < 0) m_start = now;  // a phase begins
    if (p.done >= 1.0)  // it ends: erase the line, for the phase line on standard output
    {
        if (m_drawn) m_err << "\r\033[K" << std::flush;
        m_drawn = false;
        return;
    }
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    m_err << '\r' << progress_line(p, seconds) << "\033[K" << std::flush;
    m_drawn = true;
}

}  // namespace tarvel_demo
