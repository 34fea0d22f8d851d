#ifndef MORV_FORKGUARD_H
#define MORV_FORKGUARD_H

#include <mutex>

// Keeps the library's locks usable in a child made by fork. A child has only
// the thread that forked: a lock another thread held at that moment would stay
// held in the child for ever. Every lock registered here is taken just before
// a fork (in registration order, after whoever holds it lets go) and released
// on both sides after it, so the child starts with all of them free and with
// what they guard in a state some thread left complete.
//
// Locks registered together are taken in the order given, which must be the
// order in which any thread nests them. No thread may hold two groups' locks
// at once, nor fork while it holds one.
class ForkGuard {
public:
    // Registers the locks of one owner (at most two, in nesting order; second
    // may be null) until Unregister(owner).
    static void Register(const void* owner, std::mutex* first, std::mutex* second);
    static void Unregister(const void* owner);
};

#endif
