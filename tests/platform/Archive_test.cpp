// CArchive binary values and object graphs: exact bytes, round trips with shared objects, and
// every failure path of loading. The objects are CTracked values in CObjVect lists; the fixture
// checks that no tracked object outlives its test, so a failed load that leaks shows in every
// build (the sanitizer build adds LeakSanitizer). Arbitrary bytes are the fuzz targets' part.
#include "support/TempDir.h"
#include "support/Tracked.h"

#include <gtest/gtest.h>

using namespace tarvel_test;
using Archive = TrackedObjectsTest;

namespace
{

// Loads two objects and carries on when the first one fails to load.
class CTestTolerant : public CObject
{
    DECLARE_SERIAL(CTestTolerant)

public:
    void Serialize(CArchive& ar) override
    {
        failure_cause([&] { m_first.reset(ar.ReadObject(nullptr)); });
        m_second.reset(ar.ReadObject(nullptr));
    }
    std::unique_ptr<CObject> m_first, m_second;
};
IMPLEMENT_SERIAL(CTestTolerant, CObject, 1)

// A list holding the entries (not owning them).
std::unique_ptr<CObjVect> list_of(const std::vector<CObject*>& entries)
{
    auto v = std::make_unique<CObjVect>();
    v->Allocate(int(entries.size()), true, nullptr);
    for (int i = 0; i < v->GetSize(); ++i) (*v)[i] = entries[std::size_t(i)];
    return v;
}

std::string stored(CObject* root)
{
    return stored_bytes([&](CArchive& ar) { ar << root; });
}

// Loads one object of the expected class and deletes everything reachable from it.
std::function<void(CArchive&)> read_one(const CRuntimeClass* expected)
{
    return [expected](CArchive& ar) { DeleteGraph(ar.ReadObject(expected)); };
}

// Stores one value, expects its bytes, and loads them back.
template <class T> void expect_bytes(T value, const std::string& bytes, T loaded)
{
    EXPECT_EQ(stored_bytes([&](CArchive& ar) { ar << value; }), bytes);
    T back{};
    load_bytes(bytes, [&](CArchive& ar) { ar >> back; });
    EXPECT_EQ(back, loaded);
}

}  // namespace

// Each value type: its exact little-endian bytes and the value loaded back from them. A long
// keeps its low 32 bits and comes back sign-extended; a value cut short is endOfFile. Then
// blocks smaller and larger than the 4096-byte buffer between small values, so every path
// (buffered, direct, refill) runs in both directions; and never in the wrong direction.
// Null; first object of a class (new-class tag, schema, name); second object of that class
// (0x8000 | class index 1); the first object again (its index 2). Then classes and objects
// sharing one counter in a graph: class CObjVect 1, list 2, CTracked 3, items 4 and 5, CVector
// 6, its object 7, a shared item (5) and a reference back to the list (2).
TEST_F(Archive, BytesOfValuesBlocksAndObjectTags)
{
    expect_bytes(BYTE(0xAB), "\xAB", BYTE(0xAB));
    expect_bytes(WORD(0x1234), "\x34\x12", WORD(0x1234));
    expect_bytes(DWORD(0x89ABCDEF), "\xEF\xCD\xAB\x89", DWORD(0x89ABCDEF));
    expect_bytes(int(-2), "\xFE\xFF\xFF\xFF", int(-2));
    expect_bytes(long(0x100000005L), std::string("\x05\0\0\0", 4), 5L);
    expect_bytes(long(-3), "\xFD\xFF\xFF\xFF", -3L);
    expect_bytes(LONGLONG(0x0102030405060708LL), "\x08\x07\x06\x05\x04\x03\x02\x01",
                 LONGLONG(0x0102030405060708LL));
    expect_bytes(1.0f, std::string("\0\0\x80\x3F", 4), 1.0f);
    expect_bytes(-2.5, std::string("\0\0\0\0\0\0\x04\xC0", 8), -2.5);
    double d = 0.0;
    EXPECT_EQ(load_failure("\x01\x02\x03", [&](CArchive& ar) { ar >> d; }),
              CArchiveException::endOfFile);

    std::string block(9000, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = char(k * 7 + 1);
    const auto blocks = [&](CArchive& ar)
    {
        for (int round = 0; round < 4; ++round)
        {
            const std::string sent = block.substr(0, std::size_t(round * 3000));
            std::string got = ar.IsStoring() ? sent : std::string(sent.size(), '\0');
            int r = round;
            if (ar.IsStoring())
                (ar << r).Write(sent.data(), UINT(sent.size()));
            else
                got.resize(std::size_t((ar >> r).Read(&got[0], UINT(got.size()))));
            EXPECT_TRUE(r == round && got == sent) << round;
        }
    };
    const std::string bytes = stored_bytes(blocks);
    EXPECT_EQ(bytes.size(), 4u * 4 + 18000u);
    load_bytes(bytes, blocks);
    EXPECT_EQ(load_failure("", [](CArchive& ar) { ar << 1; }), CArchiveException::readOnly);
    EXPECT_EQ(failure_cause([&] { stored_bytes([&](CArchive& ar) { ar >> d; }); }),
              CArchiveException::writeOnly);

    CTracked a(7), b(-2);
    CObject* none = nullptr;
    EXPECT_EQ(stored_bytes([&](CArchive& ar) { ar << none << &a << &b << &a; }),
              le16(0) + new_class(1, "CTracked") + le32(7) + le16(0x8001) + le32(-2) + le16(2));

    CVector v(1, true, 3.0);
    const auto graph = list_of({&a, &b, &v, &b, nullptr});
    (*graph)[4] = graph.get();
    EXPECT_EQ(stored(graph.get()), new_class(1, "CObjVect") + le32(5) + new_class(1, "CTracked") +
                                       le32(7) + le16(0x8003) + le32(-2) + new_class(1, "CVector") +
                                       le32(1) + le64(3) + le16(5) + le16(2));
}

// A list whose load fails deletes the item it had read; a later reference to that item is a
// bad index, never a pointer to the deleted object. Indices: 1 class CTestTolerant, 2 its
// object, 3 class CObjVect, 4 the list, 5 class CTracked, 6 the item.
TEST_F(Archive, LoadFailures)
{
    const std::string failedList = new_class(1, "CTestTolerant") + new_class(1, "CObjVect") +
                                   le32(2) + new_class(1, "CTracked") + le32(5) +
                                   le16(0x7FFE);  // the second entry: bad index
    const std::string item = new_class(1, "CTracked") + le32(5),
                      listOf2 = new_class(1, "CObjVect") + le32(2) + item;
    std::string deep = new_class(1, "CObjVect") + le32(1);
    for (int level = 0; level < 5000; ++level) deep += le16(0x8001) + le32(1);
    const std::string shallow = deep.substr(0, 18 + 100 * 6);  // the list and 100 levels
    using AE = CArchiveException;
    const CRuntimeClass *any = nullptr, *vector = RUNTIME_CLASS(CVector);
    // What, bytes, the class expected, the cause of the failure (-1: loads).
    const std::tuple<const char*, std::string, const CRuntimeClass*, int> cases[] = {
        {"derived for base", new_class(1, "CMatrix") + le32(0) + le32(0), vector, -1},
        {"base for derived", new_class(1, "CVector") + le32(0), RUNTIME_CLASS(CMatrix),
         AE::badClass},
        {"unknown name", new_class(1, "CNoSuchClass") + le32(0), any, AE::badClass},
        {"type information only", new_class(0xFFFF, "CVirtMat"), any, AE::badClass},
        {"NUL in the name", new_class(1, std::string("CTracked\0x", 10)), any, AE::badClass},
        {"unknown in a list", new_class(1, "CObjVect") + le32(1) + new_class(1, "CX"), any,
         AE::badClass},
        {"other schema", new_class(2, "CTracked") + le32(0), any, AE::badSchema},
        {"unseen object", le16(5), any, AE::badIndex},
        {"unseen class", le16(0x8001), any, AE::badIndex},
        {"unseen long class", le16(0x7FFF) + le32(0x80000009), any, AE::badIndex},
        {"class as object", listOf2 + le16(1), any, AE::badIndex},
        {"object as class", listOf2 + le16(0x8002), any, AE::badIndex},
        {"nesting without end", deep, any, AE::generic},
        {"nesting 100 deep", shallow + le16(0), any, -1},
        {"item of a failed load", failedList + le16(6), any, AE::badIndex},
        {"failed list", failedList + le16(4), any, AE::badIndex},
        {"after a failed load", failedList + le16(0x8005) + le32(9), any, -1}};
    for (const auto& [what, bytes, expected, cause] : cases)
        EXPECT_EQ(load_failure(bytes, read_one(expected)), cause) << what;
    // A reference to an object already loaded is checked against the expected class too.
    const auto readTwice = [](CArchive& ar)
    {
        std::unique_ptr<CObject> first(ar.ReadObject(nullptr));
        ar.ReadObject(RUNTIME_CLASS(CObjVect));
    };
    EXPECT_EQ(load_failure(item + le16(2), readTwice), AE::badClass);

    // Every proper prefix of a stored graph ends in endOfFile, freeing what was loaded.
    CTracked a(1);
    CVector v(2, true, 2.0);
    const std::string bytes = stored(list_of({&a, &v, nullptr, &a}).get());
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_EQ(load_failure(bytes.substr(0, cut), read_one(any)), AE::endOfFile) << cut;

    struct CPlain : CObject  // CObject's record, schema 0xFFFF: storing it is refused
    {
    } plain;
    EXPECT_EQ(failure_cause([&] { stored(&plain); }), AE::badClass);
}

// Indices from 0x7FFF on are written as 0x7FFF and a 32-bit word, a class reference with the
// top bit. After 0x8000 items, class CVector gets index 0x8004 and its objects 0x8005 on.
TEST_F(Archive, LongIndicesRoundTrip)
{
    const std::unique_ptr<CTracked[]> items(new CTracked[0x8000]);
    std::vector<CObject*> entries;  // class 1, list 2, CTracked 3, items 4 .. 0x8003
    for (int i = 0; i < 0x8000; ++i) entries.push_back(&items[i]);
    CVector late1(1, true, -1.0), late2(1, true, -2.0);  // objects 0x8004 and 0x8005
    entries.insert(entries.end(), {&late1, &late2, &late1, entries[0x7FFB], entries[0x7FFA]});
    const auto graph = list_of(entries);
    const std::string bytes = stored(graph.get());
    const std::string tail = new_class(1, "CVector") + le32(1) + le64(-1) + le16(0x7FFF) +
                             le32(0x80008004) + le32(1) + le64(-2) + le16(0x7FFF) + le32(0x8005) +
                             le16(0x7FFF) + le32(0x7FFF) + le16(0x7FFE);
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);

    CObject* loaded = nullptr;
    load_bytes(bytes, [&](CArchive& ar) { loaded = ar.ReadObject(RUNTIME_CLASS(CObjVect)); });
    const CObjVect& e = *static_cast<CObjVect*>(loaded);
    ASSERT_EQ(e.GetSize(), graph->GetSize());
    EXPECT_TRUE(e[0x8000] == e[0x8002] && e[0x8003] == e[0x7FFB] &&
                static_cast<const CVector*>(e[0x8001])->m_pData[0] == -2.0);
    DeleteGraph(loaded);
}
