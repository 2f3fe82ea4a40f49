#pragma once
// The decisions of "Speichern unter...": which kind and names a chosen file
// gives the export, the question before a file is replaced, and the one
// message that tells what the export had to change.
#include "DatabaseTypes.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace data {

struct ExportDestination {
    TDatabaseType type = dtUndefined;
    QString databaseName;
    QString tableName;
};

// The save dialog's texts.
extern const QString SaveDialogTitle;
extern const QString SaveDialogFilter;
extern const QString SaveDialogDefaultExt;

// The destination for the file by its extension (any case): .dbf, .db, .htm
// (also .html), .csv, .xls; nothing for any other name.
std::optional<ExportDestination> exportDestinationFor(const QString &fileName);
// Why a name cannot be exported to, for the message before anything is touched.
QString unsupportedExportText(const QString &fileName);
QString overwriteQuestion(const QString &fileName);
// Empty when nothing was changed; a message box's worth of text otherwise.
QString exportChangesText(const QStringList &changes, int maxLength = 500);

} // namespace data
