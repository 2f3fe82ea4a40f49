#include "Journal.h"

#include "Bytes.h"
#include "EngineError.h"
#include "FileIo.h"
#include "SharedAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::io {

namespace {

constexpr char Magic[] = "BRISVELJ";
constexpr int MagicSize = 8;
constexpr quint32 Version = 1;
constexpr int HashSize = 32;

enum Kind : quint8 { Replace = 1, Remove = 2, Length = 3, Before = 4 };

QByteArray local(const QString &path)
{
    return QFile::encodeName(path);
}

// A descriptor closed when the scope ends.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

bool sameFile(int fd, const QString &path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::stat(local(path).constData(), &named) == 0 && open.st_dev == named.st_dev
           && open.st_ino == named.st_ino;
}

bool exists(const QString &path)
{
    struct stat st {};
    return ::lstat(local(path).constData(), &st) == 0;
}

// The table whose journal guards a part file: ".<table>.<random>.brisvel-part..."
QString tableOfPart(const QString &entry)
{
    const qsizetype mark = entry.indexOf(QLatin1String(PartMark));
    if (!entry.startsWith(QLatin1Char('.')) || mark < 2)
        return QString();
    const QString head = entry.mid(1, mark - 1);
    const qsizetype dot = head.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? head.left(dot) : QString();
}

// A writer at work holds a lock on its journal or on the part file itself.
bool writerAtWork(const QString &file)
{
    const Fd fd(::open(local(file).constData(), O_RDONLY | O_CLOEXEC));
    return fd.fd >= 0 && heldByOther(fd.fd, std::chrono::milliseconds(0));
}

// Removes the part files in folder (of one table, or of all when table is
// empty) whose writer is gone. With the table's journal locked by the caller only
// the parts' own locks count.
void removeStaleParts(const QString &folder, const QString &table, bool journalHeld = false)
{
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const QString owner = tableOfPart(entry);
        if (owner.isEmpty() || (!table.isEmpty() && owner != table))
            continue;
        const QString journal = dir.filePath(QLatin1Char('.') + owner + QLatin1String(JournalMark));
        if (writerAtWork(dir.filePath(entry)) || (!journalHeld && exists(journal) && writerAtWork(journal)))
            continue;
        removeFile(dir.filePath(entry));
    }
}

void writeBack(const QString &file, qint64 offset, const QByteArray &bytes)
{
    const Fd fd(::open(local(file).constData(), O_RDWR | O_CLOEXEC));
    if (fd.fd < 0)
        throw ioError(QStringLiteral("Das Öffnen von"), file, errno);
    pwriteFully(fd.fd, bytes.constData(), bytes.size(), offset, file);
    syncData(fd.fd, file);
}

void cutTo(const QString &file, qint64 length)
{
    const Fd fd(::open(local(file).constData(), O_RDWR | O_CLOEXEC));
    if (fd.fd < 0)
        throw ioError(QStringLiteral("Das Öffnen von"), file, errno);
    if (fileSize(fd.fd, file) > length && ::ftruncate(fd.fd, off_t(length)) != 0)
        throw ioError(QStringLiteral("Das Kürzen von"), file, errno);
    syncData(fd.fd, file);
}

EngineError unfinished(const QString &table, int error)
{
    return EngineError(ErrorKind::Io, QStringLiteral("Eine abgebrochene Änderung an der Tabelle %1 ließ sich nicht "
                                                     "abschließen: %2. Die Tabelle bleibt unverändert, bis der Fehler "
                                                     "behoben ist.")
                                          .arg(nativePath(table), systemReason(error)));
}

} // namespace

struct Journal::Entry {
    Kind kind;
    QString file;   // a name in the table's folder
    QString target; // Replace: the name the file gets
    qint64 offset = 0;
    QByteArray bytes;
};

QString journalPathFor(const QString &tablePath)
{
    const QFileInfo info(tablePath);
    return info.absoluteDir().filePath(QLatin1Char('.') + info.fileName() + QLatin1String(JournalMark));
}

namespace {

void putString(QByteArray &out, const QString &s)
{
    const QByteArray b = QFile::encodeName(s);
    char n[2];
    putLe16(n, quint16(b.size()));
    out.append(n, 2).append(b);
}

// The journal's content, or nothing when it is not whole (torn by a crash).
std::optional<std::vector<Journal::Entry>> decode(const QByteArray &data)
{
    if (data.size() < MagicSize + 8 + HashSize || !data.startsWith(Magic))
        return std::nullopt;
    const QByteArray body = data.left(data.size() - HashSize);
    if (QCryptographicHash::hash(body, QCryptographicHash::Sha256) != data.right(HashSize))
        return std::nullopt;
    const char *p = body.constData();
    qint64 at = MagicSize;
    const qint64 end = body.size();
    if (le32(p + at) != Version)
        return std::nullopt;
    const quint32 count = le32(p + at + 4);
    at += 8;
    const auto string = [&](QString &s) {
        if (at + 2 > end)
            return false;
        const int n = le16(p + at);
        if (at + 2 + n > end)
            return false;
        s = QFile::decodeName(QByteArray(p + at + 2, n));
        at += 2 + n;
        return true;
    };
    std::vector<Journal::Entry> entries;
    for (quint32 i = 0; i < count; ++i) {
        Journal::Entry e;
        if (at + 1 > end)
            return std::nullopt;
        e.kind = Kind(quint8(p[at++]));
        if (!string(e.file) || !string(e.target) || at + 12 > end)
            return std::nullopt;
        e.offset = qint64(le32(p + at)) | (qint64(le32(p + at + 4)) << 32);
        const quint32 n = le32(p + at + 8);
        at += 12;
        if (at + qint64(n) > end)
            return std::nullopt;
        e.bytes = QByteArray(p + at, qsizetype(n));
        at += n;
        entries.push_back(std::move(e));
    }
    return entries;
}

QByteArray encode(const std::vector<Journal::Entry> &entries)
{
    QByteArray out(Magic, MagicSize);
    char n[12];
    putLe32(n, Version);
    putLe32(n + 4, quint32(entries.size()));
    out.append(n, 8);
    for (const Journal::Entry &e : entries) {
        out.append(char(e.kind));
        putString(out, e.file);
        putString(out, e.target);
        putLe32(n, quint32(quint64(e.offset) & 0xFFFFFFFFu));
        putLe32(n + 4, quint32(quint64(e.offset) >> 32));
        putLe32(n + 8, quint32(e.bytes.size()));
        out.append(n, 12).append(e.bytes);
    }
    return out + QCryptographicHash::hash(out, QCryptographicHash::Sha256);
}

// Brings the table's files to a whole state after a writer died: pages written
// back, renames completed. Throws when a file refuses.
void applyFound(const QDir &dir, const QString &table, const std::vector<Journal::Entry> &entries)
{
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        if (e->kind == Before && exists(dir.filePath(e->file)))
            writeBack(dir.filePath(e->file), e->offset, e->bytes);
    }
    for (const Journal::Entry &e : entries) {
        if (e.kind == Length && exists(dir.filePath(e.file)))
            cutTo(dir.filePath(e.file), e.offset);
    }
    for (const Journal::Entry &e : entries) {
        // A part already renamed is gone: that rename was done.
        if (e.kind == Replace && exists(dir.filePath(e.file))) {
            if (const int error = renameFile(dir.filePath(e.file), dir.filePath(e.target)))
                throw unfinished(table, error);
        }
    }
    for (const Journal::Entry &e : entries) {
        if (e.kind == Remove) {
            if (const int error = removeFile(dir.filePath(e.file)))
                throw unfinished(table, error);
        }
    }
}

// With the journal's lock held: finishes what it names (when whole) and removes
// the table's left-over part files.
void recoverLocked(int fd, const QString &journal, const QString &table)
{
    const qint64 size = fileSize(fd, table);
    QByteArray data(qsizetype(size), '\0');
    data.resize(qsizetype(preadFully(fd, data.data(), size, 0, table)));
    const QDir dir = QFileInfo(table).absoluteDir();
    if (const auto entries = decode(data))
        applyFound(dir, table, *entries);
    removeStaleParts(dir.absolutePath(), QFileInfo(table).fileName(), true);
    Q_UNUSED(journal);
}

} // namespace

Journal::Journal(const QString &tablePath)
    : m_table(QFileInfo(tablePath).absoluteFilePath()), m_path(journalPathFor(tablePath))
{
    // Another writer may finish and remove the journal between our open and our
    // lock: openLockedFile opens it again then.
    m_fd = openLockedFile(m_path, m_table, QStringLiteral("Das Anlegen des Änderungsprotokolls für"), m_lock);
    try {
        if (fileSize(m_fd, m_table) > 0) {
            recoverLocked(m_fd, m_path, m_table);
            if (::ftruncate(m_fd, 0) != 0)
                throw ioError(QStringLiteral("Das Schreiben des Änderungsprotokolls für"), m_table, errno);
        } else {
            removeStaleParts(QFileInfo(m_table).absolutePath(), QFileInfo(m_table).fileName(), true);
        }
    } catch (...) {
        m_lock.reset();
        ::close(m_fd);
        m_fd = -1;
        throw;
    }
}

Journal::~Journal()
{
    if (m_fd < 0)
        return;
    // m_done with the journal still open: a set half renamed, left whole on the
    // disk for the next recovery to complete.
    bool undone = m_done;
    if (!m_done) {
        // Undo: pages written back, parts removed. A page that cannot be written
        // back leaves the journal for the next recovery.
        const QDir dir = QFileInfo(m_table).absoluteDir();
        undone = true;
        try {
            if (m_begun) {
                std::vector<Entry> undo;
                for (const Entry &e : m_entries) {
                    if (e.kind == Before || e.kind == Length)
                        undo.push_back(e);
                }
                applyFound(dir, m_table, undo);
            }
        } catch (const EngineError &) {
            undone = false;
        }
        for (const Entry &e : m_entries) {
            if (e.kind == Replace)
                removeFile(dir.filePath(e.file));
        }
        if (undone) {
            // Emptied first: a journal that outlives its undone set must name nothing.
            if (::ftruncate(m_fd, 0) == 0)
                ::fdatasync(m_fd);
            if (removeFile(m_path) == 0)
                syncFolder(m_path);
        }
    }
    m_lock.reset();
    ::close(m_fd);
}

QString Journal::newPartPath(const QString &extension) const
{
    return partPathFor(m_table, extension);
}

static QString nameIn(const QString &table, const QString &file)
{
    const QFileInfo info(file);
    if (info.absolutePath() != QFileInfo(table).absolutePath())
        throw EngineError(QStringLiteral("Die Datei %1 liegt nicht im Ordner der Tabelle %2.")
                              .arg(nativePath(file), nativePath(table)));
    return info.fileName();
}

void Journal::replace(const QString &part, const QString &target)
{
    m_entries.push_back(Entry{Replace, nameIn(m_table, part), nameIn(m_table, target), 0, {}});
}

void Journal::remove(const QString &target)
{
    const QString name = nameIn(m_table, target);
    for (const Entry &e : m_entries) {
        if (e.kind == Replace && e.target == name)
            return; // replaced, not removed
    }
    m_entries.push_back(Entry{Remove, name, QString(), 0, {}});
}

void Journal::keepBefore(const QString &file, qint64 offset, qint64 size)
{
    if (m_begun)
        throw EngineError(QStringLiteral("Das Änderungsprotokoll der Tabelle %1 ist schon geschrieben.").arg(nativePath(m_table)));
    const QString name = nameIn(m_table, file);
    const Fd fd(::open(local(file).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0)
        throw ioError(QStringLiteral("Das Öffnen von"), file, errno);
    const bool known = std::any_of(m_entries.begin(), m_entries.end(),
                                   [&](const Entry &e) { return e.kind == Length && e.file == name; });
    if (!known)
        m_entries.push_back(Entry{Length, name, QString(), fileSize(fd.fd, file), {}});
    QByteArray bytes(qsizetype(size), '\0');
    bytes.resize(qsizetype(preadFully(fd.fd, bytes.data(), size, offset, file)));
    m_entries.push_back(Entry{Before, name, QString(), offset, bytes});
}

void Journal::begin()
{
    if (m_begun)
        return;
    const QDir dir = QFileInfo(m_table).absoluteDir();
    // The parts must be whole on the disk before a journal that renames them.
    for (const Entry &e : m_entries) {
        if (e.kind != Replace)
            continue;
        const Fd fd(::open(local(dir.filePath(e.file)).constData(), O_RDONLY | O_CLOEXEC));
        if (fd.fd < 0)
            throw ioError(QStringLiteral("Das Öffnen von"), dir.filePath(e.target), errno);
        syncData(fd.fd, dir.filePath(e.target));
    }
    const QByteArray data = encode(m_entries);
    pwriteFully(m_fd, data.constData(), data.size(), 0, m_table);
    syncData(m_fd, m_table);
    syncFolder(m_path);
    m_begun = true;
}

void Journal::commit()
{
    const QDir dir = QFileInfo(m_table).absoluteDir();
    for (const Entry &e : m_entries) {
        struct stat st {};
        if (e.kind == Replace && ::stat(local(dir.filePath(e.target)).constData(), &st) == 0 && !S_ISREG(st.st_mode))
            throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 lässt sich nicht ersetzen: %2; sie ist unverändert.")
                                                 .arg(nativePath(dir.filePath(e.target)), systemReason(EISDIR)));
    }
    begin();
    bool renamed = false;
    for (const Entry &e : m_entries) {
        if (e.kind != Replace)
            continue;
        if (const int error = renameFile(dir.filePath(e.file), dir.filePath(e.target))) {
            if (!renamed) // nothing changed yet: the destructor undoes the set
                throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 lässt sich nicht ersetzen: %2; sie ist unverändert.")
                                                     .arg(nativePath(dir.filePath(e.target)), systemReason(error)));
            // Half renamed: the journal stays and the next open completes the set.
            m_done = true;
            throw unfinished(m_table, error);
        }
        renamed = true;
    }
    for (const Entry &e : m_entries) {
        if (e.kind == Remove) {
            if (const int error = removeFile(dir.filePath(e.file))) {
                m_done = renamed;
                throw unfinished(m_table, error);
            }
        }
    }
    for (const Entry &e : m_entries) {
        if (e.kind != Length)
            continue;
        const Fd fd(::open(local(dir.filePath(e.file)).constData(), O_RDONLY | O_CLOEXEC));
        if (fd.fd >= 0)
            syncData(fd.fd, dir.filePath(e.file));
    }
    if (const int error = removeFile(m_path)) {
        m_done = renamed;
        throw unfinished(m_table, error);
    }
    syncFolder(m_path);
    m_done = true;
    m_lock.reset();
    ::close(m_fd);
    m_fd = -1;
}

void Journal::recover(const QString &tablePath)
{
    const QString journal = journalPathFor(tablePath);
    if (!exists(journal) || writerAtWork(journal))
        return;
    const QString table = QFileInfo(tablePath).absoluteFilePath();
    // Under the table's lock, as every change of it: a program changing pages
    // of the table in place holds it before it starts its journal.
    const Fd tableFd(::open(local(table).constData(), O_RDWR | O_CLOEXEC));
    std::unique_ptr<FileLock> tableLock;
    if (tableFd.fd >= 0) {
        try {
            tableLock = std::make_unique<FileLock>(tableFd.fd, table);
        } catch (const EngineError &) {
            return; // held on: its holder finishes the set
        }
    }
    const Fd fd(::open(local(journal).constData(), O_RDWR | O_CLOEXEC));
    // A journal that cannot be opened for writing (a read-only folder) cannot
    // be acted on either; nor one whose writer is at work.
    if (fd.fd < 0 || !tryLockForever(fd.fd, true) || !sameFile(fd.fd, journal))
        return;
    recoverLocked(fd.fd, journal, table);
    if (removeFile(journal) == 0)
        syncFolder(journal);
}

void Journal::recoverFolder(const QString &folder, bool removeParts)
{
    const QDir dir(folder);
    const QStringList entries = dir.entryList({QLatin1String("*") + QLatin1String(JournalMark), QLatin1String("*") + QLatin1String(LockMark)},
                                              QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        if (!entry.startsWith(QLatin1Char('.')))
            continue;
        if (entry.endsWith(QLatin1String(JournalMark)))
            recover(dir.filePath(entry.mid(1, entry.size() - 1 - qsizetype(strlen(JournalMark)))));
        else if (!writerAtWork(dir.filePath(entry)))
            // A lock file whose holder died; one that is just being taken is
            // opened again by its taker (openLockedFile).
            removeFile(dir.filePath(entry));
    }
    if (removeParts)
        removeStaleParts(dir.absolutePath(), QString());
}

} // namespace engine::io
