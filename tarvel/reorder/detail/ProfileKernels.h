// The profile-reduction kernels (ProfileReduction.cpp).
#pragma once

#include <tarvel/reorder/ReorderMat.h>

#include <vector>

namespace tarvel::detail
{

// The labels into `label` (resized to n); false when the workspace cannot be obtained.
struct ProfileKernels
{
    static bool rev_cuthill_mckee(const CReorderMat& g, std::vector<long>& label);
    static bool sloan(const CReorderMat& g, int distanceWeight, int degreeWeight,
                      std::vector<long>& label);
    // Lowers the envelope of the permutation `label` by exchanges and shifts of nearby labels,
    // reading at most about `budget` list entries.
    static bool refine_envelope(const CReorderMat& g, std::vector<long>& label, long long budget);
};

}  // namespace tarvel::detail
