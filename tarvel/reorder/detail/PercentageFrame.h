// The frame of the backward labellings and the profile reductions (BackwardLabelling.cpp).
#pragma once

#include <tarvel/reorder/ReorderMat.h>

#include <functional>

namespace tarvel::detail
{

// Script file, "before", old measures, labelling, new measures, percentage report, "after",
// trailer, close (the labelling runs whether or not there is a script).
void run_percentage_frame(CReorderMat& g, const std::function<void(CReorderMat&)>& label);

}  // namespace tarvel::detail
