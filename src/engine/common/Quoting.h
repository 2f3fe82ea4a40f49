#pragma once
// Quoting of names and cells, the one rule everywhere: the text between an
// opening and a closing character, the closing one doubled inside.
#include <QString>

namespace engine::text {

// quoted("a]b", '[', ']') is "[a]]b]"; quoted("x\"y", '"', '"') is "\"x\"\"y\"".
QString quoted(const QString &text, QChar open, QChar close);
inline QString doubleQuoted(const QString &text)
{
    return quoted(text, QLatin1Char('"'), QLatin1Char('"'));
}

// A CSV cell (RFC 4180): quoted when it holds the separator, a quote or a line
// end, or when always is set; as it is otherwise.
QString csvCell(const QString &text, QChar separator, bool always = false);

} // namespace engine::text
