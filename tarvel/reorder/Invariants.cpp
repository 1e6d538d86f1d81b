// Whole-object invariant check of the graph labelling.
#include <tarvel/reorder/ReorderMat.h>
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
