#include "PxSecondary.h"

#include "EngineError.h"
#include "common/FileIo.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace engine::paradox {

using io::le16;
using io::le32;
using io::nativePath;
using io::putLe32;

namespace {

EngineError unfit(const QString &path, const QString &why)
{
    return EngineError(ErrorKind::Damaged, QStringLiteral("Der Sekundärindex %1 passt nicht zur Tabelle: %2.").arg(nativePath(path), why));
}

// The hint is a short field: big-endian with the sign bit flipped.
void putHint(char *p, quint16 block)
{
    const quint16 v = block ^ 0x8000;
    p[0] = char(v >> 8);
    p[1] = char(v & 0xFF);
}

} // namespace

PxSecondaryFile::~PxSecondaryFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString PxSecondaryFile::fileName() const
{
    return QFileInfo(m_path).fileName();
}

std::unique_ptr<PxSecondaryFile> PxSecondaryFile::open(const QString &xPath, const QString &yPath, const PxHeader &h,
                                                         const PxCollation &collation, bool writable, bool loadBlocks)
{
    std::unique_ptr<PxSecondaryFile> x(new PxSecondaryFile);
    x->m_path = xPath;
    x->m_primaryPath = yPath;
    x->m_indexFiller = 0;
    x->m_fd = ::open(QFile::encodeName(xPath).constData(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (x->m_fd < 0)
        throw io::ioError(QStringLiteral("Öffnen"), xPath, errno);
    x->m_h = readHeader(x->m_fd, xPath);
    const PxHeader &xh = x->m_h;
    if (xh.fileType != PxSecondaryIndexInc && xh.fileType != PxCompositeIndexInc && xh.fileType != PxSecondaryIndex
        && xh.fileType != PxCompositeIndex)
        throw unfit(xPath, QStringLiteral("die Datei ist kein Sekundärindex (Dateiart %1)").arg(xh.fileType));
    // Indexed fields, the table's key, the hint; the key of the index is all but the hint.
    const int own = int(xh.keyFields) - int(h.keyFields);
    if (h.keyFields == 0 || own < 1 || int(xh.fields.size()) != xh.keyFields + 1)
        throw unfit(xPath, QStringLiteral("er hat %1 Felder, davon %2 Schlüsselfelder").arg(xh.fields.size()).arg(xh.keyFields));
    const PxField &hint = xh.fields.back();
    if (hint.type != PxShort || hint.size != 2)
        throw unfit(xPath, QStringLiteral("sein letztes Feld ist kein Blockverweis"));
    for (int i = 0; i < xh.keyFields; ++i) {
        const PxField &f = xh.fields[size_t(i)];
        const PxField *source = nullptr;
        if (i < own) {
            for (const PxField &t : h.fields) {
                if (t.name.compare(f.name, Qt::CaseInsensitive) == 0)
                    source = &t;
            }
        } else {
            source = &h.fields[size_t(i - own)];
        }
        if (!source || source->type != f.type || source->size != f.size || source->isBlob())
            throw unfit(xPath, QStringLiteral("das Feld %1 gibt es in der Tabelle nicht in dieser Art und Größe").arg(f.name));
        x->m_sources.push_back({source->offset, source->size});
    }
    x->m_hintOffset = hint.offset;
    x->m_ownFields = own;
    x->m_collation = collation;
    x->setKeyLayout();
    x->m_tableName = QFileInfo(xPath).completeBaseName();
    QFile y(yPath);
    if (!y.open(QIODevice::ReadOnly) || y.size() < 0x58)
        throw unfit(xPath, QStringLiteral("sein Index %1 lässt sich nicht lesen").arg(nativePath(yPath)));
    const QByteArray yHead = y.read(0x58);
    if (le16(yHead.constData() + off::RecordSize) != quint16(x->m_keySize + 6))
        throw unfit(xPath, QStringLiteral("sein Index %1 hat Einträge von %2 statt %3 Bytes")
                               .arg(nativePath(yPath))
                               .arg(le16(yHead.constData() + off::RecordSize))
                               .arg(x->m_keySize + 6));
    if (loadBlocks)
        x->loadBlocksFromIndex();
    return x;
}

void PxSecondaryFile::loadBlocksFromIndex()
{
    // The block list comes from the .Ynn (a few hundred kilobytes for a million
    // entries) rather than from walking the .Xnn's chain block by block.
    QFile y(m_primaryPath);
    if (!y.open(QIODevice::ReadOnly))
        throw io::ioError(QStringLiteral("Öffnen"), m_primaryPath, errno);
    const QByteArray all = y.readAll();
    const auto damaged = [&](const QString &why) {
        return EngineError(ErrorKind::Damaged, QStringLiteral("Der Index %1 des Sekundärindex %2 ist beschädigt (%3); er muss neu "
                                                              "aufgebaut werden, bevor die Tabelle geändert werden kann.")
                                                   .arg(nativePath(m_primaryPath), fileName(), why));
    };
    if (all.size() < 0x58)
        throw damaged(QStringLiteral("zu kurz"));
    const int headerSize = le16(all.constData() + off::HeaderSize);
    const int blockSize = quint8(all[off::BlockSizeK]) * 1024;
    const int entrySize = m_keySize + 6;
    const int root = le16(all.constData() + off::IndexRoot);
    const int levels = quint8(all[off::IndexLevels]);
    m_blocks.clear();
    m_blocks.reserve(m_h.usedBlocks);
    m_blockIndex.assign(size_t(m_h.fileBlocks) + 1, -1);
    if (m_h.numRecords > 0) {
        if (headerSize < 0x58 || blockSize <= 0 || levels < 1 || levels > 16)
            throw damaged(QStringLiteral("Kopf"));
        const int yBlocks = int((all.size() - headerSize) / blockSize);
        int visited = 0;
        const std::function<void(int, int)> walk = [&](int number, int level) {
            if (number < 1 || number > yBlocks || ++visited > yBlocks)
                throw damaged(QStringLiteral("Block %1").arg(number));
            const char *block = all.constData() + headerSize + qint64(number - 1) * blockSize;
            const qint16 last = qint16(le16(block + 4));
            const int count = last < 0 ? 0 : last / entrySize + 1;
            if (BlockHeaderSize + count * entrySize > blockSize)
                throw damaged(QStringLiteral("Block %1").arg(number));
            for (int i = 0; i < count; ++i) {
                const char *e = block + BlockHeaderSize + qint64(i) * entrySize;
                const int target = (quint8(e[m_keySize]) << 8 | quint8(e[m_keySize + 1])) ^ 0x8000;
                if (level > 1) {
                    walk(target, level - 1);
                    continue;
                }
                const int records = (quint8(e[m_keySize + 2]) << 8 | quint8(e[m_keySize + 3])) ^ 0x8000;
                if (target < 1 || target > m_h.fileBlocks || m_blockIndex[size_t(target)] >= 0)
                    throw damaged(QStringLiteral("Verweis auf den Block %1").arg(target));
                m_blockIndex[size_t(target)] = int(m_blocks.size());
                m_blocks.push_back({quint16(target), records, 0, QByteArray(e, m_keySize)});
            }
        };
        walk(root, levels);
    }
    reindexBlocks();
    if (m_rowCount != qint64(m_h.numRecords))
        throw damaged(QStringLiteral("er zählt %1 Einträge, die Datei nennt %2").arg(m_rowCount).arg(m_h.numRecords));
}

void PxSecondaryFile::checkCount(quint32 tableRecords) const
{
    if (m_h.numRecords != tableRecords)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Der Sekundärindex %1 hat %2 Einträge, die Tabelle aber %3 Sätze; er ist "
                                                             "nicht auf dem Stand der Tabelle und muss neu aufgebaut werden, bevor die "
                                                             "Tabelle geändert werden kann.")
                                                  .arg(fileName())
                                                  .arg(m_h.numRecords)
                                                  .arg(tableRecords));
}

QByteArray PxSecondaryFile::entryFor(const char *tableRecord, quint16 block) const
{
    QByteArray entry(m_h.recordSize, '\0');
    int at = 0;
    for (const Source &s : m_sources) {
        memcpy(entry.data() + at, tableRecord + s.tableOffset, size_t(s.size));
        at += s.size;
    }
    putHint(entry.data() + m_hintOffset, block);
    return entry;
}

bool PxSecondaryFile::sameEntry(const char *a, const char *b) const
{
    for (const Source &s : m_sources) {
        if (memcmp(a + s.tableOffset, b + s.tableOffset, size_t(s.size)) != 0)
            return false;
    }
    return true;
}

EngineError PxSecondaryFile::unsure(const QByteArray &entry) const
{
    TextCodec codec;
    codec.setCodePage(codePageFor(m_h));
    QStringList values;
    for (int i = 0; i < m_ownFields; ++i) {
        const PxField &f = m_h.fields[size_t(i)];
        const char *p = entry.constData() + f.offset;
        if (f.type == PxAlpha)
            values << QStringLiteral("„%1“").arg(codec.decode(p, int(qstrnlen(p, size_t(f.size)))));
    }
    return EngineError(ErrorKind::RefusedValue,
                       QStringLiteral("Die Änderung wird nicht gespeichert: Der Sekundärindex %1 ordnet Texte nach der Sortierfolge "
                                      "„%2“, und wo der Eintrag %3 darin steht, ist nicht sicher bekannt (ein gleich lautender "
                                      "Eintrag in anderer Schreibweise oder ein Zeichen, dessen Platz in dieser Sortierfolge "
                                      "unbekannt ist). Es wurde nichts geändert.")
                           .arg(fileName(), m_collation.sortOrderName(), values.join(QStringLiteral(", "))));
}

void PxSecondaryFile::checkBlock(const KeyPlace &place)
{
    if (m_blocks.empty())
        return;
    const BlockRef &b = m_blocks[size_t(place.block)];
    char head[BlockHeaderSize];
    if (io::preadFully(m_fd, head, BlockHeaderSize, blockOffset(m_h, b.number), m_path) < BlockHeaderSize
        || recordsInBlock(m_h, qint16(le16(head + 4))) != b.count)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Der Sekundärindex %1 und sein Index %2 stimmen im Block %3 nicht überein; "
                                                             "der Index muss neu aufgebaut werden.")
                                                  .arg(fileName(), QFileInfo(m_primaryPath).fileName())
                                                  .arg(b.number));
}

void PxSecondaryFile::checkInsert(const QByteArray &entry)
{
    const KeyPlace place = findKey(keyOf(entry.constData()));
    checkBlock(place);
    if (place.exists)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Der Sekundärindex %1 enthält den Eintrag des neuen Satzes schon; er muss "
                                                             "neu aufgebaut werden.")
                                                  .arg(fileName()));
    if (!placeIsSure(place, keyOf(entry.constData())))
        throw unsure(entry);
}

void PxSecondaryFile::checkRemove(const QByteArray &entry)
{
    const KeyPlace place = findExact(keyOf(entry.constData()));
    if (!place.exists)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Im Sekundärindex %1 fehlt der Eintrag eines Satzes; er muss neu "
                                                             "aufgebaut werden, bevor die Tabelle geändert werden kann.")
                                                  .arg(fileName()));
    checkBlock(place);
}

void PxSecondaryFile::insert(const QByteArray &entry)
{
    insertKeyed(entry);
    ++m_h.numRecords;
}

void PxSecondaryFile::remove(const QByteArray &entry)
{
    const KeyPlace place = findExact(keyOf(entry.constData()));
    if (!place.exists)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Im Sekundärindex %1 fehlt der Eintrag eines Satzes.").arg(fileName()));
    removeSlot(m_blocks[size_t(place.block)].number, place.slot);
    --m_h.numRecords;
}

void PxSecondaryFile::setHint(const QByteArray &entry)
{
    const KeyPlace place = findExact(keyOf(entry.constData()));
    if (!place.exists)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Im Sekundärindex %1 fehlt der Eintrag eines Satzes.").arg(fileName()));
    const quint16 number = m_blocks[size_t(place.block)].number;
    io::pwriteFully(m_fd, entry.constData() + m_hintOffset, 2,
                    blockOffset(m_h, number) + BlockHeaderSize + qint64(place.slot) * m_h.recordSize + m_hintOffset, m_path);
    invalidateCache();
}

void PxSecondaryFile::finish(bool sync)
{
    writeHeaderBlocks();
    char count[4];
    putLe32(count, m_h.numRecords);
    io::pwriteFully(m_fd, count, 4, off::NumRecords, m_path);
    if (sync)
        io::syncData(m_fd, m_path);
    writePrimaryIndex(sync);
}

void PxSecondaryFile::rebuild(std::vector<QByteArray> entries)
{
    std::sort(entries.begin(), entries.end(), [&](const QByteArray &a, const QByteArray &b) {
        const int c = compareKeys(a.constData(), b.constData());
        return c == -1 || (c == PxCollation::Unsure && memcmp(a.constData(), b.constData(), size_t(m_keySize)) < 0);
    });
    for (size_t i = 1; i < entries.size(); ++i) {
        if (compareKeys(entries[i - 1].constData(), entries[i].constData()) != -1)
            throw unsure(entries[i]);
    }
    QByteArray header(m_h.headerSize, '\0');
    io::preadFully(m_fd, header.data(), header.size(), 0, m_path);
    QFile y(m_primaryPath);
    if (!y.open(QIODevice::ReadOnly))
        throw io::ioError(QStringLiteral("Öffnen"), m_primaryPath, errno);
    const QByteArray yOld = y.readAll();
    y.close();
    if (yOld.size() < 0x58)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Indexdatei %1 ist beschädigt.").arg(nativePath(m_primaryPath)));
    const int yHeaderSize = le16(yOld.constData() + off::HeaderSize);
    if (yOld.size() >= yHeaderSize + BlockHeaderSize + m_keySize + 6 && qint16(le16(yOld.constData() + yHeaderSize + 4)) >= 0) {
        const char *w = yOld.constData() + yHeaderSize + BlockHeaderSize + m_keySize + 4;
        m_indexFiller = quint16((quint8(w[0]) << 8) | quint8(w[1]));
    }
    const QByteArray xImage = fileImage(header, entries);
    const QByteArray yImage = primaryIndexImage(yOld.left(yHeaderSize));
    io::writeFileSafely(m_path, xImage);
    io::writeFileSafely(m_primaryPath, yImage);
    // The descriptor still names the replaced file.
    ::close(m_fd);
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CLOEXEC);
    invalidateCache();
}

} // namespace engine::paradox
