#pragma once
// The engine's connection: a provider, its properties ("Locale Identifier",
// "Extended Properties", "Data Source", ...) and, once connected, the driver of
// the named data source's kind.
#include "Driver.h"

#include <QObject>
#include <QVariant>

namespace engine {

class TableDataset;

enum TObjectState { stClosed = 0x00, stOpen = 0x01, stConnecting = 0x02, stExecuting = 0x04, stFetching = 0x08 };
using TObjectStates = int;

struct ConnectionProperty {
    QString name;
    QVariant value;
};

class Connection : public QObject {
    Q_OBJECT
public:
    static constexpr const char *DefaultProvider = "Microsoft.Jet.OLEDB.4.0";

    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    // "Provider=...;Data Source=..." style; properties named in it are written.
    void setConnectionString(const QString &text);
    QString connectionString() const;

    QString Provider() const { return m_provider; }
    void setProvider(const QString &provider);

    // Properties[key].Value; writing while connected is an error, as with any provider.
    QVariant propertyValue(const QString &name) const;
    void setPropertyValue(const QString &name, const QVariant &value);
    // The provider's properties in a fixed order, then what the engine keeps for the
    // open data source: its kind, and per open table its code page and open mode.
    QList<ConnectionProperty> Properties() const;

    bool Connected() const { return m_driver != nullptr; }
    void setConnected(bool connected);
    void Open() { setConnected(true); }
    void Close() { setConnected(false); }

    // The names of the data source's tables in the engine's order.
    QStringList GetTableNames(bool systemTables = false);
    // Executes the export statement (see ExportStatement.h): the source table of
    // this connection is copied into a new table; returns the rows copied.
    int Execute(const QString &statement);
    // What the last export had to change to fit the target kind, one sentence each.
    QStringList LastExportChanges() const { return m_lastExportChanges; }

    QString Version() const;
    TObjectStates State() const { return Connected() ? stOpen : stClosed; }

    // For datasets: the driver of the open data source and the data source.
    Driver *driver() const { return m_driver; }
    QString dataSource() const;
    std::unique_ptr<TableSource> openTable(const QString &tableName, const OpenOptions &options);

    void attach(TableDataset *dataset);
    void detach(TableDataset *dataset);

private:
    void recoverInterrupted() const;
    QString m_provider;
    QList<ConnectionProperty> m_properties;
    Driver *m_driver = nullptr;
    QList<TableDataset *> m_datasets;
    QStringList m_lastExportChanges;
};

// Creates an empty Access database at path unless a file is there already.
// Throws: this engine cannot write Access databases.
void createAccessDatabase(const QString &path);

// Reads the table name out of "select * from <name>" (name plain, in [brackets]
// or "double quotes", with ]] and "" doubled inside). Throws on anything else.
QString tableNameFromSelect(const QString &statement);

} // namespace engine
