#pragma once
// The order of text in a Paradox key. Under the sort order "ascii" text orders by
// its stored bytes. Under an international order letters order without regard to
// case and accents (an accented letter with its base letter); no full description
// of those orders is public, so only what is commonly agreed is taken as known:
// the end of the text, space, digits, then the letters A-Z, each of these classes
// after the one before. Every other character (punctuation, symbols, letters
// without a plain base letter such as ß or ø) has an unknown place, and two texts
// equal at the letter level but stored differently ("Aachen"/"AACHEN") have an
// unknown order between them: a comparison that hits either says Unsure, and the
// change that would need it is refused rather than written at a guessed place.
// Other national orders (Nordic, Spanish, Chinese...) keep only the plain letters
// A-Z, and of those only letters of the same case, as known.
#include "PxFormat.h"

#include <array>

namespace engine::paradox {

class PxCollation {
public:
    static constexpr int Unsure = 2;

    // The order of a table's text from its sort order name and code page.
    static PxCollation forTable(const PxHeader &h);

    bool byBytes() const { return m_byBytes; }
    QString sortOrderName() const { return m_name; }
    // -1, 0, 1 or Unsure for two stored alpha values of size bytes (zero-padded).
    int compareText(const char *a, const char *b, int size) const;

private:
    bool m_byBytes = true;
    QString m_name;
    std::array<qint16, 256> m_weight {}; // -1: place unknown
    // Orders other than the international ones: whether case counts is not
    // known, so an upper- and a lower-case letter have no known order.
    bool m_caseKnown = true;
    std::array<quint8, 256> m_case {}; // 1 upper-case letter, 2 lower-case
};

} // namespace engine::paradox
