#include "TextValues.h"

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

namespace engine::text {

bool isValidUtf8(const QByteArray &bytes, bool sampleMayBeCut)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        int follow = 0;
        quint32 cp = 0;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { follow = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { follow = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { follow = 3; cp = c & 0x07; }
        else return false;
        if (i + follow >= n) {
            // The sample ends inside the sequence.
            if (!sampleMayBeCut)
                return false;
            for (qsizetype k = i + 1; k < n; ++k)
                if ((p[k] & 0xC0) != 0x80)
                    return false;
            return true;
        }
        for (int k = 1; k <= follow; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((follow == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (follow == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += follow + 1;
    }
    return true;
}

// ---- values ----------------------------------------------------------------

namespace {

struct NumberParse {
    bool ok = false;
    bool integer = false;
    double value = 0;
    qint64 whole = 0;
    bool wholeFits = true;
};

// A number in one of the two styles: C ("1234.5", "1,234.5", "1e3") or German ("1234,5", "1.234,5").
NumberParse parseNumber(const QString &text, bool german)
{
    static const QRegularExpression c(QStringLiteral(R"(^([+-]?)(\d+|\d{1,3}(?:,\d{3})+)(?:\.(\d*))?([eE][+-]?\d+)?$)"));
    static const QRegularExpression cFrac(QStringLiteral(R"(^([+-]?)()\.(\d+)()$)"));
    static const QRegularExpression de(QStringLiteral(R"(^([+-]?)(\d+|\d{1,3}(?:\.\d{3})+)(?:,(\d+))?()$)"));
    NumberParse r;
    QRegularExpressionMatch m = (german ? de : c).match(text);
    if (!m.hasMatch() && !german)
        m = cFrac.match(text);
    if (!m.hasMatch())
        return r;
    QString whole = m.captured(2);
    const QChar group = german ? QLatin1Char('.') : QLatin1Char(',');
    const bool grouped = whole.contains(group);
    whole.remove(group);
    // "08123" or "01" are codes, not numbers: reading them as numbers would lose the zero.
    if (whole.size() > 1 && whole.startsWith(QLatin1Char('0')) && !grouped)
        return r;
    if (m.captured(4).size() > 0 && grouped)
        return r;
    const bool hasFraction = m.capturedLength(3) > 0 || (!german && text.contains(QLatin1Char('.')));
    const QString plain = m.captured(1) + (whole.isEmpty() ? QStringLiteral("0") : whole)
                          + (m.capturedLength(3) ? QLatin1Char('.') + m.captured(3) : QString()) + m.captured(4);
    bool ok = false;
    r.value = plain.toDouble(&ok);
    if (!ok || std::isinf(r.value) || std::isnan(r.value))
        return r;
    r.ok = true;
    r.integer = !hasFraction && m.captured(4).isEmpty();
    if (r.integer) {
        r.whole = (m.captured(1) + whole).toLongLong(&r.wholeFits);
        if (!r.wholeFits)
            r.integer = false;
    }
    return r;
}

bool parseDatePart(const QString &text, QDate *date, bool *german)
{
    static const QRegularExpression gd(QStringLiteral(R"(^(\d{1,2})\.(\d{1,2})\.(\d{4})$)"));
    static const QRegularExpression iso(QStringLiteral(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)"));
    if (auto m = gd.match(text); m.hasMatch()) {
        *date = QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
        *german = true;
    } else if (auto m2 = iso.match(text); m2.hasMatch()) {
        *date = QDate(m2.captured(1).toInt(), m2.captured(2).toInt(), m2.captured(3).toInt());
        *german = false;
    } else {
        return false;
    }
    return date->isValid();
}

bool parseTimePart(const QString &text, QTime *time)
{
    static const QRegularExpression t(QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2})(?:[.,](\d{1,3}))?)?$)"));
    const auto m = t.match(text);
    if (!m.hasMatch())
        return false;
    QString ms = m.captured(4);
    while (!ms.isEmpty() && ms.size() < 3)
        ms += QLatin1Char('0');
    *time = QTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), ms.toInt());
    return time->isValid();
}

// A date, or a date and a time after "T" or a blank.
bool parseDateTime(const QString &text, QDateTime *dt, bool *hasTime, bool *german, QChar *separator)
{
    int split = text.indexOf(QLatin1Char('T'));
    if (split < 0)
        split = text.indexOf(QLatin1Char(' '));
    QDate date;
    QTime time(0, 0);
    *hasTime = split >= 0;
    if (!parseDatePart(split < 0 ? text : text.left(split), &date, german))
        return false;
    if (split >= 0) {
        *separator = text.at(split);
        if (!parseTimePart(text.mid(split + 1).trimmed(), &time))
            return false;
    }
    *dt = QDateTime(date, time);
    return true;
}

int boolOf(const QString &text)
{
    static const char *const yes[] = {"true", "yes", "wahr", "ja"};
    static const char *const no[] = {"false", "no", "falsch", "nein"};
    for (const char *w : yes)
        if (text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return 1;
    for (const char *w : no)
        if (text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return 0;
    return -1;
}

} // namespace

bool isNullMarker(const QString &text)
{
    static const char *const markers[] = {"null", "nil", "none", "n/a", "-"};
    for (const char *m : markers)
        if (text.compare(QLatin1String(m), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

void ColumnGuess::add(const QString &raw)
{
    m_maxLength = std::max(m_maxLength, int(raw.size()));
    const QString text = raw.trimmed();
    if (text.isEmpty() || isNullMarker(text))
        return;
    m_any = true;
    const NumberParse c = parseNumber(text, false), de = parseNumber(text, true);
    m_numC = m_numC && c.ok;
    m_intC = m_intC && c.ok && c.integer;
    m_bigC = m_bigC || (c.integer && (c.whole > std::numeric_limits<qint32>::max() || c.whole < std::numeric_limits<qint32>::min()));
    m_numDE = m_numDE && de.ok;
    m_intDE = m_intDE && de.ok && de.integer;
    m_bigDE = m_bigDE || (de.integer && (de.whole > std::numeric_limits<qint32>::max() || de.whole < std::numeric_limits<qint32>::min()));
    if (m_date || m_dateTime) {
        QDateTime dt;
        bool hasTime = false, german = false;
        QChar sep = QLatin1Char(' ');
        if (parseDateTime(text, &dt, &hasTime, &german, &sep)) {
            (german ? m_germanDates : m_isoDates)++;
            if (hasTime) {
                m_anyTime = true;
                m_date = false;
                if (sep == QLatin1Char('T'))
                    ++m_tSeparators;
            }
        } else {
            m_date = m_dateTime = false;
        }
    }
    if (m_time) {
        QTime t;
        m_time = parseTimePart(text, &t);
    }
    if (m_bool) {
        const int b = boolOf(text);
        if (b < 0)
            m_bool = false;
        else if (b == 1 && m_trueText.isEmpty())
            m_trueText = text;
        else if (b == 0 && m_falseText.isEmpty())
            m_falseText = text;
    }
}

ColumnStyle ColumnGuess::styleFor(TFieldType type, bool preferGerman) const
{
    ColumnStyle s;
    s.type = type;
    s.maxLength = m_maxLength;
    // The number style the values allow; where both fit, the tie-break decides.
    if (m_any && m_numDE && !m_numC)
        s.germanNumbers = true;
    else if (m_any && m_numC && !m_numDE)
        s.germanNumbers = false;
    else
        s.germanNumbers = preferGerman;
    s.germanDate = m_germanDates > m_isoDates;
    s.dateTimeSeparator = m_tSeparators > 0 ? QLatin1Char('T') : QLatin1Char(' ');
    // Booleans are written with the words the file uses, in its capitalisation.
    auto pairFor = [](const QString &seen, bool value) -> std::pair<QString, QString> {
        const QString l = seen.toLower();
        QString t, f;
        if (l == QLatin1String("yes") || l == QLatin1String("no")) { t = QStringLiteral("yes"); f = QStringLiteral("no"); }
        else if (l == QLatin1String("ja") || l == QLatin1String("nein")) { t = QStringLiteral("ja"); f = QStringLiteral("nein"); }
        else if (l == QLatin1String("wahr") || l == QLatin1String("falsch")) { t = QStringLiteral("wahr"); f = QStringLiteral("falsch"); }
        else { t = QStringLiteral("true"); f = QStringLiteral("false"); }
        const bool upper = seen == seen.toUpper();
        const bool title = !upper && seen.at(0).isUpper();
        auto shape = [&](QString w) { return upper ? w.toUpper() : title ? w.at(0).toUpper() + w.mid(1) : w; };
        Q_UNUSED(value);
        return {shape(t), shape(f)};
    };
    if (!m_trueText.isEmpty() || !m_falseText.isEmpty()) {
        const auto p = pairFor(!m_trueText.isEmpty() ? m_trueText : m_falseText, true);
        s.trueText = !m_trueText.isEmpty() ? m_trueText : p.first;
        s.falseText = !m_falseText.isEmpty() ? m_falseText : p.second;
    }
    return s;
}

ColumnStyle ColumnGuess::result(bool preferGerman) const
{
    TFieldType type = ftString;
    if (m_any) {
        const bool c = m_numC, de = m_numDE;
        const bool german = (de && !c) || (de && c && preferGerman);
        if (m_bool)
            type = ftBoolean;
        else if (c || de)
            type = (german ? m_intDE : m_intC) ? ((german ? m_bigDE : m_bigC) ? ftLargeint : ftInteger) : ftFloat;
        else if (m_date)
            type = ftDate;
        else if (m_dateTime && m_anyTime)
            type = ftDateTime;
        else if (m_time)
            type = ftTime;
    }
    return styleFor(type, preferGerman);
}

QVariant readValue(const QString &raw, const ColumnStyle &style)
{
    if (raw.isEmpty())
        return QVariant();
    switch (style.type) {
    case ftString: case ftMemo: case ftFmtMemo: case ftFixedChar: case ftWideString:
        return raw;
    default:
        break;
    }
    const QString text = raw.trimmed();
    if (text.isEmpty() || isNullMarker(text))
        return QVariant();
    switch (style.type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: {
        NumberParse n = parseNumber(text, style.germanNumbers);
        if (!n.ok || !n.integer)
            n = parseNumber(text, !style.germanNumbers);
        if (!n.ok || !n.integer)
            return QVariant();
        if (style.type == ftLargeint)
            return QVariant(qlonglong(n.whole));
        if (n.whole > std::numeric_limits<int>::max() || n.whole < std::numeric_limits<int>::min())
            return QVariant(qlonglong(n.whole));
        return QVariant(int(n.whole));
    }
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd: {
        NumberParse n = parseNumber(text, style.germanNumbers);
        if (!n.ok)
            n = parseNumber(text, !style.germanNumbers);
        return n.ok ? QVariant(n.value) : QVariant();
    }
    case ftBoolean: {
        int b = boolOf(text);
        if (b < 0 && (text == QLatin1String("1") || text == QLatin1String("0")))
            b = text == QLatin1String("1");
        return b < 0 ? QVariant() : QVariant(b == 1);
    }
    case ftDate: case ftDateTime: case ftTimeStamp: {
        QDateTime dt;
        bool hasTime = false, german = false;
        QChar sep;
        if (!parseDateTime(text, &dt, &hasTime, &german, &sep))
            return QVariant();
        if (style.type == ftDate)
            return hasTime ? QVariant() : QVariant(dt.date());
        return dt;
    }
    case ftTime: {
        QTime t;
        return parseTimePart(text, &t) ? QVariant(t) : QVariant();
    }
    default:
        return raw;
    }
}

namespace {

void appendNumber(QByteArray &out, qint64 v)
{
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr - buffer);
}

// 15 significant digits, as the engine shows numbers, never in exponent form.
void appendDouble(QByteArray &out, double d, char point)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 15);
    const std::string_view text(buffer, size_t(r.ptr - buffer));
    const size_t e = text.find('e');
    if (e == std::string_view::npos) {
        for (const char c : text)
            out.append(c == '.' ? point : c);
        return;
    }
    std::string_view mantissa = text.substr(0, e);
    if (mantissa.front() == '-') {
        out.append('-');
        mantissa.remove_prefix(1);
    }
    std::string digits;
    int before = 0; // digits before the mantissa's point
    bool seenPoint = false;
    for (const char c : mantissa) {
        if (c == '.') {
            seenPoint = true;
            continue;
        }
        digits += c;
        if (!seenPoint)
            ++before;
    }
    const int at = before + std::atoi(std::string(text.substr(e + 1)).c_str()); // where the point goes
    if (at <= 0) {
        out.append('0').append(point).append(QByteArray(-at, '0')).append(digits.data(), qsizetype(digits.size()));
    } else if (at >= int(digits.size())) {
        out.append(digits.data(), qsizetype(digits.size())).append(QByteArray(at - int(digits.size()), '0'));
    } else {
        out.append(digits.data(), at).append(point).append(digits.data() + at, qsizetype(digits.size()) - at);
    }
}

void appendPadded(QByteArray &out, int value, int width)
{
    char buffer[12];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    for (qsizetype n = r.ptr - buffer; n < width; ++n)
        out.append('0');
    out.append(buffer, r.ptr - buffer);
}

// yyyy-MM-dd, or dd.MM.yyyy in the German style.
bool appendDate(QByteArray &out, const QDate &d, bool german)
{
    if (!d.isValid())
        return false;
    if (d.year() < 1 || d.year() > 9999) {
        out.append((german ? formatDate(d) : d.toString(QStringLiteral("yyyy-MM-dd"))).toUtf8());
        return true;
    }
    int year = 0, month = 0, day = 0;
    d.getDate(&year, &month, &day); // one calendar conversion instead of three
    if (german) {
        appendPadded(out, day, 2);
        out.append('.');
        appendPadded(out, month, 2);
        out.append('.');
        appendPadded(out, year, 4);
    } else {
        appendPadded(out, year, 4);
        out.append('-');
        appendPadded(out, month, 2);
        out.append('-');
        appendPadded(out, day, 2);
    }
    return true;
}

void appendTime(QByteArray &out, const QTime &t, bool milliseconds)
{
    appendPadded(out, t.hour(), 2);
    out.append(':');
    appendPadded(out, t.minute(), 2);
    out.append(':');
    appendPadded(out, t.second(), 2);
    if (milliseconds) {
        out.append('.');
        appendPadded(out, t.msec(), 3);
    }
}

} // namespace

bool appendValue(QByteArray &out, const QVariant &value, const ColumnStyle &style)
{
    if (!value.isValid() || value.isNull())
        return true;
    switch (style.type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: {
        bool good = false;
        qlonglong v = value.toLongLong(&good);
        if (!good) {
            // A whole number given as a double (or as text) is still whole.
            const double d = value.toDouble(&good);
            if (!good || d != std::floor(d) || std::fabs(d) > 9.2e18)
                return false;
            v = qlonglong(d);
        }
        if (style.type == ftSmallint && (v < -32768 || v > 32767))
            return false;
        if (style.type == ftInteger && (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max()))
            return false;
        appendNumber(out, v);
        return true;
    }
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd: {
        bool good = false;
        const double d = value.toDouble(&good);
        if (!good || std::isnan(d) || std::isinf(d))
            return false;
        appendDouble(out, d, style.germanNumbers ? ',' : '.');
        return true;
    }
    case ftBoolean:
        out.append((value.toBool() ? style.trueText : style.falseText).toUtf8());
        return true;
    case ftDate:
        return appendDate(out, value.toDate(), style.germanDate);
    case ftDateTime: case ftTimeStamp: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid() || !appendDate(out, dt.date(), style.germanDate))
            return false;
        out.append(style.germanDate ? QByteArray(" ") : QString(style.dateTimeSeparator).toUtf8());
        appendTime(out, dt.time(), dt.time().msec() != 0);
        return true;
    }
    case ftTime: {
        const QTime t = value.toTime();
        if (!t.isValid())
            return false;
        appendTime(out, t, false);
        return true;
    }
    default:
        out.append(value.toString().toUtf8());
        return true;
    }
}

QString writeValue(const QVariant &value, const ColumnStyle &style, bool *ok)
{
    QByteArray bytes;
    *ok = appendValue(bytes, value, style);
    return *ok ? QString::fromUtf8(bytes) : QString();
}

} // namespace engine::text
