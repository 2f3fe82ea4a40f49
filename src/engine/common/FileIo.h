#pragma once
// File access shared by every driver: whole-buffer pread/pwrite that survive
// short transfers and EINTR, sync, and files written beside their final name and
// renamed in, so a reader sees either the old file or the whole new one. Every
// failure names the user's file (never a hidden temporary one) in German.
#include "Bytes.h"
#include "EngineError.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <utility>
#include <vector>
#include <functional>

namespace engine::io {

inline QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// "The file X is damaged: <fault>." - the one sentence every structural fault uses.
inline EngineError damagedFile(const QString &path, const QString &fault)
{
    return EngineError(ErrorKind::Damaged,
                       QStringLiteral("Die Datei %1 ist beschädigt: %2.").arg(nativePath(path), fault));
}

// "<what> <file> ist fehlgeschlagen: <reason>"; ENOENT is a missing file.
EngineError ioError(const QString &what, const QString &path, int error);
// The reason for a system error number in German ("Auf dem Datenträger ist nicht
// genug Platz"); never the system's English text.
QString systemReason(int error);

// Reads exactly size bytes at offset; returns the bytes read (less only at end of file).
// Throws on an I/O error.
qint64 preadFully(int fd, void *buffer, qint64 size, qint64 offset, const QString &path);
// Writes all bytes at offset or throws.
void pwriteFully(int fd, const void *buffer, qint64 size, qint64 offset, const QString &path);
// Puts written data on the disk before anything that counts it (a record count,
// a header) is written.
void syncData(int fd, const QString &path);
// Syncs several files side by side (fd -1: the path is opened for it), so the
// file system's journal can take them in one commit; throws the first failure
// after all have been tried.
void syncDataTogether(const std::vector<std::pair<int, QString>> &files);
qint64 fileSize(int fd, const QString &path);

// A file name without its last extension ("KUNDEN.DBF" -> "KUNDEN").
QString baseNameOf(const QString &fileName);
// The entry base + ext among a folder's entries, in any case of the extension;
// the spelling matching the table's own base name wins. Empty when there is none.
QString companionEntry(const QStringList &entries, const QString &base, const QString &ext);

// Opens a table file for reading and, unless readOnly, writing; a file the user
// may not write is opened read-only instead, and writable says which it is.
int openTableFile(const QString &path, bool readOnly, bool &writable);

// Replaces target by the finished file temporary (same folder): syncs its
// content, renames it and syncs the folder, so the new name survives a crash. On failure the temporary file is
// removed and target is as it was; the message names target.
void renameInto(const QString &temporary, const QString &target);


// New files are written beside their target under a recognisable hidden name,
// ".<target>.<random>.brisvel-part<extension>", and renamed in when whole; one
// whose writer is gone is removed by the next write in that folder.
inline constexpr char PartMark[] = ".brisvel-part";
QString partPathFor(const QString &path, const QString &extension = QString());

// A new file written from start to end under a part name; every failure names
// target, the user's file. Not finished, the part is closed (its owner removes it).
class PartWriter {
public:
    PartWriter(const QString &part, const QString &target);
    ~PartWriter();
    PartWriter(const PartWriter &) = delete;
    PartWriter &operator=(const PartWriter &) = delete;
    void write(const char *data, qint64 size);
    void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    // Puts the whole content on the disk and closes the file.
    void finish();

private:
    QString m_target;
    int m_fd = -1;
    qint64 m_size = 0;
};

// The same error, naming target where it named part (a file written under a part
// name by code that only knows that name).
EngineError namingTarget(const EngineError &error, const QString &part, const QString &target);

using ByteSink = std::function<void(const char *, qint64)>;
// Writes a whole new file beside path, syncs it and renames it over path; a
// failure leaves path as it was. mode: the permission bits for the new file,
// -1 for the usual ones (0666 less the umask).
void writeFileSafely(const QString &path, int mode, const std::function<void(const ByteSink &)> &produce);
inline void writeFileSafely(const QString &path, const QByteArray &content)
{
    writeFileSafely(path, -1, [&](const ByteSink &sink) { sink(content.constData(), content.size()); });
}

// Renames from to to (same folder) and syncs the folder; returns errno, 0 on success.
int renameFile(const QString &from, const QString &to);
// Removes a file; returns errno, 0 on success (also when it was not there).
int removeFile(const QString &path);
// Puts the names of a file's folder on the disk (after renames and removals).
void syncFolder(const QString &file);

// What the writes, syncs, renames and removals of this process did, in order, for
// tests that check that data reaches the disk before the count that makes it
// visible. Off unless set.
struct IoEvent {
    enum Kind { Write, Sync, Rename, Remove } kind;
    QString path;
    qint64 offset = 0;
    qint64 size = 0;
};
void setIoObserver(std::function<void(const IoEvent &)> observer);
// Tests make single steps fail: the hook sees every step before it happens and
// returns a system error number (ENOSPC, EIO...) to fail it with, or 0 to let it
// run; it may also end the process there. Off unless set.
void setIoFault(std::function<int(const IoEvent &)> fault);

} // namespace engine::io
