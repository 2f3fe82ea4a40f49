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
    // The mask is not saved: that would cost a system call per copy, and the
    // handler (SA_NODEFER, empty sa_mask) runs with the mask of the copy, so the
    // jump back leaves it as it was.
    if (sigsetjmp(back, 0) != 0)
        return false;
    guardedCopy = &back;
    // The fences keep the copy between setting and clearing the guard.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(to, from, size);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    guardedCopy = nullptr;
    return true;
}

bool gatherFromMap(char *to, std::size_t toStride, const char *from, std::size_t fromStride, const long long *records,
                   std::size_t count, const ByteRange *ranges, std::size_t rangeCount)
{
    installHandler();
    sigjmp_buf back;
    if (sigsetjmp(back, 0) != 0) // the mask as in copyFromMap()
        return false;
    guardedCopy = &back;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    // Nothing here holds a resource a jump out of it would leak.
    // Records a few ahead are asked for early: the copy waits for memory, not for work.
    constexpr std::size_t Ahead = 8;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + Ahead < count && rangeCount > 0)
            __builtin_prefetch(from + std::size_t(records[i + Ahead]) * fromStride + ranges[rangeCount - 1].offset);
        const char *record = from + std::size_t(records[i]) * fromStride;
        char *target = to + i * toStride;
        for (std::size_t r = 0; r < rangeCount; ++r)
            std::memcpy(target + ranges[r].offset, record + ranges[r].offset, ranges[r].size);
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    guardedCopy = nullptr;
    return true;
}

} // namespace engine::io
