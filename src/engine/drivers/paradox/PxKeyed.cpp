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

void PxTable::finishKeyedChange(Secondaries *secondaries)
{
    // While the marker is set on the disk, a cut-off change is completed from the
    // table's block chain at the next open, whatever reached the disk: so the
    // table, its .PX and the index files are synced side by side, all before the
    // marker is cleared (which needs no sync: left set, it costs a check).
    writePrimaryIndex(false);
    std::vector<std::pair<int, QString>> files{{m_fd, m_path}, {-1, m_primaryPath}};
    if (secondaries) {
        for (auto &s : *secondaries) {
            s->finish(false);
            for (const auto &f : s->files())
                files.push_back(f);
        }
    }
    io::syncDataTogether(files);
    setChangeUnderWay(false);
}

EngineError PxTable::duplicateKey(const QByteArray &rec)
{
    return EngineError(ErrorKind::RefusedValue, QStringLiteral("Schlüsselverletzung: In der Tabelle %1 gibt es schon einen Satz mit %2.")
                                                    .arg(m_tableName, keyText(rec)));
}

PxTable::Secondaries PxTable::openSecondaries()
{
    Secondaries out;
    for (const Maintained &m : m_maintained) {
        out.push_back(PxSecondaryFile::open(m.xPath, m.yPath, m_h, m_collation, true, true));
        out.back()->checkCount(m_h.numRecords);
    }
    return out;
}

quint16 PxTable::blockHolding(const QByteArray &rec)
{
    const KeyPlace place = findExact(keyOf(rec.constData()));
    return place.exists ? m_blocks[size_t(place.block)].number : 0;
}

void PxTable::updateSecondaries(Secondaries &secondaries, const QByteArray *old, const QByteArray *rec)
{
    const quint16 block = rec ? blockHolding(*rec) : 0;
    const auto samePrimaryKey = [&](const QByteArray &a, const QByteArray *b) {
        return b && memcmp(a.constData(), b->constData(), size_t(m_keySize)) == 0;
    };
    for (auto &s : secondaries) {
        if (old)
            s->remove(s->entryFor(old->constData(), 0));
        if (rec)
            s->insert(s->entryFor(rec->constData(), block));
        // A split moved records into a new block: their hints follow them.
        if (m_splitInto != 0) {
            for (const QByteArray &moved : m_splitRecords) {
                if (!samePrimaryKey(moved, old) && !samePrimaryKey(moved, rec))
                    s->setHint(s->entryFor(moved.constData(), m_splitInto));
            }
        }
    }
    m_splitInto = 0;
    m_splitRecords.clear();
}

void PxTable::rebuildSecondaries()
{
    for (const Maintained &m : m_maintained) {
        auto x = PxSecondaryFile::open(m.xPath, m.yPath, m_h, m_collation, true, false);
        std::vector<QByteArray> entries;
        entries.reserve(size_t(m_rowCount));
        for (const BlockRef &b : m_blocks) {
            const QByteArray block = readBlockDirect(b.number);
            for (int slot = 0; slot < b.count; ++slot)
                entries.push_back(x->entryFor(block.constData() + BlockHeaderSize + qint64(slot) * m_h.recordSize, b.number));
        }
        x->rebuild(std::move(entries));
    }
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
    // The secondary indexes are written anew from the records: which of their
    // entries the cut-off change had reached is not known.
    try {
        rebuildSecondaries();
    } catch (const EngineError &e) {
        m_repairFault = e.message() + QStringLiteral(" Die Tabelle kann nur gelesen werden.");
        io::syncData(m_fd, m_path);
        writePrimaryIndex();
        return; // the marker stays set
    }
    finishKeyedChange();
}

} // namespace engine::paradox
