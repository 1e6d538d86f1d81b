// Archive form of CVector and CMatrix: exact bytes, round trips through the extraction
// operators, class checks, and loading of malformed or truncated archives.
#include "support/Dense.h"
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using tarvel_test::Elements;
using tarvel_test::MakeMatrix;
using tarvel_test::MakeVector;
using tarvel_test::read_bytes;
using tarvel_test::TempDir;
using tarvel_test::write_bytes;
using V = std::vector<double>;

namespace
{

void store(const std::string& name, const CObject* object)
{
    CFile file(name.c_str(), CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    ar << object;
    ar.Close();
}

// The class tag of a first object of a new class: 0xFFFF, schema 1, name length, name.
std::string tag(const std::string& className)
{
    std::string t("\xFF\xFF\x01\x00", 4);
    t += static_cast<char>(className.size());
    t += '\0';
    return t + className;
}

std::string int32(int v)
{
    std::string s(4, '\0');
    for (int b = 0; b < 4; ++b)
        s[b] = static_cast<char>((static_cast<unsigned>(v) >> (8 * b)) & 0xFF);
    return s;
}

std::string float64(double d)
{
    std::string s(8, '\0');
    std::memcpy(&s[0], &d, 8);  // the test host is little-endian like the archive
    return s;
}

template <class T> std::unique_ptr<T> load(const std::string& name)
{
    CFile file(name.c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    T* object = nullptr;
    ar >> object;
    return std::unique_ptr<T>(object);
}

}  // namespace

TEST(DenseArchive, VectorBytes)
{
    TempDir dir;
    const CVector v = MakeVector({1.0, 2.0});
    store(dir.file("v.bin"), &v);
    const std::string expected = tag("CVector") + std::string("\x02\x00\x00\x00", 4) +
                                 std::string("\x00\x00\x00\x00\x00\x00\xF0\x3F", 8) +
                                 std::string("\x00\x00\x00\x00\x00\x00\x00\x40", 8);
    EXPECT_EQ(read_bytes(dir.file("v.bin")), expected);

    const CVector empty;
    store(dir.file("e.bin"), &empty);
    EXPECT_EQ(read_bytes(dir.file("e.bin")), tag("CVector") + int32(0));
    auto loaded = load<CVector>(dir.file("e.bin"));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetSize(), 0);
    EXPECT_EQ(loaded->GetVector(), nullptr);
}

TEST(DenseArchive, MatrixBytesAndRoundTrip)
{
    TempDir dir;
    const CMatrix m = MakeMatrix(2, 3, {1, 2, 3, 4, 5, 6});
    store(dir.file("m.bin"), &m);
    std::string expected = tag("CMatrix") + int32(6);
    for (double d : {1, 2, 3, 4, 5, 6}) expected += float64(d);
    expected += int32(2);
    EXPECT_EQ(read_bytes(dir.file("m.bin")), expected);

    auto loaded = load<CMatrix>(dir.file("m.bin"));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetRows(), 2);
    EXPECT_EQ(loaded->GetColumns(), 3);
    EXPECT_TRUE(*loaded == m);

    // A matrix is a vector: the vector extraction accepts it and gives the matrix.
    auto asVector = load<CVector>(dir.file("m.bin"));
    ASSERT_NE(asVector, nullptr);
    EXPECT_EQ(asVector->GetRuntimeClass(), RUNTIME_CLASS(CMatrix));
    EXPECT_EQ(static_cast<CMatrix*>(asVector.get())->GetRows(), 2);
}

TEST(DenseArchive, VectorThroughMatrixExtractionIsBadClass)
{
    TempDir dir;
    const CVector v = MakeVector({1, 2, 3});
    store(dir.file("v.bin"), &v);
    try
    {
        load<CMatrix>(dir.file("v.bin"));
        FAIL() << "a vector loaded as a matrix";
    }
    catch (const CArchiveException& e)
    {
        EXPECT_EQ(e.m_cause, CArchiveException::badClass);
    }
}

TEST(DenseArchive, LoadingReusesAnArrayOfTheSameSize)
{
    TempDir dir;
    const CVector v = MakeVector({4, 5, 6});
    {
        CFile file(dir.file("raw.bin").c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        const_cast<CVector&>(v).Serialize(ar);
    }
    CVector target = MakeVector({0, 0, 0});
    double* array = target.GetVector();
    {
        CFile file(dir.file("raw.bin").c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        target.Serialize(ar);
    }
    EXPECT_EQ(target.GetVector(), array);
    EXPECT_TRUE(target == v);

    CVector other = MakeVector({1});
    CFile file(dir.file("raw.bin").c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    other.Serialize(ar);
    EXPECT_TRUE(other == v);
}

TEST(DenseArchive, MalformedCountsLoadSafely)
{
    TempDir dir;
    // A negative count loads empty; a negative row count loads as no rows.
    write_bytes(dir.file("neg.bin"), tag("CVector") + int32(-5));
    auto v = load<CVector>(dir.file("neg.bin"));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetSize(), 0);
    EXPECT_EQ(v->GetVector(), nullptr);

    write_bytes(dir.file("negrows.bin"), tag("CMatrix") + int32(1) + float64(3.0) + int32(-2));
    auto m = load<CMatrix>(dir.file("negrows.bin"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetRows(), 0);
    EXPECT_EQ(m->GetColumns(), 0);
}

TEST(DenseArchive, TruncatedArchiveSignalsEndOfFile)
{
    TempDir dir;
    // A few elements short, and a count far beyond anything in the file: both end in the
    // archive's endOfFile without reserving the stated size (the sanitizer build checks that
    // nothing leaks).
    const std::vector<std::pair<std::string, int>> cases = {{"short.bin", 5},
                                                            {"huge.bin", 0x7FFFFFFF}};
    for (const auto& [name, count] : cases)
    {
        SCOPED_TRACE(name);
        write_bytes(dir.file(name), tag("CVector") + int32(count) + float64(1.0) + float64(2.0));
        try
        {
            load<CVector>(dir.file(name));
            FAIL() << "a truncated vector loaded";
        }
        catch (const CArchiveException& e)
        {
            EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
        }
    }

    // Truncated inside a vector held by a caller's object: the vector keeps its contents.
    CVector kept = MakeVector({7, 8});
    CFile file(dir.file("short.bin").c_str(), CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    CRuntimeClass* rc = ar.ReadClass(RUNTIME_CLASS(CVector));
    ASSERT_EQ(rc, RUNTIME_CLASS(CVector));
    EXPECT_THROW(kept.Serialize(ar), CArchiveException);
    EXPECT_EQ(Elements(kept), (V{7, 8}));
}
