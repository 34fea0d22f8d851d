#include "engine/ForkGuard.h"

#include <pthread.h>
#include <vector>

#include "engine/TextCodec.h"

namespace {

struct Group {
    const void* owner;
    std::mutex* first;
    std::mutex* second;
};

// Never destroyed: a fork during the process's exit still finds them.
std::mutex& RegistryMutex()
{
    static std::mutex* m = new std::mutex();
    return *m;
}
std::vector<Group>& Groups()
{
    static std::vector<Group>* g = new std::vector<Group>();
    return *g;
}

void BeforeFork()
{
    // The code table is made on first use; a child must not inherit it half made.
    TextCodec::Instance();
    RegistryMutex().lock();
    for (const Group& g : Groups()) {
        g.first->lock();
        if (g.second != nullptr)
            g.second->lock();
    }
}

void AfterFork()
{
    const std::vector<Group>& groups = Groups();
    for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
        if (g->second != nullptr)
            g->second->unlock();
        g->first->unlock();
    }
    RegistryMutex().unlock();
}

} // namespace

void ForkGuard::Register(const void* owner, std::mutex* first, std::mutex* second)
{
    static const bool installed = pthread_atfork(BeforeFork, AfterFork, AfterFork) == 0;
    (void)installed;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Groups().push_back({owner, first, second});
}

void ForkGuard::Unregister(const void* owner)
{
    std::lock_guard<std::mutex> lock(RegistryMutex());
    std::vector<Group>& groups = Groups();
    for (size_t i = groups.size(); i-- > 0;)
        if (groups[i].owner == owner)
            groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(i));
}
