// Whole-object checks of the storage invariants stated in the headers, for TARVEL_ASSERT after
// complete operations (each is linear in the size of the object).
#pragma once

class CReorderMat;
class CSkylineMatrix;

namespace tarvel::detail
{

// G3: the labels are a permutation of 0 .. n-1 (true for a graph without DOFs).
bool labels_are_permutation(const CReorderMat& graph);
// K1-K3: every height at least 1 and at most its column number + 1, column 0 of height 1, the
// diagonal indices the running sums of the heights, the diagonal addresses on them, m_nValues
// at least their total.
bool profile_is_consistent(const CSkylineMatrix& A);

}  // namespace tarvel::detail
