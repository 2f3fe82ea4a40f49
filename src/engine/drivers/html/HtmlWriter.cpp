#include "HtmlWriter.h"

#include "EngineError.h"
#include "HtmlTable.h"
#include "RawCells.h"
#include "ValueText.h"
#include "common/FileIo.h"
#include "common/Journal.h"

#include <QDir>
#include <QFileInfo>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

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

// Rows written straight from the source's bytes as UTF-8 into a buffer of its
// own, the bytes PageWriter::writeRow() writes for their values.
class RowFormatter final : public RawRowFormatter {
public:
    RowFormatter(const QVector<FieldDef> &fields, const Utf8Table *table) : m_fields(fields), m_table(table)
    {
        for (const FieldDef &f : fields)
            m_whole.push_back(isWhole(f.dataType));
        if (!table)
            return;
        // What each byte becomes in a cell, decided once: most are their UTF-8.
        for (int b = 0; b < 256; ++b) {
            const char16_t c = table->unicode[size_t(b)];
            const char *entity = c == u'&' ? "&amp;" : c == u'<' ? "&lt;" : c == u'>' ? "&gt;" : c == u'"' ? "&quot;" : nullptr;
            Byte &to = m_bytes[size_t(b)];
            if (entity) {
                to.size = quint8(strlen(entity));
                memcpy(to.text, entity, to.size);
            } else if (c == u'\r' || c == u'\n' || c == u' ' || c == u'\0') {
                to.special = true;
            } else {
                to.size = table->size[size_t(b)];
                memcpy(to.text, table->bytes[size_t(b)].data(), 3);
            }
        }
    }

    void formatRow(const RawCell *cells, const QVariant *values) override
    {
        const int n = int(m_fields.size());
        qsizetype at = m_out.size();
        m_out.resize(at + rowBound(cells, n));
        char *out = m_out.data() + at;
        out = put(out, "<tr>");
        for (int i = 0; i < n; ++i) {
            out = put(out, "<td>");
            const RawCell &cell = cells[i];
            switch (cell.form) {
            case RawCell::Null:
                break;
            case RawCell::Text:
                out = putText(out, cell);
                break;
            case RawCell::Number:
                out = formatPlainDecimal(cell.data, cell.size, m_whole[size_t(i)], ',', out);
                break;
            case RawCell::Date8: {
                const char *d = cell.data;
                const char text[10] = {d[6], d[7], '.', d[4], d[5], '.', d[0], d[1], d[2], d[3]};
                memcpy(out, text, 10);
                out += 10;
                break;
            }
            case RawCell::True:
                out = put(out, "True");
                break;
            case RawCell::False:
                out = put(out, "False");
                break;
            case RawCell::Value: {
                // Formatted the usual way: the bytes so far stay, the value's follow.
                m_out.resize(out - m_out.constData());
                m_text.resize(0);
                appendCellText(m_text, formatValue(values[i], m_fields.at(i).dataType));
                m_out += m_text.toUtf8();
                at = m_out.size();
                m_out.resize(at + rowBound(cells + i + 1, n - i - 1));
                out = m_out.data() + at;
                break;
            }
            }
            out = put(out, "</td>");
        }
        out = put(out, "</tr>\n");
        m_out.resize(out - m_out.constData());
    }

    void take(QByteArray &rows) override
    {
        rows.resize(0);
        rows.swap(m_out);
    }

private:
    struct Byte {
        char text[6] = {};
        quint8 size = 0;
        bool special = false; // a blank, a line break or a zero byte: it depends on the neighbours
    };

    template<size_t N>
    static char *put(char *out, const char (&text)[N])
    {
        memcpy(out, text, N - 1);
        return out + N - 1;
    }

    // At least the bytes the cells and their tags can take, and the row's tags;
    // a byte of text becomes at most six ("&quot;", "&nbsp;").
    static qsizetype rowBound(const RawCell *cells, qsizetype count)
    {
        qsizetype bound = 16;
        for (qsizetype i = 0; i < count; ++i)
            bound += 6 * qsizetype(cells[i].size) + 24;
        return bound;
    }

    // appendCellText() on the characters of the bytes, byte by byte.
    char *putText(char *out, const RawCell &cell) const
    {
        const auto *p = reinterpret_cast<const unsigned char *>(cell.data);
        const int n = cell.size;
        const auto &unicode = m_table->unicode;
        for (int i = 0; i < n; ++i) {
            const Byte &b = m_bytes[p[i]];
            if (!b.special) {
                memcpy(out, b.text, 6);
                out += b.size;
                continue;
            }
            switch (unicode[p[i]]) {
            case u'\r':
                // CR LF and a lone CR are one line break, as in the grid.
                if (i + 1 < n && unicode[p[i + 1]] == u'\n')
                    break;
                out = put(out, "<br>");
                break;
            case u'\n':
                out = put(out, "<br>");
                break;
            case u' ': {
                // A browser collapses blanks at the ends of a line and runs of them.
                const auto lineEnd = [](char16_t c) { return c == u'\n' || c == u'\r'; };
                const bool edge = i == 0 || i + 1 == n || lineEnd(unicode[p[i - 1]]) || lineEnd(unicode[p[i + 1]]);
                const bool run = (i > 0 && unicode[p[i - 1]] == u' ') || (i + 1 < n && unicode[p[i + 1]] == u' ');
                if (edge || run)
                    out = put(out, "&nbsp;");
                else
                    *out++ = ' ';
                break;
            }
            default: // the zero character is left out
                break;
            }
        }
        return out;
    }

    const QVector<FieldDef> &m_fields;
    const Utf8Table *m_table;
    std::vector<bool> m_whole; // number columns whose cells are whole numbers
    std::array<Byte, 256> m_bytes{};
    QString m_text;
    QByteArray m_out;
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

    // Only numbers that are no whole numbers are decided one by one.
    bool takesEveryCell(int field) const override
    {
        const TFieldType type = m_fields.at(field).dataType;
        return isWhole(type) || type == ftString || type == ftFixedChar || type == ftWideString || type == ftMemo
               || type == ftFmtMemo || type == ftDate || type == ftBoolean;
    }

    bool takesCell(int field, const RawCell &cell) const override
    {
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
