// The backward-labelling kernels, plain and fast (BackwardLabelling.cpp).
#pragma once

#include <tarvel/reorder/ReorderMat.h>

namespace tarvel::detail
{

// m_pTabu must exist. False, nothing changed, when the kernel cannot obtain its workspace.
struct BackwardKernels
{
    static bool hager_1_plain(CReorderMat& g);
    static bool hager_1_fast(CReorderMat& g);
    static bool hager_2_plain(CReorderMat& g);
    static bool hager_2_fast(CReorderMat& g);
    static bool hager_3_plain(CReorderMat& g);
    static bool hager_3_fast(CReorderMat& g);
    static bool ensure_tabu(CReorderMat& g) { return g.ensure_tabu(); }
};

}  // namespace tarvel::detail
