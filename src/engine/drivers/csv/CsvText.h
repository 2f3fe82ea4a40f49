#pragma once
// The pieces of a text table that do not depend on an open file: its character
// set, the record scanner (quotes, separators, line ends) and the schema.ini
// type names. How values are guessed, read and written is shared with the HTML
// driver (common/TextValues.h).
#include "Driver.h"
#include "common/TextValues.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVariant>
#include <QVector>

namespace engine::csv {

// A character set as the scanner and the converters need it.
struct Charset {
    QByteArray name = "UTF-8"; // the converter's name ("UTF-8", "UTF-16LE", "windows-1252", "IBM850")
    int unit = 1;              // bytes per code unit: the separators and quotes are one unit each
    bool bigEndian = false;
    int bomSize = 0;
    int number = 65001;        // the Windows code page number, as schema.ini writes it
    QString origin;            // where the choice came from, for the table's facts

    // The code unit at p (ASCII for every character the scanner cares about).
    char16_t unitAt(const char *p) const
    {
        if (unit == 1)
            return static_cast<unsigned char>(*p);
        const auto a = static_cast<unsigned char>(p[0]), b = static_cast<unsigned char>(p[1]);
        return bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
    }
    QString decode(const QByteArray &bytes) const;
    // Empty result and ok false when a character has no place in the set.
    QByteArray encode(const QString &text, bool *ok) const;
};

// Charset for a schema.ini CharacterSet value (ANSI, OEM, UTF-8, Unicode, a number);
// ok false when the value names no set the converters know.
Charset charsetFromSchema(const QString &value, bool *ok);
Charset charsetForNumber(int number, bool *ok);
// The charset of a byte-order mark at the start of data, or ok false.
Charset charsetFromBom(const QByteArray &head, bool *ok);
// One record split into cells. The scanner's rules: a quote opens a quoted cell
// only at the start of a cell, a doubled quote inside stands for one, text after
// the closing quote belongs to the cell; CR, LF and CR LF end a record outside quotes.
struct Record {
    QVector<QString> cells;
    QVector<bool> quoted;
    qint64 contentBytes = 0;    // bytes of the record without its line end
    qint64 terminatorBytes = 0; // 0 at the end of the file
};
Record parseRecord(const char *data, qint64 size, const Charset &cs, char16_t separator);

// Incremental search for record starts; blank lines are not records.
class RecordIndexer {
public:
    RecordIndexer(const Charset &cs, char16_t separator) : m_cs(cs), m_sep(separator) {}
    // Feeds bytes that begin at file offset base (a whole number of units);
    // the start offset of every record found is appended to starts.
    void feed(const char *data, qint64 size, qint64 base, std::vector<qint64> &starts);

private:
    enum State { FieldStart, Unquoted, Quoted, QuoteInQuoted };
    Charset m_cs;
    char16_t m_sep;
    State m_state = FieldStart;
    bool m_inRecord = false;
    bool m_afterCR = false;
};

// Picks the separator (",", ";", tab, "|") that splits the first lines most evenly.
char16_t detectSeparator(const QByteArray &head, const Charset &cs, char16_t fallback);

using text::appendValue;
using text::ColumnGuess;
using text::ColumnStyle;
using text::isNullMarker;
using text::isValidUtf8;
using text::readValue;
using text::writeValue;

// schema.ini type names.
QString schemaTypeName(TFieldType type);
TFieldType typeFromSchemaName(const QString &name, bool *ok);

} // namespace engine::csv
