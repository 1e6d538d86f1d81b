// CLongVector and CLongMatrix: sizing through both Allocate forms, searches, row starts and
// whole-container assignment and arithmetic.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace
{

// "size: e0 e1 ..." and "rows x cols: e0 e1 ..."; no elements listed without an array.
std::string text(const CLongVector& v)
{
    std::string s = std::to_string(v.GetSize()) + ":";
    for (int i = 0; v.GetVector() && i < v.GetSize(); ++i) s += " " + std::to_string(v[i]);
    return s;
}

std::string text(const CLongMatrix& m)
{
    std::string s = std::to_string(m.GetRows()) + "x" + std::to_string(m.GetColumns()) + ":";
    for (long k = 0; m.GetVector() && k < long(m.GetRows()) * m.GetColumns(); ++k)
        s += " " + std::to_string(m.GetVector()[k]);
    return s;
}

}  // namespace

// Three-argument form: size as asked, no array for 0 or less. Array forms by count: the
// vector's size d0, init d1 != 0 (true below count 2), value d2 (0 below count 3); the matrix's
// rows, columns, init, value (4+, 3, 2, 1 or less), its dimensions stored even without storage,
// but an entry count beyond the int range leaves a 0 x 0 matrix.
TEST(LongContainers, AllocateForms)
{
    CLongVector v;
    EXPECT_TRUE(v.Allocate(3, true, 7));
    EXPECT_EQ(text(v), "3: 7 7 7");
    EXPECT_FALSE(v.Allocate(0, true, 7) || v.Allocate(-2, true, 7));
    EXPECT_EQ(text(v), "-2:");
    // (dimensions, count, a matrix or a vector, what it holds afterwards)
    // clang-format off
    for (auto [dims, count, matrix, expected] :
         std::vector<std::tuple<std::vector<int>, int, bool, std::string>>{
             {{2, 1, 9}, 3, false, "2: 9 9"},         {{4, 5}, 2, false, "4: 0 0 0 0"},
             {{2, 5, 9}, 1, false, "2: 0 0"},         {{3, 7, 7}, 0, false, "3: 0 0 0"},
             {{2, 1, 1, 6}, 4, true, "2x1: 6 6"},     {{1, 2, 1, 6}, 3, true, "1x2: 0 0"},
             {{2, 2, 0, 6}, 2, true, "2x2: 0 0 0 0"}, {{3, 9, 9, 9}, 1, true, "3x3: 0 0 0 0 0 0 0 0 0"},
             {{0, 4, 1, 1}, 4, true, "0x4:"},         {{-1, 3, 1, 1}, 4, true, "-1x3:"},
             {{0x10000, 0x10000, 1, 1}, 4, true, "0x0:"}})
    // clang-format on
    {
        CLongVector lv;
        CLongMatrix m;
        lv.Allocate(1, true, 42);
        m.Allocate(1, 1, true, 3);
        EXPECT_EQ(matrix ? m.Allocate(dims.data(), count) : lv.Allocate(dims.data(), count),
                  expected.find(' ') != std::string::npos);
        EXPECT_EQ(matrix ? text(m) : text(lv), expected);
    }
}

// The 3 x 2 matrix with rows (1, 2), (3, 4), (3, 6).
TEST(LongMatrix, SearchesAccessAndRowStarts)
{
    CLongMatrix m;
    m.Allocate(3, 2, false, 0);
    const long values[] = {1, 2, 3, 4, 3, 6};
    std::copy(values, values + 6, m.GetVector());
    // Column searches give the row itself, not an offset from the first row searched.
    for (auto [j, value, first, row] :
         {std::tuple{0, 3L, 0, 1}, std::tuple{0, 3L, 2, 2}, std::tuple{0, 1L, 1, -1},
          std::tuple{1, 5L, 0, -1}, std::tuple{1, 6L, 0, 2}})
    {
        EXPECT_EQ(m.FindInCol(j, value, first), row) << j << " " << value << " " << first;
        EXPECT_TRUE(first != 0 || m.FindInCol(j, value) == row);
    }
    EXPECT_TRUE(m.FindInRow(2, 6) == 1 && m.FindInRow(1, 5) == -1 && m[2][1] == 6);
    CLongMatrix starts;
    m.GetPointerMat(starts, 1);
    EXPECT_EQ(text(starts), "4x1: 1 3 5 7");
    m.GetPointerMat(starts, 0);
    EXPECT_EQ(text(starts), "4x1: 0 2 4 6");  // the last one is the entry count
}

// Searches, copies (which never share the array), self-assignment, adding and assigning a
// scalar, on both classes; an empty container stays empty.
TEST(LongContainers, FindAssignmentAndArithmetic)
{
    CLongVector v, copy, empty;
    v.Allocate(3, true, 4);
    v[0] = 1;
    EXPECT_TRUE(v.Find(4) == 1 && v.Find(9) == -1 && CLongVector().Find(0) == -1);
    copy.Allocate(1, true, 5);
    copy = v;
    copy = copy;
    v += 10;
    const std::string added = text(v);
    v = -3L;
    empty += 5;
    empty = 7L;
    EXPECT_EQ(text(copy) + " " + text(CLongVector(v)) + " " + added + " " + text(empty),
              "3: 1 4 4 3: -3 -3 -3 3: 11 14 14 0:");
    CLongMatrix m, mcopy, mempty;
    m.Allocate(2, 3, true, 1);
    m[1][2] = 6;
    mcopy.Allocate(5, 5, true, 1);
    mcopy = m;
    mcopy += 2;
    const std::string madded = text(mcopy);
    mcopy = 0L;
    mempty += 4;
    EXPECT_EQ(text(CLongMatrix(m)) + " " + madded + " " + text(mcopy) + " " + text(mempty),
              "2x3: 1 1 1 1 1 6 2x3: 3 3 3 3 3 8 2x3: 0 0 0 0 0 0 0x0:");
}
