#pragma once
// How the engine renders and parses values as text: German conventions (dates
// dd.MM.yyyy, decimal comma, no thousands separator, "True"/"False", null as "").
// Search, print, export and the grid all read a field's text through here.
#include "FieldTypes.h"

#include <QDateTime>
#include <QVariant>

namespace engine {

QString formatValue(const QVariant &value, TFieldType type);
QString formatFloat(double value);
QString formatCurrency(double value);
QString formatDate(const QDate &date);
QString formatDateTime(const QDateTime &dateTime);
// The same for a wall-clock time given as a day and its milliseconds, without
// building a QDateTime (whose time-zone lookup is the dear part of a listing).
QString formatDateTime(const QDate &date, qint64 msecsOfDay);
QString formatTime(const QTime &time);

// The date a value stands for: a date, the date of a date-time, or text in one
// of the forms parseValue reads. Throws the conversion message for other text.
QDate dateOf(const QVariant &value);
// The same for a date-time: a date-time, a date at midnight, or text; null text
// gives an invalid date-time.
QDateTime dateTimeOf(const QVariant &value);

// Parses a user's text into a value of the type. Empty text gives null.
// Throws EngineError with the conversion message when the text does not fit.
QVariant parseValue(const QString &text, TFieldType type);

} // namespace engine
