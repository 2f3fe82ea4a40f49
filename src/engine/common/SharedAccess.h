#pragma once
// Tables that several programs change at once: advisory locks with bounded
// waits, the look at opening whether another program holds the table for
// itself, and the messages for what another program did meanwhile.
//
// Open file description locks are used where the kernel has them, so that two
// tables open on the same file in one process also exclude each other; they
// conflict with the classic POSIX locks other programs take.
#include "EngineError.h"

#include <QString>
#include <chrono>
#include <memory>

namespace engine::io {

// How long a change waits for another program's lock before it is refused.
// A few seconds: long enough for another program's single change, short enough
// that the window never seems frozen.
std::chrono::milliseconds lockWaitBound();
// Tests shorten it; a value <= 0 restores the default.
void setLockWaitBound(std::chrono::milliseconds bound);

// A write lock on a whole file for the time of one change. Waits at most
// lockWaitBound(), then throws a Locked error that names the table; nothing
// was changed then.
class FileLock {
public:
    FileLock(int fd, const QString &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int m_fd;
    bool m_ofd = true;
};

// Opens, creating it, the small file at path that stands for a lock, and takes
// FileLock on it (Locked naming shown after the bounded wait). A holder that
// removed the file between our open and our lock leaves that lock on a name gone
// from the folder: the file is opened again. Creating it fails with an I/O error
// whose text begins with doing ("Das Anlegen ... für"). Returns the descriptor.
int openLockedFile(const QString &path, const QString &shown, const QString &doing, std::unique_ptr<FileLock> &lock);

// A write lock for reading, changing and replacing a file that several tables
// share, such as a folder's schema.ini. The file itself cannot carry it: it is
// replaced by renaming, so a lock on it stays on the old copy. Held through
// ".<file>.brisvel-lock" beside it, which goes when the lock is released.
inline constexpr char LockMark[] = ".brisvel-lock";
class SharedFileLock {
public:
    explicit SharedFileLock(const QString &path);
    ~SharedFileLock();
    SharedFileLock(const SharedFileLock &) = delete;
    SharedFileLock &operator=(const SharedFileLock &) = delete;

private:
    QString m_lockPath;
    int m_fd = -1;
    std::unique_ptr<FileLock> m_lock;
};

// Tries, without waiting, to take a lock for the whole life of an exclusively
// opened table.
bool tryLockForever(int fd, bool write);

// How long opening looks whether a lock on the table is only another program's
// single change or its exclusive hold.
constexpr std::chrono::milliseconds OpenLockProbe {500};

// True when another program (or another table of this one) holds a lock on the
// file that outlasts a short wait: it has the table open exclusively.
bool heldByOther(int fd, std::chrono::milliseconds wait);

// The access part of opening a table file fd (opened writable or not): an
// exclusive open takes the lock for the table's life (refused with a Locked
// error when another program has the table); a shared changeable open looks
// whether another program keeps it locked. Returns why the table cannot be
// changed for reasons of access (opened read-only, a write-protected file,
// another program's exclusive hold), empty when it can.
QString claimAccess(int fd, const QString &path, bool readOnly, bool exclusive, bool writable);

// The messages for what another program did.
EngineError inUseByOther(const QString &path);        // exclusive open refused
EngineError lockTimedOut(const QString &path);        // a change waited too long
QString heldExclusivelyReason(const QString &path);   // why a shared open is read-only
EngineError recordChangedByOther();
EngineError recordDeletedByOther();
EngineError structureChangedByOther(const QString &path);
EngineError shrunkByOther(const QString &path);

} // namespace engine::io
