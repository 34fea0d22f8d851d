#include "ZelkLog.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder of the user's own, not a link planted by another.
bool IsOwnDirectory(const QString& dir)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

} // namespace

ZelkLog::~ZelkLog()
{
    Close();
}

ZelkLog& ZelkLog::Current()
{
    static ZelkLog log;
    return log;
}

bool ZelkLog::Open(const QStringList& paths)
{
    Close();
    for (const QString& candidate : paths) {
        if (candidate.isEmpty())
            continue;
        const QByteArray name = QFile::encodeName(candidate);
        // O_NOFOLLOW: a link in its place is refused, not written through;
        // O_NONBLOCK: a FIFO without a reader fails instead of blocking.
        const int f = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (f < 0)
            continue;
        struct stat st {};
        // Another name for the same file would have it emptied behind its back.
        if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ::ftruncate(f, 0) != 0) {
            ::close(f);
            continue;
        }
        ::fcntl(f, F_SETFL, ::fcntl(f, F_GETFL) & ~O_NONBLOCK);
        fd = f;
        path = candidate;
        return true;
    }
    return false;
}

void ZelkLog::Close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    path.clear();
}

void ZelkLog::Write(const QString& line)
{
    if (fd < 0)
        return;
    const QByteArray bytes = line.toUtf8() + '\n';
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a full disk loses the log line, never the session
        p += n;
        left -= n;
    }
    ::fsync(fd);
}

QString ZelkLog::PrivateDir()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty()) {
        const QString dir = cache + QStringLiteral("/zelk");
        if (QDir().mkpath(dir) && IsOwnDirectory(dir))
            return dir;
    }
    const QString dir = QDir::tempPath() + QStringLiteral("/zelk-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
    return IsOwnDirectory(dir) ? dir : QString();
}
