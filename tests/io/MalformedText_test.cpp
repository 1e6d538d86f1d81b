// Text from outside is untrusted: numbers out of range, hundreds of digits, megabyte lines,
// binary noise, NUL bytes, a lone carriage return, empty files and forged ragged blocks. Every
// reader gives its defined result (run under the sanitizers, nothing may read out of bounds).
#include "io/TextFiles.h"

#include <tarvel/Tarvel.h>

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace tarvel_test;

namespace
{

std::vector<double> vector_read(const std::string& contents, ULONGLONG* position = nullptr)
{
    TextFile f(contents);
    CVector v(3, true, 8.0);
    v.ReadASCII(&f.file());
    if (position) *position = f.position();
    return {v.m_pData, v.m_pData + v.m_nSize};
}

struct MatrixRead
{
    int rows = -1, cols = -1;
    std::vector<double> values;
    ULONGLONG position = 0;
};

MatrixRead matrix_read(const std::string& contents, bool sectioned = false)
{
    TextFile f(contents);
    CMatrix m(2, 2, true, 8.0);
    if (sectioned)
        m.ReadASCII(&f.file(), "STIFF", "END", "!");
    else
        m.ReadASCII(&f.file());
    return {m.m_nRows, m.GetColumns(), {m.m_pData, m.m_pData + m.m_nSize}, f.position()};
}

// Number of values a sparse reader hands to Add.
class CountingSparse : public CSparseMatrix
{
public:
    void Add(int i, int j, double v) override
    {
        ++count;
        CSparseMatrix::Add(i, j, v);
    }
    using CSparseMatrix::Add;
    long count = 0;
};

const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

// The conversion is strtod's in the C locale, out-of-range results included.
TEST(MalformedText, NumbersOutOfRangeReadAsTheConversionGivesThem)
{
    const std::string nines(400, '9');
    const std::string big = "1" + std::string(199, '0') + "." + std::string(200, '0');
    const std::string text = "1e999 -1e-999 " + nines + " " + big + " 4e-320 +5 -.5 +,25 -1e999";
    const std::vector<double> v = vector_read(text);
    ASSERT_EQ(v.size(), 9u);
    EXPECT_EQ(v[0], kInf);
    EXPECT_EQ(v[1], 0.0);
    EXPECT_TRUE(std::signbit(v[1]));
    EXPECT_EQ(v[2], kInf);
    EXPECT_EQ(v[3], 1e199);
    EXPECT_EQ(v[4], 4e-320);  // subnormal, exactly as the compiler rounds the literal
    EXPECT_EQ(v[5], 5.0);
    EXPECT_EQ(v[6], -0.5);
    EXPECT_EQ(v[7], 0.25);
    EXPECT_EQ(v[8], -kInf);

    const MatrixRead m = matrix_read(text + "\r\n");
    EXPECT_EQ(m.rows, 1);
    EXPECT_EQ(m.values, v);

    TextFile f("1e999 -1e-999 0\r\n");  // the sparse reader: -0.0 is a zero, infinity is not
    CSparseMatrix s;
    s.ReadASCII(&f.file());
    ASSERT_NE(s.GetFirstRow(), nullptr);
    ASSERT_NE(s.GetFirstRow()->m_pFirstCell, nullptr);
    EXPECT_EQ(s.GetFirstRow()->m_pFirstCell->m_dValue, kInf);
    EXPECT_EQ(s.GetFirstRow()->m_pFirstCell->m_pNext, nullptr);
}

// NUL bytes separate numbers like any other character; a lone "\r" ends its line together with
// the character after it.
TEST(MalformedText, NulBytesAndLoneCarriageReturns)
{
    const std::string nul("1\0 2\r\n\0\r\n3", 10);
    ULONGLONG position = 0;
    EXPECT_EQ(vector_read(nul, &position), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(position, nul.size());
    MatrixRead m = matrix_read(nul);
    EXPECT_EQ(m.rows, 1);
    EXPECT_EQ(m.values, (std::vector<double>{1, 2}));
    EXPECT_EQ(m.position, 6u);

    const std::string cr = "1 2\r3 4\r\n5\r\n";  // lines "1 2", " 4", "5"
    EXPECT_EQ(vector_read(cr), (std::vector<double>{1, 2, 4, 5}));
    m = matrix_read(cr);
    EXPECT_EQ(m.rows, 3);
    EXPECT_EQ(m.values, (std::vector<double>{1, 2, 4, 0, 5, 0}));
    EXPECT_EQ(m.position, cr.size());

    m = matrix_read("stiff\r1 2\r3 4\r\nend\r\n", true);  // lines "stiff", " 2", " 4", "end"
    EXPECT_EQ(m.rows, 2);
    EXPECT_EQ(m.values, (std::vector<double>{2, 4}));
}

// Empty files: an empty vector, a matrix without rows, a sectioned read that finds nothing
// (matrix untouched), a sparse matrix that receives nothing.
TEST(MalformedText, EmptyFiles)
{
    for (const std::string contents : {"", "\r\n", "\r"})
    {
        SCOPED_TRACE(contents.size());
        EXPECT_TRUE(vector_read(contents).empty());
        const MatrixRead plain = matrix_read(contents);
        EXPECT_EQ(plain.rows, 0);
        EXPECT_EQ(plain.position, 0u);
        const MatrixRead sectioned = matrix_read(contents, true);
        EXPECT_EQ(sectioned.rows, 2);
        EXPECT_EQ(sectioned.values, (std::vector<double>{8, 8, 8, 8}));
        TextFile f(contents);
        CSparseMatrix s;
        s.ReadASCII(&f.file());
        EXPECT_EQ(s.GetFirstRow(), nullptr);
        EXPECT_EQ(f.position(), contents.size());
    }
}

// Binary noise: every reader comes to an end; the vector and the sparse reader count the same
// numbers, since both take every number of every line.
TEST(MalformedText, BinaryNoise)
{
    for (unsigned seed : {1u, 2u, 3u})
    {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::string noise(1 << 16, '\0');
        for (char& c : noise) c = char(rng());
        const std::vector<double> v = vector_read(noise);
        TextFile f(noise);
        CountingSparse s;
        s.ReadASCII(&f.file());
        EXPECT_EQ(long(v.size()), s.count);
        EXPECT_GT(s.count, 0);
        const MatrixRead plain = matrix_read(noise);
        EXPECT_GE(plain.rows, 0);
        EXPECT_EQ(std::size_t(plain.rows) * std::size_t(plain.cols), plain.values.size());
        const MatrixRead sectioned = matrix_read("stiff\r\n" + noise, true);
        EXPECT_EQ(std::size_t(sectioned.rows) * std::size_t(sectioned.cols),
                  sectioned.values.size());
    }
}

// Lines of a megabyte: one row of 2^17 numbers.
TEST(MalformedText, MegabyteLines)
{
    std::string line;
    for (int k = 0; k < (1 << 17); ++k) line += std::to_string(k % 10) + "      ";
    const MatrixRead m = matrix_read(line + "\r\n\r\n");
    EXPECT_EQ(m.rows, 1);
    EXPECT_EQ(m.cols, 1 << 17);
    EXPECT_EQ(m.values[12345], 5.0);
    EXPECT_EQ(m.position, line.size() + 2);
}

// A long row followed by many short ones would make the dense reader allocate rows x columns
// entries for a small file: such a block is refused, leaving a matrix without rows and the
// file after the block, as a normal read would.
TEST(MalformedText, ForgedRaggedBlocksAreRefused)
{
    std::string text;
    for (int k = 0; k < 20000; ++k) text += "1 ";
    text += "\r\n";
    for (int k = 0; k < 20000; ++k) text += "1\r\n";
    const MatrixRead plain = matrix_read(text + "\r\n9\r\n");
    EXPECT_EQ(plain.rows, 0);
    EXPECT_TRUE(plain.values.empty());
    EXPECT_EQ(plain.position, text.size());
    const MatrixRead sectioned = matrix_read("stiff\r\n" + text + "end\r\n9\r\n", true);
    EXPECT_EQ(sectioned.rows, 0);
    EXPECT_EQ(sectioned.position, 7 + text.size() + 5);

    // a ragged but plausible block, a triangle, is read
    std::string triangle;
    for (int r = 1; r <= 300; ++r)
    {
        for (int k = 0; k < r; ++k) triangle += "2 ";
        triangle += "\r\n";
    }
    const MatrixRead t = matrix_read(triangle);
    EXPECT_EQ(t.rows, 300);
    EXPECT_EQ(t.cols, 300);
}
