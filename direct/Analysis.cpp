// The analysis of a pattern: ordering, elimination tree, column counts, supernodes.
#include "detail/Symbolic.h"

namespace tarvel::direct
{

bool AnalyzePattern(const CSparseMatrix&, OrderingChoice, const std::vector<int>*, Symbolic&,
                    CString& failure)
{
    failure = "not implemented";
    return false;
}

}  // namespace tarvel::direct
