#include "SearchRules.h"

#include <QLocale>

namespace search {

bool conditionMatches(const QString &fieldText, const QString &value, bool caseSensitive, bool exact)
{
    if (exact)
        return caseSensitive ? fieldText == value
                             : QLocale().toUpper(fieldText) == QLocale().toUpper(value);
    if (fieldText.size() < value.size())
        return false;
    // The prefix is cut from the field text before case is folded.
    const QString prefix = fieldText.left(value.size());
    return caseSensitive ? prefix == value : QLocale().toUpper(prefix) == QLocale().toUpper(value);
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
