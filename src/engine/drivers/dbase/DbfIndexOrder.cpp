// A dBASE table's index files: their definitions at open, rows in index order on
// demand, the key of a row for an index, and keeping the files valid on changes.
#include "DbfIndex.h"
#include "DbfIndexTree.h"
#include "DbfIndexWrite.h"
#include "common/Journal.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfTable.h"
#include "DbfValues.h"
#include "EngineError.h"
#include "ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace engine::dbase {

using namespace engine::io;

namespace {

bool isProductionIndex(const QString &fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    return ext == QLatin1String("mdx") || ext == QLatin1String("cdx") || ext == QLatin1String("dcx");
}

} // namespace

void DbfTable::readIndexDefinitions()
{
    QStringList files;
    for (const QString &name : std::as_const(m_indexFiles)) {
        if (IndexFile::isIndexFileName(name))
            files << name;
    }
    // The production index first: its tags are the table's own.
    std::stable_sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return isProductionIndex(a) && !isProductionIndex(b);
    });
    QStringList fieldNames;
    for (const FieldDef &f : std::as_const(m_defs))
        fieldNames << f.name;
    const QDir dir = QFileInfo(m_file.path()).dir();
    for (const QString &name : std::as_const(files)) {
        // A damaged index file costs its order, not the table: the fault is kept to be told.
        try {
            auto file = IndexFile::open(dir.filePath(name));
            for (int i = 0; i < file->tags().size(); ++i) {
                m_indexDefs.append(makeIndexDef(file->tags().at(i), name, fieldNames));
                m_indexTags.append({int(m_indexes.size()), i});
            }
            m_indexes.push_back(std::move(file));
        } catch (const EngineError &e) {
            m_indexFaults << e.message();
        }
    }
}

int DbfTable::findIndex(const QString &indexName) const
{
    for (int i = 0; i < m_indexDefs.size(); ++i) {
        if (m_indexDefs.at(i).name.compare(indexName, Qt::CaseInsensitive) == 0)
            return i;
    }
    if (!m_indexFaults.isEmpty())
        throw EngineError(ErrorKind::Damaged, m_indexFaults.join(QLatin1Char(' ')));
    throw datasetError(m_file.tableName(), msg::indexNotFound(indexName), ErrorKind::NotFound);
}

QVector<RowId> DbfTable::indexOrder(const QString &indexName)
{
    const int found = findIndex(indexName);
    // The headers as they are now: a change by another program may have moved the root.
    auto &slot = m_indexes.at(size_t(m_indexTags.at(found).first));
    slot = IndexFile::open(slot->path());
    const IndexFile &file = *slot;
    const QVector<quint32> records = file.recordNumbers(m_indexTags.at(found).second);

    // Deleted records are known chunk by chunk; looking them up there spares
    // reading the records in index order.
    for (size_t i = 0; i < m_chunks.size(); ++i) {
        if (!m_chunks[i].scanned)
            scanChunk(i);
    }
    QVector<RowId> out;
    out.reserve(records.size());
    std::vector<bool> seen(size_t(m_file.header().recordCount), false);
    for (const quint32 number : records) {
        if (number > m_file.header().headerCount)
            throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Indexdatei %1 passt nicht zur Tabelle %2: sie verweist auf den "
                                             "Satz %3, die Tabelle hat nur %4 Sätze.")
                                  .arg(nativePath(file.path()), m_file.tableName())
                                  .arg(number)
                                  .arg(m_file.header().headerCount));
        // Records the header counts but a short file lacks are already reported as missing.
        const RowId row = RowId(number) - 1;
        if (row >= m_file.header().recordCount || seen[size_t(row)])
            continue;
        seen[size_t(row)] = true;
        const Chunk &chunk = m_chunks[size_t(row / 65536)];
        const auto offset = quint16(row % 65536);
        if (!chunk.deleted.empty() && std::binary_search(chunk.deleted.begin(), chunk.deleted.end(), offset))
            continue;
        out.append(row);
    }
    return out;
}

std::vector<bool> DbfTable::nullableFields() const
{
    std::vector<bool> out;
    for (const DbfField &f : m_file.header().fields)
        out.push_back(f.nullBit >= 0);
    return out;
}

XValue DbfTable::xbaseValue(const char *rec, int field) const
{
    const DbfField &f = m_file.header().fields[size_t(field)];
    if (nullFlag(rec, f.nullBit)) {
        XValue v = xbaseBlank(f);
        v.null = true;
        return v;
    }
    const char *p = rec + f.offset;
    switch (f.kind) {
    case DbfField::Character:
        return XValue::ofText(m_file.codec().decode(p, f.width));
    case DbfField::Numeric: {
        const QVariant v = parseNumeric(p, f.width, false);
        return XValue::ofNumber(v.isValid() ? v.toDouble() : 0.0);
    }
    case DbfField::Date: {
        const QVariant v = parseDate(p);
        return XValue::ofDate(v.isValid() ? v.toDate().toJulianDay() : 0);
    }
    case DbfField::Logical:
        return XValue::ofLogical(p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y');
    case DbfField::DateTime: {
        const QVariant v = parseDateTime(p);
        return XValue::ofDate(v.isValid() ? v.toDateTime().date().toJulianDay() : 0);
    }
    case DbfField::Integer:
    case DbfField::Double:
    case DbfField::Currency: {
        const QVariant v = m_file.decode(rec, field, 0);
        return XValue::ofNumber(v.isValid() ? v.toDouble() : 0.0);
    }
    case DbfField::MemoText:
    case DbfField::VarChar:
        return XValue::ofText(m_file.decode(rec, field, 0).toString());
    case DbfField::MemoBinary:
    case DbfField::VarBinary:
        return XValue::ofText(QString::fromLatin1(m_file.decode(rec, field, 0).toByteArray()));
    }
    return {};
}

XValue DbfTable::xbaseBlank(const DbfField &f) const
{
    switch (f.kind) {
    case DbfField::Character: return XValue::ofText(QString(f.width, QLatin1Char(' ')));
    case DbfField::Date:
    case DbfField::DateTime: return XValue::ofDate(0);
    case DbfField::Logical: return XValue::ofLogical(false);
    case DbfField::MemoText:
    case DbfField::MemoBinary:
    case DbfField::VarChar:
    case DbfField::VarBinary: return XValue::ofText(QString());
    default: return XValue::ofNumber(0);
    }
}

namespace {

class RecordView final : public XRecord {
public:
    RecordView(const DbfTable &table, const char *rec, qint64 number) : m_table(table), m_rec(rec), m_number(number) {}
    XValue field(int index) const override { return m_table.xbaseValue(m_rec, index); }
    bool deleted() const override { return m_rec[0] == '*'; }
    qint64 recordNumber() const override { return m_number; }

private:
    const DbfTable &m_table;
    const char *m_rec;
    qint64 m_number;
};

} // namespace

const XExpression *DbfTable::keyExpression(const QString &indexName, bool *descending)
{
    const int found = findIndex(indexName);
    if (m_keyExpressions.size() != size_t(m_indexDefs.size()))
        m_keyExpressions.resize(size_t(m_indexDefs.size()));
    const IndexTagInfo &tag = m_indexes.at(size_t(m_indexTags.at(found).first))->tags().at(m_indexTags.at(found).second);
    if (descending)
        *descending = tag.descending;
    auto &expression = m_keyExpressions[size_t(found)];
    if (!expression) {
        QStringList fieldNames;
        for (const FieldDef &f : std::as_const(m_defs))
            fieldNames << f.name;
        try {
            expression = XExpression::parse(tag.keyExpression, fieldNames);
        } catch (const EngineError &e) {
            throw EngineError(ErrorKind::Unsupported, QStringLiteral("Der Schlüssel „%1“ des Index %2 lässt sich nicht berechnen: %3")
                                  .arg(tag.keyExpression, tag.name, e.message()));
        }
    }
    return expression.get();
}

QString DbfTable::keyText(const XValue &v)
{
    switch (v.type) {
    case XValue::Char: {
        qsizetype n = v.text.size();
        while (n > 0 && v.text.at(n - 1) == QLatin1Char(' '))
            --n;
        return v.text.left(n);
    }
    case XValue::Number: return formatFloat(v.number);
    case XValue::Date: return v.number > 0 ? formatDate(QDate::fromJulianDay(qint64(v.number))) : QString();
    case XValue::Logical: return formatValue(v.flag, ftBoolean);
    }
    return {};
}

QString DbfTable::indexKeyText(const QString &indexName, RowId row)
{
    const XExpression *expression = keyExpression(indexName);
    return keyText(expression->evaluate(RecordView(*this, record(row), row + 1)));
}

XValue DbfTable::xbaseFromValue(int field, const QVariant &value) const
{
    const DbfField &f = m_file.header().fields[size_t(field)];
    if (!value.isValid() || value.isNull())
        return xbaseBlank(f);
    switch (f.kind) {
    case DbfField::Character: return XValue::ofText(value.toString().leftJustified(f.width, QLatin1Char(' ')));
    case DbfField::Date: return XValue::ofDate(value.toDate().toJulianDay());
    case DbfField::DateTime: return XValue::ofDate(value.toDateTime().date().toJulianDay());
    case DbfField::Logical: return XValue::ofLogical(value.toBool());
    case DbfField::MemoText:
    case DbfField::VarChar: return XValue::ofText(value.toString());
    case DbfField::MemoBinary:
    case DbfField::VarBinary: return XValue::ofText(QString::fromLatin1(value.toByteArray()));
    default: return XValue::ofNumber(value.toDouble());
    }
}

QString DbfTable::prepareIndexKeeping()
{
    QStringList fieldNames;
    for (const FieldDef &f : std::as_const(m_defs))
        fieldNames << f.name;
    try {
        m_keeper = std::make_unique<IndexKeeper>(
            m_indexes, fieldNames, m_file.codec(), [this](const char *rec, int field) { return xbaseValue(rec, field); },
            QByteArray(m_file.header().recordLength, ' '));
        m_keeper->setNullableFields(nullableFields());
    } catch (const EngineError &e) {
        m_keeper.reset();
        return e.message();
    }
    return {};
}

void DbfTable::createNdx(const QString &path, const QString &expression, bool unique)
{
    QStringList fieldNames;
    for (const FieldDef &f : std::as_const(m_defs))
        fieldNames << f.name;
    IndexKeeper::createNdx(path, expression, unique, fieldNames, m_file.codec(),
                           [this](const char *rec, int field) { return xbaseValue(rec, field); }, m_file.header().recordCount,
                           [this](qint64 r) -> const char * { return r < m_file.header().recordCount ? record(r) : nullptr; });
}

void DbfTable::writeKeepingIndexes(quint32 number, const QByteArray *oldRec, const QByteArray &newRec,
                                   const std::function<void()> &write)
{
    if (!m_keeper) {
        write();
        return;
    }
    // The keys the change moves and the index pages that change are worked out
    // first: a key that cannot be computed or a damaged index refuses the change
    // before anything is written. Then the table's bytes and the index pages
    // about to be overwritten go into the table's journal, and the record and the
    // pages are written: a crash or failure between them is rolled back.
    const auto records = [this](qint64 r) -> const char * { return r < m_file.header().recordCount ? record(r) : nullptr; };
    m_keeper->learnTypes(records);
    const std::vector<IndexKeeper::KeyMove> moves =
        m_keeper->plan(number, oldRec ? oldRec->constData() : nullptr, newRec.constData());
    // Records are read from the file as it is now for a unique tag's next holder of a key.
    invalidateCache();
    const std::vector<std::unique_ptr<PageFile>> pages = m_keeper->apply(number, moves, m_file.header().recordCount, records);
    bool touched = false;
    for (const auto &file : pages)
        touched = touched || !file->pending().empty();
    if (!touched) {
        // No key moved: the record alone changes, written whole as without indexes.
        write();
        return;
    }
    Journal journal(m_file.path());
    journal.keepBefore(m_file.path(), 0, m_file.header().headerLength);
    journal.keepBefore(m_file.path(), m_file.header().headerLength + qint64(number - 1) * m_file.header().recordLength, m_file.header().recordLength + 1);
    for (const auto &file : pages) {
        for (const auto &[offset, bytes] : file->pending())
            journal.keepBefore(file->path(), offset, bytes.size());
    }
    journal.begin();
    write();
    for (const auto &file : pages)
        file->flush();
    journal.commit();
    for (auto &file : m_indexes)
        file = IndexFile::open(file->path());
}

} // namespace engine::dbase
