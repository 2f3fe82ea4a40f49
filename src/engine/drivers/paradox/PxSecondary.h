#pragma once
// A maintained secondary index of a keyed table: NAME.Xnn (or .XGn) is itself a
// keyed Paradox file whose records are the indexed fields, then the table's key,
// then a short "hint", the table block holding the record; its key is all but the
// hint, so entries order by the indexed values and then the table's key. NAME.Ynn
// is the .Xnn's index, laid out as a .PX over the .Xnn's blocks. Entries are
// inserted and removed with the table's own block code (PxKeyedFile), under the
// table's lock, reading the files as they are on the disk at each change.
#include "PxKeyedFile.h"

#include <memory>

namespace engine::paradox {

class PxSecondaryFile final : public PxKeyedFile {
public:
    // Opens the pair and checks that its fields fit the table (table header h).
    // With loadBlocks the .Xnn's block list is read from the .Ynn, ready for
    // changes; throws EngineError with a German message naming the file.
    static std::unique_ptr<PxSecondaryFile> open(const QString &xPath, const QString &yPath, const PxHeader &h,
                                                  const PxCollation &collation, bool writable, bool loadBlocks);
    ~PxSecondaryFile() override;

    QString fileName() const;
    quint32 entryCount() const { return m_h.numRecords; }
    // Refuses an index whose entry count is not the table's record count.
    void checkCount(quint32 tableRecords) const;
    // The entry of a table record that stands in table block `block`.
    QByteArray entryFor(const char *tableRecord, quint16 block) const;
    // Whether two table records have the same entry (hint aside).
    bool sameEntry(const char *a, const char *b) const;

    // Before anything is written: a new entry's place must be certain, an old entry must be there.
    void checkInsert(const QByteArray &entry);
    void checkRemove(const QByteArray &entry);

    void insert(const QByteArray &entry);
    void remove(const QByteArray &entry);
    // The entry with entry's key gets entry's hint.
    void setHint(const QByteArray &entry);
    // The block pointers and record count in the header, then the .Ynn written;
    // both synced, or with sync false left to the caller (files()).
    void finish(bool sync = true);
    std::vector<std::pair<int, QString>> files() const { return {{m_fd, m_path}, {-1, m_primaryPath}}; }
    // Writes both files anew beside the old ones from every entry of the table
    // (block hints set), for a change that was cut off; throws when the order of
    // two entries cannot be told with certainty.
    void rebuild(std::vector<QByteArray> entries);

private:
    PxSecondaryFile() = default;
    void loadBlocksFromIndex();
    void checkBlock(const KeyPlace &place);
    EngineError unsure(const QByteArray &entry) const;

    struct Source {
        int tableOffset = 0;
        int size = 0;
    };
    std::vector<Source> m_sources; // one per field before the hint
    int m_hintOffset = 0;
    int m_ownFields = 0; // indexed fields before the table's key
    QString m_tableName;
};

} // namespace engine::paradox
