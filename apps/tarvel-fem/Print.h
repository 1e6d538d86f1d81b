// printf-style formatting onto a std::ostream, for the demo's tables and phase lines.
#pragma once

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ostream>
#include <string>

namespace tarvel_demo
{

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline std::string
format(const char* fmt, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return n < 0 ? std::string() : std::string(buffer, std::min<std::size_t>(n, sizeof buffer - 1));
}

// One timed phase: "  <what, padded> <seconds> s   <detail>", flushed at once so that a pipe
// shows a long run's progress.
inline void phase(std::ostream& out, const std::string& what, double seconds,
                  const std::string& detail = "")
{
    out << format("  %-30s %8.3f s", what.c_str(), seconds);
    if (!detail.empty()) out << "   " << detail;
    out << std::endl;
}

// Processor seconds since a TarvelClock() reading (1000 ticks per second).
inline double seconds_since(long start)
{
    return static_cast<double>(TarvelClock() - start) * 0.001;
}

}  // namespace tarvel_demo
