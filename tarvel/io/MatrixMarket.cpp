// Matrix Market files: the writer (buffered text through CFile, renamed into place) and the
// reader (banner, size line, entries; every count checked before it sizes anything). Layout and
// choices in MatrixMarket.h.
#include <tarvel/core/Matrix.h>
#include <tarvel/core/Vector.h>
#include <tarvel/io/MatrixMarket.h>
#include <tarvel/platform/File.h>
#include <tarvel/platform/detail/ReplaceFile.h>
#include <tarvel/sparse/SparseMatrix.h>
#include <tarvel/sparse/SystSpMat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

// =============================================================================================
// Writing
// =============================================================================================

// Text gathered in memory and handed to the file in large blocks.
class TextSink
{
public:
    explicit TextSink(CFile& file) : m_file(file) { m_text.reserve(kBlock + 256); }
    void put(const char* s) { append(s, std::strlen(s)); }
    void put_index_pair(long long i, long long j)
    {
        char buf[48];
        append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%lld %lld", i, j)));
    }
    void put_value(double v)  // 17 significant digits: every double reads back exactly
    {
        char buf[40];
        append(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%.17g", v)));
    }
    void flush()
    {
        if (!m_text.empty()) m_file.Write(m_text.data(), static_cast<UINT>(m_text.size()));
        m_text.clear();
    }

private:
    static constexpr std::size_t kBlock = 1 << 20;
    void append(const char* s, std::size_t n)
    {
        m_text.append(s, n);
        if (m_text.size() >= kBlock) flush();
    }
    CFile& m_file;
    std::string m_text;
};

// Writes the file for path through ReplaceFile, body(sink) producing its text.
template <class Body> int write_file(LPCTSTR path, Body body)
{
    tarvel::detail::ReplaceFile place;
    CFile file;
    if (!place.open(path) || !file.Open(place.path().c_str(), CFile::modeCreate | CFile::modeWrite))
        return MM_OPEN_FAILED;
    try
    {
        TextSink sink(file);
        body(sink);
        sink.flush();
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
// Reading: lines, numbers, the banner and the size line
// =============================================================================================

// Lines of a file read in blocks; the line end ("\n" or "\r\n") is dropped.
class LineReader
{
public:
    explicit LineReader(CFile& file) : m_file(file), m_block(kBlock) {}
    // False at the end of the file; throws CFileException on a read error. A line longer than
    // kLongestLine keeps its first kLongestLine characters and is marked too long.
    bool next(std::string& line)
    {
        line.clear();
        m_tooLong = false;
        bool any = false;
        for (;;)
        {
            if (m_pos == m_end)
            {
                m_end = m_file.Read(m_block.data(), kBlock);
                m_pos = 0;
                if (m_end == 0) break;
            }
            any = true;
            const char* begin = m_block.data() + m_pos;
            const void* nl = std::memchr(begin, '\n', m_end - m_pos);
            const std::size_t take =
                nl ? static_cast<const char*>(nl) - begin : static_cast<std::size_t>(m_end - m_pos);
            const std::size_t room = kLongestLine - line.size();
            line.append(begin, std::min(take, room));
            m_tooLong = m_tooLong || take > room;
            m_pos += static_cast<UINT>(take);
            if (nl)
            {
                ++m_pos;
                break;
            }
        }
        if (!any) return false;
        ++m_line;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    long line_number() const { return m_line; }
    bool line_too_long() const { return m_tooLong; }  // of the last line read

private:
    static constexpr UINT kBlock = 1 << 20;
    // The format keeps lines short; a longer one is gathered only this far.
    static constexpr std::size_t kLongestLine = 4096;
    CFile& m_file;
    std::vector<char> m_block;
    UINT m_pos = 0, m_end = 0;
    long m_line = 0;
    bool m_tooLong = false;
};

bool is_blank(const std::string& line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; });
}

const char* skip_space(const char* s)
{
    while (*s == ' ' || *s == '\t' || *s == '\v' || *s == '\f' || *s == '\r') ++s;
    return s;
}

// A number token ends at white space or at the end of the line.
bool token_ended(const char* s)
{
    return *s == '\0' || std::isspace(static_cast<unsigned char>(*s));
}

// Reads a decimal integer at s, advancing s; false when there is none. Values beyond long long
// saturate (and are then out of every range checked later).
bool read_integer(const char*& s, long long& v)
{
    s = skip_space(s);
    char* end = nullptr;
    v = std::strtoll(s, &end, 10);
    if (end == s || !token_ended(end)) return false;
    s = end;
    return true;
}

bool read_real(const char*& s, double& v)
{
    s = skip_space(s);
    char* end = nullptr;
    v = std::strtod(s, &end);
    if (end == s || !token_ended(end)) return false;
    s = end;
    return true;
}

bool at_line_end(const char* s) { return *skip_space(s) == '\0'; }

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
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
    ULONGLONG length = 0;
    LineReader* lines = nullptr;
    CString* message = nullptr;

    int fail(int status, const std::string& what)
    {
        if (message)
        {
            if (lines && lines->line_number() > 0)
                message->Format("line %ld: %s", lines->line_number(), what.c_str());
            else
                *message = what.c_str();
        }
        return status;
    }
};

int read_banner(Reading& rd, Header& h)
{
    std::string line;
    if (!rd.lines->next(line)) return rd.fail(MM_BAD_BANNER, "empty file, no banner");
    std::vector<std::string> words;
    for (const char* s = line.c_str(); *(s = skip_space(s));)
    {
        const char* e = s;
        while (*e && !std::isspace(static_cast<unsigned char>(*e))) ++e;
        words.push_back(lower(std::string(s, e)));
        s = e;
    }
    if (rd.lines->line_too_long() || words.size() != 5 || words[0] != "%%matrixmarket")
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

int read_size(Reading& rd, Header& h)
{
    std::string line;
    do
    {
        if (!rd.lines->next(line)) return rd.fail(MM_BAD_SIZE, "no size line");
    } while (line[0] == '%' ||
             (!rd.lines->line_too_long() && is_blank(line)));  // comments of any length
    const char* s = line.c_str();
    const bool ok = !rd.lines->line_too_long() && read_integer(s, h.rows) &&
                    read_integer(s, h.cols) && (!h.coordinate || read_integer(s, h.entries)) &&
                    at_line_end(s);
    if (!ok)
        return rd.fail(MM_BAD_SIZE, h.coordinate ? "size line is not \"rows cols entries\""
                                                 : "size line is not \"rows cols\"");
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
    rd.length = rd.file.GetLength();
    int status = read_banner(rd, h);
    if (status == MM_OK) status = read_size(rd, h);
    return status;
}

// The next data line (blank lines skipped); false at the end of the file.
bool next_data_line(Reading& rd, std::string& line)
{
    while (rd.lines->next(line))
        if (rd.lines->line_too_long() || !is_blank(line)) return true;
    return false;
}

std::string range_text(const char* what, long long v, long long n)
{
    return std::string(what) + " index " + std::to_string(v) + " outside 1.." + std::to_string(n);
}

// The entries of a coordinate file, in file order, 0-based; at most h.entries of them.
struct Entry
{
    int i, j;
    double v;
};

int read_coordinate_entries(Reading& rd, const Header& h, std::vector<Entry>& out)
{
    std::string line;
    long long count = 0;
    while (next_data_line(rd, line))
    {
        if (++count > h.entries)
            return rd.fail(MM_COUNT_MISMATCH,
                           "more entries than the " + std::to_string(h.entries) + " announced");
        const char* s = line.c_str();
        long long i = 0, j = 0, n = 0;
        double v = 1.0;
        bool ok = !rd.lines->line_too_long() && read_integer(s, i) && read_integer(s, j);
        if (ok && h.field == Field::Real) ok = read_real(s, v);
        if (ok && h.field == Field::Integer && (ok = read_integer(s, n)))
            v = static_cast<double>(n);
        if (!ok || !at_line_end(s))
            return rd.fail(MM_BAD_ENTRY, h.field == Field::Pattern ? "entry is not \"i j\""
                                         : h.field == Field::Integer
                                             ? "entry is not \"i j integer\""
                                             : "entry is not \"i j value\"");
        if (i < 1 || i > h.rows) return rd.fail(MM_OUT_OF_RANGE, range_text("row", i, h.rows));
        if (j < 1 || j > h.cols) return rd.fail(MM_OUT_OF_RANGE, range_text("column", j, h.cols));
        out.push_back({static_cast<int>(i - 1), static_cast<int>(j - 1), v});
    }
    if (count < h.entries)
        return rd.fail(MM_COUNT_MISMATCH, std::to_string(count) + " entries where " +
                                              std::to_string(h.entries) + " were announced");
    return MM_OK;
}

// The values of an array file in file order (column by column; the lower triangle only for a
// symmetric file), each handed to put(i, j, v).
template <class Put> int read_array_values(Reading& rd, const Header& h, Put put)
{
    std::string line;
    long long count = 0;
    long long i = 0, j = 0;  // the position of the next value
    while (next_data_line(rd, line))
    {
        if (++count > h.entries)
            return rd.fail(MM_COUNT_MISMATCH,
                           "more values than the " + std::to_string(h.entries) + " of the size");
        const char* s = line.c_str();
        double v = 0.0;
        long long n = 0;
        bool ok = !rd.lines->line_too_long();
        if (ok && h.field == Field::Real) ok = read_real(s, v);
        if (ok && h.field == Field::Integer && (ok = read_integer(s, n)))
            v = static_cast<double>(n);
        if (!ok || !at_line_end(s))
            return rd.fail(MM_BAD_ENTRY, h.field == Field::Integer ? "value is not an integer"
                                                                   : "value is not a number");
        put(static_cast<int>(i), static_cast<int>(j), v);
        if (++i == h.rows)
        {
            ++j;
            i = h.symmetric ? j : 0;
        }
    }
    if (count < h.entries)
        return rd.fail(MM_COUNT_MISMATCH, std::to_string(count) + " values where " +
                                              std::to_string(h.entries) + " were announced");
    return MM_OK;
}

// Entries of either format, 0-based, for a sparse target.
int read_sparse_entries(Reading& rd, const Header& h, std::vector<Entry>& out)
{
    if (h.coordinate) return read_coordinate_entries(rd, h, out);
    if (h.entries > static_cast<long long>(rd.length))
        return rd.fail(MM_TOO_LARGE, "more values announced than the file has bytes");
    return read_array_values(
        rd, h,
        [&out](int i, int j, double v)
        {
            if (v != 0.0) out.push_back({i, j, v});  // an array holds its zeros; sparse does not
        });
}

// The entries as stored: a symmetric file's entries mirrored (both triangles) or moved to the
// upper triangle (upper); then sorted by row and column, the order of the file kept among
// repeats so that they are summed in the file's order.
void arrange(std::vector<Entry>& e, bool symmetric, bool upper)
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
    std::stable_sort(e.begin(), e.end(),
                     [](const Entry& a, const Entry& b)
                     { return a.i != b.i ? a.i < b.i : a.j < b.j; });
}

// Opens path, reads its banner and size line and hands them to body(rd, h), which reads the rest
// and fills the target; a read error ends the reading with MM_OPEN_FAILED.
template <class Body> int read_file(LPCTSTR path, CString* message, Body body)
{
    if (message) message->Empty();
    Reading rd;
    rd.message = message;
    try
    {
        LineReader lines(rd.file);
        rd.lines = &lines;
        Header h;
        const int status = open_and_read_header(rd, path, h);
        return status != MM_OK ? status : body(rd, h);
    }
    catch (const CFileException&)
    {
        return rd.fail(MM_OPEN_FAILED, "the file cannot be read");
    }
}

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

int MMWrite(const CSparseMatrix& A, LPCTSTR path)
{
    const long long rows = A.GetRows(), cols = A.GetColumns();
    const bool symmetric = CVirtMat::m_bSym && rows == cols && holds_upper_triangle(A);
    long long entries = 0;
    for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext) ++entries;
    return write_file(path,
                      [&](TextSink& out)
                      {
                          out.put(symmetric ? "%%MatrixMarket matrix coordinate real symmetric\n"
                                            : "%%MatrixMarket matrix coordinate real general\n");
                          char size[80];
                          std::snprintf(size, sizeof size, "%lld %lld %lld\n", rows, cols, entries);
                          out.put(size);
                          for (const CSparseMatrix::row* r = A.GetFirstRow(); r; r = r->m_pNextRow)
                              for (const CSparseMatrix::cell* c = r->m_pFirstCell; c;
                                   c = c->m_pNext)
                              {
                                  if (symmetric)  // (i, j), j >= i, as the lower entry (j, i)
                                      out.put_index_pair(c->m_nCol + 1LL, r->m_nRow + 1LL);
                                  else
                                      out.put_index_pair(r->m_nRow + 1LL, c->m_nCol + 1LL);
                                  out.put(" ");
                                  out.put_value(c->m_dValue);
                                  out.put("\n");
                              }
                      });
}

int MMWrite(const CVector& v, LPCTSTR path)
{
    const CMatrix* M = dynamic_cast<const CMatrix*>(&v);
    const int rows = M ? M->GetRows() : v.GetSize();
    const int cols = M ? M->GetColumns() : 1;
    return write_file(path,
                      [&](TextSink& out)
                      {
                          out.put("%%MatrixMarket matrix array real general\n");
                          out.put_index_pair(rows, cols);
                          out.put("\n");
                          for (long j = 0; j < cols;
                               ++j)  // column by column (M1: element i * cols + j)
                              for (long i = 0; i < rows; ++i)
                              {
                                  out.put_value(v.GetVector()[i * cols + j]);
                                  out.put("\n");
                              }
                      });
}

int MMRead(LPCTSTR path, CSparseMatrix& A, CString* message)
{
    return read_file(
        path, message,
        [&A](Reading& rd, const Header& h) -> int
        {
            CSystSpMat* S = dynamic_cast<CSystSpMat*>(&A);
            if (S && h.rows != h.cols)
                return rd.fail(MM_WRONG_SHAPE, "a system matrix must be square");
            if (S && h.rows > static_cast<long long>(rd.length))
                return rd.fail(MM_TOO_LARGE, "more rows announced than the file has bytes");
            std::vector<Entry> entries;
            const int status = read_sparse_entries(rd, h, entries);
            if (status != MM_OK) return status;
            arrange(entries, h.symmetric, CVirtMat::m_bSym);

            if (S)
            {
                CSystSpMat K(static_cast<int>(h.rows));
                if (K.GetRows() != h.rows && h.rows > 0)
                    return rd.fail(MM_TOO_LARGE, "the rows cannot be allocated");
                CSparseMatrix::cell* c = nullptr;
                for (std::size_t k = 0; k < entries.size(); ++k)
                {
                    if (k == 0 || entries[k].i != entries[k - 1].i) c = nullptr;
                    K.m_pRowArray[entries[k].i].Add(entries[k].j, entries[k].v, c);
                }
                K.m_nAllocRows = K.m_nAllocCols = static_cast<int>(h.rows);
                *S = std::move(K);
                return MM_OK;
            }
            CSparseMatrix B;  // built row by row at the end of its list (R1, R2 from the sort)
            CSparseMatrix::row* last = nullptr;
            CSparseMatrix::cell* c = nullptr;
            for (const Entry& e : entries)
            {
                if (!last || last->m_nRow != e.i)
                {
                    CSparseMatrix::row* r = new CSparseMatrix::row;
                    r->m_nRow = e.i;
                    (last ? last->m_pNextRow : B.m_pFirstRow) = r;  // owned by B from here (R3)
                    last = r;
                    c = nullptr;
                }
                last->Add(e.j, e.v, c);
            }
            B.m_nAllocRows = static_cast<int>(h.rows);
            B.m_nAllocCols = static_cast<int>(h.cols);
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
            const long long size = h.rows * h.cols;
            if (size > INT_MAX || size > static_cast<long long>(rd.length))
                return rd.fail(MM_TOO_LARGE, "more values announced than the file has bytes");
            const int rows = static_cast<int>(h.rows), cols = static_cast<int>(h.cols);
            CMatrix tm;
            CVector tv;
            const bool made =
                M ? tm.Allocate(rows, cols, true, 0.0) : tv.Allocate(rows * cols, true, 0.0);
            if (!made && size > 0) return rd.fail(MM_TOO_LARGE, "the values cannot be allocated");
            double* data = M ? tm.GetVector() : tv.GetVector();
            const bool transposed = !M && h.rows == 1;  // a row read into a vector
            const int status =
                read_array_values(rd, h,
                                  [&](int i, int j, double x)
                                  {
                                      data[transposed ? j : static_cast<long>(i) * cols + j] = x;
                                      if (h.symmetric) data[static_cast<long>(j) * cols + i] = x;
                                  });
            if (status != MM_OK) return status;
            v.SwitchVectors(M ? static_cast<CVector*>(&tm) : &tv);
            return MM_OK;
        });
}
