// Text output of the integer containers. Lines end with "\r\n"; every number is written with
// the caller's field width between the caller's prefix and suffix strings.
#include <tarvel/containers/LongMatrix.h>
#include <tarvel/containers/LongVector.h>
#include <tarvel/core/Matrix.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace
{

// Appends printf-formatted text to out.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void append(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0)
    {
        const std::size_t old = out.size();
        out.resize(old + std::size_t(length) + 1);
        std::vsnprintf(&out[old], std::size_t(length) + 1, format, again);
        out.resize(old + std::size_t(length));
    }
    va_end(again);
}

void write_text(CFile* file, const std::string& text)
{
    if (!text.empty()) file->Write(text.data(), UINT(text.size()));
}

}  // namespace

// Row layout: [a line of indices 1..n,] a line of the elements. Column layout: one element per
// line, [preceded by its index 1..n].
void CLongVector::WriteASCII(CFile* file, CString prefix, CString suffix, int width, bool numbering,
                             bool rowLayout)
{
    const char* pre = prefix;
    const char* suf = suffix;
    std::string text;
    if (rowLayout)
    {
        if (numbering)
        {
            for (int i = 0; i < m_nSize; ++i) append(text, "%s%*i%s", pre, width, i + 1, suf);
            text += "\r\n";
        }
        for (int i = 0; i < m_nSize; ++i) append(text, "%s%*li%s", pre, width, m_pData[i], suf);
        text += "\r\n";
    }
    else
    {
        for (int i = 0; i < m_nSize; ++i)
        {
            if (numbering)
                append(text, "%*u%s%*li%s\r\n", width, unsigned(i + 1), pre, width, m_pData[i],
                       suf);
            else
                append(text, "%s%*li%s\r\n", pre, width, m_pData[i], suf);
        }
    }
    write_text(file, text);
}

// Row i of the ragged matrix holds elements rowStarts[i] .. rowStarts[i+1] - 1. The header is a
// blank label field (when rows are numbered) and the column numbers 1..L of the longest row.
void CLongVector::WriteASCII(CFile* file, CString prefix, CString suffix, int width,
                             CLongVector& rowStarts, bool header, bool rowNumbers)
{
    const char* pre = prefix;
    const char* suf = suffix;
    const int rows = std::max(rowStarts.m_nSize - 1, 0);
    std::string text;
    if (header)
    {
        long longest = 0;
        for (int i = 0; i < rows; ++i) longest = std::max(longest, rowStarts[i + 1] - rowStarts[i]);
        if (rowNumbers)
        {
            std::string label;
            append(label, "%*u", width, 0u);
            label.pop_back();  // the field of a label, without its "0"
            text += label + " ";
        }
        for (long j = 1; j <= longest; ++j) append(text, "%s%*i%s", pre, width, int(j), suf);
        text += "\r\n";
    }
    for (int i = 0; i < rows; ++i)
    {
        for (long k = rowStarts[i]; k < rowStarts[i + 1]; ++k)
        {
            if (rowNumbers && k == rowStarts[i])
                append(text, "%*u%s%*li%s", width, unsigned(i + 1), pre, width, m_pData[k], suf);
            else
                append(text, "%s%*li%s", pre, width, m_pData[k], suf);
        }
        text += "\r\n";
    }
    write_text(file, text);
}

// The dense matrix layout with each entry converted to double: the entries go into a temporary
// CMatrix of the same shape, which CMatrix::WriteASCII writes in the exponent form (format 1)
// or the fixed form (format 0).
void CLongMatrix::WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                             bool exponent, bool rowNumbers, bool header)
{
    CMatrix values(m_pData ? m_nRows : 0, m_pData ? m_nCols : 0, false, 0.0);
    for (int k = 0; k < values.m_nSize; ++k) values.m_pData[k] = static_cast<double>(m_pData[k]);
    values.WriteASCII(file, prefix, suffix, width, precision, exponent ? 1 : 0, rowNumbers, header);
}
