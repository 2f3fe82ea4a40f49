#pragma once
// Checking and rebuilding a table's index files, and adding an index: a
// capability of the table (TableSource::indexRepair), answered by kinds whose
// index files the program writes itself.
#include <QString>
#include <QStringList>

namespace engine {

class IndexRepair {
public:
    virtual ~IndexRepair() = default;
    // Compares every index with one built afresh from the records, and the
    // records' memo pointers with the memo file; one German sentence per
    // difference, empty when all fit.
    virtual QStringList checkIndexes() = 0;
    // Builds every index file afresh beside it and renames it in.
    virtual void reindex() = 0;
    // Adds an index with this key expression to the table's own index file,
    // which is made when there is none.
    virtual void addIndex(const QString &name, const QString &expression) = 0;
};

} // namespace engine
