// The German text of values, and reading a user's text back.
#include "EngineError.h"
#include "ValueText.h"

#include <QDate>
#include <gtest/gtest.h>

using namespace engine;

TEST(ValueText, NumbersUseDecimalCommaWithoutExponentForWholeNumbers)
{
    EXPECT_EQ(formatFloat(333.444), QStringLiteral("333,444"));
    EXPECT_EQ(formatFloat(0.1), QStringLiteral("0,1"));
    EXPECT_EQ(formatFloat(-2.5), QStringLiteral("-2,5"));
    EXPECT_EQ(formatFloat(1234567890123450000.0), QStringLiteral("1234567890123450000"));
    EXPECT_EQ(formatFloat(-1e20), QStringLiteral("-100000000000000000000"));
    EXPECT_EQ(formatFloat(1.5e-7), QStringLiteral("1,5e-07"));
    EXPECT_EQ(formatFloat(111.111111111111100), QStringLiteral("111,111111111111"));
    EXPECT_EQ(formatFloat(1e6), QStringLiteral("1000000"));
    EXPECT_EQ(formatCurrency(18.0), QStringLiteral("18,00"));
    EXPECT_EQ(formatCurrency(1.2345), QStringLiteral("1,2345"));
    EXPECT_EQ(formatValue(QVariant(), ftFloat), QString());
    EXPECT_EQ(formatValue(true, ftBoolean), QStringLiteral("True"));
}

TEST(ValueText, DatesAndTimesFollowGermanConventions)
{
    EXPECT_EQ(formatDate(QDate(1901, 12, 3)), QStringLiteral("03.12.1901"));
    EXPECT_EQ(formatDate(QDate(870, 6, 30)), QStringLiteral("30.06.0870"));
    EXPECT_EQ(formatDateTime(QDateTime(QDate(1899, 12, 30), QTime(13, 35, 38, 999))),
              QStringLiteral("30.12.1899 13:35:39"));
    EXPECT_EQ(formatDateTime(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 700))),
              QStringLiteral("01.01.2025 00:00:00"));
}

TEST(ValueText, ParsingGivesTheClassicMessages)
{
    EXPECT_EQ(parseValue(QStringLiteral(" 42 "), ftInteger).toLongLong(), 42);
    EXPECT_DOUBLE_EQ(parseValue(QStringLiteral("3,25"), ftFloat).toDouble(), 3.25);
    EXPECT_EQ(parseValue(QStringLiteral("31.12.1999"), ftDate).toDate(), QDate(1999, 12, 31));
    EXPECT_EQ(parseValue(QStringLiteral("1999-12-31"), ftDate).toDate(), QDate(1999, 12, 31));
    EXPECT_FALSE(parseValue(QString(), ftDate).isValid());
    EXPECT_TRUE(parseValue(QStringLiteral("Ja"), ftBoolean).toBool());
    try {
        parseValue(QStringLiteral("zwölf"), ftInteger);
        FAIL() << "no error";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::RefusedValue);
        EXPECT_EQ(e.message(), QStringLiteral("'zwölf' ist kein gültiger Integerwert"));
    }
    EXPECT_THROW(parseValue(QStringLiteral("31.02.1999"), ftDate), EngineError);
    EXPECT_THROW(parseValue(QStringLiteral("vielleicht"), ftBoolean), EngineError);
    EXPECT_THROW(parseValue(QStringLiteral("1,2,3"), ftFloat), EngineError);
}

TEST(ValueText, ADateTimeComesFromADateTimeADateOrText)
{
    const QDateTime noon(QDate(2000, 1, 2), QTime(12, 0));
    EXPECT_EQ(dateTimeOf(noon), noon);
    EXPECT_EQ(dateTimeOf(QDate(2000, 1, 2)), QDateTime(QDate(2000, 1, 2), QTime(0, 0)));
    EXPECT_EQ(dateTimeOf(QStringLiteral("02.01.2000 03:04:05")), QDateTime(QDate(2000, 1, 2), QTime(3, 4, 5)));
    EXPECT_FALSE(dateTimeOf(QString()).isValid());
    try {
        dateTimeOf(QStringLiteral("gestern"));
        FAIL() << "no error";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::RefusedValue);
        EXPECT_TRUE(e.message().contains(QStringLiteral("'gestern'"))) << e.message().toStdString();
    }
}
