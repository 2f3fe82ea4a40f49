#pragma once
// Writes one table as a UTF-8 HTML5 page: a <thead> row of <th> headings
// (noting each field's type so the page reads back with the same fields) and
// one <tr> per row, values as the engine shows them. The page is written
// beside its final name and renamed into place on commit.
#include "Driver.h"

namespace engine::html {

std::unique_ptr<TableWriter> createPageWriter(const QString &path, const QString &title, const QVector<FieldDef> &fields);

// Text for a cell: &, <, > and " escaped, line breaks as <br>, blanks a browser
// would collapse (leading, trailing, repeated) as &nbsp;.
void appendCellText(QString &out, QStringView text);

} // namespace engine::html
