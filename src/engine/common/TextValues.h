#pragma once
// Values kept as text (cells of CSV files and HTML tables): how a column's type
// is guessed from its values, and how values are read and written in the style
// the file already uses (German or C numbers and dates, its own true/false words).
#include "Driver.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace engine::text {

// Whether the bytes are valid UTF-8; a sequence cut off by the end of a sample counts as valid.
bool isValidUtf8(const QByteArray &bytes, bool sampleMayBeCut);

// How one column's values are written in the file, so rewritten records look like the rest.
struct ColumnStyle {
    TFieldType type = ftString;
    bool germanNumbers = false; // decimal comma, "." groups
    bool germanDate = false;    // dd.MM.yyyy instead of yyyy-MM-dd
    QChar dateTimeSeparator = QLatin1Char(' ');
    QString trueText = QStringLiteral("True");
    QString falseText = QStringLiteral("False");
    int maxLength = 0;
};

// Collects what the values of one column could be.
class ColumnGuess {
public:
    void add(const QString &text);
    // The type and style the values allow; preferGerman breaks the tie where
    // "1.234" or "6,718" fit both number styles.
    ColumnStyle result(bool preferGerman) const;
    // Style facts for a column whose type schema.ini gives.
    ColumnStyle styleFor(TFieldType type, bool preferGerman) const;

private:
    bool m_any = false;
    bool m_numC = true, m_numDE = true, m_intC = true, m_intDE = true;
    bool m_bigC = false, m_bigDE = false;
    bool m_date = true, m_dateTime = true, m_anyTime = false, m_bool = true, m_time = true;
    int m_germanDates = 0, m_isoDates = 0, m_tSeparators = 0;
    QString m_trueText, m_falseText;
    int m_maxLength = 0;
};

// Texts that stand for "no value" in typed columns ("null", "n/a", "-", ...).
bool isNullMarker(const QString &text);

// A cell's value in a column; null for empty cells and cells that do not fit the type.
QVariant readValue(const QString &text, const ColumnStyle &style);
// A value as the column writes it; ok false when the value does not fit the type.
QString writeValue(const QVariant &value, const ColumnStyle &style, bool *ok);
// The same as UTF-8 bytes appended to out; false when the value does not fit.
bool appendValue(QByteArray &out, const QVariant &value, const ColumnStyle &style);

} // namespace engine::text
