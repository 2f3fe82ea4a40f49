#pragma once
// One open text table. Opening reads the head of the file only: character set,
// separator, header and the first records for the type guess. The byte offset of
// every record is indexed once, on first use of the row count or of a later row
// (8 bytes per record is all a table of a million lines keeps), and records are
// read on demand through a small cache of decoded blocks. Changes rewrite the
// whole file beside the old one and replace it only when the new one is complete.
#include "CsvSchema.h"
#include "CsvText.h"
#include "Driver.h"

#include <QFile>
#include <array>
#include <limits>
#include <vector>

namespace engine::csv {

class CsvTable final : public TableSource {
public:
    static std::unique_ptr<CsvTable> open(const QString &path, const OpenOptions &options);

    QString tableName() const override { return m_tableName; }
    QString fileName() const override { return m_path; }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }

    qint64 rowCount() override;
    bool isEmpty() override;
    RowId rowAt(qint64 position) override;
    qint64 positionOf(RowId row) override;
    QVariant value(RowId row, int field) override;

    QString readOnlyReason() const override { return m_readOnlyReason; }
    RowId append(const QVector<QVariant> &values) override;
    void update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values) override;
    void remove(RowId row) override;

    QList<QPair<QString, QString>> facts() const override;
    QList<QPair<QString, QVariant>> connectionProperties() const override;

    // How many records the type guess reads.
    static constexpr int GuessRecords = 1000;

private:
    CsvTable() = default;
    enum class Quoting { Minimal, Text, All };

    void setUp(const OpenOptions &options);
    void guessColumns(const SchemaSection *schema, bool preferGerman);
    // Index bookkeeping: records are counted including the header line.
    void indexUpTo(qint64 records);
    void indexAll() { indexUpTo(std::numeric_limits<qint64>::max()); }
    qint64 recordEnd(qint64 record);
    QByteArray readBytes(qint64 from, qint64 to);
    const Record &record(qint64 index);
    qint64 fileRecordOf(RowId row);

    // Writing.
    struct FileStamp {
        qint64 size = -1;
        qint64 mtimeNs = 0;
        quint64 inode = 0;
        bool operator==(const FileStamp &) const = default;
    };
    FileStamp stampNow() const;
    void ensureWritable() const;
    void checkUnchanged() const;
    QByteArray encodeRecord(const QVector<QVariant> &values, const Record *original,
                            const QVector<QVariant> *originalValues) const;
    void rewrite(qint64 cutFrom, qint64 cutTo, const QByteArray &insert);
    bool sameValue(const QVariant &a, const QVariant &b, int field) const;

    QString m_path;
    QString m_tableName;
    QString m_readOnlyReason;
    QFile m_file;
    FileStamp m_stamp;
    int m_mode = 0644;

    Charset m_cs;
    char16_t m_sep = u',';
    QString m_lineEnd = QStringLiteral("\r\n");
    bool m_header = true;
    Quoting m_quoting = Quoting::Minimal;
    QString m_typeOrigin;
    QString m_separatorOrigin;

    QVector<FieldDef> m_defs;
    QVector<ColumnStyle> m_styles;

    std::vector<qint64> m_starts; // byte offset of every record, header included
    std::unique_ptr<RecordIndexer> m_indexer;
    qint64 m_scanned = 0;         // bytes fed to the indexer
    std::vector<RowId> m_removed; // rows removed since opening, ascending: keeps row ids stable

    static constexpr qint64 BlockRecords = 128;
    struct Block {
        qint64 first = -1;
        quint64 lastUse = 0;
        std::vector<Record> records;
    };
    std::array<Block, 8> m_blocks;
    quint64 m_useCounter = 0;
    void clearCache();
};

} // namespace engine::csv
