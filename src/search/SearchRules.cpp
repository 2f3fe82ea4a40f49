#include "SearchRules.h"


namespace search {

Condition::Condition(const QString &value, bool caseSensitive, bool exact)
    : m_value(caseSensitive ? value : value.toUpper()), m_length(value.size()), m_caseSensitive(caseSensitive),
      m_exact(exact)
{
}

bool Condition::matches(const QString &fieldText) const
{
    if (m_caseSensitive)
        return m_exact ? fieldText == m_value : fieldText.startsWith(m_value);
    // Unicode upper-casing folds umlauts too (and "ß" to "SS", as German does).
    if (m_exact)
        return fieldText.toUpper() == m_value;
    // The prefix is cut from the field text, by the value's length as typed, before case is folded.
    if (fieldText.size() < m_length)
        return false;
    return QStringView(fieldText).left(m_length).toString().toUpper() == m_value;
}

bool conditionMatches(const QString &fieldText, const QString &value, bool caseSensitive, bool exact)
{
    return Condition(value, caseSensitive, exact).matches(fieldText);
}

bool rowsMatch(const std::array<RowResult, 6> &rows)
{
    bool found = rows[0].result;
    for (size_t i = 1; i < rows.size(); ++i) {
        if (!rows[i].chosen)
            continue;
        found = rows[i].joiner == 2 ? (found || rows[i].result) : (found && rows[i].result);
    }
    return found;
}

} // namespace search
