// Opening index files, the dBASE formats (.ndx, .mdx) and what all formats share.
// The byte layouts are described in docs/formats/dbase-indexes.md.
#include "DbfIndex.h"

#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "EngineError.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_set>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr qint64 NdxBlock = 512;
constexpr qint64 MdxPage = 512;

QString suffixOf(const QString &fileName)
{
    return QFileInfo(fileName).suffix().toLower();
}

// A NUL-terminated text of at most max bytes at offset in bytes, trimmed.
QString cString(const QByteArray &bytes, qsizetype offset, qsizetype max)
{
    if (offset < 0 || offset >= bytes.size())
        return {};
    const qsizetype end = std::min(bytes.size(), offset + max);
    qsizetype n = offset;
    while (n < end && bytes.at(n) != '\0')
        ++n;
    return QString::fromLatin1(bytes.constData() + offset, n - offset).trimmed();
}

QString byteText(qint64 offset)
{
    return QString::number(offset);
}

} // namespace

IndexFile::~IndexFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString IndexFile::fileName() const
{
    return QFileInfo(m_path).fileName();
}

bool IndexFile::isIndexFileName(const QString &fileName)
{
    const QString ext = suffixOf(fileName);
    return ext == QLatin1String("ndx") || ext == QLatin1String("mdx") || ext == QLatin1String("cdx")
        || ext == QLatin1String("dcx") || ext == QLatin1String("idx");
}

void IndexFile::fail(const QString &fault) const
{
    throw damagedFile(m_path, fault);
}

QByteArray IndexFile::read(qint64 offset, qint64 size, const char *what) const
{
    if (offset < 0 || size < 0 || offset > m_size || size > m_size - offset)
        fail(QStringLiteral("%1 bei Byte %2 liegt außerhalb der Datei (%3 Bytes)")
                 .arg(QString::fromUtf8(what), byteText(offset), byteText(m_size)));
    QByteArray bytes(size, Qt::Uninitialized);
    if (preadFully(m_fd, bytes.data(), size, offset, m_path) != size)
        fail(QStringLiteral("die Datei endet vor Byte %1").arg(byteText(offset + size)));
    return bytes;
}

std::unique_ptr<IndexFile> IndexFile::open(const QString &path)
{
    std::unique_ptr<IndexFile> f(new IndexFile);
    f->m_path = path;
    f->m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (f->m_fd < 0)
        throw ioError(QStringLiteral("Das Öffnen der Indexdatei"), path, errno);
    f->m_size = fileSize(f->m_fd, path);

    const QString ext = suffixOf(path);
    if (ext == QLatin1String("ndx")) {
        f->m_format = IndexFormat::Ndx;
        f->openNdx();
    } else if (ext == QLatin1String("mdx")) {
        f->m_format = IndexFormat::Mdx;
        f->openMdx();
    } else if (ext == QLatin1String("cdx") || ext == QLatin1String("dcx") || ext == QLatin1String("idx")) {
        f->openFoxPro();
    } else {
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine bekannte Indexdatei.").arg(nativePath(path)));
    }
    return f;
}

std::vector<IndexEntry> IndexFile::entries(int tag) const
{
    return walk(tag, true);
}

std::vector<IndexEntry> IndexFile::walk(int tag, bool keys) const
{
    if (tag < 0 || tag >= m_tags.size())
        throw EngineError(ErrorKind::NotFound, msg::indexNotFound(QString::number(tag)));
    std::vector<IndexEntry> out;
    const IndexTagInfo &t = m_tags.at(tag);
    switch (m_format) {
    case IndexFormat::Ndx: walkNdx(t, out, keys); break;
    case IndexFormat::Mdx: walkMdx(t, out, keys); break;
    case IndexFormat::Cdx:
    case IndexFormat::CompactIdx: walkFoxPro(t, true, out, keys); break;
    case IndexFormat::Idx: walkFoxPro(t, false, out, keys); break;
    }
    return out;
}

QVector<quint32> IndexFile::recordNumbers(int tag) const
{
    const std::vector<IndexEntry> all = walk(tag, false);
    QVector<quint32> out;
    out.reserve(qsizetype(all.size()));
    for (const IndexEntry &e : all)
        out.append(e.record);
    return out;
}

// ---- dBASE III .ndx: one 512-byte header block, then 512-byte nodes.

void IndexFile::openNdx()
{
    const QByteArray h = read(0, NdxBlock, "Der Dateikopf");
    IndexTagInfo t;
    t.name = QFileInfo(m_path).completeBaseName();
    t.root = qint64(le32(h.constData())) * NdxBlock;
    t.keyLength = le16(h.constData() + 12);
    t.keyType = le16(h.constData() + 16) == 0 ? 'C' : 'N';
    const int entrySize = int(le32(h.constData() + 18));
    t.unique = h.at(23) != 0;
    t.keyExpression = cString(h, 24, NdxBlock - 24);
    if (t.keyLength <= 0 || t.keyLength > NdxBlock - 12)
        fail(QStringLiteral("die Schlüssellänge %1 ist ungültig").arg(t.keyLength));
    if (entrySize < t.keyLength + 8 || entrySize > NdxBlock - 4)
        fail(QStringLiteral("die Eintragslänge %1 passt nicht zur Schlüssellänge %2").arg(entrySize).arg(t.keyLength));
    if (t.root < NdxBlock)
        fail(QStringLiteral("der Verweis auf die Wurzelseite ist ungültig"));
    t.entryLength = entrySize;
    m_tags.append(t);
}

void IndexFile::walkTree(qint64 root, qint64 pageSize, qint64 maxKeys, const PageVisit &visit) const
{
    std::vector<qint64> stack{root};
    std::unordered_set<qint64> seen;
    while (!stack.empty()) {
        const qint64 at = stack.back();
        stack.pop_back();
        if (!seen.insert(at).second)
            fail(QStringLiteral("die Seite bei Byte %1 wird zweimal erreicht (Kreis in den Seitenverweisen)").arg(byteText(at)));
        const QByteArray node = read(at, pageSize, "Eine Indexseite");
        const quint32 keys = le32(node.constData());
        if (keys > maxKeys)
            fail(QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel, es passen aber nur %3 hinein")
                     .arg(byteText(at)).arg(keys).arg(maxKeys));
        visit(at, node.constData(), keys, stack);
    }
}

void IndexFile::takeLeafKeys(const char *entries, int entryLength, int recordAt, int keyAt, quint32 count,
                             int keyLength, qint64 at, std::vector<IndexEntry> &out, bool withKeys) const
{
    for (quint32 i = 0; i < count; ++i) {
        const char *e = entries + qint64(i) * entryLength;
        const quint32 record = le32(e + recordAt);
        if (record == 0)
            fail(QStringLiteral("ein Schlüssel auf der Seite bei Byte %1 verweist auf Satz 0").arg(byteText(at)));
        out.push_back({withKeys ? QByteArray(e + keyAt, keyLength) : QByteArray(), record});
    }
}

void IndexFile::walkNdx(const IndexTagInfo &tag, std::vector<IndexEntry> &out, bool withKeys) const
{
    const int entrySize = tag.entryLength;
    const int maxKeys = int((NdxBlock - 4) / entrySize);
    walkTree(tag.root, NdxBlock, maxKeys, [&](qint64 at, const char *p, quint32 keys, std::vector<qint64> &below) {
        // A leaf's entries point to no lower page; a branch has one pointer more than keys.
        if (le32(p + 4) == 0) {
            takeLeafKeys(p + 4, entrySize, 4, 8, keys, tag.keyLength, at, out, withKeys);
            return;
        }
        if (4 + qint64(keys) * entrySize + 4 > NdxBlock)
            fail(QStringLiteral("die Seite bei Byte %1 ist zu voll für ihren letzten Verweis").arg(byteText(at)));
        for (qint64 i = qint64(keys); i >= 0; --i) {
            const quint32 child = le32(p + 4 + i * entrySize);
            if (child == 0)
                fail(QStringLiteral("die Seite bei Byte %1 hat einen leeren Verweis").arg(byteText(at)));
            below.push_back(qint64(child) * NdxBlock);
        }
    });
}

// ---- dBASE IV/5 .mdx: a file header with a tag table, one header block per
// tag, nodes of one block (a multiple of 512-byte pages) addressed by page.

void IndexFile::openMdx()
{
    const QByteArray h = read(0, 2048, "Der Dateikopf");
    const char *p = h.constData();
    m_blockSize = le16(p + 22);
    if (m_blockSize < 512 || m_blockSize % 512 != 0 || m_blockSize > 32768)
        fail(QStringLiteral("die Blockgröße %1 ist ungültig").arg(m_blockSize));
    const int entryLength = quint8(p[26]);
    const int count = le16(p + 28);
    if (entryLength < 21 || 544 + qint64(count) * entryLength > 2048)
        fail(QStringLiteral("die Tag-Tabelle nennt %1 Tags zu je %2 Bytes").arg(count).arg(entryLength));
    for (int i = 0; i < count; ++i) {
        const char *e = p + 544 + qint64(i) * entryLength;
        IndexTagInfo t;
        t.header = qint64(le32(e)) * MdxPage;
        t.name = cString(h, e + 4 - p, 11);
        if (t.header < 2048)
            fail(QStringLiteral("der Kopf des Tags %1 liegt an einer unmöglichen Stelle").arg(t.name));
        const qint64 headerBytes = std::min<qint64>(1024, m_size - t.header);
        const QByteArray th = read(t.header, std::max<qint64>(headerBytes, 512), "Der Kopf eines Tags");
        const char *q = th.constData();
        t.root = qint64(le32(q)) * MdxPage;
        const quint8 format = quint8(q[8]);
        t.descending = (format & 0x08) != 0;
        t.unique = (format & 0x40) != 0 || q[23] != 0;
        t.keyType = q[9];
        t.keyLength = le16(q + 12);
        t.keyExpression = cString(th, 24, 220);
        t.forExpression = cString(th, 762, 220);
        const int itemLength = le16(q + 18);
        if (t.keyLength <= 0 || itemLength < t.keyLength + 4 || 8 + qint64(itemLength) > m_blockSize)
            fail(QStringLiteral("Schlüssel- und Eintragslänge des Tags %1 (%2, %3) sind ungültig")
                     .arg(t.name).arg(t.keyLength).arg(itemLength));
        if (t.root < 2048)
            fail(QStringLiteral("der Verweis auf die Wurzel des Tags %1 ist ungültig").arg(t.name));
        t.entryLength = itemLength;
        m_tags.append(t);
    }
}

void IndexFile::walkMdx(const IndexTagInfo &tag, std::vector<IndexEntry> &out, bool withKeys) const
{
    const int itemLength = tag.entryLength;
    const qint64 maxKeys = (m_blockSize - 8) / itemLength;
    walkTree(tag.root, m_blockSize, maxKeys, [&](qint64 at, const char *p, quint32 keys, std::vector<qint64> &below) {
        // A branch carries one more page pointer than keys; in a leaf that slot is 0.
        const qint64 last = 8 + qint64(keys) * itemLength;
        if (last + 4 > m_blockSize || le32(p + last) == 0) {
            takeLeafKeys(p + 8, itemLength, 0, 4, keys, tag.keyLength, at, out, withKeys);
            return;
        }
        for (qint64 i = qint64(keys); i >= 0; --i) {
            const quint32 child = le32(p + 8 + i * itemLength);
            if (child < 4)
                fail(QStringLiteral("die Seite bei Byte %1 verweist auf die Seite %2").arg(byteText(at)).arg(child));
            below.push_back(qint64(child) * MdxPage);
        }
    });
}

IndexDef makeIndexDef(const IndexTagInfo &tag, const QString &sourceFile, const QStringList &fieldNames)
{
    IndexDef def;
    def.name = tag.name;
    def.source = sourceFile;
    def.forCondition = tag.forExpression;
    for (const QString &field : fieldNames) {
        if (field.compare(tag.keyExpression, Qt::CaseInsensitive) == 0) {
            def.fields = field;
            break;
        }
    }
    // Visual FoxPro keys name a container's long field name, which the table
    // itself stores cut to ten characters.
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{10,127}$"));
    if (def.fields.isEmpty() && identifier.match(tag.keyExpression).hasMatch()) {
        for (const QString &field : fieldNames) {
            if (field.size() == 10 && tag.keyExpression.startsWith(field, Qt::CaseInsensitive)) {
                def.fields = field;
                break;
            }
        }
    }
    if (def.fields.isEmpty()) {
        def.expression = tag.keyExpression;
        def.options |= ixExpression;
    }
    if (tag.unique || tag.candidate)
        def.options |= ixUnique;
    if (tag.candidate)
        def.options |= ixPrimary;
    if (tag.descending)
        def.options |= ixDescending;
    return def;
}

} // namespace engine::dbase
