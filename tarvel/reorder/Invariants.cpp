// Whole-object invariant checks of the graph labelling and the skyline profile.
#include <tarvel/reorder/ReorderMat.h>
#include <tarvel/reorder/SkylineMatrix.h>
#include <tarvel/reorder/detail/Invariants.h>

#include <vector>

bool tarvel::detail::labels_are_permutation(const CReorderMat& graph)
{
    const int n = graph.m_nCount;
    if (n <= 0) return true;
    if (!graph.m_pLabel) return false;
    std::vector<bool> seen(static_cast<std::size_t>(n), false);
    for (int i = 0; i < n; ++i)
    {
        const long label = graph.m_pLabel[i];
        if (label < 0 || label >= n || seen[static_cast<std::size_t>(label)]) return false;
        seen[static_cast<std::size_t>(label)] = true;
    }
    return true;
}

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
