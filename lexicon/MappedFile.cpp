#include "lexicon/MappedFile.h"

#include <cerrno>
#include <new>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::MappedFile(const char* path)
{
    if (path == nullptr)
        return;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    // A directory (or a device) is no model file.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0) {
        const size_t bytes = static_cast<size_t>(st.st_size);
        if (bytes == 0) {
            open = true;
        } else {
            // Populated at once: one call maps every page instead of a fault per page.
            void* p = ::mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
            if (p == MAP_FAILED && errno == ENOMEM) {
                // No room for the mapping says nothing about the file: it is
                // memory that cannot be had, as for any allocation.
                ::close(fd);
                throw std::bad_alloc();
            }
            if (p != MAP_FAILED) {
                data = static_cast<const uint8_t*>(p);
                size = bytes;
                open = true;
            }
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (data != nullptr)
        ::munmap(const_cast<uint8_t*>(data), size);
}
