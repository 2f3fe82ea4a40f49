#pragma once
// The one statement form the engine executes besides reading a table:
//   SELECT * INTO <target> IN "<database>" "<kind>;" FROM <source>
// The target is in [brackets] (a doubled "]]" inside) or bare; the database is in
// double quotes (a doubled quote inside); the kind may be missing; the source is
// everything after FROM, so any file name fits.
#include "common/Quoting.h"

#include <QString>

namespace engine {

struct ExportStatement {
    QString targetTable;
    QString targetDatabase;
    QString targetKind; // the "Extended Properties" value without its ";"; empty when missing
    QString sourceTable;
};

// Throws EngineError naming the statement when it is not of this form.
ExportStatement parseExportStatement(const QString &statement);

// Quoting as the statement expects it.
QString bracketName(const QString &name);
using text::doubleQuoted;

} // namespace engine
