#pragma once
// The record search's decisions: one condition row's test on a field text, and
// the rows joined strictly left to right by "und"/"oder".
#include <QString>
#include <array>

namespace engine {
struct Utf8Table;
}

namespace search {

// The upper case of each byte's character of a single-byte code page (one to
// three characters, "ß" is "SS"), so text stored in it is compared as the
// decoded text upper-cased would be, without decoding it.
struct StoredUpper {
    explicit StoredUpper(const engine::Utf8Table &table);
    const engine::Utf8Table &table;
    std::array<std::array<char16_t, 3>, 256> upper{};
    std::array<quint8, 256> size{};
};

// One row's value, prepared once for a walk over many records.
class Condition {
public:
    Condition(const QString &value, bool caseSensitive, bool exact);
    // value is compared as typed: a prefix unless exact, case folded unless caseSensitive.
    bool matches(const QString &fieldText) const;
    // The same on a field's text as stored: size bytes in the code page of
    // codePage, trailing blanks removed (what the decoded field text holds).
    bool matchesStored(const char *bytes, int size, const StoredUpper &codePage) const;

private:
    QString m_value; // upper-cased already when case does not count
    qsizetype m_length;
    bool m_caseSensitive;
    bool m_exact;
};

bool conditionMatches(const QString &fieldText, const QString &value, bool caseSensitive, bool exact);

struct RowResult {
    bool chosen = false; // the row has a field
    int joiner = 0;      // 0 empty, 1 "und", 2 "oder" (rows 2 to 6)
    bool result = true;  // a row without a field is true
};

// (((r1 op2 r2) op3 r3) ...) over the rows with a field; row 1 always counts.
bool rowsMatch(const std::array<RowResult, 6> &rows);

} // namespace search
