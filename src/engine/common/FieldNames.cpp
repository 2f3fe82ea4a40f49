#include "FieldNames.h"

namespace engine::text {

QString UniqueNames::take(const QString &wanted)
{
    const auto cut = [&](qsizetype room) { return m_maxLength > 0 ? wanted.left(room) : wanted; };
    QString name = cut(m_maxLength);
    for (int n = m_first; taken(name); ++n) {
        const QString suffix = QStringLiteral("_%1").arg(n);
        name = cut(m_maxLength - suffix.size()) + suffix;
    }
    m_taken.insert(name.toCaseFolded());
    return name;
}

} // namespace engine::text
