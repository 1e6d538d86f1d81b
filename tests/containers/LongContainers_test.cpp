// CLongVector and CLongMatrix: sizing through both Allocate forms, searches, row starts and
// whole-container assignment.
#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace
{

std::vector<long> elements(const CLongVector& v)
{
    return v.GetVector() ? std::vector<long>(v.GetVector(), v.GetVector() + v.GetSize())
                         : std::vector<long>{};
}

// "rows x cols: e0 e1 ..." (no entries listed when there is no array).
std::string text(const CLongMatrix& m)
{
    std::string s = std::to_string(m.GetRows()) + "x" + std::to_string(m.GetColumns()) + ":";
    if (m.GetVector())
        for (long k = 0; k < long(m.GetRows()) * m.GetColumns(); ++k)
            s += " " + std::to_string(m.GetVector()[k]);
    return s;
}

CLongMatrix make_matrix(int rows, int cols, std::vector<long> values)
{
    CLongMatrix m;
    m.Allocate(rows, cols, false, 0);
    std::copy(values.begin(), values.end(), m.GetVector());
    return m;
}

}  // namespace

// The table of the array form: size d0; init d1 != 0 (true below count 2); value d2 (0 below
// count 3).
TEST(LongVector, AllocateForms)
{
    CLongVector v;
    EXPECT_TRUE(v.Allocate(3, true, 7));
    EXPECT_EQ(elements(v), (std::vector<long>{7, 7, 7}));
    EXPECT_TRUE(v.Allocate(3, false, 0));
    EXPECT_FALSE(v.Allocate(0, true, 7));
    EXPECT_EQ(v.GetVector(), nullptr);
    EXPECT_EQ(v.GetSize(), 0);
    EXPECT_FALSE(v.Allocate(-2, true, 7));  // the size is stored as asked, without storage
    EXPECT_EQ(v.GetSize(), -2);
    EXPECT_EQ(v.GetVector(), nullptr);

    for (auto [dims, count, expected] :
         {std::tuple{std::vector<int>{2, 1, 9}, 3, std::vector<long>{9, 9}},
          std::tuple{std::vector<int>{4, 5}, 2, std::vector<long>{0, 0, 0, 0}},
          std::tuple{std::vector<int>{2, 5, 9}, 1, std::vector<long>{0, 0}},
          std::tuple{std::vector<int>{3, 7, 7}, 0, std::vector<long>{0, 0, 0}}})
    {
        SCOPED_TRACE(count);
        CLongVector w;
        w.Allocate(1, true, 42);
        EXPECT_TRUE(w.Allocate(dims.data(), count));
        EXPECT_EQ(elements(w), expected);
    }
    CLongVector unset;  // init flag 0: the elements are whatever the array held, size as asked
    int dims[] = {5, 0, 9};
    EXPECT_TRUE(unset.Allocate(dims, 3));
    EXPECT_EQ(unset.GetSize(), 5);
}

TEST(LongVector, FindAssignmentAndArithmetic)
{
    CLongVector v;
    v.Allocate(3, true, 4);
    v[0] = 1;
    EXPECT_EQ(v.Find(4), 1);
    EXPECT_EQ(v.Find(9), -1);
    EXPECT_EQ(CLongVector().Find(0), -1);

    CLongVector copy;
    copy.Allocate(1, true, 5);
    copy = v;
    EXPECT_EQ(elements(copy), (std::vector<long>{1, 4, 4}));
    EXPECT_NE(copy.GetVector(), v.GetVector());
    copy = copy;  // self-assignment keeps the elements
    EXPECT_EQ(elements(copy), (std::vector<long>{1, 4, 4}));
    const CLongVector constructed(v);
    EXPECT_EQ(elements(constructed), (std::vector<long>{1, 4, 4}));

    v += 10;
    EXPECT_EQ(elements(v), (std::vector<long>{11, 14, 14}));
    v = -3L;
    EXPECT_EQ(elements(v), (std::vector<long>{-3, -3, -3}));
    CLongVector empty;
    empty += 5;
    empty = 7L;
    EXPECT_EQ(empty.GetSize(), 0);
    EXPECT_EQ(elements(copy), (std::vector<long>{1, 4, 4}));  // copies never shared the array
}

// The array form by count (4+, 3, 2, 1 or less); dimensions are stored even without storage.
TEST(LongMatrix, AllocateForms)
{
    for (auto [dims, count, expected] :
         {std::tuple{std::vector<int>{2, 1, 1, 6}, 4, std::string("2x1: 6 6")},
          std::tuple{std::vector<int>{1, 2, 1, 6}, 3, std::string("1x2: 0 0")},
          std::tuple{std::vector<int>{2, 2, 0, 6}, 2, std::string("2x2: 0 0 0 0")},
          std::tuple{std::vector<int>{3, 9, 9, 9}, 1, std::string("3x3: 0 0 0 0 0 0 0 0 0")},
          std::tuple{std::vector<int>{0, 4, 1, 1}, 4, std::string("0x4:")}})
    {
        SCOPED_TRACE(count);
        CLongMatrix m;
        m.Allocate(1, 1, true, 3);
        EXPECT_EQ(m.Allocate(dims.data(), count), dims[0] > 0);
        EXPECT_EQ(text(m), expected);
    }
    CLongMatrix m;
    EXPECT_FALSE(m.Allocate(-1, 3, true, 1));
    EXPECT_EQ(m.GetVector(), nullptr);
    EXPECT_FALSE(m.Allocate(0x10000, 0x10000, true, 1));  // 2^32 entries: beyond int
    EXPECT_EQ(text(m), "0x0:");
}

// The 3 x 2 matrix with rows (1, 2), (3, 4), (3, 6).
TEST(LongMatrix, SearchesAccessAndRowStarts)
{
    CLongMatrix m = make_matrix(3, 2, {1, 2, 3, 4, 3, 6});
    EXPECT_EQ(m.FindInCol(0, 3), 1);
    EXPECT_EQ(m.FindInCol(0, 3, 2), 2);  // the row itself, not an offset from the start
    EXPECT_EQ(m.FindInCol(0, 1, 1), -1);
    EXPECT_EQ(m.FindInCol(1, 5), -1);
    EXPECT_EQ(m.FindInCol(1, 6), 2);
    EXPECT_EQ(m.FindInRow(2, 6), 1);
    EXPECT_EQ(m.FindInRow(1, 5), -1);
    EXPECT_EQ(m[2][1], 6);
    m.GetValue(1, 0) = 8;
    EXPECT_EQ(m[1][0], 8);

    CLongMatrix starts;
    m.GetPointerMat(starts, 1);
    EXPECT_EQ(text(starts), "4x1: 1 3 5 7");
    m.GetPointerMat(starts, 0);
    EXPECT_EQ(text(starts), "4x1: 0 2 4 6");  // the last one is the entry count
}

TEST(LongMatrix, AssignmentAndArithmetic)
{
    const CLongMatrix m = make_matrix(2, 3, {1, 2, 3, 4, 5, 6});
    CLongMatrix copy;
    copy.Allocate(5, 5, true, 1);
    copy = m;
    EXPECT_EQ(text(copy), "2x3: 1 2 3 4 5 6");
    EXPECT_NE(copy.GetVector(), m.GetVector());
    copy += 2;
    EXPECT_EQ(text(copy), "2x3: 3 4 5 6 7 8");
    copy = 0L;
    EXPECT_EQ(text(copy), "2x3: 0 0 0 0 0 0");
    EXPECT_EQ(text(CLongMatrix(m)), "2x3: 1 2 3 4 5 6");
    CLongMatrix empty;
    empty += 4;
    EXPECT_EQ(text(empty), "0x0:");
}
