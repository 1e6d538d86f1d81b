// Minutes and seconds of the library's timing reports, shared by every report text.
#pragma once

namespace tarvel::detail
{

// A time s in seconds as the reports show it: minutes = trunc(s) / 60 (integer division);
// seconds = (trunc(100 s) mod 6000) * 0.01f, formed in single precision. The pair fills the
// fields "%u m %2.2f s".
struct ReportTime
{
    unsigned minutes;
    float seconds;
};

inline ReportTime report_time(double s)
{
    const long whole = static_cast<long>(s);
    const long hundredths = static_cast<long>(s * 100.0);
    return ReportTime{static_cast<unsigned>(whole / 60),
                      static_cast<float>(hundredths % 6000) * 0.01f};
}

// Elapsed seconds between two readings of TarvelClock (1000 ticks per second).
inline double ticks_to_seconds(long ticks) { return static_cast<double>(ticks) * 0.001; }

}  // namespace tarvel::detail
