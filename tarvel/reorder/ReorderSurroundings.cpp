// What the reorderings take from outside the graph: which kernels run, and the seed of
// TabuReorder. The library always takes the fast kernels and the calendar time. This file is
// linked into the shared library only: the tests link their own definitions (tests/support),
// which can choose the plain kernels and fix the seed, in its place.
#include <tarvel/reorder/detail/ReorderSurroundings.h>

#include <ctime>

namespace tarvel::detail
{

ReorderPath reorder_path() { return ReorderPath::fast; }

unsigned tabu_seed() { return static_cast<unsigned>(std::time(nullptr)); }

}  // namespace tarvel::detail
