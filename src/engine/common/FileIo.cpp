#include "FileIo.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::io {

namespace {

std::function<void(const IoEvent &)> &observer()
{
    static std::function<void(const IoEvent &)> o;
    return o;
}

void notify(IoEvent::Kind kind, const QString &path, qint64 offset, qint64 size)
{
    if (observer())
        observer()(IoEvent{kind, path, offset, size});
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

void syncFolder(const QString &file)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void setIoObserver(std::function<void(const IoEvent &)> o)
{
    observer() = std::move(o);
}

EngineError ioError(const QString &what, const QString &path, int error)
{
    const ErrorKind kind = error == ENOENT || error == ENOTDIR ? ErrorKind::NotFound : ErrorKind::Io;
    return EngineError(kind, QStringLiteral("%1 %2 ist fehlgeschlagen: %3").arg(what, nativePath(path), systemReason(error)));
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
    notify(IoEvent::Write, path, offset, size);
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
    notify(IoEvent::Sync, path, 0, 0);
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

QString baseNameOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString companionEntry(const QStringList &entries, const QString &base, const QString &ext)
{
    const QString wanted = base + ext;
    QString found;
    for (const QString &entry : entries) {
        if (entry.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        if (entry.startsWith(base))
            return entry;
        if (found.isEmpty())
            found = entry;
    }
    return found;
}

int openTableFile(const QString &path, bool readOnly, bool &writable)
{
    const QByteArray local = QFile::encodeName(path);
    writable = !readOnly;
    int fd = ::open(local.constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0 && writable && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        throw ioError(QStringLiteral("Das Öffnen der Tabelle"), path, errno);
    return fd;
}

void renameInto(const QString &temporary, const QString &target)
{
    // Writers that went through a library may not have synced: the content
    // must be on the disk before the name points at it.
    const int fd = ::open(QFile::encodeName(temporary).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        notify(IoEvent::Sync, temporary, 0, 0);
        ::fsync(fd);
        ::close(fd);
    }
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        ::unlink(QFile::encodeName(temporary).constData());
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 lässt sich nicht ersetzen: %2; sie ist unverändert.")
                                             .arg(nativePath(target), systemReason(error)));
    }
    // The new name must reach the disk too.
    syncFolder(target);
}

void writeFileSafely(const QString &path, int mode, const std::function<void(const ByteSink &)> &produce)
{
    const QFileInfo info(path);
    QByteArray tmpl = QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    auto fail = [&](const QString &what, int err) {
        return EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 konnte nicht geschrieben werden (%2: %3); sie ist unverändert.")
                                              .arg(nativePath(path), what, systemReason(err)));
    };
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        throw fail(QStringLiteral("Hilfsdatei anlegen"), errno);
    const QString temporary = QFile::decodeName(tmpl);
    struct WriteFailed { const char *what; int err; };
    try {
        if (mode < 0) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::fchmod(fd, mode_t(mode)) != 0)
            throw WriteFailed{"Rechte setzen", errno};
        produce([fd](const char *p, qint64 left) {
            while (left > 0) {
                const ssize_t n = ::write(fd, p, size_t(std::min<qint64>(left, 1 << 20)));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    throw WriteFailed{"Schreiben", n < 0 ? errno : ENOSPC};
                p += n;
                left -= n;
            }
        });
        notify(IoEvent::Sync, temporary, 0, 0);
        if (::fsync(fd) != 0)
            throw WriteFailed{"Sichern auf den Datenträger", errno};
    } catch (const WriteFailed &w) {
        ::close(fd);
        ::unlink(tmpl.constData());
        throw fail(QString::fromUtf8(w.what), w.err);
    } catch (...) {
        ::close(fd);
        ::unlink(tmpl.constData());
        throw;
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpl.constData());
        throw fail(QStringLiteral("Schließen"), err);
    }
    renameInto(temporary, info.absoluteFilePath());
}

} // namespace engine::io
