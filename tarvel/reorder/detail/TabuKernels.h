// The tabu-search kernels, plain and fast (TabuSearch.cpp): TabuReorder from after the
// seeding, TabuReorder2 whole.
#pragma once

#include <tarvel/reorder/ReorderMat.h>

namespace tarvel::detail
{

// Numbers of the tabu search kept by its kernel for the report.
struct TabuCounts
{
    int newB;
    long long newEnv;
    int switches;
};

struct TabuKernels
{
    static TabuCounts tabu_1_plain(CReorderMat& g, int row, int oldB, long long oldEnv);
    static bool tabu_1_fast(CReorderMat& g, int row, int oldB, long long oldEnv, TabuCounts& out);
    static void tabu_2_plain(CReorderMat& g);
    static bool tabu_2_fast(CReorderMat& g);
    // Middle label of k's higher neighbours (mid without the DOF lookup).
    static int mid_label(const CReorderMat& g, int k);
    static int closest_to_mid(const CReorderMat& g, int k);
};

}  // namespace tarvel::detail
