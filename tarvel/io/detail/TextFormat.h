// Private helpers shared by the text readers and writers of every matrix class: the entry
// forms of the writers, a buffered piece writer, the dense layout (header block, rows, the
// last piece written once more), the number conversion, and the line walk of the readers.
#pragma once

#include <tarvel/core/VirtMat.h>
#include <tarvel/platform/Archive.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/String.h>

#include <climits>
#include <cstddef>
#include <string>
#include <utility>

namespace tarvel::detail
{

// ---- Writing ---------------------------------------------------------------------------------

// Number forms of the writers: printf's "%f", "%e" and "%g" conversions.
enum class NumberForm
{
    fixed,
    exponent,
    shortest
};

// The arguments every entry of a writer shares.
struct EntryStyle
{
    const CString& prefix;
    const CString& suffix;
    int width;
    int precision;
};

// Collects the text of a writer and hands it to the file in large blocks. The bytes that reach
// the file are exactly those of writing every piece on its own; only the number of write calls
// differs. A writer made without a file only collects. finish() writes what is left; a writer destroyed without finish() (an exception on
// the way) drops it.
class TextWriter
{
public:
    explicit TextWriter(CFile* file) : m_pFile(file) { m_buffer.reserve(kBlock + 256); }
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // printf-style text, appended.
    void appendf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void append(const char* text, std::size_t length);
    void append(const std::string& text) { append(text.data(), text.size()); }
    void line_end() { append("\r\n", 2); }

    // One entry: "%s%*.*f%s", "%s%*.*e%s" or "%s%*g%s" of (prefix, width[, precision], v,
    // suffix).
    void entry(const EntryStyle& style, NumberForm form, double v);
    // The zero that stands for an entry that is not stored: "%s%*.0f%s" of 0.0.
    void zero_entry(const EntryStyle& style);

    void finish();
    // The collected text, for a writer made without a file (a piece built to be written
    // twice).
    std::string take() { return std::move(m_buffer); }
    std::size_t size() const { return m_buffer.size(); }  // bytes not yet handed to the file

private:
    static constexpr std::size_t kBlock = 1 << 16;
    void maybe_flush()
    {
        if (m_pFile != nullptr && m_buffer.size() >= kBlock) flush();
    }
    void flush();

    CFile* m_pFile;
    std::string m_buffer;
};

// The dense layout shared by the matrix writers, with r rows and c columns:
//  1. header (when asked): "\r\n", a blank label field when rows are numbered (label width
//     minus one blanks, none when that is not positive, then two blanks), the column numbers
//     "%s%*u%s" of (prefix, width, j + 1, suffix), "\r\n" - one piece;
//  2. each row: its entries, the first one led by "%*u " of (label width, i + 1) when rows
//     are numbered; then the piece "\r\n";
//  3. the last piece once more: "\r\n" after a row, else the header block, else "\r\n".
// The label width is width - precision. value(i, j) gives entry (i, j); with writeRows false
// no row is written (a number form the writer does not know).
template <class Value>
void write_dense_layout(TextWriter& out, const EntryStyle& style, NumberForm form, bool writeRows,
                        int rows, int cols, bool rowNumbers, bool header, Value value)
{
    const int labelWidth = style.width - style.precision;
    std::string headerBlock;
    if (header)
    {
        TextWriter block(nullptr);
        block.line_end();
        if (rowNumbers)
        {
            if (labelWidth > 1) block.append(std::string(std::size_t(labelWidth - 1), ' '));
            block.append("  ", 2);
        }
        for (int j = 0; j < cols; ++j)
            block.appendf("%s%*u%s", style.prefix.GetString(), style.width, unsigned(j + 1),
                          style.suffix.GetString());
        block.line_end();
        headerBlock = block.take();
        out.append(headerBlock);
    }
    bool wroteRow = false;
    if (writeRows)
    {
        for (int i = 0; i < rows; ++i)
        {
            for (int j = 0; j < cols; ++j)
            {
                if (j == 0 && rowNumbers) out.appendf("%*u ", labelWidth, unsigned(i + 1));
                out.entry(style, form, value(i, j));
            }
            out.line_end();
            wroteRow = true;
        }
    }
    if (wroteRow || !header)
        out.line_end();
    else
        out.append(headerBlock);
}

// ---- Reading ---------------------------------------------------------------------------------

// The value of a number text as strtod reads it in the C locale: the longest leading part
// that forms a number ("1-2" is 1, "1.2.3" is 1.2, "3e" is 3), an out-of-range magnitude as
// strtod gives it (+-HUGE_VAL, or the nearest subnormal or zero), 0.0 for no number at all.
double number_value(const std::string& text);
inline double number_value(const CString& text) { return number_value(text.str()); }

// CVirtMat::ReadNumber with the number text in a string the caller keeps from call to call
// (the readers' loop allocates nothing per number); false when the line holds no further
// number. With substitute false the substitutions are skipped: only for a caller that
// substituted the line from a position at or before pos and has not changed it since.
// NumberGrammar.cpp.
bool next_number(int& pos, CString& line, std::string& text, bool substitute);

// Calls f(text) for every number text of line, scanned from position 0 as by
// CVirtMat::ReadNumber (the line is substituted in place); returns how many there were. The
// line is substituted once, by the first call: a substituted tail holds no stand-alone keyword,
// so substituting it again would change nothing, and the scan stays linear in the length.
template <class F> long for_each_number(CString& line, F f)
{
    long count = 0;
    int pos = 0;
    std::string text;
    while (next_number(pos, line, text, count == 0))
    {
        f(static_cast<const std::string&>(text));
        ++count;
    }
    return count;
}

// The buffer of the readers' line reader: larger than the searches' 4096 bytes, for speed;
// the lines it gives are the same.
constexpr int kReaderBuffer = 1 << 16;

// The largest number of entries a reader allocates for a block of text of the given size:
// 16 entries per byte plus 2^20. A real matrix holds at most one entry per two bytes of text
// (a digit and a separator), however ragged its rows; a count above this bound can only come
// from a forged file (a few long rows and many short ones) and is refused.
inline bool plausible_entries(long long entries, ULONGLONG textBytes)
{
    if (entries < 0 || entries > INT_MAX) return false;
    return ULONGLONG(entries) <= 16 * textBytes + (1u << 20);
}

}  // namespace tarvel::detail
