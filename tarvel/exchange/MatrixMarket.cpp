// Matrix Market files: the writer (the text formats' buffered writer, renamed into place) and
// the reader (banner, size line, entries; every count checked before it sizes anything). Layout
// and choices in MatrixMarket.h. Numbers go through std::to_chars and std::from_chars, which know
// no locale: the bytes written and the values read are those of the C locale whatever the
// process's locale says.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>
#include <tarvel/exchange/MatrixMarket.h>
#include <tarvel/io/detail/LineReader.h>
#include <tarvel/io/detail/TextFormat.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/detail/ReplaceFile.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SystSpMat.h>
#include <tarvel/sparse/detail/SortedRows.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace
{

// =============================================================================================
// Writing
// =============================================================================================

using tarvel::detail::TextWriter;

// Writes the file for path through ReplaceFile, body(sink) producing its text.
template <class Body> int write_file(LPCTSTR path, Body body)
{
    tarvel::detail::ReplaceFile place;
    CFile file;
    if (!place.open(path) || !file.Open(place.path().c_str(), CFile::modeCreate | CFile::modeWrite))
        return MM_OPEN_FAILED;
    try
    {
        TextWriter out(&file);
        body(out);
        out.finish();
    }
    catch (const CFileException&)
    {
        file.Close();
        return MM_WRITE_FAILED;  // place removes what was written
    }
    file.Close();
    return place.commit() ? MM_OK : MM_WRITE_FAILED;
}

// Whether A keeps an upper triangle only: no cell left of its row's diagonal.
bool holds_upper_triangle(const CSparseMatrix& A)
{
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        if (r->m_pFirstCell && r->m_pFirstCell->m_nCol < r->m_nRow) return false;  // R2
    return true;
}

// =============================================================================================
// Reading: lines, tokens, numbers
// =============================================================================================

// The format keeps lines short; a longer entry or size line is refused as too long (a comment
// line may have any length).
constexpr std::size_t kLongestLine = 4096;

// Lines of a file read in blocks until a read gives nothing (a pipe has no length to ask); a
// line ends at "\n" with a "\r" before it dropped. A line that crosses blocks keeps its first
// kLongestLine + 1 characters.
using tarvel::detail::LineReader;

// Blanks as isspace gives them in the C locale, the line end excepted.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

bool blank_line(const char* s, const char* e)
{
    while (s < e && is_blank(*s)) ++s;
    return s == e;
}

// The white-space separated words of [s, e): at most kMax, and whether more followed.
struct Tokens
{
    static constexpr int kMax = 5;
    const char* first[kMax];
    const char* last[kMax];
    int count = 0;
    bool more = false;
    Tokens(const char* s, const char* e)
    {
        for (;;)
        {
            while (s < e && is_blank(*s)) ++s;
            if (s == e) return;
            if (count == kMax)
            {
                more = true;
                return;
            }
            first[count] = s;
            while (s < e && !is_blank(*s)) ++s;
            last[count++] = s;
        }
    }
    std::string text(int k) const  // for messages: a word cut at 40 characters
    {
        return "\"" + std::string(first[k], std::min<std::size_t>(last[k] - first[k], 40)) + "\"";
    }
};

// A decimal integer token, [+-]digits. Beyond long long the magnitude saturates at LLONG_MAX,
// which every range check refuses.
bool parse_integer(const char* s, const char* e, long long& v)
{
    const bool negative = s < e && *s == '-';
    if (s < e && (*s == '+' || *s == '-')) ++s;
    if (s == e) return false;
    unsigned long long u = 0;
    for (; s < e; ++s)
    {
        const unsigned d = static_cast<unsigned char>(*s) - unsigned('0');
        if (d > 9) return false;
        u = u > (ULLONG_MAX - 9) / 10 ? ULLONG_MAX : 10 * u + d;
    }
    u = std::min<unsigned long long>(u, LLONG_MAX);
    v = negative ? -static_cast<long long>(u) : static_cast<long long>(u);
    return true;
}

// A real number token as strtod reads it in the C locale: decimal or hexadecimal, "inf",
// "nan", a leading sign; a magnitude beyond the doubles as +-HUGE_VAL, below them as the
// nearest subnormal or zero.
bool parse_real(const char* s, const char* e, double& v)
{
    if (s < e && *s == '+') ++s;  // from_chars takes no plus sign
    if (s == e || *s == '+') return false;
    const bool negative = *s == '-';
    const char* digits = s + (negative ? 1 : 0);
    std::from_chars_result r;
    if (e - digits > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') &&
        digits[2] != '-' && digits[2] != '+')
    {
        r = std::from_chars(digits + 2, e, v, std::chars_format::hex);
        if (negative) v = -v;
    }
    else
        r = std::from_chars(s, e, v);
    if (r.ptr != e) return false;
    if (r.ec == std::errc::result_out_of_range)
        v = tarvel::detail::number_value(std::string(s, e));  // strtod's result, C locale
    return r.ec == std::errc() || r.ec == std::errc::result_out_of_range;
}

// An integer field's value: any number of digits, read as the real they denote (exact up to
// 2^53, the nearest double beyond, +-infinity beyond the doubles, as strtod gives).
bool parse_integer_value(const char* s, const char* e, double& v)
{
    long long ignored = 0;
    if (!parse_integer(s, e, ignored)) return false;
    if (*s == '+') ++s;
    if (std::from_chars(s, e, v).ec == std::errc::result_out_of_range)
        v = *s == '-' ? -HUGE_VAL : HUGE_VAL;
    return true;
}

std::string lower(std::string s)  // ASCII only: a Turkish locale must not turn 'I' into dotless i
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

enum class Field
{
    Real,
    Integer,
    Pattern
};

struct Header
{
    bool coordinate = true;
    Field field = Field::Real;
    bool symmetric = false;
    long long rows = 0, cols = 0, entries = 0;  // entries: coordinate files; array: values
};

// One read in progress: the file, its lines, the status and the message of a failure.
struct Reading
{
    CFile file;
    LineReader* lines = nullptr;
    CString* message = nullptr;

    // The message names the line and, when the line is too long or holds a NUL byte, says so.
    int fail(int status, std::string what)
    {
        if (message)
        {
            if (lines && lines->too_long())
                what +=
                    " (the line is longer than " + std::to_string(kLongestLine) + " characters)";
            else if (lines && lines->holds_nul())
                what += " (a NUL byte in the line)";
            if (lines && lines->line_number() > 0)
                what = "line " + std::to_string(lines->line_number()) + ": " + what;
            *message = what.c_str();
        }
        return status;
    }
};

int read_banner(Reading& rd, Header& h)
{
    const char *s = nullptr, *e = nullptr;
    if (!rd.lines->next(s, e)) return rd.fail(MM_BAD_BANNER, "empty file, no banner");
    const Tokens t(s, e);
    std::vector<std::string> words;
    for (int k = 0; k < t.count; ++k) words.push_back(lower(std::string(t.first[k], t.last[k])));
    if (rd.lines->too_long() || t.more || words.size() != 5 || words[0] != "%%matrixmarket")
        return rd.fail(MM_BAD_BANNER, "not a Matrix Market banner");
    if (words[1] != "matrix")
        return rd.fail(MM_UNSUPPORTED, "object \"" + words[1] + "\" is not a matrix");
    if (words[2] == "coordinate")
        h.coordinate = true;
    else if (words[2] == "array")
        h.coordinate = false;
    else
        return rd.fail(MM_BAD_BANNER, "unknown format \"" + words[2] + "\"");
    if (words[3] == "real")
        h.field = Field::Real;
    else if (words[3] == "integer")
        h.field = Field::Integer;
    else if (words[3] == "pattern" && h.coordinate)
        h.field = Field::Pattern;
    else if (words[3] == "complex")
        return rd.fail(MM_UNSUPPORTED, "complex values are not read");
    else
        return rd.fail(MM_BAD_BANNER, "field \"" + words[3] + "\" in " + words[2] + " format");
    if (words[4] == "general")
        h.symmetric = false;
    else if (words[4] == "symmetric")
        h.symmetric = true;
    else if (words[4] == "skew-symmetric" || words[4] == "hermitian")
        return rd.fail(MM_UNSUPPORTED, words[4] + " matrices are not read");
    else
        return rd.fail(MM_BAD_BANNER, "unknown symmetry \"" + words[4] + "\"");
    return MM_OK;
}

// The next line that is neither blank nor a comment (a comment of any length); false at the
// end of the file.
bool next_data_line(Reading& rd, const char*& s, const char*& e)
{
    while (rd.lines->next(s, e))
    {
        if (s < e && *s == '%') continue;
        if (rd.lines->too_long() || !blank_line(s, e)) return true;
    }
    return false;
}

int read_size(Reading& rd, Header& h)
{
    const char *s = nullptr, *e = nullptr;
    if (!next_data_line(rd, s, e)) return rd.fail(MM_BAD_SIZE, "no size line");
    const Tokens t(s, e);
    const int wanted = h.coordinate ? 3 : 2;
    long long size[3] = {0, 0, 0};
    bool ok = !rd.lines->too_long() && t.count == wanted && !t.more;
    for (int k = 0; ok && k < wanted; ++k) ok = parse_integer(t.first[k], t.last[k], size[k]);
    if (!ok)
        return rd.fail(MM_BAD_SIZE, h.coordinate ? "size line is not \"rows cols entries\""
                                                 : "size line is not \"rows cols\"");
    h.rows = size[0];
    h.cols = size[1];
    h.entries = size[2];
    if (h.rows < 0 || h.cols < 0 || h.entries < 0) return rd.fail(MM_BAD_SIZE, "negative size");
    if (h.rows > INT_MAX || h.cols > INT_MAX)
        return rd.fail(MM_TOO_LARGE, "size beyond the library's int indices");
    if (h.symmetric && h.rows != h.cols)
        return rd.fail(MM_BAD_SIZE, "a symmetric matrix that is not square");
    if (!h.coordinate)  // the values an array file holds
        h.entries = h.symmetric ? h.rows * (h.rows + 1) / 2 : h.rows * h.cols;
    return MM_OK;
}

int open_and_read_header(Reading& rd, LPCTSTR path, Header& h)
{
    if (!rd.file.Open(path, CFile::modeRead))
        return rd.fail(MM_OPEN_FAILED, std::string("cannot open ") + (path ? path : ""));
    int status = read_banner(rd, h);
    if (status == MM_OK) status = read_size(rd, h);
    return status;
}

std::string range_text(const char* what, const Tokens& t, int k, long long n)
{
    const std::string index(t.first[k], std::min<std::size_t>(t.last[k] - t.first[k], 40));
    return std::string(what) + " index " + index + " outside 1.." + std::to_string(n);
}

// The entries of a coordinate file, in file order, 0-based; at most h.entries of them.
struct Entry
{
    int i, j;
    double v;
};

// Entries reserved from the count line before they are read, so that the list is not copied as
// it grows: at most 2^22 (64 MiB), and no more than the file's bytes can hold (an entry takes
// at least 4 bytes, "i j\n"). The length is a hint only: a pipe has none and its list grows as
// read; no refusal rests on it.
constexpr long long kReservedEntries = 1 << 22;

// Why the words of an entry are not the entry its field calls for (they are not).
std::string entry_cause(const Tokens& t, Field field)
{
    const int wanted = field == Field::Pattern ? 2 : 3;
    if (t.count < wanted) return t.count == 2 ? "the value is missing" : "an index is missing";
    if (t.count > wanted || t.more) return "text after the entry: " + t.text(wanted);
    long long ignored = 0;
    for (int k = 0; k < 2; ++k)
        if (!parse_integer(t.first[k], t.last[k], ignored))
            return t.text(k) + " is not an integer index";
    return t.text(2) + (field == Field::Integer ? " is not an integer" : " is not a number");
}

// The common entry, "i j v" or "i j" with plain indices of at most 18 digits, read in one pass
// without splitting the line into words first; false for anything else (a sign, a longer
// index, a "+" before the value, text after it, too few words), which the general path below
// then reads or refuses with its cause.
bool read_plain_entry(const char* p, const char* e, bool value, long long& i, long long& j,
                      double& v)
{
    long long* index[2] = {&i, &j};
    for (long long* x : index)
    {
        while (p < e && is_blank(*p)) ++p;
        const char* first = p;
        long long n = 0;
        for (unsigned d; p < e && (d = static_cast<unsigned char>(*p) - unsigned('0')) <= 9; ++p)
        {
            if (p - first == 18) return false;  // a 19th digit could overflow n
            n = 10 * n + d;
        }
        if (p == first || (p < e && !is_blank(*p))) return false;
        *x = n;
    }
    if (value)
    {
        while (p < e && is_blank(*p)) ++p;
        const std::from_chars_result r = std::from_chars(p, e, v);
        if (r.ptr == p || r.ec != std::errc()) return false;
        p = r.ptr;
    }
    while (p < e && is_blank(*p)) ++p;
    return p == e;
}

int read_coordinate_entries(Reading& rd, const Header& h, std::vector<Entry>& out)
{
    const char *s = nullptr, *e = nullptr;
    long long count = 0;
    const int wanted = h.field == Field::Pattern ? 2 : 3;
    const long long fits = static_cast<long long>(rd.file.GetLength() / 4) + 1;
    out.reserve(static_cast<std::size_t>(std::min({h.entries, kReservedEntries, fits})));
    while (next_data_line(rd, s, e))
    {
        if (++count > h.entries)
            return rd.fail(MM_COUNT_MISMATCH,
                           "more entries than the " + std::to_string(h.entries) + " announced");
        long long i = 0, j = 0;
        double v = 1.0;
        if (h.field == Field::Real && read_plain_entry(s, e, true, i, j, v) &&
            !rd.lines->too_long() && i >= 1 && i <= h.rows && j >= 1 && j <= h.cols)
        {
            out.push_back({static_cast<int>(i - 1), static_cast<int>(j - 1), v});
            continue;
        }
        const Tokens t(s, e);
        bool ok = !rd.lines->too_long() && t.count == wanted && !t.more &&
                  parse_integer(t.first[0], t.last[0], i) &&
                  parse_integer(t.first[1], t.last[1], j);
        if (ok && h.field == Field::Real) ok = parse_real(t.first[2], t.last[2], v);
        if (ok && h.field == Field::Integer) ok = parse_integer_value(t.first[2], t.last[2], v);
        if (!ok)
        {
            const char* form = h.field == Field::Pattern   ? "entry is not \"i j\""
                               : h.field == Field::Integer ? "entry is not \"i j integer\""
                                                           : "entry is not \"i j value\"";
            const bool plain = !rd.lines->too_long() && !rd.lines->holds_nul();
            return rd.fail(MM_BAD_ENTRY, form + (plain ? ": " + entry_cause(t, h.field) : ""));
        }
        if (i < 1 || i > h.rows) return rd.fail(MM_OUT_OF_RANGE, range_text("row", t, 0, h.rows));
        if (j < 1 || j > h.cols)
            return rd.fail(MM_OUT_OF_RANGE, range_text("column", t, 1, h.cols));
        out.push_back({static_cast<int>(i - 1), static_cast<int>(j - 1), v});
    }
    if (count < h.entries)
        return rd.fail(MM_COUNT_MISMATCH, std::to_string(count) + " entries where " +
                                              std::to_string(h.entries) + " were announced");
    return MM_OK;
}

// The values of an array file in file order (column by column; the lower triangle only for a
// symmetric file). Memory follows the values read: a size line announcing more is refused at
// the end of the file, having sized nothing.
int read_array_values(Reading& rd, const Header& h, std::vector<double>& out)
{
    const char *s = nullptr, *e = nullptr;
    while (next_data_line(rd, s, e))
    {
        if (static_cast<long long>(out.size()) == h.entries)
            return rd.fail(MM_COUNT_MISMATCH,
                           "more values than the " + std::to_string(h.entries) + " of the size");
        const Tokens t(s, e);
        double v = 0.0;
        bool ok = !rd.lines->too_long() && t.count == 1 && !t.more;
        if (ok && h.field == Field::Real) ok = parse_real(t.first[0], t.last[0], v);
        if (ok && h.field == Field::Integer) ok = parse_integer_value(t.first[0], t.last[0], v);
        if (!ok)
        {
            std::string what =
                h.field == Field::Integer ? "value is not an integer" : "value is not a number";
            if (t.count > 1 || t.more) what += ": text after the value";
            return rd.fail(MM_BAD_ENTRY, what);
        }
        out.push_back(v);
    }
    if (static_cast<long long>(out.size()) < h.entries)
        return rd.fail(MM_COUNT_MISMATCH, std::to_string(out.size()) + " values where " +
                                              std::to_string(h.entries) + " were announced");
    return MM_OK;
}

// Calls put(i, j, v) for the values of an array file, at the positions they stand for.
template <class Put>
void for_each_array_value(const Header& h, const std::vector<double>& v, Put put)
{
    std::size_t k = 0;
    for (long long j = 0; j < h.cols; ++j)
        for (long long i = h.symmetric ? j : 0; i < h.rows; ++i)
            put(static_cast<int>(i), static_cast<int>(j), v[k++]);
}

// Entries of either format, 0-based, for a sparse target.
int read_sparse_entries(Reading& rd, const Header& h, std::vector<Entry>& out)
{
    if (h.coordinate) return read_coordinate_entries(rd, h, out);
    std::vector<double> values;
    const int status = read_array_values(rd, h, values);
    if (status != MM_OK) return status;
    for_each_array_value(h, values,
                         [&out](int i, int j, double v)
                         {
                             if (v != 0.0) out.push_back({i, j, v});  // sparse holds no zeros
                         });
    return MM_OK;
}

bool before(const Entry& a, const Entry& b) { return a.i != b.i ? a.i < b.i : a.j < b.j; }

// The entries as stored: a symmetric file's entries mirrored (both triangles) or moved to the
// upper triangle (upper); then sorted by row and column, the order of the file kept among
// repeats so that they are summed in the file's order. Files in row order (this writer's) need
// no sort; others take a counting sort by row and a sort of each row by column, or, when the
// rows are many more than the entries, one stable sort.
void arrange(std::vector<Entry>& e, bool symmetric, bool upper, long long rows)
{
    if (symmetric)
    {
        const std::size_t n = e.size();
        for (std::size_t k = 0; k < n; ++k)
        {
            if (e[k].i == e[k].j) continue;
            if (upper)
            {
                if (e[k].i > e[k].j) std::swap(e[k].i, e[k].j);
            }
            else
                e.push_back({e[k].j, e[k].i, e[k].v});
        }
    }
    if (std::is_sorted(e.begin(), e.end(), before)) return;
    if (rows > static_cast<long long>(4 * e.size()) + (1 << 16))
    {
        std::stable_sort(e.begin(), e.end(), before);
        return;
    }
    std::vector<std::size_t> start(static_cast<std::size_t>(rows) + 1, 0);
    for (const Entry& x : e) ++start[static_cast<std::size_t>(x.i) + 1];
    for (std::size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
    std::vector<Entry> sorted(e.size());
    std::vector<std::size_t> next(start.begin(), start.end() - 1);
    for (const Entry& x : e) sorted[next[static_cast<std::size_t>(x.i)]++] = x;
    for (std::size_t r = 0; r + 1 < start.size(); ++r)
    {
        const auto first = sorted.begin() + static_cast<std::ptrdiff_t>(start[r]);
        const auto last = sorted.begin() + static_cast<std::ptrdiff_t>(start[r + 1]);
        if (!std::is_sorted(first, last, before)) std::stable_sort(first, last, before);
    }
    e.swap(sorted);
}

// Opens path, reads its banner and size line and hands them to body(rd, h), which reads the rest
// and fills the target; a read error ends the reading with MM_OPEN_FAILED.
template <class Body> int read_file(LPCTSTR path, CString* message, Body body)
{
    if (message) message->Empty();
    Reading rd;
    rd.message = message;
    LineReader lines(rd.file, tarvel::detail::LineEnds::exchange, 1 << 16, kLongestLine);
    rd.lines = &lines;
    try
    {
        Header h;
        const int status = open_and_read_header(rd, path, h);
        return status != MM_OK ? status : body(rd, h);
    }
    catch (const CFileException&)
    {
        return rd.fail(MM_OPEN_FAILED, "the file cannot be read");
    }
}

// Rows of a system matrix that its entries need not pay for; beyond them, each row must come
// with entries read (at most 16 empty rows per entry), so a forged size line cannot make
// billions of rows from a short file.
constexpr long long kFreeRows = 1 << 16;

}  // namespace

// =============================================================================================
// Public operations
// =============================================================================================

const char* MMStatusText(int status)
{
    switch (status)
    {
    case MM_OK:
        return "no error";
    case MM_OPEN_FAILED:
        return "the file cannot be opened";
    case MM_WRITE_FAILED:
        return "the file cannot be written";
    case MM_BAD_BANNER:
        return "not a Matrix Market banner";
    case MM_UNSUPPORTED:
        return "a Matrix Market kind this reader does not take";
    case MM_BAD_SIZE:
        return "missing or malformed size line";
    case MM_TOO_LARGE:
        return "a size too large for the library or for the file";
    case MM_BAD_ENTRY:
        return "malformed entry";
    case MM_OUT_OF_RANGE:
        return "index out of range";
    case MM_COUNT_MISMATCH:
        return "entry count differs from the size line";
    case MM_WRONG_SHAPE:
        return "a matrix of a shape the target cannot hold";
    default:
        return "unknown status";
    }
}

int MMWrite(const CSparseMatrix& A, LPCTSTR path) { return MMWrite(A, path, MM_AS_STORED, -1); }

int MMWrite(const CSparseMatrix& A, LPCTSTR path, int symmetry, int n)
{
    const CSystSpMat* S = dynamic_cast<const CSystSpMat*>(&A);
    const bool upper = holds_upper_triangle(A);
    bool symmetric = symmetry == MM_SYMMETRIC_UPPER;
    if (symmetry == MM_AS_STORED) symmetric = S && CVirtMat::m_bSym && upper;
    if (symmetric && !upper) return MM_WRONG_SHAPE;  // a cell below the diagonal
    // -- The size: given, a system's order, or what the cells and the last Allocate reach --
    long long rows = std::max(A.GetRows(), A.m_nAllocRows);
    long long cols = std::max(A.GetColumns(), A.m_nAllocCols);
    if (S) rows = cols = S->GetRows();
    if (symmetric) rows = cols = std::max(rows, cols);
    if (n >= 0)
    {
        if (A.GetRows() > n || A.GetColumns() > n) return MM_WRONG_SHAPE;  // a cell beyond n
        rows = cols = n;
    }
    long long entries = 0;
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext) ++entries;
    return write_file(path,
                      [&](TextWriter& out)
                      {
                          out.append(symmetric ? "%%MatrixMarket matrix coordinate real symmetric\n"
                                               : "%%MatrixMarket matrix coordinate real general\n");
                          out.put_integer(rows);
                          out.put_char(' ');
                          out.put_integer(cols);
                          out.put_char(' ');
                          out.put_integer(entries);
                          out.put_char('\n');
                          for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
                          {
                              const long long i = r->m_nRow + 1LL;
                              for (const CSparseMatrix::cell* c = r->m_pFirstCell; c;
                                   c = c->m_pNext)
                              {
                                  const long long j = c->m_nCol + 1LL;
                                  out.put_integer(symmetric ? j : i);  // (i, j), j >= i, as the
                                  out.put_char(' ');                   // lower entry (j, i)
                                  out.put_integer(symmetric ? i : j);
                                  out.put_char(' ');
                                  out.put_exact(c->m_dValue);
                                  out.put_char('\n');
                              }
                          }
                      });
}

int MMWrite(const CVector& v, LPCTSTR path)
{
    const CMatrix* M = dynamic_cast<const CMatrix*>(&v);
    const int rows = M ? M->GetRows() : v.GetSize();
    const int cols = M ? M->GetColumns() : 1;
    return write_file(path,
                      [&](TextWriter& out)
                      {
                          out.append("%%MatrixMarket matrix array real general\n");
                          out.put_integer(rows);
                          out.put_char(' ');
                          out.put_integer(cols);
                          out.put_char('\n');
                          for (long j = 0; j < cols; ++j)  // column by column (M1: i * cols + j)
                              for (long i = 0; i < rows; ++i)
                              {
                                  out.put_exact(v.GetVector()[i * cols + j]);
                                  out.put_char('\n');
                              }
                      });
}

int MMRead(LPCTSTR path, CSparseMatrix& A, CString* message)
{
    return read_file(path, message,
                     [&A](Reading& rd, const Header& h) -> int
                     {
                         CSystSpMat* S = dynamic_cast<CSystSpMat*>(&A);
                         if (S && h.rows != h.cols)
                             return rd.fail(MM_WRONG_SHAPE, "a system matrix must be square");
                         std::vector<Entry> entries;
                         const int status = read_sparse_entries(rd, h, entries);
                         if (status != MM_OK) return status;
                         if (S && h.rows > kFreeRows + 16 * static_cast<long long>(entries.size()))
                             return rd.fail(MM_TOO_LARGE,
                                            std::to_string(h.rows) + " rows for " +
                                                std::to_string(entries.size()) +
                                                " entries: more than 16 empty rows per entry");
                         arrange(entries, h.symmetric, CVirtMat::m_bSym, h.rows);

                         if (S)
                         {
                             CSystSpMat K(static_cast<int>(h.rows));
                             if (K.GetRows() != h.rows && h.rows > 0)
                                 return rd.fail(MM_TOO_LARGE, "the rows cannot be allocated");
                             tarvel::detail::build_sorted_rows(K, entries);
                             *S = std::move(K);
                             return MM_OK;
                         }
                         CSparseMatrix B;
                         tarvel::detail::build_sorted_rows(B, entries, static_cast<int>(h.rows),
                                                           static_cast<int>(h.cols));
                         A = std::move(B);
                         return MM_OK;
                     });
}

int MMRead(LPCTSTR path, CVector& v, CString* message)
{
    return read_file(
        path, message,
        [&v](Reading& rd, const Header& h) -> int
        {
            CMatrix* M = dynamic_cast<CMatrix*>(&v);
            if (h.coordinate)
                return rd.fail(MM_WRONG_SHAPE, "a dense matrix or vector is read from array files");
            if (!M && h.rows != 1 && h.cols != 1)
                return rd.fail(MM_WRONG_SHAPE, "a vector is read from one column or one row");
            if (h.rows * h.cols > INT_MAX)
                return rd.fail(MM_TOO_LARGE, "more values than the library's int indices");
            std::vector<double> values;  // all of them read before the target is sized
            const int status = read_array_values(rd, h, values);
            if (status != MM_OK) return status;
            const int rows = static_cast<int>(h.rows), cols = static_cast<int>(h.cols);
            CMatrix tm;
            CVector tv;
            const bool made =
                M ? tm.Allocate(rows, cols, true, 0.0) : tv.Allocate(rows * cols, true, 0.0);
            if (!made && rows * cols > 0)
                return rd.fail(MM_TOO_LARGE, "the values cannot be allocated");
            double* data = M ? tm.GetVector() : tv.GetVector();
            const bool transposed = !M && h.rows == 1;  // a row read into a vector
            for_each_array_value(h, values,
                                 [&](int i, int j, double x)
                                 {
                                     data[transposed ? j : static_cast<long>(i) * cols + j] = x;
                                     if (h.symmetric) data[static_cast<long>(j) * cols + i] = x;
                                 });
            v.SwitchVectors(M ? static_cast<CVector*>(&tm) : &tv);
            return MM_OK;
        });
}
