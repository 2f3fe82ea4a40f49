#pragma once
// Copying a table without building a value for every cell: a source hands out
// its cells as the bytes it stores them in (text in a single-byte code page,
// plain decimal digits, yyyymmdd dates), and a writer that knows these forms
// formats them straight into its output. Cells in no such form are read as
// values the usual way.
#include "Driver.h"

#include <array>
#include <memory>

namespace engine {

struct RawCell {
    enum Form : quint8 {
        Value,  // read it with TableSource::value()
        Null,   // no value
        Text,   // bytes in the source's code page (see Utf8Table), trailing blanks removed
        Number, // plain decimal: optional '-', digits, at most one '.', at least one digit,
                // at most 15 significant digits (so a double holds it exactly)
        Date8,  // a valid date as yyyymmdd, year 1 to 9999
        True,
        False,
    };
    Form form = Value;
    int size = 0;
    const char *data = nullptr;
};

// The character, and its UTF-8 bytes, of each byte of a single-byte code page.
struct Utf8Table {
    std::array<char16_t, 256> unicode{};
    std::array<std::array<char, 3>, 256> bytes{};
    std::array<quint8, 256> size{};
    // QChar::toCaseFolded() of each byte's character: case-insensitive comparisons
    // fold stored text by this table instead of decoding it.
    std::array<char16_t, 256> folded{};
    // True when every byte below 0x80 stands for itself, as in ASCII.
    bool asciiCompatible = false;
};

// Reads rows on a thread of its own, beside the source and any other reader:
// an export hands each of its threads one, with the rows to copy in batches.
class RawRowReader {
public:
    virtual ~RawRowReader() = default;
    // Reads the records of count rows; they stay until the next load.
    virtual void load(const RowId *rows, qsizetype count) = 0;
    // The cells of row index of the batch, as RawCellSource::rawCells() gives them;
    // a reader may also hand out the text of a memo as a Text cell (not trimmed).
    virtual void rawCells(qsizetype index, RawCell *cells) = 0;
    // The value of a cell of row index of the batch.
    virtual QVariant value(qsizetype index, int field) = 0;
};

class RawCellSource {
public:
    virtual ~RawCellSource() = default;
    // The table for Text cells; nullptr when the source hands out no Text cells.
    virtual const Utf8Table *utf8Table() const = 0;
    // One cell per field of the row; the bytes stay valid until the source
    // reads another row (value() of the same row keeps them).
    virtual void rawCells(RowId row, RawCell *cells) = 0;
    // The cell of one field, valid as long.
    virtual RawCell rawCell(RowId row, int field) = 0;
    // The cells of some fields of many rows, in two steps, for walks over a whole
    // table that look at some cells of a row only (a filter's AND and OR stop at
    // the first condition that decides): gatherRows() reads the fields of the
    // rows, gatheredCell(r, k) makes the cell of fields[k] in rows[r] when it is
    // asked for; valid until the next gather, whatever else is read meanwhile.
    // False where the source cannot (the caller then asks row by row).
    virtual bool gatherRows(const RowId *rows, qsizetype count, const int *fields, int fieldCount)
    {
        Q_UNUSED(rows);
        Q_UNUSED(count);
        Q_UNUSED(fields);
        Q_UNUSED(fieldCount);
        return false;
    }
    virtual RawCell gatheredCell(qsizetype index, int k)
    {
        Q_UNUSED(index);
        Q_UNUSED(k);
        return RawCell();
    }
    // A reader for another thread, which shares nothing with the source that
    // changes while it reads; nullptr where the source has none.
    virtual std::unique_ptr<RawRowReader> rawReader() const { return nullptr; }
};

// Formats rows of raw cells into bytes of the target file; one per thread, each
// with its own buffer, so threads can format disjoint rows at once.
class RawRowFormatter {
public:
    virtual ~RawRowFormatter() = default;
    // values[f] holds the value of each cell in form Value (already converted to
    // the writer's field type).
    virtual void formatRow(const RawCell *cells, const QVariant *values) = 0;
    // Hands over the bytes of the rows formatted since the last take in rows;
    // the memory rows held is kept for the next rows.
    virtual void take(QByteArray &rows) = 0;
};

// A writer that takes rows as raw cells.
class RawRowWriter {
public:
    virtual ~RawRowWriter() = default;
    // Whether the writer formats the cell of field as it is; a cell it does not take
    // is handed over as a value. Safe to call from any thread.
    virtual bool takesCell(int field, const RawCell &cell) const
    {
        Q_UNUSED(field);
        Q_UNUSED(cell);
        return true;
    }
    // True when takesCell() holds for every cell of field, so a copy need not ask per cell.
    virtual bool takesEveryCell(int field) const
    {
        Q_UNUSED(field);
        return false;
    }
    // A formatter of rows whose Text cells are in table's code page; it reads
    // only what the writer does not change until commit, so it may run on any thread.
    virtual std::unique_ptr<RawRowFormatter> rawFormatter(const Utf8Table *table) const = 0;
    // Appends what formatters made, in the order of the rows.
    virtual void writeFormatted(const QByteArray &rows) = 0;
};

// Builds the table from a decoder of one byte; false when a byte does not decode
// to exactly one character outside the surrogates.
bool buildUtf8Table(const std::function<QString(char)> &decodeByte, Utf8Table &table);

// A Number cell's digits as the engine writes the number: as a whole number
// (leading zeros dropped, "-0" as "0") or as a double with up to 15 significant
// digits (leading and trailing zeros dropped, no point without a fraction, "-0"
// kept as a double's negative zero is). point is the decimal separator to write.
// Writes at most size + 2 bytes at out and returns the end.
char *formatPlainDecimal(const char *digits, int size, bool whole, char point, char *out);

} // namespace engine
