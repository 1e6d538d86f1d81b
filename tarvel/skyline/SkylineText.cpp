// Text forms of CSkylineMatrix: the writer of the full n x n matrix; the reader does nothing.
#include <tarvel/io/detail/TextFormat.h>
#include <tarvel/skyline/SkylineMatrix.h>

using tarvel::detail::EntryStyle;
using tarvel::detail::NumberForm;
using tarvel::detail::TextWriter;

// Row by row, every column: the stored element (i, j) in the exponent form when i <= j and
// PeakRow(j) <= i, a zero entry otherwise (the whole lower triangle included); "\r\n" after
// each row and nothing after the last. A matrix without a profile yet (no diagonal table)
// writes zero entries where the profile would be.
void CSkylineMatrix::WriteASCII(CFile* file, CString prefix, CString suffix, int width,
                                int precision, int, bool, bool)
{
    TextWriter out(file);
    const EntryStyle style{prefix, suffix, width, precision};
    for (int i = 0; i < m_nOrder; ++i)
    {
        for (int j = 0; j < m_nOrder; ++j)
        {
            const bool stored = i <= j && PeakRow(j) <= i && m_ppDiag && m_ppDiag[j];
            if (stored)
                out.entry(style, NumberForm::exponent, (*this)(i, j));
            else
                out.zero_entry(style);
        }
        out.line_end();
    }
    out.finish();
}

void CSkylineMatrix::ReadASCII(CFile*) {}
