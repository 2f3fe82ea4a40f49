#include "RawCells.h"

namespace engine {

bool buildUtf8Table(const std::function<QString(char)> &decodeByte, Utf8Table &table)
{
    table.asciiCompatible = true;
    for (int b = 0; b < 256; ++b) {
        const QString s = decodeByte(char(b));
        if (s.size() != 1 || s.at(0).isSurrogate())
            return false;
        const QByteArray utf8 = s.toUtf8();
        if (utf8.size() > 3)
            return false;
        table.unicode[size_t(b)] = s.at(0).unicode();
        table.folded[size_t(b)] = char16_t(QChar::toCaseFolded(char32_t(s.at(0).unicode())));
        table.size[size_t(b)] = quint8(utf8.size());
        for (qsizetype i = 0; i < utf8.size(); ++i)
            table.bytes[size_t(b)][size_t(i)] = utf8.at(i);
        if (b < 0x80 && (utf8.size() != 1 || utf8.at(0) != char(b)))
            table.asciiCompatible = false;
    }
    return true;
}

char *formatPlainDecimal(const char *digits, int size, bool whole, char point, char *out)
{
    const char *p = digits;
    const char *end = digits + size;
    bool negative = false;
    if (p < end && *p == '-') {
        negative = true;
        ++p;
    }
    const char *dot = p;
    while (dot < end && *dot != '.')
        ++dot;
    const char *intBegin = p;
    while (intBegin < dot && *intBegin == '0')
        ++intBegin;
    const char *fracBegin = dot < end ? dot + 1 : end;
    const char *fracEnd = end;
    if (whole)
        fracEnd = fracBegin; // whole-number fields hold no fraction
    while (fracEnd > fracBegin && fracEnd[-1] == '0')
        --fracEnd;
    const bool zero = intBegin == dot && fracEnd == fracBegin;
    // A whole number is an integer: minus zero is zero. A double keeps its sign.
    if (negative && !(zero && whole))
        *out++ = '-';
    if (intBegin == dot) {
        *out++ = '0';
    } else {
        for (const char *q = intBegin; q < dot; ++q)
            *out++ = *q;
    }
    if (fracEnd > fracBegin) {
        *out++ = point;
        for (const char *q = fracBegin; q < fracEnd; ++q)
            *out++ = *q;
    }
    return out;
}

} // namespace engine
