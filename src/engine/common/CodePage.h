#pragma once
// Code pages of table files and the conversion both ways, for every driver that
// stores 8-bit text: by Windows number, by a dBASE/BDE language driver byte (also
// what Paradox headers name) and by the text of a .cpg file.
#include <QByteArray>
#include <QChar>
#include <QHash>
#include <QString>
#include <QStringDecoder>
#include <array>
#include <vector>
#include <optional>

namespace engine {

struct CodePage {
    int number = 0;         // Windows code page number, 65001 for UTF-8
    QByteArray icuName;     // the name Qt's ICU-backed converters know
};

// The code page a language driver byte stands for; nothing for 0 and unknown bytes.
std::optional<CodePage> codePageForLanguageDriver(quint8 ldid);
// The code page named by the text of a .cpg file ("UTF-8", "1252", "ANSI 1252", "850", "OEM" ...).
std::optional<CodePage> codePageFromCpgText(const QByteArray &text);
// The code page for a Windows code page number, if it can be converted.
std::optional<CodePage> codePageForNumber(int number);

// Converts between a code page and QString. Single-byte code pages go through a
// 256-entry table built once, so decoding a field costs one string allocation.
class TextCodec {
public:
    void setCodePage(const CodePage &codePage);
    const CodePage &codePage() const { return m_codePage; }
    bool isUtf8() const { return m_codePage.number == 65001; }

    QString decode(const char *data, qsizetype size) const;
    // One byte is one character (the width of a field counts characters, not bytes).
    bool isSingleByte() const { return m_singleByte; }

    // Encodes text; returns false and the first character that has no byte in the
    // code page when the text cannot be stored.
    bool encode(const QString &text, QByteArray &out, QChar *unencodable) const;
    // The same for a field's value: a character the code page lacks is refused
    // with a RefusedValue error naming the character, the field and the code page.
    QByteArray encodeField(const QString &text, const QString &fieldName) const;

private:
    CodePage m_codePage;
    bool m_singleByte = true;
    std::array<char16_t, 256> m_table {};
    // Byte of each UTF-16 unit, -1 where the code page has none; built on first use.
    mutable std::vector<qint16> m_reverse;
};

} // namespace engine
