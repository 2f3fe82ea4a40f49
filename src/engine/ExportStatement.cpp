#include "ExportStatement.h"

#include "EngineError.h"
#include "common/Quoting.h"

#include <QRegularExpression>

namespace engine {

namespace {

EngineError unsupported(const QString &statement)
{
    return EngineError(ErrorKind::Unsupported, QStringLiteral("Die Anweisung '%1' wird nicht unterstützt; erwartet wird "
                                      "\"SELECT * INTO <Ziel> IN \"<Datenbank>\" \"<Art>;\" FROM <Tabelle>\"")
                           .arg(statement));
}

// Reads a name enclosed in open ... close from text at pos, a doubled close
// standing for one; pos ends behind the closing character. False when unclosed.
bool readQuoted(const QString &text, qsizetype &pos, QChar close, QString &out)
{
    out.clear();
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        if (text.at(i) != close) {
            out += text.at(i);
            continue;
        }
        if (i + 1 < text.size() && text.at(i + 1) == close) {
            out += close;
            ++i;
            continue;
        }
        pos = i + 1;
        return true;
    }
    return false;
}

void skipBlanks(const QString &text, qsizetype &pos)
{
    while (pos < text.size() && text.at(pos).isSpace())
        ++pos;
}

// Matches a keyword followed by a blank at pos, any case.
bool keyword(const QString &text, qsizetype &pos, QLatin1String word)
{
    if (text.mid(pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
        return false;
    const qsizetype after = pos + word.size();
    if (after >= text.size() || !text.at(after).isSpace())
        return false;
    pos = after;
    skipBlanks(text, pos);
    return true;
}

} // namespace

ExportStatement parseExportStatement(const QString &statement)
{
    const QString s = statement.trimmed();
    static const QRegularExpression head(QStringLiteral("^select\\s+\\*\\s+into\\s+"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(s);
    if (!m.hasMatch())
        throw unsupported(statement);
    ExportStatement result;
    qsizetype pos = m.capturedLength();

    if (s.at(pos) == QLatin1Char('[')) {
        if (!readQuoted(s, pos, QLatin1Char(']'), result.targetTable))
            throw unsupported(statement);
        skipBlanks(s, pos);
        if (!keyword(s, pos, QLatin1String("IN")))
            throw unsupported(statement);
    } else {
        // A bare name runs up to the IN that is followed by the quoted database.
        static const QRegularExpression in(QStringLiteral("\\s+in\\s+\""), QRegularExpression::CaseInsensitiveOption);
        const auto mi = in.match(s, pos);
        if (!mi.hasMatch())
            throw unsupported(statement);
        result.targetTable = s.mid(pos, mi.capturedStart() - pos);
        pos = mi.capturedEnd() - 1;
    }
    if (pos >= s.size() || s.at(pos) != QLatin1Char('"') || !readQuoted(s, pos, QLatin1Char('"'), result.targetDatabase))
        throw unsupported(statement);
    skipBlanks(s, pos);
    if (pos < s.size() && s.at(pos) == QLatin1Char('"')) {
        QString kind;
        if (!readQuoted(s, pos, QLatin1Char('"'), kind))
            throw unsupported(statement);
        result.targetKind = kind.section(QLatin1Char(';'), 0, 0).trimmed();
        skipBlanks(s, pos);
    }
    if (!keyword(s, pos, QLatin1String("FROM")))
        throw unsupported(statement);
    result.sourceTable = s.mid(pos);
    if (result.sourceTable.startsWith(QLatin1Char('['))) {
        qsizetype at = pos;
        QString inner;
        if (readQuoted(s, at, QLatin1Char(']'), inner) && at == s.size())
            result.sourceTable = inner;
    }
    if (result.targetTable.isEmpty() || result.sourceTable.isEmpty())
        throw unsupported(statement);
    return result;
}

QString bracketName(const QString &name)
{
    return text::quoted(name, QLatin1Char('['), QLatin1Char(']'));
}

} // namespace engine
