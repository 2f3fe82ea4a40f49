#include "KADOopen.h"

#include "Connection.h"
#include "EngineError.h"
#include "ExportStatement.h"
#include "TableDataset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>

namespace data {

namespace {

const QString DataSourceKey = QStringLiteral("Data Source");
const QString LocaleIdentifierKey = QStringLiteral("Locale Identifier");
const QString ExtendedPropertiesKey = QStringLiteral("Extended Properties");

// Name parts as the descriptor uses them. Only "/" separates directories.

// The directory of a path with its trailing separator; empty for a bare name.
QString directoryOf(const QString &path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The extension with its dot, from the last "." of the file name; empty when none.
QString extensionOf(const QString &path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

const QString KnownExtensions = QStringLiteral(".dbf, .db, .mdb, .accdb, .xls, .csv, .tsv, .htm und .html");

// What is wrong with a name that is no existing file: missing, or too long for
// the system (which the system reports as a missing file otherwise).
QString fileProblem(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    if (::stat(encoded.constData(), &st) != 0 && errno == ENAMETOOLONG)
        return QStringLiteral("Der Name %1 ist länger, als das System erlaubt.").arg(QDir::toNativeSeparators(path));
    return QStringLiteral("Die Datei %1 existiert nicht.").arg(QDir::toNativeSeparators(path));
}

// The part of a file name before its first "."; empty when there is no ".".
QString baseOf(const QString &fileName)
{
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.left(dot);
}

// The directory the engine looks in. A name given relative to the working
// directory (on the command line, say) gets the working directory put before
// it, because the engine needs a directory to look in and an empty data source
// names none; the given part keeps its case.
QString dataDirectoryOf(const QString &path)
{
    const QString dir = directoryOf(path);
    if (dir.startsWith(QLatin1Char('/')))
        return dir;
    QString absolute = QDir::cleanPath(QDir::currentPath() + QLatin1Char('/') + dir);
    if (!absolute.endsWith(QLatin1Char('/')))
        absolute += QLatin1Char('/');
    return absolute;
}

bool isExistingFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// Excel lists worksheets as "Name$" beside its named ranges. The named ranges are
// the tables a workbook offers; a workbook without any offers its worksheets, so
// that ordinary workbooks open too.
QStringList offeredWorkbookNames(const QStringList &names)
{
    QStringList ranges;
    for (const QString &name : names) {
        if (!name.contains(QLatin1Char('$')))
            ranges << name;
    }
    return ranges.isEmpty() ? names : ranges;
}

} // namespace

QString upperName(const QString &text)
{
    QList<uint> codePoints = text.toUcs4();
    for (uint &codePoint : codePoints)
        codePoint = QChar::toUpper(codePoint);
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(codePoints.constData()),
                             codePoints.size());
}

TKADOopen::TKADOopen(QObject *parent)
    : QObject(parent)
{
    Connector = [](engine::Connection &connection) { connection.setConnected(true); };
    TableLister = [](engine::Connection &connection) { return connection.GetTableNames(false); };
}

TKADOopen::~TKADOopen() = default;

engine::TableDataset *TKADOopen::ADOTable() const
{
    return m_adoTable;
}

void TKADOopen::setADOTable(engine::TableDataset *dataset)
{
    m_adoTable = dataset;
}

engine::Connection *TKADOopen::boundConnection() const
{
    return m_adoTable ? m_adoTable->connection() : nullptr;
}

void TKADOopen::connectSource(engine::Connection &connection)
{
    if (Connector)
        Connector(connection);
    else
        connection.setConnected(true);
}

QStringList TKADOopen::listTables(engine::Connection &connection)
{
    return TableLister ? TableLister(connection) : connection.GetTableNames(false);
}

void TKADOopen::setTableName(const QString &name)
{
    m_tableName = name;
    engine::Connection *connection = boundConnection();
    if (!connection)
        return;
    m_adoTable->Close();
    if (!m_keepConnection)
        connection->setConnected(false);
    m_adoTable->setTableName(name);
}

void TKADOopen::setDatabaseType(TDatabaseType type)
{
    engine::Connection *connection = boundConnection();
    if (!connection)
        return;
    m_adoTable->Close();
    m_databaseType = type;
    if (m_keepConnection)
        return;
    connection->setConnected(false);
    connection->setProvider(QString::fromLatin1(engine::Connection::DefaultProvider));
    connection->setPropertyValue(LocaleIdentifierKey, QVariant(qint32(localeNumber(m_localeIdentifier))));
    connection->setPropertyValue(ExtendedPropertiesKey, extendedProperties(type));
}

void TKADOopen::setLocaleIdentifier(TLocaleIdentifier locale)
{
    m_localeIdentifier = locale;
    m_localeIdentifierValue = localeNumber(locale);
}

void TKADOopen::setDestLocaleIdentifier(TLocaleIdentifier locale)
{
    m_destLocaleIdentifier = locale;
    m_destLocaleIdentifierValue = localeNumber(locale);
}

void TKADOopen::setDatabaseName(const QString &value)
{
    m_givenDatabaseName = value;

    // Bracket form "<database part>[<table>]": the table is named after the
    // database part, e.g. "/daten/[kunden.dbf]" or "/daten/lager.mdb[Artikel]".
    // Linux file names may contain brackets themselves, so a name that is an
    // existing file or folder is always taken as that.
    QString database = value;
    QString table;
    m_notATable.clear();
    if (!isExistingFile(value) && !QFileInfo(value).isDir()) {
        // The table part ends the text; a folder above it may have brackets in
        // its own name ("/daten [alt]/[kunden.dbf]").
        qsizetype close = value.endsWith(QLatin1Char(']')) ? value.size() - 1 : value.indexOf(QLatin1Char(']'));
        qsizetype open = close > 0 ? value.lastIndexOf(QLatin1Char('['), close) : -1;
        if (open < 0) {
            open = value.indexOf(QLatin1Char('['));
            close = value.indexOf(QLatin1Char(']'));
        }
        if (open >= 0 && close > open) {
            table = value.mid(open + 1, close - open - 1);
            database = value.left(open);
        }
    }

    // A directory, an empty text or a missing file: the user chooses; nothing
    // else changes unless a table is confirmed there.
    if (table.isEmpty() && !isExistingFile(database)) {
        const QString shown = QDir::toNativeSeparators(database);
        // With a table from before, that table stays what opens when the
        // chooser is cancelled; only a descriptor without one has nothing to open.
        if (database.isEmpty() || !m_tableName.isEmpty())
            m_notATable.clear();
        else if (QFileInfo(database).isDir())
            m_notATable = QStringLiteral("%1 ist ein Ordner, keine Tabellendatei; nennen Sie eine Tabelle darin, "
                                         "etwa %2.")
                              .arg(shown, QDir::toNativeSeparators(QDir(database).filePath(QStringLiteral("[tabelle.dbf]"))));
        else
            m_notATable = fileProblem(database);
        ShowTablesDialog();
        return;
    }
    derive(database, table, false);
}

void TKADOopen::AssignDatabaseFile(const QString &fileName)
{
    derive(fileName, QString(), true);
}

// The directory part DIR keeps the case it was given: Linux file names are
// case-sensitive, and upper-casing a directory would name another (or no)
// directory. Only the table file name F is upper-cased, as tables named by file
// have always been; the engine finds the file by its exact name first and
// case-insensitively only when no exact match exists.
void TKADOopen::derive(const QString &database, const QString &table, bool assignOnly)
{
    const QString dir = dataDirectoryOf(database);
    QString key;
    QString file;
    QString base;
    if (table.isEmpty()) {
        file = upperName(fileNameOf(database));
        key = upperName(extensionOf(file));
        base = baseOf(file);
    } else {
        key = upperName(extensionOf(table));
        if (key.isEmpty())
            key = upperName(extensionOf(database));
        file = table;
        base = baseOf(upperName(fileNameOf(table)));
    }

    if (!base.isEmpty())
        setTableName(base);

    engine::Connection *connection = boundConnection();
    if (!connection)
        return;
    m_adoTable->Close();
    if (!m_keepConnection) {
        connection->setConnected(false);
        connection->setProvider(QString::fromLatin1(engine::Connection::DefaultProvider));
    }
    if (m_autoTableDirect)
        m_adoTable->setTableDirect(true);

    const auto setDataSource = [&](const QString &source) {
        if (!m_keepConnection)
            connection->setPropertyValue(DataSourceKey, source);
    };

    if (!assignOnly)
        m_notATable.clear();
    if (key == QLatin1String(".DBF") || key == QLatin1String(".DB")) {
        setDatabaseType(key == QLatin1String(".DBF") ? dtDBase5 : dtParadox5);
        setDataSource(dir);
        m_databaseName = dir;
        if (!assignOnly) {
            m_tableName = file;
            m_fullTableName = file;
        }
    } else if (key == QLatin1String(".MDB") || key == QLatin1String(".ACCDB") || key == QLatin1String(".XLS")) {
        const bool workbook = key == QLatin1String(".XLS");
        setDatabaseType(workbook ? dtExcel8 : dtAccess);
        if (assignOnly) {
            setDataSource(database);
            m_databaseName = database;
            return;
        }
        QStringList names;
        if (!m_keepConnection) {
            setDataSource(database);
            connectSource(*connection);
            names = listTables(*connection);
            if (workbook)
                names = offeredWorkbookNames(names);
        }
        // With the bracket form the table is named: it is taken as written and the
        // database name is the file, not the bracketed text.
        const bool named = !table.isEmpty();
        m_tableName = named ? table : names.value(0);
        m_databaseName = named ? database : m_givenDatabaseName;
        bool confirmed = false;
        if ((!named && names.size() > 1) || m_forceTablesDialog)
            confirmed = runTablesDialog();
        // The chooser may have re-pointed the descriptor at another file.
        m_databaseName = (named && !confirmed) ? database : m_givenDatabaseName;
        m_fullTableName = m_tableName;
    } else if (key == QLatin1String(".CSV") || key == QLatin1String(".TSV") || key == QLatin1String(".HTM")
               || key == QLatin1String(".HTML")) {
        // ".html" pages are the same kind as ".htm" ones, ".tsv" files text
        // tables as ".csv" ones (the text driver lists both); without it they
        // would not open at all.
        const bool text = key == QLatin1String(".CSV") || key == QLatin1String(".TSV");
        setDatabaseType(text ? dtText : dtHTMLimport);
        setDataSource(dir);
        if (!assignOnly && !m_keepConnection)
            connectSource(*connection);
        m_databaseName = dir;
        if (m_autoTableDirect)
            m_adoTable->setTableDirect(false);
        if (!assignOnly) {
            m_tableName = file;
            m_fullTableName = file;
        }
    }
    // Any other extension: only its base became the table name, and opening
    // says what is wrong with the name.
    else if (!assignOnly) {
        m_notATable = QStringLiteral("Die Datei %1 hat eine unbekannte Endung; gelesen werden %2.")
                          .arg(QDir::toNativeSeparators(table.isEmpty() ? database : QDir(database).filePath(table)),
                               KnownExtensions);
    }

    if (!assignOnly && m_adoTable)
        m_adoTable->setTableName(m_tableName);
}

void TKADOopen::ShowTablesDialog()
{
    runTablesDialog();
}

bool TKADOopen::runTablesDialog()
{
    bool confirmed = false;
    if (m_getTablesDialog && TablesDialogHook) {
        if (const std::optional<QString> choice = TablesDialogHook(*this)) {
            confirmed = true;
            m_notATable.clear();
            setTableName(*choice);
            if (m_databaseType == dtAccess || isExcelKind(m_databaseType) || m_databaseType == dtHTMLimport
                || m_databaseType == dtText) {
                m_fullTableName = *choice; // text tables are listed with their ".csv" already
            } else if (isDBaseKind(m_databaseType)) {
                m_fullTableName = *choice + QStringLiteral(".dbf");
            } else if (isParadoxKind(m_databaseType)) {
                m_fullTableName = *choice + QStringLiteral(".db");
            }
            m_givenDatabaseName = m_databaseName;
        }
    }
    if (OnGetTables)
        OnGetTables(*this);
    return confirmed;
}

void TKADOopen::Open()
{
    engine::Connection *connection = boundConnection();
    if (!connection)
        return;
    if (!m_notATable.isEmpty())
        throw engine::EngineError(m_notATable);
    connectSource(*connection);
    m_adoTable->Open();
}

void TKADOopen::GetTableNames(QStringList &list)
{
    engine::Connection *connection = boundConnection();
    if (!connection)
        return;
    // A folder or a missing file still lists the tables beside it: that is
    // what the table chooser offers; only opening it as a table is refused.
    connectSource(*connection);
    list = listTables(*connection);
}

void TKADOopen::CopyTable()
{
    engine::Connection *connection = boundConnection();
    if (!connection)
        return;
    // Access and the Excel kinds take the table name bare, the rest in brackets.
    const int kind = int(m_destDatabaseType);
    const bool bare = m_destDatabaseType == dtAccess || (kind >= int(dtExcel3) && kind <= int(dtExcel8));
    const QString target = bare ? m_destTableName : engine::bracketName(m_destTableName);
    const QString properties = extendedProperties(m_destDatabaseType);
    const QString kindArgument = properties.isEmpty() ? QString() : engine::doubleQuoted(properties + QLatin1Char(';'));
    m_lastStatement = QStringLiteral("SELECT * INTO %1 IN %2 %3 FROM %4")
                          .arg(target, engine::doubleQuoted(m_destDatabaseName), kindArgument, m_adoTable->TableName());

    const bool wasConnected = connection->Connected();
    if (m_destDatabaseType == dtAccess) {
        connection->setConnected(false);
        CreateAccessDatabase(m_destDatabaseName);
    }
    connection->setConnected(true);
    m_rowsExported = connection->Execute(m_lastStatement);
    m_exportChanges = connection->LastExportChanges();
    connection->setConnected(wasConnected);
}

void TKADOopen::CreateAccessDatabase(const QString &fileName)
{
    engine::createAccessDatabase(fileName);
}

} // namespace data
