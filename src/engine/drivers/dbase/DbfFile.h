#pragma once
// The bytes of one dBASE / FoxPro table file and its memo file: header, code
// page, records and memos, read and written as the format lays them out. It
// knows nothing of the engine's table interface: positions, deleted-record
// bookkeeping, indexes and the read-only verdict belong to DbfTable on top.
//
// Records are read with pread() into a small cache of blocks of whole records
// (records far apart, as an index order visits them, straight from a read-only
// map of the file) and decoded field by field on demand.
#include "common/CodePage.h"
#include "DbfHeader.h"
#include "DbfMemo.h"
#include "common/MappedCopy.h"

#include <QStringList>
#include <QVariant>
#include <QVector>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace engine::dbase {

class DbfFile {
public:
    DbfFile() = default;
    ~DbfFile();
    DbfFile(const DbfFile &) = delete;
    DbfFile &operator=(const DbfFile &) = delete;

    // Opens the table file at path, finishes or undoes a change a dead writer
    // left half done, reads the header and chooses the code page and the memo
    // file among the folder's entries. Returns whether the file is open for
    // writing; throws EngineError for files that cannot be read.
    bool open(const QString &path, bool readOnly, const QStringList &entries);

    int fd() const { return m_fd; }
    const QString &path() const { return m_path; }
    // The file name without ".dbf", as messages name the table.
    const QString &tableName() const { return m_tableName; }
    const DbfHeader &header() const { return m_head; }
    const TextCodec &codec() const { return m_codec; }
    const QString &codePageOrigin() const { return m_codePageOrigin; }
    const QString &codePageNote() const { return m_codePageNote; }

    // The memo file: none needed, missing, damaged (memoFault) or open.
    bool hasMemoFields() const { return m_hasMemoFields; }
    bool memoMissing() const { return m_memoMissing; }
    const QString &memoName() const { return m_memoName; }
    const QString &memoFault() const { return m_memoFault; }
    const MemoFile *memo() const { return m_memo.get(); }

    // "Satz N" (and the table) as messages name a record.
    QString recordName(qint64 row) const;
    // Copies the byte ranges (offsets within a record) of the records rows, in
    // that order, into out, one record length per row, from a read-only map of
    // the file under the guard against a file cut meanwhile. False when they are
    // to be read another way (no map, the file changed under it, a piece that is
    // no record); throws for a row the table does not hold.
    bool gatherRecords(const qint64 *rows, size_t count, std::vector<io::ByteRange> ranges, std::vector<char> &out);

    // The memo block a memo field of the record points at (0: none); throws on a
    // field that holds no block number.
    quint32 memoBlock(const char *rec, const DbfField &f) const;

    // The description of a version byte ("dBASE III mit Memo", "Visual FoxPro", ...).
    static QString versionName(quint8 version);

    // ---- reading (DbfFile.cpp) ----
    // Throws unless the file holds record row.
    void checkRow(qint64 row) const;
    // Cached record bytes, valid until the next call.
    const char *record(qint64 row);
    void invalidateCache();
    // Goes up with every invalidateCache(): a count of the records made on a
    // second handle before a change is dropped by comparing it.
    quint64 changes() const { return m_changes; }
    bool nullFlag(const char *rec, int bit) const;
    // A field of a whole record as the engine's value.
    QVariant decode(const char *rec, int field, qint64 row) const;
    // The offsets (from first) of the records marked deleted among count records.
    std::vector<quint16> deletedAmong(qint64 first, qint64 count) const;

    // ---- writing (DbfFileWrite.cpp); the caller holds the table's lock ----
    struct PendingMemo {
        int field;
        QByteArray data;
        quint32 fptType;
    };
    // The record as the file holds it now, past the cache.
    QByteArray readRecordDirect(qint64 row) const;
    // A record of blanks with no field null.
    QByteArray blankRecord() const;
    // Puts a value into the record's bytes; memos are collected for writeMemos().
    // Throws EngineError for a value the field refuses; the field's bytes are
    // then undefined, and the caller drops the record.
    void encode(QByteArray &rec, int field, const QVariant &value, std::vector<PendingMemo> &memos) const;
    // Appends the collected memos and puts their block numbers into the record.
    void writeMemos(QByteArray &rec, const std::vector<PendingMemo> &memos);
    // Reads the header again: another program's appends become ours to show
    // (the count before them is returned), any other change is refused.
    std::optional<qint64> refreshHeaderLocked();
    // Visual FoxPro autoincrement fields left empty in row take their next
    // value from the header; returns where each next value is to be stored.
    std::vector<std::pair<qint64, quint32>> takeAutoIncrements(QVector<QVariant> &row) const;
    // Writes rec as the new last record with the end mark, the next
    // autoincrement values and the count count into the header.
    void writeAppended(const QByteArray &rec, const std::vector<std::pair<qint64, quint32>> &nextValues, quint32 count);
    // The header follows a record written by writeAppended().
    void noteAppended();
    // Writes a changed record whole and dates the header.
    void writeRecord(qint64 row, const QByteArray &rec);
    // Whether the deletion flag of record row is set on disk.
    bool deletedOnDisk(qint64 row) const;
    // Sets the deletion flag of record row and dates the header.
    void markDeleted(qint64 row);
    // Sets flags in the header's table flags byte (0x01: a production index exists).
    void addTableFlags(quint8 flags);

    // A new table filled by an export: records are encoded into a buffer and
    // written in large pieces; finishBulk() writes the rest, the end mark and
    // the count. Only for a table nobody else sees yet.
    void appendBulk(const QVector<QVariant> &values);
    // Records already encoded: one with its memos (their block numbers are put
    // into rec), or count whole records without memos.
    void appendBulkRecord(QByteArray &rec, const std::vector<PendingMemo> &memos);
    void appendBulkRecords(const char *records, qint64 count);
    void finishBulk();

private:
    void chooseCodePage(const QStringList &entries);
    void openMemo(const QStringList &entries);
    // Copies the record out of a read-only map of the file; false when it is
    // to be read by blocks instead (no map, or the file changed under it).
    bool copyMappedRecord(qint64 row, char *to);
    bool mapRecords(qint64 end);
    void unmapRecords();
    QVariant memoValue(const char *rec, const DbfField &f, qint64 row) const;
    void setNullFlag(QByteArray &rec, int bit, bool on) const;
    void writeHeaderDate(quint32 *count);
    void flushBulk();
    // Begins the memo file's bulk mode; refuses count more records past the most a table holds.
    void beginBulkRecords(qint64 count);

    int m_fd = -1;
    QString m_path;
    QString m_tableName;

    // The header and field descriptors as the file holds them; the counts
    // follow appends and another program's changes.
    DbfHeader m_head;

    TextCodec m_codec;
    QString m_codePageOrigin;
    QString m_codePageNote;

    quint64 m_changes = 0;
    std::unique_ptr<MemoFile> m_memo;
    QString m_memoName;      // file name of the memo file (found or expected)
    bool m_hasMemoFields = false;
    bool m_memoMissing = false;
    QString m_memoFault;     // why an existing memo file cannot be used

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
    qint64 m_lastRow = -1;           // the record read before
    std::vector<char> m_single;      // a copy of the last record read from the map
    qint64 m_singleRow = -1;
    const char *m_map = nullptr;     // the file mapped read-only for scattered reads
    qint64 m_mapBytes = 0;
    bool m_mapFailed = false;
};

} // namespace engine::dbase
