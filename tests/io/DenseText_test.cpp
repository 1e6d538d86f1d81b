// Text forms of CVector and CMatrix: the exact bytes of the writers in every number form, round
// trips through the readers, the file positions the readers leave on CRLF and LF files, and the
// sectioned reader with comments, nested blocks, an empty end keyword and blocks ended by text.
#include "io/TextFiles.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace tarvel_test;

namespace
{

CMatrix matrix(int rows, int cols, const std::vector<double>& values)
{
    CMatrix m(rows, cols);
    for (int k = 0; k < rows * cols; ++k) m.m_pData[k] = values[std::size_t(k)];
    return m;
}

std::vector<double> values_of(const CVector& v) { return {v.m_pData, v.m_pData + v.m_nSize}; }

std::string blanks(int n) { return std::string(std::size_t(n), ' '); }

}  // namespace

// =============================================================================================
// Writers
// =============================================================================================

// The vector: one line, format 0 fixed and any other exponent, no labels or header. The
// matrix: header block, rows with labels, and the last piece of text written once more.
TEST(DenseTextWriter, WritesTheVectorAndMatrixLayouts)
{
    CVector v(2), empty;
    v[0] = 1.0;
    v[1] = -2.5;
    CMatrix m22 = matrix(2, 2, {1, 2, 3, 4}), m12 = matrix(1, 2, {1.5, -2});
    CMatrix half = matrix(1, 1, {0.5}), none;
    // (object, prefix, suffix, width, precision, format, row numbers, header, expected)
    const std::vector<
        std::tuple<CVector*, std::string, std::string, int, int, int, bool, bool, std::string>>
        cases = {
            {&v, "", " ", 10, 3, 0, true, true, "     1.000     -2.500 \r\n"},
            {&v, "", " ", 10, 3, 2, true, true, " 1.000e+00 -2.500e+00 \r\n"},
            {&v, "<", ">", 4, 1, 0, false, false, "< 1.0><-2.5>\r\n"},
            {&empty, "<", ">", 4, 1, 0, true, true, "\r\n"},
            {&m22, "", "", 8, 3, 0, true, true,
             "\r\n" + blanks(13) + "1       2\r\n" + "    1    1.000   2.000\r\n" +
                 "    2    3.000   4.000\r\n" + "\r\n"},
            {&m22, "", "", 8, 3, 0, false, false, "   1.000   2.000\r\n   3.000   4.000\r\n\r\n"},
            {&m22, "", " ", 4, 0, 0, false, true,
             "\r\n   1    2 \r\n   1    2 \r\n   3    4 \r\n\r\n"},
            {&m12, "[", "]", 12, 4, 1, true, false,
             "       1 [  1.5000e+00][ -2.0000e+00]\r\n\r\n"},
            {&m12, "[", "]", 12, 4, 1, false, true,
             "\r\n[           1][           2]\r\n[  1.5000e+00][ -2.0000e+00]\r\n\r\n"},
            {&half, "", "", 8, 3, 2, false, false, "     0.5\r\n\r\n"},
            {&m12, "", ";", 6, 2, 2, true, false, "   1    1.5;    -2;\r\n\r\n"},
            // label width 0 (width - precision): the blank header field is two blanks
            {&half, "", "", 3, 3, 0, true, true, "\r\n    1\r\n1 0.500\r\n\r\n"},
            // label width -2: a left-aligned label
            {&half, "", "", 3, 5, 0, true, false, "1  0.50000\r\n\r\n"},
            // formats outside 0..2 write no row: the last piece, "\r\n" or the header, twice
            {&m22, "", "", 8, 3, 3, true, false, "\r\n"},
            {&m22, "", "", 8, 3, -1, false, true,
             "\r\n       1       2\r\n\r\n       1       2\r\n"},
            {&none, "", "", 8, 3, 0, true, true, "\r\n      \r\n\r\n      \r\n"},
            {&none, "", "", 8, 3, 0, false, false, "\r\n"},
        };
    for (const auto& [m, prefix, suffix, width, precision, format, rows, header, expected] : cases)
    {
        SCOPED_TRACE(expected);
        EXPECT_EQ(written(
                      [&](CFile* f) {
                          m->WriteASCII(f, prefix.c_str(), suffix.c_str(), width, precision, format,
                                        rows, header);
                      }),
                  expected);
    }
}

// =============================================================================================
// Round trips
// =============================================================================================

// Seventeen significant digits give every double back exactly; the plain matrix reader stops
// before the empty line that follows the matrix.
TEST(DenseTextRoundTrip, ReadsBackWhatWasWritten)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> value(-1e6, 1e6);
    for (const auto& [rows, cols] : {std::pair{1, 1}, std::pair{3, 4}, std::pair{40, 7}})
    {
        SCOPED_TRACE(rows * 100 + cols);
        CMatrix m(rows, cols);
        for (int k = 0; k < rows * cols; ++k) m.m_pData[k] = value(rng) * std::pow(10, k % 9 - 4);
        TextFile f;
        m.WriteASCII(&f.file(), "", " ", 25, 16, 1, false, false);
        f->SeekToBegin();
        CMatrix back;
        back.ReadASCII(&f.file());
        EXPECT_EQ(back.m_nRows, rows);
        EXPECT_EQ(back.GetColumns(), cols);
        EXPECT_EQ(values_of(back), values_of(m));
        EXPECT_EQ(f.position(), f.bytes().size() - 2);  // at the empty line
        CMatrix again(2, 2, true, 9.0);
        again.ReadASCII(&f.file());  // from the empty line: no rows
        EXPECT_EQ(again.m_nRows, 0);
        EXPECT_EQ(f.position(), f.bytes().size() - 2);

        f->SeekToBegin();
        CVector v;
        v.ReadASCII(&f.file());  // the vector reader takes every number of the file
        EXPECT_EQ(values_of(v), values_of(m));
    }
    // fixed and shortest forms read back to the printed precision
    CMatrix m = matrix(2, 2, {0.125, -3, 1e-3, 42});
    for (int format : {0, 2})
    {
        TextFile f;
        m.WriteASCII(&f.file(), "", " ", 10, 3, format, false, false);
        f->SeekToBegin();
        CMatrix back;
        back.ReadASCII(&f.file());
        EXPECT_EQ(values_of(back), (std::vector<double>{0.125, -3, 0.001, 42}));
    }
}

// A header makes the file begin with an empty line: no rows. Row numbers read as a first column.
TEST(DenseTextRoundTrip, HeaderAndRowNumbersChangeWhatIsRead)
{
    const CMatrix m = matrix(2, 2, {1, 2, 3, 4});
    CMatrix copy(m);
    TextFile f;
    copy.WriteASCII(&f.file(), "", " ", 8, 3, 0, true, false);
    f->SeekToBegin();
    CMatrix back;
    back.ReadASCII(&f.file());
    EXPECT_EQ(back.GetColumns(), 3);
    EXPECT_EQ(values_of(back), (std::vector<double>{1, 1, 2, 2, 3, 4}));

    TextFile g;
    copy.WriteASCII(&g.file(), "", " ", 8, 3, 0, false, true);
    g->SeekToBegin();
    CMatrix none(3, 3);
    none.ReadASCII(&g.file());
    EXPECT_EQ(none.m_nRows, 0);
    EXPECT_EQ(none.m_nSize, 0);
    EXPECT_EQ(g.position(), 0u);
}

// Entries that fill their field run together and read as one number text.
TEST(DenseTextRoundTrip, FullFieldsRunTogether)
{
    CMatrix m = matrix(1, 2, {1234.5, 12345});
    TextFile f;
    m.WriteASCII(&f.file(), "", "", 5, 1, 0, false, false);
    f->SeekToBegin();
    CMatrix back;
    back.ReadASCII(&f.file());
    EXPECT_EQ(values_of(back), (std::vector<double>{1234.512345}));  // "1234.512345.0"
}

// =============================================================================================
// Plain readers: values and positions on CRLF and LF files
// =============================================================================================

TEST(DenseTextReader, VectorTakesEveryNumberAndStopsAfterTheLastOne)
{
    for (const std::string end : {"\r\n", "\n"})
    {
        SCOPED_TRACE(end.size());
        const std::string e = end;
        // (contents, values, position after)
        const std::vector<std::tuple<std::string, std::vector<double>, std::size_t>> cases = {
            {"1 2" + e + "text" + e + "3" + e + "tail" + e, {1, 2, 3}, 8 + 3 * e.size()},
            {"I1 g" + e, {1, 0, 0, 9.81}, 4 + e.size()},
            {"x" + e + "y" + e, {}, 1 + e.size()},  // no number: one line is read
            {"", {}, 0},
            {"5", {5}, 1},
        };
        for (const auto& [contents, values, position] : cases)
        {
            SCOPED_TRACE(contents);
            TextFile f(contents);
            CVector v(4, true, 8.0);
            v.ReadASCII(&f.file());
            EXPECT_EQ(values_of(v), values);
            EXPECT_EQ(f.position(), position);
        }
    }
}

// The rows are the lines up to the first one without numbers; the file is left just after the
// last row, in every line-end form.
TEST(DenseTextReader, MatrixReadsOneBlockOfRows)
{
    for (const std::vector<std::string>& ends : kLineEndForms)
    {
        // (lines, rows, columns, values, the line the file stands at afterwards)
        const std::vector<std::tuple<std::vector<std::string>, int, int, std::vector<double>, int>>
            cases = {
                {{"1 2 3", "4 5", "", "7"}, 2, 3, {1, 2, 3, 4, 5, 0}, 2},
                {{"-I3", "pi/2 2pi", "x"}, 2, 3, {0, 0, -1, 2, 2, 0}, 2},
                {{"1;2", "3,5"}, 2, 2, {1, 2, 3.5, 0}, 2},
                {{"", "1 2"}, 0, 0, {}, 0},
                {{}, 0, 0, {}, 0},
            };
        for (const auto& [lines, rows, cols, values, after] : cases)
        {
            std::vector<std::size_t> line;
            TextFile f(with_line_ends(lines, ends, &line));
            SCOPED_TRACE(f.bytes());
            CMatrix m(5, 5, true, 8.0);
            m.ReadASCII(&f.file());
            EXPECT_EQ(m.m_nRows, rows);
            EXPECT_EQ(m.GetColumns(), cols);
            EXPECT_EQ(values_of(m), values);
            EXPECT_EQ(f.position(), line[std::size_t(after)]);
        }
    }
}

// =============================================================================================
// Sectioned reader
// =============================================================================================

namespace
{

struct Sectioned
{
    std::vector<std::string> lines;
    std::string start, end, comment;
    int rows, cols;
    std::vector<double> values;
    std::string next;  // the line at the file's position afterwards ("" at the end)
};

}  // namespace

TEST(SectionedReader, ReadsTheBlockAfterTheStartKeyword)
{
    const std::vector<Sectioned> cases = {
        {{"stiff", "1 2 ! first row", "", "3 4", "end", "5 6"},
         "STIFF",
         "END",
         "!",
         2,
         2,
         {1, 2, 3, 4},
         "5 6"},
        // comments and keywords ignore case; the start keyword's own line is never a row
        {{"head", "Stiff 9 9", "1 2 c 7 7", "3 4", "End block", "5 6"},
         "stiff",
         "end",
         "c",
         2,
         2,
         {1, 2, 3, 4},
         "5 6"},
        // a line beginning with the start keyword's first letter opens a nested block
        {{"stiff", "1 2", "S nested", "9 9 9", "end", "3 4", "end", "5 6"},
         "STIFF",
         "END",
         "!",
         2,
         2,
         {1, 2, 3, 4},
         "5 6"},
        // a block ended by a text line: rows after it are not read
        {{"stiff", "1 2", "oops", "3 4", "end"}, "STIFF", "END", "!", 1, 2, {1, 2}, "3 4"},
        // an empty end keyword: text ends the block; a nested block is one further line
        {{"stiff", "1 2", "Skip", "7 7 7", "3", "text", "5"},
         "STIFF",
         "",
         "!",
         2,
         2,
         {1, 2, 3, 0},
         "5"},
        // no end keyword before the end of the file
        {{"stiff", "1", "2 3"}, "STIFF", "END", "!", 2, 2, {1, 0, 2, 3}, ""},
        // symbols, upper-cased before the scan
        {{"stiff", "i1", "-g pi/2 2pi", "end"},
         "stiff",
         "end",
         "",
         2,
         3,
         {1, 0, 0, -9.81, 2, 2},
         ""},
        // an empty block
        {{"stiff", "end", "1 2"}, "STIFF", "END", "", 0, 0, {}, "1 2"},
        // no start keyword: matrix and position untouched
        {{"1 2", "end"}, "STIFF", "END", "!", 3, 3, std::vector<double>(9, 8.0), "1 2"},
    };
    for (const Sectioned& c : cases)
    {
        SCOPED_TRACE(c.lines[1]);
        TextFile f(with_line_ends(c.lines, "\r\n"));
        CMatrix m(3, 3, true, 8.0);
        m.ReadASCII(&f.file(), c.start.c_str(), c.end.c_str(), c.comment.c_str());
        EXPECT_EQ(m.m_nRows, c.rows);
        EXPECT_EQ(m.GetColumns(), c.cols);
        EXPECT_EQ(values_of(m), c.values);
        EXPECT_EQ(f.rest_of_line(), c.next);
    }
}

// A sectioned input file in CR LF, LF and mixed form: every reader that follows a keyword search
// reads the same numbers and leaves the file at the same line (on LF files the search used to
// count two bytes per line end, and E became 1e10).
TEST(ReadersAfterSeekTo, ReadTheSameInEveryLineEndForm)
{
    const std::vector<std::string> lines = {"MATERIAL",        "210e9 0.3", "END", "GEOMETRY",
                                            "4 1 1 ! a brick", "END",       "tail"};
    using Values = std::vector<double>;
    CString comment("!");
    // Each reader after a search from the start (or the sectioned reader, which searches
    // itself), then the same again for GEOMETRY from where the first left the file.
    const auto plain = [](CFile& f)
    {
        CMatrix m;
        m.ReadASCII(&f);
        return values_of(m);
    };
    const auto vector = [](CFile& f)
    {
        CVector v;
        v.ReadASCII(&f);
        return values_of(v);
    };
    const auto sparse = [](CFile& f)
    {
        CSparseMatrix s;
        s.ReadASCII(&f);
        CMatrix m;
        m.UnSparse(&s);
        return values_of(m);
    };
    const auto sectioned = [](const char* key)
    {
        return [key](CFile& f)
        {
            CMatrix m;
            m.ReadASCII(&f, key, "end", "!");
            return values_of(m);
        };
    };
    const auto after = [&](const char* key, std::function<Values(CFile&)> read)
    {
        return [key, read, &comment](CFile& f)
        {
            CString k(key);
            return SeekTo_ReplLine(k, f, &comment, true) ? read(f) : Values{};
        };
    };
    // (first reader, second reader, the values of both, the line the file stands at after)
    const std::vector<std::tuple<std::function<Values(CFile&)>, std::function<Values(CFile&)>,
                                 Values, std::string>>
        readers = {
            {after("material", plain), after("geometry", plain), {210e9, 0.3, 4, 1, 1}, "END"},
            {sectioned("MATERIAL"), sectioned("geometry"), {210e9, 0.3, 4, 1, 1}, "tail"},
            {after("geometry", vector), plain, {4, 1, 1}, "END"},
            {after("material", sparse), plain, {210e9, 0.3, 0, 0, 0, 0, 0, 0, 0, 4, 1, 1}, ""},
        };
    for (const std::vector<std::string>& ends : kLineEndForms)
        for (const auto& [first, second, expected, next] : readers)
        {
            TextFile f(with_line_ends(lines, ends));
            SCOPED_TRACE(f.bytes());
            Values got = first(f.file()), more = second(f.file());
            got.insert(got.end(), more.begin(), more.end());
            EXPECT_EQ(got, expected);
            EXPECT_EQ(f.rest_of_line(), next);
        }
}

// Every entry is exactly what printf makes of it: random values of every magnitude (halfway
// cases, subnormals, negative zero, infinities and NaN included) in the three forms, with
// left- and right-aligned widths and a range of precisions.
TEST(DenseTextWriter, EntriesArePrintfConversions)
{
    std::mt19937_64 rng(11);
    std::vector<double> values = {0.125,
                                  0.375,
                                  2.5,
                                  -0.0,
                                  1e-320,
                                  5e-324,
                                  1.7976931348623157e308,
                                  9.5,
                                  0.05,
                                  1e21,
                                  123456789.0,
                                  -1e-7,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    for (int k = 0; k < 200; ++k)
    {
        double v;
        std::uint64_t bits = rng();
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
        values.push_back(std::ldexp(double(rng() % 100000) - 50000, int(rng() % 80) - 40));
    }
    CMatrix m(1, int(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) m.m_pData[k] = values[k];
    const char* forms[] = {"%s%*.*f%s", "%s%*.*e%s"};
    for (int format : {0, 1, 2})
        for (const auto& [width, precision] :
             {std::pair{10, 3}, std::pair{-12, 0}, std::pair{0, 17}, std::pair{25, 1},
              std::pair{3, 20}})
        {
            SCOPED_TRACE(format * 1000 + width * 10 + precision);
            std::string expected;
            char buf[2048];
            for (double v : values)
            {
                if (format == 2)
                    std::snprintf(buf, sizeof buf, "%s%*g%s", "(", width, v, ")");
                else
                    std::snprintf(buf, sizeof buf, forms[format], "(", width, precision, v, ")");
                expected += buf;
            }
            expected += "\r\n\r\n";
            EXPECT_EQ(
                written([&](CFile* f)
                        { m.WriteASCII(f, "(", ")", width, precision, format, false, false); }),
                expected);
        }
}
