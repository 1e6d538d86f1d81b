// The dense kernel set as the tests choose it. DenseSeams.cpp defines
// tarvel::detail::dense_kernels, which the test programs link in place of the library's
// (tarvel/core/DenseSurroundings.cpp): the processor's best set unless a test says otherwise.
#pragma once

#include <tarvel/core/detail/DenseKernels.h>

namespace tarvel_test
{

// The set the dense operations run from now on (null: the best set); returns the previous one.
const tarvel::detail::DenseKernels* SetDenseKernels(const tarvel::detail::DenseKernels* set);

}  // namespace tarvel_test
