#include "HtmlWriter.h"

#include "EngineError.h"
#include "HtmlTable.h"
#include "RawCells.h"
#include "ValueText.h"
#include "common/FileIo.h"
#include "common/Journal.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <optional>

namespace engine::html {

namespace {

void appendEscaped(QString &out, const QString &text)
{
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        default: out += c; break;
        }
    }
}

// Output is collected as text and handed to the file in large pieces.
constexpr qsizetype FlushChars = 1 << 20;

constexpr int TextRoom = 1024; // longer texts are written as values

bool isWhole(TFieldType type)
{
    return type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc || type == ftLargeint;
}

// Whether the engine's text of the number is its digits: a double's text takes an
// exponent below 0.0001, and minus zero is left to the value.
bool writtenOutAsFloat(const RawCell &cell)
{
    const char *p = cell.data;
    const char *end = p + cell.size;
    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    bool wholePart = false;
    for (; p < end && *p != '.'; ++p)
        wholePart = wholePart || *p != '0';
    if (wholePart)
        return true;
    if (p < end)
        ++p; // the point
    int zeros = 0;
    for (; p < end && *p == '0'; ++p)
        ++zeros;
    if (p >= end)
        return !negative; // zero
    return zeros < 4;
}

// Rows written straight from the source's bytes into a text of its own, as
// PageWriter::writeRow() writes their values.
class RowFormatter final : public RawRowFormatter {
public:
    RowFormatter(const QVector<FieldDef> &fields, const Utf8Table *table) : m_fields(fields), m_table(table) {}

    void formatRow(const RawCell *cells, const QVariant *values) override
    {
        m_text += QLatin1String("<tr>");
        for (int i = 0; i < m_fields.size(); ++i) {
            m_text += QLatin1String("<td>");
            const RawCell &cell = cells[i];
            const TFieldType type = m_fields.at(i).dataType;
            switch (cell.form) {
            case RawCell::Null:
                break;
            case RawCell::Text: {
                char16_t buffer[TextRoom];
                const auto *bytes = reinterpret_cast<const unsigned char *>(cell.data);
                for (int k = 0; k < cell.size; ++k)
                    buffer[k] = m_table->unicode[bytes[k]];
                appendCellText(m_text, QStringView(buffer, cell.size));
                break;
            }
            case RawCell::Number: {
                QVarLengthArray<char, 64> buffer(cell.size + 2);
                const char *end = formatPlainDecimal(cell.data, cell.size, isWhole(type), ',', buffer.data());
                m_text += QLatin1String(buffer.data(), end - buffer.data());
                break;
            }
            case RawCell::Date8: {
                const char *d = cell.data;
                const char text[10] = {d[6], d[7], '.', d[4], d[5], '.', d[0], d[1], d[2], d[3]};
                m_text += QLatin1String(text, 10);
                break;
            }
            case RawCell::True:
                m_text += QLatin1String("True");
                break;
            case RawCell::False:
                m_text += QLatin1String("False");
                break;
            case RawCell::Value:
                appendCellText(m_text, formatValue(values[i], type));
                break;
            }
            m_text += QLatin1String("</td>");
        }
        m_text += QLatin1String("</tr>\n");
    }

    void take(QByteArray &rows) override
    {
        rows.resize(m_encoder.requiredSpace(m_text.size()));
        char *end = m_encoder.appendToBuffer(rows.data(), m_text);
        rows.resize(end - rows.constData());
        m_text.resize(0);
    }

private:
    const QVector<FieldDef> &m_fields;
    const Utf8Table *m_table;
    QString m_text;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
};

class PageWriter final : public TableWriter, public RawRowWriter {
public:
    PageWriter(const QString &path, const QString &title, const QVector<FieldDef> &fields)
        : m_path(path), m_journal(path), m_fields(fields)
    {
        const QString part = m_journal.newPartPath();
        m_journal.replace(part, m_path);
        m_file.emplace(part, m_path);
        m_text.reserve(FlushChars + 64 * 1024);
        m_text += QLatin1String("<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>");
        appendEscaped(m_text, title);
        m_text += QLatin1String("</title>\n</head>\n<body>\n<table>\n<thead>\n<tr>");
        for (const FieldDef &f : fields) {
            m_text += QLatin1String("<th");
            const QString key = typeKey(f.dataType);
            if (!key.isEmpty()) {
                m_text += QLatin1String(" data-type=\"") + key + QLatin1Char('"');
                if (f.size > 0 && (f.dataType == ftString || f.dataType == ftFixedChar || f.dataType == ftWideString))
                    m_text += QStringLiteral(" data-size=\"%1\"").arg(f.size);
                if (f.dataType == ftBCD || f.dataType == ftFMTBcd)
                    m_text += QStringLiteral(" data-precision=\"%1\" data-scale=\"%2\"").arg(f.precision).arg(f.scale);
            }
            m_text += QLatin1Char('>');
            appendCellText(m_text, f.name);
            m_text += QLatin1String("</th>");
        }
        m_text += QLatin1String("</tr>\n</thead>\n<tbody>\n");
    }

    void writeRow(const QVector<QVariant> &values) override
    {
        if (m_committed)
            throw EngineError(QStringLiteral("Die HTML-Datei %1 ist schon abgeschlossen.").arg(QDir::toNativeSeparators(m_path)));
        m_text += QLatin1String("<tr>");
        for (int i = 0; i < m_fields.size(); ++i) {
            m_text += QLatin1String("<td>");
            if (i < values.size())
                appendCellText(m_text, formatValue(values.at(i), m_fields.at(i).dataType));
            m_text += QLatin1String("</td>");
        }
        m_text += QLatin1String("</tr>\n");
        if (m_text.size() >= FlushChars)
            flush();
    }

    bool takesCell(int field, const RawCell &cell) const override
    {
        if (cell.form == RawCell::Text)
            return cell.size <= TextRoom;
        if (cell.form == RawCell::Number && !isWhole(m_fields.at(field).dataType))
            return writtenOutAsFloat(cell);
        return true;
    }

    std::unique_ptr<RawRowFormatter> rawFormatter(const Utf8Table *table) const override
    {
        return std::make_unique<RowFormatter>(m_fields, table);
    }

    void writeFormatted(const QByteArray &rows) override
    {
        if (m_committed)
            throw EngineError(QStringLiteral("Die HTML-Datei %1 ist schon abgeschlossen.").arg(QDir::toNativeSeparators(m_path)));
        flush();
        m_file->write(rows);
    }

    void commit() override
    {
        if (m_committed)
            return;
        m_text += QLatin1String("</tbody>\n</table>\n</body>\n</html>\n");
        flush();
        m_file->finish();
        m_journal.commit();
        m_committed = true;
    }

private:
    void flush()
    {
        if (m_text.isEmpty())
            return;
        m_file->write(m_text.toUtf8());
        m_text.clear();
    }

    QString m_path;
    io::Journal m_journal; // removes the part unless committed
    std::optional<io::PartWriter> m_file;
    QVector<FieldDef> m_fields;
    QString m_text;
    bool m_committed = false;
};

} // namespace

void appendCellText(QString &out, QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\r':
            // CR LF and a lone CR are one line break, as in the grid.
            if (i + 1 < n && text.at(i + 1) == u'\n')
                break;
            out += QLatin1String("<br>");
            break;
        case u'\n': out += QLatin1String("<br>"); break;
        case u'\0': break;
        case u' ': {
            // A browser collapses blanks at the ends of a line and runs of them.
            const bool edge = i == 0 || i + 1 == n || text.at(i - 1) == u'\n' || text.at(i - 1) == u'\r'
                || text.at(i + 1) == u'\n' || text.at(i + 1) == u'\r';
            const bool run = (i > 0 && text.at(i - 1) == u' ') || (i + 1 < n && text.at(i + 1) == u' ');
            out += (edge || run) ? QLatin1String("&nbsp;") : QLatin1String(" ");
            break;
        }
        default: out += c; break;
        }
    }
}

std::unique_ptr<TableWriter> createPageWriter(const QString &path, const QString &title, const QVector<FieldDef> &fields)
{
    return std::make_unique<PageWriter>(path, title, fields);
}

} // namespace engine::html
