// CString operations over std::string.
#include <tarvel/platform/String.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

// White space as isspace classifies it in the C locale, independent of the global locale.
bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

CString::CString(LPCTSTR psz)
{
    if (psz != nullptr) m_str = psz;
}

CString::CString(char ch, int nRepeat)
{
    if (nRepeat > 0) m_str.assign(static_cast<std::size_t>(nRepeat), ch);
}

CString::CString(LPCTSTR pch, int nLength)
{
    if (pch != nullptr && nLength > 0) m_str.assign(pch, static_cast<std::size_t>(nLength));
}

CString& CString::operator=(LPCTSTR psz)
{
    if (psz == nullptr)
        m_str.clear();
    else
        m_str = psz;  // std::string::operator= copes with psz pointing into m_str
    return *this;
}

CString& CString::operator=(char ch)
{
    m_str.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& s)
{
    m_str += s.m_str;
    return *this;
}

CString& CString::operator+=(LPCTSTR psz)
{
    if (psz != nullptr) m_str += psz;
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_str += ch;
    return *this;
}

void CString::Format(LPCTSTR pszFormat, ...)
{
    if (pszFormat == nullptr)
    {
        m_str.clear();
        return;
    }
    char small[256];
    va_list args;
    va_start(args, pszFormat);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, pszFormat, args);
    va_end(args);
    if (length < 0)  // an encoding error: nothing sensible to show
        m_str.clear();
    else if (static_cast<std::size_t>(length) < sizeof small)
        m_str.assign(small, static_cast<std::size_t>(length));
    else
    {
        std::string out(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(&out[0], out.size(), pszFormat, again);
        out.resize(static_cast<std::size_t>(length));
        m_str.swap(out);
    }
    va_end(again);
}

int CString::Find(char ch, int nStart) const
{
    if (nStart < 0) nStart = 0;
    if (nStart >= GetLength()) return -1;
    const std::size_t at = m_str.find(ch, static_cast<std::size_t>(nStart));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCTSTR pszSub, int nStart) const
{
    if (pszSub == nullptr) return -1;
    if (nStart < 0) nStart = 0;
    if (nStart > GetLength()) return -1;
    const std::size_t at = m_str.find(pszSub, static_cast<std::size_t>(nStart));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int nCount) const
{
    if (nCount <= 0) return CString();
    return CString(m_str.substr(0, static_cast<std::size_t>(nCount)));
}

CString CString::Right(int nCount) const
{
    if (nCount <= 0) return CString();
    if (nCount >= GetLength()) return *this;
    return CString(m_str.substr(m_str.size() - static_cast<std::size_t>(nCount)));
}

CString CString::Mid(int nFirst) const
{
    if (nFirst < 0) nFirst = 0;
    if (nFirst >= GetLength()) return CString();
    return CString(m_str.substr(static_cast<std::size_t>(nFirst)));
}

CString CString::Mid(int nFirst, int nCount) const
{
    if (nFirst < 0) nFirst = 0;
    if (nCount <= 0 || nFirst >= GetLength()) return CString();
    return CString(
        m_str.substr(static_cast<std::size_t>(nFirst), static_cast<std::size_t>(nCount)));
}

CString& CString::MakeUpper()
{
    for (char& c : m_str)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return *this;
}

CString& CString::MakeLower()
{
    for (char& c : m_str)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return *this;
}

CString& CString::TrimLeft()
{
    std::size_t first = 0;
    while (first < m_str.size() && is_c_space(m_str[first])) ++first;
    m_str.erase(0, first);
    return *this;
}

CString& CString::TrimRight()
{
    std::size_t end = m_str.size();
    while (end > 0 && is_c_space(m_str[end - 1])) --end;
    m_str.resize(end);
    return *this;
}

CString& CString::Trim()
{
    TrimRight();
    return TrimLeft();
}

// ---------------------------------------------------------------------------------------------
// Free operators; a null text counts as the empty string.

namespace
{

const char* or_empty(LPCTSTR p) { return p != nullptr ? p : ""; }

}  // namespace

CString operator+(const CString& a, const CString& b) { return CString(a.str() + b.str()); }
CString operator+(const CString& a, LPCTSTR b) { return CString(a.str() + or_empty(b)); }
CString operator+(LPCTSTR a, const CString& b) { return CString(or_empty(a) + b.str()); }
CString operator+(const CString& a, char b) { return CString(a.str() + b); }
CString operator+(char a, const CString& b) { return CString(a + b.str()); }

bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
bool operator==(const CString& a, LPCTSTR b) { return a.str() == or_empty(b); }
bool operator==(LPCTSTR a, const CString& b) { return b == a; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, LPCTSTR b) { return !(a == b); }
bool operator!=(LPCTSTR a, const CString& b) { return !(b == a); }
bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }
bool operator<(const CString& a, LPCTSTR b) { return a.str().compare(or_empty(b)) < 0; }
bool operator<(LPCTSTR a, const CString& b) { return b.str().compare(or_empty(a)) > 0; }
