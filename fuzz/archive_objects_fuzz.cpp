// Loading objects from arbitrary archives: through the generic ReadObject and operator>> into
// CObject*, and into every storable class by its own operator>> and Serialize. Whatever the
// bytes, loading ends with objects or with an archive or file exception: no crash, no leak (each
// object loaded is deleted once, however often the archive refers to it), no allocation beyond
// what the archive can back.
#include "FuzzFile.h"

#include <tarvel/Tarvel.h>

#include <cstddef>
#include <cstdint>
#include <set>

namespace
{

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
    for (CObject* object : loaded) delete object;
}

// Loads an existing object in place through Serialize.
template <class T> void serialize_into(CArchive& ar)
{
    T object;
    try
    {
        object.Serialize(ar);
        object.Serialize(ar);  // a second load over the first one's storage
    }
    catch (const CException&)
    {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const int mode = data[0] % 7;
    const char* name = tarvel_fuzz::fuzz_file().Hold(data + 1, size - 1);
    try
    {
        CFile file(name, CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        switch (mode)
        {
        case 0: load_objects<CObject>(ar, 0); break;
        case 1: load_objects<CObject>(ar, 1); break;
        case 2: load_objects<CVector>(ar, 2); break;
        case 3: load_objects<CMatrix>(ar, 2); break;
        case 4: serialize_into<CVector>(ar); break;
        case 5: serialize_into<CMatrix>(ar); break;
        default: load_objects<CSparseMatrix>(ar, 2); break;
        }
    }
    catch (const CException&)
    {
    }
    return 0;
}
