#ifndef MORV_MODELBLOCK_H
#define MORV_MODELBLOCK_H

#include <cstddef>
#include <cstdint>
#include <memory>

// One block of memory for all of a model's arrays, read straight into place by
// its loader. This environment (a virtual machine) pays about 15 microseconds
// for every 4 KiB page a process touches first; a block of 2 MiB or more is
// asked to use 2 MiB pages, which keeps the load of a model of a few megabytes
// to a few milliseconds. Unlike the models' vectors (HugePageAllocator), whose
// tails take small pages, a block is rounded up to whole 2 MiB pages: it is
// written whole during its load, and one fault for its tail costs less than
// the hundreds of small ones (measured: about 5 ms more per load with small
// tails, for 5 MB less memory with the new stages).
struct ModelBlockFree {
    void operator()(uint8_t* p) const;
};
using ModelBlock = std::unique_ptr<uint8_t, ModelBlockFree>;

// std::bad_alloc when the memory cannot be had, as for any allocation: a
// loader that asks for a block has already found its file sound. Never a
// null block, even for 0 bytes.
ModelBlock AllocateModelBlock(size_t bytes);

#endif
