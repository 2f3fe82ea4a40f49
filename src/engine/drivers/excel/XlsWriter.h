#pragma once
// Writes a new Excel 97–2003 workbook (BIFF8 in an OLE2 container): one
// worksheet named after the table, the field names in its first row, one row
// per record, and a workbook-wide name of the table covering heading and rows.
// The cells are kept in memory (a sheet holds at most 65,536 rows) and the file
// is written beside the target on commit(), then moved over it.
#include "Driver.h"
#include "EngineError.h"
#include "KnownRowCount.h"

#include <QHash>
#include <vector>

namespace engine::xls {

class WorkbookWriter final : public TableWriter, public KnownRowCount {
public:
    WorkbookWriter(const QString &path, const QString &tableName, const QVector<FieldDef> &fields);
    ~WorkbookWriter() override;

    // A table of more rows than a sheet holds is refused before its rows are written
    // (only the walk that measures the columns comes first).
    void expectRows(qint64 rows) override;
    void writeRow(const QVector<QVariant> &values) override;
    void commit() override;

    static constexpr int MaxRows = 65536;     // of a BIFF8 sheet, the heading row included
    static constexpr int MaxColumns = 256;
    static constexpr int MaxTextLength = 32767; // characters Excel keeps in one cell

    // The sheet name Excel allows for a table name (31 characters, no : \ / ? * [ ]).
    static QString sheetNameFor(const QString &tableName);
    // The defined name Excel allows (a letter or "_" first, letters, digits, "_" and "." after).
    static QString definedNameFor(const QString &tableName);

private:
    void addText(quint16 col, QString text);
    void addNumber(quint16 col, double value, quint16 xf);
    void addBool(quint16 col, bool value);
    void addValue(quint16 col, const QVariant &value, TFieldType type);
    QByteArray buildStream() const;
    EngineError tooManyRows() const;

    QString m_path;
    QString m_sheetName;
    QString m_definedName;
    QVector<FieldDef> m_fields;
    QByteArray m_cells;
    quint32 m_row = 0;
    std::vector<QString> m_strings;
    QHash<QString, quint32> m_stringIndex;
    quint32 m_textCells = 0;
    bool m_done = false;
};

} // namespace engine::xls
