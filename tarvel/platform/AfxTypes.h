/// \file
/// Scalar types and constants of the public interface (BOOL, UINT, WORD, DWORD, ...).
#pragma once

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONGLONG = long long;            ///< 8 bytes on every supported platform
using ULONGLONG = unsigned long long;  ///< not uint64_t: that is `unsigned long` here and would
                                       ///< collide with the `long` overloads
using LPCTSTR = const char*;
using LPCSTR = const char*;
using LPTSTR = char*;
using LPSTR = char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
