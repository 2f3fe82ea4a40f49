#pragma once
// Cells of stored records, by forms that follow decode() exactly. A copy of a
// whole table decides each field's step once (DbfCellPlan) instead of looking up
// the field's kind, code page and null flag for every cell.
#include "DbfHeader.h"
#include "RawCells.h"

#include <cstring>
#include <vector>

namespace engine::dbase {

inline bool isBlankByte(char c)
{
    return c == ' ' || c == '\0';
}

// The length of a text field without its trailing blanks; eight blanks at a
// time, as most fields are mostly padding.
inline int trimmedLength(const char *p, int width)
{
    int n = width;
    constexpr quint64 blanks = 0x2020202020202020ull;
    while (n >= 8) {
        quint64 word;
        std::memcpy(&word, p + n - 8, 8);
        if (word != blanks)
            break;
        n -= 8;
    }
    while (n > 0 && isBlankByte(p[n - 1]))
        --n;
    return n;
}

// The stored number without its padding, as a cell: Null where parseNumeric()
// finds no value, Number where the text is plain, else Value.
RawCell storedNumberCell(const char *p, int width, bool whole);

// parseDate()'s rule: eight digits of a valid date, year not 0.
bool validDate8(const char *p);

class DbfCellPlan {
public:
    enum class Step : quint8 { Text, Number, Date, Logical, Memo, Value };
    struct Field {
        Step step = Step::Value;
        bool whole = false; // a number without decimals, read as qint64
        int offset = 0;
        int width = 0;
        int nullByte = -1; // offset of the byte holding the field's null flag; -1: none
        quint8 nullMask = 0;
    };

    // textCells: the code page is a table of bytes, so text fields are Text cells.
    DbfCellPlan(const DbfHeader &head, bool textCells);

    // One cell per field of a whole record; memo fields get form Value, for the
    // caller to read as it can.
    void cells(const char *rec, RawCell *cells) const;
    const std::vector<Field> &fields() const { return m_fields; }
    bool hasMemos() const { return m_memos; }

private:
    std::vector<Field> m_fields;
    bool m_memos = false;
};

} // namespace engine::dbase
