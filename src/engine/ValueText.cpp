#include "ValueText.h"

#include "EngineError.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace engine {

QString formatFloat(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return QString();
    if (value == 0)
        value = 0; // a stored minus zero is shown as 0, as it always was
    // 15 significant digits, as many as a double holds for sure; large whole
    // numbers are written out with zeros rather than with an exponent.
    // (to_chars writes what QString::number(value, 'g', 15) does, without the
    // locale machinery, which was most of a listing's cost per number.)
    char buf[64];
    const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (std::find(buf, written.ptr, 'e') == written.ptr) {
        std::replace(buf, written.ptr, '.', ',');
        return QString::fromLatin1(buf, written.ptr - buf);
    }
    QString text = QString::fromLatin1(buf, written.ptr - buf);
    const int e = text.indexOf(QLatin1Char('e'));
    if (e >= 0 && std::fabs(value) >= 1.0) {
        const int exponent = text.mid(e + 1).toInt();
        QString digits = text.left(e);
        const bool negative = digits.startsWith(QLatin1Char('-'));
        if (negative)
            digits.remove(0, 1);
        digits.remove(QLatin1Char('.'));
        if (exponent + 1 >= digits.size()) {
            digits += QString(exponent + 1 - digits.size(), QLatin1Char('0'));
            text = (negative ? QStringLiteral("-") : QString()) + digits;
        }
    }
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

QString formatCurrency(double value)
{
    // Money keeps at least two decimals and at most the four a currency field stores.
    char buf[400];
    if (value == 0)
        value = 0; // no minus zero
    if (std::isfinite(value)) {
        const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 4);
        if (written.ec == std::errc()) {
            // Four decimals: the point is five from the end; up to two trailing zeros go.
            *(written.ptr - 5) = ',';
            char *end = written.ptr;
            for (int i = 0; i < 2 && end[-1] == '0'; ++i)
                --end;
            return QString::fromLatin1(buf, end - buf);
        }
    }
    QString text = QString::number(value, 'f', 4);
    while (text.endsWith(QLatin1Char('0')) && text.indexOf(QLatin1Char('.')) < text.size() - 3)
        text.chop(1);
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

namespace {

// Two or four digits with leading zeros, straight into the text: dates and
// times are formatted for every cell of a listing, so no argument chain.
QChar *putDigits(QChar *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QChar(u'0' + value % 10);
        value /= 10;
    }
    return out + width;
}

QString dateText(int year, int month, int day)
{
    // Four-digit years always, also for years before 1000.
    QString text(10, Qt::Uninitialized);
    QChar *p = text.data();
    p = putDigits(p, day, 2);
    *p++ = QLatin1Char('.');
    p = putDigits(p, month, 2);
    *p++ = QLatin1Char('.');
    putDigits(p, year, 4);
    return text;
}

} // namespace

QString formatDate(const QDate &date)
{
    if (!date.isValid())
        return QString();
    if (date.year() < 0 || date.year() > 9999)
        return QStringLiteral("%1.%2.%3")
            .arg(date.day(), 2, 10, QLatin1Char('0'))
            .arg(date.month(), 2, 10, QLatin1Char('0'))
            .arg(date.year(), 4, 10, QLatin1Char('0'));
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    return dateText(year, month, day);
}

QString formatTime(const QTime &time)
{
    if (!time.isValid())
        return QString();
    QString text(8, Qt::Uninitialized);
    QChar *p = text.data();
    p = putDigits(p, time.hour(), 2);
    *p++ = QLatin1Char(':');
    p = putDigits(p, time.minute(), 2);
    *p++ = QLatin1Char(':');
    putDigits(p, time.second(), 2);
    return text;
}

QString formatDateTime(const QDate &date, qint64 msecsOfDay)
{
    if (!date.isValid() || msecsOfDay < 0)
        return QString();
    // Stored milliseconds (FoxPro and Access keep them) round to the nearest second.
    qint64 seconds = (msecsOfDay + 500) / 1000;
    QDate day = date;
    if (seconds >= 86400) {
        day = date.addDays(seconds / 86400);
        seconds %= 86400;
    }
    const QTime time(int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    return formatDate(day) + QLatin1Char(' ') + formatTime(time);
}

QString formatDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QString();
    return formatDateTime(dateTime.date(), dateTime.time().msecsSinceStartOfDay());
}

QString formatValue(const QVariant &value, TFieldType type)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (type) {
    case ftBoolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ftFloat: case ftBCD: case ftFMTBcd:
        return formatFloat(value.toDouble());
    case ftCurrency:
        return formatCurrency(value.toDouble());
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        return QString::number(value.toLongLong());
    case ftDate:
        return formatDate(value.toDate());
    case ftTime:
        return formatTime(value.toTime());
    case ftDateTime: case ftTimeStamp:
        return formatDateTime(value.toDateTime());
    default:
        break;
    }
    if (value.typeId() == QMetaType::QByteArray) {
        // Binary content is not shown as text; its size tells what is there.
        const qsizetype size = value.toByteArray().size();
        return QStringLiteral("(%1, %2 Bytes)").arg(fieldTypeName(type)).arg(size);
    }
    return value.toString();
}

static QDate parseDate(const QString &text, bool *ok)
{
    static const QRegularExpression german(QStringLiteral("^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{2,4})$"));
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    QDate date;
    if (auto m = german.match(text); m.hasMatch()) {
        int year = m.captured(3).toInt();
        if (m.captured(3).size() == 2)
            year += year < 50 ? 2000 : 1900;
        date = QDate(year, m.captured(2).toInt(), m.captured(1).toInt());
    } else if (auto m2 = iso.match(text); m2.hasMatch()) {
        date = QDate(m2.captured(1).toInt(), m2.captured(2).toInt(), m2.captured(3).toInt());
    }
    *ok = date.isValid();
    return date;
}

static QTime parseTime(const QString &text, bool *ok)
{
    QTime time = QTime::fromString(text, QStringLiteral("h:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("h:mm"));
    *ok = time.isValid();
    return time;
}

QDate dateOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate)
        return value.toDate();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date();
    return parseValue(value.toString(), ftDate).toDate();
}

QDateTime dateTimeOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime();
    if (value.typeId() == QMetaType::QDate)
        return QDateTime(value.toDate(), QTime(0, 0));
    return parseValue(value.toString(), ftDateTime).toDateTime();
}

QVariant parseValue(const QString &input, TFieldType type)
{
    const QString text = input.trimmed();
    if (text.isEmpty() && type != ftString && type != ftFixedChar && type != ftWideString
        && type != ftMemo && type != ftFmtMemo)
        return QVariant();
    bool ok = false;
    switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: {
        const qlonglong v = text.toLongLong(&ok);
        if (!ok)
            throw EngineError(ErrorKind::RefusedValue, msg::invalidInteger(input));
        return v;
    }
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd: {
        QString t = text;
        t.replace(QLatin1Char(','), QLatin1Char('.'));
        const double v = t.toDouble(&ok);
        if (!ok || std::isnan(v) || std::isinf(v))
            throw EngineError(ErrorKind::RefusedValue, msg::invalidFloat(input));
        return v;
    }
    case ftBoolean: {
        const QString t = text.toLower();
        if (t == QLatin1String("true") || t == QLatin1String("wahr") || t == QLatin1String("ja")
            || t == QLatin1String("t") || t == QLatin1String("j") || t == QLatin1String("y")
            || t == QLatin1String("1"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("falsch") || t == QLatin1String("nein")
            || t == QLatin1String("f") || t == QLatin1String("n") || t == QLatin1String("0"))
            return false;
        throw EngineError(ErrorKind::RefusedValue, msg::invalidBoolean(input));
    }
    case ftDate: {
        const QDate d = parseDate(text, &ok);
        if (!ok)
            throw EngineError(ErrorKind::RefusedValue, msg::invalidDate(input));
        return d;
    }
    case ftTime: {
        const QTime t = parseTime(text, &ok);
        if (!ok)
            throw EngineError(ErrorKind::RefusedValue, msg::invalidTime(input));
        return t;
    }
    case ftDateTime: case ftTimeStamp: {
        const int blank = text.indexOf(QLatin1Char(' '));
        const QDate d = parseDate(blank < 0 ? text : text.left(blank), &ok);
        if (!ok)
            throw EngineError(ErrorKind::RefusedValue, msg::invalidDateTime(input));
        QTime t(0, 0);
        if (blank >= 0) {
            t = parseTime(text.mid(blank + 1).trimmed(), &ok);
            if (!ok)
                throw EngineError(ErrorKind::RefusedValue, msg::invalidDateTime(input));
        }
        return QDateTime(d, t);
    }
    default:
        return input;
    }
}

} // namespace engine
