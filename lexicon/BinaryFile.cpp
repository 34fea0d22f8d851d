#include "lexicon/BinaryFile.h"

#include <cstring>

#include <sys/stat.h>

BinaryFile::BinaryFile(const char* path, const char* mode)
{
    if (path == nullptr || mode == nullptr)
        return;
    file = std::fopen(path, mode);
    if (file == nullptr)
        return;
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        // A directory (or a device) is no model file.
        std::fclose(file);
        file = nullptr;
        return;
    }
    size = static_cast<int64_t>(st.st_size);
}

BinaryFile::~BinaryFile()
{
    Close();
}

int64_t BinaryFile::Remaining() const
{
    if (size < 0 || position >= size)
        return 0;
    return size - position;
}

size_t BinaryFile::Read(void* dst, size_t bytes)
{
    if (file == nullptr || bytes == 0)
        return 0;
    size_t got = std::fread(dst, 1, bytes, file);
    position += static_cast<int64_t>(got);
    return got;
}

bool BinaryFile::Write(const void* src, size_t bytes)
{
    if (file == nullptr)
        return false;
    if (bytes == 0)
        return true;
    size_t put = std::fwrite(src, 1, bytes, file);
    position += static_cast<int64_t>(put);
    return put == bytes;
}

bool BinaryFile::Close()
{
    if (file == nullptr)
        return true;
    bool ok = std::fclose(file) == 0;
    file = nullptr;
    return ok;
}

bool BinaryFile::PlausibleCount(int64_t count, int64_t recordBytes, int64_t available)
{
    if (count < 0 || recordBytes <= 0 || available < 0)
        return false;
    const int64_t kSlack = 64 * 1024;
    const int64_t limit = 2 * available + kSlack;
    return count <= limit / recordBytes;
}

bool BinaryFile::ReadAll(const char* path, size_t limit, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    BinaryFile in(path, "rb");
    if (!in.IsOpen() || in.Size() < 0 || static_cast<uint64_t>(in.Size()) > limit)
        return false;
    bytes.resize(static_cast<size_t>(in.Size()));
    if (in.Read(bytes.data(), bytes.size()) != bytes.size()) {
        bytes.clear();
        return false;
    }
    // A file that grew while it was read is not the file that was measured.
    unsigned char more;
    return in.Read(&more, 1) == 0;
}

bool BinaryFile::ReadRecords(const char* path, const char magic[4], uint32_t version, uint32_t maxCount,
                             size_t recordBytes, std::vector<unsigned char>& bytes, uint32_t& count, uint32_t minCount)
{
    if (path == nullptr)
        return false;
    const auto u32 = [&bytes](size_t at) { return U32At(&bytes[at]); };
    // The largest valid file: the header and maxCount records.
    const size_t limit = kRecordHeaderBytes + static_cast<size_t>(maxCount) * recordBytes;
    if (!ReadAll(path, limit, bytes) || bytes.size() < kRecordHeaderBytes || std::memcmp(bytes.data(), magic, 4) != 0 ||
        u32(4) != version || u32(12) != 0)
        return false;
    count = u32(8);
    return count >= minCount && count <= maxCount && bytes.size() == kRecordHeaderBytes + static_cast<size_t>(count) * recordBytes;
}
