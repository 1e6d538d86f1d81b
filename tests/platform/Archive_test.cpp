// CArchive binary values and object graphs: exact bytes, round trips with shared objects, and
// every failure path of loading (no leak on any of them: the suite runs under LeakSanitizer).
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace tarvel_test;

namespace
{

// The test's own serial classes: a value, a class derived from it with its own record, and a
// list of object pointers in which one object may stand several times. The list owns each
// distinct entry once, and owns it as soon as it is read, so a load failing part-way leaks
// nothing.
class CTestItem : public CObject
{
    DECLARE_SERIAL(CTestItem)

public:
    explicit CTestItem(int value = 0) : m_nValue(value) {}
    void Serialize(CArchive& ar) override { ar.IsStoring() ? ar << m_nValue : ar >> m_nValue; }
    int m_nValue;
};

class CTestItem2 : public CTestItem
{
    DECLARE_SERIAL(CTestItem2)

public:
    explicit CTestItem2(int value = 0) : CTestItem(value) {}
};

class CTestGraph : public CObject
{
    DECLARE_SERIAL(CTestGraph)

public:
    ~CTestGraph() override
    {
        for (CObject* p : std::set<CObject*>(m_entries.begin(), m_entries.end()))
            if (p != this) delete p;
    }
    void Serialize(CArchive& ar) override
    {
        DWORD count = DWORD(m_entries.size());
        // The count is not trusted for a reservation: a corrupt one ends at endOfFile.
        ar.IsStoring() ? ar << count : ar >> count;
        for (DWORD i = 0; i < count; ++i)
            ar.IsStoring() ? void(ar << m_entries[i]) : m_entries.push_back(ar.ReadObject(nullptr));
    }
    std::vector<CObject*> m_entries;
};

// Loads two objects and carries on when the first one fails to load.
class CTestTolerant : public CObject
{
    DECLARE_SERIAL(CTestTolerant)

public:
    void Serialize(CArchive& ar) override
    {
        try
        {
            m_first.reset(ar.ReadObject(nullptr));
        }
        catch (const CArchiveException&)
        {
        }
        m_second.reset(ar.ReadObject(nullptr));
    }
    std::unique_ptr<CObject> m_first, m_second;
};

IMPLEMENT_SERIAL(CTestItem, CObject, 1)
IMPLEMENT_SERIAL(CTestItem2, CTestItem, 1)
IMPLEMENT_SERIAL(CTestGraph, CObject, 3)
IMPLEMENT_SERIAL(CTestTolerant, CObject, 1)

int value_of(const CObject* p) { return static_cast<const CTestItem*>(p)->m_nValue; }

// Loads one object of the expected class and deletes it.
std::function<void(CArchive&)> read_one(const CRuntimeClass* expected)
{
    return [expected](CArchive& ar) { delete ar.ReadObject(expected); };
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
// keeps its low 32 bits and comes back sign-extended; a value cut short is endOfFile.
TEST(ArchiveValues, LittleEndianBytesRoundTrip)
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
}

// Blocks smaller and larger than the 4096-byte buffer between small values, so every path
// (buffered, direct, refill) runs in both directions.
TEST(ArchiveValues, BlocksAroundTheBufferSize)
{
    std::string block(9000, '\0');
    for (std::size_t k = 0; k < block.size(); ++k) block[k] = char(k * 7 + 1);
    const std::string bytes = stored_bytes(
        [&](CArchive& ar)
        {
            for (int round = 0; round < 4; ++round)
            {
                ar << round;
                ar.Write(block.data(), UINT(round * 3000));
            }
        });
    ASSERT_EQ(bytes.size(), 4u * 4 + 18000u);
    load_bytes(bytes,
               [&](CArchive& ar)
               {
                   for (int round = 0; round < 4; ++round)
                   {
                       int r = -1;
                       std::string got(std::size_t(round * 3000), '\0');
                       ar >> r;
                       ASSERT_EQ(ar.Read(&got[0], UINT(got.size())), got.size());
                       EXPECT_EQ(r, round);
                       EXPECT_EQ(got, block.substr(0, got.size()));
                   }
               });
    int i = 0;  // and never in the wrong direction
    EXPECT_EQ(load_failure("", [](CArchive& ar) { ar << 1; }), CArchiveException::readOnly);
    EXPECT_EQ(failure_cause([&] { stored_bytes([&](CArchive& ar) { ar >> i; }); }),
              CArchiveException::writeOnly);
}

// Null; first object of a class (new-class tag, schema, name); second object of that class
// (0x8000 | class index 1); the first object again (its index 2). Then classes and objects
// sharing one counter in a graph: class CTestGraph 1, graph 2, CTestItem 3, items 4 and 5,
// CTestItem2 6, its object 7, a shared item (5) and a reference back to the graph (2).
TEST(ArchiveObjects, TaggingBytes)
{
    CTestItem a(7), b(-2);
    EXPECT_EQ(
        stored_bytes([&](CArchive& ar) { ar << static_cast<CObject*>(nullptr) << &a << &b << &a; }),
        le16(0) + new_class(1, "CTestItem") + le32(7) + le16(0x8001) + le32(-2) + le16(2));

    CTestGraph graph;
    graph.m_entries = {new CTestItem(1), new CTestItem(2), new CTestItem2(3)};
    graph.m_entries.push_back(graph.m_entries[1]);
    graph.m_entries.push_back(&graph);
    EXPECT_EQ(stored_bytes([&](CArchive& ar) { ar << &graph; }),
              new_class(3, "CTestGraph") + le32(5) + new_class(1, "CTestItem") + le32(1) +
                  le16(0x8003) + le32(2) + new_class(1, "CTestItem2") + le32(3) + le16(5) +
                  le16(2));
}

TEST(ArchiveObjects, LoadFailures)
{
    const std::string item = new_class(1, "CTestItem") + le32(5);
    const std::string graphOf2 = new_class(3, "CTestGraph") + le32(2) + item;
    std::string deep = new_class(3, "CTestGraph") + le32(1), shallow = deep;
    for (int level = 0; level < 5000; ++level) deep += le16(0x8001) + le32(1);
    for (int level = 0; level < 100; ++level) shallow += le16(0x8001) + le32(1);
    // What, bytes, the class expected, the cause of the failure (-1: loads).
    const std::tuple<const char*, std::string, const CRuntimeClass*, int> cases[] = {
        {"derived for base", new_class(1, "CTestItem2") + le32(1), RUNTIME_CLASS(CTestItem), -1},
        {"base for derived", item, RUNTIME_CLASS(CTestItem2), CArchiveException::badClass},
        {"unknown name", new_class(1, "CNoSuchClass") + le32(0), nullptr,
         CArchiveException::badClass},
        {"type information only", new_class(0xFFFF, "CVirtMat"), nullptr,
         CArchiveException::badClass},
        {"NUL in the name", new_class(1, std::string("CTestItem\0x", 11)), nullptr,
         CArchiveException::badClass},
        {"unknown inside a graph", new_class(3, "CTestGraph") + le32(1) + new_class(1, "CGhost"),
         nullptr, CArchiveException::badClass},
        {"other schema", new_class(2, "CTestItem") + le32(0), nullptr,
         CArchiveException::badSchema},
        {"unseen object", le16(5), nullptr, CArchiveException::badIndex},
        {"unseen class", le16(0x8001), nullptr, CArchiveException::badIndex},
        {"unseen long class", le16(0x7FFF) + le32(0x80000009), nullptr,
         CArchiveException::badIndex},
        {"class as object", graphOf2 + le16(1), nullptr, CArchiveException::badIndex},
        {"object as class", graphOf2 + le16(0x8002), nullptr, CArchiveException::badIndex},
        {"nesting without end", deep, nullptr, CArchiveException::generic},
        {"nesting 100 deep", shallow + le16(0), nullptr, -1},
    };
    for (const auto& [what, bytes, expected, cause] : cases)
        EXPECT_EQ(load_failure(bytes, read_one(expected)), cause) << what;
    // A reference to an object already loaded is checked against the expected class too.
    const auto readTwice = [](CArchive& ar)
    {
        std::unique_ptr<CObject> first(ar.ReadObject(nullptr));
        ar.ReadObject(RUNTIME_CLASS(CTestGraph));
    };
    EXPECT_EQ(load_failure(item + le16(2), readTwice), CArchiveException::badClass);

    // Every proper prefix of a stored graph ends in endOfFile, freeing what was loaded.
    CTestGraph graph;
    graph.m_entries = {new CTestItem(1), new CTestItem2(2), nullptr};
    graph.m_entries.push_back(graph.m_entries[0]);
    const std::string bytes = stored_bytes([&](CArchive& ar) { ar << &graph; });
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_EQ(load_failure(bytes.substr(0, cut), read_one(nullptr)),
                  CArchiveException::endOfFile)
            << cut;

    // Storing a class with type information only is refused.
    struct CPlain : CObject
    {
    } plain;  // CObject's record, schema 0xFFFF
    EXPECT_EQ(failure_cause([&] { stored_bytes([&](CArchive& ar) { ar << &plain; }); }),
              CArchiveException::badClass);
}

// A graph whose load fails deletes the item it had read; a later reference to that item is a
// bad index, never a pointer to the deleted object. Indices: 1 class CTestTolerant, 2 its
// object, 3 class CTestGraph, 4 the graph, 5 class CTestItem, 6 the item.
TEST(ArchiveObjects, ObjectsOfAFailedLoadAreForgotten)
{
    const std::string failedGraph = new_class(1, "CTestTolerant") + new_class(3, "CTestGraph") +
                                    le32(2) + new_class(1, "CTestItem") + le32(5) +
                                    le16(0x7FFE);  // the second entry: bad index
    EXPECT_EQ(load_failure(failedGraph + le16(6), read_one(nullptr)), CArchiveException::badIndex);
    EXPECT_EQ(load_failure(failedGraph + le16(4), read_one(nullptr)), CArchiveException::badIndex);
    EXPECT_EQ(load_failure(failedGraph + le16(0x8005) + le32(9), read_one(nullptr)), -1);
}

// Indices from 0x7FFF on are written as 0x7FFF and a 32-bit word, a class reference with the
// top bit. After 0x8000 items, class CTestItem2 gets index 0x8004 and its objects 0x8005 on.
TEST(ArchiveObjects, LongIndicesRoundTrip)
{
    CTestGraph graph;  // class 1, graph 2, CTestItem 3, items 4 .. 0x8003
    for (int i = 0; i < 0x8000; ++i) graph.m_entries.push_back(new CTestItem(i));
    auto* late1 = new CTestItem2(-1);
    auto& entries = graph.m_entries;  // objects 0x7FFF (just the long form) and 0x7FFE at the end
    entries.insert(entries.end(),
                   {late1, new CTestItem2(-2), late1, entries[0x7FFB], entries[0x7FFA]});
    const std::string bytes = stored_bytes([&](CArchive& ar) { ar << &graph; });
    const std::string tail = new_class(1, "CTestItem2") + le32(-1) + le16(0x7FFF) +
                             le32(0x80008004) + le32(-2) + le16(0x7FFF) + le32(0x8005) +
                             le16(0x7FFF) + le32(0x7FFF) + le16(0x7FFE);
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);

    std::unique_ptr<CObject> loaded;
    load_bytes(bytes,
               [&](CArchive& ar) { loaded.reset(ar.ReadObject(RUNTIME_CLASS(CTestGraph))); });
    const auto& e = static_cast<CTestGraph*>(loaded.get())->m_entries;
    ASSERT_EQ(e.size(), graph.m_entries.size());
    EXPECT_EQ(e[0x8000], e[0x8002]);
    EXPECT_EQ(e[0x8003], e[0x7FFB]);
    EXPECT_EQ(value_of(e[0x8001]), -2);
}

// Random bytes, alone or after a valid start, give a CArchiveException or an object: never a
// crash, a hang or a leak.
TEST(ArchiveObjects, GarbageNeverCrashes)
{
    std::mt19937 rng(2024);
    const std::string starts[] = {"", new_class(3, "CTestGraph"),
                                  new_class(3, "CTestGraph") + le32(3) + new_class(1, "CTestItem")};
    for (int trial = 0; trial < 600; ++trial)
    {
        std::string bytes = starts[trial % 3];
        for (int i = int(rng() % 40); i > 0; --i)
        {
            const unsigned r = rng();  // biased toward tag-like words
            bytes += (r & 3) == 0 ? le16(0x8000 | (r >> 8) % 4) : std::string(1, char(r >> 8));
        }
        load_failure(bytes, read_one(nullptr));
    }
}
