// Changes in place: append, change and delete records of an open table, memos
// included. Each change runs under an advisory lock on the table file, checks
// the header and the record on disk first, and writes a record whole with one
// pwrite, so another program never sees half a record.
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
    if (count != qsizetype(m_head.fields.size()))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Für die %1 Felder der Tabelle %2 wurden %3 Werte übergeben.")
                              .arg(m_head.fields.size())
                              .arg(m_tableName)
                              .arg(count));
}

void DbfTable::ensureWritable() const
{
    if (!m_readOnlyReason.isEmpty())
        throw EngineError(m_readOnlyReason);
}

QByteArray DbfTable::readRecordDirect(RowId row) const
{
    QByteArray rec(m_head.recordLength, Qt::Uninitialized);
    const qint64 got = preadFully(m_fd, rec.data(), m_head.recordLength, m_head.headerLength + row * m_head.recordLength, m_path);
    if (got < m_head.recordLength)
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1").arg(row + 1));
    return rec;
}

void DbfTable::refreshHeaderLocked()
{
    char head[32];
    if (preadFully(m_fd, head, 32, 0, m_path) < 32)
        throw damagedFile(m_path, QStringLiteral("der Dateikopf ist kürzer als 32 Bytes"));
    if (quint8(head[0]) != m_head.version || le16(head + 8) != m_head.headerLength || le16(head + 10) != m_head.recordLength)
        throw structureChangedByOther(m_path);
    const qint64 count = le32(head + 4);
    const qint64 available = (fileSize(m_fd, m_path) - m_head.headerLength) / m_head.recordLength;
    if (count > available)
        throw damagedFile(m_path, QStringLiteral("der Dateikopf nennt %1 Sätze, die Datei enthält nur %2")
                                      .arg(count)
                                      .arg(available));
    if (count < m_head.recordCount)
        throw shrunkByOther(m_path);
    if (count != m_head.recordCount) {
        // Another program appended: its records become ours to show.
        const qint64 old = m_head.recordCount;
        m_head.recordCount = count;
        m_head.headerCount = quint32(count);
        resetChunks(old);
        invalidateCache();
    }
}

void DbfTable::setNullFlag(QByteArray &rec, int bit, bool on) const
{
    if (bit < 0 || m_head.nullFlagsOffset < 0 || bit / 8 >= m_head.nullFlagsWidth)
        return;
    char &byte = rec[m_head.nullFlagsOffset + bit / 8];
    if (on)
        byte = char(quint8(byte) | (1u << (bit % 8)));
    else
        byte = char(quint8(byte) & ~(1u << (bit % 8)));
}

void DbfTable::encode(QByteArray &rec, int field, const QVariant &value, std::vector<PendingMemo> &memos) const
{
    const DbfField &f = m_head.fields[size_t(field)];
    char *p = rec.data() + f.offset;
    const bool null = !value.isValid() || value.isNull();
    const QString &nativeType = m_defs.at(field).nativeType;
    const auto fill = [&](char c) { memset(p, c, size_t(f.width)); };
    const auto encodeText = [&](const QString &text) { return m_codec.encodeField(text, f.name); };
    const auto tooLong = [&](qsizetype size) {
        // In a multi-byte code page the width counts bytes, not characters.
        const QString unit = m_codec.isSingleByte() ? QStringLiteral("Zeichen") : QStringLiteral("Bytes");
        return EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Wert für das Feld %1 ist zu lang: %2 %4, das Feld fasst %3.")
                               .arg(f.name)
                               .arg(size)
                               .arg(f.width)
                               .arg(unit));
    };
    const auto invalid = [&](const QString &message) {
        return EngineError(ErrorKind::RefusedValue, QStringLiteral("%1: %2").arg(f.name, message));
    };
    // A number from a value or a user's text; anything else is refused.
    const auto finiteNumber = [&](const QVariant &v, TFieldType type) {
        bool ok = false;
        const double d = v.typeId() == QMetaType::QString ? parseValue(v.toString(), type).toDouble(&ok)
                                                          : v.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw invalid(msg::invalidFloat(v.toString()));
        return d;
    };
    setNullFlag(rec, f.nullBit, null);

    switch (f.kind) {
    case DbfField::Character: {
        fill(' ');
        if (null)
            return;
        QByteArray bytes;
        if (value.typeId() == QMetaType::QByteArray)
            bytes = value.toByteArray();
        else if (value.typeId() == QMetaType::QString)
            bytes = encodeText(value.toString());
        else if (value.typeId() == QMetaType::QDate)
            bytes = encodeText(formatDate(value.toDate()));
        else if (value.typeId() == QMetaType::QDateTime)
            bytes = encodeText(formatDateTime(value.toDateTime()));
        else if (value.typeId() == QMetaType::QTime)
            bytes = encodeText(formatTime(value.toTime()));
        else if (value.typeId() == QMetaType::Bool)
            bytes = encodeText(formatValue(value, ftBoolean));
        else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
            bytes = encodeText(formatFloat(value.toDouble()));
        else
            bytes = encodeText(value.toString());
        if (bytes.size() > f.width)
            throw tooLong(bytes.size());
        memcpy(p, bytes.constData(), size_t(bytes.size()));
        return;
    }
    case DbfField::Numeric: {
        fill(' ');
        if (null)
            return;
        QVariant v = value;
        if (v.typeId() == QMetaType::QString) {
            const QString text = v.toString().trimmed();
            if (text.isEmpty()) {
                setNullFlag(rec, f.nullBit, true);
                return;
            }
            v = parseValue(text, f.integerValue ? ftLargeint : ftFloat);
        } else if (v.typeId() == QMetaType::Bool) {
            v = qint64(v.toBool() ? 1 : 0);
        }
        const auto text = formatNumeric(v, f.width, f.decimals);
        if (!text) {
            bool ok = false;
            v.toDouble(&ok);
            if (!ok)
                throw invalid(msg::invalidFloat(value.toString()));
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Zahl %1 passt nicht in das Feld %2 (%3).")
                                  .arg(formatValue(value, ftFloat), f.name, nativeType));
        }
        memcpy(p, text->constData(), size_t(f.width));
        return;
    }
    case DbfField::Date: {
        fill(' ');
        if (null)
            return;
        const QDate d = dateOf(value);
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            throw invalid(msg::invalidDate(value.toString()));
        const QByteArray text = QStringLiteral("%1%2%3")
                                    .arg(d.year(), 4, 10, QLatin1Char('0'))
                                    .arg(d.month(), 2, 10, QLatin1Char('0'))
                                    .arg(d.day(), 2, 10, QLatin1Char('0'))
                                    .toLatin1();
        memcpy(p, text.constData(), 8);
        return;
    }
    case DbfField::Logical: {
        if (null) {
            p[0] = ' ';
            return;
        }
        bool b = value.toBool();
        if (value.typeId() == QMetaType::QString)
            b = parseValue(value.toString(), ftBoolean).toBool();
        p[0] = b ? 'T' : 'F';
        return;
    }
    case DbfField::Integer: {
        fill('\0');
        if (null)
            return;
        QVariant v = value.typeId() == QMetaType::QString ? parseValue(value.toString(), ftInteger) : value;
        bool ok = false;
        const double d = v.toDouble(&ok);
        const qint64 i = v.toLongLong();
        if (!ok || (!isIntegralValue(v) && d != std::floor(d)))
            throw invalid(msg::invalidInteger(value.toString()));
        if (i < std::numeric_limits<qint32>::min() || i > std::numeric_limits<qint32>::max())
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Zahl %1 passt nicht in das Feld %2 (%3).")
                                  .arg(i)
                                  .arg(f.name, nativeType));
        putLe32(p, quint32(qint32(i)));
        return;
    }
    case DbfField::Double: {
        fill('\0');
        if (null)
            return;
        const double d = finiteNumber(value, ftFloat);
        quint64 bits;
        memcpy(&bits, &d, sizeof bits);
        putLe64(p, bits);
        return;
    }
    case DbfField::Currency: {
        fill('\0');
        if (null)
            return;
        const double d = finiteNumber(value, ftCurrency);
        if (std::fabs(d) >= 9.2e14)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Zahl %1 passt nicht in das Feld %2 (%3).")
                                  .arg(formatCurrency(d), f.name, nativeType));
        putLe64(p, quint64(std::llround(d * 10000.0)));
        return;
    }
    case DbfField::DateTime: {
        fill('\0');
        if (null)
            return;
        const QDateTime dt = dateTimeOf(value);
        if (!dt.isValid() || dt.date().toJulianDay() <= 0)
            throw invalid(msg::invalidDateTime(value.toString()));
        putLe32(p, quint32(dt.date().toJulianDay()));
        putLe32(p + 4, quint32(dt.time().msecsSinceStartOfDay()));
        return;
    }
    case DbfField::MemoText:
    case DbfField::MemoBinary: {
        fill(f.binaryPointer ? '\0' : ' ');
        QByteArray data;
        quint32 type = FptText;
        if (!null) {
            if (f.kind == DbfField::MemoText) {
                data = value.typeId() == QMetaType::QByteArray ? value.toByteArray() : encodeText(value.toString());
            } else {
                data = value.typeId() == QMetaType::QString ? encodeText(value.toString()) : value.toByteArray();
                type = f.type == 'G' ? FptObject : FptPicture;
            }
        }
        // An empty memo is stored as no memo at all.
        if (!data.isEmpty()) {
            if (m_memoMissing)
                throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Memodatei %1 fehlt.").arg(m_memoName));
            if (!m_memo)
                throw EngineError(ErrorKind::Damaged, m_memoFault);
            memos.push_back({field, data, type});
        }
        return;
    }
    case DbfField::VarChar:
    case DbfField::VarBinary: {
        fill(f.kind == DbfField::VarChar ? ' ' : '\0');
        QByteArray bytes;
        if (!null)
            bytes = f.kind == DbfField::VarChar && value.typeId() != QMetaType::QByteArray
                        ? encodeText(value.toString())
                        : value.toByteArray();
        if (bytes.size() > f.width)
            throw tooLong(bytes.size());
        memcpy(p, bytes.constData(), size_t(bytes.size()));
        // A shorter value keeps its length in the last byte and says so in _NullFlags.
        const bool shorter = bytes.size() < f.width && f.varBit >= 0;
        if (shorter)
            p[f.width - 1] = char(bytes.size());
        setNullFlag(rec, f.varBit, shorter);
        return;
    }
    }
}

void DbfTable::writeMemos(QByteArray &rec, const std::vector<PendingMemo> &memos)
{
    for (const PendingMemo &m : memos) {
        const DbfField &f = m_head.fields[size_t(m.field)];
        const quint32 block = m_memo->append(m.data, m.fptType);
        char *p = rec.data() + f.offset;
        if (f.binaryPointer) {
            putLe32(p, block);
        } else {
            // dBASE III wrote the block number padded with blanks, later versions with zeros.
            const bool blanks = m_memo->layout() == MemoLayout::Dbt3;
            const QByteArray text = QByteArray::number(block).rightJustified(f.width, blanks ? ' ' : '0');
            memcpy(p, text.constData(), size_t(f.width));
        }
    }
}

void DbfTable::writeHeaderDate(quint32 *count)
{
    const QDate today = QDate::currentDate();
    char bytes[7];
    bytes[0] = char(std::clamp(today.year() - 1900, 0, 255));
    bytes[1] = char(today.month());
    bytes[2] = char(today.day());
    if (count)
        putLe32(bytes + 3, *count);
    pwriteFully(m_fd, bytes, count ? 7 : 3, 1, m_path);
    syncData(m_fd, m_path);
    m_head.lastUpdate = today;
}

RowId DbfTable::append(const QVector<QVariant> &values)
{
    ensureWritable();
    checkValueCount(values.size());
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_fd, m_path);
    refreshHeaderLocked();
    if (m_head.recordCount >= qint64(0xFFFFFFFFu) || m_head.headerLength + (m_head.recordCount + 1) * qint64(m_head.recordLength) > (qint64(1) << 40))
        throw EngineError(QStringLiteral("Die Tabelle %1 ist voll.").arg(nativePath(m_path)));

    // Visual FoxPro autoincrement fields take their next value from the header.
    QVector<QVariant> row = values;
    std::vector<std::pair<qint64, quint32>> nextValues; // header offset, next value
    for (size_t i = 0; i < m_head.fields.size(); ++i) {
        const DbfField &f = m_head.fields[i];
        if (!f.autoIncrement || (row[int(i)].isValid() && !row[int(i)].isNull()))
            continue;
        const qint64 at = 32 + qint64(f.descriptor) * 32 + 19;
        char counter[5];
        if (preadFully(m_fd, counter, 5, at, m_path) < 5)
            throw damagedFile(m_path, QStringLiteral("der Dateikopf lässt sich nicht ganz lesen"));
        const quint32 next = le32(counter);
        const quint8 step = quint8(counter[4]) ? quint8(counter[4]) : 1;
        row[int(i)] = qint64(qint32(next));
        nextValues.emplace_back(at, next + step);
    }

    QByteArray rec(m_head.recordLength, ' ');
    if (m_head.nullFlagsOffset >= 0)
        memset(rec.data() + m_head.nullFlagsOffset, 0, size_t(m_head.nullFlagsWidth));
    std::vector<PendingMemo> memos;
    for (int i = 0; i < int(m_head.fields.size()); ++i)
        encode(rec, i, row[i], memos);
    writeMemos(rec, memos);

    const qint64 position = m_head.recordCount;
    quint32 count = quint32(position + 1);
    writeKeepingIndexes(count, nullptr, rec, [&]() {
        QByteArray bytes = rec;
        bytes.append('\x1A');
        pwriteFully(m_fd, bytes.constData(), bytes.size(), m_head.headerLength + position * m_head.recordLength, m_path);
        syncData(m_fd, m_path);
        for (const auto &[at, next] : nextValues) {
            char counter[4];
            putLe32(counter, next);
            pwriteFully(m_fd, counter, 4, at, m_path);
        }
        writeHeaderDate(&count);
    });

    m_head.recordCount = position + 1;
    m_head.headerCount = count;
    m_head.recordsInFile = std::max(m_head.recordsInFile, m_head.recordCount);
    const size_t chunk = size_t(position / 65536);
    if (chunk < m_chunks.size()) {
        if (m_chunks[chunk].scanned)
            ++m_chunks[chunk].live;
    } else {
        m_chunks.resize(chunk + 1);
        m_chunks[chunk].scanned = true;
        m_chunks[chunk].live = 1;
    }
    invalidateCache();
    return position;
}

void DbfTable::update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values)
{
    ensureWritable();
    checkValueCount(values.size());
    if (!original.isEmpty())
        checkValueCount(original.size());
    const int n = int(m_head.fields.size());
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_fd, m_path);
    refreshHeaderLocked();
    checkRow(row);
    const QByteArray current = readRecordDirect(row);
    if (current.at(0) == '*')
        throw recordDeletedByOther();
    std::vector<QVariant> now(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        now[size_t(i)] = decode(current.constData(), i, row);
        if (!original.isEmpty() && !sameValue(now[size_t(i)], original[i]))
            throw recordChangedByOther();
    }
    // Fields whose value stays keep their bytes (and memos their blocks).
    QByteArray rec = current;
    std::vector<PendingMemo> memos;
    for (int i = 0; i < n; ++i) {
        const QVariant &was = now[size_t(i)];
        const bool nullChanges = m_head.fields[size_t(i)].nullBit >= 0 && isNullValue(was) != isNullValue(values[i]);
        if (!sameValue(was, values[i]) || nullChanges)
            encode(rec, i, values[i], memos);
    }
    if (rec == current && memos.empty())
        return;
    writeMemos(rec, memos);
    writeKeepingIndexes(quint32(row + 1), &current, rec, [&]() {
        pwriteFully(m_fd, rec.constData(), rec.size(), m_head.headerLength + row * m_head.recordLength, m_path);
        syncData(m_fd, m_path);
        writeHeaderDate(nullptr);
    });
    invalidateCache();
}

void DbfTable::remove(RowId row)
{
    ensureWritable();
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_fd, m_path);
    refreshHeaderLocked();
    checkRow(row);
    char flag = 0;
    const qint64 at = m_head.headerLength + row * m_head.recordLength;
    if (preadFully(m_fd, &flag, 1, at, m_path) < 1)
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1").arg(row + 1));
    if (flag == '*')
        throw recordDeletedByOther();
    // The index files keep a deleted record's key, unless a FOR condition asks DELETED().
    const QByteArray current = m_keeper ? readRecordDirect(row) : QByteArray();
    QByteArray marked = current;
    if (m_keeper)
        marked[0] = '*';
    writeKeepingIndexes(quint32(row + 1), &current, marked, [&]() {
        pwriteFully(m_fd, "*", 1, at, m_path);
        syncData(m_fd, m_path);
        writeHeaderDate(nullptr);
    });

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
    invalidateCache();
}

} // namespace engine::dbase
