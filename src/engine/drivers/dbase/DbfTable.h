#pragma once
// One open dBASE / FoxPro table. Records are read with pread() into a small
// cache of blocks of whole records (records far apart, as an index order visits
// them, straight from a read-only map of the file) and decoded field by field on demand; which
// records are deleted is found lazily, chunk by chunk, so a table of a million
// records opens at once and costs memory for what is looked at only.
#include "common/CodePage.h"
#include "DbfExpression.h"
#include "DbfHeader.h"
#include "DbfIndex.h"
#include "DbfIndexWrite.h"
#include "DbfMemo.h"
#include "Driver.h"
#include "IndexRepair.h"
#include "RawCells.h"

#include <QDate>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace engine::dbase {

class DbfTable final : public TableSource, public RawCellSource, public IndexRepair {
public:
    // Opens the table file at path; throws EngineError for files that cannot be read.
    static std::unique_ptr<DbfTable> open(const QString &path, const OpenOptions &options);
    ~DbfTable() override;

    QString tableName() const override { return m_tableName; }
    QString fileName() const override { return m_path; }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }
    quint32 recordSize() const override { return m_head.recordLength; }
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

    // Cells as stored, for copying without a value per cell (DbfRawCells.cpp).
    const Utf8Table *utf8Table() const override;
    void rawCells(RowId row, RawCell *cells) override;
    RawCell rawCell(RowId row, int field) override;
    std::unique_ptr<RawRowReader> rawReader() const override;
    bool rawCellsOfRows(const RowId *rows, qsizetype count, const int *fields, int fieldCount, RawCell *cells) override;

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
    static QString versionName(quint8 version);
    static bool isVisualFoxPro(quint8 version) { return dbase::isVisualFoxPro(version); }

private:
    friend class DbfRowReader;
    DbfTable() = default;
    void buildFieldDefs();
    void chooseCodePage(const QStringList &entries);
    void openMemo(const QStringList &entries);
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
    const char *record(RowId row);
    // Copies the record out of a read-only map of the file; false when it is
    // to be read by blocks instead (no map, or the file changed under it).
    bool copyMappedRecord(RowId row, char *to);
    bool mapRecords(qint64 end);
    void unmapRecords();
    void invalidateCache();
    QVariant decode(const char *rec, int field, RowId row) const;
    RawCell cellOf(const char *rec, int field) const;
    bool nullFlag(const char *rec, int bit) const;
    QVariant memoValue(const char *rec, const DbfField &f, RowId row) const;
    quint32 memoBlock(const char *rec, const DbfField &f) const;

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
    void checkRow(RowId row) const;
    void refreshHeaderLocked();
    QByteArray readRecordDirect(RowId row) const;
    struct PendingMemo {
        int field;
        QByteArray data;
        quint32 fptType;
    };
    void encode(QByteArray &rec, int field, const QVariant &value, std::vector<PendingMemo> &memos) const;
    void setNullFlag(QByteArray &rec, int bit, bool on) const;
    void writeMemos(QByteArray &rec, const std::vector<PendingMemo> &memos);
    void writeHeaderDate(quint32 *count);
    QString recordName(RowId row) const;
    void flushBulk();

    int m_fd = -1;
    QString m_path;
    QString m_tableName;
    bool m_exclusive = false;

    // The header and field descriptors as the file holds them; the counts
    // follow appends and another program's changes.
    DbfHeader m_head;
    QVector<FieldDef> m_defs;

    TextCodec m_codec;
    QString m_codePageOrigin;
    QString m_codePageNote;

    std::unique_ptr<MemoFile> m_memo;
    QString m_memoName;      // file name of the memo file (found or expected)
    bool m_hasMemoFields = false;
    bool m_memoMissing = false;
    QString m_memoFault;     // why an existing memo file cannot be used
    QStringList m_indexFiles;
    // Index definitions read at open; keys are read when an order is asked for.
    std::vector<std::unique_ptr<IndexFile>> m_indexes;
    QVector<IndexDef> m_indexDefs;
    QVector<QPair<int, int>> m_indexTags; // file in m_indexes and tag of each definition
    QStringList m_indexFaults;            // why an index file could not be read
    std::unique_ptr<IndexKeeper> m_keeper; // keeps the index files valid on changes
    std::vector<std::unique_ptr<XExpression>> m_keyExpressions; // per index definition, parsed when needed
    QString m_readOnlyReason;
    QByteArray m_bulk;         // encoded records not yet written (appendBulk)
    qint64 m_bulkRecords = 0;

    struct Block {
        qint64 first = -1;
        qint64 count = 0;
        quint64 lastUse = 0;
        std::unique_ptr<char[]> data;
        qint64 capacity = 0;
    };
    std::array<Block, 4> m_blocks;
    qint64 m_blockRecords = 1;
    quint64 m_useCounter = 0;
    RowId m_lastRow = -1;            // the record read before
    std::vector<char> m_single;      // a copy of the last record read from the map
    RowId m_singleRow = -1;
    const char *m_map = nullptr;     // the file mapped read-only for scattered reads
    qint64 m_mapBytes = 0;
    bool m_mapFailed = false;

    std::vector<char> m_gathered;    // the pieces of records rawCellsOfRows() read from the map
    mutable Utf8Table m_utf8;        // the code page's UTF-8, built on first use
    mutable int m_utf8State = 0;     // 0 not built, 1 usable, -1 not a single-byte code page

    std::vector<Chunk> m_chunks;
    size_t m_cleanChunks = 0; // leading chunks scanned and free of deleted records
};

} // namespace engine::dbase
