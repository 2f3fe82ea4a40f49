#pragma once
// Field values as dBASE stores them: parsing the stored bytes into engine
// values without building temporary strings, and formatting numbers back.
#include <QByteArray>
#include <QVariant>
#include <optional>

namespace engine::dbase {

// N and F fields: null for blank, "." style blanks and "*" overflow markers.
QVariant parseNumeric(const char *p, int width, bool integer);
// The text of an N or F field as stored, with a decimal comma ("12,50", "0,5"):
// dBASE numbers are decimal text, and showing the stored digits keeps them exact.
// Empty for a null number.
QString numericText(const char *p, int width);
// D fields (YYYYMMDD): null for blank or zero dates and for impossible dates.
QVariant parseDate(const char *p);
// L fields: T/t/Y/y true, F/f/N/n false, anything else (blank, '?') null.
QVariant parseLogical(char c);
// T fields: Julian day and milliseconds since midnight, both little-endian.
QVariant parseDateTime(const char *p);

// The text of a number right-aligned in width characters with the given
// decimals; nothing when it does not fit.
std::optional<QByteArray> formatNumeric(const QVariant &value, int width, int decimals);

// Whether two values of a field are the same for the purpose of noticing that
// another program changed a record: null equals an empty text, numbers compare
// by value.
bool sameValue(const QVariant &a, const QVariant &b);
bool isNullValue(const QVariant &v);
bool isIntegralValue(const QVariant &v);

} // namespace engine::dbase
