#pragma once
// The driver for HTML pages: a directory is the data source, the tables of
// its .htm/.html pages are the tables. A page's first table is named after the
// file ("preise.htm"), its further tables get the number of the table in the
// page after "#" ("preise.htm#2"); nested tables count in document order.
// Pages are read only; the export kind writes new pages.
#include "Driver.h"

namespace engine {

class HtmlDriver : public Driver {
public:
    // "HTML Import" and "HTML Export".
    bool handles(const QString &extendedProperties) const override;
    bool dataSourceIsDirectory() const override { return true; }
    QString kindName() const override { return QStringLiteral("HTML"); }

    // Pages without any table are not listed.
    QStringList tableNames(const QString &dataSource) override;
    std::unique_ptr<TableSource> open(const QString &dataSource, const QString &tableName,
                                      const OpenOptions &options) override;

    bool canCreate() const override { return true; }
    // A page with the headings and no rows.
    void create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields) override;
    // Keeps the fields; binary fields can only show their size in a page.
    QVector<FieldDef> fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                QStringList &changes) const override;
    std::unique_ptr<TableWriter> createWriter(const QString &dataSource, const QString &tableName,
                                              const QVector<FieldDef> &fields) override;

    // "seite.htm#2" → file "seite.htm" and table 2 (1-based); other names are table 1.
    static QString fileNameOf(const QString &tableName, int *tableNumber);
};

} // namespace engine
