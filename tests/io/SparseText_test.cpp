// Text forms of the sparse, system and skyline matrices: the exact bytes of the listing and of
// the dense exponent rows, the reader's rows, additions and accumulation, and the skyline
// writer's full matrix with its zero lower triangle.
#include "io/TextFiles.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using namespace tarvel_test;

namespace
{

using Entry = std::tuple<int, int, double>;
using Entries = std::vector<Entry>;

// Every stored cell, row by row along the lists.
Entries entries_of(const CSparseMatrix& s)
{
    Entries e;
    for (const CSparseMatrix::row* r = s.GetFirstRow(); r; r = r->m_pNextRow)
        for (const CSparseMatrix::cell* c = r->m_pFirstCell; c; c = c->m_pNext)
            e.emplace_back(r->m_nRow, c->m_nCol, c->m_dValue);
    return e;
}

// Stored row indices, in list order.
std::vector<int> rows_of(const CSparseMatrix& s)
{
    std::vector<int> rows;
    for (const CSparseMatrix::row* r = s.GetFirstRow(); r; r = r->m_pNextRow)
        rows.push_back(r->m_nRow);
    return rows;
}

std::string z10(int n)  // n zero entries of width 10
{
    std::string s;
    for (int k = 0; k < n; ++k) s += "         0";
    return s;
}

// A sparse matrix that records every Add(i, j, v) the reader hands it.
class RecordingSparse : public CSparseMatrix
{
public:
    void Add(int i, int j, double v) override
    {
        calls.emplace_back(i, j, v);
        CSparseMatrix::Add(i, j, v);
    }
    using CSparseMatrix::Add;
    Entries calls;
};

}  // namespace

TEST(SparseTextWriter, WritesTheListingAndTheExponentRows)
{
    CSparseMatrix s;
    s.Add(0, 0, 1.0);
    s.Add(0, 2, 2.0);
    s.Add(2, 1, 3.0);
    CSparseMatrix wide;  // one cell in column 3 of row 0, the last column 5
    wide.Add(0, 3, 1.5);
    wide.Add(1, 5, 2.0);
    CSystSpMat syst(2);  // row 0 stored and empty
    syst.Add(1, 1, 4.0);
    CSparseMatrix empty;
    const std::string one = "  1.00e+00", two = "  2.00e+00", three = "  3.00e+00";
    const std::string z = "<  0>";
    // (matrix, prefix, suffix, width, precision, format, row numbers, expected)
    const std::vector<
        std::tuple<CSparseMatrix*, std::string, std::string, int, int, int, bool, std::string>>
        cases = {
            {&s, "", "", 10, 2, 1, false,
             one + z10(1) + two + "\r\n" + z10(3) + "\r\n" + z10(1) + three + z10(1) + "\r\n\r\n"},
            {&s, "", "", 10, 2, 7, true,
             "         1" + one + z10(1) + two + "\r\n" + "         2" + z10(3) + "\r\n" +
                 "         3" + z10(1) + three + z10(1) + "\r\n\r\n"},
            // the listing: the 0-based counter as a label, one zero per row not stored
            {&s, "", "", 10, 2, 0, true,
             "0               1.00" + z10(1) + "      2.00\r\n" + "1         " + z10(1) + "\r\n" +
                 z10(1) + "      3.00\r\n\r\n"},
            {&wide, "<", ">", 3, 1, 1, false,
             z + z + z + "<1.5e+00>" + z + z + "\r\n" + z + z + z + z + z + "<2.0e+00>\r\n\r\n"},
            {&wide, "<", ">", 3, 1, 0, false,
             "0         " + z + z + z + "<1.5>\r\n" + "1         " + z + z + z + z + z +
                 "<2.0>\r\n\r\n"},
            {&syst, "", " ", 4, 1, 0, false, "0         \r\n1            0  4.0 \r\n\r\n"},
            {&syst, "", " ", 8, 1, 1, false, "       0        0 \r\n       0  4.0e+00 \r\n\r\n"},
            {&empty, "", "", 8, 1, 0, true, "\r\n"},
            {&empty, "", "", 8, 1, 1, true, "\r\n"},
        };
    for (const auto& [m, prefix, suffix, width, precision, format, rows, expected] : cases)
    {
        SCOPED_TRACE(expected);
        EXPECT_EQ(written(
                      [&](CFile* f) {
                          m->WriteASCII(f, prefix.c_str(), suffix.c_str(), width, precision, format,
                                        rows, true);
                      }),
                  expected);
    }
}

// Line i is row i; zeros add nothing; what is read adds to what is stored.
TEST(SparseTextReader, AddsEveryNumberOfEveryLine)
{
    for (const std::string end : {"\r\n", "\n"})
    {
        const std::string text = "1 0 2" + end + end + "0 3" + end + "g" + end;
        TextFile f(text);
        CSparseMatrix s;
        s.Add(2, 1, 10.0);
        s.ReadASCII(&f.file());
        EXPECT_EQ(entries_of(s), (Entries{{0, 0, 1}, {0, 2, 2}, {2, 1, 13}, {3, 0, 9.81}}));
        EXPECT_EQ(rows_of(s), (std::vector<int>{0, 2, 3}));
        EXPECT_EQ(f.position(), text.size());
        f->SeekToBegin();
        s.ReadASCII(&f.file());
        EXPECT_EQ(entries_of(s), (Entries{{0, 0, 2}, {0, 2, 4}, {2, 1, 16}, {3, 0, 19.62}}));
    }
}

// A derived class receives every number through its own Add, zeros included, and ends with the
// same entries as the plain matrix, which takes its shortcut.
TEST(SparseTextReader, HandsEveryNumberToTheVirtualAdd)
{
    const std::string text = "1 0 2\r\n\r\n0 3 -1e-3\r\n5\r\n";
    TextFile f(text);
    RecordingSparse recorded;
    recorded.ReadASCII(&f.file());
    EXPECT_EQ(
        recorded.calls,
        (Entries{{0, 0, 1}, {0, 1, 0}, {0, 2, 2}, {2, 0, 0}, {2, 1, 3}, {2, 2, -1e-3}, {3, 0, 5}}));
    f->SeekToBegin();
    CSparseMatrix plain;
    plain.ReadASCII(&f.file());
    EXPECT_EQ(entries_of(plain), entries_of(recorded));
}

// The system matrix's own Add: indices outside 0..n-1 and zeros add nothing.
TEST(SparseTextReader, SystemMatrixKeepsItsOwnRule)
{
    TextFile f("1 0 2 7\r\n\r\n0 3\r\n5 5\r\n");
    CSystSpMat k(3);
    k.ReadASCII(&f.file());
    EXPECT_EQ(entries_of(k), (Entries{{0, 0, 1}, {0, 2, 2}, {2, 1, 3}}));
    EXPECT_EQ(k.GetRows(), 3);
}

// Exponent rows with 17 significant digits and a separating suffix read back to the same cells.
TEST(SparseTextRoundTrip, ReadsBackTheExponentRows)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> value(-1e3, 1e3);
    CSparseMatrix s;
    for (int k = 0; k < 200; ++k)
        s.Add(int(rng() % 30), int(rng() % 25), value(rng) * std::pow(10.0, int(rng() % 20) - 10));
    TextFile f;
    s.WriteASCII(&f.file(), "", " ", 24, 16, 1, false, false);
    f->SeekToBegin();
    CSparseMatrix back;
    back.ReadASCII(&f.file());
    EXPECT_EQ(entries_of(back), entries_of(s));
}

// =============================================================================================
// Skyline matrix
// =============================================================================================

TEST(SkylineText, WritesTheFullMatrixWithAZeroLowerTriangle)
{
    CSkylineMatrix k;
    int dims[] = {3, 5, 1, 2, 2};  // heights 1, 2, 2: (0,2) lies outside the profile
    ASSERT_TRUE(k.Allocate(dims, 5));
    k(0, 0) = 1.0;
    k(0, 1) = 2.0;
    k(1, 1) = 3.0;
    k(1, 2) = 4.0;
    k(2, 2) = 5.0;
    EXPECT_EQ(written([&](CFile* f) { k.WriteASCII(f, "", "", 10, 2, 0, true, true); }),
              "  1.00e+00  2.00e+00" + z10(1) + "\r\n" + z10(1) + "  3.00e+00  4.00e+00\r\n" +
                  z10(2) + "  5.00e+00\r\n");

    CSkylineMatrix empty;
    EXPECT_EQ(written([&](CFile* f) { empty.WriteASCII(f, "", "", 10, 2, 0, true, true); }), "");

    CSkylineMatrix orderOnly;  // an order without a profile: zeros only
    int order[] = {2};
    orderOnly.Allocate(order, 1);
    EXPECT_EQ(written([&](CFile* f) { orderOnly.WriteASCII(f, "[", "]", 2, 0, 1, false, false); }),
              "[ 0][ 0]\r\n[ 0][ 0]\r\n");
}

TEST(SkylineText, ReaderLeavesMatrixAndFileAlone)
{
    TextFile f("1 2\r\n3 4\r\n");
    f->Seek(2, CFile::begin);
    CSkylineMatrix k;
    int dims[] = {2, 3};
    ASSERT_TRUE(k.Allocate(dims, 2));
    k(0, 1) = 7.0;
    k.ReadASCII(&f.file());
    EXPECT_EQ(f.position(), 2u);
    EXPECT_EQ(k(0, 1), 7.0);
    EXPECT_EQ(k(0, 0), 0.0);
}
