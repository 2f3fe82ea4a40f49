#include "SearchRules.h"

#include "RawCells.h"

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

StoredUpper::StoredUpper(const engine::Utf8Table &codePage) : table(codePage)
{
    for (size_t b = 0; b < 256; ++b) {
        // QString::toUpper() maps character by character, so the upper case of
        // a text is the upper case of its characters one after another.
        const QString up = QString(QChar(codePage.unicode[b])).toUpper();
        size[b] = quint8(std::min<qsizetype>(up.size(), 3));
        for (qsizetype i = 0; i < size[b]; ++i)
            upper[b][size_t(i)] = up[i].unicode();
    }
}

bool Condition::matchesStored(const char *data, int size, const StoredUpper &codePage) const
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    const char16_t *value = reinterpret_cast<const char16_t *>(m_value.constData());
    const qsizetype wanted = m_value.size();
    if (m_caseSensitive) {
        if (m_exact ? size != wanted : size < wanted)
            return false;
        for (qsizetype i = 0; i < wanted; ++i) {
            if (codePage.table.unicode[bytes[i]] != value[i])
                return false;
        }
        return true;
    }
    // Exact: the whole text upper-cased; else the first characters, as many as typed.
    if (!m_exact && size < m_length)
        return false;
    const int taken = m_exact ? size : int(m_length);
    qsizetype j = 0;
    for (int i = 0; i < taken; ++i) {
        const unsigned char b = bytes[i];
        const quint8 n = codePage.size[b];
        if (j + n > wanted)
            return false;
        for (quint8 k = 0; k < n; ++k) {
            if (codePage.upper[b][k] != value[j++])
                return false;
        }
    }
    return j == wanted;
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
