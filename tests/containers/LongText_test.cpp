// Text writer of CLongMatrix: the dense matrix layout with each entry written as a double.
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <string>
#include <tuple>

using namespace tarvel_test;

namespace
{

std::string written(const CLongMatrix& m, int width, int precision, bool exponent, bool numbers,
                    bool header)
{
    TempDir dir;
    {
        CFile file(dir.file("m.txt").c_str(), CFile::modeCreate | CFile::modeWrite);
        const_cast<CLongMatrix&>(m).WriteASCII(&file, "", "", width, precision, exponent, numbers,
                                               header);
    }
    return read_bytes(dir.file("m.txt"));
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
        EXPECT_EQ(written(m, width, precision, exponent, numbers, header), expected);
    }
    EXPECT_EQ(written(CLongMatrix(), 4, 0, false, false, false), "\r\n");
}
