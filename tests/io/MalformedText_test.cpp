// Text from outside is untrusted: numbers out of range, hundreds of digits, megabyte lines,
// binary noise, NUL bytes, a lone carriage return, empty files and forged ragged blocks. Every
// reader gives its defined result (run under the sanitizers, nothing may read out of bounds).
#include "io/TextFiles.h"

using namespace tarvel_test;

// What each reader makes of odd bytes and where it leaves the file. Numbers convert as strtod
// does in the C locale, out-of-range results included (the sparse reader stores infinity, not
// -0.0); NUL bytes separate numbers like any other character; a lone "\r" ends its line together
// with the character after it; empty files give empty objects (a sectioned read that finds
// nothing leaves the matrix alone); a last line without a line end is read.
TEST(MalformedText, EachReaderGivesItsDefinedResult)
{
    const std::string huge = "1e999 -1e-999 " + std::string(400, '9') + " 1" +
                             std::string(199, '0') + "." + std::string(200, '0') +
                             " 4e-320 +5 -.5 +,25 -1e999";
    const std::string values = "inf -0 inf 1.0000000000000001e+199 3.999955468730732e-320 5 "
                               "-0.5 0.25 -inf";
    const std::string nul("1\0 2\r\n\0\r\n3", 10), cr = "1 2\r3 4\r\n5\r\n";
    // (reader as read_as names it, bytes, what it gives and where it leaves the file)
    const std::vector<std::tuple<char, std::string, std::string>> cases = {
        {'v', huge, "9: " + values + " @" + std::to_string(huge.size())},
        {'m', huge + "\r\n", "1x9: " + values + " @" + std::to_string(huge.size() + 2)},
        // clang-format off
        {'p', "1e999 -1e-999 0\r\n", "0: 0=inf @17"},
        {'v', nul, "3: 1 2 3 @10"},                  {'m', nul, "1x2: 1 2 @6"},
        {'v', cr, "4: 1 2 4 5 @12"},                 {'m', cr, "3x2: 1 2 4 0 5 0 @12"},
        {'s', "stiff\r1 2\r3 4\r\nend\r\n", "2x1: 2 4 @20"},  // "stiff", " 2", " 4", "end"
        {'v', "5", "1: 5 @1"},
        {'v', "", "0: @0"},        {'m', "", "0x0: @0"},        {'s', "", "2x2: 8 8 8 8 @0"},
        {'p', "", " @0"},          {'v', "\r\n", "0: @2"},      {'m', "\r\n", "0x0: @0"},
        {'p', "\r\n", " @2"},      {'s', "\r\n", "2x2: 8 8 8 8 @0"},
        {'v', "\r", "0: @1"},       {'m', "\r", "0x0: @0"},       {'s', "\r", "2x2: 8 8 8 8 @0"},
        {'p', "\r", " @1"},
        // clang-format on
    };
    for (const auto& [reader, bytes, expected] : cases)
        EXPECT_EQ(read_as(reader, bytes), expected) << reader << " " << bytes.substr(0, 40);
}

// Binary noise: every reader comes to an end; the vector and the sparse reader count the same
// numbers, since both take every number of every line.
TEST(MalformedText, BinaryNoise)
{
    for (unsigned seed : {1u, 2u, 3u})
    {
        std::mt19937 rng(seed);
        std::string noise(1 << 16, '\0');
        for (char& c : noise) c = char(rng());
        TextFile f(noise), h(noise), k(noise), g("stiff\r\n" + noise);
        CVector v;
        RecordingSparse s;
        CMatrix plain, sectioned;
        v.ReadASCII(&f.file());
        s.ReadASCII(&h.file());
        plain.ReadASCII(&k.file());
        sectioned.ReadASCII(&g.file(), "STIFF", "END", "!");
        EXPECT_TRUE(std::count(s.calls.begin(), s.calls.end(), '=') == v.m_nSize && v.m_nSize > 0)
            << seed;
        for (const CMatrix* m : {&plain, &sectioned})
            EXPECT_TRUE(m->m_nRows >= 0 && m->m_nSize == m->m_nRows * m->GetColumns()) << seed;
    }
}

// A line of a megabyte is one row of 2^17 numbers and symbols, each in place (a line is
// substituted once: substituting on every number would take quadratic time). A long row followed
// by many short ones would make the dense readers allocate rows x columns entries for a small
// file: such a block is refused, leaving a matrix without rows and the file after the block, as a
// normal read would; a ragged but plausible block, a triangle, is read.
TEST(MalformedText, LongRowsAndForgedRaggedBlocks)
{
    std::string line, forged, triangle;
    for (int k = 0; k < (1 << 17); ++k) line += k % 50 ? std::to_string(k % 10) + "      " : "g ";
    CMatrix m;
    TextFile f(line + "\r\n\r\n");
    m.ReadASCII(&f.file());
    ASSERT_TRUE(m.m_nRows == 1 && m.GetColumns() == 1 << 17);
    for (int k = 0; k < (1 << 17); ++k) ASSERT_EQ(m.m_pData[k], k % 50 ? k % 10 : 9.81) << k;
    EXPECT_EQ(f.position(), line.size() + 2);

    for (int k = 0; k < 20000; ++k) forged += "1 ";
    forged += "\r\n";
    for (int k = 0; k < 20000; ++k) forged += "1\r\n";
    EXPECT_EQ(read_as('m', forged + "\r\n9\r\n"), "0x0: @" + std::to_string(forged.size()));
    EXPECT_EQ(read_as('s', "stiff\r\n" + forged + "end\r\n9\r\n"),
              "0x0: @" + std::to_string(7 + forged.size() + 5));

    for (std::string row; row.size() < 600; triangle += row + "\r\n")
        row += "2 ";  // 1..300 numbers
    TextFile t(triangle);
    m.ReadASCII(&t.file());
    EXPECT_TRUE(m.m_nRows == 300 && m.GetColumns() == 300) << m.m_nRows;
}
