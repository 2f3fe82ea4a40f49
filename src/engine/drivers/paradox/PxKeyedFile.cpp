// Records in key order across a chain of blocks, for tables and secondary
// indexes alike. Every step leaves the chain valid: a single block write moves
// records, a new block is written before the block before it links it in, an
// emptied block leaves the chain by one write of the link before it.
#include "PxKeyedFile.h"

#include "EngineError.h"
#include "common/FileIo.h"

#include <QFile>
#include <algorithm>
#include <exception>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace engine::paradox {

using io::damagedFile;
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

void PxKeyedFile::invalidateCache()
{
    for (CacheSlot &s : m_cache) {
        s.block = 0;
        s.data.clear();
    }
}

const char *PxKeyedFile::blockData(quint16 number)
{
    ++m_useCounter;
    CacheSlot *victim = &m_cache[0];
    for (CacheSlot &s : m_cache) {
        if (s.block == number && !s.data.isEmpty()) {
            s.lastUse = m_useCounter;
            return s.data.constData();
        }
        if (s.lastUse < victim->lastUse)
            victim = &s;
    }
    victim->data = readBlockDirect(number);
    victim->block = number;
    victim->lastUse = m_useCounter;
    return victim->data.constData();
}

QByteArray PxKeyedFile::readBlockDirect(quint16 number) const
{
    QByteArray data(m_h.blockSize, Qt::Uninitialized);
    const qint64 got = io::preadFully(m_fd, data.data(), m_h.blockSize, blockOffset(m_h, number), m_path);
    if (got < BlockHeaderSize + qint64(m_h.recordSize))
        throw damagedFile(m_path, QStringLiteral("die Datei endet im Block %1").arg(number));
    if (got < m_h.blockSize)
        memset(data.data() + got, 0, size_t(m_h.blockSize - got));
    return data;
}

PxKeyedFile::KeyPlace PxKeyedFile::findKey(const QByteArray &key)
{
    KeyPlace place;
    if (m_blocks.empty())
        return place;
    // Under a collation a block whose first key may tie is searched too: the
    // place found then fails placeIsSure() rather than landing a block too early.
    const auto less = [&](const QByteArray &k, const BlockRef &b) { return compareKeys(k.constData(), b.firstKey.constData()) == -1; };
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), key, less);
    place.block = it == m_blocks.begin() ? 0 : int(it - m_blocks.begin()) - 1;
    const BlockRef &b = m_blocks[size_t(place.block)];
    const char *records = blockData(b.number) + BlockHeaderSize;
    int lo = 0, hi = b.count;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (compareKeys(records + qint64(mid) * m_h.recordSize, key.constData()) == -1)
            lo = mid + 1;
        else
            hi = mid;
    }
    place.slot = lo;
    place.exists = lo < b.count && memcmp(records + qint64(lo) * m_h.recordSize, key.constData(), size_t(m_keySize)) == 0;
    return place;
}

void PxKeyedFile::reindexBlocks()
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

RowId PxKeyedFile::insertKeyed(const QByteArray &rec)
{
    const int rs = m_h.recordSize;
    const int perBlock = (m_h.blockSize - BlockHeaderSize) / rs;
    const QByteArray key = keyOf(rec.constData());
    m_splitInto = 0;
    m_splitRecords.clear();
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
        throw duplicateKey(rec);
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
    m_splitInto = number;
    for (int i = keep; i <= b.count; ++i)
        m_splitRecords.push_back(QByteArray(all.constData() + qint64(i) * rs, rs));
    b.count = keep;
    b.firstKey = QByteArray(all.constData(), m_keySize);
    m_blocks.insert(m_blocks.begin() + place.block + 1,
                    BlockRef{number, moved, 0, QByteArray(all.constData() + qint64(keep) * rs, m_keySize)});
    reindexBlocks();
    return place.slot < keep ? rowId(oldNumber, place.slot) : rowId(number, place.slot - keep);
}

void PxKeyedFile::writeHeaderBlocks()
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

QByteArray PxKeyedFile::primaryIndexImage(const QByteArray &oldHeader) const
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
    levels[0].reserve(m_blocks.size());
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
                putLe16(p + m_keySize + 4, quint16((m_indexFiller >> 8) | (m_indexFiller << 8)));
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

void PxKeyedFile::writePrimaryIndex(bool sync)
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
    // The third word of an entry is kept as the file has it (0x8000 in a .PX, 0 in a .Ynn).
    if (size >= headerSize + BlockHeaderSize + m_keySize + 6 && qint16(le16(old.constData() + headerSize + 4)) >= 0) {
        const char *w = old.constData() + headerSize + BlockHeaderSize + m_keySize + 4;
        m_indexFiller = quint16((quint8(w[0]) << 8) | quint8(w[1]));
    }
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
    if (sync)
        io::syncData(fd, m_primaryPath);
}

void PxKeyedFile::removeSlot(quint16 number, int slot)
{
    const size_t index = size_t(m_blockIndex[number]);
    BlockRef &ref = m_blocks[index];
    QByteArray block = readBlockDirect(number);
    const qint64 at = blockOffset(m_h, number);
    if (ref.count == 1) {
        // The block's last record: the block leaves the chain (readers take the
        // "last record" word of an empty block as unsigned), by one write of the
        // link before it, and stays in the file unused.
        const quint16 next = le16(block.constData());
        const quint16 prev = le16(block.constData() + 2);
        char word[2];
        if (prev != 0) {
            putLe16(word, next);
            io::pwriteFully(m_fd, word, 2, blockOffset(m_h, prev), m_path);
        } else {
            m_h.firstBlock = next;
            putLe16(word, next);
            io::pwriteFully(m_fd, word, 2, off::FirstBlock, m_path);
        }
        if (next != 0) {
            putLe16(word, prev);
            io::pwriteFully(m_fd, word, 2, blockOffset(m_h, next) + 2, m_path);
        } else {
            m_h.lastBlock = prev;
        }
        putLe16(word, quint16(qint16(-m_h.recordSize)));
        io::pwriteFully(m_fd, word, 2, at + 4, m_path);
        m_blocks.erase(m_blocks.begin() + qptrdiff(index));
    } else {
        char *records = block.data() + BlockHeaderSize;
        const int rs = m_h.recordSize;
        memmove(records + slot * rs, records + (slot + 1) * rs, size_t((ref.count - slot - 1) * rs));
        memset(records + (ref.count - 1) * rs, 0, size_t(rs));
        putLe16(block.data() + 4, quint16(qint16((ref.count - 2) * rs)));
        io::pwriteFully(m_fd, block.constData(), BlockHeaderSize + qint64(ref.count) * rs, at, m_path);
        --ref.count;
        if (slot == 0 && m_keySize > 0)
            ref.firstKey = QByteArray(records, m_keySize);
    }
    reindexBlocks();
}

void PxKeyedFile::setKeyLayout()
{
    m_keySize = 0;
    m_keyParts.clear();
    for (int i = 0; i < m_h.keyFields && i < int(m_h.fields.size()); ++i) {
        const PxField &f = m_h.fields[size_t(i)];
        m_keyParts.push_back({f.offset, f.size, f.type == PxAlpha});
        m_keySize = f.offset + f.size;
    }
}

int PxKeyedFile::compareKeys(const char *a, const char *b) const
{
    if (m_collation.byBytes()) {
        const int c = memcmp(a, b, size_t(m_keySize));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    // Numbers, dates and the like sort by their stored bytes under every order.
    for (const KeyPart &part : m_keyParts) {
        int c = 0;
        if (part.text) {
            c = m_collation.compareText(a + part.offset, b + part.offset, part.size);
        } else {
            c = memcmp(a + part.offset, b + part.offset, size_t(part.size));
            c = c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        if (c != 0)
            return c;
    }
    return 0;
}

QByteArray PxKeyedFile::keyAt(const KeyPlace &place)
{
    int block = place.block, slot = place.slot;
    while (block < int(m_blocks.size()) && slot >= m_blocks[size_t(block)].count) {
        ++block;
        slot = 0;
    }
    if (block >= int(m_blocks.size()))
        return {};
    const char *records = blockData(m_blocks[size_t(block)].number) + BlockHeaderSize;
    return keyOf(records + qint64(slot) * m_h.recordSize);
}

QByteArray PxKeyedFile::keyBefore(const KeyPlace &place)
{
    int block = place.block, slot = place.slot - 1;
    while (slot < 0) {
        if (--block < 0)
            return {};
        slot = m_blocks[size_t(block)].count - 1;
    }
    const char *records = blockData(m_blocks[size_t(block)].number) + BlockHeaderSize;
    return keyOf(records + qint64(slot) * m_h.recordSize);
}

bool PxKeyedFile::placeIsSure(const KeyPlace &place, const QByteArray &key)
{
    if (m_collation.byBytes() || m_blocks.empty())
        return true;
    const QByteArray before = keyBefore(place);
    if (!before.isEmpty() && compareKeys(before.constData(), key.constData()) != -1)
        return false;
    const QByteArray after = keyAt(place);
    return after.isEmpty() || compareKeys(key.constData(), after.constData()) == -1;
}

PxKeyedFile::KeyPlace PxKeyedFile::findExact(const QByteArray &key)
{
    KeyPlace place = findKey(key);
    if (place.exists || m_collation.byBytes())
        return place;
    // Records that tie with the key under the collation stand together; the one
    // with these bytes is among them.
    int block = place.block, slot = place.slot;
    while (block < int(m_blocks.size())) {
        const BlockRef &b = m_blocks[size_t(block)];
        if (slot >= b.count) {
            ++block;
            slot = 0;
            continue;
        }
        const char *rec = blockData(b.number) + BlockHeaderSize + qint64(slot) * m_h.recordSize;
        if (memcmp(rec, key.constData(), size_t(m_keySize)) == 0)
            return {block, slot, true};
        if (compareKeys(rec, key.constData()) == 1)
            break;
        ++slot;
    }
    place.exists = false;
    return place;
}

void PxKeyedFile::rewriteSlot(quint16 number, int slot, const QByteArray &rec)
{
    io::pwriteFully(m_fd, rec.constData(), rec.size(), blockOffset(m_h, number) + BlockHeaderSize + qint64(slot) * m_h.recordSize, m_path);
    invalidateCache();
}

EngineError PxKeyedFile::duplicateKey(const QByteArray &)
{
    return EngineError(ErrorKind::RefusedValue, QStringLiteral("Schlüsselverletzung: In der Datei %1 gibt es diesen Schlüssel schon.")
                                                    .arg(nativePath(m_path)));
}

void PxKeyedFile::writeSorted(const QString &path, const QByteArray &header, const QString &indexPath,
                              const QByteArray &indexHeader, const std::vector<QByteArray> &sortedRecords, int perBlock)
{
    PxKeyedFile f;
    f.m_path = path;
    f.m_primaryPath = indexPath;
    io::writeFileSafely(path, header);
    f.m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (f.m_fd < 0)
        throw io::ioError(QStringLiteral("Öffnen"), path, errno);
    try {
        f.m_h = readHeader(f.m_fd, path);
    } catch (...) {
        ::close(f.m_fd);
        throw;
    }
    ::close(f.m_fd);
    f.m_fd = -1;
    f.m_collation = PxCollation::forTable(f.m_h);
    f.setKeyLayout();
    if (indexHeader.size() > off::FileType)
        f.m_indexFiller = indexHeader[off::FileType] == char(PxPrimaryIndex) ? 0x8000 : 0;
    io::writeFileSafely(path, f.fileImage(header, sortedRecords, perBlock));
    io::writeFileSafely(indexPath, f.primaryIndexImage(indexHeader));
}

QByteArray PxKeyedFile::fileImage(const QByteArray &header, const std::vector<QByteArray> &sortedRecords, int perBlock)
{
    const int rs = m_h.recordSize;
    const int room = (m_h.blockSize - BlockHeaderSize) / rs;
    perBlock = perBlock > 0 ? std::min(perBlock, room) : room;
    const qint64 blocks = (qint64(sortedRecords.size()) + perBlock - 1) / perBlock;
    if (blocks > 0xFFFF)
        throw EngineError(QStringLiteral("Die Datei %1 hätte mehr als 65.535 Blöcke.").arg(nativePath(m_path)));
    QByteArray image(m_h.headerSize + blocks * m_h.blockSize, '\0');
    memcpy(image.data(), header.constData(), size_t(std::min<qsizetype>(header.size(), m_h.headerSize)));
    m_blocks.clear();
    for (qint64 b = 0; b < blocks; ++b) {
        const quint16 number = quint16(b + 1);
        char *block = image.data() + blockOffset(m_h, number);
        const qint64 from = b * perBlock;
        const int count = int(std::min<qint64>(perBlock, qint64(sortedRecords.size()) - from));
        putLe16(block, quint16(b + 1 < blocks ? number + 1 : 0));
        putLe16(block + 2, quint16(b));
        putLe16(block + 4, quint16((count - 1) * rs));
        for (int r = 0; r < count; ++r)
            memcpy(block + BlockHeaderSize + qint64(r) * rs, sortedRecords[size_t(from + r)].constData(), size_t(rs));
        m_blocks.push_back({number, count, 0, keyOf(sortedRecords[size_t(from)].constData())});
    }
    m_h.fileBlocks = m_h.usedBlocks = quint16(blocks);
    m_h.firstBlock = blocks > 0 ? 1 : 0;
    m_h.lastBlock = quint16(blocks);
    m_h.numRecords = quint32(sortedRecords.size());
    char *h = image.data();
    putLe32(h + off::NumRecords, m_h.numRecords);
    putLe16(h + off::UsedBlocks, m_h.usedBlocks);
    putLe16(h + off::FileBlocks, m_h.fileBlocks);
    putLe16(h + off::FirstBlock, m_h.firstBlock);
    putLe16(h + off::LastBlock, m_h.lastBlock);
    putLe16(h + off::MaxBlocks, m_h.fileBlocks);
    h[off::ChangeUnderWay] = 0;
    m_blockIndex.assign(size_t(m_h.fileBlocks) + 1, -1);
    reindexBlocks();
    return image;
}

} // namespace engine::paradox
