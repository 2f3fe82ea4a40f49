// The database kinds and collation locales handed to the connection, and the
// upper-casing of table file names.
#include "KADOopen.h"

#include <gtest/gtest.h>

using namespace data;

TEST(DatabaseTypes, LabelsExtendedPropertiesAndGroupsByOrdinal)
{
    // ordinal order is binding: label, "Extended Properties", group (D dBASE, P Paradox, X Excel)
    const char *rows[][3] = {
        {"Datenbanken", "", ""}, {"MS-Access", "", ""}, {"dBASE 3.x", "dBASE III", "D"},
        {"dBASE 4.x", "dBASE IV", "D"}, {"dBASE 5.x", "dBASE 5.0", "D"}, {"Paradox 3", "Paradox 3.x", "P"},
        {"Paradox 4", "Paradox 4.x", "P"}, {"Paradox 5", "Paradox 5.x", "P"}, {"FoxPro 2.0", "FoxPro 2.0", "D"},
        {"FoxPro 2.5", "FoxPro 2.5", "D"}, {"FoxPro 2.6", "FoxPro 2.6", "D"}, {"FoxPro 3.0", "FoxPro 3.0", "D"},
        {"MS-Excel 3.0", "Excel 3.0", "X"}, {"MS-Excel 4.0", "Excel 4.0", "X"}, {"MS-Excel 5.0", "Excel 5.0", "X"},
        {"MS-Excel 97/2000/XP", "Excel 8.0", "X"}, {"HTML Import", "HTML Import", ""},
        {"HTML Export", "HTML Export", ""}, {"CSV-Text Tabellen", "Text", ""},
    };
    ASSERT_EQ(DatabaseTypeCount, 19);
    ASSERT_EQ(databaseTypeLabels().size(), 19);
    EXPECT_EQ(dtText, 18);
    EXPECT_EQ(dtExcel8, 15);
    for (int i = 0; i < 19; ++i) {
        SCOPED_TRACE(i);
        const TDatabaseType type = databaseTypeFromOrdinal(i).value();
        EXPECT_EQ(databaseTypeLabels().at(i), QString::fromUtf8(rows[i][0]));
        EXPECT_EQ(databaseTypeLabel(type), QString::fromUtf8(rows[i][0]));
        EXPECT_EQ(extendedProperties(type), QString::fromUtf8(rows[i][1]));
        const QString group = QString::fromUtf8(rows[i][2]);
        EXPECT_EQ(isDBaseKind(type), group == QLatin1String("D"));
        EXPECT_EQ(isParadoxKind(type), group == QLatin1String("P"));
        EXPECT_EQ(isExcelKind(type), group == QLatin1String("X"));
    }
    EXPECT_FALSE(databaseTypeFromOrdinal(19));
    EXPECT_FALSE(databaseTypeFromOrdinal(-1));
}

TEST(LocaleIdentifiers, NumbersByOrdinal)
{
    const qint32 numbers[] = {1033, 2052, 133124, 1028, 197636, 1050, 1029, 1061, 1036, 66615, 66567,
                              1038, 66574, 1039, 1041, 66577, 1042, 66578, 1062, 1063, 1071, 1044,
                              1045, 1048, 1051, 1060, 1034, 3082, 1053, 1054, 1055, 1058, 1066};
    ASSERT_EQ(LocaleIdentifierCount, 33);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(localeNumber(TLocaleIdentifier(i)), numbers[i]) << i;
    EXPECT_EQ(liGermanPhone, 10);
    EXPECT_EQ(liSpanisch, 27);
}

TEST(UpperName, UmlautsWithoutChangingTheLength)
{
    EXPECT_EQ(upperName(QStringLiteral("über-öl-ärger.db")), QStringLiteral("ÜBER-ÖL-ÄRGER.DB"));
    // "ß" has no single capital; "STRASSE" would no longer match the file.
    EXPECT_EQ(upperName(QStringLiteral("straße.dbf")), QStringLiteral("STRAßE.DBF"));
    EXPECT_EQ(upperName(QStringLiteral("\U00010428x")), QStringLiteral("\U00010400X")); // beyond the BMP
}
