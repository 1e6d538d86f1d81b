// TarvelSetProgressHandler and TarvelGetProgressHandler (contract in Progress.h). The handler is
// held as AfxMessageBox holds its own (MessageBox.cpp): a shared pointer exchanged under a lock
// and copied by each phase (detail/Progress.h); an atomic flag spares a phase the lock while no
// handler is installed.
#include <tarvel/platform/Progress.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace
{

struct InstalledProgress
{
    std::mutex guard;
    std::shared_ptr<const TarvelProgressHandler> handler;
    std::atomic<bool> any{false};
};

InstalledProgress& installed()
{
    static InstalledProgress* const state = new InstalledProgress;  // never destroyed
    return *state;
}

}  // namespace

TarvelProgressHandler TarvelSetProgressHandler(TarvelProgressHandler handler)
{
    std::shared_ptr<const TarvelProgressHandler> made;
    if (handler) made = std::make_shared<const TarvelProgressHandler>(std::move(handler));
    InstalledProgress& state = installed();
    std::unique_lock<std::mutex> lock(state.guard);
    state.any.store(made != nullptr, std::memory_order_relaxed);
    std::shared_ptr<const TarvelProgressHandler> previous = std::exchange(state.handler, made);
    lock.unlock();
    return previous ? *previous : TarvelProgressHandler();
}

std::shared_ptr<const TarvelProgressHandler> TarvelGetProgressHandler()
{
    InstalledProgress& state = installed();
    if (!state.any.load(std::memory_order_relaxed)) return nullptr;
    const std::lock_guard<std::mutex> lock(state.guard);
    return state.handler;
}
