// Whole-object check of the profile's storage invariants, for TARVEL_ASSERT after complete
// operations (linear in the order of the matrix).
#pragma once

class CSkylineMatrix;

namespace tarvel::detail
{

// K1-K3: every height at least 1 and at most its column number + 1, column 0 of height 1, the
// diagonal indices the running sums of the heights, the diagonal addresses on them, m_nValues
// at least their total.
bool profile_is_consistent(const CSkylineMatrix& A);

}  // namespace tarvel::detail
