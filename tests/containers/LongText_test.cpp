// Text writers of the integer containers: CLongMatrix as a dense matrix of doubles, CLongVector
// in row and column layouts and as a ragged matrix by row starts.
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

using namespace tarvel_test;

namespace
{

CLongVector long_vector(std::vector<long> values)
{
    CLongVector v;
    v.Allocate(int(values.size()), false, 0);
    std::copy(values.begin(), values.end(), v.GetVector());
    return v;
}

// The bytes a writer puts into a new file.
template <class Write> std::string written(Write write)
{
    TempDir dir;
    {
        CFile file(dir.file("t.txt").c_str(), CFile::modeCreate | CFile::modeWrite);
        write(&file);
    }
    return read_bytes(dir.file("t.txt"));
}

}  // namespace

// Rows (7, -3) and (12, 0). Fixed form with precision 0 writes integers without a point, with
// precision 2 as 7.00; the exponent flag picks the exponent form. Row labels are width minus
// precision wide; a header starts with an empty line; the matrix ends with an empty line.
TEST(LongMatrixText, DenseLayoutOfConvertedEntries)
{
    CLongMatrix m;
    m.Allocate(2, 2, false, 0);
    const long values[] = {7, -3, 12, 0};
    std::copy(values, values + 4, m.GetVector());
    for (auto [width, precision, exponent, numbers, header, expected] : {
             std::tuple{4, 0, false, false, false, "   7  -3\r\n  12   0\r\n\r\n"},
             std::tuple{6, 2, false, false, false, "  7.00 -3.00\r\n 12.00  0.00\r\n\r\n"},
             std::tuple{9, 1, true, false, false,
                        "  7.0e+00 -3.0e+00\r\n  1.2e+01  0.0e+00\r\n\r\n"},
             std::tuple{6, 2, false, true, true,
                        "\r\n          1     2\r\n   1   7.00 -3.00\r\n   2  12.00  0.00\r\n\r\n"},
         })
    {
        SCOPED_TRACE(::testing::Message() << width << " " << precision << " " << exponent);
        EXPECT_EQ(
            written([&](CFile* f)
                    { m.WriteASCII(f, "", "", width, precision, exponent, numbers, header); }),
            expected);
    }
    CLongMatrix empty;
    EXPECT_EQ(written([&](CFile* f) { empty.WriteASCII(f, "", "", 4, 0, false, false, false); }),
              "\r\n");
}

TEST(LongVectorText, RowAndColumnLayouts)
{
    CLongVector v = long_vector({10, 20});
    CLongVector empty;
    for (auto [vector, numbering, rows, expected] : {
             std::tuple{&v, true, false, "  1  10\r\n  2  20\r\n"},
             std::tuple{&v, false, false, "  10\r\n  20\r\n"},
             std::tuple{&v, true, true, "   1   2\r\n  10  20\r\n"},
             std::tuple{&v, false, true, "  10  20\r\n"},
             std::tuple{&empty, true, false, ""},
             std::tuple{&empty, true, true, "\r\n\r\n"},
         })
    {
        SCOPED_TRACE(::testing::Message() << numbering << rows);
        EXPECT_EQ(written([&](CFile* f) { vector->WriteASCII(f, " ", "", 3, numbering, rows); }),
                  expected);
    }
    EXPECT_EQ(written([&](CFile* f) { v.WriteASCII(f, "<", ">", 4, false, true); }),
              "<  10><  20>\r\n");
    CLongVector negative = long_vector({-5});
    EXPECT_EQ(written([&](CFile* f) { negative.WriteASCII(f, "", ",", 1, false, false); }),
              "-5,\r\n");
}

// Row starts (0, 2, 2, 5) give rows of 2, 0 and 3 elements; the empty row is an empty line. The
// header holds a blank label field and the column numbers of the longest row.
TEST(LongVectorText, RaggedRowsByRowStarts)
{
    CLongVector v = long_vector({1, 2, 3, 4, 5});
    CLongVector starts = long_vector({0, 2, 2, 5});
    for (auto [header, numbers, width, expected] : {
             std::tuple{false, false, 2, " 1 2\r\n\r\n 3 4 5\r\n"},
             std::tuple{false, true, 2, " 1 1 2\r\n\r\n 3 3 4 5\r\n"},
             std::tuple{true, false, 2, " 1 2 3\r\n 1 2\r\n\r\n 3 4 5\r\n"},
             std::tuple{true, true, 3, "     1  2  3\r\n  1  1  2\r\n\r\n  3  3  4  5\r\n"},
             std::tuple{true, true, 1, " 123\r\n112\r\n\r\n3345\r\n"},
         })
    {
        SCOPED_TRACE(::testing::Message() << header << numbers << width);
        EXPECT_EQ(
            written([&](CFile* f) { v.WriteASCII(f, "", "", width, starts, header, numbers); }),
            expected);
    }
    CLongVector none = long_vector({0});
    EXPECT_EQ(written([&](CFile* f) { v.WriteASCII(f, "", "", 2, none, true, false); }), "\r\n");
}
