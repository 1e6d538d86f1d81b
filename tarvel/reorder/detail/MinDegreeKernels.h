// The minimum-degree kernels, plain and fast (MinimumDegree.cpp). Labelling only: the frames
// are in the public operations.
#pragma once

#include <tarvel/reorder/ReorderMat.h>

#include <vector>

namespace tarvel::detail
{

struct MinDegreeKernels
{
    static void min_degree_1_plain(CReorderMat& g);
    static bool min_degree_1_fast(CReorderMat& g);
    static void min_degree_2_plain(CReorderMat& g);
    static bool min_degree_2_fast(CReorderMat& g);
    static void min_degree_3_plain(CReorderMat& g);
    static bool min_degree_3_fast(CReorderMat& g);
    // From the complemented labels to the final ones; false when an allocation failed.
    static bool min_degree_4_plain(CReorderMat& g);
    // 1: done; 0: could not start (nothing changed); -1: an allocation failed during the run.
    static int min_degree_4_fast(CReorderMat& g);
    // Union of the lists in place, with a membership mark per DOF instead of a search.
    static int union_marked(CReorderMat& g, int p, int i, std::vector<unsigned>& mark,
                            unsigned& stamp, std::vector<int>& capacity);
};

}  // namespace tarvel::detail
