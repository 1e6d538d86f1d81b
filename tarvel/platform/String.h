/// \file
/// CString: a byte string over std::string. Indices are zero-based and not checked by GetAt
/// and operator[] (the caller's precondition). A negative start of Find or Mid
/// counts from the beginning; a null text counts as the empty string.
#pragma once

#include <tarvel/platform/AfxTypes.h>
#include <tarvel/platform/Export.h>

#include <string>
#include <utility>

/// A byte string over std::string (this file's comment states its rules).
class TARVEL_API CString
{
public:
    CString() = default;
    CString(LPCTSTR psz);               ///< null gives an empty string
    CString(char ch, int nRepeat = 1);  ///< nRepeat copies of ch (empty when nRepeat < 1)
    CString(LPCTSTR pch, int nLength);  ///< the first nLength bytes of pch (empty for null)
    /// The bytes of s.
    ///@{
    CString(const std::string& s) : m_str(s) {}
    CString(std::string&& s) noexcept : m_str(std::move(s)) {}
    ///@}
    /// Copies and moves.
    ///@{
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    ///@}
    CString& operator=(LPCTSTR psz);  ///< null gives an empty string
    CString& operator=(char ch);      ///< the one byte ch

    int GetLength() const { return static_cast<int>(m_str.size()); }  ///< bytes
    bool IsEmpty() const { return m_str.empty(); }                    ///< no bytes
    void Empty() { m_str.clear(); }                                   ///< removes every byte
    /// Byte nIndex (unchecked).
    ///@{
    char GetAt(int nIndex) const { return m_str[static_cast<size_t>(nIndex)]; }
    char operator[](int nIndex) const { return GetAt(nIndex); }
    void SetAt(int nIndex, char ch) { m_str[static_cast<size_t>(nIndex)] = ch; }
    ///@}

    /// The bytes, null-terminated, valid until the string changes.
    ///@{
    operator LPCTSTR() const { return m_str.c_str(); }
    LPCTSTR GetString() const { return m_str.c_str(); }
    const std::string& str() const { return m_str; }
    ///@}

    /// Appends (a null text appends nothing).
    ///@{
    CString& operator+=(const CString& s);
    CString& operator+=(LPCTSTR psz);
    CString& operator+=(char ch);
    ///@}

    /// printf rules; the result replaces the contents.
    void Format(LPCTSTR pszFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    /// Position of the first occurrence at or after nStart, or -1.
    ///@{
    int Find(char ch, int nStart = 0) const;
    int Find(LPCTSTR pszSub, int nStart = 0) const;
    ///@}

    /// Substrings; counts are clipped to the string, negative counts give an empty string.
    ///@{
    CString Left(int nCount) const;
    CString Right(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    ///@}

    /// Case mapping touches ASCII letters only.
    ///@{
    CString& MakeUpper();
    CString& MakeLower();
    ///@}
    /// White space as isspace in the C locale.
    ///@{
    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim();
    ///@}

private:
    std::string m_str;
};

/// Concatenation; a null text counts as empty.
///@{
TARVEL_API CString operator+(const CString& a, const CString& b);
TARVEL_API CString operator+(const CString& a, LPCTSTR b);
TARVEL_API CString operator+(LPCTSTR a, const CString& b);
TARVEL_API CString operator+(const CString& a, char b);
TARVEL_API CString operator+(char a, const CString& b);
///@}

/// Byte-wise comparison, as std::string compares; a null text counts as empty.
///@{
TARVEL_API bool operator==(const CString& a, const CString& b);
TARVEL_API bool operator==(const CString& a, LPCTSTR b);
TARVEL_API bool operator==(LPCTSTR a, const CString& b);
TARVEL_API bool operator!=(const CString& a, const CString& b);
TARVEL_API bool operator!=(const CString& a, LPCTSTR b);
TARVEL_API bool operator!=(LPCTSTR a, const CString& b);
TARVEL_API bool operator<(const CString& a, const CString& b);
TARVEL_API bool operator<(const CString& a, LPCTSTR b);
TARVEL_API bool operator<(LPCTSTR a, const CString& b);
///@}
