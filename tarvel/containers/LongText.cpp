// Text output of the integer containers. Lines end with "\r\n"; every number is written with
// the caller's field width between the caller's prefix and suffix strings.
#include <tarvel/containers/LongMatrix.h>
#include <tarvel/containers/LongVector.h>
#include <tarvel/core/Matrix.h>
#include <tarvel/io/detail/TextFormat.h>

#include <algorithm>
#include <string>

using tarvel::detail::TextWriter;

// Row layout: [a line of indices 1..n,] a line of the elements. Column layout: one element per
// line, [preceded by its index 1..n].
void CLongVector::WriteASCII(CFile* file, CString prefix, CString suffix, int width, bool numbering,
                             bool rowLayout)
{
    const char* pre = prefix;
    const char* suf = suffix;
    TextWriter out(file);
    if (rowLayout)
    {
        if (numbering)
        {
            for (int i = 0; i < m_nSize; ++i) out.appendf("%s%*i%s", pre, width, i + 1, suf);
            out.line_end();
        }
        for (int i = 0; i < m_nSize; ++i) out.appendf("%s%*li%s", pre, width, m_pData[i], suf);
        out.line_end();
    }
    else
    {
        for (int i = 0; i < m_nSize; ++i)
        {
            if (numbering)
                out.appendf("%*u%s%*li%s\r\n", width, unsigned(i + 1), pre, width, m_pData[i], suf);
            else
                out.appendf("%s%*li%s\r\n", pre, width, m_pData[i], suf);
        }
    }
    out.finish();
}

// Row i of the ragged matrix holds elements rowStarts[i] .. rowStarts[i+1] - 1. The header is a
// blank label field (when rows are numbered) and the column numbers 1..L of the longest row.
void CLongVector::WriteASCII(CFile* file, CString prefix, CString suffix, int width,
                             CLongVector& rowStarts, bool header, bool rowNumbers)
{
    const char* pre = prefix;
    const char* suf = suffix;
    const int rows = std::max(rowStarts.m_nSize - 1, 0);
    TextWriter out(file);
    if (header)
    {
        long longest = 0;
        for (int i = 0; i < rows; ++i) longest = std::max(longest, rowStarts[i + 1] - rowStarts[i]);
        if (rowNumbers)
        {
            TextWriter field(nullptr);
            field.appendf("%*u", width, 0u);
            std::string label = field.take();
            label.pop_back();  // the field of a label, without its "0"
            out.append(label + " ");
        }
        for (long j = 1; j <= longest; ++j) out.appendf("%s%*i%s", pre, width, int(j), suf);
        out.line_end();
    }
    for (int i = 0; i < rows; ++i)
    {
        for (long k = rowStarts[i]; k < rowStarts[i + 1]; ++k)
        {
            if (rowNumbers && k == rowStarts[i])
                out.appendf("%*u%s%*li%s", width, unsigned(i + 1), pre, width, m_pData[k], suf);
            else
                out.appendf("%s%*li%s", pre, width, m_pData[k], suf);
        }
        out.line_end();
    }
    out.finish();
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
