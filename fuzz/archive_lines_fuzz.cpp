// CArchive's line reading on arbitrary bytes: every line comes back without its line end, the
// lines together never hold more bytes than the file, and the end of the file is reported once
// it is reached (a loop of ReadString always ends).
#include "FuzzFile.h"

#include <tarvel/Tarvel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte picks the buffer size of the archive (line ends across buffer refills).
    const int bufSize = size > 0 ? 1 + data[0] % 64 : 4096;
    const char* name = tarvel_fuzz::fuzz_file().Hold(data, size);
    try
    {
        CFile file(name, CFile::modeRead);
        CArchive ar(&file, CArchive::load, bufSize);
        CString line;
        std::size_t held = 0, lines = 0;
        while (ar.ReadString(line))
        {
            held += static_cast<std::size_t>(line.GetLength());
            const char* text = line.GetString();
            if (std::memchr(text, '\n', static_cast<std::size_t>(line.GetLength()))) std::abort();
            if (held + lines > size || ++lines > size) std::abort();  // each line ends in a byte
        }
        if (ar.ReadString(line)) std::abort();  // the end stays the end
    }
    catch (const CException&)
    {
    }
    return 0;
}
