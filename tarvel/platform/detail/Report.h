// Timing reports: clock ticks to seconds, the minutes-and-seconds fields, the time argument of
// the solvers, and the message box that shows a report.
//
// TarvelClock ticks 1000 times per second. Its differences become seconds in one of two ways,
// which differ in the last bit for some counts (570 ticks: 0.57 by division, 0.5700000000000001
// by product) and therefore, after the truncation of report_time, in the hundredths a report
// shows (0.56 against 0.57):
//   seconds_by_division  ticks / 1000.0: the time arguments of the direct solvers, of the
//                        substitutions, DiagMult and IsLower (SecondsArgument), and the phase
//                        times of the sparse LU_Solve report;
//   seconds_by_product   ticks * 0.001: every other report (conjugate gradients, Gauss-Seidel,
//                        reorderings, the skyline matrix) and the seconds that Mirror,
//                        SolveAxEqb and ChainMult return.
#pragma once

#include <tarvel/platform/Clock.h>

namespace tarvel::detail
{

constexpr double kTicksPerSecond = 1000.0;
constexpr double kSecondsPerTick = 0.001;

inline double seconds_by_division(double ticks) { return ticks / kTicksPerSecond; }
inline double seconds_by_product(double ticks) { return ticks * kSecondsPerTick; }

// A time s in seconds as the reports show it, the pair that fills "%u m %2.2f s":
// minutes = trunc(s) / 60 (integer division); seconds = (trunc(100 s) mod 6000) * 0.01f, formed
// in single precision and widened for printing.
struct ReportTime
{
    unsigned minutes;
    double seconds;
};

inline ReportTime report_time(double s)
{
    const long whole = static_cast<long>(s);
    const long hundredths = static_cast<long>(s * 100.0);
    return ReportTime{static_cast<unsigned>(whole / 60),
                      static_cast<double>(static_cast<float>(hundredths % 6000) * 0.01f)};
}

// The time argument of the solvers and substitutions: a non-null target receives 1000.0 (the
// clock's ticks per second) at once and, when the object ends, the elapsed ticks divided by
// that value, the elapsed seconds.
class SecondsArgument
{
public:
    explicit SecondsArgument(double* seconds) : m_pSeconds(seconds)
    {
        if (m_pSeconds)
        {
            *m_pSeconds = kTicksPerSecond;
            m_nStart = TarvelClock();
        }
    }
    ~SecondsArgument()
    {
        if (m_pSeconds) *m_pSeconds = static_cast<double>(TarvelClock() - m_nStart) / *m_pSeconds;
    }
    SecondsArgument(const SecondsArgument&) = delete;
    SecondsArgument& operator=(const SecondsArgument&) = delete;

private:
    double* m_pSeconds;
    long m_nStart = 0;
};

// Formats a report with printf rules and shows it in a message box with an OK button; the
// caller continues when the box is closed.
void show_report(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace tarvel::detail
