#include "CliTool.h"

#include "CliPrint.h"

#include "Connection.h"
#include "EngineError.h"
#include "IndexRepair.h"
#include "ExportDestination.h"
#include "KADOopen.h"
#include "ProgressLine.h"
#include "StructureRows.h"
#include "TableDataset.h"
#include "VersionResource.h"
#include "common/Quoting.h"

#include <QFileInfo>
#include <limits>
#include <optional>

namespace cli {

namespace {

struct Options {
    QString command;
    QString file;
    QString table;
    QString index;
    QString filter;
    QString target; // export, print: the file to write
    QStringList values; // append, set, delete: the record number and FIELD=VALUE words
    bool overwrite = false;
    QString fontSize; // print: points, 4 to 14
    bool landscape = false;
    bool structure = false;
    bool caseSensitive = false;
    bool exact = false;
    bool quiet = false; // no progress line on a terminal
};

const char *const Usage =
    "Aufruf:\n"
    "  brisvel-cli tables DATEI\n"
    "  brisvel-cli structure [--table NAME] DATEI\n"
    "  brisvel-cli dump [--table NAME] [--index NAME] [--filter AUSDRUCK [--case-sensitive] [--exact]] DATEI\n"
    "  brisvel-cli export [-q] [--table NAME] [--overwrite] DATEI ZIEL\n"
    "  brisvel-cli print [-q] [--table NAME] [--index NAME] [--filter AUSDRUCK] [--font-size N] [--landscape]\n"
    "                    [--structure] [--overwrite] DATEI ZIEL.pdf\n"
    "  brisvel-cli append [--table NAME] DATEI FELD=WERT...\n"
    "  brisvel-cli set [--table NAME] DATEI SATZNR FELD=WERT...\n"
    "  brisvel-cli delete [--table NAME] DATEI SATZNR\n"
    "  brisvel-cli check [--table NAME] DATEI\n"
    "  brisvel-cli reindex [--table NAME] DATEI\n"
    "  brisvel-cli index [--table NAME] DATEI TAG AUSDRUCK\n"
    "DATEI ist eine Tabellendatei (.dbf, ...), auch in der Form ordner/[tabelle.dbf].\n"
    "SATZNR zählt wie \"Gehe zu\" und dump: die Sätze in natürlicher Reihenfolge, gelöschte nicht mitgezählt.\n"
    "WERT wird wie in der Tabellenansicht eingegeben (Datum 31.12.2024, Dezimalkomma).\n"
    "check meldet jeden Unterschied der Indexdateien zu einem frischen Aufbau und jeden Memoverweis, der nicht auf den Anfang eines Memos zeigt (Exit-Status 3, wenn es welche gibt).\n"
    "ZIEL ist eine neue Datei .dbf, .db, .htm, .csv oder .xls; eine vorhandene wird nur mit --overwrite ersetzt.\n"
    "Lange Arbeit zeigt ihren Fortschritt auf der Fehlerausgabe, wenn diese ein Terminal ist; -q schweigt.\n";

class Output {
public:
    explicit Output(FILE *file) : m_file(file) {}
    void write(const QString &text)
    {
        const QByteArray bytes = text.toUtf8();
        fwrite(bytes.constData(), 1, size_t(bytes.size()), m_file);
    }
    void line(const QString &text) { write(text + QLatin1Char('\n')); }

private:
    FILE *m_file;
};

std::optional<Options> parse(const QStringList &arguments, QString *error)
{
    Options options;
    QStringList rest;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        const auto valueFor = [&](const char *option, QString *target, const QString &what) {
            if (a == QLatin1String(option)) {
                if (i + 1 >= arguments.size()) {
                    *error = QStringLiteral("Nach %1 fehlt %2.").arg(a, what);
                    return true;
                }
                *target = arguments.at(++i);
                return true;
            }
            const QString prefix = QLatin1String(option) + QLatin1Char('=');
            if (a.startsWith(prefix)) {
                *target = a.mid(prefix.size());
                return true;
            }
            return false;
        };
        if (valueFor("--table", &options.table, QStringLiteral("der Tabellenname"))
            || valueFor("--index", &options.index, QStringLiteral("der Indexname"))
            || valueFor("--filter", &options.filter, QStringLiteral("der Filterausdruck"))
            || valueFor("--font-size", &options.fontSize, QStringLiteral("die Schriftgröße"))) {
            if (!error->isEmpty())
                return std::nullopt;
        } else if (a == QLatin1String("--case-sensitive")) {
            options.caseSensitive = true;
        } else if (a == QLatin1String("--exact")) {
            options.exact = true;
        } else if (a == QLatin1String("-q") || a == QLatin1String("--quiet")) {
            options.quiet = true;
        } else if (a == QLatin1String("--overwrite")) {
            options.overwrite = true;
        } else if (a == QLatin1String("--landscape")) {
            options.landscape = true;
        } else if (a == QLatin1String("--structure")) {
            options.structure = true;
        } else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            *error = QStringLiteral("Unbekannte Option '%1'.").arg(a);
            return std::nullopt;
        } else {
            rest << a;
        }
    }
    if (rest.size() < 2) {
        *error = QStringLiteral("Befehl oder Datei fehlt.");
        return std::nullopt;
    }
    options.command = rest.takeFirst();
    static const QStringList editing{QStringLiteral("append"), QStringLiteral("set"), QStringLiteral("delete"),
                                     QStringLiteral("check"), QStringLiteral("reindex"), QStringLiteral("index")};
    if (editing.contains(options.command)) {
        // The file is one word here: the words after it are the record and the values.
        options.file = rest.takeFirst();
        options.values = rest;
        const bool numbered = options.command == QLatin1String("set") || options.command == QLatin1String("delete");
        const bool assigns = options.command == QLatin1String("append") || options.command == QLatin1String("set");
        const bool tagged = options.command == QLatin1String("index");
        const qsizetype wanted = numbered ? 1 : tagged ? 2 : 0;
        if (options.values.size() < wanted || (!assigns && options.values.size() != wanted)
            || (assigns && options.values.size() == wanted)) {
            *error = tagged ? QStringLiteral("index braucht die Datei, den Namen des Index und den Schlüsselausdruck.")
                   : options.command == QLatin1String("delete") ? QStringLiteral("delete braucht die Datei und eine Satznummer.")
                   : options.command == QLatin1String("set")    ? QStringLiteral("set braucht die Datei, eine Satznummer und mindestens ein FELD=WERT.")
                   : options.command == QLatin1String("append") ? QStringLiteral("append braucht die Datei und mindestens ein FELD=WERT.")
                                                                : QStringLiteral("%1 braucht genau eine Datei.").arg(options.command);
            return std::nullopt;
        }
        return options;
    }
    if (options.command == QLatin1String("export") || options.command == QLatin1String("print")) {
        if (rest.size() != 2) {
            *error = QStringLiteral("%1 braucht genau zwei Dateien: die Tabelle und das Ziel.").arg(options.command);
            return std::nullopt;
        }
        options.target = rest.takeLast();
    }
    if (!options.fontSize.isEmpty()) {
        bool ok = false;
        const int size = options.fontSize.toInt(&ok);
        if (!ok || size < 4 || size > 14) {
            *error = QStringLiteral("Die Schriftgröße muss eine Zahl von 4 bis 14 sein, nicht '%1'.").arg(options.fontSize);
            return std::nullopt;
        }
    }
    // A file name may hold blanks; the words are joined as the program joins its command line.
    options.file = rest.join(QLatin1Char(' ')).trimmed();
    static const QStringList commands{QStringLiteral("tables"), QStringLiteral("structure"), QStringLiteral("dump"),
                                      QStringLiteral("export"), QStringLiteral("print"), QStringLiteral("append"),
                                      QStringLiteral("set"), QStringLiteral("delete"), QStringLiteral("check"),
                                      QStringLiteral("reindex"), QStringLiteral("index")};
    if (!commands.contains(options.command)) {
        *error = QStringLiteral("Unbekannter Befehl '%1'.").arg(options.command);
        return std::nullopt;
    }
    return options;
}

// The tables of the data source, for the message that asks the user to choose one.
QString tableChoiceMessage(const QStringList &names)
{
    return QStringLiteral("Die Datenquelle enthält mehrere Tabellen; bitte mit --table eine wählen: %1")
        .arg(names.join(QStringLiteral(", ")));
}

// Points the descriptor at the file as the program does with its command line.
// Where the program would show its table chooser, --table answers it.
void openTable(data::TKADOopen &descriptor, engine::TableDataset &table, const Options &options, bool open)
{
    std::optional<QString> chooserFailure;
    descriptor.TablesDialogHook = [&](data::TKADOopen &d) -> std::optional<QString> {
        if (!options.table.isEmpty())
            return options.table;
        QStringList names;
        try {
            d.GetTableNames(names);
        } catch (const engine::EngineError &) {
        }
        // No list to choose from: say why rather than ask.
        if (names.isEmpty() && !d.NotATableReason().isEmpty())
            chooserFailure = d.NotATableReason();
        else if (names.isEmpty() && !QFileInfo::exists(d.GivenDatabaseName()))
            chooserFailure = QStringLiteral("Die Datei '%1' existiert nicht.").arg(d.GivenDatabaseName());
        else if (names.isEmpty())
            chooserFailure = QStringLiteral("In %1 gibt es keine Tabelle.").arg(d.GivenDatabaseName());
        else
            chooserFailure = tableChoiceMessage(names);
        return std::nullopt;
    };
    // Order and filter are set before the table opens, so it opens with them.
    table.setIndexName(options.index);
    if (!options.filter.isEmpty()) {
        table.setFilter(options.filter);
        table.setFiltered(true);
        table.setFilterOptions((options.caseSensitive ? 0 : engine::foCaseInsensitive)
                               | (options.exact ? engine::foNoPartialCompare : 0));
    }
    descriptor.setDatabaseName(options.file);
    // Listing the tables needs no choice; only a table to read does.
    if (chooserFailure && options.table.isEmpty() && (open || !QFileInfo::exists(descriptor.GivenDatabaseName())))
        throw engine::EngineError(*chooserFailure);
    if (!options.table.isEmpty() && descriptor.TableName() != options.table)
        descriptor.setTableName(options.table);
    if (open)
        descriptor.Open();
}

void printTables(data::TKADOopen &descriptor, Output &out)
{
    // A folder, or a file of no kind the engine reads, names no table source.
    if (!descriptor.NotATableReason().isEmpty())
        throw engine::EngineError(descriptor.NotATableReason());
    QStringList names;
    descriptor.GetTableNames(names);
    for (const QString &name : names)
        out.line(name);
}

void printStructure(engine::TableDataset &table, Output &out)
{
    out.line(structure::fieldHeading().join(QLatin1Char('\t')));
    for (const structure::Row &row : structure::fieldRows(table))
        out.line(row.join(QLatin1Char('\t')));
    const QVector<structure::Row> indexes = structure::indexRows(table);
    if (!indexes.isEmpty()) {
        out.line(QString());
        out.line(structure::indexHeading().join(QLatin1Char('\t')));
        for (const structure::Row &row : indexes)
            out.line(row.join(QLatin1Char('\t')));
    }
    out.line(QString());
    out.line(QStringLiteral("Satzgröße\t%1").arg(table.RecordSize()));
    out.line(QStringLiteral("Satzanzahl\t%1").arg(table.RecordCount()));
    for (const auto &fact : table.source()->facts())
        out.line(fact.first + QLatin1Char('\t') + fact.second);
}

void dump(engine::TableDataset &table, Output &out)
{
    const int fields = table.FieldCount();
    QStringList cells;
    for (const QString &name : table.GetFieldNames())
        cells << csvField(name);
    out.write(cells.join(QLatin1Char(',')) + QStringLiteral("\r\n"));
    // The walk runs on the table's cursor, as the grid and the printout do.
    table.DisableControls();
    table.First();
    QString line;
    while (!table.Eof()) {
        line.clear();
        for (int i = 0; i < fields; ++i) {
            if (i > 0)
                line += QLatin1Char(',');
            line += csvField(table.Fields(i)->AsString());
        }
        line += QStringLiteral("\r\n");
        out.write(line);
        table.Next();
    }
    table.EnableControls();
}

// The record a number names, counted as "Gehe zu" and dump count: the shown
// records in natural order, deleted ones left out.
void moveToRecord(engine::TableDataset &table, const QString &text)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    const qint64 count = table.RecordCount();
    if (!ok || number < 1)
        throw engine::EngineError(QStringLiteral("'%1' ist keine Satznummer; gezählt wird ab 1.").arg(text));
    if (number > count)
        throw engine::EngineError(count == 1 ? QStringLiteral("Einen Satz %1 gibt es nicht; die Tabelle hat 1 Satz.").arg(number)
                                             : QStringLiteral("Einen Satz %1 gibt es nicht; die Tabelle hat %2 Sätze.").arg(number).arg(count));
    table.First();
    if (number > 1)
        table.MoveBy(int(std::min<qint64>(number - 1, std::numeric_limits<int>::max())));
}

// FIELD=VALUE words into the record being edited, as the grid takes typed text.
// A failure leaves the record unposted: the caller cancels, nothing is written.
void assignValues(engine::TableDataset &table, const QStringList &words)
{
    for (const QString &word : words) {
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0)
            throw engine::EngineError(QStringLiteral("'%1' ist keine Zuweisung der Form FELD=WERT.").arg(word));
        const QString name = word.left(equals);
        engine::Field *field = table.FindField(name);
        if (!field)
            throw engine::EngineError(QStringLiteral("Die Tabelle hat kein Feld '%1'.").arg(name));
        const QString value = word.mid(equals + 1);
        if (value.isEmpty())
            field->Clear();
        else
            field->setAsString(value);
    }
}

void editRecord(engine::TableDataset &table, const Options &options, Output &out)
{
    if (!table.CanModify()) {
        const QString reason = table.ReadOnlyReason();
        throw engine::EngineError(reason.isEmpty() ? QStringLiteral("Die Tabelle kann nur gelesen werden.") : reason);
    }
    try {
        if (options.command == QLatin1String("append")) {
            table.Append();
            assignValues(table, options.values);
            table.Post();
            out.line(QStringLiteral("Satz %1 angefügt.").arg(table.RecNo()));
        } else if (options.command == QLatin1String("set")) {
            moveToRecord(table, options.values.first());
            table.Edit();
            assignValues(table, options.values.mid(1));
            table.Post();
            out.line(QStringLiteral("Satz %1 geändert.").arg(options.values.first()));
        } else {
            moveToRecord(table, options.values.first());
            table.Delete();
            out.line(QStringLiteral("Satz %1 gelöscht.").arg(options.values.first()));
        }
    } catch (...) {
        if (table.State() != engine::dsBrowse)
            table.Cancel();
        throw;
    }
}

// check: 0 when every index fits its records and every memo pointer leads to a
// memo, 3 with each difference on standard output when not; reindex: the files built afresh.
int repairIndexes(engine::TableDataset &table, const Options &options, Output &out)
{
    engine::IndexRepair *repair = table.source() ? table.source()->indexRepair() : nullptr;
    if (!repair)
        throw engine::EngineError(QStringLiteral("Die Indexdateien dieser Tabellenart prüft und erneuert das Programm nicht."));
    if (options.command == QLatin1String("index")) {
        repair->addIndex(options.values.at(0), options.values.at(1));
        out.line(QStringLiteral("Der Index %1 wurde angelegt.").arg(options.values.at(0).toUpper()));
        return 0;
    }
    const bool noIndexes = table.source()->indexDefs().isEmpty() && table.source()->indexFault().isEmpty();
    if (options.command == QLatin1String("reindex")) {
        if (noIndexes) {
            out.line(QStringLiteral("Zur Tabelle gehören keine Indexdateien."));
            return 0;
        }
        repair->reindex();
        out.line(QStringLiteral("Die Indexdateien wurden neu aufgebaut."));
        return 0;
    }
    // Memo pointers are checked also where there is no index.
    const QStringList differences = repair->checkIndexes();
    for (const QString &line : differences)
        out.line(line);
    if (differences.isEmpty()) {
        out.line(noIndexes ? QStringLiteral("Zur Tabelle gehören keine Indexdateien.") : QStringLiteral("Die Indexdateien passen zu den Sätzen."));
        return 0;
    }
    return 3;
}

} // namespace

bool isPrintCommand(const QStringList &arguments)
{
    QString error;
    const std::optional<Options> options = parse(arguments, &error);
    return options && options->command == QLatin1String("print");
}

QString csvField(const QString &text)
{
    return engine::text::csvCell(text, QLatin1Char(','));
}

// As "Speichern unter..." does it: the destination from the target's extension,
// the descriptor's statement; the rows on standard output, what had to be
// changed to fit the target kind on standard error.
void exportTable(data::TKADOopen &descriptor, const Options &options, Output &out, Output &err)
{
    const QString target = QFileInfo(options.target).absoluteFilePath();
    const std::optional<data::ExportDestination> destination = data::exportDestinationFor(target);
    if (!destination)
        throw engine::EngineError(data::unsupportedExportText(options.target));
    if (QFileInfo::exists(target) && !options.overwrite)
        throw engine::EngineError(QStringLiteral("Die Datei %1 gibt es schon; mit --overwrite wird sie ersetzt.")
                                      .arg(options.target));
    descriptor.setDestDatabaseType(destination->type);
    descriptor.setDestDatabaseName(destination->databaseName);
    descriptor.setDestTableName(destination->tableName);
    descriptor.CopyTable();
    out.line(QStringLiteral("%1 Datensätze exportiert.").arg(descriptor.RowsExported()));
    for (const QString &change : descriptor.ExportChanges())
        err.line(QStringLiteral("Hinweis: ") + change);
}

// The print command, where the program that runs this one can print.
void printTable(data::TKADOopen &descriptor, engine::TableDataset &table, const Options &options,
                const Printer &printer, Output &out)
{
    if (!printer)
        throw engine::EngineError(QStringLiteral("Drucken kann nur brisvel-print; es wurde nicht gefunden."));
    PrintRequest request;
    request.target = options.target;
    request.fontSize = options.fontSize.toInt();
    request.landscape = options.landscape;
    request.structure = options.structure;
    request.overwrite = options.overwrite;
    out.line(printer(descriptor, table, request));
}

// The option among the arguments, not counting the values of options that
// take one (a filter may well read "--help").
bool hasOption(const QStringList &arguments, const char *option)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String(option))
            return true;
        if (a == QLatin1String("--table") || a == QLatin1String("--index") || a == QLatin1String("--filter"))
            ++i;
    }
    return false;
}

// --help and --version answer on standard output and succeed.
std::optional<int> answerInfoOptions(const QStringList &arguments, Output &out)
{
    if (hasOption(arguments, "--help") || hasOption(arguments, "-h")) {
        out.write(QString::fromUtf8(Usage));
        out.write(QStringLiteral("  brisvel-cli --help | --version\n"));
        return 0;
    }
    if (hasOption(arguments, "--version")) {
        out.line(version::versionLine());
        return 0;
    }
    return std::nullopt;
}

int run(const QStringList &arguments, FILE *outFile, FILE *errFile, const Printer &printer)
{
    Output out(outFile);
    Output err(errFile);
    if (const std::optional<int> status = answerInfoOptions(arguments, out)) {
        fflush(outFile);
        return *status;
    }
    QString error;
    const std::optional<Options> options = parse(arguments, &error);
    if (!options) {
        err.line(QStringLiteral("brisvel-cli: ") + error);
        err.write(QString::fromUtf8(Usage));
        return 2;
    }
    engine::Connection connection;
    connection.setObjectName(QStringLiteral("ADOConnectionMain"));
    connection.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
    engine::TableDataset table;
    table.setObjectName(QStringLiteral("TBView"));
    table.setConnection(&connection);
    data::TKADOopen descriptor;
    descriptor.setObjectName(QStringLiteral("KADOopen1"));
    descriptor.setADOTable(&table);
    descriptor.setAutoTableDirect(true);
    descriptor.setGetTablesDialog(true);
    ProgressLine progressLine(errFile);
    const engine::ProgressScope progress(showsProgress(options->quiet, errFile) ? &progressLine : nullptr);
    int status = 0;
    try {
        if (options->command == QLatin1String("tables")) {
            openTable(descriptor, table, *options, false);
            printTables(descriptor, out);
        } else {
            openTable(descriptor, table, *options, true);
            if (options->command == QLatin1String("structure"))
                printStructure(table, out);
            else if (options->command == QLatin1String("export"))
                exportTable(descriptor, *options, out, err);
            else if (options->command == QLatin1String("print"))
                printTable(descriptor, table, *options, printer, out);
            else if (options->command == QLatin1String("check") || options->command == QLatin1String("reindex")
                     || options->command == QLatin1String("index"))
                status = repairIndexes(table, *options, out);
            else if (options->command == QLatin1String("dump"))
                dump(table, out);
            else
                editRecord(table, *options, out);
        }
    } catch (const engine::EngineError &e) {
        fflush(outFile);
        progressLine.abandon();
        err.line(QStringLiteral("brisvel-cli: ") + e.message());
        return 1;
    }
    fflush(outFile);
    return status;
}

} // namespace cli
