// The graph measures of the reorderings, read from the label array directly (ReorderMat.cpp).
#pragma once

#include <tarvel/reorder/ReorderMat.h>

namespace tarvel::detail
{

struct GraphMeasures
{
    // B_f, GetB and Env without virtual dispatch.
    static int band_of(const CReorderMat& g, int i);
    static int bandwidth(const CReorderMat& g, int& row);
    static long long envelope(const CReorderMat& g, int* pMax);  // exact, 64-bit
};

}  // namespace tarvel::detail
