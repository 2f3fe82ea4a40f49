#include "DbfMemo.h"

#include "common/FileIo.h"
#include "common/SharedAccess.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace engine::dbase {

using namespace engine::io;

namespace {

// A memo larger than this is taken for a damaged length, not read.
constexpr qint64 MaxMemoSize = qint64(256) * 1024 * 1024;
constexpr qint64 HeaderSize = 512;

} // namespace

MemoFile::~MemoFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<MemoFile> MemoFile::open(const QString &path, MemoLayout layout, bool writable)
{
    std::unique_ptr<MemoFile> memo(new MemoFile);
    memo->m_path = path;
    memo->m_layout = layout;
    const QByteArray local = QFile::encodeName(path);
    memo->m_fd = ::open(local.constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (memo->m_fd < 0 && writable && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        memo->m_fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (memo->m_fd < 0)
        throw ioError(QStringLiteral("Das Öffnen der Memodatei"), path, errno);
    memo->m_writable = writable;

    char header[24] = {};
    const qint64 got = preadFully(memo->m_fd, header, sizeof header, 0, path);
    if (got < qint64(sizeof header))
        throw damagedFile(path, QStringLiteral("der Kopf der Memodatei ist kürzer als %1 Bytes").arg(sizeof header));
    switch (layout) {
    case MemoLayout::Dbt3:
        // dBASE III always used 512-byte blocks; the bytes at 20 are not a block size there.
        memo->m_blockSize = 512;
        break;
    case MemoLayout::Dbt4: {
        const quint16 size = le16(header + 20);
        memo->m_blockSize = size == 0 ? 512 : size;
        if (memo->m_blockSize < 16)
            throw damagedFile(path, QStringLiteral("die Blockgröße %1 im Kopf der Memodatei ist ungültig").arg(size));
        break;
    }
    case MemoLayout::Fpt: {
        const quint16 size = be16(header + 6);
        if (size == 0)
            throw damagedFile(path, QStringLiteral("die Blockgröße im Kopf der Memodatei ist 0"));
        memo->m_blockSize = size;
        break;
    }
    }
    memo->m_headerBlocks = quint32((HeaderSize + memo->m_blockSize - 1) / memo->m_blockSize);
    return memo;
}

QByteArray MemoFile::emptyFile(const QByteArray &tableBaseName)
{
    QByteArray header(int(HeaderSize), '\0');
    char *h = header.data();
    putLe32(h, 1);
    const QByteArray name = tableBaseName.left(8);
    memcpy(h + 8, name.constData(), size_t(name.size()));
    // dBASE IV writes these two bytes in every memo file header.
    h[18] = 0x02;
    h[19] = 0x01;
    putLe16(h + 20, 512);
    return header;
}

QByteArray MemoFile::read(quint32 block, const QString &where, quint32 *fptType) const
{
    if (fptType)
        *fptType = FptText;
    const qint64 offset = qint64(block) * m_blockSize;
    const auto outside = [&]() {
        return damagedFile(m_path, QStringLiteral("der Memo-Verweis auf Block %1 (%2) zeigt außerhalb der Memodatei")
                                       .arg(block)
                                       .arg(where));
    };
    if (block < m_headerBlocks)
        throw outside();
    // Most memos fit in their first bytes: one read takes the block's head and
    // the text, and the file's size is asked for only when a memo is longer.
    constexpr qint64 FirstRead = 512;
    char first[FirstRead];
    const qint64 got = preadFully(m_fd, first, FirstRead, offset, m_path);
    if (got <= 0)
        throw outside();

    if (m_layout == MemoLayout::Fpt || m_layout == MemoLayout::Dbt4) {
        if (got < 8)
            throw outside();
        const char *head = first;
        qint64 length = -1;
        if (m_layout == MemoLayout::Fpt) {
            if (fptType)
                *fptType = be32(head);
            length = be32(head + 4);
        } else if (quint8(head[0]) == 0xFF && quint8(head[1]) == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
            // The stored length counts the 8 bytes of this block header.
            length = qint64(le32(head + 4)) - 8;
            if (length < 0)
                throw damagedFile(m_path, QStringLiteral("das Memo in Block %1 (%2) hat eine ungültige Länge")
                                              .arg(block)
                                              .arg(where));
        }
        if (length >= 0) {
            if (8 + length <= got)
                return QByteArray(first + 8, length);
            if (length > MaxMemoSize || offset + 8 + length > fileSize(m_fd, m_path))
                throw damagedFile(m_path, QStringLiteral("das Memo in Block %1 (%2) reicht über das Ende der Memodatei hinaus")
                                              .arg(block)
                                              .arg(where));
            QByteArray data(length, Qt::Uninitialized);
            if (preadFully(m_fd, data.data(), length, offset + 8, m_path) < length)
                throw outside();
            return data;
        }
        // A dBASE IV file holding a memo in the older layout: read it as such.
    }

    // dBASE III layout: the text runs to the first 0x1A (or to the end of the file).
    if (const void *end = memchr(first, '\x1A', size_t(got)))
        return QByteArray(first, static_cast<const char *>(end) - first);
    QByteArray data(first, got);
    if (got < FirstRead)
        return data; // the end of the file
    constexpr qint64 Step = 4096;
    qint64 pos = offset + got;
    for (;;) {
        const qsizetype old = data.size();
        data.resize(old + Step);
        const qint64 more = preadFully(m_fd, data.data() + old, Step, pos, m_path);
        data.resize(old + more);
        const qsizetype end = data.indexOf('\x1A', old);
        if (end >= 0) {
            data.truncate(end);
            return data;
        }
        if (more < Step)
            break;
        pos += more;
        if (data.size() > MaxMemoSize)
            throw damagedFile(m_path, QStringLiteral("das Memo in Block %1 (%2) hat kein Ende").arg(block).arg(where));
    }
    return data;
}

quint32 MemoFile::nextFreeBlock() const
{
    char head[4];
    if (preadFully(m_fd, head, 4, 0, m_path) < 4)
        throw damagedFile(m_path, QStringLiteral("der Kopf der Memodatei fehlt"));
    return m_layout == MemoLayout::Fpt ? be32(head) : le32(head);
}

QByteArray MemoFile::payloadFor(const QByteArray &data, quint32 fptType) const
{
    if (m_layout == MemoLayout::Dbt3 && data.contains('\x1A'))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Memo der Datei %1 darf das Zeichen 0x1A nicht enthalten: es beendet "
                                         "im dBASE-III-Format das Memo.")
                              .arg(nativePath(m_path)));
    QByteArray payload;
    switch (m_layout) {
    case MemoLayout::Dbt3:
        payload = data + QByteArray("\x1A\x1A", 2);
        break;
    case MemoLayout::Dbt4: {
        payload.resize(8);
        char *p = payload.data();
        p[0] = char(0xFF);
        p[1] = char(0xFF);
        p[2] = 0x08;
        p[3] = 0x00;
        putLe32(p + 4, quint32(data.size() + 8));
        payload += data;
        break;
    }
    case MemoLayout::Fpt:
        payload.resize(8);
        putBe32(payload.data(), fptType);
        putBe32(payload.data() + 4, quint32(data.size()));
        payload += data;
        break;
    }
    const qint64 blocks = (payload.size() + m_blockSize - 1) / m_blockSize;
    payload.resize(blocks * m_blockSize, '\0');
    return payload;
}

void MemoFile::writeNextFreeBlock(qint64 block)
{
    char head[4];
    if (m_layout == MemoLayout::Fpt)
        putBe32(head, quint32(block));
    else
        putLe32(head, quint32(block));
    pwriteFully(m_fd, head, 4, 0, m_path);
}

quint32 MemoFile::append(const QByteArray &data, quint32 fptType)
{
    const QByteArray payload = payloadFor(data, fptType);
    const qint64 blocks = payload.size() / m_blockSize;
    qint64 start = m_bulkNext;
    if (!m_bulk) {
        // Never write over anything: the next free block of the header, but behind
        // whatever the file already holds.
        const qint64 size = fileSize(m_fd, m_path);
        const qint64 blocksInFile = (size + m_blockSize - 1) / m_blockSize;
        start = std::max<qint64>({qint64(nextFreeBlock()), blocksInFile, qint64(m_headerBlocks)});
    }
    if (start + blocks > qint64(0xFFFFFFFFu) || (start + blocks) * m_blockSize > qint64(1) << 40)
        throw EngineError(QStringLiteral("Die Memodatei %1 ist voll.").arg(nativePath(m_path)));
    if (m_bulk) {
        m_bulkData += payload;
        m_bulkNext = start + blocks;
        if (m_bulkData.size() >= (1 << 20))
            flushBulk();
        return quint32(start);
    }
    pwriteFully(m_fd, payload.constData(), payload.size(), start * m_blockSize, m_path);
    syncData(m_fd, m_path);
    writeNextFreeBlock(start + blocks);
    syncData(m_fd, m_path);
    return quint32(start);
}

void MemoFile::beginBulk()
{
    if (m_bulk)
        return;
    const qint64 size = fileSize(m_fd, m_path);
    const qint64 blocksInFile = (size + m_blockSize - 1) / m_blockSize;
    m_bulkNext = std::max<qint64>({qint64(nextFreeBlock()), blocksInFile, qint64(m_headerBlocks)});
    m_bulkWritten = m_bulkNext;
    m_bulkData.clear();
    m_bulk = true;
}

void MemoFile::flushBulk()
{
    if (m_bulkData.isEmpty())
        return;
    pwriteFully(m_fd, m_bulkData.constData(), m_bulkData.size(), m_bulkWritten * m_blockSize, m_path);
    m_bulkWritten = m_bulkNext;
    m_bulkData.clear();
}

void MemoFile::endBulk()
{
    if (!m_bulk)
        return;
    flushBulk();
    writeNextFreeBlock(m_bulkNext);
    syncData(m_fd, m_path);
    m_bulk = false;
}

} // namespace engine::dbase
