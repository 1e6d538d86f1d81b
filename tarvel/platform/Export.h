/// \file
/// TARVEL_API marks what the shared library exports. The library is compiled with
/// -fvisibility=hidden and -fvisibility-inlines-hidden, so only the marked names reach the
/// dynamic symbol table; everything else (tarvel::detail, anonymous namespaces, file-local
/// classes) stays inside the library.
///
/// Put the mark on every public class, between `class` and its name (its members, nested
/// classes, class records and virtual tables follow it), and on every public free function or
/// operator, before its return type, in the header that declares it. A public name without the
/// mark still links in the tests, which take the library's objects directly, but is missing for
/// every program that links libTarvelR10.so (the consumer check of scripts/test.sh catches
/// the classes it uses).
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define TARVEL_API __attribute__((visibility("default")))
#else
#define TARVEL_API
#endif
