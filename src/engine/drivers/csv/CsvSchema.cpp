#include "CsvSchema.h"

#include "CsvText.h"
#include "EngineError.h"
#include "common/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::csv {

namespace {

QString sectionName(const QString &line)
{
    const QString t = line.trimmed();
    if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']')))
        return t.mid(1, t.size() - 2).trimmed();
    return QString();
}

bool isSectionLine(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'));
}

} // namespace

QString SchemaSection::value(const QString &key) const
{
    for (const auto &e : entries)
        if (e.first.compare(key, Qt::CaseInsensitive) == 0)
            return e.second;
    return QString();
}

bool SchemaSection::has(const QString &key) const
{
    return std::any_of(entries.begin(), entries.end(),
                       [&](const auto &e) { return e.first.compare(key, Qt::CaseInsensitive) == 0; });
}

QList<SchemaColumn> SchemaSection::columns() const
{
    QList<SchemaColumn> out;
    for (const auto &e : entries) {
        if (e.first.size() < 4 || !e.first.startsWith(QLatin1String("Col"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int n = e.first.mid(3).toInt(&ok);
        if (ok && n > 0)
            out.append(parseColumnEntry(n, e.second));
    }
    std::stable_sort(out.begin(), out.end(), [](const SchemaColumn &a, const SchemaColumn &b) { return a.number < b.number; });
    return out;
}

SchemaColumn parseColumnEntry(int number, const QString &value)
{
    SchemaColumn c;
    c.number = number;
    QString rest = value.trimmed();
    if (rest.startsWith(QLatin1Char('"'))) {
        const int end = rest.indexOf(QLatin1Char('"'), 1);
        c.name = end < 0 ? rest.mid(1) : rest.mid(1, end - 1);
        rest = end < 0 ? QString() : rest.mid(end + 1).trimmed();
    } else {
        const int blank = rest.indexOf(QLatin1Char(' '));
        c.name = blank < 0 ? rest : rest.left(blank);
        rest = blank < 0 ? QString() : rest.mid(blank + 1).trimmed();
    }
    const QStringList words = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!words.isEmpty())
        c.type = words.first();
    for (int i = 1; i + 1 < words.size(); ++i)
        if (words.at(i).compare(QLatin1String("Width"), Qt::CaseInsensitive) == 0)
            c.width = words.at(i + 1).toInt();
    return c;
}

QString columnEntry(const QString &name, const QString &type, int width)
{
    QString out = QLatin1Char('"') + name + QLatin1Char('"') + QLatin1Char(' ') + type;
    if (width > 0)
        out += QStringLiteral(" Width %1").arg(width);
    return out;
}

SchemaIni SchemaIni::load(const QString &directory)
{
    SchemaIni ini;
    const QDir dir(directory);
    ini.m_path = dir.filePath(QStringLiteral("schema.ini"));
    if (!QFileInfo(ini.m_path).isFile()) {
        const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString &e : entries)
            if (e.compare(QLatin1String("schema.ini"), Qt::CaseInsensitive) == 0)
                ini.m_path = dir.filePath(e);
    }
    QFile f(ini.m_path);
    if (!f.open(QIODevice::ReadOnly))
        return ini;
    const QByteArray bytes = f.readAll();
    // Written as ANSI by older programs, as UTF-8 by this one.
    QString text = isValidUtf8(bytes, false) ? QString::fromUtf8(bytes) : QStringDecoder("windows-1252").decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ini.m_lines = text.split(QLatin1Char('\n'));
    if (!ini.m_lines.isEmpty() && ini.m_lines.last().isEmpty())
        ini.m_lines.removeLast();
    return ini;
}

std::optional<SchemaSection> SchemaIni::section(const QString &fileName) const
{
    int i = 0;
    for (; i < m_lines.size(); ++i)
        if (sectionName(m_lines.at(i)).compare(fileName, Qt::CaseInsensitive) == 0)
            break;
    if (i >= m_lines.size())
        return std::nullopt;
    SchemaSection s;
    for (++i; i < m_lines.size() && !isSectionLine(m_lines.at(i)); ++i) {
        const QString line = m_lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            s.entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return s;
}

void SchemaIni::setSection(const QString &fileName, const QList<QPair<QString, QString>> &entries)
{
    QStringList block{QLatin1Char('[') + fileName + QLatin1Char(']')};
    for (const auto &e : entries)
        block << e.first + QLatin1Char('=') + e.second;
    int start = 0;
    for (; start < m_lines.size(); ++start)
        if (sectionName(m_lines.at(start)).compare(fileName, Qt::CaseInsensitive) == 0)
            break;
    if (start >= m_lines.size()) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines << QString();
        m_lines << block;
        return;
    }
    int end = start + 1;
    while (end < m_lines.size() && !isSectionLine(m_lines.at(end)))
        ++end;
    // Keep a blank line that separated this section from the next one.
    while (end > start + 1 && m_lines.at(end - 1).trimmed().isEmpty() && end < m_lines.size())
        --end;
    m_lines.erase(m_lines.begin() + start, m_lines.begin() + end);
    for (int k = 0; k < block.size(); ++k)
        m_lines.insert(start + k, block.at(k));
}

QByteArray SchemaIni::content() const
{
    return (m_lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

} // namespace engine::csv
