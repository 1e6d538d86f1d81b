// Text forms of CVector and CMatrix: the writers, the two-pass plain readers and the sectioned
// matrix reader. Lines end with "\r\n"; every number is read through the number grammar
// (tarvel/core/NumberGrammar.h), so pi, I1..I3 and g stand wherever a number may.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/NumberGrammar.h>
#include <tarvel/core/Vector.h>
#include <tarvel/core/detail/NumberScan.h>
#include <tarvel/io/detail/LineReader.h>
#include <tarvel/io/detail/TextFormat.h>

#include <algorithm>
#include <climits>

using tarvel::detail::EntryStyle;
using tarvel::detail::for_each_number;
using tarvel::detail::kReaderBuffer;
using tarvel::detail::LineEnds;
using tarvel::detail::LineReader;
using tarvel::detail::number_value;
using tarvel::detail::NumberForm;
using tarvel::detail::TextWriter;

// =============================================================================================
// Writers
// =============================================================================================

// All elements on one line, element 0 first, then "\r\n": format 0 fixed, any other exponent.
void CVector::WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                         int format, bool, bool)
{
    TextWriter out(file);
    const EntryStyle style{prefix, suffix, width, precision};
    const NumberForm form = format == 0 ? NumberForm::fixed : NumberForm::exponent;
    for (int i = 0; i < m_nSize; ++i) out.entry(style, form, m_pData[i]);
    out.line_end();
    out.finish();
}

// The dense layout of tarvel::detail::write_dense_layout: format 0 fixed, 1 exponent,
// 2 shortest; any other format writes no row.
void CMatrix::WriteASCII(CFile* file, CString prefix, CString suffix, int width, int precision,
                         int format, bool rowNumbers, bool header)
{
    TextWriter out(file);
    const EntryStyle style{prefix, suffix, width, precision};
    const NumberForm form = format == 1   ? NumberForm::exponent
                            : format == 2 ? NumberForm::shortest
                                          : NumberForm::fixed;
    const int cols = GetColumns();
    const double* a = m_pData;
    tarvel::detail::write_dense_layout(out, style, form, format >= 0 && format <= 2, m_nRows, cols,
                                       rowNumbers, header,
                                       [a, cols](int i, int j) { return a[index_of(i, j, cols)]; });
    out.finish();
}

// =============================================================================================
// Plain readers
// =============================================================================================

// Pass one counts the numbers of every line to the end of the file; the vector is sized to
// that count (at most INT_MAX); pass two reads from the same start, storing in order, until a
// line brings the count of numbers read up to the total (the test after each line, so with no
// number at all one line is read). The file is left just after that line.
void CVector::ReadASCII(CFile* file)
{
    const ULONGLONG start = file->GetPosition();
    long long total = 0;
    {
        LineReader reader(*file, LineEnds::text, kReaderBuffer);
        CString line;
        while (reader.next(line)) total += for_each_number(line, [](const std::string&) {});
        reader.abort();
    }
    const int count = int(std::min<long long>(total, INT_MAX));
    Allocate(count, false, 0.0);
    const long long capacity = std::min<long long>(count, m_pData ? m_nSize : 0);

    file->Seek(LONGLONG(start), CFile::begin);
    LineReader reader(*file, LineEnds::text, kReaderBuffer);
    CString line;
    long long seen = 0;
    do
    {
        if (!reader.next(line)) break;
        for_each_number(line,
                        [&](const std::string& text)
                        {
                            if (seen < capacity) m_pData[seen] = number_value(text);
                            ++seen;
                        });
    } while (seen < count);
    reader.close();  // the file stands just after the last line read
}

// Pass one: the rows are the lines up to the first one without a number (or the end of the
// file); the columns are the most numbers in a row. Pass two reads that many lines again and
// stores number j of line i at (i, j); the file is left just after the last row line's own line
// end (at the start when there is no row).
void CMatrix::ReadASCII(CFile* file)
{
    const ULONGLONG start = file->GetPosition();
    long long rows = 0;
    long cols = 0;
    ULONGLONG blockBytes = 0;
    {
        LineReader reader(*file, LineEnds::text, kReaderBuffer);
        CString line;
        while (rows < INT_MAX && reader.next(line))
        {
            const ULONGLONG length = ULONGLONG(line.GetLength()) + 2;
            const long numbers = for_each_number(line, [](const std::string&) {});
            if (numbers == 0) break;
            ++rows;
            cols = std::max(cols, numbers);
            blockBytes += length;
        }
        reader.abort();
    }
    const bool plausible = tarvel::detail::plausible_entries(rows * cols, blockBytes);
    const bool stored = plausible && Allocate(int(rows), int(cols), true, 0.0) && m_nRows == rows &&
                        GetColumns() == cols;
    if (!plausible) Allocate(0, 0, true, 0.0);

    file->Seek(LONGLONG(start), CFile::begin);
    {
        LineReader reader(*file, LineEnds::text, kReaderBuffer);
        CString line;
        for (long long i = 0; i < rows && reader.next(line); ++i)
        {
            if (!stored) continue;
            double* row = m_pData + index_of(int(i), 0, int(cols));
            long j = 0;
            for_each_number(line,
                            [&](const std::string& text)
                            {
                                if (j < cols) row[j] = number_value(text);
                                ++j;
                            });
        }
        reader.close();  // the read-ahead goes back: the file stands after the last row line
    }
}

// =============================================================================================
// Sectioned reader
// =============================================================================================

namespace
{

// The keywords of a sectioned read, upper-cased.
struct Section
{
    CString start;
    CString end;
    CString comment;
};

// Upper case, cut before the comment marker, trimmed.
void prepare(CString& line, const Section& k)
{
    line.MakeUpper();
    if (!k.comment.IsEmpty())
    {
        const int at = line.Find(k.comment.GetString());
        if (at >= 0) line = line.Left(at);
    }
    line.Trim();
}

// One pass over a block (both passes take this walk, so they end at the same line): empty
// lines are skipped, a line holding the end keyword ends the block, a line beginning with the
// start keyword's first character opens a nested block skipped up to and including its end
// line, and any other line is handed to row, which returns false to end the block (a line
// without numbers). An error of the reader ends the walk as the end of the file would.
// Returns the bytes of every line read, counting two per line end (a bound of the text, for
// the plausibility test).
template <class Row> ULONGLONG walk_block(LineReader& reader, const Section& k, Row row)
{
    ULONGLONG bytes = 0;
    CString line;
    const auto next = [&]
    {
        if (!reader.next(line)) return false;
        bytes += ULONGLONG(line.GetLength()) + 2;
        prepare(line, k);
        return true;
    };
    try
    {
        while (next())
        {
            if (line.IsEmpty()) continue;
            if (!k.end.IsEmpty() && line.Find(k.end.GetString()) >= 0) break;
            if (!k.start.IsEmpty() && line[0] == k.start[0])
            {
                while (next())
                    if (!line.IsEmpty() && line.Find(k.end.GetString()) >= 0) break;
                continue;
            }
            if (!row(line)) break;
        }
    }
    catch (const CException&)
    {
    }
    return bytes;
}

}  // namespace

void CMatrix::ReadASCII(CFile* file, CString startKey, CString endKey, CString comment)
{
    // -- 1./2. The keywords, and the line after the start keyword --
    Section k{startKey, endKey, comment};
    k.start.MakeUpper();
    k.end.MakeUpper();
    k.comment.MakeUpper();
    if (!SeekTo(k.start, *file, k.comment.IsEmpty() ? nullptr : &k.comment, true)) return;
    const ULONGLONG blockStart = file->GetPosition();

    // -- 3. Pass one: rows and columns --
    long long rows = 0;
    long cols = 0;
    ULONGLONG blockBytes = 0;
    {
        LineReader reader(*file, LineEnds::text, kReaderBuffer);
        blockBytes = walk_block(reader, k,
                                [&](CString& line)
                                {
                                    const long n = for_each_number(line, [](const std::string&) {});
                                    if (n == 0 || rows == INT_MAX) return false;
                                    ++rows;
                                    cols = std::max(cols, n);
                                    return true;
                                });
        reader.abort();
    }

    // -- 4. Size, and back to the block start --
    const bool plausible = tarvel::detail::plausible_entries(rows * cols, blockBytes);
    const bool stored = plausible && Allocate(int(rows), int(cols), true, 0.0) && m_nRows == rows &&
                        GetColumns() == cols;
    if (!plausible) Allocate(0, 0, true, 0.0);
    file->Seek(LONGLONG(blockStart), CFile::begin);

    // -- 5. Pass two: the values --
    {
        LineReader reader(*file, LineEnds::text, kReaderBuffer);
        long long i = 0;
        walk_block(reader, k,
                   [&](CString& line)
                   {
                       long j = 0;
                       double* row =
                           stored && i < rows ? m_pData + index_of(int(i), 0, int(cols)) : nullptr;
                       for_each_number(line,
                                       [&](const std::string& text)
                                       {
                                           if (row && j < cols) row[j] = number_value(text);
                                           ++j;
                                       });
                       ++i;
                       return j != 0 && i < INT_MAX;
                   });
        // -- 6. The read-ahead goes back: the file stands after the last line the block took --
        try
        {
            reader.close();
        }
        catch (const CException&)  // the file failed while read: left where it failed
        {
            reader.abort();
        }
    }
}
