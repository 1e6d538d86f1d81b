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

void CTracked::Serialize(CArchive& ar)
{
    ar.IsStoring() ? ar << m_nValue : ar >> m_nValue;
}

void DeleteGraph(CObject* root)
{
    std::unordered_set<CObject*> seen;
    std::vector<CObject*> order, work{root};
    while (!work.empty())
    {
        CObject* p = work.back();
        work.pop_back();
        if (p == nullptr || !seen.insert(p).second) continue;
        order.push_back(p);
        if (auto* v = dynamic_cast<CObjVect*>(p); v && v->m_pData)
            work.insert(work.end(), v->m_pData, v->m_pData + v->m_nSize);
        if (auto* m = dynamic_cast<CObjMat*>(p); m && m->m_pData)
            work.insert(work.end(), m->m_pData, m->m_pData + long(m->m_nRows) * m->m_nCols);
    }
    for (CObject* p : order) delete p;
}

}  // namespace tarvel_test
