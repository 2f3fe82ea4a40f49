#include "DbfIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::dbase {

EngineError ioError(const QString &what, const QString &path, int error)
{
    return EngineError(QStringLiteral("%1 %2 ist fehlgeschlagen: %3")
                           .arg(what, nativePath(path), QString::fromLocal8Bit(strerror(error))));
}

qint64 preadFully(int fd, void *buffer, qint64 size, qint64 offset, const QString &path)
{
    auto *out = static_cast<char *>(buffer);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, out + done, size_t(size - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ioError(QStringLiteral("Das Lesen von"), path, errno);
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

void pwriteFully(int fd, const void *buffer, qint64 size, qint64 offset, const QString &path)
{
    const auto *in = static_cast<const char *>(buffer);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, in + done, size_t(size - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ioError(QStringLiteral("Das Schreiben in"), path, errno);
        }
        done += n;
    }
}

void syncData(int fd, const QString &path)
{
    while (::fdatasync(fd) != 0) {
        if (errno != EINTR)
            throw ioError(QStringLiteral("Das Sichern von"), path, errno);
    }
}

qint64 fileSize(int fd, const QString &path)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw ioError(QStringLiteral("Das Abfragen von"), path, errno);
    return qint64(st.st_size);
}

static int lockCommand(bool wait)
{
#ifdef F_OFD_SETLKW
    return wait ? F_OFD_SETLKW : F_OFD_SETLK;
#else
    return wait ? F_SETLKW : F_SETLK;
#endif
}

static int setLock(int fd, int command, short type)
{
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    fl.l_pid = 0;
    int rc;
    do {
        rc = ::fcntl(fd, command, &fl);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

FileLock::FileLock(int fd, const QString &path) : m_fd(fd), m_command(lockCommand(true))
{
    if (setLock(fd, m_command, F_WRLCK) == 0)
        return;
    if (errno == EINVAL && m_command != F_SETLKW) {
        // A kernel without open file description locks: fall back to classic ones.
        m_command = F_SETLKW;
        if (setLock(fd, m_command, F_WRLCK) == 0)
            return;
    }
    throw ioError(QStringLiteral("Das Sperren von"), path, errno);
}

FileLock::~FileLock()
{
    setLock(m_fd, m_command == F_SETLKW ? F_SETLK : lockCommand(false), F_UNLCK);
}

bool tryLockForever(int fd, bool write)
{
    if (setLock(fd, lockCommand(false), write ? F_WRLCK : F_RDLCK) == 0)
        return true;
    if (errno == EINVAL)
        return setLock(fd, F_SETLK, write ? F_WRLCK : F_RDLCK) == 0;
    return false;
}

} // namespace engine::dbase
