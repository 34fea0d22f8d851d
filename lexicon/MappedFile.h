#ifndef MORV_MAPPEDFILE_H
#define MORV_MAPPEDFILE_H

#include <cstddef>
#include <cstdint>

// A model file's bytes, mapped read-only for the length of a load. A loader
// that would read a file into a scratch array only to rearrange it reads the
// mapping instead: the bytes come straight from the page cache, without the
// fresh, zeroed memory and the copy a read needs. Files are replaced by rename,
// never rewritten in place, so a mapping stays whole while it is read.
class MappedFile {
public:
    explicit MappedFile(const char* path);
    virtual ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // False when the path is no readable regular file or cannot be mapped;
    // std::bad_alloc when the address space has no room for it.
    bool IsOpen() const { return open; }
    // The file's bytes (null for an empty file) and their count.
    const uint8_t* Data() const { return data; }
    size_t Size() const { return size; }

private:
    bool open = false;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

#endif
