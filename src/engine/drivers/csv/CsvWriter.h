#pragma once
// Writing a new text table: a heading row, commas, text in double quotes, UTF-8,
// and the file's section in schema.ini so that it reads back with its types.
#include "Driver.h"

namespace engine::csv {

// The fields a text table can hold for the given ones (binary data becomes
// Base64 text, and so on); each change is described in changes.
QVector<FieldDef> textFieldsFor(const QVector<FieldDef> &source, QStringList &changes);

// fileName: the table file in directory (with its extension).
std::unique_ptr<TableWriter> createTextWriter(const QString &directory, const QString &fileName,
                                              const QVector<FieldDef> &fields);

} // namespace engine::csv
