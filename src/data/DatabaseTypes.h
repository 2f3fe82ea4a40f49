#pragma once
// The database kinds the data source descriptor knows and the collation locales
// it can hand to the connection. The ordinals of both enumerations are binding:
// the open-table dialog's kind list has one entry per TDatabaseType at the same
// index, and callers pass ordinals.
#include <QString>
#include <QStringList>
#include <optional>

namespace data {

enum TDatabaseType {
    dtUndefined,  // 0
    dtAccess,     // 1
    dtDBase3,     // 2
    dtDBase4,     // 3
    dtDBase5,     // 4
    dtParadox3,   // 5
    dtParadox4,   // 6
    dtParadox5,   // 7
    dtFox20,      // 8
    dtFox25,      // 9
    dtFox26,      // 10
    dtFox30,      // 11
    dtExcel3,     // 12
    dtExcel4,     // 13
    dtExcel5,     // 14
    dtExcel8,     // 15
    dtHTMLimport, // 16
    dtHTMLexport, // 17
    dtText        // 18
};

constexpr int DatabaseTypeCount = dtText + 1;

// The kind for an ordinal, nullopt outside 0..18.
std::optional<TDatabaseType> databaseTypeFromOrdinal(int ordinal);
// The label of the open-table dialog's kind list ("Datenbanken", "MS-Access", ...).
QString databaseTypeLabel(TDatabaseType type);
// All 19 labels in ordinal order, for the kind list.
QStringList databaseTypeLabels();
// The connection's "Extended Properties" value ("dBASE 5.0", ...); empty for
// dtUndefined and dtAccess.
QString extendedProperties(TDatabaseType type);

// Kind groups. FoxPro tables are dBASE files.
bool isDBaseKind(TDatabaseType type);   // 2..4, 8..11
bool isParadoxKind(TDatabaseType type); // 5..7
bool isExcelKind(TDatabaseType type);   // 12..15

enum TLocaleIdentifier {
    liGeneral,
    liChinesePunct,
    liChineseStroke,
    liChineseStrokeTaiwan,
    liChineseBopomofo,
    liCroatian,
    liCzech,
    liEstonian,
    liFrench,
    liGeorgian,
    liGermanPhone,
    liHungarian,
    liHungarianTech,
    liIcelandic,
    liJapanese,
    liJapaneseUni,
    liKorean,
    liKoreanUni,
    liLatvian,
    liLithuanian,
    liFYROMacedonian,
    liNorwegianDanish,
    liPolish,
    liRomanian,
    liSlovak,
    liSlovenian,
    liSpanishTrad,
    liSpanisch,
    liSchwedishFinnish,
    liThai,
    liTurkish,
    liUkrainian,
    liVietnamese
};

constexpr int LocaleIdentifierCount = liVietnamese + 1;

// The locale number written as the connection's "Locale Identifier" (liGeneral: 1033).
qint32 localeNumber(TLocaleIdentifier locale);

} // namespace data
