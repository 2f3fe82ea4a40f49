#pragma once
// One open Paradox table. The data blocks form a linked list; it is walked once
// at open (six bytes per block) and kept as an index of blocks, so a row is
// found by position without reading the records. Records are read block-wise
// with pread() into a small cache and decoded field by field on demand.
#include "Driver.h"
#include "PxBlob.h"
#include "PxChecks.h"
#include "PxFormat.h"
#include "PxKeyedFile.h"
#include "PxSecondary.h"
#include "common/CodePage.h"

#include <array>
#include <memory>
#include <vector>

namespace engine::paradox {

class PxTable final : public TableSource, protected PxKeyedFile {
public:
    static std::unique_ptr<PxTable> open(const QString &path, const OpenOptions &options);
    ~PxTable() override;

    QString tableName() const override { return m_tableName; }
    QString fileName() const override { return m_path; }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }
    QVector<IndexDef> indexDefs() const override { return m_indexDefs; }
    QVector<RowId> indexOrder(const QString &indexName) override;
    quint32 recordSize() const override { return m_h.recordSize; }

    qint64 rowCount() override { return m_rowCount; }
    RowId rowAt(qint64 position) override;
    qint64 positionOf(RowId row) override;
    QVariant value(RowId row, int field) override;

    QString readOnlyReason() const override { return m_readOnlyReason; }
    RowId append(const QVector<QVariant> &values) override;
    void update(RowId row, const QVector<QVariant> &original, const QVector<QVariant> &values) override;
    void remove(RowId row) override;
    RowId rowAfterUpdate(RowId row) const override { return m_movedFrom == row ? m_movedTo : row; }
    bool rowIdsShiftOnChange() const override { return keyed(); }

    QList<QPair<QString, QString>> facts() const override;
    QList<QPair<QString, QVariant>> connectionProperties() const override;

    // The record bytes of a row, for tests and index ordering.
    QByteArray recordBytes(RowId row);

private:
    PxTable() = default;
    void indexBlocks();
    void readIndexDefinitions(const QStringList &entries);
    // Reads the .VAL file; the reason the table stays read-only when it cannot.
    QString readChecks(const QStringList &entries);
    const char *record(RowId row);
    QVariant decode(const char *rec, int field);
    QVariant blobValue(const char *rec, const PxField &f);
    BlobFile *blobFile();

    // Writing.
    void ensureWritable() const;
    void refreshLocked();
    QByteArray encodeRecord(const QVector<QVariant> &values, const QByteArray *old, bool storeBlobs = true);
    // The record a change would store, its blobs not yet written, after the
    // validity checks and (keyed tables) the key checks; throws when one fails.
    QByteArray checkedRecord(const QVector<QVariant> &values, const QByteArray *old);
    QString violationText(const PxViolation &broken, const QByteArray &rec);
    // Under the lock: the header re-read and the row still there.
    void checkRowLocked(RowId row);
    void writeHeaderCounts(quint32 records, bool sync = true);
    bool sameValues(const char *rec, const QVector<QVariant> &values);

    // Keyed tables: records in key order across the blocks (PxKeyedFile), the .PX
    // and the maintained secondary indexes updated in place after every change;
    // header byte 0x4F marks a change under way.
    void checkKey(const QByteArray &rec) const;
    QString keyText(const QByteArray &rec);
    EngineError duplicateKey(const QByteArray &rec) override;
    void setChangeUnderWay(bool on);
    // Maintained secondary indexes, opened under the lock for one change.
    using Secondaries = std::vector<std::unique_ptr<PxSecondaryFile>>;
    Secondaries openSecondaries();
    // The entries of a removed (old) and a stored (rec) record, and the hints of
    // records a block split moved.
    void updateSecondaries(Secondaries &secondaries, const QByteArray *old, const QByteArray *rec);
    quint16 blockHolding(const QByteArray &rec);
    void rebuildSecondaries();
    void finishKeyedChange(Secondaries *secondaries = nullptr);
    // A keyed change that fails half-way leaves the files to be completed at the
    // next open (the marker stays set); until then this table takes no changes.
    struct KeyedChange {
        explicit KeyedChange(PxTable *table) : table(table) {}
        ~KeyedChange()
        {
            if (table->m_changeUnderWay)
                table->changeFailed();
        }
        PxTable *table;
    };
    void changeFailed();
    bool m_changeUnderWay = false;
    void repairInterruptedChange();

    QString m_tableName;
    QVector<FieldDef> m_defs;
    TextCodec m_codec;
    QString m_codePageName;

    QString m_structureFault;         // the list and the header disagree

    QString m_blobPath;
    std::unique_ptr<BlobFile> m_blob;
    bool m_hasBlobFields = false;
    bool m_writable = false;

    RowId m_movedFrom = -1; // the last update moved this row to m_movedTo
    RowId m_movedTo = -1;
    QString m_primaryFile;
    QStringList m_secondaryFiles;
    QStringList m_maintainedFiles; // secondary indexes with a .Ynn (or unreadable ones)
    struct Maintained {
        QString xPath, yPath;
    };
    std::vector<Maintained> m_maintained;
    QString m_repairFault; // a cut-off change that could not be completed
    QVector<IndexDef> m_indexDefs;
    QVector<QStringList> m_indexFields; // fields of each definition
    QStringList m_indexFaults;
    QString m_readOnlyReason;
    PxChecks m_checks;     // from the .VAL file, if there is one
    QString m_checksFile;

};

} // namespace engine::paradox
