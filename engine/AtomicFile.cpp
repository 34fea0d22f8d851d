#include "engine/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's file-creation mask, read without changing it (umask() would,
// for a moment, for every thread).
mode_t CurrentUmask()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    mode_t mask = 022;
    if (status == nullptr)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
            break;
        }
    }
    std::fclose(status);
    return mask;
}

} // namespace

AtomicFile::~AtomicFile()
{
    Abort();
}

bool AtomicFile::Open(const std::string& path)
{
    Abort();
    target = path;
    writeFailed = false;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        direct = true;
        writePath = path;
        file = std::fopen(path.c_str(), "wb");
        pending = file != nullptr;
        return file != nullptr;
    }
    direct = false;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + name + ".tmp-XXXXXX";
    const int fd = ::mkstemp(&pattern[0]);
    if (fd < 0)
        return false;
    // The new file gets the old one's permissions, or those a plain create would give.
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
    if (::fchmod(fd, mode) != 0) {
        // Not fatal: the content matters more than the mode bits.
    }
    file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int saved = errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        errno = saved;
        return false;
    }
    writePath = pattern;
    pending = true;
    return true;
}

bool AtomicFile::CloseStream()
{
    if (file == nullptr)
        return !writeFailed;
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    if (ok && !direct && ::fsync(fileno(file)) != 0)
        ok = false;
    const int saved = errno;
    if (std::fclose(file) != 0)
        ok = false;
    else
        errno = saved;
    file = nullptr;
    if (!ok)
        writeFailed = true;
    return ok;
}

bool AtomicFile::Commit()
{
    if (!pending) {
        errno = EBADF;
        return false;
    }
    if (!CloseStream()) {
        const int saved = errno;
        Abort();
        errno = saved;
        return false;
    }
    pending = false;
    if (direct)
        return true;
    if (std::rename(writePath.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(writePath.c_str());
        errno = saved;
        return false;
    }
    return true;
}

void AtomicFile::Abort()
{
    if (file != nullptr) {
        std::fclose(file);
        file = nullptr;
    }
    if (pending && !direct)
        ::unlink(writePath.c_str());
    pending = false;
}
