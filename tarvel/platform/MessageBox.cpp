// AfxMessageBox and its replaceable handler.
#include <tarvel/platform/MessageBox.h>

#include <cstdio>
#include <utility>

namespace
{

// The installed handler; empty means the default one.
AfxMessageBoxHandler& installed_handler()
{
    static AfxMessageBoxHandler handler;
    return handler;
}

int default_message_box(const CString& text, UINT)
{
    std::fprintf(stderr, "%s\n", text.GetString());
    std::fflush(stderr);
    return IDOK;
}

}  // namespace

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT)
{
    const CString text(lpszText);
    // A copy, so that a handler may replace itself while it runs.
    const AfxMessageBoxHandler handler = installed_handler();
    return handler ? handler(text, nType) : default_message_box(text, nType);
}

AfxMessageBoxHandler AfxSetMessageBoxHandler(AfxMessageBoxHandler handler)
{
    return std::exchange(installed_handler(), std::move(handler));
}
