// glib's headers use the word "signals": they come before any Qt header.
#include "XlsWriter.h"

#include "EngineError.h"
#include "GsfLibrary.h"
#include "ValueText.h"
#include "common/FileIo.h"
#include "common/Journal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace engine::xls {

namespace {

// Cell formats of the written workbook: 0-14 style formats, 15 the default cell
// format, then one each for dates, date-times and times.
enum : quint16 { xfDefault = 15, xfDate = 16, xfDateTime = 17, xfTime = 18 };
enum : quint16 { fmtDate = 164, fmtDateTime = 165, fmtTime = 166 };
constexpr int MaxRecordData = 8224;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void put16(QByteArray &out, quint16 v)
{
    const char b[2] = {char(v & 0xFF), char(v >> 8)};
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)};
    out.append(b, 4);
}

void record(QByteArray &out, quint16 id, const QByteArray &data)
{
    put16(out, id);
    put16(out, quint16(data.size()));
    out.append(data);
}

bool fitsLatin1(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// The characters of a string as BIFF8 stores them, after its option byte.
void putChars(QByteArray &out, const QString &text, bool compressed)
{
    if (compressed) {
        for (QChar c : text)
            out.append(char(c.unicode()));
    } else {
        for (QChar c : text)
            put16(out, c.unicode());
    }
}

// A string with a 16-bit count (FORMAT) or an 8-bit count (sheet names).
QByteArray unicodeString(const QString &text, bool shortCount)
{
    QByteArray out;
    const bool compressed = fitsLatin1(text);
    if (shortCount)
        out.append(char(text.size()));
    else
        put16(out, quint16(text.size()));
    out.append(char(compressed ? 0 : 1));
    putChars(out, text, compressed);
    return out;
}

QByteArray bof(quint16 type)
{
    QByteArray d;
    put16(d, 0x0600);
    put16(d, type);
    put16(d, 0x0DBB); // build
    put16(d, 0x07CC); // year
    put32(d, 0);
    put32(d, 0x0006);
    return d;
}

QByteArray font()
{
    QByteArray d;
    put16(d, 200);    // 10 pt
    put16(d, 0);
    put16(d, 0x7FFF); // automatic colour
    put16(d, 400);    // normal weight
    put16(d, 0);
    d.append(char(0));
    d.append(char(0));
    d.append(char(0));
    d.append(char(0));
    d.append(unicodeString(QStringLiteral("Arial"), true));
    return d;
}

QByteArray xf(bool style, quint16 format)
{
    QByteArray d;
    put16(d, 0);                            // font
    put16(d, format);
    put16(d, style ? 0xFFF5 : 0x0001);      // style: locked, parent none; cell: locked, parent 0
    d.append(char(0x20));                   // bottom aligned
    d.append(char(0));
    d.append(char(0));
    d.append(char(style ? 0 : (format ? 0x04 : 0))); // a cell format's own number format
    put32(d, 0);
    put32(d, 0);
    put16(d, 0x20C0);                       // pattern colours 64/65
    return d;
}

// The 1900 date system's serial number of a moment; NaN before 1900.
double serialOf(const QDate &date, int msecs)
{
    if (!date.isValid() || date < QDate(1900, 1, 1))
        return std::nan("");
    // Excel counts a 29.02.1900 that never was: from March 1900 on the days are
    // counted from 30.12.1899, before that from 31.12.1899.
    const qint64 days = date >= QDate(1900, 3, 1) ? QDate(1899, 12, 30).daysTo(date) : QDate(1899, 12, 31).daysTo(date);
    return double(days) + double(msecs) / 86400000.0;
}

} // namespace

WorkbookWriter::WorkbookWriter(const QString &path, const QString &tableName, const QVector<FieldDef> &fields)
    : m_path(path)
    , m_sheetName(sheetNameFor(tableName))
    , m_definedName(definedNameFor(tableName))
    , m_fields(fields)
{
    if (fields.isEmpty())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Tabelle %1 braucht mindestens ein Feld.").arg(tableName));
    if (fields.size() > MaxColumns)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Excel-Arbeitsblatt fasst höchstens %1 Spalten; die Tabelle %2 hat %3 Felder. "
                                         "Die Datei %4 wurde nicht geschrieben.")
                              .arg(MaxColumns).arg(tableName).arg(fields.size()).arg(shown(path)));
    GsfLibrary::get(); // a missing container library refuses the export before any row is read
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(shown(target.absolutePath())));
    if (target.isDir())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("%1 ist ein Ordner, keine Excel-Arbeitsmappe.").arg(shown(path)));
    m_cells.reserve(1 << 16);
    for (int i = 0; i < fields.size(); ++i)
        addText(quint16(i), fields[i].name);
    m_row = 1;
}

WorkbookWriter::~WorkbookWriter()
{
}

QString WorkbookWriter::sheetNameFor(const QString &tableName)
{
    QString name = tableName;
    while (name.endsWith(QLatin1Char('$')))
        name.chop(1);
    for (QChar &c : name) {
        if (QStringLiteral(":\\/?*[]").contains(c) || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    if (name.startsWith(QLatin1Char('\'')))
        name[0] = QLatin1Char('_');
    if (name.endsWith(QLatin1Char('\'')))
        name[name.size() - 1] = QLatin1Char('_');
    name = name.left(31);
    if (name.size() == 31 && name.at(30).isHighSurrogate())
        name.chop(1);
    return name.trimmed().isEmpty() ? QStringLiteral("Tabelle1") : name;
}

QString WorkbookWriter::definedNameFor(const QString &tableName)
{
    QString name = tableName;
    while (name.endsWith(QLatin1Char('$')))
        name.chop(1);
    for (QChar &c : name) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.') || c == QLatin1Char('\\')))
            c = QLatin1Char('_');
    }
    if (name.isEmpty())
        return QStringLiteral("Tabelle");
    // A name must not begin with a digit nor read as a cell address (A1, R1C1, R, C).
    static const QRegularExpression cellLike(QStringLiteral("^([A-Za-z]{1,3}\\d+|[RrCc]\\d*|[Rr]\\d*[Cc]\\d*)$"));
    if (!(name.at(0).isLetter() || name.at(0) == QLatin1Char('_') || name.at(0) == QLatin1Char('\\'))
        || cellLike.match(name).hasMatch())
        name.prepend(QLatin1Char('_'));
    return name.left(255);
}

void WorkbookWriter::addText(quint16 col, QString text)
{
    if (text.size() > MaxTextLength) {
        text.truncate(MaxTextLength);
        if (text.back().isHighSurrogate())
            text.chop(1);
    }
    auto it = m_stringIndex.constFind(text);
    quint32 index;
    if (it == m_stringIndex.constEnd()) {
        index = quint32(m_strings.size());
        m_stringIndex.insert(text, index);
        m_strings.push_back(text);
    } else {
        index = it.value();
    }
    ++m_textCells;
    char b[14];
    const quint16 head[5] = {0x00FD, 10, quint16(m_row), col, xfDefault};
    for (int i = 0; i < 5; ++i) {
        b[2 * i] = char(head[i] & 0xFF);
        b[2 * i + 1] = char(head[i] >> 8);
    }
    b[10] = char(index & 0xFF);
    b[11] = char((index >> 8) & 0xFF);
    b[12] = char((index >> 16) & 0xFF);
    b[13] = char(index >> 24);
    m_cells.append(b, 14);
}

void WorkbookWriter::addNumber(quint16 col, double value, quint16 xfIndex)
{
    if (!std::isfinite(value))
        return; // Excel holds no infinities: the cell stays empty
    char b[18];
    const quint16 head[5] = {0x0203, 14, quint16(m_row), col, xfIndex};
    for (int i = 0; i < 5; ++i) {
        b[2 * i] = char(head[i] & 0xFF);
        b[2 * i + 1] = char(head[i] >> 8);
    }
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i)
        b[10 + i] = char((bits >> (8 * i)) & 0xFF);
    m_cells.append(b, 18);
}

void WorkbookWriter::addBool(quint16 col, bool value)
{
    char b[12];
    const quint16 head[5] = {0x0205, 8, quint16(m_row), col, xfDefault};
    for (int i = 0; i < 5; ++i) {
        b[2 * i] = char(head[i] & 0xFF);
        b[2 * i + 1] = char(head[i] >> 8);
    }
    b[10] = char(value ? 1 : 0);
    b[11] = 0;
    m_cells.append(b, 12);
}

void WorkbookWriter::addValue(quint16 col, const QVariant &value, TFieldType type)
{
    if (!value.isValid() || value.isNull())
        return;
    switch (value.typeId()) {
    case QMetaType::QString:
        addText(col, value.toString());
        return;
    case QMetaType::Bool:
        addBool(col, value.toBool());
        return;
    case QMetaType::QDate: {
        const double serial = serialOf(value.toDate(), 0);
        if (std::isnan(serial))
            addText(col, formatDate(value.toDate())); // before 1900: no Excel date
        else
            addNumber(col, serial, xfDate);
        return;
    }
    case QMetaType::QTime: {
        const QTime time = value.toTime();
        if (time.isValid())
            addNumber(col, double(time.msecsSinceStartOfDay()) / 86400000.0, xfTime);
        return;
    }
    case QMetaType::QDateTime: {
        const QDateTime when = value.toDateTime();
        const double serial = serialOf(when.date(), when.time().msecsSinceStartOfDay());
        if (std::isnan(serial))
            addText(col, formatDateTime(when));
        else
            addNumber(col, serial, type == ftDate ? xfDate : xfDateTime);
        return;
    }
    case QMetaType::QByteArray:
        return; // binary data has no place in a cell
    default:
        break;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok)
        addNumber(col, number, xfDefault);
    else
        addText(col, value.toString());
}

void WorkbookWriter::writeRow(const QVector<QVariant> &values)
{
    if (m_done)
        throw EngineError(QStringLiteral("Die Excel-Arbeitsmappe %1 ist schon abgeschlossen.").arg(shown(m_path)));
    if (values.size() != m_fields.size())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Datensatz für %1 hat %2 statt %3 Werte.")
                              .arg(shown(m_path)).arg(values.size()).arg(m_fields.size()));
    if (m_row >= quint32(MaxRows))
        throw tooManyRows();
    for (int i = 0; i < values.size(); ++i)
        addValue(quint16(i), values[i], m_fields[i].dataType);
    ++m_row;
}

void WorkbookWriter::expectRows(qint64 rows)
{
    if (rows > MaxRows - 1)
        throw tooManyRows();
}

EngineError WorkbookWriter::tooManyRows() const
{
    return EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Excel-Arbeitsblatt fasst höchstens %1 Zeilen, also %2 Datensätze unter der Kopfzeile; "
                                                  "die Tabelle hat mehr. Die Datei %3 wurde nicht geschrieben.")
                                    .arg(MaxRows).arg(MaxRows - 1).arg(shown(m_path)));
}

QByteArray WorkbookWriter::buildStream() const
{
    QByteArray out;
    out.reserve(m_cells.size() + 4096 + qsizetype(m_strings.size()) * 16);
    record(out, 0x0809, bof(0x0005));
    {
        QByteArray d;
        put16(d, 1200);
        record(out, 0x0042, d); // CODEPAGE: UTF-16
    }
    {
        QByteArray d;
        for (quint16 v : {quint16(0x0168), quint16(0x001E), quint16(0x4000), quint16(0x2000), quint16(0x0038),
                          quint16(0), quint16(0), quint16(1), quint16(0x0258)})
            put16(d, v);
        record(out, 0x003D, d); // WINDOW1
    }
    {
        QByteArray d;
        put16(d, 0);
        record(out, 0x0022, d); // DATEMODE: 1900
    }
    // Font 4 does not exist in BIFF files; four fonts fill the numbers below it.
    for (int i = 0; i < 4; ++i)
        record(out, 0x0031, font());
    const std::pair<quint16, QString> formats[] = {{fmtDate, QStringLiteral("DD.MM.YYYY")},
                                                   {fmtDateTime, QStringLiteral("DD.MM.YYYY hh:mm:ss")},
                                                   {fmtTime, QStringLiteral("hh:mm:ss")}};
    for (const auto &[id, text] : formats) {
        QByteArray d;
        put16(d, id);
        d.append(unicodeString(text, false));
        record(out, 0x041E, d);
    }
    for (int i = 0; i < 15; ++i)
        record(out, 0x00E0, xf(true, 0));
    record(out, 0x00E0, xf(false, 0));
    record(out, 0x00E0, xf(false, fmtDate));
    record(out, 0x00E0, xf(false, fmtDateTime));
    record(out, 0x00E0, xf(false, fmtTime));
    {
        QByteArray d;
        put16(d, 0x8000); // built-in style "Normal" on format 0
        d.append(char(0));
        d.append(char(0xFF));
        record(out, 0x0293, d);
    }
    // BOUNDSHEET: the sheet's position is filled in once the globals are complete.
    const qsizetype sheetOffsetAt = out.size() + 4;
    {
        QByteArray d;
        put32(d, 0);
        d.append(char(0)); // visible
        d.append(char(0)); // worksheet
        d.append(unicodeString(m_sheetName, true));
        record(out, 0x0085, d);
    }
    {
        QByteArray d;
        put16(d, 1);      // one sheet
        put16(d, 0x0401); // this workbook
        record(out, 0x01AE, d);
    }
    {
        QByteArray d;
        put16(d, 1);
        put16(d, 0); // SUPBOOK 0, sheet 0 to sheet 0
        put16(d, 0);
        put16(d, 0);
        record(out, 0x0017, d);
    }
    {
        const bool compressed = fitsLatin1(m_definedName);
        QByteArray d;
        put16(d, 0);                           // options
        d.append(char(0));                     // no shortcut key
        d.append(char(m_definedName.size()));
        put16(d, 11);                          // formula size
        put16(d, 0);
        put16(d, 0);                           // workbook-wide
        d.append(4, char(0));
        d.append(char(compressed ? 0 : 1));
        putChars(d, m_definedName, compressed);
        d.append(char(0x3B));                  // area on a sheet, absolute: $A$1:$X$n
        put16(d, 0);
        put16(d, 0);
        put16(d, quint16(m_row - 1));
        put16(d, 0);
        put16(d, quint16(m_fields.size() - 1));
        record(out, 0x0018, d);
    }

    // SST with CONTINUE records; EXTSST marks where every bucket of strings begins.
    {
        const quint32 unique = quint32(m_strings.size());
        const quint32 perBucket = std::max<quint32>(8, (unique + 127) / 128);
        std::vector<std::pair<quint32, quint16>> buckets;
        QByteArray rec;
        quint16 recId = 0x00FC;
        qsizetype recStart = out.size();
        put32(rec, m_textCells);
        put32(rec, unique);
        auto flush = [&] {
            record(out, recId, rec);
            rec.clear();
            recId = 0x003C;
            recStart = out.size();
        };
        for (quint32 i = 0; i < unique; ++i) {
            const QString &text = m_strings[i];
            const bool compressed = fitsLatin1(text);
            const int charSize = compressed ? 1 : 2;
            // The count and option byte stay together with at least one character.
            if (rec.size() + 3 + (text.isEmpty() ? 0 : charSize) > MaxRecordData)
                flush();
            if (i % perBucket == 0)
                buckets.emplace_back(quint32(recStart + 4 + rec.size()), quint16(4 + rec.size()));
            put16(rec, quint16(text.size()));
            rec.append(char(compressed ? 0 : 1));
            qsizetype done = 0;
            while (done < text.size()) {
                qsizetype n = std::min<qsizetype>(text.size() - done, (MaxRecordData - rec.size()) / charSize);
                if (n > 0 && !compressed && done + n < text.size() && text.at(done + n - 1).isHighSurrogate())
                    --n; // a surrogate pair stays in one record
                if (n <= 0) {
                    flush();
                    rec.append(char(compressed ? 0 : 1));
                    continue;
                }
                putChars(rec, text.mid(done, n), compressed);
                done += n;
            }
        }
        flush();
        QByteArray d;
        put16(d, quint16(perBucket));
        for (const auto &[position, offset] : buckets) {
            put32(d, position);
            put16(d, offset);
            put16(d, 0);
        }
        record(out, 0x00FF, d);
    }
    record(out, 0x000A, QByteArray());

    const quint32 sheetOffset = quint32(out.size());
    for (int i = 0; i < 4; ++i)
        out[sheetOffsetAt + i] = char((sheetOffset >> (8 * i)) & 0xFF);

    record(out, 0x0809, bof(0x0010));
    {
        QByteArray d;
        put32(d, 0);
        put32(d, m_row);
        put16(d, 0);
        put16(d, quint16(m_fields.size()));
        put16(d, 0);
        record(out, 0x0200, d); // DIMENSIONS
    }
    out.append(m_cells);
    {
        QByteArray d;
        put16(d, 0x06B6); // grid, headers, zeros, default colours, outline, selected, shown
        put16(d, 0);
        put16(d, 0);
        put32(d, 0x40);
        put16(d, 0);
        put16(d, 0);
        put32(d, 0);
        record(out, 0x023E, d); // WINDOW2
    }
    record(out, 0x000A, QByteArray());
    return out;
}

void WorkbookWriter::commit()
{
    if (m_done)
        throw EngineError(QStringLiteral("Die Excel-Arbeitsmappe %1 ist schon abgeschlossen.").arg(shown(m_path)));
    const GsfLibrary &gsf = GsfLibrary::get();

    const QByteArray stream = buildStream();
    // The container is built in memory, so that writing it to the disk fails
    // with the system's reason (a full disk, no permission) for the user's file.
    GsfOutput *memory = gsf.output_memory_new();
    GsfOutfile *ole = gsf.outfile_msole_new(memory);
    GsfOutput *child = gsf.outfile_new_child(ole, "Workbook", FALSE);
    bool ok = child && gsf.output_write(child, size_t(stream.size()), reinterpret_cast<const guint8 *>(stream.constData()));
    if (child) {
        ok = gsf.output_close(child) && ok;
        gsf.object_unref(child);
    }
    ok = gsf.output_close(reinterpret_cast<GsfOutput *>(ole)) && ok;
    gsf.object_unref(ole);
    if (!gsf.output_is_closed(memory))
        ok = gsf.output_close(memory) && ok;
    QByteArray container;
    if (ok)
        container = QByteArray(reinterpret_cast<const char *>(gsf.output_memory_get_bytes(reinterpret_cast<GsfOutputMemory *>(memory))),
                               qsizetype(gsf.output_size(memory)));
    gsf.object_unref(memory);
    if (!ok)
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Arbeitsmappe %1 ließ sich nicht zusammenstellen.").arg(shown(m_path)));

    io::Journal journal(m_path);
    const QString part = journal.newPartPath();
    journal.replace(part, m_path);
    {
        io::PartWriter out(part, m_path);
        out.write(container);
        out.finish();
    }
    // Keep the permissions of the workbook this one replaces, else the usual ones.
    if (QFileInfo::exists(m_path))
        QFile::setPermissions(part, QFile::permissions(m_path));
    else
        QFile::setPermissions(part, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    journal.commit();
    m_done = true;
}

} // namespace engine::xls
