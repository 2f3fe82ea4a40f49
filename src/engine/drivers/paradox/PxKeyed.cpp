// Changes to keyed tables. Their records stand in key order across the block
// chain; the key is the leading fields, whose stored bytes sort like the values,
// so keys compare as bytes. Every step of a change leaves the chain valid (a
// single block write moves records, a new block is linked by rewriting the block
// before it), and header byte 0x4F ("index update required") is set while a
// change is under way: a table opened with it set had a change cut off, and its
// counts, back links and .PX are completed from the chain.
#include "PxTable.h"

#include "EngineError.h"
#include "ValueText.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace engine::paradox {

using io::le16;
using io::nativePath;
using io::putLe16;
using io::putLe32;

namespace {

// Short integers in index records: big-endian with the sign bit flipped.
void putIndexShort(char *p, int value)
{
    const quint16 v = quint16(std::clamp(value, 0, 0x7FFF)) ^ 0x8000;
    p[0] = char(v >> 8);
    p[1] = char(v & 0xFF);
}

} // namespace

void PxTable::checkKey(const QByteArray &rec) const
{
    for (int i = 0; i < m_h.keyFields; ++i) {
        const PxField &f = m_h.fields[size_t(i)];
        if (isAllZero(rec.constData() + f.offset, f.size))
            throw EngineError(ErrorKind::RefusedValue,
                              QStringLiteral("Schlüsselverletzung: Das Schlüsselfeld %1 ist leer; in der Tabelle %2 "
                                             "braucht jeder Satz einen Schlüssel.")
                                  .arg(f.name, m_tableName));
    }
}

QString PxTable::keyText(const QByteArray &rec)
{
    QStringList parts;
    for (int i = 0; i < m_h.keyFields; ++i) {
        const QVariant v = decode(rec.constData(), i);
        parts << QStringLiteral("%1 = %2").arg(m_h.fields[size_t(i)].name, formatValue(v, m_defs.at(i).dataType));
    }
    return parts.join(QStringLiteral(", "));
}

PxTable::KeyPlace PxTable::findKey(const QByteArray &key)
{
    KeyPlace place;
    if (m_blocks.empty())
        return place;
    const auto less = [&](const QByteArray &k, const BlockRef &b) { return memcmp(k.constData(), b.firstKey.constData(), size_t(m_keySize)) < 0; };
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), key, less);
    place.block = it == m_blocks.begin() ? 0 : int(it - m_blocks.begin()) - 1;
    const BlockRef &b = m_blocks[size_t(place.block)];
    const char *records = blockData(b.number) + BlockHeaderSize;
    int lo = 0, hi = b.count;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (memcmp(records + qint64(mid) * m_h.recordSize, key.constData(), size_t(m_keySize)) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    place.slot = lo;
    place.exists = lo < b.count && memcmp(records + qint64(lo) * m_h.recordSize, key.constData(), size_t(m_keySize)) == 0;
    return place;
}

void PxTable::reindexBlocks()
{
    m_blockIndex.assign(size_t(m_h.fileBlocks) + 1, -1);
    qint64 row = 0;
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        m_blocks[i].firstRow = row;
        row += m_blocks[i].count;
        m_blockIndex[m_blocks[i].number] = int(i);
    }
    m_rowCount = row;
    invalidateCache();
}

RowId PxTable::insertKeyed(const QByteArray &rec)
{
    const int rs = m_h.recordSize;
    const int perBlock = (m_h.blockSize - BlockHeaderSize) / rs;
    const QByteArray key = keyOf(rec.constData());
    if (m_blocks.empty()) {
        if (m_h.fileBlocks >= 0xFFFF)
            throw EngineError(QStringLiteral("Die Tabelle %1 hat die größte mögliche Zahl von Blöcken erreicht.").arg(nativePath(m_path)));
        const quint16 number = quint16(m_h.fileBlocks + 1);
        QByteArray block(m_h.blockSize, '\0');
        memcpy(block.data() + BlockHeaderSize, rec.constData(), size_t(rs));
        io::pwriteFully(m_fd, block.constData(), block.size(), blockOffset(m_h, number), m_path);
        m_h.fileBlocks = m_h.lastBlock = number;
        writeHeaderBlocks();
        m_h.firstBlock = number;
        m_blocks.push_back({number, 1, 0, key});
        reindexBlocks();
        return rowId(number, 0);
    }
    const KeyPlace place = findKey(key);
    if (place.exists)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Schlüsselverletzung: In der Tabelle %1 gibt es schon einen Satz mit %2.")
                                                       .arg(m_tableName, keyText(rec)));
    BlockRef &b = m_blocks[size_t(place.block)];
    QByteArray block = readBlockDirect(b.number);
    char *records = block.data() + BlockHeaderSize;
    const qint64 at = blockOffset(m_h, b.number);
    if (b.count < perBlock) {
        // Room in the block: one write moves the later records up and stores the new one.
        memmove(records + qint64(place.slot + 1) * rs, records + qint64(place.slot) * rs, size_t(b.count - place.slot) * size_t(rs));
        memcpy(records + qint64(place.slot) * rs, rec.constData(), size_t(rs));
        putLe16(block.data() + 4, quint16(b.count * rs));
        io::pwriteFully(m_fd, block.constData(), BlockHeaderSize + qint64(b.count + 1) * rs, at, m_path);
        ++b.count;
        if (place.slot == 0)
            b.firstKey = key;
        const quint16 number = b.number;
        reindexBlocks();
        return rowId(number, place.slot);
    }
    // A full block splits: the upper part goes into a new block at the end of the
    // file, written before the old block is rewritten to link it in.
    if (m_h.fileBlocks >= 0xFFFF)
        throw EngineError(QStringLiteral("Die Tabelle %1 hat die größte mögliche Zahl von Blöcken erreicht.").arg(nativePath(m_path)));
    QByteArray all(qsizetype(b.count + 1) * rs, Qt::Uninitialized);
    memcpy(all.data(), records, size_t(place.slot) * size_t(rs));
    memcpy(all.data() + qint64(place.slot) * rs, rec.constData(), size_t(rs));
    memcpy(all.data() + qint64(place.slot + 1) * rs, records + qint64(place.slot) * rs, size_t(b.count - place.slot) * size_t(rs));
    const bool atEnd = place.slot == b.count && size_t(place.block) == m_blocks.size() - 1;
    // Ascending appends keep full blocks behind them; elsewhere the block halves.
    const int keep = atEnd ? b.count : (b.count + 1) / 2;
    const int moved = b.count + 1 - keep;
    const quint16 oldNumber = b.number;
    const quint16 next = le16(block.constData());
    const quint16 number = quint16(m_h.fileBlocks + 1);

    QByteArray fresh(m_h.blockSize, '\0');
    putLe16(fresh.data(), next);
    putLe16(fresh.data() + 2, oldNumber);
    putLe16(fresh.data() + 4, quint16((moved - 1) * rs));
    memcpy(fresh.data() + BlockHeaderSize, all.constData() + qint64(keep) * rs, size_t(moved) * size_t(rs));
    io::pwriteFully(m_fd, fresh.constData(), fresh.size(), blockOffset(m_h, number), m_path);
    m_h.fileBlocks = number;
    if (next == 0)
        m_h.lastBlock = number;
    writeHeaderBlocks();

    memset(records, 0, size_t(m_h.blockSize - BlockHeaderSize));
    memcpy(records, all.constData(), size_t(keep) * size_t(rs));
    putLe16(block.data(), number);
    putLe16(block.data() + 4, quint16((keep - 1) * rs));
    io::pwriteFully(m_fd, block.constData(), block.size(), at, m_path);
    if (next != 0) {
        char word[2];
        putLe16(word, number);
        io::pwriteFully(m_fd, word, 2, blockOffset(m_h, next) + 2, m_path);
    }
    b.count = keep;
    b.firstKey = QByteArray(all.constData(), m_keySize);
    m_blocks.insert(m_blocks.begin() + place.block + 1,
                    BlockRef{number, moved, 0, QByteArray(all.constData() + qint64(keep) * rs, m_keySize)});
    reindexBlocks();
    return place.slot < keep ? rowId(oldNumber, place.slot) : rowId(number, place.slot - keep);
}

void PxTable::writeHeaderBlocks()
{
    m_h.usedBlocks = keyed() ? quint16(m_blocks.size()) : m_h.fileBlocks;
    char blocks[8];
    putLe16(blocks + 0, m_h.usedBlocks);
    putLe16(blocks + 2, m_h.fileBlocks);
    putLe16(blocks + 4, m_h.firstBlock);
    putLe16(blocks + 6, m_h.lastBlock);
    io::pwriteFully(m_fd, blocks, 8, off::UsedBlocks, m_path);
    char maxBlocks[2];
    putLe16(maxBlocks, m_h.fileBlocks);
    io::pwriteFully(m_fd, maxBlocks, 2, off::MaxBlocks, m_path);
}

void PxTable::setChangeUnderWay(bool on)
{
    if (!on)
        m_changeUnderWay = false;
    const char marker = on ? 1 : 0;
    io::pwriteFully(m_fd, &marker, 1, off::ChangeUnderWay, m_path);
    // The marker on the disk before the first block changes.
    if (on) {
        io::syncData(m_fd, m_path);
        m_changeUnderWay = true;
    }
}

QByteArray PxTable::primaryIndexImage(const QByteArray &oldHeader) const
{
    const int headerSize = le16(oldHeader.constData() + off::HeaderSize);
    const int blockSize = quint8(oldHeader[off::BlockSizeK]) * 1024;
    const int entrySize = m_keySize + 6;
    const int perBlock = (blockSize - BlockHeaderSize) / entrySize;
    struct Entry {
        QByteArray key;
        int target = 0; // data block, or index into the level below
        qint64 count = 0;
    };
    // levels[0]: one entry per data block; each higher level one entry per block of the level below.
    std::vector<std::vector<Entry>> levels(1);
    for (const BlockRef &b : m_blocks)
        levels[0].push_back({b.firstKey, b.number, b.count});
    while (levels.back().size() > size_t(perBlock)) {
        const std::vector<Entry> &below = levels.back();
        std::vector<Entry> up;
        for (size_t i = 0; i < below.size(); i += size_t(perBlock)) {
            Entry e{below[i].key, int(i / size_t(perBlock)), 0};
            for (size_t j = i; j < std::min(below.size(), i + size_t(perBlock)); ++j)
                e.count += below[j].count;
            up.push_back(e);
        }
        levels.push_back(std::move(up));
    }
    // Blocks: the root first, then each level below it, all in one chain.
    std::vector<int> firstBlockOfLevel(levels.size());
    int nextNumber = 1;
    for (size_t l = levels.size(); l-- > 0;) {
        firstBlockOfLevel[l] = nextNumber;
        nextNumber += std::max<int>(1, int((levels[l].size() + size_t(perBlock) - 1) / size_t(perBlock)));
    }
    const int blocks = nextNumber - 1;
    QByteArray image(headerSize + qint64(blocks) * blockSize, '\0');
    memcpy(image.data(), oldHeader.constData(), size_t(std::min<qsizetype>(headerSize, oldHeader.size())));
    qint64 entries = 0;
    for (size_t l = levels.size(); l-- > 0;) {
        const std::vector<Entry> &level = levels[l];
        const int count = std::max<int>(1, int((level.size() + size_t(perBlock) - 1) / size_t(perBlock)));
        for (int k = 0; k < count; ++k) {
            const int number = firstBlockOfLevel[l] + k;
            char *block = image.data() + headerSize + qint64(number - 1) * blockSize;
            putLe16(block, quint16(number < blocks ? number + 1 : 0));
            putLe16(block + 2, quint16(number - 1));
            const size_t from = size_t(k) * size_t(perBlock);
            const size_t to = std::min(level.size(), from + size_t(perBlock));
            putLe16(block + 4, quint16(qint16((int(to - from) - 1) * entrySize)));
            for (size_t i = from; i < to; ++i) {
                char *p = block + BlockHeaderSize + qint64(i - from) * entrySize;
                memcpy(p, level[i].key.constData(), size_t(m_keySize));
                const int target = l == 0 ? level[i].target : firstBlockOfLevel[l - 1] + level[i].target;
                putIndexShort(p + m_keySize, target);
                putIndexShort(p + m_keySize + 2, int(std::min<qint64>(level[i].count, 0x7FFF)));
                putIndexShort(p + m_keySize + 4, 0);
                ++entries;
            }
        }
    }
    char *h = image.data();
    putLe32(h + off::NumRecords, quint32(entries));
    putLe16(h + off::UsedBlocks, quint16(blocks));
    putLe16(h + off::FileBlocks, quint16(blocks));
    putLe16(h + off::FirstBlock, 1);
    putLe16(h + off::LastBlock, quint16(blocks));
    putLe16(h + off::MaxBlocks, quint16(blocks));
    putLe16(h + off::IndexRoot, 1);
    h[off::IndexLevels] = char(levels.size());
    return image;
}

void PxTable::writePrimaryIndex()
{
    // Updated in place, only the blocks that differ (mostly one entry's count): the
    // marker in the table's header stays set until this is on the disk, so a write
    // cut off here is completed at the next open.
    const int fd = ::open(QFile::encodeName(m_primaryPath).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw io::ioError(QStringLiteral("Öffnen"), m_primaryPath, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const qint64 size = io::fileSize(fd, m_primaryPath);
    QByteArray old(size, '\0');
    if (io::preadFully(fd, old.data(), size, 0, m_primaryPath) < size || size < 0x58)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Der Primärindex %1 ist beschädigt.").arg(nativePath(m_primaryPath)));
    const int headerSize = le16(old.constData() + off::HeaderSize);
    if (headerSize < 0x58 || headerSize > size)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Der Primärindex %1 ist beschädigt.").arg(nativePath(m_primaryPath)));
    const QByteArray image = primaryIndexImage(old.left(headerSize));
    const int blockSize = quint8(old[off::BlockSizeK]) * 1024;
    if (old.left(headerSize) != image.left(headerSize))
        io::pwriteFully(fd, image.constData(), headerSize, 0, m_primaryPath);
    for (qint64 at = headerSize; at < image.size(); at += blockSize) {
        const qint64 length = std::min<qint64>(blockSize, image.size() - at);
        if (at + length > size || memcmp(old.constData() + at, image.constData() + at, size_t(length)) != 0)
            io::pwriteFully(fd, image.constData() + at, length, at, m_primaryPath);
    }
    if (size > image.size() && ::ftruncate(fd, image.size()) != 0)
        throw io::ioError(QStringLiteral("Kürzen"), m_primaryPath, errno);
    io::syncData(fd, m_primaryPath);
}

void PxTable::finishKeyedChange()
{
    // Records and header on the disk before the index that follows them, and both
    // before the marker is cleared (which needs no sync: left set, it costs a check).
    io::syncData(m_fd, m_path);
    writePrimaryIndex();
    setChangeUnderWay(false);
}

void PxTable::changeFailed()
{
    m_changeUnderWay = false;
    m_writable = false;
    m_readOnlyReason = QStringLiteral("Eine Änderung der Tabelle %1 ist mittendrin gescheitert; sie wird beim nächsten "
                                      "Öffnen vervollständigt. Bis dahin kann die Tabelle nur gelesen werden.")
                           .arg(m_tableName);
    try {
        m_h = readHeader(m_fd, m_path);
        indexBlocks();
    } catch (const EngineError &) {
        m_blocks.clear();
        reindexBlocks();
    }
}

void PxTable::repairInterruptedChange()
{
    io::FileLock lock(m_fd, m_path);
    m_h = readHeader(m_fd, m_path);
    indexBlocks();
    // Back links the cut-off change had not written yet.
    quint16 previous = 0;
    for (const BlockRef &b : m_blocks) {
        char word[2];
        io::preadFully(m_fd, word, 2, blockOffset(m_h, b.number) + 2, m_path);
        if (le16(word) != previous) {
            putLe16(word, previous);
            io::pwriteFully(m_fd, word, 2, blockOffset(m_h, b.number) + 2, m_path);
        }
        previous = b.number;
    }
    m_h.lastBlock = previous;
    writeHeaderBlocks();
    writeHeaderCounts(quint32(m_rowCount), false);
    m_structureFault.clear();
    finishKeyedChange();
}

} // namespace engine::paradox
