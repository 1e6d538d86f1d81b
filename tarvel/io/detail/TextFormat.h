// Private helpers shared by the text readers and writers of every matrix class: the entry
// forms of the writers, a buffered piece writer, the dense layout (header block, rows, the
// last piece written once more), the number conversion and the readers' bounds. The number
// scan of the readers (the grammar of CVirtMat::ReadNumber) is core/detail/NumberScan.h.
#pragma once

#include <tarvel/platform/File.h>
#include <tarvel/platform/String.h>

#include <charconv>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

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

// The buffered writer of every text format: pieces are formatted straight into a block of
// memory that goes to the file when it is full. The bytes that reach the file are exactly those
// of writing every piece on its own; only the number of write calls differs. A writer made
// without a file only collects. finish() writes what is left; a writer destroyed without
// finish() (an exception on the way) drops it.
class TextWriter
{
public:
    explicit TextWriter(CFile* file);
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // printf-style text in the C locale, appended.
    void appendf(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    void append(const char* text, std::size_t length)
    {
        if (length > kLongestPiece) return append_long(text, length);
        std::memcpy(room(), text, length);
        m_used += length;
    }
    void append(const char* text) { append(text, std::strlen(text)); }
    void append(const std::string& text) { append(text.data(), text.size()); }
    void put_char(char c)
    {
        *room() = c;
        ++m_used;
    }
    void line_end()
    {
        char* at = room();
        at[0] = '\r';
        at[1] = '\n';
        m_used += 2;
    }
    // printf's "%lld" (and "%u" of any unsigned value).
    void put_integer(long long v)
    {
        char* at = room();
        m_used += std::size_t(std::to_chars(at, at + kLongestPiece, v).ptr - at);
    }
    // printf's "%.17g": the value rounded to 17 significant digits, trailing zeros dropped, so
    // that every double reads back exactly. std::to_chars in general form with a precision is
    // defined as printf's %g with that precision, in the C locale.
    void put_exact(double v)
    {
        char* at = room();
        m_used += std::size_t(
            std::to_chars(at, at + kLongestPiece, v, std::chars_format::general, 17).ptr - at);
    }

    // One entry: "%s%*.*f%s", "%s%*.*e%s" or "%s%*g%s" of (prefix, width[, precision], v,
    // suffix).
    void entry(const EntryStyle& style, NumberForm form, double v);
    // The zero that stands for an entry that is not stored: "%s%*.0f%s" of 0.0.
    void zero_entry(const EntryStyle& style);

    void finish();
    // The collected text, for a writer made without a file (a piece built to be written
    // twice).
    std::string take();
    std::size_t size() const { return m_used; }  // bytes not yet handed to the file

private:
    static constexpr std::size_t kBlock = 1 << 16;    // below the sizes an allocator maps alone
    static constexpr std::size_t kLongestPiece = 64;  // "%.17g" of a double: at most 24 bytes
    // Where the next piece of at most kLongestPiece bytes goes: a full block goes to the file
    // first; a writer without a file grows instead.
    char* room()
    {
        if (m_used > m_limit) make_room();
        return m_data.get() + m_used;
    }
    void make_room();
    void append_blanks(std::size_t count);
    void append_long(const char* text, std::size_t length);
    void flush();

    CFile* m_pFile;
    std::unique_ptr<char[]> m_data;
    std::size_t m_capacity;
    std::size_t m_limit;  // room() makes room once m_used is beyond it
    std::size_t m_used = 0;
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
