#pragma once
// The driver for Access databases (Jet 3, Jet 4 and the ACE files mdbtools
// reads): the data source is the .mdb file itself, its user tables are the
// tables. Access databases are read only.
#include "Driver.h"

namespace engine {

class AccessDriver : public Driver {
public:
    // The Access kind is the one without an "Extended Properties" string.
    bool handles(const QString &extendedProperties) const override;
    bool dataSourceIsDirectory() const override { return false; }
    QString kindName() const override { return QStringLiteral("Access"); }

    // The user tables in the order of the database's catalog (system tables left out).
    QStringList tableNames(const QString &dataSource) override;
    std::unique_ptr<TableSource> open(const QString &dataSource, const QString &tableName,
                                      const OpenOptions &options) override;
    bool canCreate() const override { return false; }
};

} // namespace engine
