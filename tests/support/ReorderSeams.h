// The kernel path and TabuReorder's seed as the tests choose them. ReorderSeams.cpp defines
// tarvel::detail::reorder_path and tarvel::detail::tabu_seed, which the test programs link in
// place of the library's (tarvel/reorder/ReorderSurroundings.cpp): the fast kernels and the
// calendar time unless a test says otherwise.
#pragma once

#include <tarvel/reorder/detail/ReorderSurroundings.h>

namespace tarvel_test
{

using tarvel::detail::ReorderPath;
using SeedSource = unsigned (*)();  // null: the calendar time

ReorderPath SetReorderPath(ReorderPath path);     // returns the previous path
SeedSource SetTabuSeedSource(SeedSource source);  // returns the previous source

}  // namespace tarvel_test
