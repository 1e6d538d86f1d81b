// Work storage of the sparse solvers, obtained without throwing.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace tarvel::detail
{

// Work storage of n value-initialized elements, or null when it cannot be obtained (the
// caller reports that as its API says).
template <class T> std::unique_ptr<T[]> try_alloc(std::size_t n)
{
    return std::unique_ptr<T[]>(new (std::nothrow) T[n == 0 ? 1 : n]());
}

}  // namespace tarvel::detail
