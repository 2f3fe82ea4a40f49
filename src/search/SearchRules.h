#pragma once
// The record search's decisions: one condition row's test on a field text, and
// the rows joined strictly left to right by "und"/"oder".
#include <QString>
#include <array>

namespace search {

// One row's value, prepared once for a walk over many records.
class Condition {
public:
    Condition(const QString &value, bool caseSensitive, bool exact);
    // value is compared as typed: a prefix unless exact, case folded unless caseSensitive.
    bool matches(const QString &fieldText) const;

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
