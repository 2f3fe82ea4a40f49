// Writing a dBASE table file: values encoded into record bytes, memos
// appended, records and the header written in place. Each record goes out
// whole with one pwrite, so another program never sees half a record; the
// caller holds the table's lock and keeps the index files in step.
#include "DbfFile.h"

#include "common/Bytes.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfValues.h"
#include "EngineError.h"
#include "ValueText.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace engine::dbase {

using namespace engine::io;

QByteArray DbfFile::blankRecord() const
{
    QByteArray rec(m_head.recordLength, ' ');
    if (m_head.nullFlagsOffset >= 0)
        memset(rec.data() + m_head.nullFlagsOffset, 0, size_t(m_head.nullFlagsWidth));
    return rec;
}

QByteArray DbfFile::readRecordDirect(qint64 row) const
{
    QByteArray rec(m_head.recordLength, Qt::Uninitialized);
    const qint64 got = preadFully(m_fd, rec.data(), m_head.recordLength, m_head.headerLength + row * m_head.recordLength, m_path);
    if (got < m_head.recordLength)
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1").arg(row + 1));
    return rec;
}

std::optional<qint64> DbfFile::refreshHeaderLocked()
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
        invalidateCache();
        return old;
    }
    return std::nullopt;
}

void DbfFile::setNullFlag(QByteArray &rec, int bit, bool on) const
{
    if (bit < 0 || m_head.nullFlagsOffset < 0 || bit / 8 >= m_head.nullFlagsWidth)
        return;
    char &byte = rec[m_head.nullFlagsOffset + bit / 8];
    if (on)
        byte = char(quint8(byte) | (1u << (bit % 8)));
    else
        byte = char(quint8(byte) & ~(1u << (bit % 8)));
}

namespace {

// One value put into one field's bytes, a step a field kind; null says the
// value is empty. The steps throw EngineError for a value the field refuses.
struct FieldEncoding {
    const DbfField &f;
    const TextCodec &codec;
    char *p;
    const QVariant &value;
    bool null;

    void fill(char c) const { memset(p, c, size_t(f.width)); }
    QByteArray encodeText(const QString &text) const { return codec.encodeField(text, f.name); }
    EngineError tooLong(qsizetype size) const
    {
        // In a multi-byte code page the width counts bytes, not characters.
        const QString unit = codec.isSingleByte() ? QStringLiteral("Zeichen") : QStringLiteral("Bytes");
        return EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Wert für das Feld %1 ist zu lang: %2 %4, das Feld fasst %3.")
                               .arg(f.name)
                               .arg(size)
                               .arg(f.width)
                               .arg(unit));
    }
    EngineError invalid(const QString &message) const
    {
        return EngineError(ErrorKind::RefusedValue, QStringLiteral("%1: %2").arg(f.name, message));
    }
    EngineError doesNotFit(const QString &number) const
    {
        return EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Zahl %1 passt nicht in das Feld %2 (%3).")
                               .arg(number, f.name, nativeTypeName(f)));
    }
    // A number from a value or a user's text; anything else is refused.
    double finiteNumber(const QVariant &v, TFieldType type) const
    {
        bool ok = false;
        const double d = v.typeId() == QMetaType::QString ? parseValue(v.toString(), type).toDouble(&ok)
                                                          : v.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw invalid(msg::invalidFloat(v.toString()));
        return d;
    }

    void character() const
    {
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
    }

    // False for blank text: the field is then null.
    bool numeric() const
    {
        fill(' ');
        if (null)
            return true;
        QVariant v = value;
        if (v.typeId() == QMetaType::QString) {
            const QString text = v.toString().trimmed();
            if (text.isEmpty())
                return false;
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
            throw doesNotFit(formatValue(value, ftFloat));
        }
        memcpy(p, text->constData(), size_t(f.width));
        return true;
    }

    void date() const
    {
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
    }

    void logical() const
    {
        if (null) {
            p[0] = ' ';
            return;
        }
        bool b = value.toBool();
        if (value.typeId() == QMetaType::QString)
            b = parseValue(value.toString(), ftBoolean).toBool();
        p[0] = b ? 'T' : 'F';
    }

    void integer() const
    {
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
            throw doesNotFit(QString::number(i));
        putLe32(p, quint32(qint32(i)));
    }

    void doubleNumber() const
    {
        fill('\0');
        if (null)
            return;
        const double d = finiteNumber(value, ftFloat);
        quint64 bits;
        memcpy(&bits, &d, sizeof bits);
        putLe64(p, bits);
    }

    void currency() const
    {
        fill('\0');
        if (null)
            return;
        const double d = finiteNumber(value, ftCurrency);
        if (std::fabs(d) >= 9.2e14)
            throw doesNotFit(formatCurrency(d));
        putLe64(p, quint64(std::llround(d * 10000.0)));
    }

    void dateTime() const
    {
        fill('\0');
        if (null)
            return;
        const QDateTime dt = dateTimeOf(value);
        if (!dt.isValid() || dt.date().toJulianDay() <= 0)
            throw invalid(msg::invalidDateTime(value.toString()));
        putLe32(p, quint32(dt.date().toJulianDay()));
        putLe32(p + 4, quint32(dt.time().msecsSinceStartOfDay()));
    }

    // Clears the block number; returns the memo's bytes (empty: no memo) and its FoxPro type.
    QByteArray memo(quint32 &type) const
    {
        fill(f.binaryPointer ? '\0' : ' ');
        QByteArray data;
        type = FptText;
        if (!null) {
            if (f.kind == DbfField::MemoText) {
                data = value.typeId() == QMetaType::QByteArray ? value.toByteArray() : encodeText(value.toString());
            } else {
                data = value.typeId() == QMetaType::QString ? encodeText(value.toString()) : value.toByteArray();
                type = f.type == 'G' ? FptObject : FptPicture;
            }
        }
        return data;
    }

    // Returns whether the value is shorter than the field.
    bool varying() const
    {
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
        return shorter;
    }
};

} // namespace

void DbfFile::encode(QByteArray &rec, int field, const QVariant &value, std::vector<PendingMemo> &memos) const
{
    const DbfField &f = m_head.fields[size_t(field)];
    const FieldEncoding e{f, m_codec, rec.data() + f.offset, value, !value.isValid() || value.isNull()};
    setNullFlag(rec, f.nullBit, e.null);

    switch (f.kind) {
    case DbfField::Character: e.character(); return;
    case DbfField::Numeric:
        if (!e.numeric())
            setNullFlag(rec, f.nullBit, true);
        return;
    case DbfField::Date: e.date(); return;
    case DbfField::Logical: e.logical(); return;
    case DbfField::Integer: e.integer(); return;
    case DbfField::Double: e.doubleNumber(); return;
    case DbfField::Currency: e.currency(); return;
    case DbfField::DateTime: e.dateTime(); return;
    case DbfField::MemoText:
    case DbfField::MemoBinary: {
        quint32 type = FptText;
        const QByteArray data = e.memo(type);
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
    case DbfField::VarBinary: setNullFlag(rec, f.varBit, e.varying()); return;
    }
}

void DbfFile::writeMemos(QByteArray &rec, const std::vector<PendingMemo> &memos)
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

void DbfFile::writeHeaderDate(quint32 *count)
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

std::vector<std::pair<qint64, quint32>> DbfFile::takeAutoIncrements(QVector<QVariant> &row) const
{
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
    return nextValues;
}

void DbfFile::writeAppended(const QByteArray &rec, const std::vector<std::pair<qint64, quint32>> &nextValues, quint32 count)
{
    const qint64 position = m_head.recordCount;
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
}

void DbfFile::noteAppended()
{
    m_head.recordCount += 1;
    m_head.headerCount = quint32(m_head.recordCount);
    m_head.recordsInFile = std::max(m_head.recordsInFile, m_head.recordCount);
    invalidateCache();
}

void DbfFile::writeRecord(qint64 row, const QByteArray &rec)
{
    // No count changes, so the record and the header's date reach the disk in
    // one sync (writeHeaderDate's).
    pwriteFully(m_fd, rec.constData(), rec.size(), m_head.headerLength + row * m_head.recordLength, m_path);
    writeHeaderDate(nullptr);
}

bool DbfFile::deletedOnDisk(qint64 row) const
{
    char flag = 0;
    if (preadFully(m_fd, &flag, 1, m_head.headerLength + row * m_head.recordLength, m_path) < 1)
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1").arg(row + 1));
    return flag == '*';
}

void DbfFile::markDeleted(qint64 row)
{
    pwriteFully(m_fd, "*", 1, m_head.headerLength + row * m_head.recordLength, m_path);
    writeHeaderDate(nullptr); // one sync for both, as in writeRecord
}

void DbfFile::addTableFlags(quint8 flags)
{
    if ((m_head.tableFlags & flags) == flags)
        return;
    const char flag = char(m_head.tableFlags | flags);
    pwriteFully(m_fd, &flag, 1, 28, m_path);
    syncData(m_fd, m_path);
    m_head.tableFlags = quint8(flag);
}

void DbfFile::beginBulkRecords(qint64 count)
{
    if (m_memo && m_memo->writable())
        m_memo->beginBulk(); // the first call begins, later ones find it begun
    if (m_head.recordCount + m_bulkRecords + count > qint64(0xFFFFFFFFu))
        throw EngineError(QStringLiteral("Die Tabelle %1 ist voll.").arg(nativePath(m_path)));
}

void DbfFile::appendBulk(const QVector<QVariant> &values)
{
    beginBulkRecords(1);
    QByteArray rec = blankRecord();
    std::vector<PendingMemo> memos;
    for (int i = 0; i < int(m_head.fields.size()); ++i)
        encode(rec, i, values[i], memos);
    appendBulkRecord(rec, memos);
}

void DbfFile::appendBulkRecord(QByteArray &rec, const std::vector<PendingMemo> &memos)
{
    beginBulkRecords(1);
    writeMemos(rec, memos);
    appendBulkRecords(rec.constData(), 1);
}

void DbfFile::appendBulkRecords(const char *records, qint64 count)
{
    beginBulkRecords(count);
    const qint64 bytes = count * m_head.recordLength;
    if (bytes >= (1 << 16)) {
        // Large pieces are written from where they are rather than copied first.
        flushBulk();
        pwriteFully(m_fd, records, bytes, m_head.headerLength + m_head.recordCount * m_head.recordLength, m_path);
        m_head.recordCount += count;
        return;
    }
    m_bulk.append(records, bytes);
    m_bulkRecords += count;
    if (m_bulk.size() >= (1 << 20))
        flushBulk();
}

void DbfFile::flushBulk()
{
    if (m_bulkRecords == 0)
        return;
    pwriteFully(m_fd, m_bulk.constData(), m_bulk.size(), m_head.headerLength + m_head.recordCount * m_head.recordLength, m_path);
    m_head.recordCount += m_bulkRecords;
    m_bulk.clear();
    m_bulkRecords = 0;
}

void DbfFile::finishBulk()
{
    flushBulk();
    if (m_memo)
        m_memo->endBulk(); // the memos before the records that point at them
    const char end = '\x1A';
    pwriteFully(m_fd, &end, 1, m_head.headerLength + m_head.recordCount * m_head.recordLength, m_path);
    syncData(m_fd, m_path);
    quint32 count = quint32(m_head.recordCount);
    writeHeaderDate(&count);
    m_head.headerCount = count;
    m_head.recordsInFile = m_head.recordCount;
    invalidateCache();
}

} // namespace engine::dbase
