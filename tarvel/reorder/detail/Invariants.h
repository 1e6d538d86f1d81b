// Whole-object check of the graph's labelling invariant, for TARVEL_ASSERT after complete
// operations (linear in the number of DOFs).
#pragma once

class CReorderMat;

namespace tarvel::detail
{

// G3: the labels are a permutation of 0 .. n-1 (true for a graph without DOFs).
bool labels_are_permutation(const CReorderMat& graph);

}  // namespace tarvel::detail
