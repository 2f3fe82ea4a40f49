#pragma once
// One table of a workbook: a worksheet's used cells or a named range. The first
// row of the area names the columns, the rows below it are the records; a row's
// id is its row number on the sheet. The column types come from the cells
// themselves, as Excel holds no types. Workbooks are read-only.
#include "Driver.h"
#include "XlsWorkbook.h"

namespace engine::xls {

// The rectangle of a table on its sheet, inclusive and 0-based.
struct Area {
    int firstRow = 0, lastRow = -1, firstCol = 0, lastCol = -1;
};

// "A1:C10" for an area.
QString areaText(const Area &area);

class XlsTable final : public TableSource {
public:
    XlsTable(std::shared_ptr<Workbook> book, int sheet, const Area &area, const QString &tableName, bool namedRange);

    QString tableName() const override { return m_tableName; }
    QString fileName() const override { return m_book->path(); }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }

    qint64 rowCount() override;
    RowId rowAt(qint64 position) override;
    qint64 positionOf(RowId row) override;
    QVariant value(RowId row, int field) override;

    QString readOnlyReason() const override;
    QList<QPair<QString, QString>> facts() const override;

    // Text longer than this makes a column a memo.
    static constexpr int MaxStringSize = 255;

private:
    enum class Kind : quint8 { Text, Number, Date, Time, DateTime, Bool };

    void describeColumns();
    QString cellText(const Cell &cell) const;

    std::shared_ptr<Workbook> m_book;
    SheetCells m_cells;
    int m_sheet = 0;
    Area m_area;
    QString m_tableName;
    bool m_namedRange = false;
    QVector<FieldDef> m_defs;
    QVector<Kind> m_kinds;
};

} // namespace engine::xls
