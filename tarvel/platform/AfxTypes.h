/// \file
/// Scalar types and constants of the public interface (BOOL, UINT, WORD, DWORD, ...).
#pragma once

#include <cstdint>

using BOOL = int;                      ///< TRUE or FALSE
using UINT = unsigned int;             ///< flags and counts
using BYTE = std::uint8_t;             ///< 1 byte in archives
using WORD = std::uint16_t;            ///< 2 bytes in archives
using DWORD = std::uint32_t;           ///< 4 bytes in archives
using LONGLONG = long long;            ///< 8 bytes on every supported platform
using ULONGLONG = unsigned long long;  ///< not uint64_t: that is `unsigned long` here and would
                                       ///< collide with the `long` overloads
/// Null-terminated byte strings.
///@{
using LPCTSTR = const char*;
using LPCSTR = const char*;
using LPTSTR = char*;
using LPSTR = char*;
///@}

#ifndef TRUE
#define TRUE 1  ///< a BOOL value
#endif
#ifndef FALSE
#define FALSE 0  ///< a BOOL value
#endif
