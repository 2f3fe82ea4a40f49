// A record's cells as stored, for copying a table without a value per cell: the
// forms follow decode() exactly, and whatever is not plain is left to value().
#include "DbfTable.h"

namespace engine::dbase {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\0';
}

// The stored number without its padding, as a cell: Null where parseNumeric()
// finds no value, Number where the text is plain, else Value.
RawCell numberCell(const char *p, int width, bool whole)
{
    int b = 0, e = width;
    while (b < e && isBlank(p[b]))
        ++b;
    while (e > b && isBlank(p[e - 1]))
        --e;
    RawCell cell;
    if (b == e) {
        cell.form = RawCell::Null;
        return cell;
    }
    bool digit = false, plain = true;
    int points = 0, significant = 0, pendingZeros = 0;
    bool leading = true;
    for (int i = b; i < e; ++i) {
        const char c = p[i];
        if (c == '*') {
            cell.form = RawCell::Null; // the field overflowed when it was written
            return cell;
        }
        if (c >= '0' && c <= '9') {
            digit = true;
            if (c == '0') {
                if (!leading)
                    ++pendingZeros; // zeros count once a nonzero digit follows
            } else {
                significant += pendingZeros + 1;
                pendingZeros = 0;
                leading = false;
            }
        } else if (c == '.') {
            ++points;
        } else if (!(c == '-' && i == b)) {
            plain = false; // '+', ',', exponents, blanks inside: decode() decides
        }
    }
    if (!digit) {
        cell.form = RawCell::Null; // "   .   " is how dBASE IV and FoxPro store a blank number
        return cell;
    }
    if (!plain || points > 1 || (whole && points > 0) || significant > 15)
        return cell;
    cell.form = RawCell::Number;
    cell.data = p + b;
    cell.size = e - b;
    return cell;
}

bool isLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// parseDate()'s rule: eight digits of a valid date, year not 0.
bool validDate8(const char *p)
{
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
    }
    const int year = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    const int month = (p[4] - '0') * 10 + (p[5] - '0');
    const int day = (p[6] - '0') * 10 + (p[7] - '0');
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year == 0 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= days[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
}

} // namespace

const Utf8Table *DbfTable::utf8Table() const
{
    if (m_utf8State == 0) {
        const bool usable = m_file.codec().isSingleByte()
            && buildUtf8Table([this](char b) { return m_file.codec().decode(&b, 1); }, m_utf8);
        m_utf8State = usable ? 1 : -1;
    }
    return m_utf8State == 1 ? &m_utf8 : nullptr;
}

void DbfTable::rawCells(RowId row, RawCell *cells)
{
    const char *rec = record(row);
    for (size_t i = 0; i < m_file.header().fields.size(); ++i)
        cells[i] = cellOf(rec, int(i));
}

RawCell DbfTable::rawCell(RowId row, int field)
{
    if (field < 0 || field >= int(m_file.header().fields.size()))
        return RawCell(); // value() reports the bad field number
    return cellOf(record(row), field);
}

RawCell DbfTable::cellOf(const char *rec, int field) const
{
    const DbfField &f = m_file.header().fields[size_t(field)];
    RawCell cell;
    if (nullFlag(rec, f.nullBit)) {
        cell.form = RawCell::Null;
        return cell;
    }
    const char *p = rec + f.offset;
    switch (f.kind) {
    case DbfField::Character:
        if (utf8Table()) {
            int n = f.width;
            while (n > 0 && isBlank(p[n - 1]))
                --n;
            cell.form = RawCell::Text;
            cell.data = p;
            cell.size = n;
        }
        return cell;
    case DbfField::Numeric:
        return numberCell(p, f.width, f.integerValue);
    case DbfField::Date:
        if (validDate8(p)) {
            cell.form = RawCell::Date8;
            cell.data = p;
            cell.size = 8;
        } else {
            cell.form = RawCell::Null;
        }
        return cell;
    case DbfField::Logical:
        switch (p[0]) {
        case 'T': case 't': case 'Y': case 'y': cell.form = RawCell::True; break;
        case 'F': case 'f': case 'N': case 'n': cell.form = RawCell::False; break;
        default: cell.form = RawCell::Null; break;
        }
        return cell;
    default:
        return cell; // memos, binary numbers, date-times, varying fields: value()
    }
}

} // namespace engine::dbase
