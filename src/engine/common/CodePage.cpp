#include "CodePage.h"

#include "EngineError.h"

#include <QRegularExpression>
#include <QStringEncoder>

namespace engine {

std::optional<CodePage> codePageForNumber(int number)
{
    QByteArray name;
    switch (number) {
    case 437: case 737: case 775: case 850: case 852: case 855: case 857: case 858:
    case 860: case 861: case 862: case 863: case 864: case 865: case 866: case 869:
        name = "IBM" + QByteArray::number(number);
        break;
    case 874: name = "windows-874"; break;
    case 932: name = "Shift_JIS"; break;
    case 936: name = "GBK"; break;
    case 949: name = "windows-949"; break;
    case 950: name = "Big5"; break;
    case 1250: case 1251: case 1252: case 1253: case 1254: case 1255: case 1256: case 1257: case 1258:
        name = "windows-" + QByteArray::number(number);
        break;
    case 10000: name = "macintosh"; break;
    case 10006: name = "x-mac-greek"; break;
    case 10007: name = "x-mac-cyrillic"; break;
    case 10029: name = "x-mac-centraleurroman"; break;
    case 20866: name = "KOI8-R"; break;
    case 28591: case 28592: case 28593: case 28594: case 28595: case 28596: case 28597:
    case 28598: case 28599:
        name = "ISO-8859-" + QByteArray::number(number - 28590);
        break;
    case 28605: name = "ISO-8859-15"; break;
    case 65001: name = "UTF-8"; break;
    default:
        return std::nullopt;
    }
    if (!QStringDecoder(name.constData()).isValid())
        return std::nullopt;
    return CodePage{number, name};
}

std::optional<CodePage> codePageForLanguageDriver(quint8 ldid)
{
    // The language driver ids dBASE, FoxPro and the BDE write, by the code page
    // their character set belongs to (the national OEM drivers differ only in
    // sort order).
    int cp = 0;
    switch (ldid) {
    case 0x01: case 0x09: case 0x0B: case 0x0D: case 0x0F: case 0x11: case 0x15: case 0x18:
    case 0x19: case 0x1B:
        cp = 437; break;
    case 0x02: case 0x0A: case 0x0E: case 0x10: case 0x12: case 0x14: case 0x16: case 0x1A:
    case 0x1D: case 0x25: case 0x37:
        cp = 850; break;
    case 0x03: case 0x57: case 0x58: case 0x59:
        cp = 1252; break;
    case 0x04: cp = 10000; break;
    case 0x08: case 0x17: case 0x66: cp = 865; break;
    case 0x13: case 0x7B: cp = 932; break;
    case 0x1C: case 0x6C: cp = 863; break;
    case 0x1F: case 0x22: case 0x23: case 0x40: case 0x64: case 0x87: cp = 852; break;
    case 0x24: cp = 860; break;
    case 0x26: case 0x65: cp = 866; break;
    case 0x4D: case 0x7A: cp = 936; break;
    case 0x4E: case 0x79: cp = 949; break;
    case 0x4F: case 0x78: cp = 950; break;
    case 0x50: case 0x7C: cp = 874; break;
    case 0x67: cp = 861; break;
    case 0x6A: case 0x86: cp = 737; break;
    case 0x6B: case 0x88: cp = 857; break;
    case 0x7D: cp = 1255; break;
    case 0x7E: cp = 1256; break;
    case 0x96: cp = 10007; break;
    case 0x97: cp = 10029; break;
    case 0x98: cp = 10006; break;
    case 0xC8: cp = 1250; break;
    case 0xC9: cp = 1251; break;
    case 0xCA: cp = 1254; break;
    case 0xCB: cp = 1253; break;
    case 0xCC: cp = 1257; break;
    default:
        return std::nullopt;
    }
    return codePageForNumber(cp);
}

std::optional<CodePage> codePageFromCpgText(const QByteArray &raw)
{
    // Only the first line counts; some writers add a line break or a BOM.
    QByteArray text = raw;
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.mid(3);
    const qsizetype eol = text.indexOf('\n');
    if (eol >= 0)
        text.truncate(eol);
    const QString t = QString::fromLatin1(text).trimmed().toUpper();
    if (t.isEmpty())
        return std::nullopt;
    if (t == QLatin1String("UTF-8") || t == QLatin1String("UTF8") || t == QLatin1String("65001"))
        return codePageForNumber(65001);
    // "OEM" names the system's DOS code page; on the Western European systems
    // these files come from that is 850.
    if (t == QLatin1String("OEM"))
        return codePageForNumber(850);
    if (t == QLatin1String("ANSI"))
        return codePageForNumber(1252);
    if (t == QLatin1String("LATIN1"))
        return codePageForNumber(28591);
    static const QRegularExpression iso(QStringLiteral("^(?:ISO[-_ ]?)?8859[-_ ]?(\\d{1,2})$"));
    if (const auto m = iso.match(t); m.hasMatch()) {
        const int part = m.captured(1).toInt();
        return codePageForNumber(part == 15 ? 28605 : 28590 + part);
    }
    static const QRegularExpression numbered(
        QStringLiteral("^(?:ANSI|OEM|CP|WINDOWS|IBM|MS)?[-_ ]?(\\d{3,5})$"));
    if (const auto m = numbered.match(t); m.hasMatch()) {
        const int number = m.captured(1).toInt();
        // ESRI writes "88591" style short forms for the ISO parts.
        if (number >= 88591 && number <= 88599)
            return codePageForNumber(28590 + number - 88590);
        return codePageForNumber(number);
    }
    // Any other name ICU knows (e.g. "KOI8-R", "Big5").
    const QByteArray name = t.toLatin1();
    if (QStringDecoder(name.constData()).isValid())
        return CodePage{0, name};
    return std::nullopt;
}

void TextCodec::setCodePage(const CodePage &codePage)
{
    m_codePage = codePage;
    m_reverse.clear();
    m_singleByte = !isUtf8();
    if (!m_singleByte)
        return;
    // Decode every byte on its own and all 256 in one run: in a single-byte code
    // page both agree, in a multi-byte one lead and trail bytes combine.
    QByteArray all(256, '\0');
    for (int b = 0; b < 256; ++b) {
        QStringDecoder decoder(m_codePage.icuName.constData(), QStringDecoder::Flag::Stateless);
        const char byte = char(b);
        all[b] = byte;
        const QString s = decoder(QByteArrayView(&byte, 1));
        if (s.size() != 1) {
            m_singleByte = false;
            return;
        }
        m_table[b] = s.at(0).unicode();
    }
    QStringDecoder decoder(m_codePage.icuName.constData());
    const QString whole = decoder(all);
    if (whole.size() != 256) {
        m_singleByte = false;
        return;
    }
    for (int b = 0; b < 256; ++b) {
        if (whole.at(b).unicode() != m_table[b]) {
            m_singleByte = false;
            return;
        }
    }
}

QString TextCodec::decode(const char *data, qsizetype size) const
{
    if (size <= 0)
        return QString(QLatin1String(""));
    if (m_singleByte) {
        QString out(size, Qt::Uninitialized);
        QChar *dst = out.data();
        const auto *src = reinterpret_cast<const unsigned char *>(data);
        for (qsizetype i = 0; i < size; ++i)
            dst[i] = QChar(m_table[src[i]]);
        return out;
    }
    QStringDecoder decoder(m_codePage.icuName.constData());
    return decoder(QByteArrayView(data, size));
}

bool TextCodec::encode(const QString &text, QByteArray &out, QChar *unencodable) const
{
    out.clear();
    if (m_singleByte) {
        if (m_reverse.empty()) {
            m_reverse.assign(65536, -1);
            // Lowest byte wins where two bytes decode to the same character.
            for (int b = 255; b >= 0; --b)
                m_reverse[m_table[b]] = qint16(b);
        }
        out.resize(text.size());
        char *dst = out.data();
        for (const QChar c : text) {
            const qint16 b = m_reverse[c.unicode()];
            if (b < 0 || c == QChar::ReplacementCharacter) {
                if (unencodable)
                    *unencodable = c;
                out.clear();
                return false;
            }
            *dst++ = char(b);
        }
        return true;
    }
    QStringEncoder encoder(m_codePage.icuName.constData());
    out = encoder(text);
    if (encoder.hasError()) {
        if (unencodable)
            *unencodable = QChar::ReplacementCharacter;
        return false;
    }
    // ICU maps what it cannot store to a substitute byte instead of failing for
    // some code pages; a round trip tells.
    QStringDecoder decoder(m_codePage.icuName.constData());
    const QString back = decoder(out);
    if (back != text) {
        if (unencodable) {
            qsizetype i = 0;
            while (i < text.size() && i < back.size() && text.at(i) == back.at(i))
                ++i;
            *unencodable = i < text.size() ? text.at(i) : QChar::ReplacementCharacter;
        }
        return false;
    }
    return true;
}

QByteArray TextCodec::encodeField(const QString &text, const QString &fieldName) const
{
    QByteArray bytes;
    QChar bad;
    if (!encode(text, bytes, &bad))
        throw EngineError(ErrorKind::RefusedValue,
                          QStringLiteral("Das Zeichen „%1“ im Feld %2 lässt sich in der Codepage %3 (%4) der Tabelle nicht "
                                         "speichern.")
                              .arg(bad)
                              .arg(fieldName)
                              .arg(m_codePage.number)
                              .arg(QString::fromLatin1(m_codePage.icuName)));
    return bytes;
}

} // namespace engine
