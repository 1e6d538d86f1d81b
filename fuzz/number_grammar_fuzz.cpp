// The number grammar on arbitrary lines: ReadNumber scans a line number by number (with the
// three substitutions) and always ends, each call moving forward; every number text it gives
// starts with a digit or a sign and converts with strtod; the substitutions alone, from any
// start, never grow a line beyond 8.5 times its length.
#include <tarvel/Tarvel.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const int start = static_cast<int>(static_cast<std::int8_t>(data[0]));  // negative too
    const int which = data[1] % 4;
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    text = text.substr(0, text.find('\0'));  // a CString line ends at its first NUL
    const std::size_t length = text.size();

    CString line(text.c_str());
    if (which < 3)
    {
        if (which == 0) CVirtMat::ReplacePI(line, start);
        if (which == 1) CVirtMat::ReplaceIs(line, start);
        if (which == 2) CVirtMat::ReplaceGravity(line, start);
        // "PI" (2 characters) gives "3.141592653589793" (17), the largest growth of any keyword.
        if (2 * static_cast<std::size_t>(line.GetLength()) > 17 * length) std::abort();
        return 0;
    }
    int pos = start;
    CString number;
    for (std::size_t calls = 0;; ++calls)
    {
        const int before = pos;
        CVirtMat::ReadNumber(pos, line, number);
        if (number.IsEmpty())
        {
            if (pos != line.GetLength()) std::abort();
            break;
        }
        if (pos <= before && before >= 0) std::abort();  // no progress: the scan would not end
        if (calls > 4 * length + 8) std::abort();
        const char first = number.GetAt(0);
        if (!(first >= '0' && first <= '9') && first != '-' && first != '+') std::abort();
        char* end = nullptr;
        (void)std::strtod(number.GetString(), &end);
    }
    return 0;
}
