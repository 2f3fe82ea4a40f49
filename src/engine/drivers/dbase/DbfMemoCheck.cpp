// Where a memo starts, per layout: a dBASE III memo runs to 0x1A, so the block
// before one ends a memo (or is the header); a dBASE IV memo starts with
// FF FF 08 00 and a length counting those 8 bytes (a block without that mark is
// read the dBASE III way, as the reader does); a FoxPro memo starts with its type
// (0, 1 or 2) and length, big-endian.
#include "DbfMemoCheck.h"

#include "common/Bytes.h"
#include "common/FileIo.h"
#include "EngineError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr int MaxReportsPerField = 10;
constexpr qint64 HeaderBytes = 512;

class MemoBytes {
public:
    explicit MemoBytes(const QString &path) : m_path(path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            throw ioError(QStringLiteral("Das Öffnen der Memodatei"), path, errno);
        m_size = fileSize(m_fd, path);
    }
    ~MemoBytes() { ::close(m_fd); }
    MemoBytes(const MemoBytes &) = delete;
    MemoBytes &operator=(const MemoBytes &) = delete;

    qint64 size() const { return m_size; }
    // Up to size bytes from at; fewer at the file's end.
    QByteArray read(qint64 at, qint64 size) const
    {
        QByteArray out(std::max<qint64>(0, std::min(size, m_size - at)), '\0');
        if (!out.isEmpty())
            preadFully(m_fd, out.data(), out.size(), at, m_path);
        return out;
    }
    // Whether a 0x1A comes at or after at, before the file's end.
    bool endMarkFrom(qint64 at) const
    {
        constexpr qint64 Chunk = 64 * 1024;
        for (; at < m_size; at += Chunk) {
            if (read(at, Chunk).contains('\x1A'))
                return true;
        }
        return false;
    }

private:
    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
};

// Why the memo of block does not start there; empty when it does.
QString faultAt(const MemoBytes &bytes, MemoLayout layout, qint64 blockSize, quint32 block)
{
    const qint64 at = qint64(block) * blockSize;
    const qint64 first = layout == MemoLayout::Dbt3 ? 1 : (HeaderBytes + blockSize - 1) / blockSize;
    if (qint64(block) < first)
        return QStringLiteral("zeigt in den Kopf der Memodatei");
    if (at >= bytes.size())
        return QStringLiteral("zeigt hinter das Ende der Memodatei");
    const auto dbaseThree = [&]() -> QString {
        if (qint64(block) > first && !bytes.read(at - blockSize, blockSize).contains('\x1A'))
            return QStringLiteral("zeigt mitten in ein Memo");
        if (!bytes.endMarkFrom(at))
            return QStringLiteral("zeigt auf ein Memo ohne Endezeichen");
        return {};
    };
    switch (layout) {
    case MemoLayout::Dbt3:
        return dbaseThree();
    case MemoLayout::Dbt4: {
        const QByteArray head = bytes.read(at, 8);
        if (!head.startsWith(QByteArray("\xFF\xFF\x08\x00", 4)))
            return dbaseThree();
        const quint32 length = head.size() == 8 ? le32(head.constData() + 4) : 0;
        if (length < 8 || at + qint64(length) > bytes.size())
            return QStringLiteral("zeigt auf ein Memo, dessen Länge über das Ende der Memodatei reicht");
        return {};
    }
    case MemoLayout::Fpt: {
        const QByteArray head = bytes.read(at, 8);
        if (head.size() < 8)
            return QStringLiteral("zeigt auf einen unvollständigen Memokopf");
        const quint32 type = be32(head.constData());
        if (type > FptObject)
            return QStringLiteral("zeigt nicht auf den Anfang eines Memos");
        if (at + 8 + qint64(be32(head.constData() + 4)) > bytes.size())
            return QStringLiteral("zeigt auf ein Memo, dessen Länge über das Ende der Memodatei reicht");
        return {};
    }
    }
    return {};
}

} // namespace

QStringList checkMemoPointers(const MemoFile &memo, const std::vector<MemoPointer> &pointers)
{
    const MemoBytes bytes(memo.path());
    const QString fileName = QFileInfo(memo.path()).fileName();
    const qint64 blockSize = std::max<qint64>(1, memo.blockSize());
    QStringList out;
    std::map<QString, int> reported, more;
    for (const MemoPointer &p : pointers) {
        if (p.block == 0)
            continue;
        const QString fault = faultAt(bytes, memo.layout(), blockSize, p.block);
        if (fault.isEmpty())
            continue;
        if (reported[p.field]++ >= MaxReportsPerField) {
            ++more[p.field];
            continue;
        }
        out << QStringLiteral("Satz %1, Feld %2: der Memoverweis auf Block %3 %4 (%5).")
                   .arg(p.record)
                   .arg(p.field)
                   .arg(p.block)
                   .arg(fault, fileName);
    }
    for (const auto &[field, count] : more)
        out << QStringLiteral("Feld %1: dazu %2 weitere falsche Memoverweise.").arg(field).arg(count);
    return out;
}

} // namespace engine::dbase
