#pragma once
// Changing one tag of an index file in place: the B-tree is read page by page
// from the file as it is now, a key is inserted (pages split when full, a new
// root when the root splits) or removed (emptied pages unlinked), and only the
// pages that changed are written back. Pages emptied by removals are chained
// as free and taken again by later splits. The page layouts of dBASE III .ndx,
// dBASE IV .mdx and FoxPro .cdx/.idx are kept apart in IndexPages classes; the
// tree logic is the same for all of them.
#include "DbfIndex.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace engine::dbase {

// One entry of a node. Leaves: key and record. Branches: the child and the
// highest key below it; a dBASE branch's last child has no key (hasKey false).
struct TreeItem {
    QByteArray key;
    quint32 record = 0;
    qint64 child = 0; // byte offset of the child node
    bool hasKey = true;
};

struct TreeNode {
    qint64 at = 0; // byte offset in the file
    bool leaf = true;
    bool root = false;
    quint16 attributes = 0;        // FoxPro node attributes beyond root and leaf
    qint64 left = -1, right = -1;  // FoxPro siblings (byte offsets, -1 none)
    std::vector<TreeItem> items;
};

// One index file's pages as a change sees them: reads come from the file with
// the change's own writes laid over them; the writes reach the file only at
// flush(), so the pages to be overwritten are known before any is.
class PageFile {
public:
    explicit PageFile(const QString &path);
    ~PageFile();
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;

    QString path() const { return m_path; }
    int fd() const { return m_fd; }
    QByteArray read(qint64 at, qint64 size) const;
    void write(qint64 at, const char *data, qint64 size);
    qint64 size() const;
    // The writes waiting, in order: offset and bytes.
    const std::vector<std::pair<qint64, QByteArray>> &pending() const { return m_pending; }
    void flush();

private:
    QString m_path;
    int m_fd = -1;
    qint64 m_size = 0;
    std::vector<std::pair<qint64, QByteArray>> m_pending;
};

// The page layout of one tag of one index file.
class IndexPages {
public:
    virtual ~IndexPages() = default;
    virtual qint64 root() = 0;
    virtual void setRoot(qint64 at) = 0;
    virtual TreeNode read(qint64 at) = 0;
    virtual void write(const TreeNode &node) = 0;
    virtual bool fits(const TreeNode &node) const = 0;
    // A page for a new node: a freed one first, else one at the end of the file.
    virtual qint64 allocate() = 0;
    // Gives back the page of a node that left the tree, for a later allocate().
    virtual void release(qint64 at) = 0;
    // Whether branches carry a key for their last child and keep siblings (FoxPro).
    virtual bool foxLayout() const = 0;
    // Makes every counter in the file's headers fit the pages written.
    virtual void finish() {}

    // The page layout of tag number tag of file, read and written through store.
    static std::unique_ptr<IndexPages> forTag(PageFile &store, const IndexFile &file, int tag, bool textKeys);
};

// Orders stored keys of one tag: memcmp, or the numbers dBASE stores decoded.
using KeyCompare = std::function<int(const char *, const char *)>;

class IndexTree {
public:
    IndexTree(IndexPages &pages, int keyLength, KeyCompare compare, bool descending);

    // Inserts key/record where it belongs; nothing when it is there already.
    void insert(const QByteArray &key, quint32 record);
    // Removes key/record; false when the tree does not hold it.
    bool remove(const QByteArray &key, quint32 record);
    // The record of the first entry with this key, if any.
    std::optional<quint32> firstWithKey(const QByteArray &key);
    // Removes record under any key (a slow walk, for keys computed differently before).
    bool removeRecordAnywhere(quint32 record);

private:
    struct Step {
        TreeNode node;
        size_t index = 0;
    };
    using Path = std::vector<Step>;

    int order(const QByteArray &a, quint32 ra, const QByteArray &b, quint32 rb) const;
    int orderKeys(const QByteArray &a, const QByteArray &b) const;
    Path locate(const QByteArray &key, quint32 record);
    void descendLeftmost(Path &path);
    // The record of the last entry below the child the path's last step names.
    quint32 lastRecord(Path &path);
    bool nextLeaf(Path &path);
    // Moves a place past a leaf's last entry to the next leaf's first; false when none follows.
    bool entryAt(Path &path);
    void store(Path &path);
    void storeAfterRemoval(Path &path);
    // Mends the dBASE branch at level left with one child, with a neighbour under
    // the same parent: merged into it (true: the parent lost an entry) or given a
    // child of it (false: done).
    bool mendLoneChild(Path &path, size_t level);
    // A FoxPro branch holds the last key of each child: the parent's entry for the
    // node at level follows it; false when it did already.
    bool raiseLastKey(Path &path, size_t level);
    // Points one side (left or right) of the FoxPro node at at to another node.
    void relink(qint64 at, qint64 TreeNode::*side, qint64 to);
    TreeNode readChecked(qint64 at, const Path &path);

    IndexPages &m_pages;
    int m_keyLength;
    KeyCompare m_compare;
    bool m_descending;
};

} // namespace engine::dbase
