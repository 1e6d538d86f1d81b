// The walk along a row's cells that guesses where the next cell lies.
#pragma once

namespace tarvel::detail
{

// The cell after c. The rows of a factor are runs of consecutive cells, so the walk guesses
// c + 1 and checks the guess with a predicted branch: the next cell's loads then start without
// waiting for c->m_pNext, which turns a walk bound by load latency into one bound by its own
// work. (The empty volatile statement keeps the compiler from folding the guess into the loaded
// pointer, which would bring the wait back.)
template <class C> inline C* next_cell(C* c)
{
    C* const next = c->m_pNext;
#if defined(__GNUC__) || defined(__clang__)
    C* guess = c + 1;
    if (__builtin_expect(next == guess, 1))
    {
        __asm__ volatile("" : "+r"(guess));
        return guess;
    }
#endif
    return next;
}

}  // namespace tarvel::detail
