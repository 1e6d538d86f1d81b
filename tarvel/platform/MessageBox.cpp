// AfxMessageBox and its replaceable handler.
//
// The handler is shared by every thread. Installing one and showing a text are safe against each
// other: the installed handler is held through a shared pointer that AfxMessageBox copies under
// a lock and calls after releasing it, so a call runs the handler that was installed when it
// began, the handler stays alive until that call returns, and a handler may replace itself (or
// show another text) while it runs.
#include <tarvel/platform/MessageBox.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>

namespace
{

struct InstalledHandler
{
    std::mutex guard;
    std::shared_ptr<const AfxMessageBoxHandler> handler;  // null: the default one
};

// Made once and never destroyed, so that threads still reporting while the process runs its
// static destructors find it.
InstalledHandler& installed()
{
    static InstalledHandler* const state = new InstalledHandler;
    return *state;
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
    std::shared_ptr<const AfxMessageBoxHandler> handler;
    {
        InstalledHandler& state = installed();
        const std::lock_guard<std::mutex> lock(state.guard);
        handler = state.handler;
    }
    return handler ? (*handler)(text, nType) : default_message_box(text, nType);
}

AfxMessageBoxHandler AfxSetMessageBoxHandler(AfxMessageBoxHandler handler)
{
    std::shared_ptr<const AfxMessageBoxHandler> made;
    if (handler) made = std::make_shared<const AfxMessageBoxHandler>(std::move(handler));
    InstalledHandler& state = installed();
    std::unique_lock<std::mutex> lock(state.guard);
    std::shared_ptr<const AfxMessageBoxHandler> previous = std::exchange(state.handler, made);
    lock.unlock();
    // A copy: calls that began before the exchange may still be running the previous one.
    return previous ? *previous : AfxMessageBoxHandler();
}
