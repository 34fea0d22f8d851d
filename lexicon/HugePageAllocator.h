#ifndef MORV_HUGEPAGEALLOCATOR_H
#define MORV_HUGEPAGEALLOCATOR_H

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

// Allocator of the models' large arrays. Fresh memory costs a page fault per
// 4 KiB page when it is first touched, and on virtual machines that made up
// most of the time the models took to load: an array of at least kThreshold
// bytes gets a mapping of its own, aligned to 2 MiB, whose whole 2 MiB runs are
// marked for transparent huge pages, so they fault in 2 MiB at a time (and its
// lookups miss the TLB less); the tail is small pages, so no array holds more
// memory than it uses. Smaller arrays, and every array in builds with AddressSanitizer, which
// must see them on its heap, come from the ordinary heap. A mapping that cannot
// be made is std::bad_alloc, as for any vector.
class HugePageAllocatorBase {
public:
    static constexpr size_t kThreshold = 256 * 1024;
    static bool UsesMapping(size_t bytes);
    static void* Map(size_t bytes);
    static void Unmap(void* p, size_t bytes);
};

template <class T> class HugePageAllocator : private HugePageAllocatorBase {
public:
    using value_type = T;
    using is_always_equal = std::true_type;

    HugePageAllocator() noexcept = default;
    template <class U> HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(size_t n)
    {
        if (n > static_cast<size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        if (UsesMapping(n * sizeof(T)))
            return static_cast<T*>(Map(n * sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept
    {
        if (UsesMapping(n * sizeof(T)))
            Unmap(p, n * sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }
    template <class U> bool operator==(const HugePageAllocator<U>&) const noexcept { return true; }
    template <class U> bool operator!=(const HugePageAllocator<U>&) const noexcept { return false; }
};

// An array of a model, loaded once and then only read.
template <class T> using ModelArray = std::vector<T, HugePageAllocator<T>>;

#endif
