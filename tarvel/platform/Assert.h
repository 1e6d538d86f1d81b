/// \file
/// TARVEL_ASSERT(cond, msg): checks a caller's precondition or a storage invariant.
///
/// Active in debug builds (NDEBUG not defined), in sanitizer builds and wherever
/// TARVEL_ENABLE_ASSERTS is defined; there a failed check writes
///     `<file>:<line>: Tarvel assertion failed: <msg> (<cond>)`
/// to standard error and aborts. Elsewhere it compiles to nothing: cond is not evaluated (its
/// names still count as used). msg names the operation and what was violated. Inputs whose
/// handling is defined (negative degree-of-freedom numbers, zero values, unreadable files) are
/// never asserted on: that is behaviour, not misuse.
#pragma once

#include <tarvel/platform/Export.h>

#if !defined(TARVEL_ENABLE_ASSERTS)
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
#define TARVEL_ENABLE_ASSERTS 1  ///< TARVEL_ASSERT checks (see above)
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define TARVEL_ENABLE_ASSERTS 1
#endif
#endif
#endif

/// Writes the failure report and aborts.
/// Exported: inline members of the public classes call it in the caller's own debug builds.
[[noreturn]] TARVEL_API void TarvelAssertFailed(const char* file, int line, const char* condition,
                                                const char* message) noexcept;

#if defined(TARVEL_ENABLE_ASSERTS)
/// Checks cond; on failure reports msg and aborts (see above).
#define TARVEL_ASSERT(cond, msg)                                                                   \
    ((cond) ? static_cast<void>(0) : TarvelAssertFailed(__FILE__, __LINE__, #cond, msg))
#else
#define TARVEL_ASSERT(cond, msg) static_cast<void>(sizeof(!(cond)))
#endif
