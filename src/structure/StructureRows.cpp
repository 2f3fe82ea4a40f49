#include "StructureRows.h"

namespace structure {

Row fieldHeading()
{
    return {QStringLiteral("Nr"), QStringLiteral("Feldname"), QStringLiteral("Feldtyp"), QStringLiteral("Länge")};
}

Row indexHeading()
{
    return {QStringLiteral("Nr"), QStringLiteral("Indexname"), QStringLiteral("Felder"), QStringLiteral("Optionen")};
}

QVector<Row> fieldRows(const engine::TableDataset &table)
{
    QVector<Row> rows;
    for (const engine::FieldDef &def : table.FieldDefs())
        rows.append({QString::number(def.fieldNo), def.name, engine::fieldTypeName(def.dataType),
                     QString::number(def.size)});
    return rows;
}

QString indexOptionText(engine::TIndexOptions options)
{
    QString text;
    if (options & engine::ixPrimary)
        text += QStringLiteral("Primär, ");
    if (options & engine::ixUnique)
        text += QStringLiteral("Unique, ");
    if (options & engine::ixDescending)
        text += QStringLiteral("Absteig, ");
    if (options & engine::ixExpression)
        text += QStringLiteral("Ausdruck, ");
    if (options & engine::ixCaseInsensitive)
        text += QStringLiteral("CaseIns.");
    text = text.trimmed();
    if (text.endsWith(QLatin1Char(',')))
        text.chop(1);
    return text;
}

QVector<Row> indexRows(engine::TableDataset &table)
{
    table.indexDefs().Update();
    QVector<Row> rows;
    const QVector<engine::IndexDef> &defs = table.indexDefs().items();
    for (int i = 0; i < defs.size(); ++i) {
        const engine::IndexDef &def = defs.at(i);
        QString number = QString::number(i + 1);
        if (table.IndexName() == def.name)
            number += QStringLiteral("  »");
        const bool expression = def.options & engine::ixExpression;
        rows.append({number, def.name, expression ? def.expression : def.fields, indexOptionText(def.options)});
    }
    return rows;
}

} // namespace structure
