// The message box of the timing reports (detail/Report.h).
#include <tarvel/platform/MessageBox.h>
#include <tarvel/platform/detail/Report.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tarvel::detail
{

void show_report(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size(), format, again);
    va_end(again);
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    AfxMessageBox(text.c_str(), MB_OK);
}

}  // namespace tarvel::detail
