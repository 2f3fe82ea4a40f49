#include "DbfHeader.h"

#include "common/Bytes.h"
#include "common/FileIo.h"
#include "EngineError.h"

#include <algorithm>
#include <cctype>

namespace engine::dbase {

using namespace engine::io;

QString hexByte(quint8 byte)
{
    return QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString nativeTypeName(const DbfField &f)
{
    const QString t = QChar::fromLatin1(f.type);
    switch (f.kind) {
    case DbfField::Character: return QStringLiteral("C(%1)").arg(f.width);
    case DbfField::Numeric:
        return f.decimals ? QStringLiteral("%1(%2,%3)").arg(t).arg(f.width).arg(f.decimals)
                          : QStringLiteral("%1(%2)").arg(t).arg(f.width);
    case DbfField::VarChar: return QStringLiteral("V(%1)").arg(f.width);
    case DbfField::VarBinary: return QStringLiteral("Q(%1)").arg(f.width);
    default: return t;
    }
}

DbfHeader DbfHeader::read(int fd, const QString &path)
{
    DbfHeader h;
    h.readFrom(fd, path);
    return h;
}

void DbfHeader::readFrom(int fd, const QString &path)
{
    const qint64 size = fileSize(fd, path);
    char head[32];
    if (size < 32 || preadFully(fd, head, 32, 0, path) < 32)
        throw damagedFile(path, QStringLiteral("der Dateikopf ist kürzer als 32 Bytes"));

    version = quint8(head[0]);
    switch (version) {
    case 0x04: case 0x8C:
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 ist im Format von dBASE 7 gespeichert, das noch nicht "
                                         "gelesen wird.")
                              .arg(nativePath(path)));
    case 0x02: case 0x03: case 0x43: case 0x63: case 0x7B: case 0x83: case 0x8B: case 0xCB:
    case 0xF5: case 0xFB: case 0x30: case 0x31: case 0x32:
        break;
    default:
        // Other writers set their own high bits on a dBASE III-style file.
        if ((version & 0x07) != 0x03)
            throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine dBASE-Tabelle (unbekannte Versionskennung 0x%2).")
                                  .arg(nativePath(path))
                                  .arg(hexByte(version)));
    }
    // dBASE IV marks an encrypted table with 1 here; other writers leave garbage
    // in this reserved byte.
    if (head[15] == 0x01)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 ist verschlüsselt und kann nicht gelesen werden.")
                              .arg(nativePath(path)));

    const int yy = quint8(head[1]);
    const int year = yy >= 100 ? 1900 + yy : (yy < 80 ? 2000 + yy : 1900 + yy);
    lastUpdate = QDate(year, quint8(head[2]), quint8(head[3]));
    headerCount = le32(head + 4);
    headerLength = le16(head + 8);
    recordLength = le16(head + 10);
    tableFlags = quint8(head[28]);
    languageDriver = quint8(head[29]);

    if (headerLength < 32 + 32 + 1)
        throw damagedFile(path, QStringLiteral("die Kopflänge %1 ist zu klein für eine Tabelle mit Feldern")
                                      .arg(headerLength));
    if (headerLength > size)
        throw damagedFile(path, QStringLiteral("die Datei ist %1 Bytes lang, ihr Kopf soll aber %2 Bytes lang sein")
                                      .arg(size)
                                      .arg(headerLength));
    if (recordLength < 2)
        throw damagedFile(path, QStringLiteral("die Satzlänge %1 ist ungültig").arg(recordLength));

    QByteArray header(headerLength, Qt::Uninitialized);
    if (preadFully(fd, header.data(), headerLength, 0, path) < headerLength)
        throw damagedFile(path, QStringLiteral("der Dateikopf lässt sich nicht ganz lesen"));
    parseFields(header, path);

    recordsInFile = (size - headerLength) / recordLength;
    if (qint64(headerCount) > recordsInFile) {
        // Be lenient like other readers: use the records that are there.
        recordCount = recordsInFile;
        countMismatch = true;
    } else {
        recordCount = headerCount;
    }
}

void DbfHeader::parseFields(const QByteArray &header, const QString &path)
{
    struct Raw {
        QByteArray name;
        char type;
        int width;
        int decimals;
        quint8 flags;
        int descriptor;
    };
    std::vector<Raw> raws;
    const char *h = header.constData();
    int pos = 32;
    int fieldBytes = 1;
    while (pos < headerLength && h[pos] != 0x0D) {
        // Some writers end the descriptors with another byte; where the rest of
        // the header cannot hold a descriptor and the fields fill the record,
        // that is the end.
        if (pos + 32 > headerLength && fieldBytes == recordLength)
            break;
        if (pos + 32 > headerLength)
            throw damagedFile(path, QStringLiteral("die Felddefinitionen reichen über das Ende des Dateikopfs "
                                                     "(%1 Bytes) hinaus")
                                          .arg(headerLength));
        Raw r;
        const char *d = h + pos;
        r.name = QByteArray(d, int(qstrnlen(d, 11)));
        r.type = char(std::toupper(static_cast<unsigned char>(d[11])));
        r.width = quint8(d[16]);
        r.decimals = quint8(d[17]);
        r.flags = quint8(d[18]);
        r.descriptor = int(raws.size());
        fieldBytes += r.width;
        raws.push_back(r);
        pos += 32;
    }
    if (raws.empty())
        throw damagedFile(path, QStringLiteral("der Dateikopf beschreibt keine Felder"));

    // Clipper and FoxPro keep character fields longer than 255 bytes with the
    // high byte of the width in the decimals byte; the record length tells
    // whether a file means it so.
    qint64 plain = 1;
    qint64 extended = 1;
    for (const Raw &r : raws) {
        plain += r.width;
        extended += r.type == 'C' ? r.width + 256 * r.decimals : r.width;
    }
    const bool useExtended = extended != plain && (extended == recordLength || (plain != recordLength && extended <= recordLength));
    const qint64 total = useExtended ? extended : plain;
    if (total > recordLength)
        throw damagedFile(path, QStringLiteral("die Satzlänge %1 ist kleiner als die Summe der Feldbreiten (%2)")
                                      .arg(recordLength)
                                      .arg(total));

    // Decode names with the header's code page only later; names are ASCII in practice.
    const bool vfp = isVisualFoxPro(version);
    int offset = 1;
    int bit = 0;
    for (const Raw &r : raws) {
        DbfField f;
        f.name = QString::fromLatin1(r.name).trimmed();
        if (f.name.isEmpty())
            f.name = QStringLiteral("FELD%1").arg(r.descriptor + 1);
        f.type = r.type;
        f.width = r.width;
        f.decimals = r.decimals;
        f.flags = vfp ? r.flags : 0;
        f.descriptor = r.descriptor;
        f.offset = offset;
        const auto badWidth = [&](const char *expected) {
            return damagedFile(path, QStringLiteral("das Feld %1 vom Typ %2 hat die Breite %3 statt %4")
                                           .arg(f.name)
                                           .arg(QLatin1Char(f.type))
                                           .arg(f.width)
                                           .arg(QLatin1String(expected)));
        };
        const auto memoPointer = [&]() {
            if (f.width == 4)
                f.binaryPointer = true;
            else if (f.width != 10)
                throw badWidth("4 oder 10");
        };
        switch (f.type) {
        case 'C':
            f.kind = DbfField::Character;
            if (useExtended) {
                f.width = r.width + 256 * r.decimals;
                f.decimals = 0;
            }
            break;
        case 'N': case 'F':
            f.kind = DbfField::Numeric;
            if (f.decimals >= f.width && f.decimals > 0)
                f.decimals = std::max(0, f.width - 2);
            f.integerValue = f.decimals == 0 && f.width <= 18;
            break;
        case 'D':
            f.kind = DbfField::Date;
            if (f.width != 8)
                throw badWidth("8");
            break;
        case 'L':
            f.kind = DbfField::Logical;
            if (f.width != 1)
                throw badWidth("1");
            break;
        case 'M':
            f.kind = (f.flags & 0x04) ? DbfField::MemoBinary : DbfField::MemoText;
            memoPointer();
            break;
        case 'G': case 'P': case 'W':
            f.kind = DbfField::MemoBinary;
            memoPointer();
            break;
        case 'B':
            // A double in Visual FoxPro, a binary memo in dBASE 5.
            if (vfp && f.width == 8) {
                f.kind = DbfField::Double;
            } else {
                f.kind = DbfField::MemoBinary;
                memoPointer();
            }
            break;
        case 'I':
            f.kind = DbfField::Integer;
            if (f.width != 4)
                throw badWidth("4");
            f.autoIncrement = vfp && (f.flags & 0x08);
            break;
        case 'Y':
            f.kind = DbfField::Currency;
            if (f.width != 8)
                throw badWidth("8");
            break;
        case 'T':
            f.kind = DbfField::DateTime;
            if (f.width != 8)
                throw badWidth("8");
            break;
        case 'V':
            f.kind = DbfField::VarChar;
            break;
        case 'Q':
            f.kind = DbfField::VarBinary;
            break;
        case '0':
            // _NullFlags: a system field, not shown.
            if (nullFlagsOffset < 0) {
                nullFlagsOffset = offset;
                nullFlagsWidth = f.width;
            }
            offset += f.width;
            continue;
        default:
            throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 enthält das Feld %2 mit dem unbekannten Typ '%3'.")
                                  .arg(nativePath(path), f.name)
                                  .arg(QChar::fromLatin1(f.type)));
        }
        if (f.width < 1)
            throw damagedFile(path, QStringLiteral("das Feld %1 hat die Breite 0").arg(f.name));
        offset += f.width;
        fields.push_back(f);
    }
    // Visual FoxPro gives each variable-length field a bit for "length in the
    // last byte" and then each nullable field a bit for null, in field order.
    if (vfp) {
        for (DbfField &f : fields) {
            if (f.kind == DbfField::VarChar || f.kind == DbfField::VarBinary)
                f.varBit = bit++;
            if (f.flags & 0x02)
                f.nullBit = bit++;
        }
    }
}

} // namespace engine::dbase
