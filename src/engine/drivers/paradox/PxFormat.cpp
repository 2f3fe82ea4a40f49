#include "PxFormat.h"

#include "EngineError.h"
#include "ValueText.h"
#include "common/FileIo.h"

#include <QDateTime>
#include <QFile>
#include <cmath>
#include <cstring>

namespace engine::paradox {

using io::damagedFile;
using io::le16;
using io::le32;
using io::nativePath;

QString versionText(int version)
{
    switch (version) {
    case 30: return QStringLiteral("Paradox 3.0");
    case 35: return QStringLiteral("Paradox 3.5");
    case 40: return QStringLiteral("Paradox 4.x");
    case 50: return QStringLiteral("Paradox 5.x");
    case 70: return QStringLiteral("Paradox 7.x");
    default: return QStringLiteral("Paradox");
    }
}

namespace {

int versionFromId(quint8 id)
{
    switch (id) {
    case 3: return 30;
    case 4: return 35;
    case 5: case 6: case 7: case 8: case 9: return 40;
    case 10: case 11: return 50;
    case 12: return 70;
    default: return 0;
    }
}

// Files that carry the second header part (code page, encryption) from version 4 on.
bool hasDataHeader(quint8 fileType)
{
    return fileType == PxKeyedTable || fileType == PxPlainTable || fileType == PxSecondaryIndex
        || fileType == PxSecondaryIndexInc || fileType == PxCompositeIndex || fileType == PxCompositeIndexInc;
}

int fixedSize(quint8 type)
{
    switch (type) {
    case PxDate: case PxLong: case PxTime: case PxAutoInc: return 4;
    case PxShort: return 2;
    case PxCurrency: case PxNumber: case PxTimestamp: return 8;
    case PxLogical: return 1;
    case PxBcd: return BcdSize;
    default: return 0;
    }
}

} // namespace

PxHeader readHeader(int fd, const QString &path)
{
    const qint64 size = io::fileSize(fd, path);
    char head[off::FieldInfoV4];
    memset(head, 0, sizeof head);
    if (size < off::FieldInfoV3)
        throw damagedFile(path, QStringLiteral("die Datei ist mit %1 Bytes zu kurz für einen Paradox-Dateikopf").arg(size));
    io::preadFully(fd, head, std::min<qint64>(size, sizeof head), 0, path);

    PxHeader h;
    h.recordSize = le16(head + off::RecordSize);
    h.headerSize = le16(head + off::HeaderSize);
    h.fileType = quint8(head[off::FileType]);
    h.versionId = quint8(head[off::VersionId]);
    h.version = versionFromId(h.versionId);
    if (h.version == 0 || h.fileType > 8)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Paradox-Tabelle (unbekannte Versionskennung %2, "
                                         "Dateiart %3).")
                              .arg(nativePath(path))
                              .arg(h.versionId)
                              .arg(h.fileType));
    const int blockK = quint8(head[off::BlockSizeK]);
    if (blockK < 1 || blockK > 32)
        throw damagedFile(path, QStringLiteral("die Blockgröße %1 KB ist ungültig").arg(blockK));
    h.blockSize = blockK * 1024;
    h.numRecords = le32(head + off::NumRecords);
    h.usedBlocks = le16(head + off::UsedBlocks);
    h.fileBlocks = le16(head + off::FileBlocks);
    h.firstBlock = le16(head + off::FirstBlock);
    h.lastBlock = le16(head + off::LastBlock);
    const int numFields = le16(head + off::NumFields);
    h.keyFields = le16(head + off::KeyFields);
    h.sortOrder = quint8(head[off::SortOrder]);
    h.autoInc = le32(head + off::AutoInc);
    const bool dataHeader = h.version >= 40 && hasDataHeader(h.fileType);
    h.encryption = dataHeader ? le32(head + off::Encryption2) : le32(head + off::Encryption1);
    h.codePage = dataHeader ? le16(head + off::CodePage) : 0;

    const int fieldInfo = dataHeader ? off::FieldInfoV4 : off::FieldInfoV3;
    if (numFields < 1 || numFields > 1024)
        throw damagedFile(path, QStringLiteral("die Zahl der Felder (%1) ist ungültig").arg(numFields));
    if (h.keyFields > numFields)
        throw damagedFile(path, QStringLiteral("der Schlüssel soll %1 Felder haben, die Tabelle hat aber nur %2")
                                    .arg(h.keyFields)
                                    .arg(numFields));
    if (h.headerSize < fieldInfo + 2 * numFields || h.headerSize > size)
        throw damagedFile(path, QStringLiteral("die Kopflänge %1 passt nicht zur Datei (%2 Bytes, %3 Felder)")
                                    .arg(h.headerSize)
                                    .arg(size)
                                    .arg(numFields));
    if (h.recordSize < 1 || h.recordSize > h.blockSize - BlockHeaderSize)
        throw damagedFile(path, QStringLiteral("die Satzlänge %1 passt nicht in einen Block von %2 Bytes")
                                    .arg(h.recordSize)
                                    .arg(h.blockSize));
    if (h.fileBlocks > 0 && blockOffset(h, h.fileBlocks) > size)
        h.fileBlocks = quint16((size - h.headerSize) / h.blockSize); // a short file: use what is there

    QByteArray header(h.headerSize, Qt::Uninitialized);
    if (io::preadFully(fd, header.data(), h.headerSize, 0, path) < h.headerSize)
        throw damagedFile(path, QStringLiteral("der Dateikopf lässt sich nicht ganz lesen"));
    const char *b = header.constData();

    int offset = 0;
    for (int i = 0; i < numFields; ++i) {
        PxField f;
        f.type = quint8(b[fieldInfo + 2 * i]);
        const int stored = quint8(b[fieldInfo + 2 * i + 1]);
        f.offset = offset;
        const int fixed = fixedSize(f.type);
        if (f.type == PxBcd) {
            f.size = BcdSize;
            f.decimals = stored;
            if (stored > 32)
                throw damagedFile(path, QStringLiteral("das BCD-Feld %1 soll %2 Nachkommastellen haben").arg(i + 1).arg(stored));
        } else if (fixed > 0) {
            f.size = fixed;
            if (stored != fixed)
                throw damagedFile(path, QStringLiteral("das Feld %1 vom Typ %2 ist %3 statt %4 Bytes breit")
                                            .arg(i + 1)
                                            .arg(f.type)
                                            .arg(stored)
                                            .arg(fixed));
        } else if (f.type == PxAlpha || f.type == PxBytes) {
            f.size = stored;
            if (stored < 1)
                throw damagedFile(path, QStringLiteral("das Feld %1 hat die Breite 0").arg(i + 1));
        } else if (f.isBlob()) {
            f.size = stored;
            if (stored < BlobDescriptorSize)
                throw damagedFile(path, QStringLiteral("das Blob-Feld %1 ist nur %2 Bytes breit").arg(i + 1).arg(stored));
        } else {
            throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 enthält im Feld %2 den unbekannten Paradox-Feldtyp 0x%3.")
                                  .arg(nativePath(path))
                                  .arg(i + 1)
                                  .arg(QString::number(f.type, 16).toUpper()));
        }
        offset += f.size;
        h.fields.push_back(f);
    }
    if (offset != h.recordSize)
        throw damagedFile(path, QStringLiteral("die Satzlänge %1 stimmt nicht mit der Summe der Feldbreiten (%2) überein")
                                    .arg(h.recordSize)
                                    .arg(offset));

    // The primary index file carries no names; tables and secondary indexes do.
    if (h.fileType == PxPrimaryIndex) {
        for (size_t i = 0; i < h.fields.size(); ++i)
            h.fields[i].name = QStringLiteral("Feld%1").arg(i + 1);
        return h;
    }
    const int nameLength = h.version >= 70 ? 261 : 79;
    int pos = fieldInfo + 2 * numFields + 4 + 4 * numFields;
    if (pos + nameLength > h.headerSize)
        throw damagedFile(path, QStringLiteral("der Dateikopf endet vor dem Tabellennamen"));
    const CodePage cp = codePageFor(h);
    TextCodec codec;
    codec.setCodePage(cp);
    h.tableName = codec.decode(b + pos, qstrnlen(b + pos, nameLength));
    pos += nameLength;
    const auto nextString = [&](const char *what) {
        if (pos >= h.headerSize)
            throw damagedFile(path, QStringLiteral("der Dateikopf endet vor %1").arg(QLatin1String(what)));
        const int len = int(qstrnlen(b + pos, size_t(h.headerSize - pos)));
        if (pos + len >= h.headerSize)
            throw damagedFile(path, QStringLiteral("der Dateikopf endet vor %1").arg(QLatin1String(what)));
        const QString s = codec.decode(b + pos, len);
        pos += len + 1;
        return s;
    };
    for (PxField &f : h.fields) {
        f.name = nextString("den Feldnamen");
        if (f.name.isEmpty())
            f.name = QStringLiteral("Feld%1").arg(&f - h.fields.data() + 1);
    }
    if (dataHeader) {
        pos += 2 * numFields; // field numbers
        if (pos < h.headerSize) {
            const int len = int(qstrnlen(b + pos, size_t(h.headerSize - pos)));
            h.sortOrderName = QString::fromLatin1(b + pos, len);
        }
    }
    return h;
}

CodePage codePageFor(const PxHeader &h)
{
    if (h.codePage != 0) {
        if (auto cp = codePageForNumber(h.codePage))
            return *cp;
        const QByteArray ibm = "IBM" + QByteArray::number(h.codePage);
        QStringDecoder probe(ibm.constData());
        if (probe.isValid())
            return {h.codePage, ibm};
    }
    // Tables without a code page name their character set through the sort order.
    if (h.sortOrderName.startsWith(QLatin1String("BLROM8"), Qt::CaseInsensitive))
        return {1051, QByteArrayLiteral("hp-roman8")};
    if (h.sortOrderName.startsWith(QLatin1String("ANSI"), Qt::CaseInsensitive))
        return {1252, QByteArrayLiteral("windows-1252")};
    return {437, QByteArrayLiteral("IBM437")};
}

FieldDef fieldDefFor(const PxField &f, int fieldNo)
{
    FieldDef d;
    d.name = f.name;
    d.fieldNo = fieldNo;
    d.size = f.size;
    switch (f.type) {
    case PxAlpha: d.dataType = ftString; d.nativeType = QStringLiteral("A%1").arg(f.size); break;
    case PxDate: d.dataType = ftDate; d.nativeType = QStringLiteral("D"); break;
    case PxShort: d.dataType = ftSmallint; d.nativeType = QStringLiteral("S"); break;
    case PxLong: d.dataType = ftInteger; d.nativeType = QStringLiteral("I"); break;
    case PxCurrency: d.dataType = ftCurrency; d.scale = 2; d.nativeType = QStringLiteral("$"); break;
    case PxNumber: d.dataType = ftFloat; d.nativeType = QStringLiteral("N"); break;
    case PxLogical: d.dataType = ftBoolean; d.nativeType = QStringLiteral("L"); break;
    case PxMemo: d.dataType = ftMemo; d.nativeType = QStringLiteral("M%1").arg(f.leader()); break;
    case PxBlob: d.dataType = ftBlob; d.nativeType = QStringLiteral("B%1").arg(f.leader()); break;
    case PxFmtMemo: d.dataType = ftFmtMemo; d.nativeType = QStringLiteral("F%1").arg(f.leader()); break;
    case PxOle: d.dataType = ftParadoxOle; d.nativeType = QStringLiteral("O%1").arg(f.leader()); break;
    case PxGraphic: d.dataType = ftGraphic; d.nativeType = QStringLiteral("G%1").arg(f.leader()); break;
    case PxTime: d.dataType = ftTime; d.nativeType = QStringLiteral("T"); break;
    case PxTimestamp: d.dataType = ftDateTime; d.nativeType = QStringLiteral("@"); break;
    case PxAutoInc: d.dataType = ftAutoInc; d.nativeType = QStringLiteral("+"); break;
    case PxBcd:
        d.dataType = ftBCD;
        d.precision = 32;
        d.scale = f.decimals;
        d.nativeType = QStringLiteral("#%1").arg(f.decimals);
        break;
    case PxBytes: d.dataType = ftBytes; d.nativeType = QStringLiteral("Y%1").arg(f.size); break;
    default: d.dataType = ftUnknown; break;
    }
    return d;
}

bool isAllZero(const char *p, int size)
{
    for (int i = 0; i < size; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

namespace {

qint64 signedBe(const char *p, int size)
{
    quint64 raw = 0;
    for (int i = 0; i < size; ++i)
        raw = (raw << 8) | quint8(p[i]);
    const quint64 sign = quint64(1) << (8 * size - 1);
    raw ^= sign;
    // Sign-extend from size bytes.
    if (raw & sign)
        return qint64(raw | ~((sign << 1) - 1));
    return qint64(raw);
}

void putSignedBe(char *p, int size, qint64 v)
{
    quint64 raw = quint64(v) ^ (quint64(1) << (8 * size - 1));
    for (int i = size - 1; i >= 0; --i) {
        p[i] = char(raw & 0xFF);
        raw >>= 8;
    }
}

double doubleBe(const char *p)
{
    unsigned char b[8];
    memcpy(b, p, 8);
    if (b[0] & 0x80) {
        b[0] &= 0x7F;
    } else {
        for (unsigned char &c : b)
            c = static_cast<unsigned char>(~c);
    }
    quint64 bits = 0;
    for (unsigned char c : b)
        bits = (bits << 8) | c;
    double d;
    memcpy(&d, &bits, 8);
    return d;
}

void putDoubleBe(char *p, double d)
{
    if (d == 0)
        d = 0; // no negative zero: it would read back as a tiny negative
    quint64 bits;
    memcpy(&bits, &d, 8);
    for (int i = 7; i >= 0; --i) {
        p[i] = char(bits & 0xFF);
        bits >>= 8;
    }
    if (p[0] & 0x80) {
        for (int i = 0; i < 8; ++i)
            p[i] = char(~p[i]);
    } else {
        p[0] = char(quint8(p[0]) | 0x80);
    }
}

QVariant decodeBcd(const PxField &f, const char *p)
{
    const quint8 head = quint8(p[0]);
    const bool negative = !(head & 0x80);
    const int scale = std::min(int(head & 0x3F), 32);
    const quint8 flip = negative ? 0x0F : 0x00;
    QByteArray text;
    text.reserve(40);
    if (negative)
        text += '-';
    const auto nibble = [&](int i) { return quint8((quint8(p[i / 2]) >> (i % 2 ? 0 : 4)) & 0x0F) ^ flip; };
    bool digits = false;
    for (int i = 2; i < 34 - scale; ++i) {
        const quint8 n = nibble(i);
        if (n > 9)
            return QVariant();
        if (n != 0 || digits) {
            text += char('0' + n);
            digits = true;
        }
    }
    if (!digits)
        text += '0';
    if (scale > 0) {
        text += '.';
        // Writers that converted from binary floating point leave noise after the
        // significant digits; only the digits before it count.
        for (int i = 34 - scale; i < 34; ++i) {
            const quint8 n = nibble(i);
            if (n > 9)
                break;
            text += char('0' + n);
        }
    }
    Q_UNUSED(f);
    bool ok = false;
    const double d = text.toDouble(&ok);
    return ok ? QVariant(d) : QVariant();
}

EngineError valueError(const PxField &f, const QString &text)
{
    return EngineError(ErrorKind::RefusedValue, QStringLiteral("%1: %2").arg(f.name, text));
}

qint64 integerFrom(const PxField &f, const QVariant &v)
{
    bool ok = false;
    qint64 n = 0;
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool() ? 1 : 0;
    case QMetaType::Double: case QMetaType::Float: {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18)
            throw valueError(f, msg::invalidInteger(formatFloat(d)));
        return qint64(d);
    }
    case QMetaType::QString: {
        const QVariant parsed = parseValue(v.toString().trimmed(), ftLargeint);
        n = parsed.toLongLong(&ok);
        break;
    }
    default: n = v.toLongLong(&ok); break;
    }
    if (!ok)
        throw valueError(f, msg::invalidInteger(v.toString()));
    return n;
}

double doubleFrom(const PxField &f, const QVariant &v, TFieldType type)
{
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? parseValue(v.toString().trimmed(), type).toDouble(&ok)
                                                      : v.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        throw valueError(f, msg::invalidFloat(v.toString()));
    return d;
}

void encodeBcd(const PxField &f, double d, char *p)
{
    const int scale = f.decimals;
    const bool negative = d < 0;
    // Digits with the scale's decimals, rounded as Paradox rounds (half away from zero).
    const QByteArray digits = QByteArray::number(std::fabs(d), 'f', scale);
    const qsizetype dot = digits.indexOf('.');
    QByteArray intPart = dot < 0 ? digits : digits.left(dot);
    QByteArray fracPart = dot < 0 ? QByteArray() : digits.mid(dot + 1);
    while (intPart.size() > 1 && intPart.startsWith('0'))
        intPart.remove(0, 1);
    if (intPart != "0" && intPart.size() > 32 - scale)
        throw valueError(f, QStringLiteral("die Zahl %1 hat mehr als %2 Stellen vor dem Komma").arg(formatFloat(d)).arg(32 - scale));
    if (intPart == "0")
        intPart.clear();
    const QByteArray all = intPart.rightJustified(32 - scale, '0') + fracPart.leftJustified(scale, '0');
    const bool zero = all.count('0') == all.size();
    const quint8 flip = negative && !zero ? 0x0F : 0x00;
    memset(p, 0, BcdSize);
    p[0] = char((negative && !zero ? 0x40 : 0xC0) | scale);
    for (int i = 0; i < 32; ++i) {
        const quint8 n = quint8(all.at(i) - '0') ^ flip;
        const int nib = i + 2;
        char &byte = p[nib / 2];
        byte = char(quint8(byte) | (nib % 2 ? n : quint8(n << 4)));
    }
}

} // namespace

QVariant decodeFixed(const PxField &f, const char *p)
{
    if (isAllZero(p, f.size))
        return QVariant();
    switch (f.type) {
    case PxShort: return qint64(signedBe(p, 2));
    case PxLong: case PxAutoInc: return qint64(signedBe(p, 4));
    case PxDate: {
        const qint64 days = signedBe(p, 4);
        const QDate d = QDate::fromJulianDay(days + JulianDayOfYearZero);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case PxTime: {
        const qint64 ms = signedBe(p, 4);
        if (ms < 0 || ms >= 86400000)
            return QVariant();
        return QTime::fromMSecsSinceStartOfDay(int(ms));
    }
    case PxCurrency: case PxNumber: return doubleBe(p);
    case PxTimestamp: {
        const double ms = doubleBe(p);
        if (!std::isfinite(ms) || ms < 0 || ms > 4e14)
            return QVariant();
        const qint64 total = qint64(std::llround(ms));
        const qint64 days = total / 86400000;
        const QDate date = QDate::fromJulianDay(days + JulianDayOfYearZero);
        if (!date.isValid())
            return QVariant();
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(total % 86400000)));
    }
    case PxLogical: return (quint8(p[0]) & 0x7F) != 0;
    case PxBcd: return decodeBcd(f, p);
    case PxBytes: return QByteArray(p, f.size);
    default: return QVariant();
    }
}

void encodeFixed(const PxField &f, const QVariant &value, char *p)
{
    const auto rangeCheck = [&](qint64 n, qint64 limit) {
        if (n < -limit || n > limit)
            throw valueError(f, QStringLiteral("die Zahl %1 liegt außerhalb von -%2 bis %2").arg(n).arg(limit));
        return n;
    };
    switch (f.type) {
    case PxShort: putSignedBe(p, 2, rangeCheck(integerFrom(f, value), 32767)); return;
    case PxLong: case PxAutoInc: putSignedBe(p, 4, rangeCheck(integerFrom(f, value), 2147483647)); return;
    case PxDate: {
        const QDate d = dateOf(value);
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            throw valueError(f, msg::invalidDate(value.toString()));
        putSignedBe(p, 4, d.toJulianDay() - JulianDayOfYearZero);
        return;
    }
    case PxTime: {
        QTime t;
        if (value.typeId() == QMetaType::QTime)
            t = value.toTime();
        else if (value.typeId() == QMetaType::QDateTime)
            t = value.toDateTime().time();
        else
            t = parseValue(value.toString(), ftTime).toTime();
        if (!t.isValid())
            throw valueError(f, msg::invalidTime(value.toString()));
        putSignedBe(p, 4, t.msecsSinceStartOfDay());
        return;
    }
    case PxTimestamp: {
        const QDateTime dt = dateTimeOf(value);
        if (!dt.isValid() || dt.date().year() < 1 || dt.date().year() > 9999)
            throw valueError(f, msg::invalidDateTime(value.toString()));
        const double ms = double(dt.date().toJulianDay() - JulianDayOfYearZero) * 86400000.0
            + dt.time().msecsSinceStartOfDay();
        putDoubleBe(p, ms);
        return;
    }
    case PxCurrency: putDoubleBe(p, doubleFrom(f, value, ftCurrency)); return;
    case PxNumber: putDoubleBe(p, doubleFrom(f, value, ftFloat)); return;
    case PxLogical: {
        bool b;
        if (value.typeId() == QMetaType::Bool)
            b = value.toBool();
        else if (value.typeId() == QMetaType::QString)
            b = parseValue(value.toString(), ftBoolean).toBool();
        else
            b = integerFrom(f, value) != 0;
        p[0] = char(b ? 0x81 : 0x80);
        return;
    }
    case PxBcd: encodeBcd(f, doubleFrom(f, value, ftBCD), p); return;
    case PxBytes: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.size() > f.size)
            throw valueError(f, QStringLiteral("der Wert ist %1 Bytes lang, das Feld fasst %2").arg(bytes.size()).arg(f.size));
        memset(p, 0, size_t(f.size));
        memcpy(p, bytes.constData(), size_t(bytes.size()));
        return;
    }
    default:
        throw valueError(f, QStringLiteral("der Feldtyp lässt sich so nicht speichern"));
    }
}

namespace {

QString textOf(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QString: return v.toString();
    case QMetaType::QDate: return formatDate(v.toDate());
    case QMetaType::QTime: return formatTime(v.toTime());
    case QMetaType::QDateTime: return formatDateTime(v.toDateTime());
    case QMetaType::Bool: return formatValue(v, ftBoolean);
    case QMetaType::Double: case QMetaType::Float: return formatFloat(v.toDouble());
    default: return v.toString();
    }
}

// The text of a value, read in place where it is one: a copy would count
// references to a text that another thread may have made.
const QString &textIn(const QVariant &v, QString &converted)
{
    if (v.typeId() == QMetaType::QString)
        return *static_cast<const QString *>(v.constData());
    converted = textOf(v);
    return converted;
}

QByteArray encodeText(const PxField &f, const TextCodec &codec, const QString &text)
{
    return codec.encodeField(text, f.name);
}

} // namespace

void encodeValue(const PxField &f, const TextCodec &codec, const QVariant &value, char *p,
                 quint16 modification, const std::function<quint32(const QByteArray &, quint16)> &storeBlob)
{
    QString converted;
    if (f.type == PxAlpha) {
        const QByteArray bytes = value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                          : encodeText(f, codec, textIn(value, converted));
        if (bytes.size() > f.size)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Der Wert für das Feld %1 ist zu lang: %2 Zeichen, das Feld fasst %3.")
                                  .arg(f.name)
                                  .arg(value.typeId() == QMetaType::QByteArray ? bytes.size() : textIn(value, converted).size())
                                  .arg(f.size));
        memset(p, 0, size_t(f.size));
        memcpy(p, bytes.constData(), size_t(bytes.size()));
        return;
    }
    if (!f.isBlob()) {
        encodeFixed(f, value, p);
        return;
    }
    QByteArray data;
    if (f.type == PxMemo || f.type == PxFmtMemo) {
        data = value.typeId() == QMetaType::QByteArray ? value.toByteArray() : encodeText(f, codec, textIn(value, converted));
    } else {
        data = value.toByteArray();
        if (f.type == PxGraphic && !data.isEmpty()) {
            // Graphics carry their length in an 8-byte prefix.
            QByteArray prefix(8, '\0');
            prefix[0] = 1;
            prefix[3] = 1;
            io::putLe32(prefix.data() + 4, quint32(data.size()));
            data.prepend(prefix);
        }
    }
    const int leader = f.leader();
    memset(p, 0, size_t(f.size));
    if (data.isEmpty())
        return; // an empty value is NULL
    quint32 offsetIndex = 0;
    if (data.size() > leader)
        offsetIndex = storeBlob(data, modification);
    memcpy(p, data.constData(), size_t(std::min<qsizetype>(leader, data.size())));
    io::putLe32(p + leader, offsetIndex);
    io::putLe32(p + leader + 4, quint32(data.size()));
    io::putLe16(p + leader + 8, modification);
}

QString primaryIndexFault(const QString &path, int keySize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Der Primärindex %1 lässt sich nicht lesen.").arg(io::nativePath(path));
    const QByteArray head = file.read(0x58);
    if (head.size() < 0x58)
        return QStringLiteral("Der Primärindex %1 ist zu kurz.").arg(io::nativePath(path));
    const char *p = head.constData();
    const int blockK = quint8(p[off::BlockSizeK]);
    if (quint8(p[off::FileType]) != PxPrimaryIndex || io::le16(p + off::RecordSize) != quint16(keySize + 6)
        || io::le16(p + off::HeaderSize) < 0x58 || (blockK != 1 && blockK != 2 && blockK != 4 && blockK != 8
                                                     && blockK != 16 && blockK != 32))
        return QStringLiteral("Die Datei %1 ist kein Primärindex zu dieser Tabelle.").arg(io::nativePath(path));
    return {};
}

} // namespace engine::paradox
