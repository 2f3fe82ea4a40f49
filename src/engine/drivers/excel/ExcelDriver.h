#pragma once
// The driver for Excel workbooks (.xls, Excel 97–2003, and Excel 5.0/95 for
// reading): the data source is the workbook file; its worksheets are tables
// named "Sheet$", its workbook-wide names of a cell area are tables by name.
// Export writes a new workbook with one worksheet and one name for its table.
#include "Driver.h"

namespace engine {

class ExcelDriver : public Driver {
public:
    bool handles(const QString &extendedProperties) const override;
    bool dataSourceIsDirectory() const override { return false; }
    QString kindName() const override { return QStringLiteral("Excel"); }

    QStringList tableNames(const QString &dataSource) override;
    std::unique_ptr<TableSource> open(const QString &dataSource, const QString &tableName,
                                      const OpenOptions &options) override;

    bool canCreate() const override { return true; }
    void create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields) override;
    bool needsMeasures() const override { return true; }
    QVector<FieldDef> fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                QStringList &changes) const override;
    std::unique_ptr<TableWriter> createWriter(const QString &dataSource, const QString &tableName,
                                              const QVector<FieldDef> &fields) override;
};

} // namespace engine
