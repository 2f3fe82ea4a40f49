#include "Connection.h"

#include "EngineError.h"
#include "ExportStatement.h"
#include "TableExport.h"
#include "TableDataset.h"
#include "common/Journal.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <limits>

namespace engine {

namespace {
const char *const DataSourceKey = "Data Source";
const char *const ExtendedPropertiesKey = "Extended Properties";
const char *const LocaleIdentifierKey = "Locale Identifier";
} // namespace

Connection::Connection(QObject *parent)
    : QObject(parent), m_provider(QString::fromLatin1(DefaultProvider))
{
    // The properties a Jet-style provider always has, in a fixed order.
    m_properties = {
        {QString::fromLatin1(DataSourceKey), QString()},
        {QString::fromLatin1(ExtendedPropertiesKey), QString()},
        {QString::fromLatin1(LocaleIdentifierKey), 1033},
        {QStringLiteral("Mode"), QStringLiteral("Share Deny None")},
    };
}

Connection::~Connection()
{
    for (TableDataset *dataset : std::as_const(m_datasets))
        dataset->setConnection(nullptr);
}

void Connection::setProvider(const QString &provider)
{
    if (Connected())
        throw EngineError(QStringLiteral("Der Provider kann bei geöffneter Verbindung nicht geändert werden"));
    m_provider = provider;
}

void Connection::setConnectionString(const QString &text)
{
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = part.left(eq).trimmed();
        const QString value = part.mid(eq + 1).trimmed();
        if (key.compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            setProvider(value);
        else
            setPropertyValue(key, value);
    }
}

QString Connection::connectionString() const
{
    QString text = QStringLiteral("Provider=") + m_provider;
    for (const ConnectionProperty &p : m_properties) {
        if (p.name == QLatin1String(DataSourceKey) || !p.value.toString().isEmpty())
            text += QLatin1Char(';') + p.name + QLatin1Char('=') + p.value.toString();
    }
    return text;
}

QVariant Connection::propertyValue(const QString &name) const
{
    for (const ConnectionProperty &p : m_properties) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p.value;
    }
    return QVariant();
}

void Connection::setPropertyValue(const QString &name, const QVariant &value)
{
    if (Connected())
        throw EngineError(QStringLiteral("Die Eigenschaft '%1' kann bei geöffneter Verbindung nicht geändert werden").arg(name));
    for (ConnectionProperty &p : m_properties) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) {
            p.value = value;
            return;
        }
    }
    m_properties.append({name, value});
}

QList<ConnectionProperty> Connection::Properties() const
{
    QList<ConnectionProperty> list = m_properties;
    if (m_driver)
        list.append({QStringLiteral("Datenquellenart"), m_driver->kindName()});
    for (const TableDataset *dataset : m_datasets) {
        const TableSource *source = dataset->source();
        if (!source)
            continue;
        for (const auto &p : source->connectionProperties())
            list.append({p.first, p.second});
        list.append({QStringLiteral("Öffnungsmodus"),
                     dataset->CanModify() ? QStringLiteral("Lesen und Schreiben") : QStringLiteral("Nur lesen")});
    }
    return list;
}

QString Connection::dataSource() const
{
    return propertyValue(QString::fromLatin1(DataSourceKey)).toString();
}

void Connection::setConnected(bool connected)
{
    if (connected == Connected())
        return;
    if (!connected) {
        for (TableDataset *dataset : std::as_const(m_datasets))
            dataset->Close();
        m_driver = nullptr;
        return;
    }
    if (m_provider.compare(QString::fromLatin1(DefaultProvider), Qt::CaseInsensitive) != 0)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Der Provider '%1' wird nicht unterstützt; nur %2 ist verfügbar")
                              .arg(m_provider, QString::fromLatin1(DefaultProvider)));
    const QString kind = propertyValue(QString::fromLatin1(ExtendedPropertiesKey)).toString();
    Driver *driver = driverFor(kind);
    if (!driver)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Datenbankart '%1' wird nicht unterstützt").arg(kind));
    const QString source = dataSource();
    const QFileInfo info(source);
    if (source.isEmpty())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Es ist keine Datenquelle angegeben"));
    if (driver->dataSourceIsDirectory() ? !info.isDir() : !info.isFile())
        throw EngineError(ErrorKind::NotFound, driver->dataSourceIsDirectory()
                              ? QStringLiteral("Der Ordner '%1' existiert nicht").arg(source)
                              : QStringLiteral("Die Datei '%1' existiert nicht").arg(source));
    m_driver = driver;
}

QStringList Connection::GetTableNames(bool)
{
    setConnected(true);
    return m_driver->tableNames(dataSource());
}

int Connection::Execute(const QString &statement)
{
    const ExportStatement e = parseExportStatement(statement);
    setConnected(true);
    Driver *target = e.targetKind.isEmpty() ? nullptr : driverFor(e.targetKind);
    if (e.targetKind.isEmpty())
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("In Access-Datenbanken kann nicht exportiert werden (%1); gewählt werden "
                                         "können dBASE, Paradox, Excel, HTML und Text.")
                              .arg(QDir::toNativeSeparators(e.targetDatabase)));
    if (!target || !target->canCreate())
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("In die Zielart '%1' kann nicht exportiert werden.").arg(e.targetKind));
    if (e.targetDatabase.isEmpty())
        throw EngineError(QStringLiteral("Für den Export ist kein Ziel angegeben."));

    recoverInterrupted();
    std::unique_ptr<TableSource> source = m_driver->open(dataSource(), e.sourceTable, OpenOptions{true, false});
    // Replacing the file that is being read would leave the open table on a
    // file that no longer exists.
    const QString targetPath = target->dataSourceIsDirectory() ? QDir(e.targetDatabase).filePath(e.targetTable)
                                                               : e.targetDatabase;
    const QString existing = QFileInfo(targetPath).canonicalFilePath();
    if (!existing.isEmpty() && existing == QFileInfo(source->fileName()).canonicalFilePath())
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 kann nicht in ihre eigene Datei exportiert werden.")
                              .arg(QDir::toNativeSeparators(targetPath)));

    const ExportResult result = exportTable(*source, *target, e.targetDatabase, e.targetTable);
    m_lastExportChanges = result.changes;
    return int(std::min<qint64>(result.rows, std::numeric_limits<int>::max()));
}

void createAccessDatabase(const QString &path)
{
    if (QFileInfo::exists(path))
        return;
    throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Access-Datenbank %1 kann nicht angelegt werden: Access-Dateien werden nur "
                                     "gelesen.")
                          .arg(QDir::toNativeSeparators(path)));
}

QString Connection::Version() const
{
    return QStringLiteral(BRISVEL_VERSION);
}

void Connection::recoverInterrupted() const
{
    // A change another program (or this one) left half done when it died is
    // finished or undone before anything of the folder is read.
    const QString source = dataSource();
    io::Journal::recoverFolder(m_driver->dataSourceIsDirectory() ? source : QFileInfo(source).absolutePath(), false);
}

std::unique_ptr<TableSource> Connection::openTable(const QString &tableName, const OpenOptions &options)
{
    setConnected(true);
    recoverInterrupted();
    return m_driver->open(dataSource(), tableName, options);
}

void Connection::attach(TableDataset *dataset)
{
    if (!m_datasets.contains(dataset))
        m_datasets.append(dataset);
}

void Connection::detach(TableDataset *dataset)
{
    m_datasets.removeAll(dataset);
}

static QString unquote(const QString &text, QChar close)
{
    // Quoted names double their closing quote inside.
    QString name;
    int i = 1;
    for (; i < text.size(); ++i) {
        if (text.at(i) == close) {
            if (i + 1 < text.size() && text.at(i + 1) == close) {
                name += close;
                ++i;
                continue;
            }
            break;
        }
        name += text.at(i);
    }
    if (i >= text.size() || !text.mid(i + 1).trimmed().isEmpty())
        return QString();
    return name;
}

QString tableNameFromSelect(const QString &statement)
{
    const QString s = statement.trimmed();
    const auto bad = [&]() {
        return EngineError(ErrorKind::Unsupported, QStringLiteral("Die Anweisung '%1' wird nicht unterstützt; erwartet wird \"select * from <Tabelle>\"").arg(statement));
    };
    // Any run of blanks may stand between the words.
    static const QRegularExpression head(QStringLiteral("^select\\s+\\*\\s+from\\s+"), QRegularExpression::CaseInsensitiveOption);
    const auto m = head.match(s);
    if (!m.hasMatch())
        throw bad();
    const QString rest = s.mid(m.capturedLength()).trimmed();
    if (rest.isEmpty())
        throw bad();
    QString name;
    if (rest.startsWith(QLatin1Char('[')))
        name = unquote(rest, QLatin1Char(']'));
    else if (rest.startsWith(QLatin1Char('"')))
        name = unquote(rest, QLatin1Char('"'));
    else
        name = rest;
    if (name.isEmpty())
        throw bad();
    return name;
}

} // namespace engine
