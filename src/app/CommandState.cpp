#include "CommandState.h"

namespace app {

TableSnapshot snapshotOf(const engine::TableDataset &table)
{
    TableSnapshot s;
    s.open = table.Active();
    if (!s.open)
        return s;
    s.bof = table.Bof();
    s.eof = table.Eof();
    s.readOnly = table.ReadOnly() || !table.CanModify();
    s.state = table.State();
    return s;
}

QHash<QString, bool> commandEnabling(const TableSnapshot &t)
{
    QHash<QString, bool> e;
    if (!t.open) {
        for (const char *name : {"ACPrint", "ACDSfirst", "ACDSprev", "ACDSnext", "ACDSlast", "ACDSsearch",
                                 "CBindex", "ACStru", "TBtools", "ACdbf", "ACDSNew", "ACDSDelete", "ACDSgoto",
                                 "ACDSmoveto", "ACFilter", "ACExcl", "ACReadOnly", "ACShowDel", "ACCopy", "ACSort"})
            e.insert(QString::fromLatin1(name), false);
        return e;
    }
    e.insert(QStringLiteral("ACDSnext"), !t.eof);
    e.insert(QStringLiteral("ACDSlast"), !t.eof);
    e.insert(QStringLiteral("ACDSfirst"), !t.bof);
    e.insert(QStringLiteral("ACDSprev"), !t.bof);

    const bool editing = t.state == engine::dsEdit || t.state == engine::dsInsert;
    const bool browsing = t.state == engine::dsBrowse;
    // In any other state the four edit commands keep what they had.
    if (t.readOnly || browsing || editing) {
        const bool canStart = !t.readOnly && browsing;
        const bool canFinish = !t.readOnly && editing;
        e.insert(QStringLiteral("ACDSNew"), canStart);
        e.insert(QStringLiteral("ACDSDelete"), canStart);
        e.insert(QStringLiteral("ACDSok"), canFinish);
        e.insert(QStringLiteral("ACDSaboard"), canFinish);
    }
    for (const char *name : {"ACDSsearch", "ACStru", "ACDSgoto", "ACDSmoveto", "ACFilter", "ACExcl", "ACReadOnly",
                             "ACShowDel", "ACPrint", "ACSaveAs", "ACCopy", "ACSort", "CBindex", "TBtools"})
        e.insert(QString::fromLatin1(name), true);
    return e;
}

QString recordStatusText(qint64 recNo, qint64 recordCount)
{
    if (recordCount < 0)
        return QStringLiteral("Satz: %1/…").arg(recNo);
    return QStringLiteral("Satz: %1/%2").arg(recNo).arg(recordCount);
}

QString tableStatusText(bool open, const QString &tableName, bool exclusiveMark, bool readOnlyMark)
{
    if (!open)
        return QString();
    QString suffix;
    if (exclusiveMark)
        suffix = QStringLiteral(" (Exkl.");
    if (readOnlyMark)
        suffix += suffix.isEmpty() ? QStringLiteral(" (Readonly") : QStringLiteral("/Readonly");
    suffix += QLatin1Char(')');
    if (suffix.size() < 3)
        suffix.clear();
    return QStringLiteral("Tabelle: ") + tableName.toLower() + suffix;
}

QString databaseStatusText(const QString &databaseName)
{
    return QStringLiteral("Datenbank: ") + databaseName;
}

} // namespace app
