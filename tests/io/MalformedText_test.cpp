// Text from outside is untrusted: megabyte lines, binary noise and forged ragged blocks (numbers
// out of range, NUL bytes, a lone carriage return and empty files are cases of the readers'
// table). Every reader gives its defined result (run under the sanitizers, nothing may read out
// of bounds).
#include "io/TextFiles.h"

using namespace tarvel_test;

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
    TextFile plain(forged + "\r\n9\r\n"), sectioned("stiff\r\n" + forged + "end\r\n9\r\n");
    EXPECT_EQ(read_with("m", plain.file()), "0x0:");
    EXPECT_EQ(read_with("s", sectioned.file()), "0x0:");
    EXPECT_EQ(plain.rest() + " " + sectioned.rest(), "|9| 9|");

    for (std::string row; row.size() < 600; triangle += row + "\r\n")
        row += "2 ";  // 1..300 numbers
    TextFile t(triangle);
    m.ReadASCII(&t.file());
    EXPECT_TRUE(m.m_nRows == 300 && m.GetColumns() == 300) << m.m_nRows;
}
