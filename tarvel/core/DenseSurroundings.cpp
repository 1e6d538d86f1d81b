// Which dense kernels the operations run: the best set of the processor, chosen once. This file
// is linked into the shared library only: the tests link their own definition (tests/support),
// which can force each set in turn, in its place.
#include <tarvel/core/detail/DenseKernels.h>

namespace tarvel::detail
{

const DenseKernels& dense_kernels()
{
    static const DenseKernels& best = *dense_kernel_sets()[0];
    return best;
}

}  // namespace tarvel::detail
