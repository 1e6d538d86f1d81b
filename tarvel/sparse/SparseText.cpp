// Text forms of CSparseMatrix (and, by inheritance, CSystSpMat): the listing and the dense
// exponent rows of the writer, and the reader that hands every number to the virtual Add.
#include <tarvel/core/detail/NumberScan.h>
#include <tarvel/io/detail/LineReader.h>
#include <tarvel/io/detail/TextFormat.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/ListNodes.h>
#include <tarvel/sparse/detail/RowEdits.h>
#include <tarvel/sparse/detail/ValueTests.h>

#include <climits>
#include <typeinfo>

using tarvel::detail::EntryStyle;
using tarvel::detail::LineEnds;
using tarvel::detail::LineReader;
using tarvel::detail::NumberForm;
using tarvel::detail::TextWriter;

// Stored rows are visited in ascending index r, with k counting the rows written so far.
//  format != 0: rows k < r that are not stored are written as c zero entries; the stored row
//    as its cells in the exponent form with zero entries around them, up to column c - 1.
//    Row labels "%*u" of (width, row + 1) lead each row when asked.
//  format == 0: the label "%u" of k and nine blanks, then one zero entry and "\r\n" for each
//    row k < r that is not stored, then the stored row's cells in the fixed form with zero
//    entries only for the columns skipped before a cell.
// Each stored row ends with "\r\n"; one more "\r\n" closes the matrix (the only text of a
// matrix without stored rows).
void CSparseMatrix::WriteASCII(CFile* file, CString prefix, CString suffix, int width,
                               int precision, int format, bool rowNumbers, bool)
{
    TextWriter out(file);
    const EntryStyle style{prefix, suffix, width, precision};
    const bool listing = format == 0;
    const int c = GetColumns();
    long long k = 0;
    for (const row* r = m_pFirstRow; r; r = r->m_pNextRow)
    {
        const long long i = r->m_nRow;
        if (listing) out.appendf("%u         ", unsigned(k));
        for (; k < i; ++k)  // rows that are not stored
        {
            if (listing)
            {
                out.zero_entry(style);
            }
            else
            {
                if (rowNumbers) out.appendf("%*u", width, unsigned(k + 1));
                for (int j = 0; j < c; ++j) out.zero_entry(style);
            }
            out.line_end();
        }
        if (!listing && rowNumbers) out.appendf("%*u", width, unsigned(i + 1));
        int next = 0;  // the first column not written yet
        for (const cell* e = r->m_pFirstCell; e; e = e->m_pNext)
        {
            for (; next < e->m_nCol; ++next) out.zero_entry(style);
            out.entry(style, listing ? NumberForm::fixed : NumberForm::exponent, e->m_dValue);
            next = e->m_nCol + 1;
        }
        if (!listing)
            for (; next < c; ++next) out.zero_entry(style);
        out.line_end();
        k = i + 1;
    }
    out.line_end();
    out.finish();
}

// Line i of the rest of the file is row i (lines without numbers included); its number j goes
// to Add(i, j, value), so zeros and NaNs add nothing and existing entries accumulate. The file
// is read to its end. The two library classes take the same additions with a cell cursor along
// the line, which spares the walk from the head of the row for every number: the plain matrix
// through its rows and cells, the system matrix through its own cursor form of Add, which
// keeps the rule of its Add(i, j, v). A class derived further gets its own Add(i, j, v).
void CSparseMatrix::ReadASCII(CFile* file)
{
    enum class Road
    {
        plain,
        system,
        virtual_add
    };
    const Road road = typeid(*this) == typeid(CSparseMatrix) ? Road::plain
                      : typeid(*this) == typeid(CSystSpMat)  ? Road::system
                                                             : Road::virtual_add;
    LineReader reader(*file, LineEnds::text, tarvel::detail::kReaderBuffer);
    CString line;
    row* rowCursor = nullptr;
    for (int i = 0; i < INT_MAX && reader.next(line); ++i)
    {
        int j = 0;
        row* current = nullptr;
        cell* cellCursor = nullptr;
        tarvel::detail::for_each_number(
            line,
            [&](const std::string& text)
            {
                const double v = tarvel::detail::number_value(text);
                switch (road)
                {
                case Road::virtual_add:
                    Add(i, j, v);
                    break;
                case Road::system:
                    Add(i, j, v, cellCursor);
                    break;
                case Road::plain:
                    if (!tarvel::detail::is_zero_or_nan(v))  // what Add(i, j, v) skips
                    {
                        if (current == nullptr)
                            current = rowCursor = find_or_make_row(rowCursor, i);
                        cellCursor = tarvel::detail::add_in_row(*current, cellCursor, j, v);
                    }
                    break;
                }
                ++j;
            });
    }
    reader.close();
}
