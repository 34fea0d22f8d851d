#include "lexicon/ModelBlock.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

void ModelBlockFree::operator()(uint8_t* p) const { std::free(p); }

ModelBlock AllocateModelBlock(size_t bytes)
{
    constexpr size_t kHugePage = size_t(2) << 20;
    void* p = nullptr;
    if (bytes < kHugePage) {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    } else {
        const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        if (rounded >= bytes)
            p = std::aligned_alloc(kHugePage, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        if (p != nullptr)
            madvise(p, rounded, MADV_HUGEPAGE); // only advice: without it the block is just slower to fill
#endif
    }
    if (p == nullptr)
        throw std::bad_alloc();
    return ModelBlock(static_cast<uint8_t*>(p));
}
