// Text forms of CVector and CMatrix: the exact bytes of the writers (a golden file, and printf as
// the reference for every entry), round trips, the readers' values and file positions in every
// line-end form; the writers and readers under the C and a comma-decimal locale alike.
#include "io/TextFiles.h"

#include <cstdint>
#include <cstdio>
#include <limits>

using namespace tarvel_test;

// The vector: one line, format 0 fixed and any other exponent. The matrix: header block, rows
// with labels of width - precision (0 and negative label widths included), the last piece
// written once more; a format outside 0..2 writes no row; empty objects; a field of 1000
// characters (printf's path).
TEST(DenseTextWriter, WritesTheGoldenLayouts)
{
    CVector v = MakeVector({1.0, -2.5}), empty;
    CMatrix m22 = MakeMatrix(2, 2, {1, 2, 3, 4}), m12 = MakeMatrix(1, 2, {1.5, -2});
    CMatrix half = MakeMatrix(1, 1, {0.5}), none;
    // (object, prefix, suffix, width, precision, format, row numbers, header)
    const std::vector<std::tuple<CVirtMat*, const char*, const char*, int, int, int, bool, bool>>
        cases = {
            {&v, "", " ", 10, 3, 0, true, true},     {&v, "", " ", 10, 3, 2, true, true},
            {&v, "<", ">", 4, 1, 0, false, false},   {&empty, "<", ">", 4, 1, 0, true, true},
            {&m22, "", "", 8, 3, 0, true, true},     {&m22, "", "", 8, 3, 0, false, false},
            {&m22, "", " ", 4, 0, 0, false, true},   {&m12, "[", "]", 12, 4, 1, true, false},
            {&m12, "[", "]", 12, 4, 1, false, true}, {&half, "", "", 8, 3, 2, false, false},
            {&m12, "", ";", 6, 2, 2, true, false},   {&half, "", "", 3, 3, 0, true, true},
            {&half, "", "", 3, 5, 0, true, false},   {&m22, "", "", 8, 3, 3, true, false},
            {&m22, "", "", 8, 3, -1, false, true},   {&none, "", "", 8, 3, 0, true, true},
            {&none, "", "", 8, 3, 0, false, false},  {&m12, "", "", 1000, 3, 0, false, false},
        };
    const auto write = [&](CFile* f)
    {
        for (const auto& [m, prefix, suffix, width, precision, format, rows, header] : cases)
            m->WriteASCII(f, prefix, suffix, width, precision, format, rows, header);
    };
    under_each_locale([&] { expect_golden("text/dense.txt", written(write)); });
}

// Every entry is exactly what printf makes of it: random values of every magnitude (halfway
// cases, subnormals, negative zero, infinities and NaN included) in the three forms, with
// left- and right-aligned widths and a range of precisions.
TEST(DenseTextWriter, EntriesArePrintfConversions)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values = {
        0.125, 0.375, 2.5,         -0.0, 1e-320, 5e-324,      1.7976931348623157e308, 9.5, 0.05,
        1e21,  -1e-7, 123456789.0, inf,  -inf,   std::nan("")};
    std::mt19937_64 rng(11);
    for (int k = 0; k < 200; ++k)
    {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
        values.push_back(std::ldexp(double(rng() % 100000) - 50000, int(rng() % 80) - 40));
    }
    CMatrix m(1, int(values.size()));
    std::copy(values.begin(), values.end(), m.m_pData);
    const char* forms[] = {"(%*.*f)", "(%*.*e)", "(%*.*g)"};  // %g: precision 6
    for (int format : {0, 1, 2})
        for (auto [width, precision] :
             {std::pair{10, 3}, {-12, 0}, {0, 17}, {25, 1}, {3, 20}, {1000, 2}})
        {
            std::string expected;
            char buf[2048];
            for (double v : values)
                expected.append(buf,
                                std::size_t(std::snprintf(buf, sizeof buf, forms[format], width,
                                                          format == 2 ? 6 : precision, v)));
            EXPECT_EQ(
                written([&](CFile* f)
                        { m.WriteASCII(f, "(", ")", width, precision, format, false, false); }),
                expected + "\r\n\r\n")
                << format << " " << width << " " << precision;
        }
}

// Seventeen significant digits give every double back exactly, and the plain matrix reader
// stops at the empty line that ends the matrix; the vector reader takes every number of the
// file. Fixed and shortest forms read back to the printed digits; row numbers read as a first
// column; a header makes the file begin with an empty line (no rows); entries that fill their
// field run together into one number text ("1234.512345.0").
TEST(DenseTextRoundTrip, ReadsBackWhatWasWritten)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> value(-1e6, 1e6);
    CMatrix r(40, 7), a = MakeMatrix(2, 2, {0.125, -3, 1e-3, 42});
    for (int k = 0; k < r.m_nSize; ++k) r.m_pData[k] = value(rng) * std::pow(10, k % 9 - 4);
    CMatrix b = MakeMatrix(2, 2, {1, 2, 3, 4}), full = MakeMatrix(1, 2, {1234.5, 12345});
    const std::string end = " @7080";  // 40 rows of 7 fields of 25 and a line end: the empty line
    // (reader, matrix, width, precision, format, row numbers, header, what the reader gives)
    const std::vector<std::tuple<char, CMatrix*, int, int, int, bool, bool, std::string>> cases = {
        {'v', &r, 25, 16, 1, false, false, "280" + Text(r).substr(4) + end},
        {'m', &r, 25, 16, 1, false, false, Text(r) + end},
        {'m', &a, 10, 3, 0, false, false, "2x2: 0.125 -3 0.001 42 @44"},
        {'m', &a, 10, 3, 2, false, false, "2x2: 0.125 -3 0.001 42 @44"},
        {'m', &b, 8, 3, 0, true, false, "2x3: 1 1 2 2 3 4 @48"},
        {'m', &b, 8, 3, 0, false, true, "0x0: @0"},
        {'m', &full, 5, 1, 0, false, false, "1x1: 1234.5123450000001 @15"},
    };
    under_each_locale(
        [&]
        {
            for (const auto& [reader, m, width, precision, format, rows, header, expected] : cases)
                EXPECT_EQ(read_as(reader, written(
                                              [&](CFile* f) {
                                                  m->WriteASCII(f, "", "", width, precision, format,
                                                                rows, header);
                                              })),
                          expected);
        });
}

// The vector reader takes every number and stops after the line that brings the last one (with
// no number at all, after one line); the matrix's rows are the lines up to the first one without numbers, and the file is left just
// after the last row. Values and the line the file stands at, in every line-end form.
TEST(DenseTextReader, ReadsValuesAndLeavesTheFileAtTheSameLine)
{
    // (reader, lines, what it gives, the line the file stands at afterwards)
    // clang-format off
    const std::vector<std::tuple<char, std::string, std::string, std::size_t>> cases = {
        {'v', "1 2|text|3|tail", "3: 1 2 3", 3},   {'v', "I1 g", "4: 1 0 0 9.8100000000000005", 1},
        {'v', "x|y", "0:", 1},                     {'v', "", "0:", 0},
        {'m', "1 2 3|4 5||7", "2x3: 1 2 3 4 5 0", 2},
        {'m', "-I3|pi/2 2pi|x", "2x3: 0 0 -1 2 2 0", 2},
        {'m', "1;2|3,5", "2x2: 1 2 3.5 0", 2},     {'m', "|1 2", "0x0:", 0},  {'m', "", "0x0:", 0},
    };
    // clang-format on
    under_each_locale(
        [&]
        {
            for (const std::vector<std::string>& ends : kLineEndForms)
                for (const auto& [reader, lines, expected, after] : cases)
                {
                    std::vector<std::size_t> line;
                    const std::string bytes = with_line_ends(lines, ends, &line);
                    EXPECT_EQ(read_as(reader, bytes), expected + " @" + std::to_string(line[after]))
                        << bytes;
                }
        });
}

// The block after the start keyword, in every line-end form: comments and keywords in any case,
// nested blocks skipped, blocks ended by text, an empty end keyword, no end keyword, symbols;
// without the start keyword the matrix and the file stay as they were.
TEST(SectionedReader, ReadsTheBlockAfterTheStartKeyword)
{
    // (lines, start, end, comment, the matrix read, the line the file stands at afterwards): the
    // start keyword's own line is never a row; a line beginning with the start keyword's first
    // letter opens a nested block; with an empty end keyword text ends the block, and a nested
    // block is one further line
    // clang-format off
    const std::vector<std::tuple<std::string, const char*, const char*, const char*, std::string,
                                 std::string>> cases = {
        {"stiff|1 2 ! first row||3 4|end|5 6", "STIFF", "END", "!", "2x2: 1 2 3 4", "5 6"},
        {"head|Stiff 9 9|1 2 c 7 7|3 4|End block|5 6", "stiff", "end", "c", "2x2: 1 2 3 4", "5 6"},
        {"stiff|1 2|S nested|9 9 9|end|3 4|end|5 6", "STIFF", "END", "!", "2x2: 1 2 3 4", "5 6"},
        {"stiff|1 2|oops|3 4|end", "STIFF", "END", "!", "1x2: 1 2", "3 4"},
        {"stiff|1 2|Skip|7 7 7|3|text|5", "STIFF", "", "!", "2x2: 1 2 3 0", "5"},
        {"stiff|1|2 3", "STIFF", "END", "!", "2x2: 1 0 2 3", ""},
        {"stiff|i1|-g pi/2 2pi|end", "stiff", "end", "", "2x3: 1 0 0 -9.8100000000000005 2 2", ""},
        {"stiff|end|1 2", "STIFF", "END", "", "0x0:", "1 2"},
        {"1 2|end", "STIFF", "END", "!", "3x3: 8 8 8 8 8 8 8 8 8", "1 2"},
    };
    // clang-format on
    for (const std::vector<std::string>& ends : kLineEndForms)
        for (const auto& [lines, start, end, comment, expected, next] : cases)
        {
            TextFile f(with_line_ends(lines, ends));
            CMatrix m(3, 3, true, 8.0);
            m.ReadASCII(&f.file(), start, end, comment);
            EXPECT_EQ(Text(m), expected) << f.bytes();
            EXPECT_EQ(f.rest_of_line(), next) << f.bytes();
        }
}
