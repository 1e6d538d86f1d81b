// CArchive object graphs: exact tagging bytes, round trips with shared objects, and every
// failure path of loading (no leak on any of them: the suite runs under LeakSanitizer).
#include "support/TempDir.h"

#include <tarvel/Tarvel.h>

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

using tarvel_test::TempDir;

namespace
{

// A storable value; CTestItem2 derives from it with its own record.
class CTestItem : public CObject
{
    DECLARE_SERIAL(CTestItem)

public:
    CTestItem() = default;
    explicit CTestItem(int value) : m_nValue(value) {}
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
            ar << m_nValue;
        else
            ar >> m_nValue;
    }
    int m_nValue = 0;
};

class CTestItem2 : public CTestItem
{
    DECLARE_SERIAL(CTestItem2)

public:
    CTestItem2() = default;
    explicit CTestItem2(int value) : CTestItem(value) {}
};

// A list of object pointers in which one object may stand several times; it owns each
// distinct entry once. While loading, every entry is owned as soon as it is read, so a failure
// part-way leaks nothing.
class CTestGraph : public CObject
{
    DECLARE_SERIAL(CTestGraph)

public:
    ~CTestGraph() override
    {
        const std::set<CObject*> distinct(m_entries.begin(), m_entries.end());
        for (CObject* p : distinct) delete p;
    }
    void Serialize(CArchive& ar) override
    {
        if (ar.IsStoring())
        {
            ar << DWORD(m_entries.size());
            for (const CObject* p : m_entries) ar << p;
        }
        else
        {
            DWORD count = 0;
            ar >> count;  // not trusted for a reservation: a corrupt count ends at endOfFile
            for (DWORD i = 0; i < count; ++i)
            {
                CObject* p = nullptr;
                ar >> p;
                m_entries.push_back(p);
            }
        }
    }
    std::vector<CObject*> m_entries;
};

IMPLEMENT_SERIAL(CTestItem, CObject, 1)
IMPLEMENT_SERIAL(CTestItem2, CTestItem, 1)
IMPLEMENT_SERIAL(CTestGraph, CObject, 3)

std::string le16(unsigned v) { return {char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string le32(unsigned long v) { return le16(unsigned(v & 0xFFFF)) + le16(unsigned(v >> 16)); }
std::string new_class(unsigned schema, const std::string& name)
{
    return le16(0xFFFF) + le16(schema) + le16(unsigned(name.size())) + name;
}

class ArchiveObjects : public ::testing::Test
{
protected:
    // The bytes an archive writes through `write`.
    std::string store(const std::function<void(CArchive&)>& write)
    {
        CFile file(m_dir.file("store.bin").c_str(), CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        write(ar);
        ar.Close();
        file.Close();
        return tarvel_test::read_bytes(m_dir.file("store.bin"));
    }

    // Runs `read` on an archive loading the given bytes.
    void load(const std::string& bytes, const std::function<void(CArchive&)>& read)
    {
        tarvel_test::write_bytes(m_dir.file("load.bin"), bytes);
        CFile file(m_dir.file("load.bin").c_str(), CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        read(ar);
    }

    // The cause with which loading one object of the expected class fails, or -1 when it
    // succeeds (the object is then deleted).
    int load_failure(const std::string& bytes, const CRuntimeClass* expected)
    {
        try
        {
            load(bytes, [&](CArchive& ar) { delete ar.ReadObject(expected); });
        }
        catch (const CArchiveException& e)
        {
            return e.m_cause;
        }
        return -1;
    }

    TempDir m_dir;
};

}  // namespace

TEST_F(ArchiveObjects, CallersSerialClassesRegisterAtLoad)
{
    EXPECT_EQ(CRuntimeClass::FromName("CTestItem"), RUNTIME_CLASS(CTestItem));
    EXPECT_EQ(CRuntimeClass::FromName("CTestGraph"), RUNTIME_CLASS(CTestGraph));
    EXPECT_TRUE(CTestItem().IsSerializable());
}

// Null; first object of a class (new-class tag, schema, name); second object of the class
// (class reference 0x8000 | 1); the first object again (its index 2).
TEST_F(ArchiveObjects, TaggingBytes)
{
    CTestItem a(7), b(-2);
    const std::string bytes = store(
        [&](CArchive& ar)
        {
            ar << static_cast<const CObject*>(nullptr);
            ar << &a << &b << &a;
        });
    const std::string expected = le16(0x0000) + new_class(1, "CTestItem") + le32(7) + le16(0x8001) +
                                 le32(0xFFFFFFFE) + le16(0x0002);
    EXPECT_EQ(bytes, expected);
}

// Classes and objects share one counter: class CTestGraph 1, graph 2, CTestItem 3, items 4
// and 5, CTestItem2 6, its object 7.
TEST_F(ArchiveObjects, ClassesAndObjectsShareOneCounter)
{
    auto* graph = new CTestGraph;
    std::unique_ptr<CTestGraph> owner(graph);
    graph->m_entries = {new CTestItem(1), new CTestItem(2), new CTestItem2(3)};
    graph->m_entries.push_back(graph->m_entries[1]);
    graph->m_entries.push_back(graph);  // a reference back to the graph being stored
    const std::string bytes = store([&](CArchive& ar) { ar << graph; });
    const std::string expected = new_class(3, "CTestGraph") + le32(5) + new_class(1, "CTestItem") +
                                 le32(1) + le16(0x8003) + le32(2) + new_class(1, "CTestItem2") +
                                 le32(3) + le16(5) + le16(2);
    EXPECT_EQ(bytes, expected);
    graph->m_entries.pop_back();
}

TEST_F(ArchiveObjects, RoundTripKeepsSharedObjectsShared)
{
    CTestGraph graph;
    auto* shared = new CTestItem(42);
    graph.m_entries = {shared, new CTestItem2(-5), shared, nullptr, new CTestItem(9)};
    const std::string bytes = store([&](CArchive& ar) { ar << &graph; });

    load(bytes,
         [&](CArchive& ar)
         {
             CTestGraph* loaded = nullptr;
             ar >> loaded;  // the class's own extraction operator
             std::unique_ptr<CTestGraph> owner(loaded);
             ASSERT_NE(loaded, nullptr);
             ASSERT_EQ(loaded->m_entries.size(), 5u);
             const auto& e = loaded->m_entries;
             EXPECT_EQ(e[0], e[2]);
             EXPECT_NE(e[0], e[1]);
             EXPECT_EQ(e[3], nullptr);
             EXPECT_EQ(e[0]->GetRuntimeClass(), RUNTIME_CLASS(CTestItem));
             EXPECT_EQ(e[1]->GetRuntimeClass(), RUNTIME_CLASS(CTestItem2));
             EXPECT_EQ(static_cast<CTestItem*>(e[0])->m_nValue, 42);
             EXPECT_EQ(static_cast<CTestItem*>(e[1])->m_nValue, -5);
             EXPECT_EQ(static_cast<CTestItem*>(e[4])->m_nValue, 9);
         });
}

// A derived class satisfies its base; a base does not satisfy a derived class; an unrelated
// class fails as well, for a new object and for a reference to one already loaded.
TEST_F(ArchiveObjects, ExpectedClassIsChecked)
{
    CTestItem item(3);
    CTestItem2 item2(4);
    const std::string itemBytes = store([&](CArchive& ar) { ar << &item; });
    const std::string item2Bytes = store([&](CArchive& ar) { ar << &item2; });
    EXPECT_EQ(load_failure(item2Bytes, RUNTIME_CLASS(CTestItem)), -1);
    EXPECT_EQ(load_failure(itemBytes, RUNTIME_CLASS(CObject)), -1);
    EXPECT_EQ(load_failure(itemBytes, RUNTIME_CLASS(CTestItem2)), CArchiveException::badClass);
    EXPECT_EQ(load_failure(itemBytes, RUNTIME_CLASS(CTestGraph)), CArchiveException::badClass);

    const std::string twice = store([&](CArchive& ar) { ar << &item << &item; });
    EXPECT_THROW(load(twice,
                      [&](CArchive& ar)
                      {
                          std::unique_ptr<CObject> first(ar.ReadObject(RUNTIME_CLASS(CTestItem)));
                          ar.ReadObject(RUNTIME_CLASS(CTestGraph));
                      }),
                 CArchiveException);
}

// Every proper prefix of a stored graph fails with endOfFile, and what was loaded before the
// cut is freed (the graph owns its entries as they arrive).
TEST_F(ArchiveObjects, TruncatedStreamIsEndOfFile)
{
    CTestGraph graph;
    auto* shared = new CTestItem(1);
    graph.m_entries = {shared, new CTestItem2(2), shared, nullptr};
    const std::string bytes = store([&](CArchive& ar) { ar << &graph; });
    ASSERT_EQ(load_failure(bytes, RUNTIME_CLASS(CTestGraph)), -1);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    {
        SCOPED_TRACE(cut);
        EXPECT_EQ(load_failure(bytes.substr(0, cut), RUNTIME_CLASS(CTestGraph)),
                  CArchiveException::endOfFile);
    }
}

TEST_F(ArchiveObjects, UnknownClassNameAndSchemaMismatch)
{
    EXPECT_EQ(load_failure(new_class(1, "CNoSuchClass") + le32(0), nullptr),
              CArchiveException::badClass);
    EXPECT_EQ(load_failure(new_class(2, "CTestItem") + le32(0), nullptr),
              CArchiveException::badSchema);
    // Known but not storable (type information only), and a name with a NUL inside.
    EXPECT_EQ(load_failure(new_class(0xFFFF, "CVirtMat"), nullptr), CArchiveException::badClass);
    EXPECT_EQ(load_failure(new_class(1, std::string("CTestItem\0x", 11)), nullptr),
              CArchiveException::badClass);
    // An unknown class nested inside a graph: the graph being built is freed.
    EXPECT_EQ(load_failure(new_class(3, "CTestGraph") + le32(1) + new_class(1, "CGhost"),
                           RUNTIME_CLASS(CTestGraph)),
              CArchiveException::badClass);
}

TEST_F(ArchiveObjects, ReferencesToUnseenIndicesAreBadIndex)
{
    EXPECT_EQ(load_failure(le16(0x0005), nullptr), CArchiveException::badIndex);  // object 5
    EXPECT_EQ(load_failure(le16(0x8001), nullptr), CArchiveException::badIndex);  // class 1
    EXPECT_EQ(load_failure(le16(0x7FFF) + le32(0x80000009), nullptr), CArchiveException::badIndex);
    EXPECT_EQ(load_failure(le16(0x7FFF) + le32(0x00012345), nullptr), CArchiveException::badIndex);
    // Index 1 is a class, index 2 an object: neither may stand for the other.
    const std::string item = new_class(1, "CTestItem") + le32(5);
    EXPECT_EQ(load_failure(new_class(3, "CTestGraph") + le32(2) + item + le16(0x0001),
                           RUNTIME_CLASS(CTestGraph)),
              CArchiveException::badIndex);
    EXPECT_EQ(load_failure(new_class(3, "CTestGraph") + le32(2) + item + le16(0x8002),
                           RUNTIME_CLASS(CTestGraph)),
              CArchiveException::badIndex);
}

// Indices from 0x7FFF on are written as 0x7FFF and a 32-bit word; a class reference carries
// the top bit. 0x8000 items push CTestItem2 (first stored after them) past the short form.
TEST_F(ArchiveObjects, BigIndicesRoundTrip)
{
    CTestGraph graph;  // index 2 after its class 1; CTestItem 3, items 4 .. 0x8003
    const DWORD items = 0x8000;
    for (DWORD i = 0; i < items; ++i) graph.m_entries.push_back(new CTestItem(int(i)));
    auto* late1 = new CTestItem2(-1);  // class 0x8004, object 0x8005
    auto* late2 = new CTestItem2(-2);  // class reference, object 0x8006
    graph.m_entries.push_back(late1);
    graph.m_entries.push_back(late2);
    graph.m_entries.push_back(late1);
    graph.m_entries.push_back(graph.m_entries[0x7FFB]);  // object 0x7FFF: just long form
    graph.m_entries.push_back(graph.m_entries[0x7FFA]);  // object 0x7FFE: still short form
    const std::string bytes = store([&](CArchive& ar) { ar << &graph; });
    const std::string tail = le16(0x7FFF) + le32(0x80008004) + le32(DWORD(-2)) + le16(0x7FFF) +
                             le32(0x8005) + le16(0x7FFF) + le32(0x7FFF) + le16(0x7FFE);
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    const std::string late = new_class(1, "CTestItem2") + le32(DWORD(-1));  // class 0x8004
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size() - late.size(), late.size()), late);

    load(bytes,
         [&](CArchive& ar)
         {
             std::unique_ptr<CObject> loaded(ar.ReadObject(RUNTIME_CLASS(CTestGraph)));
             const auto& e = static_cast<CTestGraph*>(loaded.get())->m_entries;
             ASSERT_EQ(e.size(), graph.m_entries.size());
             EXPECT_EQ(e[items], e[items + 2]);
             EXPECT_EQ(e[items + 1]->GetRuntimeClass(), RUNTIME_CLASS(CTestItem2));
             EXPECT_EQ(static_cast<CTestItem*>(e[items + 1])->m_nValue, -2);
             EXPECT_EQ(e[items + 3], e[0x7FFB]);
             EXPECT_EQ(e[items + 4], e[0x7FFA]);
             EXPECT_EQ(static_cast<CTestItem*>(e[0x7FFB])->m_nValue, 0x7FFB);
         });
}

// Objects nested without end (each graph holding the next) stop at the nesting limit with a
// clear exception instead of exhausting the stack.
TEST_F(ArchiveObjects, EndlessNestingIsRefused)
{
    std::string bytes = new_class(3, "CTestGraph") + le32(1);
    for (int level = 0; level < 5000; ++level) bytes += le16(0x8001) + le32(1);
    EXPECT_EQ(load_failure(bytes, nullptr), CArchiveException::generic);

    std::string shallow = new_class(3, "CTestGraph") + le32(1);
    for (int level = 0; level < 100; ++level) shallow += le16(0x8001) + le32(1);
    shallow += le16(0);
    EXPECT_EQ(load_failure(shallow, nullptr), -1);
}

// Random bytes, alone or after a valid start, give a CArchiveException or a valid object:
// never a crash, a hang or a leak.
TEST_F(ArchiveObjects, GarbageNeverCrashes)
{
    std::mt19937 rng(2024);
    const std::string starts[] = {"", new_class(3, "CTestGraph"),
                                  new_class(3, "CTestGraph") + le32(3) + new_class(1, "CTestItem")};
    for (int trial = 0; trial < 600; ++trial)
    {
        std::string bytes = starts[trial % 3];
        const int length = int(rng() % 40);
        for (int i = 0; i < length; ++i)
        {
            const unsigned r = rng();
            // Bias toward tag-like words so that the tag decoder is exercised.
            bytes += (r & 3) == 0 ? le16(0x8000 | (r >> 8) % 4) : std::string(1, char(r >> 8));
        }
        try
        {
            load(bytes, [&](CArchive& ar) { delete ar.ReadObject(nullptr); });
        }
        catch (const CArchiveException&)
        {
        }
    }
}

// Storing a class with type information only is refused before anything is written.
TEST_F(ArchiveObjects, TypeOnlyClassIsNotStorable)
{
    class CPlain : public CObject
    {
    };
    CPlain plain;  // reports CObject's record, schema 0xFFFF
    int cause = -1;
    try
    {
        store([&](CArchive& ar) { ar << &plain; });
    }
    catch (const CArchiveException& e)
    {
        cause = e.m_cause;
    }
    EXPECT_EQ(cause, CArchiveException::badClass);
    EXPECT_EQ(tarvel_test::read_bytes(m_dir.file("store.bin")), "");
}
