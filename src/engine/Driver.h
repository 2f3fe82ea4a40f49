#pragma once
// The one narrow interface every file kind implements: a Driver knows a kind of
// data source (list its tables, open one, create one); a TableSource is one open
// table with its rows addressed by position.
#include "BackgroundCount.h"
#include "FieldTypes.h"
#include "IndexKey.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <initializer_list>
#include <memory>

namespace engine {

struct FieldDef {
    QString name;
    TFieldType dataType = ftUnknown;
    int size = 0;       // the stored width: characters for text, bytes otherwise
    int precision = 0;  // total digits for numbers where the kind stores them
    int scale = 0;      // decimals
    int fieldNo = 0;    // 1-based
    bool required = false;
    QString nativeType; // the kind's own name, e.g. "N(7,3)"
};

enum TIndexOption {
    ixPrimary = 0x01,
    ixUnique = 0x02,
    ixDescending = 0x04,
    ixCaseInsensitive = 0x08,
    ixExpression = 0x10,
    ixNonMaintained = 0x20,
};
using TIndexOptions = int;

struct IndexDef {
    QString name;
    QString fields;      // key fields, ";"-separated, when the key is plain fields
    QString expression;  // the key expression otherwise
    QString forCondition;
    TIndexOptions options = 0;
    QString source;      // the index file the definition comes from
};

// A row of a table: the kind's stable number for it (a dBASE record number, a line).
using RowId = qint64;

struct OpenOptions {
    bool readOnly = false;
    bool exclusive = false;
};

class TableSource {
public:
    virtual ~TableSource() = default;

    virtual QString tableName() const = 0;
    virtual QString fileName() const = 0;
    virtual const QVector<FieldDef> &fieldDefs() const = 0;
    virtual QVector<IndexDef> indexDefs() const { return {}; }
    // The visible rows in the order of the named index, as its index file stores
    // them (FOR conditions and descending keys included). Throws where the kind
    // cannot order by that index.
    virtual QVector<RowId> indexOrder(const QString &indexName);
    // Bytes of one stored record where the kind has fixed records, else 0.
    virtual quint32 recordSize() const { return 0; }

    // Visible rows in their natural order (deleted records are not rows).
    virtual qint64 rowCount() = 0;
    // Whether there are no rows; kinds that count lazily answer without counting all.
    virtual bool isEmpty() { return rowCount() == 0; }
    virtual RowId rowAt(qint64 position) = 0;
    // Position of a row in the natural order, -1 when it is no longer there.
    virtual qint64 positionOf(RowId row) = 0;

    // One field of one row: null is an invalid QVariant.
    virtual QVariant value(RowId row, int field) = 0;
    virtual QString text(RowId row, int field);

    // Empty when the table can be changed, else the German reason why not.
    virtual QString readOnlyReason() const = 0;
    virtual RowId append(const QVector<QVariant> &values);
    // original: the values as read when editing began; a row changed meanwhile
    // by another program is reported, not overwritten.
    virtual void update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values);
    virtual void remove(RowId row);
    // Where a row stands after update(): kinds that keep their records in key
    // order move a row whose key changed.
    virtual RowId rowAfterUpdate(RowId row) const { return row; }
    // Whether a change may give other rows new RowIds (records kept in key order
    // move up and down in their blocks); views holding RowIds are then rebuilt.
    virtual bool rowIdsShiftOnChange() const { return false; }

    // The key of the named index computed from a row's values, for kinds whose
    // indexes have key expressions; nothing where the kind (or this index) has none.
    virtual std::unique_ptr<IndexKeyText> indexKey(const QString &indexName);
    // Checking, rebuilding and adding indexes; nullptr for kinds that cannot.
    virtual class IndexRepair *indexRepair() { return nullptr; }
    // Counting the rows on another thread; nullptr for kinds whose count is cheap.
    virtual CountsInBackground *countsInBackground() { return nullptr; }

    // Header facts a user may want to see (version, code page, ...), in order.
    virtual QList<QPair<QString, QString>> facts() const { return {}; }
    // Properties the kind keeps for the connection's property list (e.g. the code page).
    virtual QList<QPair<QString, QVariant>> connectionProperties() const { return {}; }
    // Why index files beside the table could not be read (their indexes are
    // then missing from indexDefs); empty when all were read.
    virtual QString indexFault() const { return {}; }
};

// What the values of a column need, measured over the rows for kinds that store
// fixed widths (so an export never cuts a value to fit).
struct ColumnMeasure {
    int textLength = 0;    // longest text, in characters
    int integerDigits = 0; // widest integer part of a number, its sign included
    int decimals = 0;      // most decimals a number needs (at 15 significant digits)
};

// A new table written row by row. Nothing appears under the table's final name
// until commit() has completed the file(s); a writer destroyed without a
// successful commit() removes what it wrote and leaves an existing table as it was.
// writeRow() gets one value per field, of the field's type: QString for text and
// memos, qint64 for integers, double for floats/currency/BCD, QDate, QTime,
// QDateTime, bool, QByteArray for binary data; an invalid QVariant is null.
class TableWriter {
public:
    virtual ~TableWriter() = default;
    virtual void writeRow(const QVector<QVariant> &values) = 0;
    virtual void commit() = 0;
};

class Driver {
public:
    virtual ~Driver() = default;

    // True when this driver serves the connection's "Extended Properties" value.
    virtual bool handles(const QString &extendedProperties) const = 0;
    // Whether "Data Source" names a directory (dBASE, Paradox, text, HTML) or a file.
    virtual bool dataSourceIsDirectory() const = 0;
    virtual QString kindName() const = 0;

    virtual QStringList tableNames(const QString &dataSource) = 0;
    virtual std::unique_ptr<TableSource> open(const QString &dataSource, const QString &tableName,
                                              const OpenOptions &options) = 0;
    // Creates a new empty table; false where the kind cannot be written.
    virtual bool canCreate() const { return false; }
    virtual void create(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields);

    // Export into this kind. needsMeasures(): whether fieldsFor() wants the
    // measures of the source's rows (one per field) or gets an empty list.
    virtual bool needsMeasures() const { return false; }
    // The fields a new table of this kind gets for the source's fields: the
    // nearest types and sizes, names the kind allows. Every change a user must
    // know of (a shortened name, text moved into a memo, ...) is added to
    // changes as one German sentence. The default keeps the fields as they are.
    virtual QVector<FieldDef> fieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                        QStringList &changes) const;
    // Starts writing a new table, which replaces an existing one on commit().
    // Throws where the kind cannot be written.
    virtual std::unique_ptr<TableWriter> createWriter(const QString &dataSource, const QString &tableName,
                                                      const QVector<FieldDef> &fields);
};

// Whether "Extended Properties" names one of the kinds: its first ";"-separated
// part, in any case ("dBASE IV;" names "dBASE IV").
bool isKind(const QString &extendedProperties, std::initializer_list<const char *> kinds);

// The tables of a folder for the kinds whose data source is a folder: tableName
// gives a file's table name, or an empty text for files of other kinds. Sorted
// without regard to case, the exact case breaking ties. Throws when the folder
// does not exist.
QStringList tableFiles(const QString &directory, const std::function<QString(const QString &fileName)> &tableName);

// Checks what every new table needs before anything is written: an existing
// folder, a usable name, one to maxFields fields. kind names the table kind in
// the message ("dBASE", "Paradox").
void checkNewTable(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields,
                   int maxFields, const QString &kind);

// The drivers of all kinds, in the order they are asked.
const QList<Driver *> &allDrivers();
Driver *driverFor(const QString &extendedProperties);

// Resolves a table file in a directory: exact name first, then with the given
// extension, and case-insensitively only where nothing matches exactly.
// Returns the full path, or an empty string when no file matches.
QString resolveTableFile(const QString &directory, const QString &tableName, const QString &extension);

} // namespace engine
