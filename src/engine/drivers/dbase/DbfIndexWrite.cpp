// Computing index keys from records and writing whole index files: .ndx, .mdx,
// and FoxPro's compound .cdx and single .idx (compact or plain). The layouts are
// those the readers in DbfIndex.cpp and DbfIndexFox.cpp take apart, described in
// docs/formats/dbase-indexes.md.
#include "DbfIndexWrite.h"

#include "DbfCompactLeaf.h"

#include "common/CodePage.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "EngineError.h"
#include "Progress.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr qint64 FoxNode = 512;

quint64 doubleBits(double d)
{
    quint64 bits;
    memcpy(&bits, &d, sizeof bits);
    return bits;
}

double bitsDouble(quint64 bits)
{
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

void putLeDouble(char *p, double d)
{
    putLe64(p, doubleBits(d));
}

QString tagName(const KeptFile &file, const KeptTag &tag)
{
    return QStringLiteral("%1 (Tag %2)").arg(QFileInfo(file.path).fileName(), tag.info.name);
}

// The blank record used to learn the type of a key expression.
class BlankRecord final : public XRecord {
public:
    BlankRecord(const IndexKeeper::RecordView &view, const char *rec) : m_view(view), m_rec(rec) {}
    XValue field(int index) const override { return m_view(m_rec, index); }
    bool deleted() const override { return m_rec[0] == '*'; }
    qint64 recordNumber() const override { return m_number; }
    qint64 m_number = 1;

private:
    const IndexKeeper::RecordView &m_view;
    const char *m_rec;
};

// What a key expression gives for one record: its type and, for text, its
// length in the table's code page. Every record gives the same, so one record
// tells what a tag's keys are made of.
struct KeyShape {
    XValue::Type type = XValue::Char;
    int textBytes = 0;
};
KeyShape keyShapeOn(const XExpression &key, const IndexKeeper::RecordView &view, const char *rec, const TextCodec &codec)
{
    BlankRecord record(view, rec);
    const XValue v = key.evaluate(record);
    KeyShape shape {v.type, 0};
    if (v.type == XValue::Char) {
        QByteArray bytes;
        QChar bad;
        codec.encode(v.text, bytes, &bad);
        shape.textBytes = int(bytes.size());
    }
    return shape;
}

// The keys of a tag in the order the file stores them, in their stored form.
struct StoredKeys {
    int keyLength = 0;
    std::vector<char> keys;
    std::vector<quint32> records;
    qsizetype size() const { return qsizetype(records.size()); }
    const char *key(qsizetype i) const { return keys.data() + i * keyLength; }
};

StoredKeys storedKeys(const KeptTag &tag)
{
    StoredKeys out;
    out.keyLength = tag.info.keyLength;
    std::vector<qsizetype> order;
    order.reserve(size_t(tag.size()));
    for (qsizetype i = 0; i < tag.size(); ++i) {
        // A unique tag keeps the first record of each key.
        if (tag.info.unique && i > 0 && memcmp(tag.keyAt(i - 1), tag.keyAt(i), size_t(tag.sortLength)) == 0)
            continue;
        order.push_back(i);
    }
    if (tag.info.descending)
        std::reverse(order.begin(), order.end());
    out.keys.resize(order.size() * size_t(out.keyLength));
    out.records.reserve(order.size());
    char *to = out.keys.data();
    for (const qsizetype i : order) {
        const QByteArray key = tag.stored(i);
        memcpy(to, key.constData(), size_t(out.keyLength));
        to += out.keyLength;
        out.records.push_back(tag.records[size_t(i)]);
    }
    return out;
}

// Splits n items into groups of at most max, as even as possible (at least one group).
std::vector<std::pair<qsizetype, qsizetype>> groups(qsizetype n, qsizetype max)
{
    std::vector<std::pair<qsizetype, qsizetype>> out;
    const qsizetype count = std::max<qsizetype>(1, (n + max - 1) / max);
    qsizetype at = 0;
    for (qsizetype g = 0; g < count; ++g) {
        const qsizetype size = (n - at) / (count - g) + (((n - at) % (count - g)) ? 1 : 0);
        out.emplace_back(at, size);
        at += size;
    }
    return out;
}

void padTo(QByteArray &out, qint64 unit)
{
    const qint64 rest = out.size() % unit;
    if (rest)
        out.append(QByteArray(unit - rest, '\0'));
}

// ---- FoxPro trees ------------------------------------------------------------

struct FoxChild {
    qint64 offset;
    qsizetype last; // index of the child's last key
};

void linkSiblings(QByteArray &out, const std::vector<FoxChild> &level)
{
    for (size_t i = 0; i < level.size(); ++i) {
        char *p = out.data() + level[i].offset;
        putLe32(p + 4, i == 0 ? 0xFFFFFFFFu : quint32(level[i - 1].offset));
        putLe32(p + 8, i + 1 == level.size() ? 0xFFFFFFFFu : quint32(level[i + 1].offset));
    }
}

// Appends a tree of keys to out (512-aligned nodes) and returns its root's offset.
qint64 appendFoxTree(QByteArray &out, const StoredKeys &keys, bool compact, bool textKeys)
{
    padTo(out, FoxNode);
    const int keyLength = keys.keyLength;
    std::vector<FoxChild> level;
    if (compact) {
        quint32 maxRecord = 1;
        for (const quint32 r : keys.records)
            maxRecord = std::max(maxRecord, r);
        CompactLeafCoder coder(keyLength, textKeys, maxRecord);
        if (!coder.usable())
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Schlüssel sind für eine kompakte FoxPro-Indexdatei zu lang."));
        qsizetype i = 0;
        do {
            QByteArray node(FoxNode, '\0');
            char *p = node.data();
            coder.start(p);
            while (i < keys.size() && coder.add(keys.key(i), keys.records[size_t(i)]))
                ++i;
            if (coder.count() == 0 && i < keys.size())
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Schlüssel sind für eine kompakte FoxPro-Indexdatei zu lang."));
            putLe16(p, 2);
            putLe16(p + 2, quint16(coder.count()));
            coder.finish();
            level.push_back({out.size(), i - 1});
            out.append(node);
        } while (i < keys.size());
    } else {
        const int entry = keyLength + 4;
        const qsizetype max = (FoxNode - 12) / entry;
        for (const auto &[first, n] : groups(keys.size(), max)) {
            QByteArray node(FoxNode, '\0');
            char *p = node.data();
            putLe16(p, 2);
            putLe16(p + 2, quint16(n));
            for (qsizetype k = 0; k < n; ++k) {
                memcpy(p + 12 + k * entry, keys.key(first + k), size_t(keyLength));
                putBe32(p + 12 + k * entry + keyLength, keys.records[size_t(first + k)]);
            }
            level.push_back({out.size(), first + n - 1});
            out.append(node);
        }
    }
    linkSiblings(out, level);

    // Interior levels: one entry per child holding the child's last key.
    const int entry = keyLength + (compact ? 8 : 4);
    const qsizetype max = (FoxNode - 12) / entry;
    while (level.size() > 1) {
        std::vector<FoxChild> upper;
        for (const auto &[first, n] : groups(qsizetype(level.size()), max)) {
            QByteArray node(FoxNode, '\0');
            char *p = node.data();
            putLe16(p, 0);
            putLe16(p + 2, quint16(n));
            for (qsizetype k = 0; k < n; ++k) {
                const FoxChild &child = level[size_t(first + k)];
                char *e = p + 12 + k * entry;
                memcpy(e, keys.key(child.last), size_t(keyLength));
                if (compact) {
                    putBe32(e + keyLength, keys.records[size_t(child.last)]);
                    putBe32(e + keyLength + 4, quint32(child.offset));
                } else {
                    putBe32(e + keyLength, quint32(child.offset));
                }
            }
            upper.push_back({out.size(), level[size_t(first + n - 1)].last});
            out.append(node);
        }
        linkSiblings(out, upper);
        level = std::move(upper);
    }
    char *root = out.data() + level.front().offset;
    putLe16(root, quint16(le16(root) | 1));
    return level.front().offset;
}

// ---- dBASE trees ---------------------------------------------------------------

struct DbChild {
    quint32 block;
    qsizetype last;
};

// Where things lie in a dBASE III/IV index page: the entries after the count,
// and in an entry the record number (leaves) and the key; a branch entry starts
// with its child's page number.
struct DbPageLayout {
    qint64 pageSize;
    int entriesAt;
    int entrySize;
    int recordAt;
    int keyAt;
};

// Appends one tag's leaves, then its branches level by level, to out (counted
// in 512-byte pages); returns the page number of the root.
quint32 appendDbTree(QByteArray &out, const StoredKeys &keys, const DbPageLayout &page, qsizetype leafMax,
                     qsizetype branchMax)
{
    const size_t keyLength = size_t(keys.keyLength);
    std::vector<DbChild> level;
    for (const auto &[first, n] : groups(keys.size(), leafMax)) {
        QByteArray node(page.pageSize, '\0');
        char *p = node.data();
        putLe32(p, quint32(n));
        for (qsizetype k = 0; k < n; ++k) {
            char *e = p + page.entriesAt + k * page.entrySize;
            putLe32(e + page.recordAt, keys.records[size_t(first + k)]);
            memcpy(e + page.keyAt, keys.key(first + k), keyLength);
        }
        level.push_back({quint32(out.size() / 512), first + n - 1});
        out.append(node);
    }
    while (level.size() > 1) {
        std::vector<DbChild> upper;
        for (const auto &[first, n] : groups(qsizetype(level.size()), branchMax + 1)) {
            QByteArray node(page.pageSize, '\0');
            char *p = node.data();
            putLe32(p, quint32(n - 1));
            for (qsizetype k = 0; k < n; ++k) {
                const DbChild &child = level[size_t(first + k)];
                char *e = p + page.entriesAt + k * page.entrySize;
                putLe32(e, child.block);
                if (k + 1 < n)
                    memcpy(e + page.keyAt, keys.key(child.last), keyLength);
            }
            upper.push_back({quint32(out.size() / 512), level[size_t(first + n - 1)].last});
            out.append(node);
        }
        level = std::move(upper);
    }
    return level.front().block;
}

} // namespace

QByteArray sortableDouble(double value)
{
    if (value == 0)
        value = 0; // -0 sorts as 0
    quint64 bits = doubleBits(value);
    bits = (bits >> 63) ? ~bits : (bits | (quint64(1) << 63));
    QByteArray out(8, '\0');
    putBe32(out.data(), quint32(bits >> 32));
    putBe32(out.data() + 4, quint32(bits));
    return out;
}

double fromSortableDouble(const char *p)
{
    quint64 bits = (quint64(be32(p)) << 32) | be32(p + 4);
    bits = (bits >> 63) ? (bits & ~(quint64(1) << 63)) : ~bits;
    return bitsDouble(bits);
}

QByteArray mdxNumber(double value)
{
    // Byte 0: 0x34 plus the number of digits before the point; byte 1: the
    // count of significant digits times 4, plus 1, with 0x80 for negatives;
    // then the digits as BCD, two to a byte.
    QByteArray out(12, '\0');
    if (value == 0 || !std::isfinite(value)) {
        out[0] = char(0x34);
        out[1] = char(0x01);
        return out;
    }
    QString text = QString::number(std::fabs(value), 'f', 10);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    QString integer = point < 0 ? text : text.left(point);
    QString digits = integer + (point < 0 ? QString() : text.mid(point + 1));
    int exponent = integer == QLatin1String("0") ? 0 : int(integer.size());
    qsizetype lead = 0;
    while (lead < digits.size() && digits.at(lead) == QLatin1Char('0'))
        ++lead;
    if (integer == QLatin1String("0"))
        exponent -= int(lead) - 1;
    digits = digits.mid(lead);
    while (digits.endsWith(QLatin1Char('0')))
        digits.chop(1);
    digits = digits.left(20);
    out[0] = char(0x34 + exponent);
    out[1] = char((digits.size() << 2) | 1 | (value < 0 ? 0x80 : 0));
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const int d = digits.at(i).digitValue();
        out[2 + i / 2] = char(quint8(out[2 + i / 2]) | (i % 2 ? d : d << 4));
    }
    return out;
}

QByteArray KeptTag::stored(qsizetype i) const
{
    return storedForm(keyAt(i));
}

QByteArray KeptTag::storedForm(const char *sortKey) const
{
    const int prefix = nullPrefix ? 1 : 0;
    const char *k = sortKey + prefix;
    const QByteArray head(sortKey, prefix);
    switch (encoding) {
    case KeyEncoding::Text:
    case KeyEncoding::FoxNumber:
    case KeyEncoding::FoxLogical:
        return QByteArray(sortKey, sortLength);
    case KeyEncoding::NdxNumber:
    case KeyEncoding::MdxDate: {
        QByteArray out(8, '\0');
        putLeDouble(out.data(), fromSortableDouble(k));
        return head + out;
    }
    case KeyEncoding::MdxNumber:
        return head + mdxNumber(fromSortableDouble(k));
    case KeyEncoding::FoxInteger: {
        QByteArray out(4, '\0');
        const double d = fromSortableDouble(k);
        const qint32 v = qint32(std::clamp<double>(d, -2147483648.0, 2147483647.0));
        putBe32(out.data(), quint32(v) ^ 0x80000000u);
        return head + out;
    }
    }
    return {};
}

// ---- the keeper -----------------------------------------------------------------

IndexKeeper::IndexKeeper(const std::vector<std::unique_ptr<IndexFile>> &files, const QStringList &fieldNames,
                         const TextCodec &codec, RecordView view, QByteArray blankRecord)
    : m_codec(codec), m_view(std::move(view)), m_blank(std::move(blankRecord))
{
    for (const auto &file : files) {
        auto kept = std::make_unique<KeptFile>();
        kept->path = file->path();
        kept->format = file->format();
        const QString name = file->fileName();
        QFile f(file->path());
        if (!f.open(QIODevice::ReadOnly))
            throw ioError(QStringLiteral("Das Lesen der Indexdatei"), file->path(), EACCES);
        const qint64 headerBytes = kept->format == IndexFormat::Mdx ? 2048
                                 : kept->format == IndexFormat::Ndx || kept->format == IndexFormat::Idx ? 512 : 1024;
        kept->header = f.read(headerBytes);
        if (kept->header.size() < headerBytes)
            throw damagedFile(file->path(), QStringLiteral("der Dateikopf ist zu kurz"));
        if (kept->format == IndexFormat::Mdx)
            kept->blockSize = le16(kept->header.constData() + 22);
        for (const IndexTagInfo &info : file->tags()) {
            if (kept->format == IndexFormat::Mdx || kept->format == IndexFormat::Cdx) {
                const qint64 bytes = kept->format == IndexFormat::Mdx ? std::max<qint64>(1024, kept->blockSize) : 1024;
                f.seek(info.header);
                QByteArray h = f.read(bytes);
                if (h.size() < 512)
                    throw damagedFile(file->path(), QStringLiteral("der Kopf des Tags %1 ist zu kurz").arg(info.name));
                h.append(QByteArray(bytes - h.size(), '\0'));
                kept->tagHeaders.push_back(h);
            }
            auto tag = std::make_unique<KeptTag>();
            tag->info = info;
            const auto cannot = [&](const QString &why) {
                return EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Index %1 der Indexdatei %2 hat den Schlüssel „%3“%4, den das "
                                                  "Programm nicht berechnen kann (%5); die Tabelle kann nur gelesen werden.")
                                       .arg(info.name, name, info.keyExpression,
                                            info.forExpression.isEmpty() ? QString()
                                                : QStringLiteral(" mit der Bedingung „%1“").arg(info.forExpression),
                                            why));
            };
            try {
                tag->key = XExpression::parse(info.keyExpression, fieldNames);
                if (!info.forExpression.isEmpty())
                    tag->condition = XExpression::parse(info.forExpression, fieldNames);
            } catch (const EngineError &e) {
                throw cannot(e.message());
            }
            kept->tags.push_back(std::move(tag));
        }
        m_files.push_back(std::move(kept));
    }
}

IndexKeeper::~IndexKeeper() = default;

void IndexKeeper::reset()
{
    for (auto &file : m_files) {
        for (auto &tag : file->tags) {
            tag->keys.clear();
            tag->records.clear();
        }
    }
    m_records = 0;
    m_built = false;
}

QByteArray IndexKeeper::keyOf(const KeptTag &tag, const char *rec, quint32 record, bool *present) const
{
    BlankRecord view(m_view, rec);
    view.m_number = record;
    *present = true;
    if (tag.condition) {
        const XValue c = tag.condition->evaluate(view);
        if (c.type != XValue::Logical)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Bedingung „%1“ des Index %2 ergibt keinen Wahrheitswert.")
                                  .arg(tag.info.forExpression, tag.info.name));
        if (!c.flag) {
            *present = false;
            return {};
        }
    }
    const XValue v = tag.key->evaluate(view);
    if (tag.nullPrefix) {
        // A null key is the prefix 0 and nothing else; others carry 0x80.
        if (v.null)
            return QByteArray(tag.sortLength, '\0');
        return QByteArray(1, '\x80') + payloadOf(tag, v, tag.sortLength - 1);
    }
    return payloadOf(tag, v, tag.sortLength);
}

QByteArray IndexKeeper::payloadOf(const KeptTag &tag, const XValue &v, int length) const
{
    const auto wrong = [&]() {
        return EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Schlüssel „%1“ des Index %2 ergibt einen Wert, der nicht zur Art des "
                                          "Index passt.")
                               .arg(tag.info.keyExpression, tag.info.name));
    };
    switch (tag.encoding) {
    case KeyEncoding::Text: {
        if (v.type != XValue::Char)
            throw wrong();
        QByteArray bytes;
        QChar bad;
        if (!m_codec.encode(v.text, bytes, &bad))
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Das Zeichen „%1“ im Schlüssel des Index %2 lässt sich in der Codepage "
                                             "der Tabelle nicht speichern.")
                                  .arg(bad)
                                  .arg(tag.info.name));
        if (bytes.size() >= length)
            bytes.truncate(length);
        else
            bytes.append(QByteArray(length - bytes.size(), ' '));
        return bytes;
    }
    case KeyEncoding::FoxLogical:
        if (v.type != XValue::Logical)
            throw wrong();
        return QByteArray(1, v.flag ? 'T' : 'F');
    default:
        if (v.type != XValue::Number && v.type != XValue::Date)
            throw wrong();
        return sortableDouble(v.number);
    }
}

namespace {

// The place of key/record among the tag's sorted entries: the first not before it.
qsizetype placeOf(const KeptTag &tag, const QByteArray &key, quint32 record)
{
    const size_t len = size_t(tag.sortLength);
    qsizetype lo = 0, hi = tag.size();
    while (lo < hi) {
        const qsizetype mid = (lo + hi) / 2;
        const int c = memcmp(tag.keyAt(mid), key.constData(), len);
        if (c < 0 || (c == 0 && tag.records[size_t(mid)] < record))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void eraseAt(KeptTag &tag, qsizetype i)
{
    tag.keys.erase(tag.keys.begin() + i * tag.sortLength, tag.keys.begin() + (i + 1) * tag.sortLength);
    tag.records.erase(tag.records.begin() + i);
}

} // namespace

void IndexKeeper::insert(KeptTag &tag, const QByteArray &key, quint32 record)
{
    const qsizetype at = placeOf(tag, key, record);
    tag.keys.insert(tag.keys.begin() + at * tag.sortLength, key.constData(), key.constData() + tag.sortLength);
    tag.records.insert(tag.records.begin() + at, record);
}

void IndexKeeper::erase(KeptTag &tag, const QByteArray &key, quint32 record)
{
    const qsizetype at = placeOf(tag, key, record);
    if (at < tag.size() && tag.records[size_t(at)] == record && memcmp(tag.keyAt(at), key.constData(), size_t(tag.sortLength)) == 0) {
        eraseAt(tag, at);
        return;
    }
    // Not where its key says: look for the record anywhere (its key was computed differently before).
    for (qsizetype i = 0; i < tag.size(); ++i) {
        if (tag.records[size_t(i)] == record) {
            eraseAt(tag, i);
            return;
        }
    }
}

void IndexKeeper::learnTypes(const RecordSource &source)
{
    if (m_typesKnown)
        return;
    // The type of each key decides how it is stored; a blank record shows it.
    const char *first = source(0);
    // An empty table still tells the types through a record of blanks.
    if (!first && !m_blank.isEmpty())
        first = m_blank.constData();
    for (auto &file : m_files) {
        for (auto &tag : file->tags) {
            const IndexTagInfo &info = tag->info;
            XValue::Type type = XValue::Char;
            int natural = info.keyLength; // the key's length without a null prefix
            if (first) {
                // Evaluate on the first record: its field types are those of every record.
                const KeyShape shape = keyShapeOn(*tag->key, m_view, first, m_codec);
                type = shape.type;
                if (type == XValue::Char) {
                    natural = shape.textBytes;
                } else {
                    natural = type == XValue::Logical ? 1 : info.keyLength == 4 || info.keyLength == 5 ? 4 : 8;
                }
            }
            const auto mismatch = [&]() {
                return EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Schlüssel „%1“ des Index %2 passt nicht zur Schlüsselart "
                                                  "der Indexdatei; die Tabelle kann nur gelesen werden.")
                                       .arg(info.keyExpression, tagName(*file, *tag)));
            };
            switch (file->format) {
            case IndexFormat::Ndx:
                tag->encoding = info.keyType == 'C' ? KeyEncoding::Text : KeyEncoding::NdxNumber;
                if (first && (info.keyType == 'C') != (type == XValue::Char))
                    throw mismatch();
                break;
            case IndexFormat::Mdx:
                if (info.keyType == 'C')
                    tag->encoding = KeyEncoding::Text;
                else if (info.keyType == 'D')
                    tag->encoding = KeyEncoding::MdxDate;
                else
                    tag->encoding = KeyEncoding::MdxNumber;
                if (first && (info.keyType == 'C') != (type == XValue::Char))
                    throw mismatch();
                break;
            default:
                if (!first) {
                    // No record tells the type: a key of 4 or 8 bytes that is not
                    // text is not guessed at, the file keeps its keys' length.
                    type = XValue::Char;
                }
                if (type == XValue::Char)
                    tag->encoding = KeyEncoding::Text;
                else if (type == XValue::Logical)
                    tag->encoding = KeyEncoding::FoxLogical;
                else if (info.keyLength == 4 || info.keyLength == 5)
                    tag->encoding = KeyEncoding::FoxInteger;
                else
                    tag->encoding = KeyEncoding::FoxNumber;
            }
            // Visual FoxPro puts a null prefix before keys over null-capable fields,
            // which makes the key one byte longer than its value.
            if (file->format != IndexFormat::Ndx && file->format != IndexFormat::Mdx
                && info.keyLength == natural + 1) {
                for (const int field : tag->key->fields()) {
                    if (size_t(field) < m_nullable.size() && m_nullable[size_t(field)])
                        tag->nullPrefix = true;
                }
            }
            const int prefix = tag->nullPrefix ? 1 : 0;
            if (tag->encoding == KeyEncoding::FoxInteger && info.keyLength != 4 + prefix)
                tag->encoding = KeyEncoding::FoxNumber;
            tag->sortLength = prefix + (tag->encoding == KeyEncoding::Text ? info.keyLength - prefix
                                        : tag->encoding == KeyEncoding::FoxLogical ? 1 : 8);
            const int storedLength = prefix + (tag->encoding == KeyEncoding::MdxNumber ? 12
                                               : tag->encoding == KeyEncoding::FoxInteger ? 4 : tag->sortLength - prefix);
            if (storedLength != info.keyLength)
                throw mismatch();
        }
    }
    m_typesKnown = true;
}

void IndexKeeper::addRecords(qint64 count, const RecordSource &source)
{
    learnTypes(source);
    const qint64 from = m_records;
    if (count <= from) {
        m_built = true;
        return;
    }
    for (auto &file : m_files) {
        for (auto &tag : file->tags) {
            tag->keys.reserve(size_t(count) * size_t(tag->sortLength));
            tag->records.reserve(size_t(count));
        }
    }
    const bool bulk = !m_built || count - from > 64;
    // Building or checking an index walks every record: a long walk on a big table.
    ProgressMeter meter(count - from);
    for (qint64 r = from; r < count; ++r) {
        meter.step(r - from);
        const char *rec = source(r);
        if (!rec)
            break;
        for (auto &file : m_files) {
            for (auto &tag : file->tags) {
                bool present = false;
                const QByteArray key = keyOf(*tag, rec, quint32(r + 1), &present);
                if (!present)
                    continue;
                if (bulk) {
                    tag->keys.insert(tag->keys.end(), key.constData(), key.constData() + tag->sortLength);
                    tag->records.push_back(quint32(r + 1));
                } else {
                    insert(*tag, key, quint32(r + 1));
                }
            }
        }
        m_records = r + 1;
    }
    meter.finish();
    if (bulk) {
        for (auto &file : m_files) {
            for (auto &tag : file->tags) {
                const size_t n = tag->records.size();
                const size_t len = size_t(tag->sortLength);
                std::vector<quint32> order(n);
                std::iota(order.begin(), order.end(), 0u);
                const char *keys = tag->keys.data();
                const auto &records = tag->records;
                std::sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
                    const int c = memcmp(keys + a * len, keys + b * len, len);
                    return c < 0 || (c == 0 && records[a] < records[b]);
                });
                std::vector<char> sortedKeys(n * len);
                std::vector<quint32> sortedRecords(n);
                for (size_t i = 0; i < n; ++i) {
                    memcpy(sortedKeys.data() + i * len, keys + size_t(order[i]) * len, len);
                    sortedRecords[i] = records[order[i]];
                }
                tag->keys = std::move(sortedKeys);
                tag->records = std::move(sortedRecords);
            }
        }
    }
    m_built = true;
}

void IndexKeeper::change(quint32 record, const char *oldRec, const char *newRec)
{
    for (auto &file : m_files) {
        for (auto &tag : file->tags) {
            bool had = false, has = false;
            const QByteArray before = oldRec ? keyOf(*tag, oldRec, record, &had) : QByteArray();
            const QByteArray after = keyOf(*tag, newRec, record, &has);
            if (had == has && before == after)
                continue;
            if (had)
                erase(*tag, before, record);
            if (has)
                insert(*tag, after, record);
        }
    }
    if (!oldRec)
        m_records = std::max<qint64>(m_records, record);
}

// ---- writing files ---------------------------------------------------------------

QByteArray buildNdx(const KeptFile &file)
{
    const KeptTag &tag = *file.tags.front();
    const StoredKeys keys = storedKeys(tag);
    const int keyLength = keys.keyLength;
    const int entry = (keyLength + 8 + 3) / 4 * 4;
    const qsizetype leafMax = (512 - 4) / entry;
    qsizetype branchMax = leafMax;
    if (4 + branchMax * entry + 4 > 512)
        --branchMax;
    if (leafMax < 1 || branchMax < 1)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Schlüssel des Index %1 ist zu lang.").arg(tag.info.name));

    QByteArray out = file.header.left(512);
    out.resize(512, '\0');
    const quint32 root = appendDbTree(out, keys, {512, 4, entry, 4, 8}, leafMax, branchMax);
    char *h = out.data();
    putLe32(h, root);
    putLe32(h + 4, quint32(out.size() / 512));
    putLe16(h + 12, quint16(keyLength));
    putLe16(h + 14, quint16(leafMax));
    putLe16(h + 16, tag.encoding == KeyEncoding::Text ? 0 : 1);
    putLe16(h + 18, quint16(entry));
    h[23] = tag.info.unique ? 1 : 0;
    return out;
}

QByteArray buildMdx(const KeptFile &file)
{
    const qint64 block = file.blockSize;
    QByteArray out = file.header.left(2048);
    out.resize(2048, '\0');
    const int entryLength = quint8(out.at(26));
    padTo(out, block);
    for (size_t t = 0; t < file.tags.size(); ++t) {
        const KeptTag &tag = *file.tags[t];
        const StoredKeys keys = storedKeys(tag);
        const int item = tag.info.entryLength;
        const qsizetype leafMax = (block - 8) / item;
        qsizetype branchMax = leafMax;
        if (8 + branchMax * item + 4 > block)
            --branchMax;
        if (branchMax < 1)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Schlüssel des Index %1 ist zu lang.").arg(tag.info.name));

        const qint64 headerAt = out.size();
        QByteArray header = file.tagHeaders[t];
        padTo(header, block);
        out.append(header);
        const quint32 root = appendDbTree(out, keys, {block, 8, item, 0, 4}, leafMax, branchMax);
        putLe32(out.data() + headerAt, root);
        putLe32(out.data() + 544 + qint64(t) * entryLength, quint32(headerAt / 512));
    }
    char *h = out.data();
    putLe32(h + 32, quint32(out.size() / 512));
    putLe32(h + 36, 0);
    putLe32(h + 40, 0);
    const QDate today = QDate::currentDate();
    h[44] = char(std::clamp(today.year() - 1900, 0, 255));
    h[45] = char(today.month());
    h[46] = char(today.day());
    return out;
}

QByteArray buildFoxPro(const KeptFile &file)
{
    if (file.format == IndexFormat::Idx || file.format == IndexFormat::CompactIdx) {
        const bool compact = file.format == IndexFormat::CompactIdx;
        const KeptTag &tag = *file.tags.front();
        QByteArray out = file.header.left(compact ? 1024 : 512);
        const qint64 root = appendFoxTree(out, storedKeys(tag), compact, tag.encoding == KeyEncoding::Text);
        putLe32(out.data(), quint32(root));
        putLe32(out.data() + 4, 0xFFFFFFFFu);
        return out;
    }
    // Compound: the header, every tag's header and tree, and the tag directory last.
    QByteArray out = file.header.left(1024);
    StoredKeys directory;
    directory.keyLength = le16(out.constData() + 12);
    if (directory.keyLength <= 0 || directory.keyLength > 240)
        throw damagedFile(file.path, QStringLiteral("die Länge der Tag-Namen ist ungültig"));
    std::vector<std::pair<QByteArray, quint32>> names;
    for (size_t t = 0; t < file.tags.size(); ++t) {
        const KeptTag &tag = *file.tags[t];
        padTo(out, FoxNode);
        const qint64 headerAt = out.size();
        out.append(file.tagHeaders[t]);
        const qint64 root = appendFoxTree(out, storedKeys(tag), true, tag.encoding == KeyEncoding::Text);
        putLe32(out.data() + headerAt, quint32(root));
        putLe32(out.data() + headerAt + 4, 0xFFFFFFFFu);
        QByteArray name = tag.info.name.toLatin1().toUpper().left(directory.keyLength);
        name.append(QByteArray(directory.keyLength - name.size(), ' '));
        names.emplace_back(name, quint32(headerAt));
    }
    std::sort(names.begin(), names.end());
    for (const auto &[name, at] : names) {
        directory.keys.insert(directory.keys.end(), name.constData(), name.constData() + name.size());
        directory.records.push_back(at);
    }
    const qint64 root = appendFoxTree(out, directory, true, true);
    putLe32(out.data(), quint32(root));
    putLe32(out.data() + 4, 0xFFFFFFFFu);
    return out;
}

std::vector<IndexEntry> IndexKeeper::freshEntries(size_t file, size_t tag) const
{
    const StoredKeys keys = storedKeys(*m_files.at(file)->tags.at(tag));
    std::vector<IndexEntry> out;
    out.reserve(size_t(keys.size()));
    for (qsizetype i = 0; i < keys.size(); ++i)
        out.push_back({QByteArray(keys.key(i), keys.keyLength), keys.records[size_t(i)]});
    return out;
}

QStringList IndexKeeper::writeBeside() const
{
    QStringList written;
    try {
        for (const auto &file : m_files) {
            QByteArray bytes;
            switch (file->format) {
            case IndexFormat::Ndx: bytes = buildNdx(*file); break;
            case IndexFormat::Mdx: bytes = buildMdx(*file); break;
            default: bytes = buildFoxPro(*file); break;
            }
            const QFileInfo info(file->path);
            const QString temporary = info.dir().filePath(QStringLiteral(".%1.neu").arg(info.fileName()));
            const QByteArray local = QFile::encodeName(temporary);
            struct stat st {};
            const bool haveMode = ::stat(QFile::encodeName(file->path).constData(), &st) == 0;
            ::unlink(local.constData());
            const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                  haveMode ? (st.st_mode & 07777) : 0644);
            if (fd < 0)
                throw ioError(QStringLiteral("Das Schreiben der neuen Indexdatei"), temporary, errno);
            written << temporary;
            try {
                pwriteFully(fd, bytes.constData(), bytes.size(), 0, temporary);
                syncData(fd, temporary);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
        }
    } catch (...) {
        discard(written);
        throw;
    }
    return written;
}

void IndexKeeper::commit(const QStringList &temporary) const
{
    for (size_t i = 0; i < m_files.size() && qsizetype(i) < temporary.size(); ++i)
        renameInto(temporary.at(qsizetype(i)), m_files[i]->path);
}

void IndexKeeper::replaceFiles() const
{
    const QStringList temporary = writeBeside();
    try {
        commit(temporary);
    } catch (...) {
        discard(temporary);
        throw;
    }
}

void IndexKeeper::discard(const QStringList &temporary)
{
    for (const QString &path : temporary)
        ::unlink(QFile::encodeName(path).constData());
}

void IndexKeeper::createNdx(const QString &path, const QString &expression, bool unique, const QStringList &fieldNames,
                            const TextCodec &codec, RecordView view, qint64 count, const RecordSource &source)
{
    KeptFile file;
    file.path = path;
    file.format = IndexFormat::Ndx;
    auto tag = std::make_unique<KeptTag>();
    tag->key = XExpression::parse(expression, fieldNames);
    tag->info.name = QFileInfo(path).completeBaseName();
    tag->info.keyExpression = expression;
    tag->info.unique = unique;
    XValue::Type type = XValue::Char;
    int length = 0;
    if (const char *first = source(0)) {
        const KeyShape shape = keyShapeOn(*tag->key, view, first, codec);
        type = shape.type;
        length = shape.textBytes;
    }
    if (type == XValue::Logical)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Ein Index über einen Wahrheitswert lässt sich nicht als .ndx anlegen."));
    tag->info.keyType = type == XValue::Char ? 'C' : 'N';
    tag->info.keyLength = type == XValue::Char ? std::clamp(length, 1, 100) : 8;
    file.header = QByteArray(512, '\0');
    const QByteArray expr = expression.toLatin1().left(100);
    memcpy(file.header.data() + 24, expr.constData(), size_t(expr.size()));
    file.tags.push_back(std::move(tag));

    IndexKeeper keeper({}, fieldNames, codec, view, QByteArray());
    keeper.m_files.push_back(std::make_unique<KeptFile>(std::move(file)));
    keeper.addRecords(count, source);
    const QStringList temporary = keeper.writeBeside();
    keeper.commit(temporary);
}

namespace {

// A new production index's file header: an .mdx with 1024-byte blocks and a
// table of 48 tags, or a .cdx whose directory is a compact index of tag names.
QByteArray newFileHeader(IndexFormat format, const QString &tableName)
{
    if (format == IndexFormat::Mdx) {
        QByteArray h(2048, '\0');
        h[0] = 2;
        const QByteArray name = tableName.toLatin1().toUpper().left(15);
        memcpy(h.data() + 4, name.constData(), size_t(name.size()));
        h[20] = 2;              // pages per block
        putLe16(h.data() + 22, 1024);
        h[24] = 1;              // production index
        h[25] = 48;             // tag slots
        h[26] = 32;             // tag table entry length
        return h;
    }
    QByteArray h(1024, '\0');
    putLe32(h.data() + 4, 0xFFFFFFFFu);
    putLe16(h.data() + 12, 10); // tag names
    h[14] = char(0xE0);         // compact, compound
    h[15] = 1;
    return h;
}

} // namespace

void IndexKeeper::addTag(size_t file, const QString &path, IndexFormat format, const QString &name, const QString &expression,
                         const QStringList &fieldNames, const RecordSource &source, const QString &tableName)
{
    if (file == m_files.size()) {
        auto created = std::make_unique<KeptFile>();
        created->path = path;
        created->format = format;
        created->header = newFileHeader(format, tableName);
        created->blockSize = 1024;
        m_files.push_back(std::move(created));
    }
    KeptFile &kept = *m_files.at(file);
    auto tag = std::make_unique<KeptTag>();
    try {
        tag->key = XExpression::parse(expression, fieldNames);
    } catch (const EngineError &e) {
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Schlüssel „%1“ lässt sich nicht berechnen: %2").arg(expression, e.message()));
    }
    // The key's type and length from a record: every record has the same.
    const char *first = source(0);
    if (!first)
        first = m_blank.constData();
    const KeyShape shape = keyShapeOn(*tag->key, m_view, first, m_codec);
    IndexTagInfo &info = tag->info;
    info.name = name;
    info.keyExpression = expression;
    const bool fox = kept.format != IndexFormat::Mdx;
    switch (shape.type) {
    case XValue::Char: {
        info.keyType = 'C';
        info.keyLength = shape.textBytes;
        if (info.keyLength < 1 || info.keyLength > (fox ? 240 : 100))
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Schlüssel „%1“ ist %2 Bytes lang; erlaubt sind 1 bis %3.")
                                                           .arg(expression)
                                                           .arg(info.keyLength)
                                                           .arg(fox ? 240 : 100));
        break;
    }
    case XValue::Number:
        info.keyType = 'N';
        info.keyLength = fox ? 8 : 12;
        break;
    case XValue::Date:
        info.keyType = 'D';
        info.keyLength = 8;
        break;
    case XValue::Logical:
        if (!fox)
            throw EngineError(ErrorKind::Unsupported, QStringLiteral("Einen Index über einen Wahrheitswert kennt dBASE nicht."));
        info.keyType = 'L';
        info.keyLength = 1;
        break;
    }
    bool plainField = false;
    for (const QString &f : fieldNames)
        plainField = plainField || f.compare(expression.trimmed(), Qt::CaseInsensitive) == 0;
    const QByteArray expr = expression.toLatin1();
    if (!fox) {
        info.entryLength = (4 + info.keyLength + 3) / 4 * 4;
        QByteArray h(1024, '\0');
        h[8] = char(plainField ? 0x10 : 0);
        h[9] = info.keyType;
        putLe16(h.data() + 12, quint16(info.keyLength));
        putLe16(h.data() + 14, quint16((1024 - 8) / info.entryLength));
        putLe16(h.data() + 18, quint16(info.entryLength));
        memcpy(h.data() + 24, expr.constData(), size_t(std::min<qsizetype>(expr.size(), 219)));
        kept.tagHeaders.push_back(h);
        // The tag table entry: name, key format and type; the header page follows when built.
        const int slot = le16(kept.header.constData() + 28);
        if (slot >= 48)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Indexdatei %1 hat schon 47 Tags.").arg(nativePath(path)));
        char *e = kept.header.data() + 544 + slot * 32;
        const QByteArray tagName = name.toLatin1().left(10);
        memcpy(e + 4, tagName.constData(), size_t(tagName.size()));
        e[15] = h[8];
        e[20] = info.keyType;
        putLe16(kept.header.data() + 28, quint16(slot + 1));
    } else {
        QByteArray h(1024, '\0');
        putLe32(h.data() + 4, 0xFFFFFFFFu);
        putLe16(h.data() + 12, quint16(info.keyLength));
        h[14] = char(0x20); // compact
        h[15] = 1;
        putLe16(h.data() + 506, 1); // no FOR expression: its pool entry is the NUL alone
        putLe16(h.data() + 510, quint16(std::min<qsizetype>(expr.size(), 500) + 1));
        memcpy(h.data() + 512, expr.constData(), size_t(std::min<qsizetype>(expr.size(), 500)));
        kept.tagHeaders.push_back(h);
    }
    kept.tags.push_back(std::move(tag));
    m_typesKnown = false;
    learnTypes(source);
}


} // namespace engine::dbase
