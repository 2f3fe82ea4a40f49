// B-tree changes in place for dBASE and FoxPro index files; the page layouts
// are those described in docs/formats/dbase-indexes.md.
#include "DbfIndexTree.h"

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

// ---- dBASE III .ndx: 512-byte blocks, entries of child block, record, key.

class NdxPages final : public IndexPages {
public:
    NdxPages(PageFile &store, const IndexFile &file) : m_store(store), m_path(file.path())
    {
        m_header = m_store.read(0, Page);
        const IndexTagInfo &tag = file.tags().front();
        m_keyLength = tag.keyLength;
        m_entry = tag.entryLength;
        const int stored = le16(m_header.constData() + 14);
        m_maxKeys = int((Page - 4) / m_entry);
        if (stored > 0)
            m_maxKeys = std::min(m_maxKeys, stored);
        m_blocks = std::max<qint64>(le32(m_header.constData() + 4), (m_store.size() + Page - 1) / Page);
    }
    qint64 root() override { return qint64(le32(m_header.constData())) * Page; }
    void setRoot(qint64 at) override
    {
        putLe32(m_header.data(), quint32(at / Page));
        m_dirty = true;
    }
    TreeNode read(qint64 at) override
    {
        const QByteArray page = m_store.read(at, Page);
        const char *p = page.constData();
        TreeNode node;
        node.at = at;
        const quint32 count = le32(p);
        node.leaf = le32(p + 4) == 0;
        if (count > quint32(m_maxKeys) || (!node.leaf && 4 + qint64(count) * m_entry + 4 > Page))
            damaged(m_path, QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel").arg(at).arg(count));
        for (quint32 i = 0; i < count; ++i) {
            const char *e = p + 4 + qint64(i) * m_entry;
            TreeItem item;
            item.key = QByteArray(e + 8, m_keyLength);
            if (node.leaf)
                item.record = le32(e + 4);
            else
                item.child = qint64(le32(e)) * Page;
            node.items.push_back(std::move(item));
        }
        if (!node.leaf) {
            TreeItem tail;
            tail.child = qint64(le32(p + 4 + qint64(count) * m_entry)) * Page;
            tail.hasKey = false;
            node.items.push_back(tail);
        }
        return node;
    }
    void write(const TreeNode &node) override
    {
        QByteArray page(Page, '\0');
        char *p = page.data();
        const size_t n = node.items.size();
        putLe32(p, quint32(node.leaf ? n : n - 1));
        for (size_t i = 0; i < n; ++i) {
            char *e = p + 4 + qint64(i) * m_entry;
            const TreeItem &item = node.items[i];
            if (node.leaf) {
                putLe32(e + 4, item.record);
            } else {
                putLe32(e, quint32(item.child / Page));
                if (i + 1 == n)
                    break; // the last child carries no key
            }
            memcpy(e + 8, item.key.constData(), size_t(m_keyLength));
        }
        m_store.write(node.at, p, Page);
    }
    bool fits(const TreeNode &node) const override
    {
        const qint64 n = qint64(node.items.size());
        return node.leaf ? n <= m_maxKeys : (n - 1 <= m_maxKeys && 4 + (n - 1) * m_entry + 4 <= Page);
    }
    qint64 allocate() override
    {
        const qint64 at = m_blocks * Page;
        ++m_blocks;
        putLe32(m_header.data() + 4, quint32(m_blocks));
        m_dirty = true;
        return at;
    }
    bool foxLayout() const override { return false; }
    void finish() override
    {
        if (m_dirty)
            m_store.write(0, m_header.constData(), 8);
        m_dirty = false;
    }

private:
    PageFile &m_store;
    QString m_path;
    QByteArray m_header;
    int m_keyLength = 0, m_entry = 0, m_maxKeys = 0;
    qint64 m_blocks = 0;
    bool m_dirty = false;
};

// ---- dBASE IV .mdx: nodes of one block (several 512-byte pages) addressed by
// page number; entries of pointer and key, a leaf's slot after its keys is 0.

class MdxPages final : public IndexPages {
public:
    MdxPages(PageFile &store, const IndexFile &file, int tag) : m_store(store), m_path(file.path())
    {
        m_header = m_store.read(0, Page);
        m_block = le16(m_header.constData() + 22);
        if (m_block < Page || m_block % Page)
            damaged(m_path, QStringLiteral("die Blockgröße %1 ist ungültig").arg(m_block));
        const IndexTagInfo &info = file.tags().at(tag);
        m_tagHeader = info.header;
        m_tag = m_store.read(m_tagHeader, 24);
        m_keyLength = info.keyLength;
        m_item = info.entryLength;
        m_maxKeys = int((m_block - 8) / m_item);
        const int stored = le16(m_tag.constData() + 14);
        if (stored > 0)
            m_maxKeys = std::min(m_maxKeys, stored);
        m_pages = std::max<qint64>(le32(m_header.constData() + 32), (m_store.size() + Page - 1) / Page);
    }
    qint64 root() override { return qint64(le32(m_tag.constData())) * Page; }
    void setRoot(qint64 at) override
    {
        putLe32(m_tag.data(), quint32(at / Page));
        m_rootDirty = true;
    }
    TreeNode read(qint64 at) override
    {
        const QByteArray page = m_store.read(at, m_block);
        const char *p = page.constData();
        TreeNode node;
        node.at = at;
        const quint32 count = le32(p);
        if (count > quint32(m_maxKeys))
            damaged(m_path, QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel").arg(at).arg(count));
        const qint64 last = 8 + qint64(count) * m_item;
        node.leaf = last + 4 > m_block || le32(p + last) == 0;
        for (quint32 i = 0; i < count; ++i) {
            const char *e = p + 8 + qint64(i) * m_item;
            TreeItem item;
            item.key = QByteArray(e + 4, m_keyLength);
            if (node.leaf)
                item.record = le32(e);
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
        QByteArray page(m_block, '\0');
        char *p = page.data();
        const size_t n = node.items.size();
        putLe32(p, quint32(node.leaf ? n : n - 1));
        for (size_t i = 0; i < n; ++i) {
            char *e = p + 8 + qint64(i) * m_item;
            const TreeItem &item = node.items[i];
            putLe32(e, node.leaf ? item.record : quint32(item.child / Page));
            if (!node.leaf && i + 1 == n)
                break;
            memcpy(e + 4, item.key.constData(), size_t(m_keyLength));
        }
        m_store.write(node.at, p, m_block);
    }
    bool fits(const TreeNode &node) const override
    {
        const qint64 n = qint64(node.items.size());
        return node.leaf ? n <= m_maxKeys : (n - 1 <= m_maxKeys && 8 + (n - 1) * m_item + 4 <= m_block);
    }
    qint64 allocate() override
    {
        const qint64 at = m_pages * Page;
        m_pages += m_block / Page;
        putLe32(m_header.data() + 32, quint32(m_pages));
        m_dirty = true;
        return at;
    }
    bool foxLayout() const override { return false; }
    void finish() override
    {
        if (m_dirty)
            m_store.write(32, m_header.constData() + 32, 4);
        if (m_rootDirty)
            m_store.write(m_tagHeader, m_tag.constData(), 4);
        m_dirty = m_rootDirty = false;
    }

private:
    PageFile &m_store;
    QString m_path;
    QByteArray m_header, m_tag;
    qint64 m_block = 1024, m_tagHeader = 0, m_pages = 0;
    int m_keyLength = 0, m_item = 0, m_maxKeys = 0;
    bool m_dirty = false, m_rootDirty = false;
};

// ---- FoxPro .cdx/.idx: 512-byte nodes addressed by byte offset, siblings
// linked; compact leaves store keys without the bytes shared with the key
// before and without trailing blanks.

int bitsFor(quint64 v)
{
    int b = 0;
    while (b < 64 && (quint64(1) << b) <= v)
        ++b;
    return std::max(b, 1);
}

class FoxPages final : public IndexPages {
public:
    FoxPages(PageFile &store, const IndexFile &file, int tag, bool textKeys) : m_store(store), m_path(file.path()), m_text(textKeys)
    {
        const IndexTagInfo &info = file.tags().at(tag);
        m_tagHeader = file.format() == IndexFormat::Cdx ? info.header : 0;
        m_compact = file.format() != IndexFormat::Idx;
        m_keyLength = info.keyLength;
        m_head = m_store.read(m_tagHeader, 8);
        m_end = (m_store.size() + Page - 1) / Page * Page;
        m_countBits = bitsFor(quint64(m_keyLength));
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
        const qint64 at = m_end;
        m_end += Page;
        return at;
    }
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
        const int infoBytes = std::max(3, (bitsFor(maxRecord) + 2 * m_countBits + 7) / 8);
        if (infoBytes > 8)
            return -1;
        const int recordBits = std::min(32, infoBytes * 8 - 2 * m_countBits);
        const quint32 recordMask = recordBits == 32 ? 0xFFFFFFFFu : ((quint32(1) << recordBits) - 1);
        const quint8 countMask = quint8((1u << m_countBits) - 1);
        int used = 0;
        qint64 keyEnd = Page;
        const char *previous = nullptr;
        int previousTrail = 0;
        for (size_t i = 0; i < node.items.size(); ++i) {
            const char *key = node.items[i].key.constData();
            int trail = 0;
            if (m_text) {
                while (trail < m_keyLength && key[m_keyLength - 1 - trail] == ' ')
                    ++trail;
            }
            // Shared bytes count only within the previous key's stored part: readers
            // differ in what they put for its cut trailing blanks.
            int dup = 0;
            if (previous) {
                while (dup < m_keyLength - trail && dup < m_keyLength - previousTrail && key[dup] == previous[dup])
                    ++dup;
            }
            const int stored = m_keyLength - dup - trail;
            used += infoBytes + stored;
            if (used > int(Page) - 24)
                return -1;
            if (p) {
                const quint64 info = quint64(node.items[i].record & recordMask) | (quint64(dup) << recordBits)
                                   | (quint64(trail) << (recordBits + m_countBits));
                for (int b = 0; b < infoBytes; ++b)
                    p[24 + qint64(i) * infoBytes + b] = char((info >> (8 * b)) & 0xFF);
                keyEnd -= stored;
                memcpy(p + keyEnd, key + dup, size_t(stored));
            }
            previous = key;
            previousTrail = trail;
        }
        if (p) {
            putLe16(p + 12, quint16(int(Page) - 24 - used));
            putLe32(p + 14, recordMask);
            p[18] = char(countMask);
            p[19] = char(countMask);
            p[20] = char(recordBits);
            p[21] = char(m_countBits);
            p[22] = char(m_countBits);
            p[23] = char(infoBytes);
        }
        return int(Page) - 24 - used;
    }

    PageFile &m_store;
    QString m_path;
    bool m_text;
    bool m_compact = true;
    qint64 m_tagHeader = 0, m_end = 0;
    int m_keyLength = 0, m_countBits = 1;
    QByteArray m_head;
    bool m_rootDirty = false;
};

} // namespace

std::unique_ptr<IndexPages> IndexPages::forTag(PageFile &store, const IndexFile &file, int tag, bool textKeys)
{
    switch (file.format()) {
    case IndexFormat::Ndx: return std::make_unique<NdxPages>(store, file);
    case IndexFormat::Mdx: return std::make_unique<MdxPages>(store, file, tag);
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

bool IndexTree::remove(const QByteArray &key, quint32 record)
{
    Path path = locate(key, record);
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
    const Path path = locate(key, m_descending ? 0xFFFFFFFFu : 0u);
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

void IndexTree::store(Path &path)
{
    const bool fox = m_pages.foxLayout();
    for (size_t level = path.size(); level-- > 0;) {
        TreeNode &node = path[level].node;
        if (m_pages.fits(node)) {
            m_pages.write(node);
            if (!fox || level == 0)
                return;
            // A FoxPro branch holds the last key of each child.
            TreeItem &item = path[level - 1].node.items[path[level - 1].index];
            const TreeItem &last = node.items.back();
            if (item.key == last.key && item.record == last.record)
                return;
            item.key = last.key;
            item.record = last.record;
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
            if (node.right >= 0) {
                TreeNode after = m_pages.read(node.right);
                after.left = right.at;
                after.root = false;
                m_pages.write(after);
            }
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
                if (node.left >= 0) {
                    TreeNode before = m_pages.read(node.left);
                    before.right = node.right;
                    before.root = false;
                    m_pages.write(before);
                }
                if (node.right >= 0) {
                    TreeNode after = m_pages.read(node.right);
                    after.left = node.left;
                    after.root = false;
                    m_pages.write(after);
                }
            }
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
        if (node.items.empty())
            node.leaf = true; // a root without children is an empty leaf
        m_pages.write(node);
        if (!fox || level == 0 || node.items.empty())
            return;
        TreeItem &item = path[level - 1].node.items[path[level - 1].index];
        const TreeItem &last = node.items.back();
        if (item.key == last.key && item.record == last.record)
            return;
        item.key = last.key;
        item.record = last.record;
    }
}

} // namespace engine::dbase
