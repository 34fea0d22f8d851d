#include "tools/morv-eval/WorkDirLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

WorkDirLock::~WorkDirLock()
{
    Release();
}

void WorkDirLock::Release()
{
    if (fd >= 0)
        ::close(fd); // closing the descriptor drops the flock
    fd = -1;
}

bool WorkDirLock::Take(const std::string& dir, std::string* error)
{
    Release();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        if (error != nullptr)
            *error = "cannot use the work directory " + dir + ": " +
                     (ec ? ec.message() : std::string("not a directory"));
        return false;
    }
    const std::string path = (fs::path(dir) / "morv-eval.lock").string();
    const int f = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (f < 0) {
        if (error != nullptr)
            *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(f);
        if (error != nullptr)
            *error = e == EWOULDBLOCK ? "the work directory " + dir +
                                            " is in use by another run: give each run its own --work"
                                      : "cannot lock " + path + ": " + std::strerror(e);
        return false;
    }
    fd = f;
    return true;
}
