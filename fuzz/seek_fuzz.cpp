// The keyword searches on arbitrary files: SeekTo and SeekTo_ReplLine find a keyword or leave
// the file where the search began, always leave the position within the file, and a search
// repeated from the current position ends (each success moves forward).
#include "FuzzFile.h"

#include <tarvel/Tarvel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // Layout: keyword length (byte 0, at most 15), flags (byte 1), the keyword, the file.
    const std::size_t keyLength = std::min<std::size_t>(data[0] % 16, size - 2);
    const bool useComment = data[1] & 1, replacing = data[1] & 2;
    std::string key(reinterpret_cast<const char*>(data + 2), keyLength);
    key = key.substr(0, key.find('\0'));
    const std::uint8_t* body = data + 2 + keyLength;
    const std::size_t bodySize = size - 2 - keyLength;
    const char* name = tarvel_fuzz::fuzz_file().Hold(body, bodySize);
    try
    {
        CFile file(name, CFile::modeRead);
        CString comment(data[1] & 4 ? "//" : "!");
        for (std::size_t k = 0; k <= bodySize + 1; ++k)
        {
            const ULONGLONG before = file.GetPosition();
            CString keyword(key.c_str());
            const bool found =
                replacing ? SeekTo_ReplLine(keyword, file, useComment ? &comment : nullptr, k > 0)
                          : SeekTo(keyword, file, useComment ? &comment : nullptr, k > 0);
            const ULONGLONG after = file.GetPosition();
            if (after > bodySize) std::abort();
            if (!found)
            {
                if (after != before) std::abort();
                break;
            }
            if (k > 0 && after <= before) std::abort();
            if (after == bodySize) break;
        }
    }
    catch (const CException&)
    {
    }
    return 0;
}
