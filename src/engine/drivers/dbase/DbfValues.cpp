#include "DbfValues.h"

#include "common/FileIo.h"
#include "common/SharedAccess.h"

#include <QDate>
#include <QDateTime>
#include <charconv>
#include <cmath>
#include <utility>

namespace engine::dbase {

using namespace engine::io;

namespace {

// Where a number's stored text starts and ends inside the blanks (or zero
// bytes) that pad it: [first, end).
std::pair<int, int> storedSpan(const char *p, int width)
{
    int b = 0;
    int e = width;
    while (b < e && (p[b] == ' ' || p[b] == '\0'))
        ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == '\0'))
        --e;
    return {b, e};
}

} // namespace

QVariant parseNumeric(const char *p, int width, bool integer)
{
    const auto [b, e] = storedSpan(p, width);
    if (b == e)
        return QVariant();
    char buffer[256];
    int n = 0;
    bool digit = false;
    for (int i = b; i < e; ++i) {
        char c = p[i];
        if (c == '*')
            return QVariant(); // the field overflowed when it was written
        if (c == ',')
            c = '.';
        if (c >= '0' && c <= '9')
            digit = true;
        buffer[n++] = c;
    }
    if (!digit)
        return QVariant(); // "   .   " is how dBASE IV and FoxPro store a blank number
    const char *s = buffer;
    const char *end = buffer + n;
    if (*s == '+')
        ++s;
    if (integer) {
        long long v = 0;
        const auto r = std::from_chars(s, end, v);
        if (r.ec == std::errc() && r.ptr == end)
            return qint64(v);
    }
    double d = 0;
    const auto r = std::from_chars(s, end, d, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(d))
        return QVariant();
    if (integer) {
        if (!(std::fabs(d) < 9.2e18))
            return QVariant();
        return qint64(std::llround(d));
    }
    return d;
}

QString numericText(const char *p, int width)
{
    if (!parseNumeric(p, width, false).isValid())
        return QString();
    auto [b, e] = storedSpan(p, width);
    if (p[b] == '+')
        ++b;
    QString text;
    text.reserve(e - b + 2);
    for (int i = b; i < e; ++i) {
        const char c = p[i] == '.' ? ',' : p[i];
        // ".5" and "-.5" are written with their leading zero.
        if (c == ',' && (text.isEmpty() || text == QLatin1String("-")))
            text += QLatin1Char('0');
        text += QLatin1Char(c);
    }
    return text;
}

QVariant parseDate(const char *p)
{
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return QVariant();
        v[i] = p[i] - '0';
    }
    const int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    const int month = v[4] * 10 + v[5];
    const int day = v[6] * 10 + v[7];
    const QDate date(year, month, day);
    if (year == 0 || !date.isValid())
        return QVariant();
    return date;
}

QVariant parseLogical(char c)
{
    switch (c) {
    case 'T': case 't': case 'Y': case 'y':
        return true;
    case 'F': case 'f': case 'N': case 'n':
        return false;
    default:
        return QVariant();
    }
}

QVariant parseDateTime(const char *p)
{
    const auto day = qint32(le32(p));
    const auto ms = qint32(le32(p + 4));
    // Day 0 is FoxPro's empty date-time.
    if (day <= 0 || ms < 0 || ms >= 86400000)
        return QVariant();
    const QDate date = QDate::fromJulianDay(day);
    if (!date.isValid())
        return QVariant();
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(ms));
}

static bool isIntegral(const QVariant &v);

bool isNullValue(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

bool isIntegralValue(const QVariant &v)
{
    return isIntegral(v);
}

static bool isIntegral(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Long: case QMetaType::ULong:
    case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

static bool isNumber(const QVariant &v)
{
    return isIntegral(v) || v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float;
}

std::optional<QByteArray> formatNumeric(const QVariant &value, int width, int decimals)
{
    QByteArray text;
    if (decimals == 0 && isIntegral(value)) {
        text = value.typeId() == QMetaType::ULongLong ? QByteArray::number(value.toULongLong())
                                                       : QByteArray::number(value.toLongLong());
    } else {
        bool ok = false;
        double d = value.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return std::nullopt;
        // Halves round away from zero, as dBASE rounds, where the scaled value is exact enough.
        const double scale = std::pow(10.0, decimals);
        if (std::fabs(d * scale) < 1e15)
            d = std::round(d * scale) / scale;
        text = QByteArray::number(d, 'f', decimals);
        // No "-0.00": a value that rounds to zero is stored without a sign.
        if (text.startsWith('-') && text.count('0') == text.size() - 1 - (decimals > 0 ? 1 : 0))
            text.remove(0, 1);
    }
    if (text.size() > width)
        return std::nullopt;
    return QByteArray(width - text.size(), ' ') + text;
}

static bool isBlank(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return true;
    if (v.typeId() == QMetaType::QString)
        return v.toString().isEmpty();
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray().isEmpty();
    return false;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool aNull = !a.isValid() || a.isNull();
    const bool bNull = !b.isValid() || b.isNull();
    if (aNull || bNull)
        return isBlank(a) && isBlank(b);
    if (isNumber(a) && isNumber(b)) {
        if (isIntegral(a) && isIntegral(b))
            return a.toLongLong() == b.toLongLong();
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x == y || std::fabs(x - y) <= 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
    }
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime) {
        const QDateTime x = a.toDateTime();
        const QDateTime y = b.toDateTime();
        return x.date() == y.date() && x.time() == y.time();
    }
    if (a.typeId() == b.typeId())
        return a == b;
    if (a.typeId() == QMetaType::QByteArray || b.typeId() == QMetaType::QByteArray)
        return a.toByteArray() == b.toByteArray();
    return a.toString() == b.toString();
}

} // namespace engine::dbase
