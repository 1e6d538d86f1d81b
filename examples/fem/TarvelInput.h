// The library's inputs made from a FemProblem: the element loop of AddValues, the right-hand
// side as an n x 1 CMatrix, the prescribed DOFs as the two CVectors that SymUnifyAndZero and
// UnifyAndZero2 take (index and value at equal positions).
#pragma once

#include "fem/Problems.h"

#include <tarvel/Tarvel.h>

namespace tarvel_fem
{

// Calls K.AddValues once per element with its DOF list and matrix (P1, P2).
template <class Matrix> void assemble(Matrix& K, FemProblem& p)
{
    for (long e = 0; e < p.num_elements(); ++e)
        K.AddValues(p.dofs(e), p.matrix(e), p.dofs_per_element);
}

// The right-hand side as one column: b(i, 0) = values[i].
inline CMatrix column_matrix(const std::vector<double>& values)
{
    const int n = static_cast<int>(values.size());
    CMatrix b(n, 1, true, 0.0);
    for (int i = 0; i < n; ++i) b(i, 0) = values[i];
    return b;
}

inline CMatrix load_matrix(const FemProblem& p) { return column_matrix(p.load); }

// dofs[t] = fixed_dofs[t] (a DOF number held as a double, exact below 2^53), values[t] its value.
inline void prescribed_vectors(const FemProblem& p, CVector& dofs, CVector& values)
{
    const int m = static_cast<int>(p.fixed_dofs.size());
    dofs = CVector(m, true, 0.0);
    values = CVector(m, true, 0.0);
    for (int t = 0; t < m; ++t)
    {
        dofs[t] = static_cast<double>(p.fixed_dofs[t]);
        values[t] = p.fixed_values[t];
    }
}

}  // namespace tarvel_fem
