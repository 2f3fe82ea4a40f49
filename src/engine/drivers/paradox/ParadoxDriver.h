#pragma once
// The driver for Paradox 3 to 7 tables: a directory is the data source, each
// .db file in it a table (with its .px primary index, .mb blob file and
// .Xnn/.Ynn secondary indexes beside it). New tables are Paradox 5.x.
#include "Driver.h"

namespace engine {

class ParadoxDriver : public Driver {
public:
    bool handles(const QString &extendedProperties) const override;
    bool dataSourceIsDirectory() const override { return true; }
    QString kindName() const override { return QStringLiteral("Paradox"); }

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
