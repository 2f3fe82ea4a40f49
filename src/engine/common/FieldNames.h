#pragma once
// Unique field names, for tables read from headings and for export targets:
// a taken name (case does not count) gets "_n" with the first free n, cut so
// that it keeps within the target's length.
#include <QSet>
#include <QString>

namespace engine::text {

class UniqueNames {
public:
    // maxLength 0: no limit; firstNumber: the n tried first.
    explicit UniqueNames(int maxLength = 0, int firstNumber = 2) : m_maxLength(maxLength), m_first(firstNumber) {}
    // The wanted name, or the first free "<wanted>_n"; from now on taken.
    QString take(const QString &wanted);
    bool taken(const QString &name) const { return m_taken.contains(name.toCaseFolded()); }

private:
    int m_maxLength;
    int m_first;
    QSet<QString> m_taken;
};

} // namespace engine::text
