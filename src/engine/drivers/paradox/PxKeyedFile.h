#pragma once
// A Paradox file of records in blocks, kept in key order when it has a key: a
// table's .DB, and a secondary index's .Xnn, which has the same layout (the
// indexed fields, the table's key, the block hint). Both are changed by the same
// code: a record goes to its key's place, a full block splits, an emptied block
// leaves the chain, and the file's own index (.PX or .Ynn) is rebuilt in memory
// from the block list and written where it differs.
#include "EngineError.h"
#include "PxCollation.h"
#include "PxFormat.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

namespace engine::paradox {

class PxKeyedFile {
public:
    virtual ~PxKeyedFile() = default;

    struct BlockRef {
        quint16 number = 0;
        int count = 0;
        qint64 firstRow = 0;
        QByteArray firstKey; // key bytes of the first record (keyed files)
    };

    static RowId rowId(quint16 block, int slot) { return (RowId(block) << 16) | slot; }
    static quint16 blockOf(RowId row) { return quint16(row >> 16); }
    static int slotOf(RowId row) { return int(row & 0xFFFF); }

    // The image of a keyed file holding sortedRecords (in key order), its blocks
    // filled one after the other, behind the header's first headerSize bytes (the
    // counts and block pointers set); the block list is taken over.
    QByteArray fileImage(const QByteArray &header, const std::vector<QByteArray> &sortedRecords, int perBlock = 0);
    // Writes a keyed file (.DB or .Xnn) of sortedRecords, perBlock to a block (0:
    // full blocks), and its index (.PX or .Ynn), each behind a template header
    // whose counts are set here: for files made in one go.
    static void writeSorted(const QString &path, const QByteArray &header, const QString &indexPath,
                            const QByteArray &indexHeader, const std::vector<QByteArray> &sortedRecords, int perBlock = 0);
    // The image of the file's index (.PX or .Ynn) over the current block list,
    // behind the given index header (its block size and fields kept).
    QByteArray primaryIndexImage(const QByteArray &oldHeader) const;

protected:
    bool keyed() const { return m_h.keyFields > 0; }
    QByteArray keyOf(const char *rec) const { return QByteArray(rec, m_keySize); }
    // The key fields' places, for a comparison field by field under the collation.
    void setKeyLayout();
    // -1, 0, 1 or PxCollation::Unsure for the keys of two records.
    int compareKeys(const char *a, const char *b) const;

    const char *blockData(quint16 number);
    QByteArray readBlockDirect(quint16 number) const;
    void invalidateCache();
    void reindexBlocks();
    void writeHeaderBlocks();

    // Where key belongs: the block (index in m_blocks), its slot and whether a record has that key.
    struct KeyPlace {
        int block = 0;
        int slot = 0;
        bool exists = false;
    };
    KeyPlace findKey(const QByteArray &key);
    // The place of the record with exactly these key bytes; exists false when there is none.
    KeyPlace findExact(const QByteArray &key);
    // Whether a new key at place sorts with certainty between its neighbours.
    bool placeIsSure(const KeyPlace &place, const QByteArray &key);
    // The key bytes of the record before or at a place (across blocks); empty at the ends.
    QByteArray keyBefore(const KeyPlace &place);
    QByteArray keyAt(const KeyPlace &place);

    RowId insertKeyed(const QByteArray &rec);
    void removeSlot(quint16 number, int slot);
    // Rewrites a record in place (same key).
    void rewriteSlot(quint16 number, int slot, const QByteArray &rec);
    // With sync false the caller syncs the index file (io::syncDataTogether) before relying on it.
    void writePrimaryIndex(bool sync = true);
    // Thrown by insertKeyed for a key that is already there.
    virtual EngineError duplicateKey(const QByteArray &rec);

    int m_fd = -1;
    QString m_path;
    PxHeader m_h;
    PxCollation m_collation;
    int m_keySize = 0;
    struct KeyPart {
        int offset = 0;
        int size = 0;
        bool text = false;
    };
    std::vector<KeyPart> m_keyParts;

    std::vector<BlockRef> m_blocks; // in list order
    std::vector<int> m_blockIndex;  // block number -> index in m_blocks, -1 if not in the list
    qint64 m_rowCount = 0;
    QString m_primaryPath;          // the .PX or .Ynn
    quint16 m_indexFiller = 0x8000; // the third word of an index entry, as the file has it

    // The last insertKeyed split a block: the records it moved into the new block.
    quint16 m_splitInto = 0;
    std::vector<QByteArray> m_splitRecords;

    struct CacheSlot {
        quint16 block = 0;
        quint64 lastUse = 0;
        QByteArray data;
    };
    std::array<CacheSlot, 8> m_cache;
    quint64 m_useCounter = 0;
};

} // namespace engine::paradox
