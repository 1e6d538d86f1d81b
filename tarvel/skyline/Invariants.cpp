// Whole-object invariant check of the skyline profile.
#include <tarvel/skyline/SkylineMatrix.h>
#include <tarvel/skyline/detail/Invariants.h>

bool tarvel::detail::profile_is_consistent(const CSkylineMatrix& A)
{
    const int n = A.m_nOrder;
    if (n <= 0) return true;
    if (!A.m_pHeight || !A.m_pDiagIdx || !A.m_ppDiag) return false;
    long long total = 0;
    for (int j = 0; j < n; ++j)
    {
        const int h = A.m_pHeight[j];
        if (h < 1 || h > j + 1) return false;
        total += h;
        if (A.m_pDiagIdx[j] != total - 1) return false;
        if (A.m_pValues && A.m_ppDiag[j] != A.m_pValues + A.m_pDiagIdx[j]) return false;
    }
    return total <= A.m_nValues;  // more values than heights wastes, fewer would overrun
}
