#include "DbfCellPlan.h"

namespace engine::dbase {

namespace {

bool isLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Digits from the first nonzero one to the last: what a double must hold exactly.
int significantDigits(const char *p, int size)
{
    int first = -1, last = -1;
    for (int i = 0; i < size; ++i) {
        if (p[i] >= '1' && p[i] <= '9') {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return 0;
    int count = 0;
    for (int i = first; i <= last; ++i)
        count += p[i] >= '0' && p[i] <= '9';
    return count;
}

} // namespace

RawCell storedNumberCell(const char *p, int width, bool whole)
{
    int b = 0, e = width;
    while (b < e && isBlankByte(p[b]))
        ++b;
    while (e > b && isBlankByte(p[e - 1]))
        --e;
    RawCell cell;
    if (b == e) {
        cell.form = RawCell::Null;
        return cell;
    }
    bool digit = false, plain = true;
    int points = 0;
    for (int i = b; i < e; ++i) {
        const char c = p[i];
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.') {
            ++points;
        } else if (c == '*') {
            cell.form = RawCell::Null; // the field overflowed when it was written
            return cell;
        } else if (!(c == '-' && i == b)) {
            plain = false; // '+', ',', exponents, blanks inside: decode() decides
        }
    }
    if (!digit) {
        cell.form = RawCell::Null; // "   .   " is how dBASE IV and FoxPro store a blank number
        return cell;
    }
    // Fifteen characters hold at most fifteen digits: only longer numbers are counted.
    if (!plain || points > 1 || (whole && points > 0) || (e - b > 15 && significantDigits(p + b, e - b) > 15))
        return cell;
    cell.form = RawCell::Number;
    cell.data = p + b;
    cell.size = e - b;
    return cell;
}

bool validDate8(const char *p)
{
    // Eight digits at once: each byte 0x30 to 0x39 keeps its high half 3 when 6 is added.
    quint64 word;
    std::memcpy(&word, p, 8);
    constexpr quint64 highHalves = 0xF0F0F0F0F0F0F0F0ull, threes = 0x3030303030303030ull;
    if ((word & highHalves) != threes || ((word + 0x0606060606060606ull) & highHalves) != threes)
        return false;
    const int year = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    const int month = (p[4] - '0') * 10 + (p[5] - '0');
    const int day = (p[6] - '0') * 10 + (p[7] - '0');
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year == 0 || month < 1 || month > 12 || day < 1)
        return false;
    return day <= days[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
}

DbfCellPlan::DbfCellPlan(const DbfHeader &head, bool textCells)
{
    for (const DbfField &f : head.fields) {
        Field p;
        p.offset = f.offset;
        p.width = f.width;
        p.whole = f.integerValue;
        // DbfFile::nullFlag()'s rule, decided once.
        if (f.nullBit >= 0 && head.nullFlagsOffset >= 0 && f.nullBit / 8 < head.nullFlagsWidth) {
            p.nullByte = head.nullFlagsOffset + f.nullBit / 8;
            p.nullMask = quint8(1u << (f.nullBit % 8));
        }
        switch (f.kind) {
        case DbfField::Character: p.step = textCells ? Step::Text : Step::Value; break;
        case DbfField::Numeric: p.step = Step::Number; break;
        case DbfField::Date: p.step = Step::Date; break;
        case DbfField::Logical: p.step = Step::Logical; break;
        case DbfField::MemoText: p.step = Step::Memo; m_memos = true; break;
        default: p.step = Step::Value; break; // binary numbers, date-times, varying fields
        }
        m_fields.push_back(p);
    }
}

void DbfCellPlan::cells(const char *rec, RawCell *cells) const
{
    const size_t n = m_fields.size();
    for (size_t i = 0; i < n; ++i) {
        const Field &f = m_fields[i];
        RawCell &cell = cells[i];
        if (f.nullByte >= 0 && (quint8(rec[f.nullByte]) & f.nullMask)) {
            cell = RawCell();
            cell.form = RawCell::Null;
            continue;
        }
        const char *p = rec + f.offset;
        switch (f.step) {
        case Step::Text:
            cell.form = RawCell::Text;
            cell.data = p;
            cell.size = trimmedLength(p, f.width);
            break;
        case Step::Number:
            cell = storedNumberCell(p, f.width, f.whole);
            break;
        case Step::Date:
            cell.form = validDate8(p) ? RawCell::Date8 : RawCell::Null;
            cell.data = p;
            cell.size = 8;
            break;
        case Step::Logical:
            switch (p[0]) {
            case 'T': case 't': case 'Y': case 'y': cell.form = RawCell::True; break;
            case 'F': case 'f': case 'N': case 'n': cell.form = RawCell::False; break;
            default: cell.form = RawCell::Null; break;
            }
            cell.data = nullptr;
            cell.size = 0;
            break;
        case Step::Memo:
        case Step::Value:
            cell = RawCell();
            break;
        }
    }
}

} // namespace engine::dbase
