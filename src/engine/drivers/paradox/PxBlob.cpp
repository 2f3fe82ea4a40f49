#include "PxBlob.h"

#include "EngineError.h"
#include "common/FileIo.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace engine::paradox {

using io::damagedFile;
using io::le16;
using io::le32;

namespace {
constexpr int SingleHeader = 9;   // type, chunks, length, modification number
constexpr int SubHeader = 12;     // type, chunks, then 9 bytes the readers do not need
constexpr int SubEntries = 64;
constexpr int SubEntrySize = 5;   // offset/16, length/16 rounded up, modification, length%16
} // namespace

BlobFile::~BlobFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<BlobFile> BlobFile::open(const QString &path, bool writable)
{
    std::unique_ptr<BlobFile> f(new BlobFile);
    f->m_path = path;
    const QByteArray local = QFile::encodeName(path);
    f->m_fd = writable ? ::open(local.constData(), O_RDWR | O_CLOEXEC) : -1;
    f->m_writable = f->m_fd >= 0;
    if (f->m_fd < 0)
        f->m_fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    if (f->m_fd < 0)
        throw io::ioError(QStringLiteral("Das Öffnen der Blobdatei"), path, errno);
    char head[5];
    if (io::preadFully(f->m_fd, head, 5, 0, path) < 5 || head[0] != 0)
        throw damagedFile(path, QStringLiteral("die Datei beginnt nicht mit dem Kopfblock einer Paradox-Blobdatei"));
    return f;
}

QByteArray BlobFile::read(quint32 offsetIndex, quint32 length, const QString &fieldName) const
{
    const qint64 offset = offsetIndex & 0xFFFFFF00u;
    const int index = int(offsetIndex & 0xFF);
    const qint64 size = io::fileSize(m_fd, m_path);
    const auto bad = [&](const QString &what) {
        return damagedFile(m_path, QStringLiteral("der Wert des Feldes %1 (Block bei %2) %3").arg(fieldName).arg(offset).arg(what));
    };
    if (offset < BlobChunk || offset + SubHeader > size)
        throw bad(QStringLiteral("liegt außerhalb der Datei"));
    char head[SubHeader];
    io::preadFully(m_fd, head, SubHeader, offset, m_path);
    const int type = quint8(head[0]);
    const qint64 chunks = le16(head + 1);
    qint64 start;
    if (index == 0xFF) {
        if (type != 2)
            throw bad(QStringLiteral("zeigt auf einen Block der Art %1 statt auf einen Einzelblock").arg(type));
        if (le32(head + 3) < length || SingleHeader + qint64(length) > chunks * BlobChunk)
            throw bad(QStringLiteral("ist länger als sein Block"));
        start = offset + SingleHeader;
    } else {
        if (type != 3)
            throw bad(QStringLiteral("zeigt auf einen Block der Art %1 statt auf einen geteilten Block").arg(type));
        if (index >= SubEntries)
            throw bad(QStringLiteral("nennt den ungültigen Eintrag %1").arg(index));
        char entry[SubEntrySize];
        io::preadFully(m_fd, entry, SubEntrySize, offset + SubHeader + index * SubEntrySize, m_path);
        const qint64 dataOffset = qint64(quint8(entry[0])) * 16;
        const qint64 room = qint64(quint8(entry[1])) * 16;
        if (dataOffset < SubHeader + SubEntries * SubEntrySize || qint64(length) > room
            || dataOffset + length > std::max<qint64>(1, chunks) * BlobChunk)
            throw bad(QStringLiteral("passt nicht zu seinem Eintrag im Block"));
        start = offset + dataOffset;
    }
    if (start + qint64(length) > size)
        throw bad(QStringLiteral("reicht über das Ende der Datei hinaus"));
    QByteArray data(qsizetype(length), Qt::Uninitialized);
    io::preadFully(m_fd, data.data(), length, start, m_path);
    return data;
}

QByteArray BlobFile::newFileHeader()
{
    QByteArray head(BlobChunk, '\0');
    head[1] = 1; // one chunk
    head[3] = 1;
    return head;
}

QByteArray BlobFile::singleBlock(const QByteArray &data, quint16 modification)
{
    const qint64 chunks = (SingleHeader + data.size() + BlobChunk - 1) / BlobChunk;
    QByteArray block(qsizetype(chunks * BlobChunk), '\0');
    block[0] = 2;
    io::putLe16(block.data() + 1, quint16(chunks));
    io::putLe32(block.data() + 3, quint32(data.size()));
    io::putLe16(block.data() + 7, modification);
    memcpy(block.data() + SingleHeader, data.constData(), size_t(data.size()));
    return block;
}

quint32 BlobFile::append(const QByteArray &data, quint16 modification)
{
    if (qint64(data.size()) + SingleHeader > 0xFFFF * qint64(BlobChunk))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Wert ist mit %1 Bytes zu groß für die Blobdatei %2.")
                              .arg(data.size())
                              .arg(io::nativePath(m_path)));
    const qint64 size = io::fileSize(m_fd, m_path);
    const qint64 offset = (size + BlobChunk - 1) / BlobChunk * BlobChunk;
    if (offset + data.size() > qint64(0xFFFFFF00u))
        throw EngineError(QStringLiteral("Die Blobdatei %1 ist voll.").arg(io::nativePath(m_path)));
    const QByteArray block = singleBlock(data, modification);
    io::pwriteFully(m_fd, block.constData(), block.size(), offset, m_path);
    // On the disk before any record points at it.
    io::syncData(m_fd, m_path);
    return quint32(offset) | 0xFFu;
}

} // namespace engine::paradox
