#ifndef MORV_ATOMICFILE_H
#define MORV_ATOMICFILE_H

#include <cstdio>
#include <string>

// Replaces a file only once its new content is complete: the content goes to a
// temporary file in the target's directory, which Commit flushes to the disk and
// renames over the target. Until then, and after any failure, the old file stays
// as it was. A target that exists but is no regular file (a device such as
// /dev/null, a FIFO) cannot be replaced; it is written directly.
class AtomicFile {
public:
    AtomicFile() = default;
    virtual ~AtomicFile(); // removes an uncommitted temporary file
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file (binary mode). False with errno set when it
    // cannot be created.
    bool Open(const std::string& target);
    std::FILE* File() const { return file; }
    // The path being written: the temporary file, or the target written directly.
    const std::string& WritePath() const { return writePath; }
    // Closes the stream, if still open, without committing.
    bool CloseStream();
    // Flushes, closes and renames; false (errno set) when any write, the close or
    // the rename failed: the target then keeps its old content.
    bool Commit();
    // Removes the temporary file; the target keeps its old content.
    void Abort();

private:
    std::FILE* file = nullptr;
    std::string target;
    std::string writePath;
    bool direct = false;
    bool pending = false;
    bool writeFailed = false;
};

#endif
