// Archive form of CVector and CMatrix: exact bytes, round trips through the extraction
// operators, the class check, and malformed or truncated archives.
#include "support/Dense.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tarvel_test;

namespace
{

// Loads one object through X's extraction operator; the cause of the failure, or -1.
template <class X> int load_as(const std::string& bytes, std::unique_ptr<X>& loaded)
{
    X* p = nullptr;
    const int cause = load_failure(bytes, [&p](CArchive& ar) { ar >> p; });
    loaded.reset(p);
    return cause;
}

// Loads the bytes into an existing object through its Serialize, after its class tag.
int load_into(const std::string& bytes, CVector& kept)
{
    return load_failure(bytes, [&kept](CArchive& ar)
                        { ar.ReadClass(kept.GetRuntimeClass()), kept.Serialize(ar); });
}

}  // namespace

// Vector: count, then the elements; matrix: the vector form, then the row count. A matrix is a
// vector, so the vector extraction gives the matrix back; a vector is no matrix.
// A negative count, or a row count that is negative, exceeds or does not divide the element
// count, or is not 0 for no elements, is refused and leaves a matrix loaded in place with its
// shape; a count a few elements short, or far beyond the file, ends in endOfFile without
// reserving the size it claims, and a vector loaded in place keeps its contents.
TEST(DenseArchive, BytesRoundTripsAndMalformedArchives)
{
    const CVector v2 = MakeVector({1.0, 2.0});
    const CMatrix m23 = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    const std::string vector = stored_bytes([&v2](CArchive&ar) { ar << &v2; }),
                      matrix = stored_bytes([&m23](CArchive&ar) { ar << &m23; });
    EXPECT_EQ(vector, new_class(1, "CVector") + le32(2) + le64(1) + le64(2));
    EXPECT_EQ(matrix, new_class(1, "CMatrix") + le32(6) + le64(1) + le64(2) + le64(3) + le64(4) +
                          le64(5) + le64(6) + le32(2));
    std::unique_ptr<CVector> asVector;
    ASSERT_EQ(load_as(matrix, asVector), -1);
    EXPECT_EQ(Text(*asVector), "2x3: 1 2 3 4 5 6");  // a CMatrix, shape and all
    std::unique_ptr<CMatrix> asMatrix;
    EXPECT_EQ(load_as(vector, asMatrix), CArchiveException::badClass);
    EXPECT_EQ(asMatrix, nullptr);

    EXPECT_EQ(load_as(new_class(1, "CVector") + le32(-5), asVector), CArchiveException::generic);
    const std::string two = le32(2) + le64(3) + le64(4);
    for (const auto& [elements, rows] :
         {std::pair{two, -2}, {two, 0}, {two, 3}, {two, 0x7FFFFFFF}, {le32(0), 2}})
    {
        const std::string bytes = new_class(1, "CMatrix") + elements + le32(rows);
        std::unique_ptr<CMatrix> m;
        CMatrix kept = MakeMatrix(1, 3, {7, 8, 9});
        EXPECT_EQ(load_as(bytes, m), CArchiveException::generic) << rows;
        EXPECT_EQ(load_into(bytes, kept), CArchiveException::generic);
        EXPECT_EQ(Text(kept), "1x3: 7 8 9");
    }
    ASSERT_EQ(load_as(new_class(1, "CMatrix") + two + le32(2), asMatrix), -1);
    EXPECT_EQ(Text(*asMatrix), "2x1: 3 4");
    for (int count : {5, 0x7FFFFFFF})
    {
        CVector kept = MakeVector({7, 8});
        EXPECT_EQ(load_into(new_class(1, "CVector") + le32(count) + le64(1) + le64(2), kept),
                  CArchiveException::endOfFile);
        EXPECT_EQ(Text(kept), "2: 7 8") << count;
    }
}
