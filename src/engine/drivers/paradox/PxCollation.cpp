#include "PxCollation.h"

namespace engine::paradox {

namespace {

// Weights of the classes whose order every description agrees on.
constexpr qint16 EndWeight = 0;
constexpr qint16 SpaceWeight = 1;
constexpr qint16 FirstDigitWeight = 2;   // '0' .. '9'
constexpr qint16 FirstLetterWeight = 20; // 'A' .. 'Z'

// The international orders of Paradox and the BDE: Latin letters with their base
// letter. Nordic, Spanish and other national orders place some accented letters
// elsewhere (Å after Z); under them only the plain letters are known.
bool isInternational(const QString &name)
{
    for (const char *known : {"intl", "ANSIINTL", "ANSII850", "intl850"}) {
        if (name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

PxCollation PxCollation::forTable(const PxHeader &h)
{
    PxCollation c;
    c.m_name = h.sortOrderName;
    if (h.sortOrderName.isEmpty() || h.sortOrderName.compare(QLatin1String("ascii"), Qt::CaseInsensitive) == 0)
        return c;
    c.m_byBytes = false;
    const bool accents = isInternational(h.sortOrderName);
    c.m_caseKnown = accents;
    TextCodec codec;
    codec.setCodePage(codePageFor(h));
    for (int b = 0; b < 256; ++b) {
        qint16 w = -1;
        if (b == 0) {
            w = EndWeight;
        } else if (b == ' ') {
            w = SpaceWeight;
        } else if (b >= '0' && b <= '9') {
            w = qint16(FirstDigitWeight + (b - '0'));
        } else if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            w = qint16(FirstLetterWeight + (QChar(char16_t(b)).toUpper().unicode() - 'A'));
            c.m_case[size_t(b)] = b <= 'Z' ? 1 : 2;
        } else if (b >= 0x80 && accents) {
            // An accented Latin letter sorts with its base letter, which its
            // canonical decomposition names first (é = e + ´).
            const char byte = char(b);
            const QString text = codec.decode(&byte, 1);
            if (text.size() == 1 && text.at(0).isLetter()
                && text.at(0).decompositionTag() == QChar::Canonical) {
                const QChar base = text.at(0).decomposition().at(0).toUpper();
                if (base >= QLatin1Char('A') && base <= QLatin1Char('Z'))
                    w = qint16(FirstLetterWeight + (base.unicode() - 'A'));
            }
        }
        c.m_weight[size_t(b)] = w;
    }
    return c;
}

int PxCollation::compareText(const char *a, const char *b, int size) const
{
    if (m_byBytes) {
        const int c = memcmp(a, b, size_t(size));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    bool tie = false;
    for (int i = 0; i < size; ++i) {
        const quint8 x = quint8(a[i]), y = quint8(b[i]);
        if (x == y) {
            if (x == 0)
                break; // both ended; the rest is padding
            continue;
        }
        const qint16 wx = m_weight[x], wy = m_weight[y];
        if (wx < 0 || wy < 0)
            return Unsure;
        if (!m_caseKnown && m_case[x] && m_case[y] && m_case[x] != m_case[y])
            return Unsure;
        if (wx != wy)
            return wx < wy ? -1 : 1;
        tie = true; // the same letter, stored differently
    }
    return tie ? Unsure : 0;
}

} // namespace engine::paradox
