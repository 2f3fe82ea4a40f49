// Changes in place for tables without a key: append, change and delete records,
// blobs included. Each change runs under an advisory lock on the table file and
// first re-reads the header, so records another program appended are seen. New
// records go into free room of the last block or into a new block at the end;
// the record count in the header is written last.
#include "PxTable.h"

#include "EngineError.h"
#include "ValueText.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"

#include <cstring>
#include <optional>

namespace engine::paradox {

using io::damagedFile;
using io::le16;
using io::le32;
using io::nativePath;
using io::putLe16;
using io::putLe32;

namespace {

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || a.isNull() || !b.isValid() || b.isNull())
        return (!a.isValid() || a.isNull()) == (!b.isValid() || b.isNull());
    return a == b;
}

} // namespace

void PxTable::ensureWritable() const
{
    if (!m_readOnlyReason.isEmpty())
        throw EngineError(m_readOnlyReason);
}

void PxTable::refreshLocked()
{
    const PxHeader now = readHeader(m_fd, m_path);
    if (now.recordSize != m_h.recordSize || now.headerSize != m_h.headerSize || now.blockSize != m_h.blockSize
        || now.fields.size() != m_h.fields.size() || now.keyFields != m_h.keyFields || now.encryption != 0)
        throw io::structureChangedByOther(m_path);
    if (now.numRecords != m_h.numRecords || now.firstBlock != m_h.firstBlock || now.lastBlock != m_h.lastBlock
        || now.fileBlocks != m_h.fileBlocks || now.autoInc != m_h.autoInc) {
        m_h = now;
        indexBlocks();
        if (!m_structureFault.isEmpty())
            throw EngineError(ErrorKind::Damaged, m_structureFault);
    }
}

void PxTable::writeHeaderCounts(quint32 records, bool sync)
{
    // The records and block links on the disk before the header counts them, as
    // dBASE tables do: after a crash the count never names a record not written.
    // Keyed changes instead have the marker set on the disk while they run.
    if (sync)
        io::syncData(m_fd, m_path);
    writeHeaderBlocks();
    char autoInc[4];
    putLe32(autoInc, m_h.autoInc);
    io::pwriteFully(m_fd, autoInc, 4, off::AutoInc, m_path);
    // The count last: a reader that sees it finds the records it counts.
    char count[4];
    putLe32(count, records);
    io::pwriteFully(m_fd, count, 4, off::NumRecords, m_path);
    if (sync)
        io::syncData(m_fd, m_path);
    m_h.numRecords = records;
}

QByteArray PxTable::encodeRecord(const QVector<QVariant> &values, const QByteArray *old, bool storeBlobs)
{
    if (values.size() != m_defs.size())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Für die Tabelle %1 wurden %2 statt %3 Werte übergeben.")
                              .arg(m_tableName)
                              .arg(values.size())
                              .arg(m_defs.size()));
    QByteArray rec(m_h.recordSize, '\0');
    for (int i = 0; i < values.size(); ++i) {
        const PxField &f = m_h.fields[size_t(i)];
        char *p = rec.data() + f.offset;
        QVariant v = values.at(i);
        const bool textType = f.type == PxAlpha || f.type == PxMemo || f.type == PxFmtMemo;
        if (v.isValid() && !v.isNull() && v.typeId() == QMetaType::QString && !textType && v.toString().trimmed().isEmpty())
            v = QVariant();
        if (!v.isValid() || v.isNull()) {
            if (f.type == PxAutoInc && !old) {
                v = qint64(m_h.autoInc) + 1;
            } else {
                continue; // all zero: NULL
            }
        }
        if (f.type == PxAlpha || f.isBlob()) {
            quint16 modification = 1;
            if (old && f.isBlob())
                modification = quint16(le16(old->constData() + f.offset + f.leader() + 8) + 1);
            encodeValue(f, m_codec, v, p, modification, [&](const QByteArray &data, quint16 mod) {
                if (!storeBlobs)
                    return quint32(0);
                if (!m_blob)
                    throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Blobdatei %1 fehlt.").arg(nativePath(m_blobPath)));
                return m_blob->append(data, mod);
            });
            continue;
        }
        encodeFixed(f, v, p);
        if (f.type == PxAutoInc) {
            const qint64 n = v.toLongLong();
            if (n > qint64(m_h.autoInc))
                m_h.autoInc = quint32(n);
        }
    }
    if (!old)
        applyDefaults(m_checks, m_h, rec.data());
    return rec;
}

QByteArray PxTable::checkedRecord(const QVector<QVariant> &values, const QByteArray *old)
{
    const quint32 savedAutoInc = m_h.autoInc;
    QByteArray rec;
    try {
        rec = encodeRecord(values, old, false);
        m_h.autoInc = savedAutoInc;
        const PxViolation broken = firstViolation(m_checks, m_h, rec.constData());
        if (broken.rule != PxRule::None)
            throw EngineError(ErrorKind::RefusedValue, violationText(broken, rec));
        if (keyed()) {
            checkKey(rec);
            const bool sameKey = old && memcmp(rec.constData(), old->constData(), size_t(m_keySize)) == 0;
            const QByteArray key = keyOf(rec.constData());
            if (!sameKey && findExact(key).exists)
                throw duplicateKey(rec);
            // Under an international sort order a key whose place is not certain is
            // refused rather than stored where other programs would not look for it.
            if (!sameKey && !placeIsSure(findKey(key), key))
                throw EngineError(ErrorKind::RefusedValue,
                                  QStringLiteral("Die Änderung wird nicht gespeichert: Die Tabelle %1 ordnet ihre Schlüssel nach der "
                                                 "Sortierfolge „%2“, und wo der Schlüssel %3 darin steht, ist nicht sicher bekannt "
                                                 "(ein gleich lautender Schlüssel in anderer Schreibweise oder ein Zeichen, dessen "
                                                 "Platz in dieser Sortierfolge unbekannt ist). Es wurde nichts geändert.")
                                      .arg(m_tableName, m_collation.sortOrderName(), keyText(rec)));
        }
    } catch (...) {
        m_h.autoInc = savedAutoInc;
        throw;
    }
    return rec;
}

QString PxTable::violationText(const PxViolation &broken, const QByteArray &rec)
{
    const QString field = m_h.fields[size_t(broken.field)].name;
    if (broken.rule == PxRule::Required)
        return QStringLiteral("Gültigkeitsprüfung: Das Feld „%1“ der Tabelle %2 muss ausgefüllt werden (Eingabe erforderlich).")
            .arg(field, m_tableName);
    const auto text = [&](const char *bytes) {
        QByteArray one(m_h.recordSize, '\0');
        const PxField &f = m_h.fields[size_t(broken.field)];
        memcpy(one.data() + f.offset, bytes, size_t(f.size));
        return formatValue(decode(one.constData(), broken.field), m_defs.at(broken.field).dataType);
    };
    const QString value = text(rec.constData() + m_h.fields[size_t(broken.field)].offset);
    return QStringLiteral("Gültigkeitsprüfung: Der Wert %1 im Feld „%2“ der Tabelle %3 ist %4 als der %5 %6.")
        .arg(value, field, m_tableName,
             broken.rule == PxRule::Minimum ? QStringLiteral("kleiner") : QStringLiteral("größer"),
             broken.rule == PxRule::Minimum ? QStringLiteral("Mindestwert") : QStringLiteral("Höchstwert"),
             text(broken.bound.constData()));
}

bool PxTable::sameValues(const char *rec, const QVector<QVariant> &values)
{
    for (int i = 0; i < values.size() && i < m_defs.size(); ++i) {
        if (!sameValue(decode(rec, i), values.at(i)))
            return false;
    }
    return true;
}

RowId PxTable::append(const QVector<QVariant> &values)
{
    ensureWritable();
    io::FileLock lock(m_fd, m_path);
    refreshLocked();
    const quint32 savedAutoInc = m_h.autoInc;
    const QByteArray checked = checkedRecord(values, nullptr);
    // The secondary indexes' places are checked before anything is written.
    Secondaries secondaries;
    if (keyed()) {
        secondaries = openSecondaries();
        for (auto &s : secondaries)
            s->checkInsert(s->entryFor(checked.constData(), 0));
    }
    QByteArray rec;
    try {
        rec = encodeRecord(values, nullptr);
    } catch (...) {
        m_h.autoInc = savedAutoInc;
        throw;
    }
    if (keyed()) {
        setChangeUnderWay(true);
        KeyedChange change(this);
        const RowId inserted = insertKeyed(rec);
        updateSecondaries(secondaries, nullptr, &rec);
        writeHeaderCounts(m_h.numRecords + 1, false);
        finishKeyedChange(&secondaries);
        // The row as it stands after the change (hints aside, nothing moves it).
        Q_UNUSED(inserted);
        const KeyPlace place = findExact(keyOf(rec.constData()));
        return rowId(m_blocks[size_t(place.block)].number, place.slot);
    }
    const int perBlock = (m_h.blockSize - BlockHeaderSize) / m_h.recordSize;
    RowId row;
    if (!m_blocks.empty() && m_blocks.back().count < perBlock) {
        BlockRef &last = m_blocks.back();
        const qint64 at = blockOffset(m_h, last.number);
        io::pwriteFully(m_fd, rec.constData(), rec.size(), at + BlockHeaderSize + qint64(last.count) * m_h.recordSize, m_path);
        char word[2];
        putLe16(word, quint16(last.count * m_h.recordSize));
        io::pwriteFully(m_fd, word, 2, at + 4, m_path);
        row = rowId(last.number, last.count);
        ++last.count;
    } else {
        if (m_h.fileBlocks >= 0xFFFF)
            throw EngineError(QStringLiteral("Die Tabelle %1 hat die größte mögliche Zahl von Blöcken erreicht.").arg(nativePath(m_path)));
        const quint16 number = quint16(m_h.fileBlocks + 1);
        const quint16 previous = m_blocks.empty() ? 0 : m_blocks.back().number;
        QByteArray block(m_h.blockSize, '\0');
        putLe16(block.data() + 2, previous);
        memcpy(block.data() + BlockHeaderSize, rec.constData(), size_t(rec.size()));
        io::pwriteFully(m_fd, block.constData(), block.size(), blockOffset(m_h, number), m_path);
        if (previous != 0) {
            char word[2];
            putLe16(word, number);
            io::pwriteFully(m_fd, word, 2, blockOffset(m_h, previous), m_path);
        } else {
            m_h.firstBlock = number;
        }
        m_h.lastBlock = number;
        m_h.fileBlocks = number;
        m_h.usedBlocks = number;
        m_blockIndex.resize(size_t(number) + 1, -1);
        m_blockIndex[number] = int(m_blocks.size());
        m_blocks.push_back({number, 1, m_rowCount, {}});
        row = rowId(number, 0);
    }
    ++m_rowCount;
    writeHeaderCounts(m_h.numRecords + 1);
    invalidateCache();
    return row;
}

void PxTable::checkRowLocked(RowId row)
{
    refreshLocked();
    if (positionOf(row) < 0)
        throw io::recordDeletedByOther();
}

void PxTable::update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values)
{
    ensureWritable();
    io::FileLock lock(m_fd, m_path);
    checkRowLocked(row);
    const quint16 number = blockOf(row);
    const int slot = slotOf(row);
    const QByteArray block = readBlockDirect(number);
    const QByteArray old(block.constData() + BlockHeaderSize + slot * m_h.recordSize, m_h.recordSize);
    if (!original.isEmpty() && !sameValues(old.constData(), original))
        throw io::recordChangedByOther();
    const QByteArray checked = checkedRecord(values, &old);
    const bool keyChanges = memcmp(checked.constData(), old.constData(), size_t(m_keySize)) != 0;
    // Only the secondary indexes whose entry changes are touched; their places are
    // checked before anything is written.
    Secondaries secondaries;
    if (keyed()) {
        for (auto &s : openSecondaries()) {
            if (s->sameEntry(old.constData(), checked.constData()))
                continue;
            s->checkRemove(s->entryFor(old.constData(), number));
            s->checkInsert(s->entryFor(checked.constData(), number));
            secondaries.push_back(std::move(s));
        }
    }
    const QByteArray rec = encodeRecord(values, &old);
    if (keyChanges) {
        // A new key moves the record: it is stored at its new place first and the
        // old one removed after, so a cut-off change never loses it.
        setChangeUnderWay(true);
        KeyedChange change(this);
        m_movedFrom = row;
        m_movedTo = insertKeyed(rec);
        const KeyPlace was = findExact(keyOf(old.constData()));
        const quint16 oldNumber = m_blocks[size_t(was.block)].number;
        removeSlot(oldNumber, was.slot);
        // The moved record's own place may have shifted by the removal.
        updateSecondaries(secondaries, &old, &rec);
        const KeyPlace now = findExact(keyOf(rec.constData()));
        m_movedTo = rowId(m_blocks[size_t(now.block)].number, now.slot);
        writeHeaderCounts(m_h.numRecords, false);
        finishKeyedChange(&secondaries);
        return;
    }
    std::optional<KeyedChange> change;
    if (!secondaries.empty()) {
        setChangeUnderWay(true);
        change.emplace(this);
    }
    io::pwriteFully(m_fd, rec.constData(), rec.size(), blockOffset(m_h, number) + BlockHeaderSize + qint64(slot) * m_h.recordSize, m_path);
    invalidateCache();
    // A changed autoincrement value may have raised the counter.
    char autoInc[4];
    putLe32(autoInc, m_h.autoInc);
    io::pwriteFully(m_fd, autoInc, 4, off::AutoInc, m_path);
    if (secondaries.empty()) {
        io::syncData(m_fd, m_path);
        return;
    }
    updateSecondaries(secondaries, &old, &rec);
    finishKeyedChange(&secondaries);
}

void PxTable::remove(RowId row)
{
    ensureWritable();
    io::FileLock lock(m_fd, m_path);
    checkRowLocked(row);
    Secondaries secondaries;
    QByteArray old;
    if (keyed()) {
        const QByteArray block = readBlockDirect(blockOf(row));
        old = QByteArray(block.constData() + BlockHeaderSize + slotOf(row) * m_h.recordSize, m_h.recordSize);
        secondaries = openSecondaries();
        for (auto &s : secondaries)
            s->checkRemove(s->entryFor(old.constData(), blockOf(row)));
    }
    std::optional<KeyedChange> change;
    if (keyed()) {
        setChangeUnderWay(true);
        change.emplace(this);
    }
    m_splitInto = 0;
    removeSlot(blockOf(row), slotOf(row));
    if (keyed())
        updateSecondaries(secondaries, &old, nullptr);
    writeHeaderCounts(m_h.numRecords - 1, !keyed());
    if (keyed())
        finishKeyedChange(&secondaries);
}

} // namespace engine::paradox
