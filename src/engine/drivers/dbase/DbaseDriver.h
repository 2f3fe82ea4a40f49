#pragma once
// The driver for dBASE III/IV/5, Clipper, FoxPro 2.x and Visual FoxPro tables:
// a directory is the data source, each .dbf file in it a table.
#include "Driver.h"

namespace engine {

class DbaseDriver : public Driver {
public:
    bool handles(const QString &extendedProperties) const override;
    bool dataSourceIsDirectory() const override { return true; }
    QString kindName() const override { return QStringLiteral("dBASE"); }

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
