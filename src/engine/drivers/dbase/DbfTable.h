#pragma once
// One open dBASE / FoxPro table as the engine's table interface sees it: the
// adapter over the file format (DbfFile, which knows the bytes). It maps
// positions to records, keeps the index files in step and decides whether the
// table may change. Which records are deleted is found lazily, chunk by chunk,
// so a table of a million records opens at once and costs memory for what is
// looked at only.
#include "DbfExpression.h"
#include "DbfFile.h"
#include "DbfIndex.h"
#include "DbfIndexWrite.h"
#include "Driver.h"
#include "EngineError.h"
#include "IndexRepair.h"
#include "RawCells.h"

#include <QDate>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace engine::dbase {

class DbfTable final : public TableSource, public RawCellSource, public IndexRepair, public CountsInBackground {
public:
    // Opens the table file at path; throws EngineError for files that cannot be read.
    static std::unique_ptr<DbfTable> open(const QString &path, const OpenOptions &options);
    ~DbfTable() override;

    QString tableName() const override { return m_file.tableName(); }
    QString fileName() const override { return m_file.path(); }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }
    quint32 recordSize() const override { return m_file.header().recordLength; }
    QVector<IndexDef> indexDefs() const override { return m_indexDefs; }
    QString indexFault() const override { return m_indexFaults.join(QLatin1Char(' ')); }
    QVector<RowId> indexOrder(const QString &indexName) override;
    std::unique_ptr<IndexKeyText> indexKey(const QString &indexName) override;

    qint64 rowCount() override;
    bool isEmpty() override;
    RowId rowAt(qint64 position) override;
    qint64 positionOf(RowId row) override;

    QVariant value(RowId row, int field) override;
    QString text(RowId row, int field) override;

    QString readOnlyReason() const override { return m_readOnlyReason; }
    RowId append(const QVector<QVariant> &values) override;
    void update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values) override;
    void remove(RowId row) override;

    // A new table filled by an export: records are encoded into a buffer and
    // written in large pieces, without the lock and sync of append(); the
    // count in the header follows in finishBulk(). Only for a table nobody else sees yet.
    void appendBulk(const QVector<QVariant> &values);
    void finishBulk();
    // The same from cells of another table (DbfBulkFormat.cpp): a formatter per
    // thread makes whole records of fields (this table's, as FieldDefs), whose
    // errors shown names for the user; appendBulkFormatted() takes what they made, in order.
    std::unique_ptr<RawRowFormatter> bulkFormatter(const QVector<FieldDef> &fields, const Utf8Table *source,
                                                   const std::function<EngineError(const EngineError &)> &shown) const;
    void appendBulkFormatted(const QByteArray &rows);

    // Cells as stored, for copying without a value per cell (DbfRawCells.cpp).
    const Utf8Table *utf8Table() const override;
    void rawCells(RowId row, RawCell *cells) override;
    RawCell rawCell(RowId row, int field) override;
    std::unique_ptr<RawRowReader> rawReader() const override;
    bool gatherRows(const RowId *rows, qsizetype count, const int *fields, int fieldCount) override;
    RawCell gatheredCell(qsizetype index, int k) override;

    QList<QPair<QString, QString>> facts() const override;
    QList<QPair<QString, QVariant>> connectionProperties() const override;

    // A field of a whole record as xBase expressions see it (text at full width,
    // blank numbers 0, dates as day numbers).
    XValue xbaseValue(const char *rec, int field) const;
    std::vector<bool> nullableFields() const;
    // The key text of a row for an index: the index's key expression computed
    // for the row (character keys without trailing blanks, numbers and dates as
    // the engine's text). Throws EngineError when the index is unknown or its key
    // cannot be computed.
    QString indexKeyText(const QString &indexName, RowId row);
    // The parsed key expression of an index (kept with the table); throws EngineError.
    const XExpression *keyExpression(const QString &indexName, bool *descending = nullptr);
    // A field's engine value as xBase expressions see it.
    XValue xbaseFromValue(int field, const QVariant &value) const;
    // The text of a computed key (character keys without trailing blanks).
    static QString keyText(const XValue &v);
    IndexRepair *indexRepair() override { return this; }

    // The deleted records found on a second handle (DbfCountScan.cpp).
    CountsInBackground *countsInBackground() override { return this; }
    bool rowCountKnown() const override;
    qint64 rowCountAtMost() const override { return m_file.header().recordCount; }
    qint64 rowsUpTo(qint64 limit) override;
    qint64 rowsPlacedWithoutReading() const override;
    std::unique_ptr<CountScan> countScan() override;
    bool adoptCount(CountScan &scan) override;
    // Compares every tag of every index file with one built afresh from the
    // records; one German sentence per difference (empty: all fit).
    QStringList checkIndexes() override;
    // Builds every index file afresh beside it and renames it in, under the lock.
    void reindex() override;
    // Adds a tag to the production index (.mdx, or .cdx for FoxPro tables), made when missing.
    void addIndex(const QString &name, const QString &expression) override;
    // Writes a new .mdx or .cdx with one tag beside the table (for tests and benchmarks).
    void createIndexFile(const QString &path, IndexFormat format, const QString &name, const QString &expression);
    // Writes a new single .ndx beside the table (for tests and benchmarks).
    void createNdx(const QString &path, const QString &expression, bool unique);

    // The description of a version byte ("dBASE III mit Memo", "Visual FoxPro", ...).
    static QString versionName(quint8 version) { return DbfFile::versionName(version); }
    static bool isVisualFoxPro(quint8 version) { return dbase::isVisualFoxPro(version); }

private:
    friend class DbfRowReader;
    DbfTable() = default;
    void buildFieldDefs();
    // Why the table may not change (empty: it may).
    QString readOnlyReasons(const OpenOptions &options, bool writable, const QString &access);
    void findIndexFiles(const QStringList &entries);
    void readIndexDefinitions();
    XValue xbaseBlank(const DbfField &f) const;
    // Sets up keeping the index files valid; returns why that is impossible.
    QString prepareIndexKeeping();
    // Writes a changed record (write) with every index file kept in step.
    void writeKeepingIndexes(quint32 number, const QByteArray *oldRec, const QByteArray &newRec,
                             const std::function<void()> &write);
    int findIndex(const QString &indexName) const;
    // Adds a tag to index file number file (a new file at path when there is none that many).
    void addTagTo(size_t file, const QString &path, IndexFormat format, const QString &tagName, const QString &expression);

    // Cached record bytes, valid until the next call.
    const char *record(RowId row) { return m_file.record(row); }
    void invalidateCache() { m_file.invalidateCache(); }
    bool nullFlag(const char *rec, int bit) const { return m_file.nullFlag(rec, bit); }
    RawCell cellOf(const char *rec, int field) const;

public:
    // Records per chunk of the deleted-record bookkeeping.
    static constexpr qint64 RecordsPerChunk = 65536;

private:
    // Deleted-record bookkeeping.
    struct Chunk {
        bool scanned = false;
        quint32 live = 0;
        std::vector<quint16> deleted; // offsets in the chunk, ascending
    };
    void resetChunks(qint64 fromRecord);
    void scanChunk(size_t index);
    qint64 chunkRecords(size_t index) const;

    // Writing.
    void ensureWritable() const;
    // Throws unless there is one value for each field.
    void checkValueCount(qsizetype count) const;
    // Reads the header again under the lock; another program's appends join the chunks.
    void refreshHeaderLocked();

    // The file's bytes: header, code page, records and memos.
    DbfFile m_file;
    bool m_exclusive = false;
    QVector<FieldDef> m_defs;

    QStringList m_indexFiles;
    // Index definitions read at open; keys are read when an order is asked for.
    std::vector<std::unique_ptr<IndexFile>> m_indexes;
    QVector<IndexDef> m_indexDefs;
    QVector<QPair<int, int>> m_indexTags; // file in m_indexes and tag of each definition
    QStringList m_indexFaults;            // why an index file could not be read
    std::unique_ptr<IndexKeeper> m_keeper; // keeps the index files valid on changes
    std::vector<std::unique_ptr<XExpression>> m_keyExpressions; // per index definition, parsed when needed
    QString m_readOnlyReason;

    std::vector<char> m_gathered;    // the pieces of records gatherRows() read from the map
    std::vector<int> m_gatheredFields; // the fields gathered, in the caller's order
    mutable Utf8Table m_utf8;        // the code page's UTF-8, built on first use
    mutable int m_utf8State = 0;     // 0 not built, 1 usable, -1 not a single-byte code page

    std::vector<Chunk> m_chunks;
    size_t m_cleanChunks = 0; // leading chunks scanned and free of deleted records
    // Counts the changes that may change deletion flags a count scan has read
    // (a delete, another program's header change). Own appends and edits leave
    // it: an appended record is not deleted, an edit keeps the flag.
    quint64 m_countEpoch = 0;
};

} // namespace engine::dbase
