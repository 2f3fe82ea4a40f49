#pragma once
// Readers for the index files that accompany dBASE and FoxPro tables: dBASE III
// .ndx, dBASE IV/5 production .mdx, FoxPro compound .cdx (and the .dcx of a
// database container) and single .idx, compact or not. Opening reads only the
// headers and tag definitions; a tag's keys are read when asked for, by walking
// its B-tree from the root down to the leaves, left to right. Every offset and
// count taken from the file is checked first, and no page is visited twice, so a
// damaged file ends in an EngineError naming it, never a crash or an endless walk.
#include "Driver.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <functional>
#include <vector>

namespace engine::dbase {

enum class IndexFormat { Ndx, Mdx, Cdx, Idx, CompactIdx };

// One index as its file describes it (a tag of an .mdx/.cdx, or a whole .ndx/.idx).
struct IndexTagInfo {
    QString name;           // the tag name; for .ndx/.idx the file's base name
    QString keyExpression;
    QString forExpression;  // empty when every record has a key
    char keyType = 0;       // 'C', 'N', 'D' where the format says; 0 when it does not
    int keyLength = 0;
    int entryLength = 0;    // bytes of one stored entry where fixed (.ndx, .mdx, .idx)
    bool unique = false;
    bool descending = false;
    bool candidate = false; // FoxPro candidate key (unique, a table's primary key)
    qint64 header = 0;      // byte offset of the tag header
    qint64 root = 0;        // byte offset of the root node
};

// One key of a leaf: the key bytes as stored and its 1-based record number.
struct IndexEntry {
    QByteArray key;
    quint32 record = 0;
};

class IndexFile {
public:
    // Reads the header and the tag definitions; throws EngineError when the
    // file cannot be read or its header is damaged.
    static std::unique_ptr<IndexFile> open(const QString &path);
    ~IndexFile();
    IndexFile(const IndexFile &) = delete;
    IndexFile &operator=(const IndexFile &) = delete;

    QString path() const { return m_path; }
    QString fileName() const;
    IndexFormat format() const { return m_format; }
    const QVector<IndexTagInfo> &tags() const { return m_tags; }

    // The keys of one tag in stored order (descending tags as stored).
    std::vector<IndexEntry> entries(int tag) const;
    QVector<quint32> recordNumbers(int tag) const;

    // Whether a file name has one of the extensions read here.
    static bool isIndexFileName(const QString &fileName);

private:
    IndexFile() = default;
    QByteArray read(qint64 offset, qint64 size, const char *what) const;
    [[noreturn]] void fail(const QString &fault) const;

    void openNdx();
    void openMdx();
    void openFoxPro();
    IndexTagInfo foxTagHeader(qint64 offset, const QString &name) const;

    // Walks a tree of pages of pageSize bytes from root, each page read whole and
    // handed to visit with its key count (the page's first four bytes); visit
    // pushes the pages below it. A page reached twice (a cycle in the page
    // pointers) or naming more than maxKeys keys is refused.
    using PageVisit = std::function<void(qint64 at, const char *page, quint32 keys, std::vector<qint64> &below)>;
    void walkTree(qint64 root, qint64 pageSize, qint64 maxKeys, const PageVisit &visit) const;
    // The keys of a leaf: count entries of entryLength bytes, each with its record
    // number at recordAt and its key at keyAt; at names the page in messages.
    void takeLeafKeys(const char *entries, int entryLength, int recordAt, int keyAt, quint32 count,
                      int keyLength, qint64 at, std::vector<IndexEntry> &out, bool withKeys) const;
    // The leaves' entries in key order; without keys only their record numbers are
    // filled in (an order needs no key, and a key each is an allocation each).
    std::vector<IndexEntry> walk(int tag, bool keys) const;
    void walkNdx(const IndexTagInfo &tag, std::vector<IndexEntry> &out, bool withKeys) const;
    void walkMdx(const IndexTagInfo &tag, std::vector<IndexEntry> &out, bool withKeys) const;
    void walkFoxPro(const IndexTagInfo &tag, bool compact, std::vector<IndexEntry> &out, bool withKeys) const;

    int m_fd = -1;
    QString m_path;
    qint64 m_size = 0;
    IndexFormat m_format = IndexFormat::Ndx;
    int m_blockSize = 512;
    QVector<IndexTagInfo> m_tags;
};

// The definition a table shows for a tag: a key that is one of the table's
// fields (any case) is shown as that field's name, anything else as an expression.
IndexDef makeIndexDef(const IndexTagInfo &tag, const QString &sourceFile, const QStringList &fieldNames);

} // namespace engine::dbase
