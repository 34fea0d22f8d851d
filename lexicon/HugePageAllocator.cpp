#include "lexicon/HugePageAllocator.h"

#include <cstdint>

#include <sys/mman.h>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMappings = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMappings = false;
#else
constexpr bool kMappings = true;
#endif
#else
constexpr bool kMappings = true;
#endif

constexpr size_t kPage = 4096;

// Mappings end at the next small page: a huge page is asked only for the whole
// 2 MiB runs, so that the tail of an array (and an array under 2 MiB) takes
// only the memory it uses instead of a huge page each.
size_t Rounded(size_t bytes) { return (bytes + kPage - 1) & ~(kPage - 1); }

} // namespace

bool HugePageAllocatorBase::UsesMapping(size_t bytes)
{
    return kMappings && bytes >= kThreshold;
}

void* HugePageAllocatorBase::Map(size_t bytes)
{
    const size_t size = Rounded(bytes);
    if (size < bytes)
        throw std::bad_alloc();
    // One huge page more than needed, so that an aligned run of the size lies
    // within; the ends beyond it are given back at once.
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const uintptr_t end = start + size + kHugePage;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    const size_t whole = size & ~(kHugePage - 1);
    if (whole > 0)
        ::madvise(p, whole, MADV_HUGEPAGE); // only a wish: without it the pages are small
#endif
    return p;
}

void HugePageAllocatorBase::Unmap(void* p, size_t bytes)
{
    if (p != nullptr)
        ::munmap(p, Rounded(bytes));
}
