#include "CsvTable.h"

#include <limits>

#include "EngineError.h"
#include "common/FieldNames.h"
#include "common/FileIo.h"
#include "common/Quoting.h"
#include "ValueText.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::csv {

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool isTextType(TFieldType t)
{
    return t == ftString || t == ftMemo || t == ftFmtMemo || t == ftFixedChar || t == ftWideString;
}

int storedSize(TFieldType t)
{
    switch (t) {
    case ftBoolean: case ftSmallint: return 2;
    case ftInteger: case ftDate: case ftTime: return 4;
    default: return 8;
    }
}

constexpr qint64 ScanChunk = 1 << 20;
constexpr qint64 Utf8Sample = 4 << 20;

} // namespace

std::unique_ptr<CsvTable> CsvTable::open(const QString &path, const OpenOptions &options)
{
    std::unique_ptr<CsvTable> t(new CsvTable);
    t->m_path = path;
    t->m_tableName = QFileInfo(path).fileName();
    t->m_file.setFileName(path);
    if (!t->m_file.open(QIODevice::ReadOnly))
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2.")
                              .arg(nativePath(path), t->m_file.errorString()));
    t->setUp(options);
    return t;
}

void CsvTable::setUp(const OpenOptions &options)
{
    m_stamp = stampNow();
    const QFileInfo info(m_path);
    const SchemaIni ini = SchemaIni::load(info.absolutePath());
    const std::optional<SchemaSection> schema = ini.section(info.fileName());

    const QByteArray head = readBytes(0, std::min<qint64>(m_stamp.size, 64 * 1024));
    bool ok = false;
    m_cs = charsetFromBom(head, &ok);
    if (ok) {
        m_cs.origin = QStringLiteral("Byte-Order-Mark");
    } else if (schema && !schema->value(QStringLiteral("CharacterSet")).isEmpty()) {
        const QString value = schema->value(QStringLiteral("CharacterSet"));
        m_cs = charsetFromSchema(value, &ok);
        if (!ok)
            throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die schema.ini nennt für %1 den unbekannten Zeichensatz '%2'.")
                                  .arg(info.fileName(), value));
        m_cs.origin = QStringLiteral("schema.ini");
    } else {
        const QByteArray sample = readBytes(0, std::min<qint64>(m_stamp.size, Utf8Sample));
        if (isValidUtf8(sample, sample.size() < m_stamp.size)) {
            m_cs = charsetForNumber(65001, &ok);
            m_cs.origin = QStringLiteral("gültiges UTF-8");
        } else {
            m_cs = charsetForNumber(1252, &ok);
            m_cs.origin = QStringLiteral("kein gültiges UTF-8, daher Windows-1252");
        }
    }

    // The separator: schema.ini's Format, else what splits the first lines evenly.
    const QString suffix = info.suffix().toLower();
    const char16_t fallback = (suffix == QLatin1String("tab") || suffix == QLatin1String("tsv")) ? u'\t' : u',';
    const QString format = schema ? schema->value(QStringLiteral("Format")) : QString();
    if (format.compare(QLatin1String("CSVDelimited"), Qt::CaseInsensitive) == 0) {
        m_sep = u',';
        m_separatorOrigin = QStringLiteral("schema.ini");
    } else if (format.compare(QLatin1String("TabDelimited"), Qt::CaseInsensitive) == 0) {
        m_sep = u'\t';
        m_separatorOrigin = QStringLiteral("schema.ini");
    } else if (format.startsWith(QLatin1String("Delimited("), Qt::CaseInsensitive) && format.endsWith(QLatin1Char(')'))
               && format.size() == 12) {
        m_sep = format.at(10).unicode();
        m_separatorOrigin = QStringLiteral("schema.ini");
    } else if (!format.isEmpty()) {
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die schema.ini beschreibt %1 im Format '%2'; gelesen werden nur Dateien mit "
                                         "Trennzeichen (CSVDelimited, TabDelimited, Delimited(x)).")
                              .arg(info.fileName(), format));
    } else {
        m_sep = detectSeparator(head, m_cs, fallback);
        m_separatorOrigin = QStringLiteral("erkannt");
    }
    if (m_sep == u'"' || m_sep == u'\r' || m_sep == u'\n')
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Das Trennzeichen der schema.ini für %1 ist nicht verwendbar.").arg(info.fileName()));

    if (schema && schema->has(QStringLiteral("ColNameHeader")))
        m_header = schema->value(QStringLiteral("ColNameHeader")).compare(QLatin1String("False"), Qt::CaseInsensitive) != 0;

    m_indexer = std::make_unique<RecordIndexer>(m_cs, m_sep);
    m_scanned = m_cs.bomSize;

    QString decimal = schema ? schema->value(QStringLiteral("DecimalSymbol")) : QString();
    const bool preferGerman = decimal.isEmpty() ? m_sep == u';' : decimal == QLatin1String(",");
    guessColumns(schema ? &*schema : nullptr, preferGerman);

    QStringList reasons;
    if (options.readOnly) {
        reasons << QStringLiteral("Die Tabelle ist schreibgeschützt geöffnet.");
    } else if (::access(QFile::encodeName(m_path).constData(), W_OK) != 0) {
        reasons << QStringLiteral("Die Datei %1 ist schreibgeschützt.").arg(nativePath(m_path));
    } else if (::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0) {
        reasons << QStringLiteral("Der Ordner %1 ist schreibgeschützt; die Datei kann dort nicht sicher neu "
                                  "geschrieben werden.")
                       .arg(nativePath(info.absolutePath()));
    }
    if (m_defs.isEmpty())
        reasons << QStringLiteral("Die Datei %1 enthält keine Spalten.").arg(nativePath(m_path));
    m_readOnlyReason = reasons.join(QLatin1Char(' '));
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0)
        m_mode = int(st.st_mode & 07777);
}

void CsvTable::guessColumns(const SchemaSection *schema, bool preferGerman)
{
    const qint64 dataStart = m_header ? 1 : 0;
    indexUpTo(dataStart + GuessRecords);
    const qint64 guessEnd = std::min<qint64>(qint64(m_starts.size()), dataStart + GuessRecords);

    int columns = 0;
    for (qint64 i = 0; i < guessEnd; ++i)
        columns = std::max(columns, int(record(i).cells.size()));
    const QList<SchemaColumn> schemaColumns = schema ? schema->columns() : QList<SchemaColumn>();
    // A record of n columns holds n - 1 separators, so the file bounds the
    // column numbers worth laying out; the schema's own entries may add empty
    // columns beyond it (a table without rows). A larger number is a damaged
    // or hostile schema.ini that would take gigabytes.
    const qint64 fileUnits = m_file.size() / std::max(1, int(m_cs.unit));
    const qint64 columnLimit = std::min<qint64>(fileUnits + 1 + schemaColumns.size(), std::numeric_limits<int>::max());
    for (const SchemaColumn &c : schemaColumns) {
        if (c.number > columnLimit)
            throw EngineError(QStringLiteral("Die schema.ini nennt für %1 die Spalte Col%2, die Datei kann aber "
                                             "höchstens %3 Spalten enthalten.")
                                  .arg(nativePath(m_path))
                                  .arg(c.number)
                                  .arg(columnLimit));
        columns = std::max(columns, c.number);
    }

    QVector<ColumnGuess> guesses(columns);
    int quotedCells = 0, plainCells = 0, quotedText = 0, plainText = 0;
    for (qint64 i = dataStart; i < guessEnd; ++i) {
        const Record &r = record(i);
        for (int c = 0; c < r.cells.size(); ++c)
            guesses[c].add(r.cells.at(c));
    }
    if (!m_starts.empty()) {
        const Record &first = record(0);
        m_lineEnd = first.terminatorBytes == 2 * m_cs.unit ? QStringLiteral("\r\n")
                    : first.terminatorBytes == 0          ? QStringLiteral("\r\n")
                    : m_cs.unitAt(readBytes(m_starts[0] + first.contentBytes, m_starts[0] + first.contentBytes + m_cs.unit).constData()) == u'\n'
                        ? QStringLiteral("\n")
                        : QStringLiteral("\r");
    }

    text::UniqueNames used;
    m_defs.clear();
    m_styles.clear();
    const QVector<QString> headerCells = (m_header && !m_starts.empty()) ? record(0).cells : QVector<QString>();
    for (int c = 0; c < columns; ++c) {
        FieldDef def;
        def.fieldNo = c + 1;
        ColumnStyle style = guesses[c].result(preferGerman);
        QString name = c < headerCells.size() ? headerCells.at(c).trimmed() : QString();
        auto sc = std::find_if(schemaColumns.begin(), schemaColumns.end(), [&](const SchemaColumn &s) { return s.number == c + 1; });
        if (sc != schemaColumns.end()) {
            if (!sc->name.isEmpty())
                name = sc->name;
            bool ok = false;
            const TFieldType type = typeFromSchemaName(sc->type, &ok);
            if (ok) {
                style = guesses[c].styleFor(type, preferGerman);
                def.nativeType = sc->type;
            }
            if (sc->width > 0 && isTextType(type))
                style.maxLength = std::max(style.maxLength, sc->width);
        }
        // Empty and repeated names would make fields unreachable by name.
        if (name.isEmpty())
            name = QStringLiteral("F%1").arg(c + 1);
        def.name = used.take(name);
        def.dataType = style.type;
        def.size = isTextType(style.type) ? std::max(1, style.maxLength) : storedSize(style.type);
        if (def.nativeType.isEmpty())
            def.nativeType = schemaTypeName(style.type);
        m_defs.append(def);
        m_styles.append(style);
    }
    m_typeOrigin = schemaColumns.isEmpty() ? QStringLiteral("geschätzt aus den ersten %1 Zeilen").arg(GuessRecords)
                                           : QStringLiteral("schema.ini");

    for (qint64 i = dataStart; i < guessEnd; ++i) {
        const Record &r = record(i);
        for (int c = 0; c < r.cells.size() && c < m_styles.size(); ++c) {
            if (r.cells.at(c).isEmpty() && !r.quoted.at(c))
                continue;
            (r.quoted.at(c) ? quotedCells : plainCells)++;
            if (isTextType(m_styles.at(c).type))
                (r.quoted.at(c) ? quotedText : plainText)++;
        }
    }
    if (quotedCells > 0 && plainCells == 0)
        m_quoting = Quoting::All;
    else if (quotedText > 0 && plainText == 0)
        m_quoting = Quoting::Text;
    else if (quotedCells + plainCells == 0 && m_header && !m_starts.empty()
             && !record(0).quoted.isEmpty() && !record(0).quoted.contains(false))
        m_quoting = Quoting::Text; // no data yet: the header shows the file's habit
}

// ---- reading -----------------------------------------------------------------

QByteArray CsvTable::readBytes(qint64 from, qint64 to)
{
    if (to <= from || !m_file.seek(from))
        return QByteArray();
    return m_file.read(to - from);
}

void CsvTable::indexUpTo(qint64 records)
{
    while (qint64(m_starts.size()) < records && m_scanned < m_stamp.size) {
        qint64 chunk = std::min(ScanChunk, m_stamp.size - m_scanned);
        chunk -= chunk % m_cs.unit;
        if (chunk <= 0)
            break;
        const QByteArray bytes = readBytes(m_scanned, m_scanned + chunk);
        if (bytes.size() != chunk)
            throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2.")
                                  .arg(nativePath(m_path), m_file.errorString()));
        m_indexer->feed(bytes.constData(), bytes.size(), m_scanned, m_starts);
        m_scanned += chunk;
        if (m_stamp.size - m_scanned < m_cs.unit)
            m_scanned = m_stamp.size; // an odd last byte of a UTF-16 file is no unit
    }
}

qint64 CsvTable::recordEnd(qint64 index)
{
    indexUpTo(index + 2);
    return index + 1 < qint64(m_starts.size()) ? m_starts[size_t(index + 1)] : m_stamp.size;
}

void CsvTable::clearCache()
{
    for (Block &b : m_blocks) {
        b.first = -1;
        b.records.clear();
    }
}

const Record &CsvTable::record(qint64 index)
{
    const qint64 first = index - index % BlockRecords;
    for (Block &b : m_blocks) {
        if (b.first == first && index - first < qint64(b.records.size())) {
            b.lastUse = ++m_useCounter;
            return b.records[size_t(index - first)];
        }
    }
    indexUpTo(first + BlockRecords + 1);
    const qint64 last = std::min<qint64>(first + BlockRecords, qint64(m_starts.size()));
    Block &b = *std::min_element(m_blocks.begin(), m_blocks.end(),
                                 [](const Block &x, const Block &y) { return x.lastUse < y.lastUse; });
    b.first = first;
    b.lastUse = ++m_useCounter;
    b.records.clear();
    const qint64 from = m_starts[size_t(first)];
    const QByteArray bytes = readBytes(from, recordEnd(last - 1));
    for (qint64 i = first; i < last; ++i) {
        const qint64 begin = m_starts[size_t(i)] - from;
        const qint64 end = (i + 1 < last ? m_starts[size_t(i + 1)] : from + bytes.size()) - from;
        b.records.push_back(parseRecord(bytes.constData() + begin, std::max<qint64>(0, std::min<qint64>(end, bytes.size()) - begin), m_cs, m_sep));
    }
    return b.records[size_t(index - first)];
}

qint64 CsvTable::rowCount()
{
    indexAll();
    return qint64(m_starts.size()) - (m_header && !m_starts.empty() ? 1 : 0);
}

bool CsvTable::isEmpty()
{
    const qint64 dataStart = m_header ? 1 : 0;
    indexUpTo(dataStart + 1);
    return qint64(m_starts.size()) <= dataStart;
}

RowId CsvTable::rowAt(qint64 position)
{
    if (position < 0 || position >= rowCount())
        return -1;
    RowId id = position;
    for (RowId removed : m_removed) {
        if (removed <= id)
            ++id;
        else
            break;
    }
    return id;
}

qint64 CsvTable::positionOf(RowId row)
{
    if (row < 0 || std::binary_search(m_removed.begin(), m_removed.end(), row))
        return -1;
    const qint64 position = row - (std::lower_bound(m_removed.begin(), m_removed.end(), row) - m_removed.begin());
    return position < rowCount() ? position : -1;
}

qint64 CsvTable::fileRecordOf(RowId row)
{
    const qint64 position = positionOf(row);
    if (position < 0)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("%1: Der Datensatz gibt es nicht mehr.").arg(m_tableName));
    return position + (m_header ? 1 : 0);
}

QVariant CsvTable::value(RowId row, int field)
{
    if (field < 0 || field >= m_defs.size())
        throw EngineError(ErrorKind::NotFound, msg::fieldNotFound(QString::number(field)));
    const Record &r = record(fileRecordOf(row));
    if (field >= r.cells.size())
        return QVariant();
    return readValue(r.cells.at(field), m_styles.at(field));
}

QList<QPair<QString, QString>> CsvTable::facts() const
{
    QList<QPair<QString, QString>> out;
    out.append({QStringLiteral("Zeichensatz"), QStringLiteral("%1 (%2)").arg(QString::fromLatin1(m_cs.name)).arg(m_cs.number)});
    out.append({QStringLiteral("Herkunft des Zeichensatzes"), m_cs.origin});
    const QString sep = m_sep == u'\t' ? QStringLiteral("Tabulator") : QString(QChar(m_sep));
    out.append({QStringLiteral("Trennzeichen"), QStringLiteral("%1 (%2)").arg(sep, m_separatorOrigin)});
    out.append({QStringLiteral("Zeilenende"), m_lineEnd == QLatin1String("\r\n") ? QStringLiteral("CR LF")
                                              : m_lineEnd == QLatin1String("\n") ? QStringLiteral("LF")
                                                                                  : QStringLiteral("CR")});
    out.append({QStringLiteral("Kopfzeile mit Spaltennamen"), m_header ? QStringLiteral("ja") : QStringLiteral("nein")});
    out.append({QStringLiteral("Spaltentypen"), m_typeOrigin});
    return out;
}

QList<QPair<QString, QVariant>> CsvTable::connectionProperties() const
{
    return {{QStringLiteral("Character Set"), m_cs.number}};
}

// ---- writing -------------------------------------------------------------------

CsvTable::FileStamp CsvTable::stampNow() const
{
    FileStamp s;
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return s;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

void CsvTable::ensureWritable() const
{
    if (!m_readOnlyReason.isEmpty())
        throw EngineError(m_readOnlyReason);
}

void CsvTable::checkUnchanged() const
{
    // Another program's change would be lost by writing the old content back.
    if (!(stampNow() == m_stamp))
        throw EngineError(ErrorKind::ChangedByOther, QStringLiteral("Die Datei %1 wurde inzwischen von einem anderen Programm geändert. Die "
                                         "Änderung wurde nicht gespeichert; bitte die Tabelle neu öffnen.")
                              .arg(nativePath(m_path)));
}

bool CsvTable::sameValue(const QVariant &a, const QVariant &b, int field) const
{
    const bool aNull = !a.isValid() || a.isNull(), bNull = !b.isValid() || b.isNull();
    if (aNull || bNull)
        return aNull == bNull;
    const TFieldType type = m_defs.at(field).dataType;
    if (isTextType(type))
        return a.toString() == b.toString();
    return formatValue(a, type) == formatValue(b, type);
}

QByteArray CsvTable::encodeRecord(const QVector<QVariant> &values, const Record *original,
                                  const QVector<QVariant> *originalValues) const
{
    if (values.size() != m_defs.size())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("%1: %2 Werte für %3 Felder.").arg(m_tableName).arg(values.size()).arg(m_defs.size()));
    const QChar sep(m_sep);
    // Text that holds the separator, a quote or a line end is always quoted.
    const auto cellText = [&](const QString &text, bool quote) { return text::csvCell(text, sep, quote); };
    QStringList cells;
    for (int i = 0; i < m_defs.size(); ++i) {
        // An unchanged cell keeps its text as the file has it ("6,718", "n/a", a value
        // the type guess could not read).
        if (original && originalValues && i < original->cells.size() && sameValue(values.at(i), originalValues->at(i), i)) {
            cells << cellText(original->cells.at(i), original->quoted.at(i));
            continue;
        }
        bool ok = false;
        const QString text = writeValue(values.at(i), m_styles.at(i), &ok);
        if (!ok)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Wert '%1' passt nicht in das Feld %2 (%3).")
                                  .arg(values.at(i).toString(), m_defs.at(i).name, fieldTypeName(m_defs.at(i).dataType)));
        const bool quote = !text.isEmpty()
                           && (m_quoting == Quoting::All || (m_quoting == Quoting::Text && isTextType(m_styles.at(i).type)));
        cells << cellText(text, quote);
    }
    // Cells beyond the known columns stay as they were.
    if (original)
        for (int i = m_defs.size(); i < original->cells.size(); ++i)
            cells << cellText(original->cells.at(i), original->quoted.at(i));
    // A record of empty cells would read back as a blank line, which is no record.
    if (cells.size() == 1 && cells.first().isEmpty())
        cells.first() = QStringLiteral("\"\"");
    const QString line = cells.join(sep);
    bool ok = false;
    const QByteArray bytes = m_cs.encode(line, &ok);
    if (!ok)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Satz enthält Zeichen, die der Zeichensatz %1 der Datei %2 nicht darstellen "
                                         "kann; er wurde nicht gespeichert.")
                              .arg(QString::fromLatin1(m_cs.name), nativePath(m_path)));
    return bytes;
}

void CsvTable::rewrite(qint64 cutFrom, qint64 cutTo, const QByteArray &insert)
{
    checkUnchanged();
    io::writeFileSafely(m_path, m_mode, [&](const io::ByteSink &sink) {
        auto copy = [&](qint64 from, qint64 to) {
            while (from < to) {
                const QByteArray bytes = readBytes(from, std::min(to, from + ScanChunk));
                if (bytes.isEmpty())
                    throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2; sie ist unverändert.")
                                          .arg(nativePath(m_path), m_file.errorString()));
                sink(bytes.constData(), bytes.size());
                from += bytes.size();
            }
        };
        copy(0, cutFrom);
        sink(insert.constData(), insert.size());
        copy(cutTo, m_stamp.size);
    });
    // The old file is gone; read the new one from now on.
    m_file.close();
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::ReadOnly))
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 kann nicht gelesen werden: %2.").arg(nativePath(m_path), m_file.errorString()));
    m_stamp = stampNow();
    m_scanned = m_stamp.size;
    clearCache();
}

RowId CsvTable::append(const QVector<QVariant> &values)
{
    ensureWritable();
    indexAll();
    checkUnchanged();
    QByteArray insert;
    bool ok = true;
    // The last line may lack its line end.
    if (!m_starts.empty() && record(qint64(m_starts.size()) - 1).terminatorBytes == 0)
        insert += m_cs.encode(m_lineEnd, &ok);
    const qint64 start = m_stamp.size + insert.size();
    insert += encodeRecord(values, nullptr, nullptr);
    insert += m_cs.encode(m_lineEnd, &ok);
    rewrite(m_stamp.size, m_stamp.size, insert);
    m_starts.push_back(start);
    return RowId(rowCount() - 1 + qint64(m_removed.size()));
}

void CsvTable::update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values)
{
    ensureWritable();
    indexAll();
    checkUnchanged();
    const qint64 index = fileRecordOf(row);
    // Read the record again from the file, not from the cache.
    clearCache();
    const Record current = record(index);
    QVector<QVariant> now;
    for (int i = 0; i < m_defs.size(); ++i)
        now << (i < current.cells.size() ? readValue(current.cells.at(i), m_styles.at(i)) : QVariant());
    if (!original.isEmpty()) {
        for (int i = 0; i < m_defs.size() && i < original.size(); ++i) {
            if (!sameValue(original.at(i), now.at(i), i))
                throw EngineError(ErrorKind::ChangedByOther, QStringLiteral("Der Datensatz wurde inzwischen von einem anderen Programm geändert "
                                                 "(Feld %1); die Änderung wurde nicht gespeichert.")
                                      .arg(m_defs.at(i).name));
        }
    }
    const QByteArray bytes = encodeRecord(values, &current, &now);
    const qint64 from = m_starts[size_t(index)];
    const qint64 to = from + current.contentBytes;
    rewrite(from, to, bytes);
    const qint64 delta = bytes.size() - (to - from);
    for (size_t i = size_t(index) + 1; i < m_starts.size(); ++i)
        m_starts[i] += delta;
}

void CsvTable::remove(RowId row)
{
    ensureWritable();
    indexAll();
    checkUnchanged();
    const qint64 index = fileRecordOf(row);
    const qint64 from = m_starts[size_t(index)];
    const qint64 to = index + 1 < qint64(m_starts.size()) ? m_starts[size_t(index) + 1] : m_stamp.size;
    rewrite(from, to, QByteArray());
    m_starts.erase(m_starts.begin() + index);
    for (size_t i = size_t(index); i < m_starts.size(); ++i)
        m_starts[i] -= to - from;
    m_removed.insert(std::upper_bound(m_removed.begin(), m_removed.end(), row), row);
}

} // namespace engine::csv
