// The text readers on arbitrary files: CVector, CMatrix (plain and between section keywords),
// CSparseMatrix, CSystSpMat and CSkylineMatrix read through ReadASCII. Whatever the file holds,
// reading ends with some object (a clear result, never a crash, hang, leak or an allocation
// larger than the file can describe), and the object can be written out again.
#include "FuzzFile.h"

#include <tarvel/Tarvel.h>

#include <cstddef>
#include <cstdint>

namespace
{

template <class T> void read_and_write(CFile& file, CFile& sink, T& object)
{
    object.ReadASCII(&file);
    object.WriteASCII(&sink, "", "", 8, 3, 0, false, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const int which = data[0] % 6;
    const char* name = tarvel_fuzz::fuzz_file().Hold(data + 1, size - 1);
    try
    {
        CFile file(name, CFile::modeRead);
        CFile sink("/dev/null", CFile::modeWrite);
        switch (which)
        {
        case 0:
        {
            CVector v;
            read_and_write(file, sink, v);
            break;
        }
        case 1:
        {
            CMatrix m;
            read_and_write(file, sink, m);
            break;
        }
        case 2:
        {
            CMatrix m;
            m.ReadASCII(&file, "START", "END", "//");
            m.WriteASCII(&sink, "", "", 8, 3, 0, true, true);
            break;
        }
        case 3:
        {
            CSparseMatrix s;
            read_and_write(file, sink, s);
            break;
        }
        case 4:
        {
            CSystSpMat s(static_cast<int>(size % 97));
            read_and_write(file, sink, s);
            break;
        }
        default:
        {
            CSkylineMatrix k;
            read_and_write(file, sink, k);
            break;
        }
        }
    }
    catch (const CException&)
    {
    }
    return 0;
}
