// The graph's lists in transposed form, the bookkeeping of the fast kernels (ReorderMat.cpp).
#pragma once

#include <tarvel/reorder/ReorderMat.h>

#include <vector>

namespace tarvel::detail
{

// The DOFs whose list holds DOF j, each as often as it holds j, are idx[start[j] .. start[j+1]).
// For a graph built by InsertDOFs this is the graph itself; the kernels use it so that their
// bookkeeping is exact for any list contents.
struct Transpose
{
    std::vector<int> start;
    std::vector<int> idx;
    explicit Transpose(const CReorderMat& g);  // may throw std::bad_alloc
};

}  // namespace tarvel::detail
