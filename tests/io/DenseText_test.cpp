// Text forms of CVector and CMatrix: the exact bytes of the writers (a golden file, and printf as
// the reference for every entry), round trips, and the table of what every text reader makes of
// given bytes in every line-end form; the writers and readers under the C and a comma-decimal
// locale alike.
#include "io/TextFiles.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <regex>

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
        for (std::pair<int, int> wp :
             {std::pair{10, 3}, {-12, 0}, {0, 17}, {25, 1}, {3, 20}, {1000, 2}})
        {
            const int width = wp.first, precision = wp.second;
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
    // (reader, matrix, width, precision, format, row numbers, header, what the reader gives and
    // the rest of the file: the empty line that ends the matrix)
    const std::vector<std::tuple<const char*, CMatrix*, int, int, int, bool, bool, std::string>>
        cases = {
            {"v", &r, 25, 16, 1, false, false, "280" + Text(r).substr(4) + " => |"},
            {"m", &r, 25, 16, 1, false, false, Text(r) + " => |"},
            {"m", &a, 10, 3, 0, false, false, "2x2: 0.125 -3 0.001 42 => |"},
            {"m", &a, 10, 3, 2, false, false, "2x2: 0.125 -3 0.001 42 => |"},
            {"m", &b, 8, 3, 0, true, false, "2x3: 1 1 2 2 3 4 => |"},
            {"m", &b, 8, 3, 0, false, true,
             "0x0: => |       1       2|   1.000   2.000|   3.000   4.000||"},
            {"m", &full, 5, 1, 0, false, false, "1x1: 1234.5123450000001 => |"},
        };
    under_each_locale(
        [&]
        {
            for (const auto& [reader, m, width, precision, format, rows, header, expected] : cases)
            {
                // (a lambda may not capture structured bindings before C++20: copy them)
                TextFile f(written([&, m = m, w = width, p = precision, fm = format, r = rows,
                                    h = header](CFile* out)
                                   { m->WriteASCII(out, "", "", w, p, fm, r, h); }));
                const std::string what = read_with(reader, f.file());  // before the rest
                EXPECT_EQ(what + " => " + f.rest(), expected);
            }
        });
}

// The table tests/data/text/read-cases.txt: what each reader makes of given bytes and the rest
// of the file after it, in every line-end form and under both locales.
TEST(TextReaders, ReadEveryCaseOfTheTable)
{
    static const std::regex form(R"(^(\S+) (.*?) => (.*?) =>(?: (.*))?$)");
    std::vector<std::vector<std::string>> cases;  // reader, bytes, result, rest
    std::istringstream table(
        read_bytes(std::string(TARVEL_TEST_DATA_DIR) + "/text/read-cases.txt"));
    for (std::string line; std::getline(table, line);)
        if (std::smatch c; line[0] != '#' && std::regex_match(line, c, form))
            cases.push_back({c[1], c[2], c[3], c[4]});
    ASSERT_GT(cases.size(), 30u);
    under_each_locale(
        [&]
        {
            for (const std::vector<std::string>& ends : kLineEndForms)
                for (const std::vector<std::string>& c : cases)
                {
                    TextFile f(table_bytes(c[1], ends));
                    const std::string result = read_with(c[0], f.file());
                    EXPECT_EQ(result + " => " + f.rest(), c[2] + " => " + c[3])
                        << c[0] << " " << c[1].substr(0, 80) << " (" << ends.size() << ")";
                }
        });
}
