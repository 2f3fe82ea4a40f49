#include "SharedAccess.h"

#include "FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::io {

namespace {

constexpr std::chrono::milliseconds DefaultBound {3000};
std::atomic<qint64> g_bound {DefaultBound.count()};

#ifdef F_OFD_SETLK
constexpr int OfdSet = F_OFD_SETLK;
constexpr int OfdGet = F_OFD_GETLK;
#else
constexpr int OfdSet = F_SETLK;
constexpr int OfdGet = F_GETLK;
#endif

int setLock(int fd, int command, short type)
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

// Never a blocking wait: the lock is tried again with growing pauses until the
// bound has passed, so no change can hang the program on another one's lock.
template <typename Try>
bool retryUntil(std::chrono::milliseconds bound, Try attempt)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + bound;
    std::chrono::milliseconds pause {2};
    for (;;) {
        if (attempt())
            return true;
        const auto now = clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        QThread::msleep(quint64(std::max<qint64>(1, std::min(pause, left).count())));
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

bool busy(int error)
{
    return error == EAGAIN || error == EACCES;
}

} // namespace

std::chrono::milliseconds lockWaitBound()
{
    return std::chrono::milliseconds(g_bound.load());
}

void setLockWaitBound(std::chrono::milliseconds bound)
{
    g_bound.store(bound.count() > 0 ? bound.count() : DefaultBound.count());
}

FileLock::FileLock(int fd, const QString &path) : m_fd(fd)
{
    int failure = 0;
    const bool got = retryUntil(lockWaitBound(), [&] {
        if (setLock(fd, m_ofd ? OfdSet : F_SETLK, F_WRLCK) == 0)
            return true;
        failure = errno;
        if (failure == EINVAL && m_ofd) {
            // A kernel without open file description locks: classic ones then.
            m_ofd = false;
            if (setLock(fd, F_SETLK, F_WRLCK) == 0)
                return true;
            failure = errno;
        }
        if (!busy(failure))
            throw ioError(QStringLiteral("Das Sperren von"), path, failure);
        return false;
    });
    if (!got)
        throw lockTimedOut(path);
}

FileLock::~FileLock()
{
    setLock(m_fd, m_ofd ? OfdSet : F_SETLK, F_UNLCK);
}

int openLockedFile(const QString &path, const QString &shown, const QString &doing, std::unique_ptr<FileLock> &lock)
{
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0;; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            throw ioError(doing, shown, errno);
        try {
            lock = std::make_unique<FileLock>(fd, shown);
        } catch (...) {
            ::close(fd);
            throw;
        }
        struct stat open {}, named {};
        const bool same = ::fstat(fd, &open) == 0 && ::stat(name.constData(), &named) == 0 && open.st_dev == named.st_dev &&
                          open.st_ino == named.st_ino;
        if (same || attempt == 8)
            return fd;
        lock.reset();
        ::close(fd);
    }
}

SharedFileLock::SharedFileLock(const QString &path)
{
    const QFileInfo info(path);
    m_lockPath = info.dir().filePath(QLatin1Char('.') + info.fileName() + QLatin1String(LockMark));
    m_fd = openLockedFile(m_lockPath, info.absoluteFilePath(), QStringLiteral("Das Sperren von"), m_lock);
}

SharedFileLock::~SharedFileLock()
{
    // Removed while still locked: whoever opened it meanwhile finds the name gone
    // after taking the lock and opens a new one.
    ::unlink(QFile::encodeName(m_lockPath).constData());
    m_lock.reset();
    ::close(m_fd);
}

bool tryLockForever(int fd, bool write)
{
    if (setLock(fd, OfdSet, write ? F_WRLCK : F_RDLCK) == 0)
        return true;
    if (errno == EINVAL)
        return setLock(fd, F_SETLK, write ? F_WRLCK : F_RDLCK) == 0;
    return false;
}

bool heldByOther(int fd, std::chrono::milliseconds wait)
{
    const auto free = [fd] {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        int rc = ::fcntl(fd, OfdGet, &fl);
        if (rc != 0 && errno == EINVAL) {
            fl = {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            rc = ::fcntl(fd, F_GETLK, &fl);
        }
        // A file that cannot be asked is treated as free; the change will tell.
        return rc != 0 || fl.l_type == F_UNLCK;
    };
    return !retryUntil(wait, free);
}

QString claimAccess(int fd, const QString &path, bool readOnly, bool exclusive, bool writable)
{
    if (exclusive) {
        if (!tryLockForever(fd, writable))
            throw inUseByOther(path);
    }
    if (readOnly)
        return QStringLiteral("Die Tabelle ist schreibgeschützt geöffnet.");
    if (!writable)
        return QStringLiteral("Die Datei %1 ist schreibgeschützt.").arg(nativePath(path));
    // A table another program keeps for itself could only be changed by waiting
    // on its lock: say so now rather than at the first change.
    if (!exclusive && heldByOther(fd, OpenLockProbe))
        return heldExclusivelyReason(path);
    return QString();
}

EngineError inUseByOther(const QString &path)
{
    return EngineError(ErrorKind::Locked, QStringLiteral("Die Tabelle %1 wird gerade von einem anderen Programm benutzt und "
                                                         "kann nicht exklusiv geöffnet werden.")
                                              .arg(nativePath(path)));
}

EngineError lockTimedOut(const QString &path)
{
    return EngineError(ErrorKind::Locked,
                       QStringLiteral("Die Tabelle %1 ist von einem anderen Programm gesperrt; nach %2 Sekunden Warten "
                                      "wurde die Änderung nicht gespeichert. Bitte später noch einmal versuchen.")
                           .arg(nativePath(path))
                           .arg(qMax<qint64>(1, (lockWaitBound().count() + 999) / 1000)));
}

QString heldExclusivelyReason(const QString &path)
{
    return QStringLiteral("Die Tabelle %1 ist von einem anderen Programm exklusiv geöffnet; sie kann nur gelesen werden.")
        .arg(nativePath(path));
}

EngineError recordChangedByOther()
{
    return EngineError(ErrorKind::ChangedByOther,
                       QStringLiteral("Der Datensatz wurde inzwischen von einem anderen Programm geändert; die "
                                      "Änderung wurde nicht gespeichert. Bitte die Daten neu lesen."));
}

EngineError recordDeletedByOther()
{
    return EngineError(ErrorKind::ChangedByOther,
                       QStringLiteral("Der Datensatz wurde inzwischen von einem anderen Programm gelöscht."));
}

EngineError structureChangedByOther(const QString &path)
{
    return EngineError(ErrorKind::ChangedByOther, QStringLiteral("Der Aufbau der Tabelle %1 wurde von einem anderen Programm "
                                                                 "verändert; bitte die Tabelle neu öffnen.")
                                                      .arg(nativePath(path)));
}

EngineError shrunkByOther(const QString &path)
{
    return EngineError(ErrorKind::ChangedByOther, QStringLiteral("Die Tabelle %1 wurde von einem anderen Programm verkleinert; "
                                                                 "bitte die Tabelle neu öffnen.")
                                                      .arg(nativePath(path)));
}

} // namespace engine::io
