#pragma once
// TKADOopen, the data source descriptor: turns a file name into a working table
// for one table dataset of the engine. From the file's extension it derives the
// database kind, writes the connection's provider and properties, forms the
// table name, lets the user choose when a database holds several tables, and
// opens the table. It holds no rows and no field information of its own.
//
// Every operation does nothing while ADOTable is unset or has no connection.
// Engine errors propagate out of the property write or operation that caused
// them; what was already written stays written. See docs/descriptor.md.
#include "DatabaseTypes.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace engine {
class Connection;
class TableDataset;
} // namespace engine

namespace data {

class TKADOopen : public QObject {
    Q_OBJECT
public:
    // The table chooser: shows the open-table dialog for the descriptor (it reads
    // GivenDatabaseName and may call AssignDatabaseFile and GetTableNames) and
    // returns the chosen table text, or nullopt when the user cancelled.
    using TablesDialog = std::function<std::optional<QString>(TKADOopen &)>;
    // Called with the descriptor as sender at the end of every chooser step.
    using GetTablesEvent = std::function<void(TKADOopen &)>;
    using ConnectFunction = std::function<void(engine::Connection &)>;
    using TableListFunction = std::function<QStringList(engine::Connection &)>;

    explicit TKADOopen(QObject *parent = nullptr);
    ~TKADOopen() override;

    // --- properties, in their published order ---

    // The dataset that is driven (plain store).
    engine::TableDataset *ADOTable() const;
    void setADOTable(engine::TableDataset *dataset);

    // True: property writes never disconnect the connection, never change its
    // provider and properties and never list tables; only kind and names are
    // stored. Open, GetTableNames and the export still connect.
    bool KeepConnection() const { return m_keepConnection; }
    void setKeepConnection(bool keep) { m_keepConnection = keep; }

    // The table name handed to the dataset. Writing it closes the dataset,
    // disconnects (unless KeepConnection) and hands the name on.
    QString TableName() const { return m_tableName; }
    void setTableName(const QString &name);

    // The table's full name as the DatabaseName write and the chooser set it.
    QString FullTableName() const { return m_fullTableName; }
    void setFullTableName(const QString &name) { m_fullTableName = name; }

    // Reading: the data source in use (a directory for dBASE, Paradox, text and
    // HTML tables, the file itself for Access and Excel). Writing: derives kind,
    // connection settings and table name from a file name, or runs the chooser.
    QString DatabaseName() const { return m_databaseName; }
    void setDatabaseName(const QString &value);

    // Writing sets the connection up for the kind (provider, "Locale Identifier",
    // "Extended Properties"); without a bound dataset the write is ignored.
    TDatabaseType DatabaseType() const { return m_databaseType; }
    void setDatabaseType(TDatabaseType type);

    // Stored only; no operation uses it, and it is never written to the connection.
    QString Password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    // Export destination (plain stores).
    QString DestTableName() const { return m_destTableName; }
    void setDestTableName(const QString &name) { m_destTableName = name; }
    QString DestDatabaseName() const { return m_destDatabaseName; }
    void setDestDatabaseName(const QString &name) { m_destDatabaseName = name; }
    TDatabaseType DestDatabaseType() const { return m_destDatabaseType; }
    void setDestDatabaseType(TDatabaseType type) { m_destDatabaseType = type; }
    QString DestPassword() const { return m_destPassword; }
    void setDestPassword(const QString &password) { m_destPassword = password; }

    // The collation locale; its number reaches the connection at the next
    // DatabaseType write.
    TLocaleIdentifier LocaleIdentifier() const { return m_localeIdentifier; }
    void setLocaleIdentifier(TLocaleIdentifier locale);
    qint32 LocaleIdentifierValue() const { return m_localeIdentifierValue; }
    // Accepted and ignored: the number always follows LocaleIdentifier.
    void setLocaleIdentifierValue(qint32) {}

    TLocaleIdentifier DestLocaleIdentifier() const { return m_destLocaleIdentifier; }
    void setDestLocaleIdentifier(TLocaleIdentifier locale);
    qint32 DestLocaleIdentifierValue() const { return m_destLocaleIdentifierValue; }
    void setDestLocaleIdentifierValue(qint32) {}

    // Rows written by the last export (read-only).
    qint32 RowsExported() const { return m_rowsExported; }

    // True: the descriptor sets the dataset's TableDirect per kind.
    bool AutoTableDirect() const { return m_autoTableDirect; }
    void setAutoTableDirect(bool on) { m_autoTableDirect = on; }
    // True: the table chooser may be shown.
    bool GetTablesDialog() const { return m_getTablesDialog; }
    void setGetTablesDialog(bool on) { m_getTablesDialog = on; }
    // True: the chooser is shown for Access and Excel even when only one table is listed.
    bool ForceTablesDialog() const { return m_forceTablesDialog; }
    void setForceTablesDialog(bool on) { m_forceTablesDialog = on; }

    GetTablesEvent OnGetTables;

    // The chooser itself. The main window fills it with its open-table dialog;
    // while it is empty, ShowTablesDialog shows nothing (as with GetTablesDialog false).
    TablesDialog TablesDialogHook;

    // How the descriptor connects, and how it lists the data source's tables
    // (system tables excluded). By default both go to the connection
    // (setConnected(true), GetTableNames). They are members so that the
    // descriptor's own decisions - which table is preselected, which Excel names
    // count, when the chooser runs - can be exercised for kinds the engine has no
    // driver for yet (Access, Excel, text, HTML): a test puts a scripted
    // data source in their place. The program never changes them.
    ConnectFunction Connector;
    TableListFunction TableLister;

    // --- internal values ---

    // The text last written to DatabaseName, unchanged (the chooser's database text).
    QString GivenDatabaseName() const { return m_givenDatabaseName; }
    // Why the named database is no table file; empty when it is one.
    QString NotATableReason() const { return m_notATable; }
    // The last export statement.
    QString LastStatement() const { return m_lastStatement; }

    // --- operations ---

    // Connects and opens the dataset.
    void Open();
    // Connects and replaces the list's content with the data source's table
    // names, system tables excluded. The list stays as it was without a bound dataset.
    void GetTableNames(QStringList &list);
    // Exports the open table to the destination: builds the export statement
    // (LastStatement) and has the connection execute it (RowsExported).
    void CopyTable();
    // Creates an empty Access database at the file unless it exists.
    void CreateAccessDatabase(const QString &fileName);
    // What the last export had to change to fit the target kind, one sentence each.
    QStringList ExportChanges() const { return m_exportChanges; }
    // Re-points the descriptor at a file without listing tables or asking; used by
    // the open-table dialog when the user picks another file.
    void AssignDatabaseFile(const QString &fileName);
    // The table chooser step: runs TablesDialogHook when GetTablesDialog is set,
    // takes a confirmed choice, then calls OnGetTables.
    void ShowTablesDialog();

private:
    engine::Connection *boundConnection() const;
    void connectSource(engine::Connection &connection);
    QStringList listTables(engine::Connection &connection);
    // Steps shared by the DatabaseName write and AssignDatabaseFile: derive the
    // kind and names from database part D (and table part P of the bracket form)
    // and set the connection and dataset up for them.
    void derive(const QString &database, const QString &table, bool assignOnly);
    // The chooser step; true when the user confirmed a table.
    bool runTablesDialog();

    QPointer<engine::TableDataset> m_adoTable;
    bool m_keepConnection = false;
    QString m_tableName;
    QString m_fullTableName;
    QString m_databaseName;
    TDatabaseType m_databaseType = dtUndefined;
    QString m_password;
    QString m_destTableName;
    QString m_destDatabaseName;
    TDatabaseType m_destDatabaseType = dtUndefined;
    QString m_destPassword;
    QStringList m_exportChanges;
    TLocaleIdentifier m_localeIdentifier = liGeneral;
    qint32 m_localeIdentifierValue = 1033;
    TLocaleIdentifier m_destLocaleIdentifier = liGeneral;
    qint32 m_destLocaleIdentifierValue = 1033;
    qint32 m_rowsExported = 0;
    bool m_autoTableDirect = false;
    bool m_getTablesDialog = false;
    bool m_forceTablesDialog = false;
    QString m_givenDatabaseName;
    // Why the named database is no table file (a folder, an unknown extension,
    // a missing file), said by Open() instead of a bare "no data source".
    QString m_notATable;
    QString m_lastStatement;
};

// Upper-casing of kind keys and table file names: each character is mapped to
// its upper-case form (umlauts included), and the length never changes, so
// "straße.dbf" becomes "STRAßE.DBF" and still matches its file when the engine
// compares names case-insensitively (QString::toUpper would give "STRASSE.DBF").
QString upperName(const QString &text);

} // namespace data
