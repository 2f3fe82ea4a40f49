#include "DbfTable.h"

#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfValues.h"
#include "EngineError.h"
#include "ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr qint64 ChunkRecords = DbfTable::RecordsPerChunk;

} // namespace

DbfTable::~DbfTable() = default;

std::unique_ptr<DbfTable> DbfTable::open(const QString &path, const OpenOptions &options)
{
    std::unique_ptr<DbfTable> t(new DbfTable);
    // One look at the folder serves all companion files.
    const QStringList entries = QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden, QDir::Name);
    const bool writable = t->m_file.open(path, options.readOnly, entries);
    t->buildFieldDefs();
    t->findIndexFiles(entries);
    t->readIndexDefinitions();

    const QString access = claimAccess(t->m_file.fd(), path, options.readOnly, options.exclusive, writable);
    t->m_exclusive = options.exclusive;
    t->m_readOnlyReason = t->readOnlyReasons(options, writable, access);

    const DbfHeader &head = t->m_file.header();
    t->m_chunks.resize(size_t((head.recordCount + ChunkRecords - 1) / ChunkRecords));
    return t;
}

QString DbfTable::readOnlyReasons(const OpenOptions &options, bool writable, const QString &access)
{
    QStringList reasons;
    if (!access.isEmpty())
        reasons << access;
    const MemoFile *memo = m_file.memo();
    if (m_file.memoMissing())
        reasons << QStringLiteral("Die Memodatei %1 fehlt; die Tabelle kann nur gelesen werden.").arg(m_file.memoName());
    else if (!m_file.memoFault().isEmpty())
        reasons << m_file.memoFault();
    else if (!options.readOnly && writable && memo && !memo->writable())
        reasons << QStringLiteral("Die Memodatei %1 ist schreibgeschützt.").arg(nativePath(memo->path()));
    if (!m_indexFiles.isEmpty()) {
        // Every index file must be kept valid on changes, or nothing may change.
        QStringList unkept;
        for (const QString &name : std::as_const(m_indexFiles)) {
            if (!IndexFile::isIndexFileName(name))
                unkept << name;
        }
        if (!unkept.isEmpty())
            reasons << QStringLiteral("Zur Tabelle gehören die Indexdateien %1, die beim Ändern nicht mitgeführt "
                                      "werden können; die Tabelle kann nur gelesen werden.")
                           .arg(unkept.join(QStringLiteral(", ")));
        else if (!m_indexFaults.isEmpty())
            reasons << QStringLiteral("%1 Die Indexdatei kann beim Ändern nicht mitgeführt werden; die Tabelle kann "
                                      "nur gelesen werden.")
                           .arg(m_indexFaults.join(QLatin1Char(' ')));
        else if (const QString fault = prepareIndexKeeping(); !fault.isEmpty())
            reasons << fault;
    }
    const DbfHeader &head = m_file.header();
    if (head.countMismatch)
        reasons << QStringLiteral("Der Dateikopf nennt %1 Sätze, die Datei enthält aber nur %2; die Tabelle kann "
                                  "nur gelesen werden.")
                       .arg(head.headerCount)
                       .arg(head.recordsInFile);
    return reasons.join(QLatin1Char(' '));
}

void DbfTable::buildFieldDefs()
{
    m_defs.reserve(int(m_file.header().fields.size()));
    int no = 1;
    for (const DbfField &f : m_file.header().fields) {
        FieldDef def;
        def.name = f.name;
        def.fieldNo = no++;
        // The structure listing shows every field's stored width as its length.
        def.size = f.width;
        def.nativeType = nativeTypeName(f);
        switch (f.kind) {
        case DbfField::Character: def.dataType = ftString; break;
        case DbfField::Numeric:
            def.dataType = !f.integerValue ? ftFloat : (f.width <= 9 ? ftInteger : ftLargeint);
            def.precision = f.width;
            def.scale = f.decimals;
            break;
        case DbfField::Date: def.dataType = ftDate; break;
        case DbfField::Logical: def.dataType = ftBoolean; break;
        case DbfField::Integer: def.dataType = ftInteger; break;
        case DbfField::Double: def.dataType = ftFloat; break;
        case DbfField::Currency:
            def.dataType = ftCurrency;
            def.scale = 4;
            break;
        case DbfField::DateTime: def.dataType = ftDateTime; break;
        case DbfField::MemoText: def.dataType = ftMemo; break;
        case DbfField::MemoBinary: def.dataType = (f.type == 'G' || f.type == 'P') ? ftGraphic : ftBlob; break;
        case DbfField::VarChar: def.dataType = ftString; break;
        case DbfField::VarBinary: def.dataType = ftVarBytes; break;
        }
        m_defs.append(def);
    }
}

void DbfTable::findIndexFiles(const QStringList &entries)
{
    const QString base = baseNameOf(QFileInfo(m_file.path()).fileName());
    static const char *const extensions[] = {".mdx", ".cdx", ".ndx", ".idx", ".ntx", ".dcx"};
    for (const QString &entry : entries) {
        for (const char *ext : extensions) {
            if (entry.compare(base + QLatin1String(ext), Qt::CaseInsensitive) == 0)
                m_indexFiles << entry;
        }
    }
}

QList<QPair<QString, QString>> DbfTable::facts() const
{
    const DbfHeader &head = m_file.header();
    QList<QPair<QString, QString>> out;
    out.append({QStringLiteral("Version"),
                QStringLiteral("%1 (0x%2)").arg(versionName(head.version), hexByte(head.version))});
    const CodePage &cp = m_file.codec().codePage();
    out.append({QStringLiteral("Codepage"),
                cp.number ? QStringLiteral("%1 (%2)").arg(cp.number).arg(QString::fromLatin1(cp.icuName))
                          : QString::fromLatin1(cp.icuName)});
    out.append({QStringLiteral("Herkunft der Codepage"), m_file.codePageOrigin()});
    if (!m_file.codePageNote().isEmpty())
        out.append({QStringLiteral("Hinweis zur Codepage"), m_file.codePageNote()});
    out.append({QStringLiteral("Letzte Änderung"),
                head.lastUpdate.isValid() ? formatDate(head.lastUpdate) : QStringLiteral("unbekannt")});
    out.append({QStringLiteral("Sätze im Dateikopf"),
                QStringLiteral("%1 (gelöschte eingeschlossen)").arg(head.headerCount)});
    if (head.countMismatch)
        out.append({QStringLiteral("Sätze in der Datei"),
                    QStringLiteral("%1 (die Datei ist kürzer, als der Kopf angibt)").arg(head.recordsInFile)});
    out.append({QStringLiteral("Kopflänge"), QStringLiteral("%1 Bytes").arg(head.headerLength)});
    out.append({QStringLiteral("Satzlänge"), QStringLiteral("%1 Bytes").arg(head.recordLength)});
    if (!m_file.hasMemoFields())
        out.append({QStringLiteral("Memodatei"), QStringLiteral("keine")});
    else if (m_file.memoMissing())
        out.append({QStringLiteral("Memodatei"), QStringLiteral("%1 (fehlt)").arg(m_file.memoName())});
    else if (!m_file.memo())
        out.append({QStringLiteral("Memodatei"), QStringLiteral("%1 (beschädigt)").arg(m_file.memoName())});
    else
        out.append({QStringLiteral("Memodatei"),
                    QStringLiteral("%1 (Blockgröße %2 Bytes)").arg(m_file.memoName()).arg(m_file.memo()->blockSize())});
    if (!m_indexFiles.isEmpty())
        out.append({QStringLiteral("Indexdateien"), m_indexFiles.join(QStringLiteral(", "))});
    if (!m_indexFaults.isEmpty())
        out.append({QStringLiteral("Indexfehler"), m_indexFaults.join(QLatin1Char(' '))});
    return out;
}

QList<QPair<QString, QVariant>> DbfTable::connectionProperties() const
{
    return {{QStringLiteral("Codepage"), m_file.codec().codePage().number}};
}

// ---- reading ------------------------------------------------------------------

QVariant DbfTable::value(RowId row, int field)
{
    if (field < 0 || field >= int(m_file.header().fields.size()))
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Das Feld Nummer %1 gibt es in der Tabelle %2 nicht.").arg(field + 1).arg(m_file.tableName()));
    return m_file.decode(record(row), field, row);
}

QString DbfTable::text(RowId row, int field)
{
    if (field < 0 || field >= int(m_file.header().fields.size()))
        return value(row, field).toString(); // value() reports the bad field number
    const DbfField &f = m_file.header().fields[size_t(field)];
    if (f.kind == DbfField::Numeric && !f.integerValue) {
        const char *rec = record(row);
        if (nullFlag(rec, f.nullBit))
            return QString();
        return numericText(rec + f.offset, f.width);
    }
    return TableSource::text(row, field);
}

// ---- deleted records ----------------------------------------------------------

qint64 DbfTable::chunkRecords(size_t index) const
{
    return std::min<qint64>(ChunkRecords, m_file.header().recordCount - qint64(index) * ChunkRecords);
}

void DbfTable::scanChunk(size_t index)
{
    Chunk &chunk = m_chunks[index];
    const qint64 n = chunkRecords(index);
    chunk.deleted = m_file.deletedAmong(qint64(index) * ChunkRecords, n);
    chunk.live = quint32(n - qint64(chunk.deleted.size()));
    chunk.scanned = true;
}

void DbfTable::resetChunks(qint64 fromRecord)
{
    ++m_countEpoch;
    const size_t keep = size_t(std::max<qint64>(0, fromRecord) / ChunkRecords);
    if (m_chunks.size() > keep)
        m_chunks.resize(keep);
    m_cleanChunks = std::min(m_cleanChunks, keep);
    m_chunks.resize(size_t((m_file.header().recordCount + ChunkRecords - 1) / ChunkRecords));
}

qint64 DbfTable::rowCount()
{
    qint64 total = 0;
    for (size_t i = 0; i < m_chunks.size(); ++i) {
        if (!m_chunks[i].scanned)
            scanChunk(i);
        total += m_chunks[i].live;
    }
    return total;
}

bool DbfTable::isEmpty()
{
    for (size_t i = 0; i < m_chunks.size(); ++i) {
        if (!m_chunks[i].scanned)
            scanChunk(i);
        if (m_chunks[i].live > 0)
            return false;
    }
    return true;
}

RowId DbfTable::rowAt(qint64 position)
{
    // Most tables have no deleted records at their start: there a position is its record.
    while (m_cleanChunks < m_chunks.size() && m_chunks[m_cleanChunks].scanned
           && m_chunks[m_cleanChunks].deleted.empty())
        ++m_cleanChunks;
    if (position >= 0 && position < qint64(m_cleanChunks) * ChunkRecords && position < m_file.header().recordCount)
        return position;
    if (position >= 0) {
        qint64 base = 0;
        for (size_t i = 0; i < m_chunks.size(); ++i) {
            if (!m_chunks[i].scanned)
                scanChunk(i);
            const Chunk &c = m_chunks[i];
            if (position < base + c.live) {
                const qint64 p = position - base;
                // Deleted offsets d[j]; d[j] - j live records precede d[j].
                qint64 lo = 0, hi = qint64(c.deleted.size());
                while (lo < hi) {
                    const qint64 mid = (lo + hi) / 2;
                    if (qint64(c.deleted[size_t(mid)]) - mid <= p)
                        lo = mid + 1;
                    else
                        hi = mid;
                }
                return qint64(i) * ChunkRecords + p + lo;
            }
            base += c.live;
        }
    }
    throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Position %1 liegt außerhalb der Tabelle %2.").arg(position + 1).arg(m_file.tableName()));
}

qint64 DbfTable::positionOf(RowId row)
{
    if (row < 0 || row >= m_file.header().recordCount)
        return -1;
    const size_t index = size_t(row / ChunkRecords);
    qint64 base = 0;
    for (size_t i = 0; i <= index; ++i) {
        if (!m_chunks[i].scanned)
            scanChunk(i);
        if (i < index)
            base += m_chunks[i].live;
    }
    const Chunk &c = m_chunks[index];
    const auto offset = quint16(row - qint64(index) * ChunkRecords);
    const auto it = std::lower_bound(c.deleted.begin(), c.deleted.end(), offset);
    if (it != c.deleted.end() && *it == offset)
        return -1;
    return base + offset - (it - c.deleted.begin());
}

} // namespace engine::dbase
