#include "tools/morv/InterruptCleanup.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace {

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int kSlots = 4;

// The handler may run at any moment on any thread: the paths live in fixed
// buffers, and a slot's flag is set only once its path is complete.
char paths[kSlots][PATH_MAX];
std::atomic<bool> used[kSlots];
std::once_flag installed;

extern "C" void RemoveAndEnd(int sig)
{
    for (int i = 0; i < kSlots; ++i)
        if (used[i].load())
            ::unlink(paths[i]);
    // Ended by the signal itself, so the caller sees how the process ended.
    std::signal(sig, SIG_DFL);
    ::raise(sig);
}

void Install()
{
    for (int sig : kSignals) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction act {};
        act.sa_handler = RemoveAndEnd;
        sigemptyset(&act.sa_mask);
        for (int other : kSignals)
            sigaddset(&act.sa_mask, other);
        act.sa_flags = SA_RESTART;
        ::sigaction(sig, &act, nullptr);
    }
}

} // namespace

InterruptCleanup::Blocked::Blocked()
{
    sigset_t block;
    sigemptyset(&block);
    for (int sig : kSignals)
        sigaddset(&block, sig);
    pthread_sigmask(SIG_BLOCK, &block, &saved);
}

InterruptCleanup::Blocked::~Blocked()
{
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

int InterruptCleanup::Remember(const std::string& path)
{
    static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads the flags");
    std::call_once(installed, Install);
    if (path.empty() || path.size() >= PATH_MAX)
        return -1;
    static std::mutex claim;
    std::lock_guard<std::mutex> lock(claim);
    for (int i = 0; i < kSlots; ++i) {
        if (!used[i].load()) {
            std::memcpy(paths[i], path.c_str(), path.size() + 1);
            used[i].store(true);
            return i;
        }
    }
    return -1;
}

void InterruptCleanup::Forget(int slot)
{
    if (slot >= 0 && slot < kSlots)
        used[slot].store(false);
}
