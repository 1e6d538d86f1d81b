// The tests of stored values: the values never stored (zero and NaN) and the tolerant
// comparison behind NumZeros.
#pragma once

#include <cmath>

namespace tarvel::detail
{

// Zero and NaN: the values that the plain Add, the copies and the eliminations skip. (|v| > 0
// fails exactly for +-0.0 and NaN; the quiet comparison raises no flag for a NaN.)
inline bool is_zero_or_nan(double v) { return !std::isgreater(std::fabs(v), 0.0); }

// NearlyEqual(x, y, tol), with e = tol * DBL_EPSILON: for |y| >= 1 a relative window
// [(1 - e) y, (1 + e) y], both ends included when (1 - e) y is the smaller (or equal) bound and
// excluded when it is the larger; for |y| < 1 the absolute window (y - e, y + e), or, for e not
// positive, [y + e, y - e]. A NaN x is never nearly equal.
inline bool nearly_equal(double x, double y, double tol)
{
    const double e = tol * 2.220446049250313e-16;
    if (std::fabs(y) >= 1.0)
    {
        const double lo = (1.0 - e) * y;
        const double hi = (1.0 + e) * y;
        if (lo <= hi) return lo <= x && x <= hi;
        return hi < x && x < lo;
    }
    if (y - e < x && x < y + e) return true;
    return !(e > 0.0) && y + e <= x && x <= y - e;
}

}  // namespace tarvel::detail
