// Loading objects from arbitrary archives: through the generic ReadObject and operator>> into
// CObject*, and into every storable class by its own operator>> and Serialize. Whatever the
// bytes, loading ends with objects or with an archive or file exception: no crash, no leak (each
// object loaded is deleted once, however often the archive refers to it, the objects held by
// loaded object vectors and matrices included), no allocation beyond what the archive can back.
#include "FuzzFile.h"

#include <tarvel/Tarvel.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <type_traits>
#include <vector>

namespace
{

// Every object reachable from the loaded ones through object vectors and matrices, once each.
std::set<CObject*> reachable(const std::set<CObject*>& loaded)
{
    std::set<CObject*> all;
    std::vector<CObject*> todo(loaded.begin(), loaded.end());
    while (!todo.empty())
    {
        CObject* object = todo.back();
        todo.pop_back();
        if (!object || !all.insert(object).second) continue;
        if (auto* v = dynamic_cast<CObjVect*>(object))
            todo.insert(todo.end(), v->m_pData, v->m_pData + (v->m_pData ? v->m_nSize : 0));
        else if (auto* m = dynamic_cast<CObjMat*>(object))
            todo.insert(todo.end(), m->m_pData,
                        m->m_pData + (m->m_pData ? static_cast<long>(m->m_nRows) * m->m_nCols : 0));
    }
    return all;
}

// Reads up to 16 object references of class T (null: any class) and deletes what was loaded.
template <class T> void load_objects(CArchive& ar, int how)
{
    std::set<CObject*> loaded;
    try
    {
        for (int k = 0; k < 16; ++k)
        {
            CObject* object = nullptr;
            if (how == 0)
                object = ar.ReadObject(nullptr);
            else if (how == 1)
                ar >> object;
            else
            {
                T* typed = nullptr;
                ar >> typed;
                object = typed;
            }
            if (!object) break;
            loaded.insert(object);
        }
    }
    catch (const CException&)
    {
    }
    for (CObject* object : reachable(loaded)) delete object;
}

// Deletes the objects an object vector or matrix reached through its entries (the container
// owns none of them) and empties the entries, so that a later load or cleanup sees no stale
// pointer.
template <class T> void release_entries(T& object)
{
    if constexpr (std::is_same_v<T, CObjVect> || std::is_same_v<T, CObjMat>)
    {
        std::set<CObject*> held;
        held.insert(&object);
        for (CObject* o : reachable(held))
            if (o != &object) delete o;
        object = static_cast<CObject*>(nullptr);
    }
}

// Loads an existing object in place through Serialize, twice: the second load reuses the first
// one's storage (the first load's objects are released before it, as their owner would).
template <class T> void serialize_into(CArchive& ar)
{
    T object;
    try
    {
        object.Serialize(ar);
        release_entries(object);
        object.Serialize(ar);
    }
    catch (const CException&)
    {
    }
    release_entries(object);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const int mode = data[0] % 15;
    const char* name = tarvel_fuzz::fuzz_file().Hold(data + 1, size - 1);
    try
    {
        CFile file(name, CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        switch (mode)
        {
        case 0:
            load_objects<CObject>(ar, 0);
            break;
        case 1:
            load_objects<CObject>(ar, 1);
            break;
        case 2:
            load_objects<CVector>(ar, 2);
            break;
        case 3:
            load_objects<CMatrix>(ar, 2);
            break;
        case 4:
            serialize_into<CVector>(ar);
            break;
        case 5:
            serialize_into<CMatrix>(ar);
            break;
        case 6:
            load_objects<CLongVector>(ar, 2);
            break;
        case 7:
            load_objects<CLongMatrix>(ar, 2);
            break;
        case 8:
            load_objects<CObjVect>(ar, 2);
            break;
        case 9:
            load_objects<CObjMat>(ar, 2);
            break;
        case 10:
            serialize_into<CLongVector>(ar);
            break;
        case 11:
            serialize_into<CLongMatrix>(ar);
            break;
        case 12:
            serialize_into<CObjVect>(ar);
            break;
        case 13:
            serialize_into<CObjMat>(ar);
            break;
        default:
            load_objects<CSparseMatrix>(ar, 2);
            break;
        }
    }
    catch (const CException&)
    {
    }
    return 0;
}
