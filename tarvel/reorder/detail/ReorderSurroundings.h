// What the reorderings take from outside the graph (ReorderSurroundings.cpp): the kernel path
// and TabuReorder's seed.
//
// Every reordering whose textbook form rescans the whole graph per step has two kernels: the
// plain one, which follows the algorithm step by step, and a fast one, which keeps the same
// quantities up to date incrementally and gives exactly the same labels (same ties, same float
// sums in the same order). The public operations use the fast kernel unless the path is set to
// plain; tests run both and compare. A fast kernel that cannot obtain its workspace returns
// false before it changes anything, and the plain kernel runs instead.
#pragma once

namespace tarvel::detail
{

enum class ReorderPath
{
    fast,  // the fast kernels, each falling back to its plain form when it cannot run
    plain  // the plain kernels only
};
ReorderPath reorder_path();  // fast
unsigned tabu_seed();        // TabuReorder's seed: the calendar time

}  // namespace tarvel::detail
