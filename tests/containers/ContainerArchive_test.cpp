// Archive form of the storable classes: exact bytes after the class tag, one archive holding
// several classes with shared objects and nulls, the matrices that store nothing, and untrusted
// archives (cut at every byte, bytes flipped at random, forged counts), which must end in a
// CArchiveException or a consistent object, never a crash, a leak or a large allocation.
#include "support/TempDir.h"
#include "support/Tracked.h"

#include <tarvel/Tarvel.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

using namespace tarvel_test;

// ---------------------------------------------------------------------------------------------
// The largest single request to operator new since the last reset. Every allocation of the
// process, the library's included, goes through this replacement (the sanitizer build keeps its
// own allocator, and the check is skipped there).
#if !defined(__SANITIZE_ADDRESS__)
namespace
{
std::atomic<std::size_t> g_largestRequest{0};
}

void* operator new(std::size_t size)
{
    std::size_t seen = g_largestRequest.load();
    while (size > seen && !g_largestRequest.compare_exchange_weak(seen, size))
    {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

// The pair malloc/free stands behind new/delete here; the compiler cannot see that both sides
// are replaced together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
#endif

namespace
{

constexpr bool kMeasuresAllocations =
#if defined(__SANITIZE_ADDRESS__)
    false;
#else
    true;
#endif

std::size_t largest_request_during(const std::function<void()>& run)
{
#if !defined(__SANITIZE_ADDRESS__)
    g_largestRequest = 0;
    run();
    return g_largestRequest;
#else
    run();
    return 0;
#endif
}

class ContainerArchive : public ::testing::Test
{
protected:
    void SetUp() override { CTracked::s_destroyed.clear(); }
    void TearDown() override { EXPECT_EQ(CTracked::s_nLive, m_nLive); }  // nothing leaked

    const int m_nLive = CTracked::s_nLive;
};

CLongVector long_vector(std::vector<long> values)
{
    CLongVector v;
    v.Allocate(int(values.size()), false, 0);
    std::copy(values.begin(), values.end(), v.GetVector());
    return v;
}

std::string stored(std::initializer_list<const CObject*> objects)
{
    return stored_bytes(
        [&](CArchive& ar)
        {
            for (const CObject* p : objects) ar << p;
        });
}

// Loads one object of any class from the bytes; null when the archive throws (the cause in
// *cause). One file serves every load.
CObject* load_any(const std::string& bytes, int* cause)
{
    static const TempDir dir;
    const std::string name = dir.file("a.bin");
    write_bytes(name, bytes);
    CObject* p = nullptr;
    *cause = failure_cause(
        [&]
        {
            CFile file(name.c_str(), CFile::modeRead);
            CArchive ar(&file, CArchive::load);
            ar >> p;
        });
    return p;
}

// True when every object reachable from root has dimensions that agree with its storage.
bool consistent(CObject* root, std::size_t fileSize)
{
    std::unordered_set<CObject*> seen;
    std::vector<CObject*> work{root};
    const auto storage_agrees = [fileSize](long n, const void* data)
    { return n >= 0 && std::size_t(n) <= fileSize && (n > 0) == (data != nullptr); };
    while (!work.empty())
    {
        CObject* p = work.back();
        work.pop_back();
        if (!p || !seen.insert(p).second) continue;
        if (auto* m = dynamic_cast<CMatrix*>(p))
        {
            const int r = m->GetRows();
            if (!(m->m_nSize == 0 ? r == 0 : r > 0 && m->m_nSize % r == 0)) return false;
        }
        if (auto* v = dynamic_cast<CVector*>(p); v && !storage_agrees(v->m_nSize, v->m_pData))
            return false;
        if (auto* v = dynamic_cast<CLongVector*>(p); v && !storage_agrees(v->m_nSize, v->m_pData))
            return false;
        if (auto* m = dynamic_cast<CLongMatrix*>(p))
            if (m->m_nRows < 0 || m->m_nCols < 0 ||
                !storage_agrees(long(m->m_nRows) * m->m_nCols, m->m_pData))
                return false;
        if (auto* v = dynamic_cast<CObjVect*>(p))
        {
            if (!storage_agrees(v->m_nSize, v->m_pData)) return false;
            work.insert(work.end(), v->m_pData, v->m_pData + v->m_nSize);
        }
        if (auto* m = dynamic_cast<CObjMat*>(p))
        {
            const long n = long(m->m_nRows) * m->m_nCols;
            if (m->m_nRows < 0 || m->m_nCols < 0 || !storage_agrees(n, m->m_pData)) return false;
            work.insert(work.end(), m->m_pData, m->m_pData + n);
        }
    }
    return true;
}

// A small model in one object vector: a shared tracked object, an object matrix holding it
// with an integer vector and a second tracked object, the dense vector and matrix, the integer
// matrix, a null and an inner object vector.
struct Model
{
    Model()
    {
        t1 = new CTracked(1);
        t2 = new CTracked(2);
        auto* mat = new CObjMat;
        mat->Allocate(2, 2, true, nullptr);
        (*mat)[0][0] = t1;
        (*mat)[0][1] = new CLongVector(long_vector({5, -7}));
        (*mat)[1][0] = t2;
        auto* dense = new CVector(2, true, 1.5);
        auto* matrix = new CMatrix(2, 1, true, -4.0);
        auto* table = new CLongMatrix;
        table->Allocate(1, 2, true, 9);
        auto* inner = new CObjVect;
        inner->Allocate(2, true, t2);
        root->Allocate(8, true, nullptr);
        CObject* entries[] = {t1, mat, dense, matrix, t2, table, nullptr, inner};
        std::copy(entries, entries + 8, root->m_pData);
    }
    ~Model() { DeleteGraph(root); }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    CObjVect* root = new CObjVect;
    CTracked* t1;
    CTracked* t2;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Exact bytes

// Integer vector: count, the word 1, the elements; a second word of 0 loads the same vector.
// Integer matrix: rows, columns, entries row by row.
TEST_F(ContainerArchive, IntegerContainerBytes)
{
    const CLongVector v = long_vector({5, 7});
    const std::string bytes = stored({&v});
    EXPECT_EQ(bytes, new_class(1, "CLongVector") + le32(2) + le32(1) + le32(5) + le32(7));
    for (std::string word : {le32(1), le32(0), le32(0xDEADBEEF)})
    {
        CLongVector* back = nullptr;
        load_bytes(new_class(1, "CLongVector") + le32(2) + word + le32(5) + le32(0xFFFFFFF9),
                   [&back](CArchive& ar) { ar >> back; });
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->GetSize(), 2);
        EXPECT_EQ((*back)[0], 5);
        EXPECT_EQ((*back)[1], -7);  // sign-extended
        delete back;
    }

    CLongMatrix m;
    m.Allocate(2, 3, false, 0);
    for (int k = 0; k < 6; ++k) m.GetVector()[k] = k - 1;
    EXPECT_EQ(stored({&m}), new_class(1, "CLongMatrix") + le32(2) + le32(3) + le32(-1) + le32(0) +
                                le32(1) + le32(2) + le32(3) + le32(4));
    CLongMatrix empty;
    empty.Allocate(0, 4, true, 0);  // dimensions stored without entries
    EXPECT_EQ(stored({&empty}), new_class(1, "CLongMatrix") + le32(0) + le32(4));
}

// Object vector: count, then the objects (a shared one once, then as a reference; a null as the
// null tag). Object matrix: columns first, then rows, then the entries row by row.
TEST_F(ContainerArchive, ObjectContainerBytes)
{
    CTracked t(5);
    CObjVect v;
    v.Allocate(3, true, nullptr);
    v[0] = v[2] = &t;
    // Indices: 1 class CObjVect, 2 the vector, 3 class CTracked, 4 the tracked object.
    EXPECT_EQ(stored({&v}), new_class(1, "CObjVect") + le32(3) + new_class(1, "CTracked") +
                                le32(5) + le16(0) + le16(4));

    CLongVector lv = long_vector({3});
    CObjMat m;
    m.Allocate(2, 3, true, nullptr);
    m[0][1] = m[1][2] = &lv;
    m[1][0] = &t;
    EXPECT_EQ(stored({&m}), new_class(1, "CObjMat") + le32(3) + le32(2) + le16(0) +
                                new_class(1, "CLongVector") + le32(1) + le32(1) + le32(3) +
                                le16(0) + new_class(1, "CTracked") + le32(5) + le16(0) + le16(4));
}

// The sparse, system and skyline matrices store nothing after their tag and load empty.
TEST_F(ContainerArchive, SparseSystemAndSkylineMatricesStoreNothing)
{
    CSparseMatrix sparse;
    sparse.Add(0, 1, 2.0);
    CSystSpMat system(3);
    system.Add(1, 1, 4.0);
    CSkylineMatrix skyline;
    int dims[] = {3, 1};
    ASSERT_TRUE(skyline.Allocate(dims, 2));
    EXPECT_EQ(stored({&sparse, &system, &skyline}), new_class(1, "CSparseMatrix") +
                                                        new_class(1, "CSystSpMat") +
                                                        new_class(1, "CSkylineMatrix"));

    CSparseMatrix* s = nullptr;
    CSystSpMat* y = nullptr;
    CSkylineMatrix* k = nullptr;
    CSparseMatrix* systemAsSparse = nullptr;
    load_bytes(stored({&sparse, &system, &skyline, &system}),
               [&](CArchive& ar) { ar >> s >> y >> k >> systemAsSparse; });
    std::unique_ptr<CSparseMatrix> own[] = {std::unique_ptr<CSparseMatrix>(s),
                                            std::unique_ptr<CSparseMatrix>(y)};
    std::unique_ptr<CSkylineMatrix> ownSkyline(k);
    ASSERT_TRUE(s && y && k);
    EXPECT_EQ(s->GetFirstRow(), nullptr);
    EXPECT_EQ(y->GetRows(), 0);
    EXPECT_EQ(k->m_nOrder, 0);
    EXPECT_EQ(systemAsSparse, y);  // the same object, given back by reference
}

// ---------------------------------------------------------------------------------------------
// Round trips

// One archive: an integer vector, an integer matrix, an object vector and an object matrix that
// share objects with each other and with the integer vector stored before them, nulls, and a
// sparse matrix. Loading gives one new object per stored object.
TEST_F(ContainerArchive, SeveralClassesWithSharedObjectsAndNulls)
{
    CLongVector lv = long_vector({-1, 2, 3});
    CLongMatrix lm;
    lm.Allocate(3, 2, true, 4);
    CVector a(2, true, 0.5);
    CMatrix b(1, 2, true, 2.0);
    CTracked t(8);
    CObjVect ov;
    ov.Allocate(5, true, nullptr);
    CObject* entries[] = {&a, &b, nullptr, &a, &t};
    std::copy(entries, entries + 5, ov.m_pData);
    CObjMat om;
    om.Allocate(1, 3, true, nullptr);
    om[0][0] = &a;
    om[0][1] = &lv;
    CSparseMatrix sparse;
    sparse.Add(2, 2, 1.0);

    CLongVector* lv2 = nullptr;
    CLongMatrix* lm2 = nullptr;
    CObjVect* ov2 = nullptr;
    CObjMat* om2 = nullptr;
    CSparseMatrix* sparse2 = nullptr;
    load_bytes(stored({&lv, &lm, &ov, &om, &sparse}),
               [&](CArchive& ar) { ar >> lv2 >> lm2 >> ov2 >> om2 >> sparse2; });
    ASSERT_TRUE(lv2 && lm2 && ov2 && om2 && sparse2);

    EXPECT_EQ(std::vector<long>(lv2->GetVector(), lv2->GetVector() + 3),
              (std::vector<long>{-1, 2, 3}));
    EXPECT_EQ(lm2->GetRows(), 3);
    EXPECT_EQ(lm2->GetColumns(), 2);
    EXPECT_EQ(lm2->FindInCol(1, 4, 2), 2);
    ASSERT_EQ(ov2->GetSize(), 5);
    EXPECT_EQ((*ov2)[2], nullptr);
    EXPECT_EQ((*ov2)[0], (*ov2)[3]);  // one object for the shared entries
    EXPECT_NE((*ov2)[0], &a);
    auto* a2 = dynamic_cast<CVector*>((*ov2)[0]);
    auto* b2 = dynamic_cast<CMatrix*>((*ov2)[1]);
    auto* t2 = dynamic_cast<CTracked*>((*ov2)[4]);
    ASSERT_TRUE(a2 && b2 && t2);
    EXPECT_TRUE(*a2 == a && a2->GetRuntimeClass() == RUNTIME_CLASS(CVector));
    EXPECT_TRUE(*b2 == b && b2->GetRows() == 1);
    EXPECT_EQ(t2->m_nValue, 8);
    EXPECT_EQ(om2->GetRows(), 1);
    EXPECT_EQ(om2->GetColumns(), 3);
    EXPECT_EQ((*om2)[0][0], a2);   // shared across containers
    EXPECT_EQ((*om2)[0][1], lv2);  // and with an object loaded before
    EXPECT_EQ((*om2)[0][2], nullptr);
    EXPECT_EQ(sparse2->GetFirstRow(), nullptr);

    om2->operator=(nullptr);  // the objects belong to the vector's entries now
    ov2->DeleteEntries();
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{8});
    delete lv2;
    delete lm2;
    delete ov2;
    delete om2;
    delete sparse2;
}

// Loading into a container of the same count reuses its array; the class check of the
// extraction operators applies to the containers too.
TEST_F(ContainerArchive, ArrayReuseAndClassCheck)
{
    CTracked t(3);
    CObjVect v;
    v.Allocate(2, true, nullptr);
    v[0] = &t;
    const std::string bytes = stored({&v});
    CObjVect target;
    target.Allocate(2, true, nullptr);
    CObject** array = target.m_pData;
    load_bytes(bytes,
               [&](CArchive& ar)
               {
                   ar.ReadClass(RUNTIME_CLASS(CObjVect));
                   target.Serialize(ar);
               });
    EXPECT_EQ(target.m_pData, array);
    ASSERT_NE(target[0], nullptr);
    EXPECT_EQ(target[1], nullptr);
    target.DeleteEntries();

    CObjMat* asMatrix = nullptr;
    EXPECT_EQ(load_failure(bytes, [&](CArchive& ar) { ar >> asMatrix; }),
              CArchiveException::badClass);
    CLongMatrix* asLong = nullptr;
    const CLongVector lv = long_vector({1});
    EXPECT_EQ(load_failure(stored({&lv}), [&](CArchive& ar) { ar >> asLong; }),
              CArchiveException::badClass);
}

// ---------------------------------------------------------------------------------------------
// Untrusted archives

// Negative counts, products beyond the int range and row counts that contradict the element
// count are refused; objects created for the refused container are deleted with it.
TEST_F(ContainerArchive, ForgedCountsAreRefused)
{
    const std::string two = le64(1.0) + le64(2.0);
    const std::string six = two + two + two;
    const std::string tracked = new_class(1, "CTracked") + le32(1);
    for (const std::string& bytes : {
             new_class(1, "CVector") + le32(-5),
             new_class(1, "CLongVector") + le32(-1) + le32(1),
             new_class(1, "CLongMatrix") + le32(-2) + le32(3),
             new_class(1, "CLongMatrix") + le32(3) + le32(-1),
             new_class(1, "CLongMatrix") + le32(0x10000) + le32(0x10000) + le32(7),
             new_class(1, "CObjVect") + le32(-1),
             new_class(1, "CObjMat") + le32(0x10000) + le32(0x10000) + le16(0),
             new_class(1, "CObjMat") + le32(2) + le32(-1),
             new_class(1, "CMatrix") + le32(2) + two + le32(3),     // rows exceed elements
             new_class(1, "CMatrix") + le32(6) + six + le32(4),     // rows do not divide
             new_class(1, "CMatrix") + le32(2) + two + le32(0),     // elements, no rows
             new_class(1, "CMatrix") + le32(0) + le32(0x7FFFFFFF),  // rows, no elements
             new_class(1, "CMatrix") + le32(2) + two + le32(-1),
             // Objects loaded before the bad count, shared and nested, are released.
             new_class(1, "CObjVect") + le32(3) + tracked + new_class(1, "CObjMat") + le32(2) +
                 le32(1) + new_class(1, "CTracked") + le32(2) + le16(4) +
                 new_class(1, "CLongVector") + le32(-1) + le32(1),
         })
    {
        int cause = -1;
        EXPECT_EQ(load_any(bytes, &cause), nullptr);
        EXPECT_EQ(cause, CArchiveException::generic) << ::testing::PrintToString(bytes);
    }
    EXPECT_EQ(CTracked::s_nLive, m_nLive);
}

// A count of 2^31 - 1 with 20 bytes behind the class tag ends in endOfFile without a large
// allocation (at most one block of 64 Ki entries is reserved ahead of the data).
TEST_F(ContainerArchive, HugeCountInATinyFile)
{
    const std::string big = le32(0x7FFFFFFF);
    const std::string nulls(12, '\0');
    for (const std::string& bytes : {
             new_class(1, "CVector") + big + nulls + std::string(4, '\0'),
             new_class(1, "CMatrix") + big + nulls + std::string(4, '\0'),
             new_class(1, "CLongVector") + big + le32(1) + nulls,
             new_class(1, "CLongMatrix") + le32(1) + big + nulls,
             new_class(1, "CObjVect") + big + nulls + std::string(4, '\0'),
             new_class(1, "CObjMat") + big + le32(1) + nulls,
         })
    {
        int cause = -1;
        const std::size_t largest =
            largest_request_during([&] { EXPECT_EQ(load_any(bytes, &cause), nullptr); });
        EXPECT_EQ(cause, CArchiveException::endOfFile);
        if (kMeasuresAllocations)
        {
            EXPECT_LT(largest, std::size_t(1) << 20);
        }
    }
    CVector kept(2, true, 7.0);  // a failed load keeps the vector's old contents
    EXPECT_EQ(load_failure(new_class(1, "CVector") + big + le64(1.0),
                           [&kept](CArchive& ar)
                           {
                               ar.ReadClass(RUNTIME_CLASS(CVector));
                               kept.Serialize(ar);
                           }),
              CArchiveException::endOfFile);
    EXPECT_TRUE(kept == 7.0 && kept.GetSize() == 2);
}

// Every cut of a valid model archive ends in endOfFile with every object created for it
// deleted; the whole archive loads the model back.
TEST_F(ContainerArchive, EveryTruncationOfAModel)
{
    std::string bytes;
    {
        Model model;
        bytes = stored({model.root});
    }
    int cause = -1;
    CObject* whole = load_any(bytes, &cause);
    ASSERT_EQ(cause, -1);
    auto* root = dynamic_cast<CObjVect*>(whole);
    ASSERT_TRUE(root && root->GetSize() == 8);
    auto* mat = dynamic_cast<CObjMat*>((*root)[1]);
    auto* inner = dynamic_cast<CObjVect*>((*root)[7]);
    ASSERT_TRUE(mat && inner && consistent(root, bytes.size()));
    EXPECT_EQ((*mat)[0][0], (*root)[0]);
    EXPECT_EQ((*mat)[1][0], (*root)[4]);
    EXPECT_EQ((*inner)[1], (*root)[4]);
    EXPECT_EQ((*mat)[1][1], nullptr);
    EXPECT_EQ((*root)[6], nullptr);
    EXPECT_EQ(static_cast<CLongVector*>((*mat)[0][1])->GetVector()[1], -7);
    DeleteGraph(root);
    EXPECT_EQ(CTracked::s_nLive, m_nLive);

    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
    {
        EXPECT_EQ(load_any(bytes.substr(0, cut), &cause), nullptr);
        EXPECT_EQ(cause, CArchiveException::endOfFile) << cut;
        ASSERT_EQ(CTracked::s_nLive, m_nLive) << cut;
    }
}

// Random bytes of the model archive replaced: each load throws CArchiveException or gives
// objects whose dimensions agree with their storage; nothing is left alive afterwards.
TEST_F(ContainerArchive, RandomByteFlips)
{
    std::string bytes;
    {
        Model model;
        bytes = stored({model.root});
    }
    std::mt19937 gen(2026);
    std::uniform_int_distribution<std::size_t> position(0, bytes.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), flips(1, 4);
    int loaded = 0;
    for (int trial = 0; trial < 600; ++trial)
    {
        std::string corrupt = bytes;
        for (int f = flips(gen); f > 0; --f) corrupt[position(gen)] = char(byte(gen));
        int cause = -1;
        CObject* p = load_any(corrupt, &cause);
        if (p)
        {
            ++loaded;
            EXPECT_TRUE(consistent(p, corrupt.size())) << trial;
            DeleteGraph(p);
        }
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
    std::string bytes = stored({&t, &v});
    bytes.resize(bytes.size() - 1);  // the second reference to t is cut
    CTracked* first = nullptr;
    CObjVect* vect = nullptr;
    EXPECT_EQ(load_failure(bytes, [&](CArchive& ar) { ar >> first >> vect; }),
              CArchiveException::endOfFile);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(vect, nullptr);
    EXPECT_EQ(first->m_nValue, 4);  // still alive and readable
    delete first;
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{4});
}
