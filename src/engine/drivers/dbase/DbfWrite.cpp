// Changes in place: append, change and delete records of an open table, memos
// included. Each change runs under an advisory lock on the table file, checks
// the header and the record on disk first, and keeps the index files and the
// deleted-record bookkeeping in step; the bytes are the file layer's (DbfFile).
#include "DbfTable.h"

#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfValues.h"
#include "EngineError.h"
#include "ValueText.h"

#include <QDateTime>
#include <cmath>
#include <optional>

namespace engine::dbase {

using namespace engine::io;

void DbfTable::checkValueCount(qsizetype count) const
{
    if (count != qsizetype(m_file.header().fields.size()))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Für die %1 Felder der Tabelle %2 wurden %3 Werte übergeben.")
                              .arg(m_file.header().fields.size())
                              .arg(m_file.tableName())
                              .arg(count));
}

void DbfTable::ensureWritable() const
{
    if (!m_readOnlyReason.isEmpty())
        throw EngineError(m_readOnlyReason);
}

void DbfTable::refreshHeaderLocked()
{
    if (const std::optional<qint64> old = m_file.refreshHeaderLocked())
        resetChunks(*old);
}

RowId DbfTable::append(const QVector<QVariant> &values)
{
    ensureWritable();
    checkValueCount(values.size());
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_file.fd(), m_file.path());
    refreshHeaderLocked();
    const DbfHeader &head = m_file.header();
    if (head.recordCount >= qint64(0xFFFFFFFFu) || head.headerLength + (head.recordCount + 1) * qint64(head.recordLength) > (qint64(1) << 40))
        throw EngineError(QStringLiteral("Die Tabelle %1 ist voll.").arg(nativePath(m_file.path())));

    // Visual FoxPro autoincrement fields take their next value from the header.
    QVector<QVariant> row = values;
    const std::vector<std::pair<qint64, quint32>> nextValues = m_file.takeAutoIncrements(row);

    QByteArray rec = m_file.blankRecord();
    std::vector<DbfFile::PendingMemo> memos;
    for (int i = 0; i < int(head.fields.size()); ++i)
        m_file.encode(rec, i, row[i], memos);
    m_file.writeMemos(rec, memos);

    const qint64 position = head.recordCount;
    const quint32 count = quint32(position + 1);
    writeKeepingIndexes(count, nullptr, rec, [&]() { m_file.writeAppended(rec, nextValues, count); });

    m_file.noteAppended();
    const size_t chunk = size_t(position / 65536);
    if (chunk < m_chunks.size()) {
        if (m_chunks[chunk].scanned)
            ++m_chunks[chunk].live;
    } else {
        m_chunks.resize(chunk + 1);
        m_chunks[chunk].scanned = true;
        m_chunks[chunk].live = 1;
    }
    return position;
}

void DbfTable::update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values)
{
    ensureWritable();
    checkValueCount(values.size());
    if (!original.isEmpty())
        checkValueCount(original.size());
    const int n = int(m_file.header().fields.size());
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_file.fd(), m_file.path());
    refreshHeaderLocked();
    m_file.checkRow(row);
    const QByteArray current = m_file.readRecordDirect(row);
    if (current.at(0) == '*')
        throw recordDeletedByOther();
    std::vector<QVariant> now(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        now[size_t(i)] = m_file.decode(current.constData(), i, row);
        if (!original.isEmpty() && !sameValue(now[size_t(i)], original[i]))
            throw recordChangedByOther();
    }
    // Fields whose value stays keep their bytes (and memos their blocks).
    QByteArray rec = current;
    std::vector<DbfFile::PendingMemo> memos;
    for (int i = 0; i < n; ++i) {
        const QVariant &was = now[size_t(i)];
        const bool nullChanges = m_file.header().fields[size_t(i)].nullBit >= 0 && isNullValue(was) != isNullValue(values[i]);
        if (!sameValue(was, values[i]) || nullChanges)
            m_file.encode(rec, i, values[i], memos);
    }
    if (rec == current && memos.empty())
        return;
    m_file.writeMemos(rec, memos);
    writeKeepingIndexes(quint32(row + 1), &current, rec, [&]() { m_file.writeRecord(row, rec); });
    m_file.invalidateCache();
}

void DbfTable::remove(RowId row)
{
    ensureWritable();
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_file.fd(), m_file.path());
    refreshHeaderLocked();
    m_file.checkRow(row);
    if (m_file.deletedOnDisk(row))
        throw recordDeletedByOther();
    // The index files keep a deleted record's key, unless a FOR condition asks DELETED().
    const QByteArray current = m_keeper ? m_file.readRecordDirect(row) : QByteArray();
    QByteArray marked = current;
    if (m_keeper)
        marked[0] = '*';
    writeKeepingIndexes(quint32(row + 1), &current, marked, [&]() { m_file.markDeleted(row); });
    ++m_countEpoch;

    const size_t index = size_t(row / 65536);
    if (index < m_chunks.size() && m_chunks[index].scanned) {
        Chunk &c = m_chunks[index];
        const auto offset = quint16(row - qint64(index) * 65536);
        const auto it = std::lower_bound(c.deleted.begin(), c.deleted.end(), offset);
        if (it == c.deleted.end() || *it != offset) {
            c.deleted.insert(it, offset);
            --c.live;
            m_cleanChunks = std::min(m_cleanChunks, index);
        }
    }
    m_file.invalidateCache();
}

void DbfTable::appendBulk(const QVector<QVariant> &values)
{
    ensureWritable();
    checkValueCount(values.size());
    m_file.appendBulk(values);
}

void DbfTable::finishBulk()
{
    m_file.finishBulk();
    resetChunks(0);
}

} // namespace engine::dbase
