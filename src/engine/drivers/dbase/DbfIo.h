#pragma once
// Small file and byte helpers shared by the dBASE reader, writer and memo code:
// whole-buffer pread/pwrite that survive short transfers and EINTR, an advisory
// lock held for the duration of one change, and little/big-endian field access.
#include "EngineError.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cstdint>
#include <cstring>

namespace engine::dbase {

inline quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | (u[1] << 8));
}

inline quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

inline qint64 le64(const char *p)
{
    return qint64(quint64(le32(p)) | (quint64(le32(p + 4)) << 32));
}

inline quint16 be16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16((u[0] << 8) | u[1]);
}

inline quint32 be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

inline void putLe16(char *p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

inline void putLe32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

inline void putLe64(char *p, quint64 v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

inline void putBe32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * (3 - i))) & 0xFF);
}

inline QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// "The file X is damaged: <fault>." - the one sentence every structural fault uses.
inline EngineError damagedFile(const QString &path, const QString &fault)
{
    return EngineError(QStringLiteral("Die Datei %1 ist beschädigt: %2.").arg(nativePath(path), fault));
}

// Reads exactly size bytes at offset; returns the bytes read (less only at end of file).
// Throws on an I/O error.
qint64 preadFully(int fd, void *buffer, qint64 size, qint64 offset, const QString &path);
// Writes all bytes at offset or throws.
void pwriteFully(int fd, const void *buffer, qint64 size, qint64 offset, const QString &path);
void syncData(int fd, const QString &path);
qint64 fileSize(int fd, const QString &path);
EngineError ioError(const QString &what, const QString &path, int error);

// An advisory write lock on a whole file for the time of one change. Open file
// description locks are used where the kernel has them, so that two tables open
// on the same file in one process also exclude each other; they conflict with
// classic POSIX locks taken by other programs.
class FileLock {
public:
    FileLock(int fd, const QString &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

private:
    int m_fd;
    int m_command;
};

// Tries to take a lock for the whole life of an exclusively opened table.
bool tryLockForever(int fd, bool write);

} // namespace engine::dbase
