#include "MappedCopy.h"

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <mutex>

namespace engine::io {

namespace {

// The copy in progress on this thread, if any: where a SIGBUS jumps back to.
thread_local sigjmp_buf *guardedCopy = nullptr;
struct sigaction previousAction;

void onBusError(int signal, siginfo_t *info, void *context)
{
    if (sigjmp_buf *back = guardedCopy) {
        guardedCopy = nullptr;
        siglongjmp(*back, 1);
    }
    // Not ours: hand the signal to whoever had it before, or die of it.
    if (previousAction.sa_flags & SA_SIGINFO) {
        if (previousAction.sa_sigaction) {
            previousAction.sa_sigaction(signal, info, context);
            return;
        }
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
    ::raise(SIGBUS);
}

void installHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousAction);
    });
}

} // namespace

bool copyFromMap(void *to, const void *from, std::size_t size)
{
    installHandler();
    sigjmp_buf back;
    // savemask 1: the handler was entered with SIGBUS possibly blocked.
    if (sigsetjmp(back, 1) != 0)
        return false;
    guardedCopy = &back;
    // The fences keep the copy between setting and clearing the guard.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(to, from, size);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    guardedCopy = nullptr;
    return true;
}

} // namespace engine::io
