#pragma once
// The driver for text tables: a directory is the data source, each .csv (also
// .txt, .tab, .tsv) file in it a table, listed as "name#csv" the way the classic
// text driver names them; schema.ini in the directory describes files further.
#include "Driver.h"

namespace engine {

class CsvDriver : public Driver {
public:
    bool handles(const QString &extendedProperties) const override;
    bool dataSourceIsDirectory() const override { return true; }
    QString kindName() const override { return QStringLiteral("Text"); }

    QStringList tableNames(const QString &dataSource) override;
    std::unique_ptr<TableSource> open(const QString &dataSource, const QString &tableName,
                                      const OpenOptions &options) override;
    bool canCreate() const override { return true; }
    void create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields) override;
    QVector<FieldDef> fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                QStringList &changes) const override;
    std::unique_ptr<TableWriter> createWriter(const QString &dataSource, const QString &tableName,
                                              const QVector<FieldDef> &fields) override;

    // "name#csv" → "name.csv"; other names stay as they are.
    static QString fileNameOf(const QString &tableName);
};

} // namespace engine
