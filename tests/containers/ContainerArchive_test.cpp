// Archive form of the storable classes: the exact bytes of one archive holding every container
// class with shared objects and nulls (a golden file) and what loads back from it, and untrusted
// archives (cut at every byte, bytes replaced at random, forged counts), which must end in a
// CArchiveException or consistent objects, never a crash, a leak or a large allocation.
#include "io/TextFiles.h"
#include "support/Tracked.h"

#include <atomic>
#include <new>

using namespace tarvel_test;

#if defined(__SANITIZE_ADDRESS__)
#define TARVEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEL_TEST_ASAN 1
#endif
#endif

// The largest single request to operator new since the last reset, over every allocation of
// the process (the library's included). The sanitizer build keeps its own allocator and skips
// the check.
namespace
{
std::atomic<std::size_t> g_largestRequest{0};
}
#if !defined(TARVEL_TEST_ASAN)
void* operator new(std::size_t size)
{
    for (std::size_t seen = g_largestRequest; size > seen;)
        if (g_largestRequest.compare_exchange_weak(seen, size)) break;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // both sides are replaced together
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace
{

using ContainerArchive = TrackedObjectsTest;

// Loads one object of any class from the bytes; null when the archive throws (the cause in
// *cause).
CObject* load_any(const std::string& bytes, int* cause)
{
    CObject* p = nullptr;
    *cause = load_failure(bytes, [&](CArchive& ar) { ar >> p; });
    return p;
}

// Whether what p stores as loads back and stores as the same bytes: then every object reachable
// from p agrees with its storage (the sanitizer build also checks each element read).
bool stores_again(CObject* p)
{
    const std::string bytes = stored_bytes([p](CArchive& ar) { ar << p; });
    int cause = -1;
    CObject* back = load_any(bytes, &cause);
    const bool same = back && stored_bytes([back](CArchive& ar) { ar << back; }) == bytes;
    DeleteGraph(back);
    return same;
}

}  // namespace

// One archive, root an object vector of: an integer vector (count, the word 1, elements), an
// integer matrix (rows, columns, entries row by row) and one with dimensions but no entries, an
// object vector (count, objects) and an object matrix (columns, rows, objects row by row) that
// share objects with each other and with the integer vector, nulls, and the sparse, system and
// skyline matrices, which store nothing after their tag (the system matrix twice). Loading gives
// one new object per stored object, of its class, shared where it was shared, so that storing
// them again gives the same bytes; the class check applies to the containers too.
TEST_F(ContainerArchive, GoldenArchiveOfEveryContainerLoadsBack)
{
    CLongVector lv;
    lv.Allocate(2, true, 5);
    lv[1] = -7;
    CLongMatrix lm, lm0;
    lm.Allocate(2, 3, false, 0);
    for (int k = 0; k < 6; ++k) lm.GetVector()[k] = k - 1;
    lm0.Allocate(0, 4, true, 0);
    CVector a(2, true, 0.5);
    CMatrix b(1, 2, true, 2.0);
    CTracked t(8);
    CObjVect ov, root;
    CObjMat om;
    CSparseMatrix sparse = FromTriplets({{0, 1, 2.0}});
    CSystSpMat system(3);
    CSkylineMatrix skyline;
    int dims[] = {3, 1};
    ASSERT_TRUE(skyline.Allocate(dims, 2));
    ov.Allocate(5, true, nullptr);
    om.Allocate(2, 3, true, nullptr);
    root.Allocate(9, true, nullptr);
    const auto fill = [](CObject** entries, std::initializer_list<CObject*> objects)
    { std::copy(objects.begin(), objects.end(), entries); };
    fill(ov.m_pData, {&a, &b, nullptr, &a, &t});
    fill(om.m_pData, {&a, &lv, nullptr, &t, nullptr, &lv});
    fill(root.m_pData, {&lv, &lm, &lm0, &ov, &om, &sparse, &system, &skyline, &system});
    const std::string bytes = stored_bytes([&root](CArchive& ar) { ar << &root; });
    expect_golden("archive/containers.bin", bytes);

    // What loads back stores as the same bytes: every class, value, null and sharing kept.
    EXPECT_TRUE(stores_again(&root));
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{8});  // deleted once
    CObjMat* asMatrix = nullptr;
    EXPECT_EQ(load_failure(bytes, [&](CArchive& ar) { ar >> asMatrix; }),
              CArchiveException::badClass);
    CLongVector* any = nullptr;  // the word after the count takes any value
    load_bytes(new_class(1, "CLongVector") + le32(1) + le32(0xDEADBEEF) + le32(3),
               [&any](CArchive& ar) { ar >> any; });
    EXPECT_TRUE(any->GetSize() == 1 && (*any)[0] == 3);
    delete any;
}

// Negative counts, products beyond the int range and row counts that contradict the element
// count are refused (generic); objects created for the refused container are deleted with it.
// A count of 2^31 - 1 with 20 bytes behind the class tag ends in endOfFile without a large
// allocation (at most one block of 64 Ki entries is reserved ahead of the data).
TEST_F(ContainerArchive, ForgedCountsAreRefused)
{
    const std::string two = le64(1.0) + le64(2.0), six = two + two + two;
    const std::string big = le32(0x7FFFFFFF), zeros(16, '\0');
    const int generic = CArchiveException::generic, end = CArchiveException::endOfFile;
    for (const auto& [payload, expected] : std::vector<std::pair<std::string, int>>{
             {new_class(1, "CVector") + le32(-5), generic},
             {new_class(1, "CLongVector") + le32(-1) + le32(1), generic},
             {new_class(1, "CLongMatrix") + le32(-2) + le32(3), generic},
             {new_class(1, "CLongMatrix") + le32(3) + le32(-1), generic},
             {new_class(1, "CLongMatrix") + le32(0x10000) + le32(0x10000) + le32(7), generic},
             {new_class(1, "CObjVect") + le32(-1), generic},
             {new_class(1, "CObjMat") + le32(0x10000) + le32(0x10000) + le16(0), generic},
             {new_class(1, "CObjMat") + le32(2) + le32(-1), generic},
             {new_class(1, "CMatrix") + le32(2) + two + le32(3), generic},     // rows > elements
             {new_class(1, "CMatrix") + le32(6) + six + le32(4), generic},     // rows do not divide
             {new_class(1, "CMatrix") + le32(2) + two + le32(0), generic},     // elements, no rows
             {new_class(1, "CMatrix") + le32(0) + le32(0x7FFFFFFF), generic},  // rows, no elements
             {new_class(1, "CMatrix") + le32(2) + two + le32(-1), generic},
             // objects loaded before the bad count, shared and nested, are released
             {new_class(1, "CObjVect") + le32(3) + new_class(1, "CTracked") + le32(1) +
                  new_class(1, "CObjMat") + le32(2) + le32(1) + le16(0x8003) + le32(2) + le16(4) +
                  new_class(1, "CLongVector") + le32(-1) + le32(1),
              generic},
             {new_class(1, "CVector") + big + zeros, end},
             {new_class(1, "CMatrix") + big + zeros, end},
             {new_class(1, "CLongVector") + big + le32(1) + zeros.substr(4), end},
             {new_class(1, "CLongMatrix") + le32(1) + big + zeros.substr(4), end},
             {new_class(1, "CObjVect") + big + zeros, end},
             {new_class(1, "CObjMat") + big + le32(1) + zeros.substr(4), end},
         })
    {
        int cause = -1;
        g_largestRequest = 0;
        EXPECT_EQ(load_any(payload, &cause), nullptr);
        EXPECT_EQ(cause, expected) << ::testing::PrintToString(payload);
        EXPECT_LT(g_largestRequest, std::size_t(1) << 20);  // 0 in the sanitizer build
    }
}

// Every cut of the golden archive ends in endOfFile, and random bytes of it replaced end in
// CArchiveException or objects that store and load again, with no large allocation; either way
// every object created for it is deleted.
TEST_F(ContainerArchive, TruncatedAndCorruptedArchives)
{
    const std::string bytes =
        read_bytes(std::string(TARVEL_TEST_DATA_DIR) + "/archive/containers.bin");
    int cause = -1;
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    {
        EXPECT_EQ(load_any(bytes.substr(0, cut), &cause), nullptr);
        EXPECT_EQ(cause, CArchiveException::endOfFile) << cut;
        ASSERT_EQ(CTracked::s_nLive, m_nLive) << cut;
    }
    std::mt19937 gen(2026);
    std::uniform_int_distribution<std::size_t> position(0, bytes.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), flips(1, 4);
    int loaded = 0;
    for (int trial = 0; trial < 600; ++trial)
    {
        std::string corrupt = bytes;
        for (int f = flips(gen); f > 0; --f) corrupt[position(gen)] = char(byte(gen));
        g_largestRequest = 0;
        if (CObject* p = load_any(corrupt, &cause))
        {
            ++loaded;
            EXPECT_TRUE(stores_again(p)) << trial;
            DeleteGraph(p);
        }
        EXPECT_LT(g_largestRequest, std::size_t(1) << 20) << trial;
        ASSERT_EQ(CTracked::s_nLive, m_nLive) << trial;
    }
    EXPECT_GT(loaded, 0);  // flips in element values still load
}

// Objects the caller loaded before a failing container stay alive: only what was created for
// the container is released.
TEST_F(ContainerArchive, FailedLoadKeepsObjectsLoadedBefore)
{
    CTracked t(4);
    CObjVect v;
    v.Allocate(2, true, &t);
    std::string bytes = stored_bytes([&](CArchive& ar) { ar << &t << &v; });
    bytes.pop_back();  // the second reference to t is cut
    CTracked* first = nullptr;
    CObjVect* vect = nullptr;
    EXPECT_EQ(load_failure(bytes, [&](CArchive& ar) { ar >> first >> vect; }),
              CArchiveException::endOfFile);
    EXPECT_TRUE(first && first->m_nValue == 4 && vect == nullptr);  // still alive and readable
    delete first;
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{4});
}
