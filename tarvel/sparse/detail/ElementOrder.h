// The order in which element assembling visits an element's index list (AddValues of the
// sparse and system matrices).
#pragma once

#include <cstddef>
#include <memory>

namespace tarvel::detail
{

// The positions of an element's index list that hold a
// non-negative index, ordered by ascending index. Each pick scans all n positions for the
// smallest index above the previous pick, stopping early at previous + 1; a pick that finds no
// larger index (an index repeated in the element) repeats the previous pick's position, so the
// picked indices never decrease. Elements of up to kStackPositions positions use no heap.
class ElementOrder
{
public:
    ElementOrder(const long* dofs, int n)
    {
        int valid = 0;
        for (int p = 0; p < n; ++p)
            if (dofs[p] >= 0) ++valid;
        m_nValid = valid;
        if (valid > kStackPositions)
        {
            m_heap.reset(new int[static_cast<std::size_t>(valid)]);
            m_pOrder = m_heap.get();
        }
        long previous = -1;
        int pick = 0;  // position of the latest pick; kept when a scan finds nothing (repeats)
        for (int t = 0; t < valid; ++t)
        {
            long best = -1;
            for (int p = 0; p < n; ++p)
            {
                const long d = dofs[p];
                if (d > previous && (best < 0 || d < best))
                {
                    best = d;
                    pick = p;
                    if (d == previous + 1) break;
                }
            }
            m_pOrder[t] = pick;
            if (best >= 0) previous = best;
        }
    }
    ElementOrder(const ElementOrder&) = delete;
    ElementOrder& operator=(const ElementOrder&) = delete;

    int size() const { return m_nValid; }                // positions with an index >= 0
    int operator[](int t) const { return m_pOrder[t]; }  // the t-th position picked

private:
    static constexpr int kStackPositions = 64;
    int m_stack[kStackPositions];
    std::unique_ptr<int[]> m_heap;
    int* m_pOrder = m_stack;
    int m_nValid = 0;
};

}  // namespace tarvel::detail
