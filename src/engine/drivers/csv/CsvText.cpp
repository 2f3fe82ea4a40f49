#include "CsvText.h"

#include "ValueText.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>
#include <limits>

namespace engine::csv {

QString Charset::decode(const QByteArray &bytes) const
{
    if (name == "UTF-8")
        return QString::fromUtf8(bytes);
    QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray Charset::encode(const QString &text, bool *ok) const
{
    QByteArray out;
    if (name == "UTF-8") {
        out = text.toUtf8();
    } else {
        QStringEncoder encoder(name.constData(), QStringConverter::Flag::Stateless);
        out = encoder.encode(text);
    }
    // A converter replaces what the set cannot hold; such text must not be saved silently changed.
    *ok = decode(out) == text;
    return out;
}

Charset charsetForNumber(int number, bool *ok)
{
    Charset cs;
    cs.number = number;
    switch (number) {
    case 65001: cs.name = "UTF-8"; break;
    case 1200: cs.name = "UTF-16LE"; cs.unit = 2; break;
    case 1201: cs.name = "UTF-16BE"; cs.unit = 2; cs.bigEndian = true; break;
    case 20127: cs.name = "US-ASCII"; break;
    case 932: cs.name = "Shift_JIS"; break;
    case 936: cs.name = "GBK"; break;
    case 950: cs.name = "Big5"; break;
    default:
        if (number >= 28591 && number <= 28605)
            cs.name = "ISO-8859-" + QByteArray::number(number - 28590);
        else if (number == 874 || (number >= 1250 && number <= 1258) || number == 949)
            cs.name = "windows-" + QByteArray::number(number);
        else if (number >= 437 && number <= 869)
            cs.name = "IBM" + QByteArray::number(number);
        else
            cs.name = "windows-" + QByteArray::number(number);
    }
    *ok = QStringDecoder(cs.name.constData()).isValid();
    return cs;
}

Charset charsetFromSchema(const QString &value, bool *ok)
{
    const QString v = value.trimmed();
    if (v.compare(QLatin1String("ANSI"), Qt::CaseInsensitive) == 0)
        return charsetForNumber(1252, ok);
    if (v.compare(QLatin1String("OEM"), Qt::CaseInsensitive) == 0)
        return charsetForNumber(850, ok); // the German OEM code page
    if (v.compare(QLatin1String("Unicode"), Qt::CaseInsensitive) == 0)
        return charsetForNumber(1200, ok);
    if (v.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0 || v.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) == 0)
        return charsetForNumber(65001, ok);
    bool isNumber = false;
    const int number = v.toInt(&isNumber);
    if (isNumber && number > 0)
        return charsetForNumber(number, ok);
    *ok = false;
    return Charset();
}

Charset charsetFromBom(const QByteArray &head, bool *ok)
{
    Charset cs;
    *ok = true;
    if (head.startsWith("\xEF\xBB\xBF")) {
        cs.bomSize = 3;
    } else if (head.startsWith("\xFF\xFE")) {
        cs = charsetForNumber(1200, ok);
        cs.bomSize = 2;
    } else if (head.startsWith("\xFE\xFF")) {
        cs = charsetForNumber(1201, ok);
        cs.bomSize = 2;
    } else {
        *ok = false;
    }
    return cs;
}

Record parseRecord(const char *data, qint64 size, const Charset &cs, char16_t sep)
{
    enum State { FieldStart, Unquoted, Quoted, QuoteInQuoted };
    Record rec;
    QByteArray cell;
    bool quoted = false;
    State state = FieldStart;
    const int u = cs.unit;
    auto finishCell = [&] {
        rec.cells.append(cs.decode(cell));
        rec.quoted.append(quoted);
        cell.clear();
        quoted = false;
    };
    qint64 i = 0;
    for (; i + u <= size; i += u) {
        const char16_t c = cs.unitAt(data + i);
        const bool lineEnd = c == u'\r' || c == u'\n';
        switch (state) {
        case FieldStart:
            if (c == u'"') { state = Quoted; quoted = true; continue; }
            if (c == sep) { finishCell(); continue; }
            if (lineEnd) break;
            cell.append(data + i, u);
            state = Unquoted;
            continue;
        case Unquoted:
            if (c == sep) { finishCell(); state = FieldStart; continue; }
            if (lineEnd) break;
            cell.append(data + i, u);
            continue;
        case Quoted:
            if (c == u'"') state = QuoteInQuoted;
            else cell.append(data + i, u);
            continue;
        case QuoteInQuoted:
            if (c == u'"') { cell.append(data + i, u); state = Quoted; continue; }
            if (c == sep) { finishCell(); state = FieldStart; continue; }
            if (lineEnd) break;
            cell.append(data + i, u);
            state = Unquoted;
            continue;
        }
        // A line end outside quotes ends the record.
        finishCell();
        rec.contentBytes = i;
        rec.terminatorBytes = u;
        if (c == u'\r' && i + 2 * u <= size && cs.unitAt(data + i + u) == u'\n')
            rec.terminatorBytes = 2 * u;
        return rec;
    }
    finishCell();
    rec.contentBytes = i;
    return rec;
}

void RecordIndexer::feed(const char *data, qint64 size, qint64 base, std::vector<qint64> &starts)
{
    const int u = m_cs.unit;
    for (qint64 i = 0; i + u <= size; i += u) {
        const char16_t c = m_cs.unitAt(data + i);
        if (m_afterCR) {
            m_afterCR = false;
            if (c == u'\n')
                continue;
        }
        const bool lineEnd = c == u'\r' || c == u'\n';
        if (!m_inRecord) {
            if (lineEnd) { // a blank line
                m_afterCR = c == u'\r';
                continue;
            }
            m_inRecord = true;
            m_state = FieldStart;
            starts.push_back(base + i);
        }
        switch (m_state) {
        case FieldStart:
            if (c == u'"') m_state = Quoted;
            else if (c == m_sep) m_state = FieldStart;
            else if (!lineEnd) m_state = Unquoted;
            break;
        case Unquoted:
            if (c == m_sep) m_state = FieldStart;
            break;
        case Quoted:
            if (c == u'"') m_state = QuoteInQuoted;
            continue;
        case QuoteInQuoted:
            if (c == u'"') m_state = Quoted;
            else if (c == m_sep) m_state = FieldStart;
            else if (!lineEnd) m_state = Unquoted;
            break;
        }
        if (lineEnd) {
            m_inRecord = false;
            m_afterCR = c == u'\r';
        }
    }
}

char16_t detectSeparator(const QByteArray &head, const Charset &cs, char16_t fallback)
{
    static const char16_t candidates[] = {u',', u';', u'\t', u'|'};
    constexpr int maxLines = 20;
    QVector<std::array<int, 4>> lines;
    std::array<int, 4> counts{};
    bool inQuotes = false, any = false;
    const int u = cs.unit;
    qint64 i = cs.bomSize;
    for (; i + u <= head.size() && lines.size() < maxLines; i += u) {
        const char16_t c = cs.unitAt(head.constData() + i);
        if (c == u'"') inQuotes = !inQuotes;
        if (inQuotes) continue;
        if (c == u'\r' || c == u'\n') {
            if (any) lines.append(counts);
            counts = {};
            any = false;
            continue;
        }
        any = true;
        for (int k = 0; k < 4; ++k)
            if (c == candidates[k]) ++counts[k];
    }
    if (any && i + u > head.size()) // the last line is whole only at the end of the file
        lines.append(counts);
    if (lines.isEmpty())
        return fallback;
    int best = -1, bestScore = 0;
    for (int k = 0; k < 4; ++k) {
        const int first = lines.first()[k];
        bool even = first > 0;
        int total = 0;
        for (const auto &l : lines) {
            even = even && l[k] == first;
            total += l[k];
        }
        // Splitting every line into the same number of cells counts far more than frequency.
        const int score = even ? 1000000 + first : total;
        if (score > bestScore) {
            bestScore = score;
            best = k;
        }
    }
    return best < 0 ? fallback : candidates[best];
}

QString schemaTypeName(TFieldType type)
{
    switch (type) {
    case ftBoolean: return QStringLiteral("Bit");
    case ftSmallint: case ftWord: return QStringLiteral("Short");
    case ftInteger: case ftAutoInc: return QStringLiteral("Long");
    case ftLargeint: return QStringLiteral("BigInt");
    case ftFloat: case ftBCD: case ftFMTBcd: return QStringLiteral("Double");
    case ftCurrency: return QStringLiteral("Currency");
    case ftDate: return QStringLiteral("Date");
    case ftDateTime: case ftTimeStamp: return QStringLiteral("DateTime");
    case ftTime: return QStringLiteral("Time");
    case ftMemo: case ftFmtMemo: return QStringLiteral("Memo");
    case ftString: case ftFixedChar: case ftWideString: return QStringLiteral("Text");
    default: return QString();
    }
}

TFieldType typeFromSchemaName(const QString &name, bool *ok)
{
    static const struct { const char *name; TFieldType type; } types[] = {
        {"Bit", ftBoolean}, {"Boolean", ftBoolean}, {"Byte", ftSmallint}, {"Short", ftSmallint},
        {"Integer", ftSmallint}, {"Long", ftInteger}, {"BigInt", ftLargeint}, {"Currency", ftCurrency},
        {"Single", ftFloat}, {"Double", ftFloat}, {"Float", ftFloat}, {"Decimal", ftFloat},
        {"Date", ftDate}, {"DateTime", ftDateTime}, {"Time", ftTime}, {"Text", ftString},
        {"Char", ftString}, {"Memo", ftMemo}, {"LongChar", ftMemo},
    };
    for (const auto &t : types) {
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0) {
            *ok = true;
            return t.type;
        }
    }
    *ok = false;
    return ftString;
}

} // namespace engine::csv
