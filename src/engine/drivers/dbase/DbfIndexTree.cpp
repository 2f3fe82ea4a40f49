// B-tree changes in place for dBASE and FoxPro index files; the page layouts
// are those described in docs/formats/dbase-indexes.md.
#include "DbfIndexTree.h"

#include "DbfCompactLeaf.h"

#include "common/FileIo.h"
#include "EngineError.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr qint64 Page = 512;
constexpr size_t MaxDepth = 64;

[[noreturn]] void damaged(const QString &path, const QString &fault)
{
    throw damagedFile(path, fault);
}

// ---- pages freed by removals ---------------------------------------------------------

// Pages that left a tree are chained from a word of the file's header, so that
// later splits take them before the file grows. A freed page holds the link to
// the next one twice (at 0 and at 4, where readers of either habit look), then
// a mark, then zeros. A head that does not lead to such a page (a chain another
// program keeps its own way, or one a rebuild left stale) is not followed: new
// pages then go to the end of the file, and nothing live is overwritten.
class FreeChain {
public:
    // headAt: the header word naming the first free page, in units of unit bytes;
    // countAt: a header word counting the free pages (-1 when the format has none).
    FreeChain(PageFile &store, qint64 headAt, qint64 countAt, qint64 unit, qint64 pageSize, qint64 lowest)
        : m_store(store), m_headAt(headAt), m_countAt(countAt), m_unit(unit), m_pageSize(pageSize), m_lowest(lowest)
    {
    }

    std::optional<qint64> take()
    {
        const QByteArray head = m_store.read(m_headAt, 4);
        const quint32 link = le32(head.constData());
        if (link == 0 || link == 0xFFFFFFFFu)
            return std::nullopt;
        const qint64 at = qint64(link) * m_unit;
        if (at < m_lowest || at % Page || at + m_pageSize > m_store.size())
            return std::nullopt;
        const QByteArray page = m_store.read(at, m_pageSize);
        const char *p = page.constData();
        if (memcmp(p, p + 4, 4) != 0 || memcmp(p + 8, Mark, sizeof Mark) != 0
            || std::any_of(p + 16, p + m_pageSize, [](char c) { return c != 0; }))
            return std::nullopt;
        m_store.write(m_headAt, p, 4);
        adjustCount(-1);
        return at;
    }

    void give(qint64 at)
    {
        QByteArray page(m_pageSize, '\0');
        const QByteArray head = m_store.read(m_headAt, 4);
        memcpy(page.data(), head.constData(), 4);
        memcpy(page.data() + 4, head.constData(), 4);
        memcpy(page.data() + 8, Mark, sizeof Mark);
        m_store.write(at, page.constData(), m_pageSize);
        char link[4];
        putLe32(link, quint32(at / m_unit));
        m_store.write(m_headAt, link, 4);
        adjustCount(+1);
    }

private:
    static constexpr char Mark[8] = {'F', 'R', 'E', 'E', 'P', 'A', 'G', 'E'};

    void adjustCount(int by)
    {
        if (m_countAt < 0)
            return;
        char word[4];
        const quint32 n = le32(m_store.read(m_countAt, 4).constData());
        if (by < 0 && n == 0)
            return;
        putLe32(word, n + quint32(by));
        m_store.write(m_countAt, word, 4);
    }

    PageFile &m_store;
    qint64 m_headAt, m_countAt, m_unit, m_pageSize, m_lowest;
};

// ---- dBASE .ndx and .mdx: a node is a key count, then entries of pointers and
// key; a branch has one child more than keys, in the slot after its last key.

// Where one dBASE format keeps each part of a node and of its headers.
struct DbaseShape {
    qint64 block = Page;      // bytes of one node
    int first = 4;            // offset of the first entry in a node
    int entry = 0;            // bytes of one entry
    int keyAt = 8;            // the key within an entry (the child pointer is at 0)
    int recordAt = 4;         // a leaf's record number within an entry
    int keyLength = 0;
    int maxKeys = 0;
    bool leafByFirstChild = true; // .ndx: a leaf's first child is 0; .mdx: the slot after its keys is
    qint64 rootAt = 0;        // the root's page number
    qint64 pagesAt = 4;       // the count of 512-byte pages (.ndx: blocks) the file holds
    qint64 freeAt = 8, freeCountAt = -1;
};

// dBASE III .ndx: 512-byte blocks, entries of child block, record, key. The
// format keeps no free list; its reserved header word at 8 heads the chain.
DbaseShape ndxShape(PageFile &store, const IndexFile &file)
{
    const IndexTagInfo &tag = file.tags().front();
    DbaseShape s;
    s.keyLength = tag.keyLength;
    s.entry = tag.entryLength;
    s.maxKeys = int((Page - 4) / s.entry);
    const int stored = le16(store.read(14, 2).constData());
    if (stored > 0)
        s.maxKeys = std::min(s.maxKeys, stored);
    return s;
}

// dBASE IV .mdx: nodes of one block (several 512-byte pages) addressed by page
// number; entries of pointer and key, a leaf's slot after its keys is 0. The
// file header counts its pages at 32 and chains free blocks from 36, counted at 40.
DbaseShape mdxShape(PageFile &store, const IndexFile &file, int tag)
{
    const QString path = file.path();
    DbaseShape s;
    s.block = le16(store.read(22, 2).constData());
    if (s.block < Page || s.block % Page)
        damaged(path, QStringLiteral("die Blockgröße %1 ist ungültig").arg(s.block));
    const IndexTagInfo &info = file.tags().at(tag);
    s.first = 8;
    s.keyAt = 4;
    s.recordAt = 0;
    s.keyLength = info.keyLength;
    s.entry = info.entryLength;
    s.maxKeys = int((s.block - 8) / s.entry);
    const int stored = le16(store.read(info.header + 14, 2).constData());
    if (stored > 0)
        s.maxKeys = std::min(s.maxKeys, stored);
    s.leafByFirstChild = false;
    s.rootAt = info.header;
    s.pagesAt = 32;
    s.freeAt = 36;
    s.freeCountAt = 40;
    return s;
}

class DbasePages final : public IndexPages {
public:
    DbasePages(PageFile &store, const QString &path, const DbaseShape &shape)
        : m_store(store), m_path(path), m_s(shape), m_free(store, shape.freeAt, shape.freeCountAt, Page, shape.block, Page)
    {
        m_root = le32(m_store.read(m_s.rootAt, 4).constData());
        m_pages = std::max<qint64>(le32(m_store.read(m_s.pagesAt, 4).constData()), (m_store.size() + Page - 1) / Page);
    }
    qint64 root() override { return qint64(m_root) * Page; }
    void setRoot(qint64 at) override
    {
        m_root = quint32(at / Page);
        m_rootDirty = true;
    }
    TreeNode read(qint64 at) override
    {
        const QByteArray page = m_store.read(at, m_s.block);
        const char *p = page.constData();
        TreeNode node;
        node.at = at;
        const quint32 count = le32(p);
        if (count > quint32(m_s.maxKeys))
            damaged(m_path, QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel").arg(at).arg(count));
        const qint64 last = m_s.first + qint64(count) * m_s.entry;
        if (m_s.leafByFirstChild) {
            node.leaf = le32(p + m_s.first) == 0;
            if (!node.leaf && last + 4 > m_s.block)
                damaged(m_path, QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel").arg(at).arg(count));
        } else {
            node.leaf = last + 4 > m_s.block || le32(p + last) == 0;
        }
        for (quint32 i = 0; i < count; ++i) {
            const char *e = p + m_s.first + qint64(i) * m_s.entry;
            TreeItem item;
            item.key = QByteArray(e + m_s.keyAt, m_s.keyLength);
            if (node.leaf)
                item.record = le32(e + m_s.recordAt);
            else
                item.child = qint64(le32(e)) * Page;
            node.items.push_back(std::move(item));
        }
        if (!node.leaf) {
            TreeItem tail;
            tail.child = qint64(le32(p + last)) * Page;
            tail.hasKey = false;
            node.items.push_back(tail);
        }
        return node;
    }
    void write(const TreeNode &node) override
    {
        QByteArray page(m_s.block, '\0');
        char *p = page.data();
        const size_t n = node.items.size();
        putLe32(p, quint32(node.leaf ? n : n - 1));
        for (size_t i = 0; i < n; ++i) {
            char *e = p + m_s.first + qint64(i) * m_s.entry;
            const TreeItem &item = node.items[i];
            if (node.leaf) {
                putLe32(e + m_s.recordAt, item.record);
            } else {
                putLe32(e, quint32(item.child / Page));
                if (i + 1 == n)
                    break; // the last child carries no key
            }
            memcpy(e + m_s.keyAt, item.key.constData(), size_t(m_s.keyLength));
        }
        m_store.write(node.at, p, m_s.block);
    }
    bool fits(const TreeNode &node) const override
    {
        const qint64 n = qint64(node.items.size());
        return node.leaf ? n <= m_s.maxKeys : (n - 1 <= m_s.maxKeys && m_s.first + (n - 1) * m_s.entry + 4 <= m_s.block);
    }
    qint64 allocate() override
    {
        if (const std::optional<qint64> reused = m_free.take())
            return *reused;
        const qint64 at = m_pages * Page;
        m_pages += m_s.block / Page;
        m_pagesDirty = true;
        return at;
    }
    void release(qint64 at) override { m_free.give(at); }
    bool foxLayout() const override { return false; }
    void finish() override
    {
        char word[4];
        if (m_rootDirty) {
            putLe32(word, m_root);
            m_store.write(m_s.rootAt, word, 4);
        }
        if (m_pagesDirty) {
            putLe32(word, quint32(m_pages));
            m_store.write(m_s.pagesAt, word, 4);
        }
        m_rootDirty = m_pagesDirty = false;
    }

private:
    PageFile &m_store;
    QString m_path;
    DbaseShape m_s;
    FreeChain m_free;
    quint32 m_root = 0;
    qint64 m_pages = 0;
    bool m_rootDirty = false, m_pagesDirty = false;
};

// ---- FoxPro .cdx/.idx: 512-byte nodes addressed by byte offset, siblings
// linked; compact leaves store keys without the bytes shared with the key
// before and without trailing blanks.

class FoxPages final : public IndexPages {
public:
    // The free node list is the file's: at 4 of its first header (a compound
    // file's tags share its nodes).
    FoxPages(PageFile &store, const IndexFile &file, int tag, bool textKeys)
        : m_store(store), m_path(file.path()), m_text(textKeys),
          m_free(store, 4, -1, 1, Page, file.format() == IndexFormat::Idx ? Page : 2 * Page)
    {
        const IndexTagInfo &info = file.tags().at(tag);
        m_tagHeader = file.format() == IndexFormat::Cdx ? info.header : 0;
        m_compact = file.format() != IndexFormat::Idx;
        m_keyLength = info.keyLength;
        m_head = m_store.read(m_tagHeader, 8);
        m_end = (m_store.size() + Page - 1) / Page * Page;
    }
    qint64 root() override { return qint64(le32(m_head.constData())); }
    void setRoot(qint64 at) override
    {
        putLe32(m_head.data(), quint32(at));
        m_rootDirty = true;
    }
    TreeNode read(qint64 at) override
    {
        if (at < Page || at % Page)
            damaged(m_path, QStringLiteral("ein Seitenverweis zeigt auf Byte %1").arg(at));
        const QByteArray page = m_store.read(at, Page);
        const char *p = page.constData();
        TreeNode node;
        node.at = at;
        const quint16 attributes = le16(p);
        node.leaf = attributes & 2;
        node.root = attributes & 1;
        node.attributes = quint16(attributes & ~3);
        node.left = qint32(le32(p + 4));
        node.right = qint32(le32(p + 8));
        const int count = le16(p + 2);
        if (!node.leaf || !m_compact) {
            const int entry = m_keyLength + (m_compact ? 8 : 4);
            if (12 + qint64(count) * entry > Page)
                damaged(m_path, QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel").arg(at).arg(count));
            for (int i = 0; i < count; ++i) {
                const char *e = p + 12 + qint64(i) * entry;
                TreeItem item;
                item.key = QByteArray(e, m_keyLength);
                if (node.leaf)
                    item.record = be32(e + m_keyLength);
                else if (m_compact) {
                    item.record = be32(e + m_keyLength);
                    item.child = be32(e + m_keyLength + 4);
                } else {
                    item.child = be32(e + m_keyLength);
                }
                node.items.push_back(std::move(item));
            }
            return node;
        }
        const quint32 recordMask = le32(p + 14);
        const quint8 duplicateMask = quint8(p[18]);
        const quint8 trailMask = quint8(p[19]);
        const int recordBits = quint8(p[20]);
        const int duplicateBits = quint8(p[21]);
        const int infoBytes = quint8(p[23]);
        if (infoBytes < 1 || infoBytes > 8 || recordBits > 32 || duplicateBits > 8 || 24 + qint64(count) * infoBytes > Page)
            damaged(m_path, QStringLiteral("die Blattseite bei Byte %1 ist ungültig").arg(at));
        qint64 keyEnd = Page;
        QByteArray previous;
        for (int i = 0; i < count; ++i) {
            quint64 info = 0;
            for (int b = infoBytes - 1; b >= 0; --b)
                info = (info << 8) | quint8(p[24 + qint64(i) * infoBytes + b]);
            const int duplicates = int((info >> recordBits) & duplicateMask);
            const int trail = int((info >> (recordBits + duplicateBits)) & trailMask);
            const int stored = m_keyLength - duplicates - trail;
            if (stored < 0 || duplicates > previous.size() || keyEnd - stored < 24 + qint64(count) * infoBytes)
                damaged(m_path, QStringLiteral("der %1. Schlüssel der Blattseite bei Byte %2 ist ungültig").arg(i + 1).arg(at));
            keyEnd -= stored;
            TreeItem item;
            item.record = quint32(info & recordMask);
            item.key = previous.left(duplicates);
            item.key.append(p + keyEnd, stored);
            item.key.append(QByteArray(trail, ' '));
            previous = item.key;
            node.items.push_back(std::move(item));
        }
        return node;
    }
    void write(const TreeNode &node) override
    {
        QByteArray page(Page, '\0');
        char *p = page.data();
        putLe16(p, quint16(node.attributes | (node.leaf ? 2 : 0) | (node.root ? 1 : 0)));
        putLe16(p + 2, quint16(node.items.size()));
        putLe32(p + 4, quint32(node.left));
        putLe32(p + 8, quint32(node.right));
        if (!node.leaf || !m_compact) {
            const int entry = m_keyLength + (m_compact ? 8 : 4);
            for (size_t i = 0; i < node.items.size(); ++i) {
                char *e = p + 12 + qint64(i) * entry;
                const TreeItem &item = node.items[i];
                memcpy(e, item.key.constData(), size_t(m_keyLength));
                if (node.leaf) {
                    putBe32(e + m_keyLength, item.record);
                } else if (m_compact) {
                    putBe32(e + m_keyLength, item.record);
                    putBe32(e + m_keyLength + 4, quint32(item.child));
                } else {
                    putBe32(e + m_keyLength, quint32(item.child));
                }
            }
        } else {
            compactLeaf(node, p);
        }
        m_store.write(node.at, p, Page);
    }
    bool fits(const TreeNode &node) const override
    {
        if (!node.leaf || !m_compact)
            return 12 + qint64(node.items.size()) * (m_keyLength + (m_compact ? 8 : 4)) <= Page;
        return compactLeaf(node, nullptr) >= 0;
    }
    qint64 allocate() override
    {
        if (const std::optional<qint64> reused = m_free.take())
            return *reused;
        const qint64 at = m_end;
        m_end += Page;
        return at;
    }
    void release(qint64 at) override { m_free.give(at); }
    bool foxLayout() const override { return true; }
    void finish() override
    {
        if (m_rootDirty)
            m_store.write(m_tagHeader, m_head.constData(), 4);
        m_rootDirty = false;
    }

private:
    // Encodes a compact leaf into p (when given); returns the free bytes, -1 when it does not fit.
    int compactLeaf(const TreeNode &node, char *p) const
    {
        quint32 maxRecord = 1;
        for (const TreeItem &item : node.items)
            maxRecord = std::max(maxRecord, item.record);
        CompactLeafCoder coder(m_keyLength, m_text, maxRecord);
        if (!coder.usable())
            return -1;
        coder.start(p);
        for (const TreeItem &item : node.items) {
            if (!coder.add(item.key.constData(), item.record))
                return -1;
        }
        return coder.finish();
    }

    PageFile &m_store;
    QString m_path;
    bool m_text;
    bool m_compact = true;
    qint64 m_tagHeader = 0, m_end = 0;
    int m_keyLength = 0;
    QByteArray m_head;
    bool m_rootDirty = false;
    FreeChain m_free;
};

} // namespace

std::unique_ptr<IndexPages> IndexPages::forTag(PageFile &store, const IndexFile &file, int tag, bool textKeys)
{
    switch (file.format()) {
    case IndexFormat::Ndx: return std::make_unique<DbasePages>(store, file.path(), ndxShape(store, file));
    case IndexFormat::Mdx: return std::make_unique<DbasePages>(store, file.path(), mdxShape(store, file, tag));
    default: return std::make_unique<FoxPages>(store, file, tag, textKeys);
    }
}

// ---- pages of one file, written later -----------------------------------------------

PageFile::PageFile(const QString &path) : m_path(path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0)
        throw ioError(QStringLiteral("Das Öffnen der Indexdatei"), path, errno);
    m_size = fileSize(m_fd, path);
}

PageFile::~PageFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray PageFile::read(qint64 at, qint64 size) const
{
    QByteArray out(size, '\0');
    const qint64 got = at < m_size ? preadFully(m_fd, out.data(), std::min(size, m_size - at), at, m_path) : 0;
    // Bytes past the file's end count only where a pending write puts them.
    std::vector<bool> known(size_t(size), false);
    std::fill(known.begin(), known.begin() + qsizetype(got), true);
    for (const auto &[offset, bytes] : m_pending) {
        const qint64 from = std::max(at, offset), to = std::min(at + size, offset + qint64(bytes.size()));
        if (from < to) {
            memcpy(out.data() + (from - at), bytes.constData() + (from - offset), size_t(to - from));
            std::fill(known.begin() + qsizetype(from - at), known.begin() + qsizetype(to - at), true);
        }
    }
    if (std::find(known.begin(), known.end(), false) != known.end())
        damaged(m_path, QStringLiteral("die Seite bei Byte %1 liegt hinter dem Dateiende").arg(at));
    return out;
}

void PageFile::write(qint64 at, const char *data, qint64 size)
{
    for (auto &[offset, bytes] : m_pending) {
        if (offset == at && bytes.size() == size) {
            bytes = QByteArray(data, size);
            return;
        }
    }
    m_pending.emplace_back(at, QByteArray(data, size));
}

qint64 PageFile::size() const
{
    qint64 end = m_size;
    for (const auto &[offset, bytes] : m_pending)
        end = std::max(end, offset + qint64(bytes.size()));
    return end;
}

void PageFile::flush()
{
    for (const auto &[offset, bytes] : m_pending)
        pwriteFully(m_fd, bytes.constData(), bytes.size(), offset, m_path);
    m_pending.clear();
    m_size = fileSize(m_fd, m_path);
}

// ---- the tree ---------------------------------------------------------------------

IndexTree::IndexTree(IndexPages &pages, int keyLength, KeyCompare compare, bool descending)
    : m_pages(pages), m_keyLength(keyLength), m_compare(std::move(compare)), m_descending(descending)
{
}

int IndexTree::orderKeys(const QByteArray &a, const QByteArray &b) const
{
    const int c = m_compare(a.constData(), b.constData());
    return m_descending ? -c : c;
}

int IndexTree::order(const QByteArray &a, quint32 ra, const QByteArray &b, quint32 rb) const
{
    int c = m_compare(a.constData(), b.constData());
    if (c == 0)
        c = ra < rb ? -1 : ra > rb ? 1 : 0;
    return m_descending ? -c : c;
}

TreeNode IndexTree::readChecked(qint64 at, const Path &path)
{
    if (path.size() >= MaxDepth)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Der Indexbaum ist tiefer als möglich (Kreis in den Seitenverweisen)."));
    for (const Step &s : path) {
        if (s.node.at == at)
            throw EngineError(ErrorKind::Damaged, QStringLiteral("Eine Indexseite verweist auf sich selbst oder einen Vorgänger (Byte %1).").arg(at));
    }
    TreeNode node = m_pages.read(at);
    node.root = path.empty();
    if (!node.leaf && node.items.empty())
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die innere Indexseite bei Byte %1 ist leer.").arg(at));
    return node;
}

quint32 IndexTree::lastRecord(Path &path)
{
    // Down the last children from the child the path's last step names.
    const size_t depth = path.size();
    TreeNode node = readChecked(path.back().node.items[path.back().index].child, path);
    while (!node.leaf && !node.items.empty()) {
        const qint64 child = node.items.back().child;
        path.push_back({std::move(node), 0});
        node = readChecked(child, path);
    }
    path.resize(depth);
    return node.items.empty() ? 0 : node.items.back().record;
}

void IndexTree::descendLeftmost(Path &path)
{
    while (!path.back().node.leaf) {
        const Step &s = path.back();
        TreeNode child = readChecked(s.node.items[s.index].child, path);
        path.push_back({std::move(child), 0});
    }
}

bool IndexTree::nextLeaf(Path &path)
{
    path.pop_back();
    while (!path.empty()) {
        Step &s = path.back();
        if (s.index + 1 < s.node.items.size()) {
            ++s.index;
            descendLeftmost(path);
            return true;
        }
        path.pop_back();
    }
    return false;
}

IndexTree::Path IndexTree::locate(const QByteArray &key, quint32 record)
{
    Path path;
    qint64 at = m_pages.root();
    for (;;) {
        TreeNode node = readChecked(at, path);
        if (node.leaf) {
            path.push_back({std::move(node), 0});
            break;
        }
        // The leftmost child that may hold the key: duplicates can span children.
        size_t i = 0;
        while (i + 1 < node.items.size() && !(node.items[i].hasKey && orderKeys(node.items[i].key, key) >= 0))
            ++i;
        if (m_pages.foxLayout()) {
            // FoxPro branches hold the record of each child's last key too.
            while (i + 1 < node.items.size() && order(node.items[i].key, node.items[i].record, key, record) < 0)
                ++i;
        } else {
            // dBASE branches hold keys only: among the children whose last key is
            // this one, the first whose last record is not below the record.
            size_t end = i;
            while (end + 1 < node.items.size() && node.items[end].hasKey && orderKeys(node.items[end].key, key) == 0)
                ++end;
            size_t lo = i, hi = end;
            while (lo < hi) {
                const size_t mid = (lo + hi) / 2;
                path.push_back({node, mid});
                const quint32 last = lastRecord(path);
                path.pop_back();
                if ((m_descending ? last <= record : last >= record))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            i = lo;
        }
        at = node.items[i].child;
        path.push_back({std::move(node), i});
    }
    for (;;) {
        Step &leaf = path.back();
        const auto &items = leaf.node.items;
        size_t i = 0;
        while (i < items.size() && order(items[i].key, items[i].record, key, record) < 0)
            ++i;
        leaf.index = i;
        if (i < items.size())
            return path;
        // Past this leaf's end: the place may be further right among equal keys.
        Path next = path;
        if (!nextLeaf(next) || next.back().node.items.empty())
            return path;
        const TreeItem &first = next.back().node.items.front();
        if (order(first.key, first.record, key, record) >= 0)
            return path;
        path = std::move(next);
    }
}

void IndexTree::insert(const QByteArray &key, quint32 record)
{
    Path path = locate(key, record);
    Step &leaf = path.back();
    auto &items = leaf.node.items;
    if (leaf.index < items.size() && order(items[leaf.index].key, items[leaf.index].record, key, record) == 0)
        return;
    TreeItem item;
    item.key = key;
    item.record = record;
    items.insert(items.begin() + qsizetype(leaf.index), std::move(item));
    store(path);
    m_pages.finish();
}

bool IndexTree::entryAt(Path &path)
{
    // A branch's key bounds its child from above and may stay after that key
    // left: the place can be the end of one leaf and the entry the next leaf's first.
    while (path.back().index >= path.back().node.items.size()) {
        if (!nextLeaf(path))
            return false;
    }
    return true;
}

bool IndexTree::remove(const QByteArray &key, quint32 record)
{
    Path path = locate(key, record);
    if (!entryAt(path))
        return false;
    Step &leaf = path.back();
    auto &items = leaf.node.items;
    if (leaf.index >= items.size() || order(items[leaf.index].key, items[leaf.index].record, key, record) != 0)
        return false;
    items.erase(items.begin() + qsizetype(leaf.index));
    storeAfterRemoval(path);
    m_pages.finish();
    return true;
}

std::optional<quint32> IndexTree::firstWithKey(const QByteArray &key)
{
    Path path = locate(key, m_descending ? 0xFFFFFFFFu : 0u);
    if (!entryAt(path))
        return std::nullopt;
    const Step &leaf = path.back();
    if (leaf.index < leaf.node.items.size() && orderKeys(leaf.node.items[leaf.index].key, key) == 0)
        return leaf.node.items[leaf.index].record;
    return std::nullopt;
}

bool IndexTree::removeRecordAnywhere(quint32 record)
{
    Path path;
    path.push_back({readChecked(m_pages.root(), path), 0});
    descendLeftmost(path);
    for (;;) {
        auto &items = path.back().node.items;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i].record == record) {
                items.erase(items.begin() + qsizetype(i));
                storeAfterRemoval(path);
                m_pages.finish();
                return true;
            }
        }
        if (!nextLeaf(path))
            return false;
    }
}

bool IndexTree::raiseLastKey(Path &path, size_t level)
{
    TreeItem &item = path[level - 1].node.items[path[level - 1].index];
    const TreeItem &last = path[level].node.items.back();
    if (item.key == last.key && item.record == last.record)
        return false;
    item.key = last.key;
    item.record = last.record;
    return true;
}

void IndexTree::relink(qint64 at, qint64 TreeNode::*side, qint64 to)
{
    TreeNode neighbour = m_pages.read(at);
    neighbour.*side = to;
    neighbour.root = false;
    m_pages.write(neighbour);
}

void IndexTree::store(Path &path)
{
    const bool fox = m_pages.foxLayout();
    for (size_t level = path.size(); level-- > 0;) {
        TreeNode &node = path[level].node;
        if (m_pages.fits(node)) {
            m_pages.write(node);
            if (!fox || level == 0 || !raiseLastKey(path, level))
                return;
            continue;
        }
        // Full: the upper half moves to a new node to the right.
        TreeNode right;
        right.at = m_pages.allocate();
        right.leaf = node.leaf;
        right.attributes = node.attributes;
        const size_t half = node.items.size() / 2;
        right.items.assign(node.items.begin() + qsizetype(half), node.items.end());
        node.items.resize(half);
        TreeItem leftHigh = node.items.back();
        leftHigh.child = node.at;
        leftHigh.hasKey = true;
        if (!fox && !node.leaf)
            node.items.back().hasKey = false; // its key moves up to the parent
        if (fox) {
            right.left = node.at;
            right.right = node.right;
            if (node.right >= 0)
                relink(node.right, &TreeNode::left, right.at);
            node.right = right.at;
        }
        const bool wasRoot = level == 0;
        node.root = false;
        // The new node first: until its parent points to it, nothing refers to it.
        m_pages.write(right);
        m_pages.write(node);
        TreeItem rightHigh;
        rightHigh.child = right.at;
        if (wasRoot) {
            TreeNode root;
            root.at = m_pages.allocate();
            root.leaf = false;
            root.root = true;
            rightHigh.key = right.items.back().key;
            rightHigh.record = right.items.back().record;
            rightHigh.hasKey = fox;
            root.items = {leftHigh, rightHigh};
            m_pages.write(root);
            m_pages.setRoot(root.at);
            return;
        }
        Step &parent = path[level - 1];
        rightHigh = parent.node.items[parent.index];
        rightHigh.child = right.at;
        if (fox) {
            rightHigh.key = right.items.back().key;
            rightHigh.record = right.items.back().record;
        }
        parent.node.items[parent.index] = leftHigh;
        parent.node.items.insert(parent.node.items.begin() + qsizetype(parent.index) + 1, rightHigh);
    }
}

void IndexTree::storeAfterRemoval(Path &path)
{
    const bool fox = m_pages.foxLayout();
    for (size_t level = path.size(); level-- > 0;) {
        TreeNode &node = path[level].node;
        if (node.items.empty() && level > 0) {
            // An emptied node leaves the tree: its parent forgets it, its siblings skip it.
            if (fox) {
                if (node.left >= 0)
                    relink(node.left, &TreeNode::right, node.right);
                if (node.right >= 0)
                    relink(node.right, &TreeNode::left, node.left);
            }
            m_pages.release(node.at);
            Step &parent = path[level - 1];
            auto &items = parent.node.items;
            const bool wasLast = parent.index + 1 == items.size();
            items.erase(items.begin() + qsizetype(parent.index));
            if (!fox && wasLast && !items.empty())
                items.back().hasKey = false;
            if (parent.index > 0 && parent.index >= items.size())
                parent.index = items.size() - 1;
            continue;
        }
        if (!fox && !node.leaf && node.items.size() == 1) {
            // A dBASE branch with one child and no key, a shape other readers skip:
            // the root gives way to its child, any other such branch is mended
            // with a neighbour.
            if (level == 0) {
                m_pages.setRoot(node.items.front().child);
                m_pages.release(node.at);
                return;
            }
            if (mendLoneChild(path, level))
                continue;
            return;
        }
        if (node.items.empty())
            node.leaf = true; // a root without children is an empty leaf
        m_pages.write(node);
        if (!fox || level == 0 || node.items.empty() || !raiseLastKey(path, level))
            return;
    }
}

bool IndexTree::mendLoneChild(Path &path, size_t level)
{
    TreeNode &node = path[level].node;
    Step &up = path[level - 1];
    auto &items = up.node.items;
    const size_t i = up.index;
    if (items.size() < 2) {
        m_pages.write(node); // a parent as lonely: a file written so by another program
        return false;
    }
    if (i > 0) {
        // Into the left neighbour as its last child, or that neighbour's last child comes over.
        TreeNode left = m_pages.read(items[i - 1].child);
        TreeNode merged = left;
        merged.items.back().key = items[i - 1].key;
        merged.items.back().hasKey = true;
        merged.items.push_back(node.items.front());
        if (m_pages.fits(merged)) {
            items[i - 1].key = items[i].key;
            items[i - 1].hasKey = items[i].hasKey;
            items.erase(items.begin() + qsizetype(i));
            up.index = i - 1;
            m_pages.write(merged);
            m_pages.release(node.at);
            return true;
        }
        TreeItem moved = left.items.back();
        left.items.pop_back();
        moved.key = items[i - 1].key;
        moved.hasKey = true;
        items[i - 1].key = left.items.back().key;
        left.items.back().hasKey = false;
        node.items.insert(node.items.begin(), moved);
        m_pages.write(left);
    } else {
        // Into the right neighbour as its first child, or that neighbour's first child comes over.
        TreeNode right = m_pages.read(items[i + 1].child);
        TreeItem own = node.items.front();
        own.key = items[i].key;
        own.hasKey = true;
        TreeNode merged = right;
        merged.items.insert(merged.items.begin(), own);
        if (m_pages.fits(merged)) {
            items.erase(items.begin() + qsizetype(i));
            m_pages.write(merged);
            m_pages.release(node.at);
            return true;
        }
        TreeItem moved = right.items.front();
        right.items.erase(right.items.begin());
        items[i].key = moved.key;
        moved.hasKey = false;
        node.items = {own, moved};
        m_pages.write(right);
    }
    m_pages.write(node);
    m_pages.write(up.node);
    return false;
}

} // namespace engine::dbase
