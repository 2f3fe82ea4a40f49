#pragma once
// Keeping a table's index files in step with its records. The keys of every
// tag are computed from the records with the tag's own key expression and kept
// in memory in sorted order; after a change the whole index file is written
// anew beside the old one and renamed into place. Keys are held in a form that
// sorts with memcmp (character keys as stored, numbers and dates as FoxPro's
// sortable 8-byte doubles) and turned into each format's own encoding when
// written (dBASE III doubles, dBASE IV BCD numbers).
#include "DbfExpression.h"
#include "DbfIndex.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace engine {
class TextCodec;
}

namespace engine::dbase {

class PageFile;

// How keys of one tag are kept in memory and written.
enum class KeyEncoding : quint8 {
    Text,       // character keys, padded with blanks
    NdxNumber,  // dBASE III: 8-byte little-endian double (dates as day numbers)
    MdxNumber,  // dBASE IV: 12-byte BCD number
    MdxDate,    // dBASE IV: 8-byte little-endian double day number
    FoxNumber,  // FoxPro: 8-byte big-endian double, sign bit flipped (negatives inverted)
    FoxInteger, // FoxPro: 4-byte big-endian integer, sign bit flipped
    FoxLogical, // FoxPro: 'T' or 'F'
};

// FoxPro's sortable 8-byte form of a double, and back.
QByteArray sortableDouble(double value);
double fromSortableDouble(const char *p);
// dBASE IV's 12-byte BCD number key.
QByteArray mdxNumber(double value);

// One tag: its definition, its expressions and its sorted keys.
struct KeptTag {
    IndexTagInfo info;
    std::unique_ptr<XExpression> key;
    std::unique_ptr<XExpression> condition;
    KeyEncoding encoding = KeyEncoding::Text;
    bool nullPrefix = false;   // Visual FoxPro: a key over null-capable fields starts with 0x80 (0 for null)
    int sortLength = 0;        // bytes of one key in memory, the null prefix included
    std::vector<char> keys;    // sortLength bytes per entry, sorted with their records
    std::vector<quint32> records;

    qsizetype size() const { return qsizetype(records.size()); }
    const char *keyAt(qsizetype i) const { return keys.data() + i * sortLength; }
    // The key as the file stores it.
    QByteArray stored(qsizetype i) const;
    QByteArray storedForm(const char *sortKey) const;
    // Orders two keys in the file's stored form as the sorted keys are ordered.
    int compareStored(const char *a, const char *b) const;
};

// One index file kept in step with the table.
struct KeptFile {
    QString path;
    IndexFormat format = IndexFormat::Ndx;
    QByteArray header;    // the original file's header bytes, kept where the rebuild does not set them
    std::vector<QByteArray> tagHeaders; // the original tag headers (.mdx, .cdx)
    int blockSize = 512;  // .mdx node size
    std::vector<std::unique_ptr<KeptTag>> tags;
};

class IndexKeeper {
public:
    using RecordSource = std::function<const char *(qint64 record)>; // 0-based; nullptr past the end
    using RecordView = std::function<XValue(const char *rec, int field)>;

    // Takes the definitions of the open index files; throws EngineError naming
    // the file, tag and expression when a file cannot be kept valid.
    IndexKeeper(const std::vector<std::unique_ptr<IndexFile>> &files, const QStringList &fieldNames,
                const TextCodec &codec, RecordView view, QByteArray blankRecord);
    ~IndexKeeper();
    // Which fields may hold null (Visual FoxPro); their keys carry a null prefix.
    void setNullableFields(std::vector<bool> nullable) { m_nullable = std::move(nullable); }
    // Forgets the keys; the next change computes them again from the records.
    void reset();

    bool built() const { return m_built; }
    // Learns from the first record (or a blank one) how each tag's keys are stored.
    void learnTypes(const RecordSource &source);

    // One tag's key of a record before and after a change.
    struct KeyMove {
        size_t file = 0, tag = 0;
        QByteArray before, after; // stored form; empty when the record has no key
    };
    // The keys a change of one record moves (old nullptr: it is new). Computes
    // everything first, so a key that cannot be computed stops the change before
    // anything is written.
    std::vector<KeyMove> plan(quint32 record, const char *oldRec, const char *newRec) const;
    // Works out the pages the moves change in the index files as they are now;
    // records(r) gives record r (0-based) of count for unique tags that need
    // another record with a removed key. Nothing is written: the files hold the
    // pages to write (PageFile::flush).
    std::vector<std::unique_ptr<PageFile>> apply(quint32 record, const std::vector<KeyMove> &moves, qint64 count,
                                                 const RecordSource &records) const;
    qint64 records() const { return m_records; }
    // Computes the keys of records [m_records, count) and adds them.
    void addRecords(qint64 count, const RecordSource &source);
    // One record changes (old nullptr: it is new; the records are whole records
    // with their deletion flag).
    void change(quint32 record, const char *oldRec, const char *newRec);

    // The entries a fresh build of one tag holds, in stored order (after addRecords).
    std::vector<IndexEntry> freshEntries(size_t file, size_t tag) const;

    // Writes every file beside its final name (fsynced); returns the temporary paths.
    QStringList writeBeside() const;
    // Renames the temporary files into place; throws on the first failure.
    void commit(const QStringList &temporary) const;
    static void discard(const QStringList &temporary);
    // Writes every file beside and renames it in; the files beside go on failure.
    void replaceFiles() const;

    const std::vector<std::unique_ptr<KeptFile>> &files() const { return m_files; }

    // Adds a tag with this key expression to file number file (a new file when
    // file equals files().size(): a production .mdx or .cdx named path), taking
    // the key's type and length from the first record (or a blank one). The
    // caller then builds the files with addRecords() and writeBeside().
    void addTag(size_t file, const QString &path, IndexFormat format, const QString &name, const QString &expression,
                const QStringList &fieldNames, const RecordSource &source, const QString &tableName);

    // Writes a new single-tag .ndx for a table (tests and benchmarks build their
    // own index files with it).
    static void createNdx(const QString &path, const QString &expression, bool unique, const QStringList &fieldNames,
                          const TextCodec &codec, RecordView view, qint64 count, const RecordSource &source);

private:
    QByteArray keyOf(const KeptTag &tag, const char *rec, quint32 record, bool *present) const;
    QByteArray payloadOf(const KeptTag &tag, const XValue &v, int length) const;
    static void insert(KeptTag &tag, const QByteArray &key, quint32 record);
    static void erase(KeptTag &tag, const QByteArray &key, quint32 record);

    std::vector<std::unique_ptr<KeptFile>> m_files;
    const TextCodec &m_codec;
    RecordView m_view;
    QByteArray m_blank;
    std::vector<bool> m_nullable;
    bool m_built = false;
    bool m_typesKnown = false;
    qint64 m_records = 0;
};

// Writers for a whole file (from the kept keys).
QByteArray buildNdx(const KeptFile &file);
QByteArray buildMdx(const KeptFile &file);
QByteArray buildFoxPro(const KeptFile &file);

} // namespace engine::dbase
