#ifndef MORV_FUZZ_FUZZINPUT_H
#define MORV_FUZZ_FUZZINPUT_H

// Shared by the loader fuzz targets: every target writes its input to a file of
// its own (one per process, so parallel fuzzing jobs do not collide) and hands
// that path to the loader under test.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzinput {

inline std::string TempPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = (dir != nullptr && *dir != 0) ? dir : "/tmp";
    path += "/morv-fuzz-";
    path += name;
    path += "-" + std::to_string(static_cast<long>(getpid()));
    return path;
}

// Writes `data`, then `more` if given, as the whole content of `path`.
inline void WriteAll(const std::string& path, const void* data, size_t size, const void* more = nullptr,
                     size_t moreSize = 0)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    if (moreSize > 0 && std::fwrite(more, 1, moreSize, f) != moreSize)
        std::abort();
    std::fclose(f);
}

inline int32_t Int32At(const uint8_t* data, size_t size, size_t offset)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= uint32_t(offset + i < size ? data[offset + i] : 0) << (8 * i);
    return static_cast<int32_t>(v);
}

} // namespace fuzzinput

#endif
