#include <tarvel/core/VirtMat.h>

IMPLEMENT_DYNAMIC(CVirtMat, CObject)
IMPLEMENT_DYNAMIC(CVirtRealMat, CVirtMat)

std::uint32_t CVirtMat::m_Flops = 0;
bool CVirtMat::m_bSym = false;

int CVirtRealMat::Cholesky_Solve(CVirtMat*, double&) { return 0; }
