// The FoxPro index formats: compound .cdx (and .dcx), compact and plain .idx.
// All nodes are 512 bytes addressed by byte offset; compact leaves pack record
// number, duplicate count and trailing count into a few bytes per key and store
// the remaining key bytes from the node's end downwards.
#include "DbfIndex.h"

#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "EngineError.h"

#include <QFileInfo>
#include <algorithm>
#include <unordered_set>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr qint64 FoxNode = 512;
constexpr quint8 OptUnique = 0x01;
constexpr quint8 OptCandidate = 0x04;
constexpr quint8 OptCompact = 0x20;
constexpr quint8 OptCompound = 0x40;

QString poolText(const QByteArray &bytes, qsizetype offset, qsizetype length)
{
    if (offset < 0 || length <= 0 || offset >= bytes.size())
        return {};
    const qsizetype end = std::min(bytes.size(), offset + length);
    qsizetype n = offset;
    while (n < end && bytes.at(n) != '\0')
        ++n;
    return QString::fromLatin1(bytes.constData() + offset, n - offset).trimmed();
}

} // namespace

IndexTagInfo IndexFile::foxTagHeader(qint64 offset, const QString &name) const
{
    const QByteArray h = read(offset, 1024, "Der Kopf eines Tags");
    const char *p = h.constData();
    IndexTagInfo t;
    t.name = name;
    t.header = offset;
    t.root = qint64(le32(p));
    t.keyLength = le16(p + 12);
    const quint8 options = quint8(p[14]);
    t.unique = (options & OptUnique) != 0;
    t.candidate = (options & OptCandidate) != 0;
    t.descending = le16(p + 502) != 0;
    const int forLength = le16(p + 506);
    const int keyLength = le16(p + 510);
    // The pool at 512 holds the key expression, then the FOR expression.
    t.keyExpression = poolText(h, 512, std::min(keyLength, 512));
    if (forLength > 1)
        t.forExpression = poolText(h, 512 + keyLength, forLength);
    if (t.keyLength <= 0 || t.keyLength > 240)
        fail(QStringLiteral("die Schlüssellänge %1 des Tags %2 ist ungültig").arg(t.keyLength).arg(name));
    if ((options & OptCompact) == 0)
        fail(QStringLiteral("das Tag %1 ist nicht im kompakten Format").arg(name));
    return t;
}

void IndexFile::openFoxPro()
{
    const QByteArray h = read(0, FoxNode, "Der Dateikopf");
    const quint8 options = quint8(h.at(14));
    const QString base = QFileInfo(m_path).completeBaseName();
    const bool isIdx = QFileInfo(m_path).suffix().compare(QLatin1String("idx"), Qt::CaseInsensitive) == 0;

    if (isIdx && (options & OptCompact) == 0) {
        // Plain .idx: expressions in the header, keys with a 4-byte pointer in every node.
        m_format = IndexFormat::Idx;
        IndexTagInfo t;
        t.name = base;
        t.root = qint64(le32(h.constData()));
        t.keyLength = le16(h.constData() + 12);
        t.unique = (options & OptUnique) != 0;
        t.keyExpression = poolText(h, 16, 220);
        t.forExpression = poolText(h, 236, 220);
        t.entryLength = t.keyLength + 4;
        if (t.keyLength <= 0 || 12 + t.entryLength > FoxNode)
            fail(QStringLiteral("die Schlüssellänge %1 ist ungültig").arg(t.keyLength));
        m_tags.append(t);
        return;
    }
    if (isIdx || (options & OptCompound) == 0) {
        m_format = IndexFormat::CompactIdx;
        m_tags.append(foxTagHeader(0, base));
        return;
    }

    // Compound: the file header is itself a compact index whose keys are the tag
    // names and whose record numbers are the offsets of the tag headers.
    m_format = IndexFormat::Cdx;
    IndexTagInfo directory;
    directory.name = fileName();
    directory.root = qint64(le32(h.constData()));
    directory.keyLength = le16(h.constData() + 12);
    if (directory.keyLength <= 0 || directory.keyLength > 240)
        fail(QStringLiteral("die Länge der Tag-Namen (%1) ist ungültig").arg(directory.keyLength));
    std::vector<IndexEntry> names;
    walkFoxPro(directory, true, names, true);
    // Tags in the order they were made, which is the order of their headers.
    std::sort(names.begin(), names.end(), [](const IndexEntry &a, const IndexEntry &b) { return a.record < b.record; });
    for (const IndexEntry &e : names) {
        const QString name = QString::fromLatin1(e.key).trimmed().remove(QLatin1Char('\0'));
        if (e.record < 1024)
            fail(QStringLiteral("der Kopf des Tags %1 liegt an einer unmöglichen Stelle").arg(name));
        m_tags.append(foxTagHeader(e.record, name));
    }
}

void IndexFile::walkFoxPro(const IndexTagInfo &tag, bool compact, std::vector<IndexEntry> &out, bool withKeys) const
{
    const int keyLength = tag.keyLength;
    std::vector<qint64> stack{tag.root};
    std::unordered_set<qint64> seen;
    const auto where = [](qint64 at) { return QString::number(at); };
    while (!stack.empty()) {
        const qint64 at = stack.back();
        stack.pop_back();
        if (at < FoxNode)
            fail(QStringLiteral("ein Seitenverweis zeigt auf Byte %1 im Dateikopf").arg(where(at)));
        if (!seen.insert(at).second)
            fail(QStringLiteral("die Seite bei Byte %1 wird zweimal erreicht (Kreis in den Seitenverweisen)").arg(where(at)));
        const QByteArray node = read(at, FoxNode, "Eine Indexseite");
        const char *p = node.constData();
        const quint16 attributes = le16(p);
        const int keys = le16(p + 2);
        const bool leaf = (attributes & 0x02) != 0;

        if (!leaf || !compact) {
            // Interior nodes of both kinds, and plain .idx leaves: whole keys followed
            // by big-endian numbers (compact interior: record and child; plain: one pointer).
            const int entry = keyLength + (compact ? 8 : 4);
            if (12 + qint64(keys) * entry > FoxNode)
                fail(QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel, es passen aber nur %3 hinein")
                         .arg(where(at)).arg(keys).arg((FoxNode - 12) / entry));
            if (leaf) {
                for (int i = 0; i < keys; ++i) {
                    const char *e = p + 12 + qint64(i) * entry;
                    const quint32 record = be32(e + keyLength);
                    if (record == 0)
                        fail(QStringLiteral("ein Schlüssel auf der Seite bei Byte %1 verweist auf Satz 0").arg(where(at)));
                    out.push_back({withKeys ? QByteArray(e, keyLength) : QByteArray(), record});
                }
                continue;
            }
            if (keys == 0)
                fail(QStringLiteral("die innere Seite bei Byte %1 ist leer").arg(where(at)));
            for (int i = keys - 1; i >= 0; --i) {
                const char *e = p + 12 + qint64(i) * entry;
                stack.push_back(qint64(be32(e + keyLength + (compact ? 4 : 0))));
            }
            continue;
        }

        // Compact leaf.
        const quint32 recordMask = le32(p + 14);
        const quint8 duplicateMask = quint8(p[18]);
        const quint8 trailMask = quint8(p[19]);
        const int recordBits = quint8(p[20]);
        const int duplicateBits = quint8(p[21]);
        const int trailBits = quint8(p[22]);
        const int infoBytes = quint8(p[23]);
        if (infoBytes < 1 || infoBytes > 8 || recordBits > 32 || duplicateBits > 8 || trailBits > 8
            || recordBits + duplicateBits + trailBits > infoBytes * 8)
            fail(QStringLiteral("die Bitaufteilung der Blattseite bei Byte %1 ist ungültig").arg(where(at)));
        const qint64 infoEnd = 24 + qint64(keys) * infoBytes;
        if (infoEnd > FoxNode)
            fail(QStringLiteral("die Seite bei Byte %1 nennt %2 Schlüssel, es passen aber nur %3 hinein")
                     .arg(where(at)).arg(keys).arg((FoxNode - 24) / infoBytes));
        qint64 keyEnd = FoxNode; // keys are stored from the node's end downwards
        QByteArray previous;
        for (int i = 0; i < keys; ++i) {
            quint64 info = 0;
            for (int b = infoBytes - 1; b >= 0; --b)
                info = (info << 8) | quint8(p[24 + qint64(i) * infoBytes + b]);
            const quint32 record = quint32(info & recordMask);
            const int duplicates = int((info >> recordBits) & duplicateMask);
            const int trail = int((info >> (recordBits + duplicateBits)) & trailMask);
            const int stored = keyLength - duplicates - trail;
            if (stored < 0 || duplicates > previous.size() || keyEnd - stored < infoEnd)
                fail(QStringLiteral("der %1. Schlüssel der Blattseite bei Byte %2 ist ungültig").arg(i + 1).arg(where(at)));
            if (record == 0)
                fail(QStringLiteral("ein Schlüssel auf der Seite bei Byte %1 verweist auf Satz 0").arg(where(at)));
            keyEnd -= stored;
            QByteArray key = previous.left(duplicates);
            key.append(p + keyEnd, stored);
            key.append(QByteArray(trail, ' '));
            out.push_back({key, record});
            previous = std::move(key);
        }
    }
}

} // namespace engine::dbase
