// Archive form of the storable classes: exact bytes after the class tag, one archive holding
// several classes with shared objects and nulls, the matrices that store nothing, and untrusted
// archives (cut at every byte, bytes replaced at random, forged counts), which must end in a
// CArchiveException or consistent objects, never a crash, a leak or a large allocation.
#include "support/TempDir.h"
#include "support/Tracked.h"

#include <tarvel/Tarvel.h>

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

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

CLongVector* long_vector(std::vector<long> values)
{
    auto* v = new CLongVector;
    v->Allocate(int(values.size()), false, 0);
    std::copy(values.begin(), values.end(), v->GetVector());
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
    write_bytes(dir.file("a.bin"), bytes);
    CObject* p = nullptr;
    *cause = failure_cause(
        [&]
        {
            CFile file(dir.file("a.bin").c_str(), CFile::modeRead);
            CArchive ar(&file, CArchive::load);
            ar >> p;
        });
    return p;
}

// True when every object reachable from root has dimensions that agree with its storage, and
// no count exceeds the file size.
bool consistent(CObject* root, std::size_t fileSize)
{
    std::unordered_set<CObject*> seen;
    std::vector<CObject*> work{root};
    bool ok = true;
    const auto agree = [&](long rows, long cols, const void* data)
    {
        ok = ok && rows >= 0 && cols >= 0 && std::size_t(rows * cols) <= fileSize &&
             (rows * cols > 0) == (data != nullptr);
    };
    while (!work.empty())
    {
        CObject* p = work.back();
        work.pop_back();
        if (!p || !seen.insert(p).second) continue;
        if (auto* v = dynamic_cast<CVector*>(p)) agree(v->m_nSize, 1, v->m_pData);
        if (auto* m = dynamic_cast<CMatrix*>(p))  // rows: a positive divisor, or 0 for none
            ok = ok && (m->m_nSize == 0 ? m->m_nRows == 0
                                        : m->m_nRows > 0 && m->m_nSize % m->m_nRows == 0);
        if (auto* v = dynamic_cast<CLongVector*>(p)) agree(v->m_nSize, 1, v->m_pData);
        if (auto* m = dynamic_cast<CLongMatrix*>(p)) agree(m->m_nRows, m->m_nCols, m->m_pData);
        if (auto* v = dynamic_cast<CObjVect*>(p))
        {
            agree(v->m_nSize, 1, v->m_pData);
            if (ok) work.insert(work.end(), v->m_pData, v->m_pData + v->m_nSize);
        }
        if (auto* m = dynamic_cast<CObjMat*>(p))
        {
            agree(m->m_nRows, m->m_nCols, m->m_pData);
            if (ok) work.insert(work.end(), m->m_pData, m->m_pData + m->m_nRows * m->m_nCols);
        }
    }
    return ok;
}

// A small model in one object vector: tracked objects 1 and 2, each in several containers, an
// object matrix that also holds an integer vector, a dense vector and matrix, an integer matrix,
// a null and an inner object vector.
std::string model_bytes()
{
    auto* t1 = new CTracked(1);
    auto* t2 = new CTracked(2);
    auto* mat = new CObjMat;
    mat->Allocate(2, 2, true, nullptr);
    CObject* cells[] = {t1, long_vector({5, -7}), t2, nullptr};
    std::copy(cells, cells + 4, mat->m_pData);
    auto* table = new CLongMatrix;
    table->Allocate(1, 2, true, 9);
    auto* inner = new CObjVect;
    inner->Allocate(2, true, t2);
    auto* root = new CObjVect;
    root->Allocate(8, true, nullptr);
    CObject* entries[] = {
        t1,      mat,  new CVector(2, true, 1.5), new CMatrix(2, 1, true, -4.0), t2, table,
        nullptr, inner};
    std::copy(entries, entries + 8, root->m_pData);
    std::string bytes = stored({root});
    DeleteGraph(root);
    return bytes;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Exact bytes

// Integer vector: count, the word 1 (any value loads), elements. Integer matrix: rows, columns,
// entries row by row. Object vector: count, objects (a shared one as a reference). Object
// matrix: columns, rows, objects row by row. Indices count classes and objects from 1.
TEST_F(ContainerArchive, BytesOfTheContainers)
{
    std::unique_ptr<CLongVector> v(long_vector({5, 7}));
    EXPECT_EQ(stored({v.get()}),
              new_class(1, "CLongVector") + le32(2) + le32(1) + le32(5) + le32(7));
    for (std::string word : {le32(0), le32(0xDEADBEEF)})
    {
        CLongVector* back = nullptr;
        load_bytes(new_class(1, "CLongVector") + le32(2) + word + le32(5) + le32(0xFFFFFFF9),
                   [&back](CArchive& ar) { ar >> back; });
        EXPECT_TRUE(back->GetSize() == 2 && (*back)[0] == 5 && (*back)[1] == -7);  // sign kept
        delete back;
    }

    CLongMatrix m;
    m.Allocate(2, 3, false, 0);
    for (int k = 0; k < 6; ++k) m.GetVector()[k] = k - 1;
    EXPECT_EQ(stored({&m}), new_class(1, "CLongMatrix") + le32(2) + le32(3) + le32(-1) + le32(0) +
                                le32(1) + le32(2) + le32(3) + le32(4));
    m.Allocate(0, 4, true, 0);  // dimensions stored without entries
    EXPECT_EQ(stored({&m}), new_class(1, "CLongMatrix") + le32(0) + le32(4));

    CTracked t(5);
    CObjVect ov;
    ov.Allocate(3, true, nullptr);
    ov[0] = ov[2] = &t;
    EXPECT_EQ(stored({&ov}), new_class(1, "CObjVect") + le32(3) + new_class(1, "CTracked") +
                                 le32(5) + le16(0) + le16(4));
    CObjMat om;
    om.Allocate(2, 3, true, nullptr);
    om[0][1] = om[1][2] = v.get();
    om[1][0] = &t;
    EXPECT_EQ(stored({&om}), new_class(1, "CObjMat") + le32(3) + le32(2) + le16(0) +
                                 new_class(1, "CLongVector") + le32(2) + le32(1) + le32(5) +
                                 le32(7) + le16(0) + new_class(1, "CTracked") + le32(5) + le16(0) +
                                 le16(4));
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
    const std::string bytes = stored({&sparse, &system, &skyline, &system});
    EXPECT_EQ(bytes, new_class(1, "CSparseMatrix") + new_class(1, "CSystSpMat") +
                         new_class(1, "CSkylineMatrix") + le16(4));

    CSparseMatrix* s = nullptr;
    CSystSpMat* y = nullptr;
    CSkylineMatrix* k = nullptr;
    CSparseMatrix* again = nullptr;
    load_bytes(bytes, [&](CArchive& ar) { ar >> s >> y >> k >> again; });
    EXPECT_TRUE(s->GetFirstRow() == nullptr && y->GetRows() == 0 && k->m_nOrder == 0);
    EXPECT_EQ(again, y);  // a system matrix is a sparse matrix, given back by reference
    delete s;
    delete y;
    delete k;
}

// ---------------------------------------------------------------------------------------------
// Round trips

// One archive: an integer vector, an integer matrix, an object vector and an object matrix that
// share objects with each other and with the integer vector stored before them, nulls. Loading
// gives one new object per stored object; the class check applies to the containers too.
TEST_F(ContainerArchive, SeveralClassesWithSharedObjectsAndNulls)
{
    std::unique_ptr<CLongVector> lv(long_vector({-1, 2, 3}));
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
    om[0][1] = lv.get();

    CLongVector* lv2 = nullptr;
    CLongMatrix* lm2 = nullptr;
    CObjVect* ov2 = nullptr;
    CObjMat* om2 = nullptr;
    load_bytes(stored({lv.get(), &lm, &ov, &om}),
               [&](CArchive& ar) { ar >> lv2 >> lm2 >> ov2 >> om2; });
    EXPECT_EQ(std::vector<long>(lv2->GetVector(), lv2->GetVector() + 3),
              (std::vector<long>{-1, 2, 3}));
    EXPECT_TRUE(lm2->GetRows() == 3 && lm2->GetColumns() == 2 && lm2->FindInCol(1, 4, 2) == 2);
    ASSERT_EQ(ov2->GetSize(), 5);
    auto* a2 = dynamic_cast<CVector*>((*ov2)[0]);
    auto* b2 = dynamic_cast<CMatrix*>((*ov2)[1]);
    auto* t2 = dynamic_cast<CTracked*>((*ov2)[4]);
    ASSERT_TRUE(a2 && b2 && t2);
    EXPECT_TRUE(*a2 == a && a2->GetRuntimeClass() == RUNTIME_CLASS(CVector));
    EXPECT_TRUE(*b2 == b && b2->GetRows() == 1 && t2->m_nValue == 8);
    EXPECT_TRUE((*ov2)[3] == a2 && (*ov2)[2] == nullptr);  // shared entries, null entries
    EXPECT_TRUE(om2->GetRows() == 1 && om2->GetColumns() == 3);
    EXPECT_TRUE((*om2)[0][0] == a2 && (*om2)[0][1] == lv2 && (*om2)[0][2] == nullptr);

    *om2 = nullptr;  // the shared objects are deleted once, through the vector
    ov2->DeleteEntries();
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{8});
    for (CObject* p : {(CObject*)lv2, (CObject*)lm2, (CObject*)ov2, (CObject*)om2}) delete p;

    CObjMat* asMatrix = nullptr;
    EXPECT_EQ(load_failure(stored({&ov}), [&](CArchive& ar) { ar >> asMatrix; }),
              CArchiveException::badClass);
}

// Loading into an object vector of the same count reuses its array.
TEST_F(ContainerArchive, LoadingReusesAnArrayOfTheSameCount)
{
    CTracked t(3);
    CObjVect v;
    v.Allocate(2, true, nullptr);
    v[0] = &t;
    CObjVect target;
    target.Allocate(2, true, nullptr);
    CObject** array = target.m_pData;
    load_bytes(stored({&v}),
               [&](CArchive& ar)
               {
                   ar.ReadClass(RUNTIME_CLASS(CObjVect));
                   target.Serialize(ar);
               });
    EXPECT_EQ(target.m_pData, array);
    EXPECT_TRUE(target[0] != nullptr && target[1] == nullptr);
    target.DeleteEntries();
}

// ---------------------------------------------------------------------------------------------
// Untrusted archives

// Negative counts, products beyond the int range and row counts that contradict the element
// count are refused; objects created for the refused container are deleted with it.
TEST_F(ContainerArchive, ForgedCountsAreRefused)
{
    const std::string two = le64(1.0) + le64(2.0), six = two + two + two;
    for (const std::string& payload : {
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
             new_class(1, "CObjVect") + le32(3) + new_class(1, "CTracked") + le32(1) +
                 new_class(1, "CObjMat") + le32(2) + le32(1) + le16(0x8003) + le32(2) + le16(4) +
                 new_class(1, "CLongVector") + le32(-1) + le32(1),
         })
    {
        int cause = -1;
        EXPECT_EQ(load_any(payload, &cause), nullptr);
        EXPECT_EQ(cause, CArchiveException::generic) << ::testing::PrintToString(payload);
    }
}

// A count of 2^31 - 1 with 20 bytes behind the class tag ends in endOfFile without a large
// allocation (at most one block of 64 Ki entries is reserved ahead of the data).
TEST_F(ContainerArchive, HugeCountInATinyFile)
{
    const std::string big = le32(0x7FFFFFFF), zeros(16, '\0');
    for (const std::string& bytes : {
             new_class(1, "CVector") + big + zeros,
             new_class(1, "CMatrix") + big + zeros,
             new_class(1, "CLongVector") + big + le32(1) + zeros.substr(4),
             new_class(1, "CLongMatrix") + le32(1) + big + zeros.substr(4),
             new_class(1, "CObjVect") + big + zeros,
             new_class(1, "CObjMat") + big + le32(1) + zeros.substr(4),
         })
    {
        int cause = -1;
        g_largestRequest = 0;
        EXPECT_EQ(load_any(bytes, &cause), nullptr);
        EXPECT_EQ(cause, CArchiveException::endOfFile);
        EXPECT_LT(g_largestRequest, std::size_t(1) << 20);  // 0 in the sanitizer build
    }
}

// Every cut of a valid model archive ends in endOfFile with every object created for it
// deleted; the whole archive loads the model back.
TEST_F(ContainerArchive, EveryTruncationOfAModel)
{
    const std::string bytes = model_bytes();
    int cause = -1;
    auto* root = dynamic_cast<CObjVect*>(load_any(bytes, &cause));
    ASSERT_TRUE(root && root->GetSize() == 8 && consistent(root, bytes.size()));
    auto* mat = dynamic_cast<CObjMat*>((*root)[1]);
    auto* inner = dynamic_cast<CObjVect*>((*root)[7]);
    ASSERT_TRUE(mat && inner);
    EXPECT_TRUE((*mat)[0][0] == (*root)[0] && (*mat)[1][0] == (*root)[4] &&
                (*inner)[1] == (*root)[4]);
    EXPECT_TRUE((*mat)[1][1] == nullptr && (*root)[6] == nullptr);
    EXPECT_EQ(static_cast<CLongVector*>((*mat)[0][1])->GetVector()[1], -7);
    DeleteGraph(root);

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
    const std::string bytes = model_bytes();
    std::mt19937 gen(2026);
    std::uniform_int_distribution<std::size_t> position(0, bytes.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), flips(1, 4);
    int loaded = 0;
    for (int trial = 0; trial < 600; ++trial)
    {
        std::string corrupt = bytes;
        for (int f = flips(gen); f > 0; --f) corrupt[position(gen)] = char(byte(gen));
        int cause = -1;
        if (CObject* p = load_any(corrupt, &cause))
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
    bytes.pop_back();  // the second reference to t is cut
    CTracked* first = nullptr;
    CObjVect* vect = nullptr;
    EXPECT_EQ(load_failure(bytes, [&](CArchive& ar) { ar >> first >> vect; }),
              CArchiveException::endOfFile);
    EXPECT_TRUE(first && first->m_nValue == 4 && vect == nullptr);  // still alive and readable
    delete first;
    EXPECT_EQ(CTracked::s_destroyed, std::vector<int>{4});
}
