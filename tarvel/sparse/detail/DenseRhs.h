// The dense right-hand sides of the sparse solvers, behind the matrix interface.
#pragma once

#include <tarvel/core/Matrix.h>

namespace tarvel::detail
{

// The right-hand sides of the solvers: a dense matrix behind the interface pointer, or null
// when it is not one (then the solvers have nothing to work on).
inline CMatrix* dense_rhs(CVirtMat* B) { return dynamic_cast<CMatrix*>(B); }

}  // namespace tarvel::detail
