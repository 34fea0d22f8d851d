#ifndef MORV_BINARYFILE_H
#define MORV_BINARYFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// A model file opened for block reads or writes, closed on destruction.
// Model files are little-endian; this engine targets little-endian hosts only.
class BinaryFile {
public:
    BinaryFile(const char* path, const char* mode);
    virtual ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    bool IsOpen() const { return file != nullptr; }
    // Size of the file in bytes, -1 when it cannot be determined.
    int64_t Size() const { return size; }
    // Bytes left after the current read position (0 when the size is unknown).
    int64_t Remaining() const;

    // Reads up to `bytes` bytes; returns how many arrived. A short read is not an error.
    size_t Read(void* dst, size_t bytes);
    bool Write(const void* src, size_t bytes);
    // Closes the file; false when buffered data could not be written.
    bool Close();

    // Whether a header that announces `count` records of `recordBytes` each can be
    // right for a file with `available` bytes left. Loaders keep the tolerance for
    // short (truncated) files: missing records read as their preset empty values.
    // But a header may promise at most twice what the file still holds plus 64 KiB;
    // beyond that it is damage, and loading it would mean allocating memory that no
    // file of this size could fill.
    static bool PlausibleCount(int64_t count, int64_t recordBytes, int64_t available);

    // The whole of a small model file, for loaders that check it before they
    // take any of it; false when it cannot be read or holds more than `limit`
    // bytes (no valid file is that large, so nothing more is read).
    static bool ReadAll(const char* path, size_t limit, std::vector<unsigned char>& bytes);

    // A whole file of a 16-byte header (4 magic bytes, then u32 version, u32
    // record count and a u32 0) and exactly `count` records of `recordBytes`
    // each, minCount <= count <= maxCount; false for anything else. The
    // records start at byte 16 of `bytes`.
    static constexpr size_t kRecordHeaderBytes = 16;
    static bool ReadRecords(const char* path, const char magic[4], uint32_t version, uint32_t maxCount,
                            size_t recordBytes, std::vector<unsigned char>& bytes, uint32_t& count,
                            uint32_t minCount = 1);
    // The little-endian u32 at p (the model files' byte order).
    static uint32_t U32At(const unsigned char* p)
    {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

private:
    FILE* file = nullptr;
    int64_t size = -1;
    int64_t position = 0;
};

#endif
