#include "CsvWriter.h"

#include "CsvSchema.h"
#include "CsvText.h"
#include "EngineError.h"
#include "RawCells.h"
#include "common/FieldNames.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "common/Journal.h"
#include "common/Quoting.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace engine::csv {

namespace {

bool isTextType(TFieldType type)
{
    return type == ftString || type == ftFixedChar || type == ftWideString;
}


// What formatting a row needs of the columns; set up once, read by every thread.
struct TextColumns {
    QString path;
    QVector<ColumnStyle> styles;
    QVector<bool> quoted;
    QByteArray trueText = ColumnStyle().trueText.toUtf8();
    QByteArray falseText = ColumnStyle().falseText.toUtf8();

    void appendCell(QByteArray &buffer, int i, const QVariant &v) const
    {
        if (!v.isValid() || v.isNull())
            return;
        if (quoted.at(i)) {
            // The quote is one byte in UTF-8, so it is doubled in the bytes.
            const QByteArray text = v.toString().toUtf8();
            buffer += '"';
            if (text.contains('"'))
                buffer += QByteArray(text).replace('"', "\"\"");
            else
                buffer += text;
            buffer += '"';
            return;
        }
        if (!appendValue(buffer, v, styles.at(i)))
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Wert '%1' passt nicht in die Spalte %2 der Datei %3.")
                                  .arg(v.toString())
                                  .arg(i + 1)
                                  .arg(QDir::toNativeSeparators(path)));
    }
};

// Rows formatted straight from the source's bytes into a buffer of its own;
// the same bytes writeRow() writes for the same values.
class TextRowFormatter final : public RawRowFormatter {
public:
    TextRowFormatter(const TextColumns &columns, const Utf8Table *table) : m_columns(columns), m_table(table)
    {
        for (const ColumnStyle &style : columns.styles)
            m_whole.push_back(style.type == ftInteger || style.type == ftLargeint || style.type == ftSmallint);
        if (!table)
            return;
        // DOS code pages give control characters pictures; text rarely holds them,
        // so runs of printable ASCII can still be copied whole.
        m_printableAscii = true;
        for (int b = 0x20; b < 0x7F; ++b)
            m_printableAscii = m_printableAscii && table->size[size_t(b)] == 1 && table->bytes[size_t(b)][0] == char(b);
        for (int b = 0; b < 256; ++b) {
            char bytes[4] = {table->bytes[size_t(b)][0], table->bytes[size_t(b)][1], table->bytes[size_t(b)][2], 0};
            int size = table->size[size_t(b)];
            if (size == 1 && bytes[0] == '"')
                bytes[size++] = '"';
            memcpy(&m_quoted[size_t(b)], bytes, 4);
            m_quotedSize[size_t(b)] = quint8(size);
        }
    }

    void formatRow(const RawCell *cells, const QVariant *values) override
    {
        const int n = int(m_columns.styles.size());
        qsizetype at = m_buffer.size();
        m_buffer.resize(at + rowBound(cells, n));
        char *out = m_buffer.data() + at;
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                *out++ = ',';
            const RawCell &cell = cells[i];
            switch (cell.form) {
            case RawCell::Null:
                break;
            case RawCell::Text:
                out = appendQuoted(out, cell);
                break;
            case RawCell::Number:
                if (m_whole[size_t(i)] && cell.data[0] > '0' && cell.data[0] <= '9'
                    && !memchr(cell.data, '.', size_t(cell.size))) {
                    // Digits without a leading zero are the number as written.
                    memcpy(out, cell.data, size_t(cell.size));
                    out += cell.size;
                } else {
                    out = formatPlainDecimal(cell.data, cell.size, m_whole[size_t(i)], '.', out);
                }
                break;
            case RawCell::Date8: {
                const char *d = cell.data;
                const char date[10] = {d[0], d[1], d[2], d[3], '-', d[4], d[5], '-', d[6], d[7]};
                memcpy(out, date, 10);
                out += 10;
                break;
            }
            case RawCell::True:
            case RawCell::False: {
                const QByteArray &word = cell.form == RawCell::True ? m_columns.trueText : m_columns.falseText;
                memcpy(out, word.constData(), size_t(word.size()));
                out += word.size();
                break;
            }
            case RawCell::Value:
                // Read as a value: the bytes so far stay, the value is appended the usual way.
                m_buffer.resize(out - m_buffer.constData());
                m_columns.appendCell(m_buffer, i, values[i]);
                at = m_buffer.size();
                m_buffer.resize(at + rowBound(cells + i + 1, n - i - 1));
                out = m_buffer.data() + at;
                break;
            }
        }
        *out++ = '\r';
        *out++ = '\n';
        m_buffer.resize(out - m_buffer.constData());
    }

    void take(QByteArray &rows) override
    {
        rows.resize(0);
        rows.swap(m_buffer);
    }

private:
    // At least the bytes the cells can take, separators and line end included (Value cells count nothing).
    static qsizetype rowBound(const RawCell *cells, qsizetype count)
    {
        qsizetype bound = count + 2;
        for (qsizetype i = 0; i < count; ++i)
            bound += 3 * qsizetype(cells[i].size) + 24; // text: its quotes and 3 bytes a byte; else 24 more than its bytes
        return bound;
    }

    // Text between quotes, each byte as its UTF-8, a quote doubled. Runs of
    // eight printable ASCII bytes without a quote are copied as they are; other bytes go
    // through the table of four bytes each (the row's bound has room for four).
    char *appendQuoted(char *out, const RawCell &cell) const
    {
        *out++ = '"';
        const auto *p = reinterpret_cast<const unsigned char *>(cell.data);
        const auto *end = p + cell.size;
        auto one = [this](char *at, unsigned char b) {
            memcpy(at, &m_quoted[b], 4);
            return at + m_quotedSize[b];
        };
        while (end - p >= 8) {
            quint64 word;
            memcpy(&word, p, 8);
            constexpr quint64 ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
            const quint64 quotes = word ^ (ones * '"');   // a zero byte where a quote is
            const quint64 deletes = word ^ (ones * 0x7F); // a zero byte where DEL is
            const quint64 special = (word | ((quotes - ones) & ~quotes) | ((deletes - ones) & ~deletes)
                                     | ((word - ones * 0x20) & ~word)) // a control character
                                    & highs;
            if (special == 0 && m_printableAscii) {
                memcpy(out, p, 8);
                out += 8;
            } else {
                for (int k = 0; k < 8; ++k)
                    out = one(out, p[k]);
            }
            p += 8;
        }
        for (; p < end; ++p)
            out = one(out, *p);
        *out++ = '"';
        return out;
    }

    const TextColumns &m_columns;
    const Utf8Table *m_table;
    std::vector<bool> m_whole; // number columns whose cells are whole numbers
    std::array<quint32, 256> m_quoted{}; // each byte's UTF-8 as written between quotes
    std::array<quint8, 256> m_quotedSize{};
    bool m_printableAscii = false; // bytes 0x20 to 0x7E stand for themselves
    QByteArray m_buffer;
};

class TextWriter final : public TableWriter, public RawRowWriter {
public:
    TextWriter(const QString &directory, const QString &fileName, const QVector<FieldDef> &fields)
        : m_path(QDir(directory).filePath(fileName)), m_fileName(fileName), m_directory(directory), m_journal(m_path)
    {
        QList<QPair<QString, QString>> entries{{QStringLiteral("ColNameHeader"), QStringLiteral("True")},
                                               {QStringLiteral("Format"), QStringLiteral("CSVDelimited")},
                                               {QStringLiteral("CharacterSet"), QStringLiteral("65001")}};
        QString heading;
        QStringList seen;
        m_columns.path = m_path;
        for (int i = 0; i < fields.size(); ++i) {
            const FieldDef &f = fields.at(i);
            const QString type = schemaTypeName(f.dataType);
            if (type.isEmpty())
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Felder der Art %1 (%2) lassen sich in einer Textdatei nicht speichern.")
                                      .arg(fieldTypeName(f.dataType), f.name));
            if (f.name.trimmed().isEmpty() || f.name.contains(QLatin1Char('"')) || seen.contains(f.name, Qt::CaseInsensitive))
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("'%1' ist kein gültiger oder ein doppelter Feldname.").arg(f.name));
            seen << f.name;
            if (i > 0)
                heading += QLatin1Char(',');
            heading += text::doubleQuoted(f.name);
            entries.append({QStringLiteral("Col%1").arg(i + 1),
                            columnEntry(f.name, type, isTextType(f.dataType) ? f.size : 0)});
            ColumnStyle style;
            style.type = f.dataType;
            m_columns.styles.append(style);
            m_columns.quoted.append(isTextType(f.dataType) || isTextBlobType(f.dataType));
        }
        m_entries = entries;
        const QString part = m_journal.newPartPath();
        m_journal.replace(part, m_path);
        m_file.emplace(part, m_path);
        heading += QStringLiteral("\r\n");
        m_buffer = heading.toUtf8();
    }

    void writeRow(const QVector<QVariant> &values) override
    {
        for (int i = 0; i < m_columns.styles.size(); ++i) {
            if (i > 0)
                m_buffer += ',';
            m_columns.appendCell(m_buffer, i, values.at(i));
        }
        m_buffer += "\r\n";
        if (m_buffer.size() >= (1 << 20))
            flush();
    }

    bool takesEveryCell(int) const override { return true; }

    std::unique_ptr<RawRowFormatter> rawFormatter(const Utf8Table *table) const override
    {
        return std::make_unique<TextRowFormatter>(m_columns, table);
    }

    void writeFormatted(const QByteArray &rows) override
    {
        flush();
        m_file->write(rows);
    }

    void commit() override
    {
        flush();
        m_file->finish();
        // The table and its schema.ini section belong together: both change in
        // one set, or neither does. Exports of the folder's other tables rewrite
        // the same schema.ini, so it is read and replaced by one at a time.
        const io::SharedFileLock schemaInUse(QDir(m_directory).filePath(QStringLiteral("schema.ini")));
        SchemaIni ini = SchemaIni::load(m_directory);
        ini.setSection(m_fileName, m_entries);
        const QString iniPart = m_journal.newPartPath(QStringLiteral(".ini"));
        m_journal.replace(iniPart, ini.path());
        io::PartWriter schema(iniPart, ini.path());
        schema.write(ini.content());
        schema.finish();
        m_journal.commit();
    }

private:
    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        m_file->write(m_buffer);
        m_buffer.resize(0); // keeps its capacity for the next rows
    }

    QString m_path;
    QString m_fileName;
    QString m_directory;
    io::Journal m_journal; // held from the start: one writer of this table at a time
    std::optional<io::PartWriter> m_file;
    QList<QPair<QString, QString>> m_entries;
    TextColumns m_columns;
    QByteArray m_buffer;
};

} // namespace

QVector<FieldDef> textFieldsFor(const QVector<FieldDef> &source, QStringList &changes)
{
    QVector<FieldDef> fields = source;
    text::UniqueNames seen;
    for (FieldDef &f : fields) {
        // Names are quoted in the heading; a quote itself cannot be written there.
        QString name = f.name;
        name.replace(QLatin1Char('"'), QLatin1Char('\''));
        if (name.trimmed().isEmpty())
            name = QStringLiteral("F%1").arg(f.fieldNo);
        name = seen.take(name);
        if (name != f.name)
            changes << QStringLiteral("Das Feld \"%1\" heißt in der Textdatei \"%2\".").arg(f.name, name);
        f.name = name;
        switch (f.dataType) {
        case ftWord:
            f.dataType = ftInteger; // Short would not hold 65535
            break;
        case ftGuid:
            f.dataType = ftString;
            break;
        default:
            if (!schemaTypeName(f.dataType).isEmpty())
                break;
            changes << QStringLiteral("Das Feld \"%1\" (%2) wird als Base64-Text gespeichert.")
                           .arg(f.name, fieldTypeName(f.dataType));
            f.dataType = ftMemo;
            break;
        }
    }
    return fields;
}

std::unique_ptr<TableWriter> createTextWriter(const QString &directory, const QString &fileName,
                                              const QVector<FieldDef> &fields)
{
    if (directory.isEmpty() || !QDir(directory).exists())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(QDir::toNativeSeparators(directory)));
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName.startsWith(QLatin1Char('.')))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("'%1' ist kein gültiger Tabellenname.").arg(fileName));
    if (fields.isEmpty())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Tabelle %1 braucht mindestens ein Feld.").arg(fileName));
    return std::make_unique<TextWriter>(directory, fileName, fields);
}

} // namespace engine::csv
