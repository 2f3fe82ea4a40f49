#include "HtmlTable.h"

#include "EngineError.h"
#include "common/FieldNames.h"
#include "common/TextValues.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace engine::html {

namespace {

struct TypeName {
    TFieldType type;
    const char *key;
};

const TypeName TypeNames[] = {
    {ftString, "string"},     {ftFixedChar, "fixedchar"}, {ftWideString, "widestring"}, {ftMemo, "memo"},
    {ftFmtMemo, "fmtmemo"},   {ftSmallint, "smallint"},   {ftInteger, "integer"},       {ftWord, "word"},
    {ftLargeint, "largeint"}, {ftAutoInc, "autoinc"},     {ftFloat, "float"},           {ftCurrency, "currency"},
    {ftBCD, "bcd"},           {ftFMTBcd, "fmtbcd"},       {ftDate, "date"},             {ftTime, "time"},
    {ftDateTime, "datetime"}, {ftTimeStamp, "timestamp"}, {ftBoolean, "boolean"},       {ftGuid, "guid"},
};

bool isTextType(TFieldType t)
{
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid;
}

bool isIntegerType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftLargeint || t == ftAutoInc;
}

// A leading row made of one cell spread over the whole table is its title, not
// its headings (a "colspan" caption over the real heading row).
bool isTitleRow(const QVector<Cell> &row, int columns)
{
    if (columns < 2)
        return false;
    int own = 0;
    for (const Cell &c : row)
        own += c.own ? 1 : 0;
    return own == 1 && row.first().own;
}

} // namespace

QString typeKey(TFieldType type)
{
    for (const TypeName &t : TypeNames)
        if (t.type == type)
            return QString::fromLatin1(t.key);
    return QString();
}

TFieldType typeFromKey(const QString &key, bool *ok)
{
    for (const TypeName &t : TypeNames) {
        if (key.compare(QLatin1String(t.key), Qt::CaseInsensitive) == 0) {
            *ok = true;
            return t.type;
        }
    }
    *ok = false;
    return ftUnknown;
}

std::unique_ptr<HtmlTable> HtmlTable::open(const QString &path, const QString &tableName, int number)
{
    const Page page = readPage(path, number);
    const QString file = QDir::toNativeSeparators(path);
    if (page.tableCount == 0)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die HTML-Datei %1 enthält keine Tabelle.").arg(file));
    if (number < 1 || number > page.tableCount)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die HTML-Datei %1 enthält nur %2 Tabelle(n), eine Tabelle %3 gibt es darin nicht.")
                              .arg(file)
                              .arg(page.tableCount)
                              .arg(number));
    const PageTable &table = page.table;
    if (table.rows.isEmpty() || table.columns == 0)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 der HTML-Datei %2 hat keine Zellen.").arg(number).arg(file));

    std::unique_ptr<HtmlTable> t(new HtmlTable);
    t->m_path = path;
    t->m_tableName = tableName;
    t->m_charset = page.charset;

    int first = 0;
    QStringList titles;
    while (first + 1 < table.rows.size() && isTitleRow(table.rows.at(first), table.columns))
        titles << table.rows.at(first++).first().text;
    const QVector<Cell> &headings = table.rows.at(first);

    // Pages written in English use the decimal point; every other page, and one
    // that does not say, is read the German way where a number fits both.
    const bool preferGerman = !page.lang.startsWith(QLatin1String("en"), Qt::CaseInsensitive);
    QVector<text::ColumnStyle> styles(table.columns);
    QVector<text::ColumnGuess> guesses(table.columns);
    for (int r = first + 1; r < table.rows.size(); ++r)
        for (int c = 0; c < table.columns; ++c)
            guesses[c].add(table.rows.at(r).at(c).text);

    text::UniqueNames used;
    bool typedByWriter = false;
    for (int c = 0; c < table.columns; ++c) {
        const Cell &h = headings.at(c);
        FieldDef def;
        def.fieldNo = c + 1;
        bool known = false;
        const TFieldType noted = h.dataType.isEmpty() ? ftUnknown : typeFromKey(h.dataType, &known);
        if (known) {
            typedByWriter = true;
            styles[c] = guesses[c].styleFor(noted, true);
            styles[c].germanNumbers = true;
            styles[c].germanDate = true;
            styles[c].trueText = QStringLiteral("True");
            styles[c].falseText = QStringLiteral("False");
            def.dataType = noted;
            def.size = h.size > 0 ? h.size : (isTextType(noted) ? std::max(1, styles[c].maxLength) : 0);
            def.precision = h.precision;
            def.scale = h.scale;
        } else {
            styles[c] = guesses[c].result(preferGerman);
            def.dataType = styles[c].type;
            def.size = isTextType(def.dataType) ? std::max(1, styles[c].maxLength) : 0;
        }
        def.nativeType = typeKey(def.dataType);
        // Empty and repeated headings would make fields unreachable by name.
        QString name = h.text.simplified();
        if (name.isEmpty())
            name = QStringLiteral("F%1").arg(c + 1);
        def.name = used.take(name);
        t->m_defs.append(def);
    }

    t->m_rows.reserve(table.rows.size() - first - 1);
    for (int r = first + 1; r < table.rows.size(); ++r) {
        QVector<QVariant> values(table.columns);
        for (int c = 0; c < table.columns; ++c) {
            QVariant v = text::readValue(table.rows.at(r).at(c).text, styles.at(c));
            if (isIntegerType(styles.at(c).type) && v.isValid())
                v = QVariant(qint64(v.toLongLong()));
            values[c] = v;
        }
        t->m_rows.append(values);
    }

    t->m_facts.append({QStringLiteral("Zeichensatz"), page.charset});
    t->m_facts.append({QStringLiteral("Herkunft des Zeichensatzes"), page.charsetOrigin});
    if (!page.title.isEmpty())
        t->m_facts.append({QStringLiteral("Titel der Seite"), page.title});
    t->m_facts.append({QStringLiteral("Tabelle"), QStringLiteral("%1 von %2 der Seite").arg(number).arg(page.tableCount)});
    if (!table.caption.isEmpty())
        t->m_facts.append({QStringLiteral("Beschriftung"), table.caption});
    for (const QString &title : titles)
        t->m_facts.append({QStringLiteral("Überschriftszeile"), title});
    t->m_facts.append({QStringLiteral("Spaltentypen"), typedByWriter ? QStringLiteral("an den Überschriften vermerkt")
                                                                     : QStringLiteral("aus den Werten erraten")});
    return t;
}

RowId HtmlTable::rowAt(qint64 position)
{
    if (position < 0 || position >= m_rows.size())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz %1 gibt es in der Tabelle %2 nicht.").arg(position + 1).arg(m_tableName));
    return position;
}

QVariant HtmlTable::value(RowId row, int field)
{
    if (row < 0 || row >= m_rows.size() || field < 0 || field >= m_defs.size())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz %1 gibt es in der Tabelle %2 nicht.").arg(row + 1).arg(m_tableName));
    return m_rows.at(row).at(field);
}

QString HtmlTable::readOnlyReason() const
{
    return QStringLiteral("Tabellen in HTML-Seiten können nur gelesen werden (%1).").arg(QDir::toNativeSeparators(m_path));
}

QList<QPair<QString, QVariant>> HtmlTable::connectionProperties() const
{
    return {{QStringLiteral("Character Set"), m_charset}};
}

} // namespace engine::html
