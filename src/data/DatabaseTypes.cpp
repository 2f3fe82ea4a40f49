#include "DatabaseTypes.h"

#include <array>

namespace data {

namespace {

struct KindText {
    const char *label;
    const char *extendedProperties;
};

// Indexed by TDatabaseType.
constexpr std::array<KindText, DatabaseTypeCount> kinds = {{
    {"Datenbanken", ""},
    {"MS-Access", ""},
    {"dBASE 3.x", "dBASE III"},
    {"dBASE 4.x", "dBASE IV"},
    {"dBASE 5.x", "dBASE 5.0"},
    {"Paradox 3", "Paradox 3.x"},
    {"Paradox 4", "Paradox 4.x"},
    {"Paradox 5", "Paradox 5.x"},
    {"FoxPro 2.0", "FoxPro 2.0"},
    {"FoxPro 2.5", "FoxPro 2.5"},
    {"FoxPro 2.6", "FoxPro 2.6"},
    {"FoxPro 3.0", "FoxPro 3.0"},
    {"MS-Excel 3.0", "Excel 3.0"},
    {"MS-Excel 4.0", "Excel 4.0"},
    {"MS-Excel 5.0", "Excel 5.0"},
    {"MS-Excel 97/2000/XP", "Excel 8.0"},
    {"HTML Import", "HTML Import"},
    {"HTML Export", "HTML Export"},
    {"CSV-Text Tabellen", "Text"},
}};

// Indexed by TLocaleIdentifier.
constexpr std::array<qint32, LocaleIdentifierCount> localeNumbers = {
    1033,   // liGeneral
    2052,   // liChinesePunct
    133124, // liChineseStroke
    1028,   // liChineseStrokeTaiwan
    197636, // liChineseBopomofo
    1050,   // liCroatian
    1029,   // liCzech
    1061,   // liEstonian
    1036,   // liFrench
    66615,  // liGeorgian
    66567,  // liGermanPhone
    1038,   // liHungarian
    66574,  // liHungarianTech
    1039,   // liIcelandic
    1041,   // liJapanese
    66577,  // liJapaneseUni
    1042,   // liKorean
    66578,  // liKoreanUni
    1062,   // liLatvian
    1063,   // liLithuanian
    1071,   // liFYROMacedonian
    1044,   // liNorwegianDanish
    1045,   // liPolish
    1048,   // liRomanian
    1051,   // liSlovak
    1060,   // liSlovenian
    1034,   // liSpanishTrad
    3082,   // liSpanisch
    1053,   // liSchwedishFinnish
    1054,   // liThai
    1055,   // liTurkish
    1058,   // liUkrainian
    1066,   // liVietnamese
};

bool validType(TDatabaseType type)
{
    return type >= 0 && type < DatabaseTypeCount;
}

} // namespace

std::optional<TDatabaseType> databaseTypeFromOrdinal(int ordinal)
{
    if (ordinal < 0 || ordinal >= DatabaseTypeCount)
        return std::nullopt;
    return static_cast<TDatabaseType>(ordinal);
}

QString databaseTypeLabel(TDatabaseType type)
{
    return validType(type) ? QString::fromUtf8(kinds[type].label) : QString();
}

QStringList databaseTypeLabels()
{
    QStringList labels;
    labels.reserve(DatabaseTypeCount);
    for (const KindText &kind : kinds)
        labels << QString::fromUtf8(kind.label);
    return labels;
}

QString extendedProperties(TDatabaseType type)
{
    return validType(type) ? QString::fromUtf8(kinds[type].extendedProperties) : QString();
}

bool isDBaseKind(TDatabaseType type)
{
    return (type >= dtDBase3 && type <= dtDBase5) || (type >= dtFox20 && type <= dtFox30);
}

bool isParadoxKind(TDatabaseType type)
{
    return type >= dtParadox3 && type <= dtParadox5;
}

bool isExcelKind(TDatabaseType type)
{
    return type >= dtExcel3 && type <= dtExcel8;
}

qint32 localeNumber(TLocaleIdentifier locale)
{
    if (locale < 0 || locale >= LocaleIdentifierCount)
        return localeNumbers[liGeneral];
    return localeNumbers[locale];
}

} // namespace data
