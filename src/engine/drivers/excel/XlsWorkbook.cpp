// glib's headers use the word "signals": they come before any Qt header.
#include "XlsWorkbook.h"

#include "EngineError.h"
#include "GsfLibrary.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace engine::xls {

namespace {

// Record numbers (the same in BIFF5 and BIFF8 where both have the record).
enum : quint16 {
    rEOF = 0x000A, rBOF = 0x0809, rCONTINUE = 0x003C, rFILEPASS = 0x002F, rCODEPAGE = 0x0042,
    rDATEMODE = 0x0022, rFORMAT = 0x041E, rFORMAT_BIFF4 = 0x001E, rXF = 0x00E0, rSST = 0x00FC,
    rBOUNDSHEET = 0x0085, rSUPBOOK = 0x01AE, rEXTERNSHEET = 0x0017, rNAME = 0x0018,
    rNUMBER = 0x0203, rRK = 0x027E, rMULRK = 0x00BD, rLABELSST = 0x00FD, rLABEL = 0x0204,
    rRSTRING = 0x00D6, rBOOLERR = 0x0205, rFORMULA = 0x0006, rSTRING = 0x0207,
    rSHRFMLA = 0x04BC, rARRAY = 0x0221, rTABLE = 0x0236,
};

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

quint16 le16(const uchar *p)
{
    return quint16(p[0] | (p[1] << 8));
}

quint32 le32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

double leDouble(const uchar *p)
{
    quint64 bits = quint64(le32(p)) | (quint64(le32(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

double rkValue(quint32 rk)
{
    double value;
    if (rk & 2) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 1) ? value / 100.0 : value;
}

const char *codecOf(int codePage)
{
    switch (codePage) {
    case 367: return "US-ASCII";
    case 437: return "IBM437";
    case 737: return "IBM737";
    case 775: return "IBM775";
    case 850: return "IBM850";
    case 852: return "IBM852";
    case 855: return "IBM855";
    case 857: return "IBM857";
    case 860: return "IBM860";
    case 861: return "IBM861";
    case 862: return "IBM862";
    case 863: return "IBM863";
    case 864: return "IBM864";
    case 865: return "IBM865";
    case 866: return "IBM866";
    case 869: return "IBM869";
    case 874: return "windows-874";
    case 932: return "Shift_JIS";
    case 936: return "GBK";
    case 949: return "windows-949";
    case 950: return "Big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    case 10000:
    case 32768: return "macintosh";
    default: return "windows-1252"; // 1252, and 32769 (the old "ANSI" mark)
    }
}

// Reads the workbook stream out of the OLE2 container.
QByteArray readWorkbookStream(const QString &path)
{

    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 lässt sich nicht öffnen: %2").arg(shown(path), probe.errorString()));
    const QByteArray head = probe.read(8);
    probe.close();
    if (head.startsWith("PK"))
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Datei %1 ist eine Arbeitsmappe von Excel 2007 oder später (.xlsx); "
                                         "gelesen werden nur Arbeitsmappen von Excel 5.0 bis 2003 (.xls).").arg(shown(path)));
    if (head.size() >= 2 && uchar(head[0]) == 0x09 && (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04))
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Datei %1 ist eine Arbeitsmappe von Excel 2.x bis 4.0; "
                                         "gelesen werden nur Arbeitsmappen von Excel 5.0 bis 2003 (.xls).").arg(shown(path)));

    const GsfLibrary &gsf = GsfLibrary::get();
    GError *error = nullptr;
    GsfInput *input = gsf.input_stdio_new(QFile::encodeName(path).constData(), &error);
    if (!input) {
        const QString why = error ? QString::fromUtf8(error->message) : QString();
        if (error)
            gsf.error_free(error);
        throw EngineError(ErrorKind::Io, QStringLiteral("Die Datei %1 lässt sich nicht öffnen: %2").arg(shown(path), why));
    }
    GsfInfile *ole = gsf.infile_msole_new(input, &error);
    gsf.object_unref(input);
    if (!ole) {
        if (error)
            gsf.error_free(error);
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Excel-Arbeitsmappe (kein OLE2-Verbunddokument).").arg(shown(path)));
    }

    GsfInput *stream = nullptr;
    const int children = gsf.infile_num_children(ole);
    for (const char *wanted : {"Workbook", "Book"}) {
        for (int i = 0; i < children && !stream; ++i) {
            const char *name = gsf.infile_name_by_index(ole, i);
            if (name && qstricmp(name, wanted) == 0)
                stream = gsf.infile_child_by_index(ole, i);
        }
        if (stream)
            break;
    }
    gsf.object_unref(ole);
    if (!stream)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Excel-Arbeitsmappe (der Datenstrom \"Workbook\" fehlt).").arg(shown(path)));

    const gsf_off_t size = gsf.input_size(stream);
    QByteArray data;
    if (size < 0 || size > (gsf_off_t(1) << 31) - 1) {
        gsf.object_unref(stream);
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist beschädigt (ungültige Größe des Datenstroms).").arg(shown(path)));
    }
    data.resize(qsizetype(size));
    const bool ok = size == 0 || gsf.input_read(stream, size_t(size), reinterpret_cast<guint8 *>(data.data())) != nullptr;
    gsf.object_unref(stream);
    if (!ok)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist beschädigt (der Datenstrom \"Workbook\" ist unvollständig).").arg(shown(path)));
    return data;
}

} // namespace

// Reads one record's data and the CONTINUE records behind it as one sequence.
// Characters of a BIFF8 string that cross into a CONTINUE record start there with
// a fresh option byte; everything else runs on unchanged.
class Workbook::Reader {
public:
    Reader(const Workbook &book, const Record &first)
        : m_book(book)
    {
        const auto *base = reinterpret_cast<const uchar *>(book.m_stream.constData());
        m_parts.push_back({base + first.offset, first.length});
        Record next;
        qsizetype pos = first.offset + first.length;
        while (book.recordAt(pos, next) && next.id == rCONTINUE) {
            m_parts.push_back({base + next.offset, next.length});
            pos = next.offset + next.length;
        }
    }

    quint8 u8()
    {
        while (m_pos >= m_parts[m_part].second)
            nextPart();
        return m_parts[m_part].first[m_pos++];
    }
    quint16 u16()
    {
        const quint16 lo = u8();
        return quint16(lo | (u8() << 8));
    }
    quint32 u32()
    {
        const quint32 lo = u16();
        return lo | (quint32(u16()) << 16);
    }
    void skip(quint32 count)
    {
        while (count > 0) {
            while (m_pos >= m_parts[m_part].second)
                nextPart();
            const quint32 n = std::min<quint32>(count, quint32(m_parts[m_part].second - m_pos));
            m_pos += n;
            count -= n;
        }
    }
    // A BIFF8 string: count (of lenBytes bytes), option byte, rich-text and
    // Far-East counts, the characters, then the runs and Far-East data skipped.
    QString biff8String(int lenBytes)
    {
        const quint32 count = lenBytes == 1 ? u8() : u16();
        const quint8 flags = u8();
        const quint16 runs = (flags & 0x08) ? u16() : 0;
        const quint32 extra = (flags & 0x04) ? u32() : 0;
        QString text = characters(count, flags & 0x01);
        skip(quint32(runs) * 4);
        skip(extra);
        return text;
    }
    // The characters of a BIFF8 string whose option byte was read already.
    QString characters(quint32 count, bool wide)
    {
        QString text;
        text.reserve(int(std::min<quint32>(count, 1u << 16)));
        while (count > 0) {
            if (m_pos >= m_parts[m_part].second) {
                nextPart();
                wide = (u8() & 0x01) != 0;
            }
            const qsizetype available = m_parts[m_part].second - m_pos;
            const uchar *p = m_parts[m_part].first + m_pos;
            if (wide) {
                const quint32 n = std::min<quint32>(count, quint32(available / 2));
                if (n == 0) {
                    if (available > 0)
                        m_book.damaged(QStringLiteral("eine Zeichenkette ist abgeschnitten"));
                    continue;
                }
                const qsizetype at = text.size();
                text.resize(at + n);
                for (quint32 i = 0; i < n; ++i)
                    text[at + i] = QChar(le16(p + 2 * i));
                m_pos += 2 * n;
                count -= n;
            } else {
                const quint32 n = std::min<quint32>(count, quint32(available));
                if (n == 0)
                    continue;
                text += QLatin1String(reinterpret_cast<const char *>(p), n);
                m_pos += n;
                count -= n;
            }
        }
        return text;
    }
    // A BIFF5 string of bytes in the workbook's code page.
    QString byteString(int lenBytes)
    {
        const quint32 count = lenBytes == 1 ? u8() : u16();
        QByteArray bytes;
        bytes.reserve(count);
        for (quint32 i = 0; i < count; ++i)
            bytes.append(char(u8()));
        return m_book.decodeBytes(bytes.constData(), bytes.size());
    }

private:
    void nextPart()
    {
        if (m_part + 1 >= m_parts.size())
            m_book.damaged(QStringLiteral("ein Datensatz ist kürzer als sein Inhalt"));
        ++m_part;
        m_pos = 0;
    }

    const Workbook &m_book;
    std::vector<std::pair<const uchar *, qsizetype>> m_parts;
    size_t m_part = 0;
    qsizetype m_pos = 0;
};

const Cell *SheetCells::find(quint32 row, quint16 col) const
{
    const auto it = std::lower_bound(cells.begin(), cells.end(), std::make_pair(row, col),
                                     [](const Cell &c, const std::pair<quint32, quint16> &key) {
                                         return c.row != key.first ? c.row < key.first : c.col < key.second;
                                     });
    if (it == cells.end() || it->row != row || it->col != col)
        return nullptr;
    return &*it;
}

void Workbook::damaged(const QString &what) const
{
    throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Excel-Arbeitsmappe %1 ist beschädigt: %2.").arg(shown(m_path), what));
}

bool Workbook::recordAt(qsizetype pos, Record &record) const
{
    if (pos < 0 || pos + 4 > m_stream.size())
        return false;
    const auto *p = reinterpret_cast<const uchar *>(m_stream.constData()) + pos;
    record.id = le16(p);
    record.length = le16(p + 2);
    record.offset = pos + 4;
    return record.offset + record.length <= m_stream.size();
}

QString Workbook::decodeBytes(const char *data, qsizetype length) const
{
    QStringDecoder decoder(codecOf(m_codePage));
    if (!decoder.isValid())
        return QString::fromLatin1(data, length);
    return decoder.decode(QByteArrayView(data, length));
}

const QString &Workbook::sharedString(quint32 index) const
{
    static const QString none;
    return index < m_sst.size() ? m_sst[index] : none;
}

std::shared_ptr<Workbook> Workbook::load(const QString &path)
{
    std::shared_ptr<Workbook> book(new Workbook);
    book->m_path = path;
    book->m_stream = readWorkbookStream(path);
    book->readGlobals();
    return book;
}

void Workbook::readGlobals()
{
    Record rec;
    if (!recordAt(0, rec) || rec.id != rBOF || rec.length < 4)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Excel-Arbeitsmappe (der Datenstrom beginnt nicht mit einem BOF-Datensatz).").arg(shown(m_path)));
    const auto *base = reinterpret_cast<const uchar *>(m_stream.constData());
    const quint16 version = le16(base + rec.offset);
    const quint16 type = le16(base + rec.offset + 2);
    if (version == 0x0600)
        m_biff = 8;
    else if (version == 0x0500)
        m_biff = 5;
    else
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Datei %1 hat ein unbekanntes Excel-Format (BIFF-Version %2); "
                                         "gelesen werden Arbeitsmappen von Excel 5.0 bis 2003.").arg(shown(m_path)).arg(version, 4, 16, QLatin1Char('0')));
    if (type != 0x0005)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Excel-Arbeitsmappe, sondern ein einzelnes Blatt oder Diagramm.").arg(shown(m_path)));
    if (m_biff == 8)
        m_codePage = 1200;

    struct Xti { quint16 supBook, first, last; };
    std::vector<bool> supBookInternal;
    std::vector<Xti> xtis;
    std::vector<Record> nameRecords;

    qsizetype pos = rec.offset + rec.length;
    bool ended = false;
    while (!ended && recordAt(pos, rec)) {
        pos = rec.offset + rec.length;
        const uchar *d = base + rec.offset;
        const quint16 len = rec.length;
        switch (rec.id) {
        case rEOF:
            ended = true;
            break;
        case rFILEPASS:
            throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Excel-Arbeitsmappe %1 ist mit einem Kennwort verschlüsselt und kann nicht gelesen werden.").arg(shown(m_path)));
        case rCODEPAGE:
            if (len >= 2 && m_biff == 5)
                m_codePage = le16(d);
            break;
        case rDATEMODE:
            if (len >= 2)
                m_1904 = le16(d) == 1;
            break;
        case rFORMAT:
        case rFORMAT_BIFF4: {
            if (len < 3)
                break;
            Reader r(*this, rec);
            const quint16 id = r.u16();
            const QString text = m_biff == 8 ? r.biff8String(2) : r.byteString(1);
            m_formatStyles.emplace_back(id, styleOfFormatString(text));
            break;
        }
        case rXF:
            if (len >= 4)
                m_xfFormats.push_back(le16(d + 2));
            break;
        case rSST: {
            if (m_biff != 8 || len < 8)
                break;
            Reader r(*this, rec);
            r.u32();
            const quint32 unique = r.u32();
            // The count is the file's word; the records' size bounds what can be there.
            m_sst.reserve(std::min<quint32>(unique, quint32(m_stream.size() / 3)));
            for (quint32 i = 0; i < unique; ++i)
                m_sst.push_back(r.biff8String(2));
            break;
        }
        case rBOUNDSHEET: {
            if (len < 7)
                damaged(QStringLiteral("ein Blatteintrag ist zu kurz"));
            Reader r(*this, rec);
            SheetInfo sheet;
            sheet.offset = r.u32();
            sheet.visibility = r.u8() & 0x03;
            sheet.type = r.u8();
            sheet.name = m_biff == 8 ? r.biff8String(1) : r.byteString(1);
            m_sheets.append(sheet);
            break;
        }
        case rSUPBOOK:
            supBookInternal.push_back(len >= 4 && le16(d + 2) == 0x0401);
            break;
        case rEXTERNSHEET: {
            if (m_biff != 8 || len < 2)
                break;
            Reader r(*this, rec);
            const quint16 count = r.u16();
            for (quint16 i = 0; i < count; ++i) {
                Xti x;
                x.supBook = r.u16();
                x.first = r.u16();
                x.last = r.u16();
                xtis.push_back(x);
            }
            break;
        }
        case rNAME:
            nameRecords.push_back(rec);
            break;
        default:
            break;
        }
    }

    // A FORMAT record defines a format, also one that redefines a built-in number.
    m_xfStyles.reserve(m_xfFormats.size());
    for (const quint16 format : m_xfFormats) {
        NumberStyle style = styleOfBuiltInFormat(format);
        for (auto it = m_formatStyles.rbegin(); it != m_formatStyles.rend(); ++it) {
            if (it->first == format) {
                style = it->second;
                break;
            }
        }
        m_xfStyles.push_back(style);
    }

    if (m_biff != 8)
        return; // the names of Excel 5.0/95 workbooks are not read
    for (const Record &nameRecord : nameRecords) {
        if (nameRecord.length < 15)
            continue;
        Reader r(*this, nameRecord);
        const quint16 options = r.u16();
        r.u8();
        const quint8 nameLength = r.u8();
        const quint16 formulaLength = r.u16();
        r.u16();
        const quint16 scope = r.u16();
        r.skip(4);
        // Hidden, function, command and built-in names (Print_Area...) are no tables.
        if ((options & 0x002B) != 0 || scope != 0)
            continue;
        const quint8 flags = r.u8();
        DefinedName name;
        name.name = r.characters(nameLength, flags & 0x01);
        if (formulaLength != 11 && formulaLength != 7)
            continue;
        const quint8 token = r.u8();
        const bool area = token == 0x3B || token == 0x5B || token == 0x7B;
        const bool cell = token == 0x3A || token == 0x5A || token == 0x7A;
        if (!(area && formulaLength == 11) && !(cell && formulaLength == 7))
            continue;
        const quint16 xti = r.u16();
        quint16 firstRow, lastRow, firstCol, lastCol;
        if (area) {
            firstRow = r.u16();
            lastRow = r.u16();
            firstCol = r.u16();
            lastCol = r.u16();
        } else {
            firstRow = lastRow = r.u16();
            firstCol = lastCol = r.u16();
        }
        // A relative reference moves with the active cell: it names no fixed table.
        if ((firstCol | lastCol) & 0xC000)
            continue;
        if (xti >= xtis.size())
            continue;
        const Xti &x = xtis[xti];
        if (x.supBook >= supBookInternal.size() || !supBookInternal[x.supBook] || x.first != x.last
            || x.first >= m_sheets.size() || m_sheets[x.first].type != 0)
            continue;
        name.sheet = x.first;
        name.firstRow = std::min(firstRow, lastRow);
        name.lastRow = std::max(firstRow, lastRow);
        name.firstCol = std::min(firstCol & 0xFF, lastCol & 0xFF);
        name.lastCol = std::max(firstCol & 0xFF, lastCol & 0xFF);
        m_names.append(name);
    }
}

NumberStyle Workbook::styleOfXf(quint16 xf) const
{
    return xf < m_xfStyles.size() ? m_xfStyles[xf] : NumberStyle::Plain;
}

SheetCells Workbook::readSheet(int sheetIndex) const
{
    SheetCells out;
    if (sheetIndex < 0 || sheetIndex >= m_sheets.size())
        return out;
    const SheetInfo &sheet = m_sheets[sheetIndex];
    Record rec;
    if (!recordAt(sheet.offset, rec) || rec.id != rBOF)
        damaged(QStringLiteral("das Blatt \"%1\" beginnt nicht, wo das Verzeichnis der Blätter es angibt").arg(sheet.name));
    const auto *base = reinterpret_cast<const uchar *>(m_stream.constData());

    auto add = [&](quint16 row, quint16 col, quint16 xf, CellKind kind, double number, quint32 text = 0) {
        // BIFF8 has 256 columns; a larger number is a damaged record.
        if (col > 0xFF)
            return;
        Cell c;
        c.row = row;
        c.col = col;
        c.xf = xf;
        c.kind = kind;
        c.number = number;
        c.text = text;
        out.cells.push_back(c);
    };

    int depth = 0;
    qsizetype pendingString = -1; // cell whose formula text follows in a STRING record
    qsizetype pos = sheet.offset;
    while (recordAt(pos, rec)) {
        pos = rec.offset + rec.length;
        const uchar *d = base + rec.offset;
        const quint16 len = rec.length;
        if (rec.id == rBOF) {
            ++depth;
            continue;
        }
        if (rec.id == rEOF) {
            if (--depth <= 0)
                break;
            continue;
        }
        if (depth != 1)
            continue; // an embedded chart's records
        if (rec.id != rSTRING && rec.id != rSHRFMLA && rec.id != rARRAY && rec.id != rTABLE && rec.id != rCONTINUE)
            pendingString = -1;
        switch (rec.id) {
        case rNUMBER:
            if (len >= 14)
                add(le16(d), le16(d + 2), le16(d + 4), CellKind::Number, leDouble(d + 6));
            break;
        case rRK:
            if (len >= 10)
                add(le16(d), le16(d + 2), le16(d + 4), CellKind::Number, rkValue(le32(d + 6)));
            break;
        case rMULRK: {
            if (len < 6)
                break;
            const quint16 row = le16(d);
            quint16 col = le16(d + 2);
            for (int at = 4; at + 6 <= len - 2; at += 6, ++col)
                add(row, col, le16(d + at), CellKind::Number, rkValue(le32(d + at + 2)));
            break;
        }
        case rLABELSST:
            if (len >= 10)
                add(le16(d), le16(d + 2), le16(d + 4), CellKind::SharedText, 0, le32(d + 6));
            break;
        case rLABEL:
        case rRSTRING: {
            if (len < 8)
                break;
            Reader r(*this, rec);
            const quint16 row = r.u16(), col = r.u16(), xf = r.u16();
            QString text = m_biff == 8 ? r.biff8String(2) : r.byteString(2);
            out.ownStrings.push_back(std::move(text));
            add(row, col, xf, CellKind::OwnText, 0, quint32(out.ownStrings.size() - 1));
            break;
        }
        case rBOOLERR:
            if (len >= 8)
                add(le16(d), le16(d + 2), le16(d + 4), d[7] ? CellKind::Error : CellKind::Bool, d[6] ? 1.0 : 0.0);
            break;
        case rFORMULA: {
            if (len < 20)
                break;
            const quint16 row = le16(d), col = le16(d + 2), xf = le16(d + 4);
            if (le16(d + 12) != 0xFFFF) {
                add(row, col, xf, CellKind::Number, leDouble(d + 6));
                break;
            }
            switch (d[6]) {
            case 0: // text in the STRING record that follows
                out.ownStrings.emplace_back();
                add(row, col, xf, CellKind::OwnText, 0, quint32(out.ownStrings.size() - 1));
                pendingString = qsizetype(out.ownStrings.size() - 1);
                break;
            case 1:
                add(row, col, xf, CellKind::Bool, d[8] ? 1.0 : 0.0);
                break;
            case 2:
                add(row, col, xf, CellKind::Error, 0);
                break;
            case 3:
                out.ownStrings.emplace_back(QLatin1String(""));
                add(row, col, xf, CellKind::OwnText, 0, quint32(out.ownStrings.size() - 1));
                break;
            default:
                break;
            }
            break;
        }
        case rSTRING:
            if (pendingString >= 0 && len >= 2) {
                Reader r(*this, rec);
                out.ownStrings[size_t(pendingString)] = m_biff == 8 ? r.biff8String(2) : r.byteString(2);
            }
            pendingString = -1;
            break;
        default:
            break;
        }
    }

    // The last record for a position counts; rows and columns in order.
    std::stable_sort(out.cells.begin(), out.cells.end(), [](const Cell &a, const Cell &b) {
        return a.row != b.row ? a.row < b.row : a.col < b.col;
    });
    auto last = out.cells.begin();
    for (auto it = out.cells.begin(); it != out.cells.end(); ++it) {
        if (last != it && last->row == it->row && last->col == it->col)
            *last = *it;
        else if (last != it)
            *++last = *it;
    }
    if (!out.cells.empty())
        out.cells.erase(last + 1, out.cells.end());

    for (const Cell &c : out.cells) {
        if (out.firstRow > out.lastRow) {
            out.firstRow = out.lastRow = int(c.row);
            out.firstCol = out.lastCol = c.col;
        }
        out.lastRow = std::max(out.lastRow, int(c.row));
        out.firstCol = std::min(out.firstCol, int(c.col));
        out.lastCol = std::max(out.lastCol, int(c.col));
    }
    return out;
}

QDateTime Workbook::dateTimeOf(double serial) const
{
    QDate date;
    QTime time;
    return splitSerial(serial, date, time) ? QDateTime(date, time) : QDateTime();
}

bool Workbook::splitSerial(double serial, QDate &date, QTime &time) const
{
    if (!std::isfinite(serial) || serial < 0 || serial > 2958466.0)
        return false;
    qint64 days = qint64(std::floor(serial));
    qint64 ms = qint64(std::llround((serial - double(days)) * 86400000.0));
    if (ms >= 86400000) {
        ++days;
        ms -= 86400000;
    }
    if (m_1904) {
        date = QDate(1904, 1, 1).addDays(days);
    } else if (days >= 61) {
        date = QDate(1899, 12, 30).addDays(days);
    } else {
        // Up to February 1900 the serials count from 31.12.1899; Excel's
        // 29.02.1900 (serial 60) never existed and is read as the 28th.
        date = QDate(1899, 12, 31).addDays(days == 60 ? 59 : days);
    }
    time = QTime::fromMSecsSinceStartOfDay(int(ms));
    return date.isValid();
}

NumberStyle styleOfBuiltInFormat(int id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return NumberStyle::Date;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47))
        return NumberStyle::Time;
    if (id == 22)
        return NumberStyle::DateTime;
    return NumberStyle::Plain;
}

NumberStyle styleOfFormatString(const QString &format)
{
    QString plain;
    bool elapsed = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char(';'))
            break; // the first section decides
        if (c == QLatin1Char('"')) {
            const qsizetype end = format.indexOf(QLatin1Char('"'), i + 1);
            i = end < 0 ? format.size() : end;
        } else if (c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('*')) {
            ++i;
        } else if (c == QLatin1Char('[')) {
            const qsizetype end = format.indexOf(QLatin1Char(']'), i + 1);
            const QString inside = format.mid(i + 1, end < 0 ? -1 : end - i - 1).toLower();
            if (!inside.isEmpty() && inside.count(inside.at(0)) == inside.size()
                && (inside.at(0) == QLatin1Char('h') || inside.at(0) == QLatin1Char('m') || inside.at(0) == QLatin1Char('s')))
                elapsed = true;
            i = end < 0 ? format.size() : end;
        } else {
            plain += c.toLower();
        }
    }
    for (const char *word : {"general", "standard", "am/pm", "a/p"})
        plain.remove(QLatin1String(word));
    const bool hasTime = elapsed || plain.contains(QLatin1Char('h')) || plain.contains(QLatin1Char('s'));
    const bool hasDate = plain.contains(QLatin1Char('d')) || plain.contains(QLatin1Char('y'))
                         || (plain.contains(QLatin1Char('m')) && !hasTime);
    if (hasDate && hasTime)
        return NumberStyle::DateTime;
    if (hasDate)
        return NumberStyle::Date;
    if (hasTime)
        return NumberStyle::Time;
    return NumberStyle::Plain;
}

} // namespace engine::xls
