#include "FileIo.h"

#include "SharedAccess.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::io {

namespace {

std::function<void(const IoEvent &)> &observer()
{
    static std::function<void(const IoEvent &)> o;
    return o;
}

std::function<int(const IoEvent &)> &fault()
{
    static std::function<int(const IoEvent &)> f;
    return f;
}

// Tells the observer and asks the test's fault hook; returns the error number
// the step is to fail with, 0 normally.
int notify(IoEvent::Kind kind, const QString &path, qint64 offset, qint64 size)
{
    if (!observer() && !fault())
        return 0;
    const IoEvent event{kind, path, offset, size};
    if (observer())
        observer()(event);
    return fault() ? fault()(event) : 0;
}

} // namespace

void syncFolder(const QString &file)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString systemReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("Auf dem Datenträger ist nicht genug Platz");
    case EDQUOT:
        return QStringLiteral("Der zugeteilte Speicherplatz (Quota) ist erschöpft");
    case EFBIG:
        return QStringLiteral("Die Datei würde größer, als das System erlaubt");
    case EACCES:
    case EPERM:
        return QStringLiteral("Zugriff verweigert (fehlende Berechtigung)");
    case EROFS:
        return QStringLiteral("Der Datenträger ist schreibgeschützt");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler des Datenträgers");
    case ENAMETOOLONG:
        return QStringLiteral("Der Dateiname oder Pfad ist länger, als das System erlaubt");
    case ENOENT:
        return QStringLiteral("Die Datei oder der Ordner existiert nicht");
    case ENOTDIR:
        return QStringLiteral("Ein Teil des Pfades ist kein Ordner");
    case EISDIR:
        return QStringLiteral("Am Ziel steht ein Ordner");
    case EEXIST:
        return QStringLiteral("Die Datei existiert bereits");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("Die Datei ist in Benutzung");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Es sind zu viele Dateien geöffnet");
    case ENOMEM:
        return QStringLiteral("Der Arbeitsspeicher reicht nicht aus");
    case EXDEV:
        return QStringLiteral("Ziel und Hilfsdatei liegen auf verschiedenen Datenträgern");
    case ELOOP:
        return QStringLiteral("Der Pfad enthält zu viele symbolische Verknüpfungen");
    case ESTALE:
        return QStringLiteral("Die Netzwerkdatei ist nicht mehr gültig");
    default:
        return QStringLiteral("Systemfehler Nr. %1").arg(error);
    }
}

void setIoObserver(std::function<void(const IoEvent &)> o)
{
    observer() = std::move(o);
}

void setIoFault(std::function<int(const IoEvent &)> f)
{
    fault() = std::move(f);
}

int renameFile(const QString &from, const QString &to)
{
    if (const int injected = notify(IoEvent::Rename, to, 0, 0))
        return injected;
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return errno;
    syncFolder(to);
    return 0;
}

int removeFile(const QString &path)
{
    if (const int injected = notify(IoEvent::Remove, path, 0, 0))
        return injected;
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        return errno;
    return 0;
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
    if (const int injected = notify(IoEvent::Write, path, offset, size))
        throw ioError(QStringLiteral("Das Schreiben in"), path, injected);
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
    if (const int injected = notify(IoEvent::Sync, path, 0, 0))
        throw ioError(QStringLiteral("Das Sichern von"), path, injected);
    while (::fdatasync(fd) != 0) {
        if (errno != EINTR)
            throw ioError(QStringLiteral("Das Sichern von"), path, errno);
    }
}

void syncDataTogether(const std::vector<std::pair<int, QString>> &files)
{
    std::vector<std::exception_ptr> errors(files.size());
    const auto syncOne = [&](size_t i) {
        try {
            int fd = files[i].first;
            const bool own = fd < 0;
            if (own) {
                fd = ::open(QFile::encodeName(files[i].second).constData(), O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    throw ioError(QStringLiteral("Öffnen"), files[i].second, errno);
            }
            struct Closer {
                int fd;
                bool own;
                ~Closer()
                {
                    if (own)
                        ::close(fd);
                }
            } closer{fd, own};
            syncData(fd, files[i].second);
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (size_t i = 1; i < files.size(); ++i)
        threads.emplace_back(syncOne, i);
    if (!files.empty())
        syncOne(0);
    for (std::thread &t : threads)
        t.join();
    for (const std::exception_ptr &e : errors) {
        if (e)
            std::rethrow_exception(e);
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
    const auto refuse = [&](int error) {
        removeFile(temporary);
        return EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 lässt sich nicht ersetzen: %2; sie ist unverändert.")
                                              .arg(nativePath(target), systemReason(error)));
    };
    // Writers that went through a library may not have synced: the content
    // must be on the disk before the name points at it.
    const int fd = ::open(QFile::encodeName(temporary).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        int error = notify(IoEvent::Sync, temporary, 0, 0);
        if (!error && ::fsync(fd) != 0)
            error = errno;
        ::close(fd);
        if (error)
            throw refuse(error);
    }
    if (const int error = renameFile(temporary, target))
        throw refuse(error);
}

QString partPathFor(const QString &path, const QString &extension)
{
    const QFileInfo info(path);
    return info.absoluteDir().filePath(QStringLiteral(".%1.%2%3%4")
                                           .arg(info.fileName())
                                           .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))
                                           .arg(QLatin1String(PartMark), extension));
}

EngineError namingTarget(const EngineError &error, const QString &part, const QString &target)
{
    QString message = error.message();
    message.replace(nativePath(part), nativePath(target));
    return EngineError(error.kind(), message);
}

PartWriter::PartWriter(const QString &part, const QString &target) : m_target(target)
{
    m_fd = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0)
        throw ioError(QStringLiteral("Das Anlegen von"), target, errno);
}

PartWriter::~PartWriter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void PartWriter::write(const char *data, qint64 size)
{
    pwriteFully(m_fd, data, size, m_size, m_target);
    m_size += size;
}

void PartWriter::finish()
{
    syncData(m_fd, m_target);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        throw ioError(QStringLiteral("Das Schreiben in"), m_target, errno);
}

void writeFileSafely(const QString &path, int mode, const std::function<void(const ByteSink &)> &produce)
{
    const QFileInfo info(path);
    auto fail = [&](const QString &what, int err) {
        return EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 konnte nicht geschrieben werden (%2: %3); sie ist unverändert.")
                                              .arg(nativePath(path), what, systemReason(err)));
    };
    QString temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temporary = partPathFor(info.absoluteFilePath());
        fd = ::open(QFile::encodeName(temporary).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw fail(QStringLiteral("Hilfsdatei anlegen"), errno);
    // Held while the file is written, so that a sweep of left-over part files
    // knows its writer is still there.
    tryLockForever(fd, true);
    const QByteArray local = QFile::encodeName(temporary);
    struct WriteFailed { const char *what; int err; };
    try {
        if (mode < 0) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::fchmod(fd, mode_t(mode)) != 0)
            throw WriteFailed{"Rechte setzen", errno};
        produce([fd, &temporary](const char *p, qint64 left) {
            if (const int injected = notify(IoEvent::Write, temporary, 0, left))
                throw WriteFailed{"Schreiben", injected};
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
        if (const int injected = notify(IoEvent::Sync, temporary, 0, 0))
            throw WriteFailed{"Sichern auf den Datenträger", injected};
        if (::fsync(fd) != 0)
            throw WriteFailed{"Sichern auf den Datenträger", errno};
    } catch (const WriteFailed &w) {
        ::close(fd);
        ::unlink(local.constData());
        throw fail(QString::fromUtf8(w.what), w.err);
    } catch (...) {
        ::close(fd);
        ::unlink(local.constData());
        throw;
    }
    if (const int error = renameFile(temporary, info.absoluteFilePath())) {
        ::close(fd);
        ::unlink(local.constData());
        throw fail(QStringLiteral("Umbenennen"), error);
    }
    ::close(fd);
}

} // namespace engine::io
