// Text writers of the integer containers, one golden file: CLongMatrix as a dense matrix of
// doubles, CLongVector in row and column layouts and as a ragged matrix by row starts.
#include "io/TextFiles.h"

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

}  // namespace

// In order: the rows (7, -3) and (12, 0) in fixed form with precision 0 (integers without a
// point) and 2, in the exponent form, with row labels width - precision wide and a header (an
// empty line first), and an empty matrix (an empty line); the vector (10, 20) numbered or not,
// as a column or a row, with a prefix and suffix, an empty vector, a negative element; the
// vector 1..5 by row starts (0, 2, 2, 5), rows of 2, 0 and 3 elements (the empty one an empty
// line), with and without labels and a header (a blank label field and the column numbers of
// the longest row), and row starts of one row only (no rows).
TEST(LongText, WritesTheGoldenLayouts)
{
    CLongMatrix m, emptyMatrix;
    m.Allocate(2, 2, false, 0);
    const long values[] = {7, -3, 12, 0};
    std::copy(values, values + 4, m.GetVector());
    CLongVector v = long_vector({10, 20}), empty, negative = long_vector({-5});
    CLongVector all = long_vector({1, 2, 3, 4, 5}), starts = long_vector({0, 2, 2, 5});
    CLongVector one = long_vector({0});
    const auto write = [&](CFile* f)
    {
        // clang-format off
        for (auto [width, precision, exponent, numbers] : {std::tuple{4, 0, false, false},
                 {6, 2, false, false}, {9, 1, true, false}, {6, 2, false, true}})
            m.WriteASCII(f, "", "", width, precision, exponent, numbers, numbers);
        emptyMatrix.WriteASCII(f, "", "", 4, 0, false, false, false);
        for (auto [vector, numbering, rows] : {std::tuple{&v, true, false}, {&v, false, false},
                 {&v, true, true}, {&v, false, true}, {&empty, true, false}, {&empty, true, true}})
            vector->WriteASCII(f, " ", "", 3, numbering, rows);
        v.WriteASCII(f, "<", ">", 4, false, true);
        negative.WriteASCII(f, "", ",", 1, false, false);
        for (auto [header, numbers, width] : {std::tuple{false, false, 2}, {false, true, 2},
                 {true, false, 2}, {true, true, 3}, {true, true, 1}})
            all.WriteASCII(f, "", "", width, starts, header, numbers);
        // clang-format on
        all.WriteASCII(f, "", "", 2, one, true, false);
    };
    under_each_locale([&] { expect_golden("text/long.txt", written(write)); });
}
