#pragma once
// Which commands of the main window are enabled, and the status bar texts, as
// plain decisions on the table's state (the window only applies them).
#include "TableDataset.h"

#include <QHash>
#include <QString>

namespace app {

struct TableSnapshot {
    bool open = false;
    bool bof = true;
    bool eof = true;
    bool readOnly = false; // asked for read-only, or a table the engine cannot change
    engine::TDataSetState state = engine::dsInactive;
};

TableSnapshot snapshotOf(const engine::TableDataset &table);

// Object names of commands and controls whose enabling changes; the others keep theirs.
// "TBtools" is the standard toolbar as a whole, "CBindex" the index chooser.
QHash<QString, bool> commandEnabling(const TableSnapshot &table);

// "Satz: 5/1000"; a negative count is one still being made: "Satz: 5/…".
QString recordStatusText(qint64 recNo, qint64 recordCount);
// "Tabelle: kunden.dbf (Exkl./Readonly)"; empty when no table is open.
QString tableStatusText(bool open, const QString &tableName, bool exclusiveMark, bool readOnlyMark);
QString databaseStatusText(const QString &databaseName);

} // namespace app
