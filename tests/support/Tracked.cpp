#include "support/Tracked.h"

#include <unordered_set>

namespace tarvel_test
{

IMPLEMENT_SERIAL(CTracked, CObject, 1)

int CTracked::s_nLive = 0;
std::vector<int> CTracked::s_destroyed;

CTracked::CTracked(int value) : m_nValue(value) { ++s_nLive; }

CTracked::~CTracked()
{
    --s_nLive;
    s_destroyed.push_back(m_nValue);
}

void CTracked::Serialize(CArchive& ar) { ar.IsStoring() ? ar << m_nValue : ar >> m_nValue; }

// Every distinct object reachable from p that is not yet in seen, into seen.
static void collect(CObject* p, std::unordered_set<CObject*>& seen)
{
    if (p == nullptr || !seen.insert(p).second) return;
    if (auto* v = dynamic_cast<CObjVect*>(p); v && v->m_pData)
        for (int i = 0; i < v->m_nSize; ++i) collect(v->m_pData[i], seen);
    if (auto* m = dynamic_cast<CObjMat*>(p); m && m->m_pData)
        for (long i = 0; i < long(m->m_nRows) * m->m_nCols; ++i) collect(m->m_pData[i], seen);
}

void DeleteGraph(CObject* root)
{
    std::unordered_set<CObject*> seen;
    collect(root, seen);
    for (CObject* p : seen) delete p;
}

}  // namespace tarvel_test
