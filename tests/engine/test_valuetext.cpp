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
    EXPECT_EQ(formatFloat(-0.0), QStringLiteral("0"));
    EXPECT_EQ(formatFloat(1234567890123450000.0), QStringLiteral("1234567890123450000"));
    EXPECT_EQ(formatFloat(-1e20), QStringLiteral("-100000000000000000000"));
    EXPECT_EQ(formatFloat(1.5e-7), QStringLiteral("1,5e-07"));
    EXPECT_EQ(formatFloat(111.111111111111100), QStringLiteral("111,111111111111"));
    EXPECT_EQ(formatFloat(1e6), QStringLiteral("1000000"));
    EXPECT_EQ(formatCurrency(18.0), QStringLiteral("18,00"));
    EXPECT_EQ(formatCurrency(1.2345), QStringLiteral("1,2345"));
    EXPECT_EQ(formatCurrency(2.1), QStringLiteral("2,10"));
    EXPECT_EQ(formatCurrency(-3.5), QStringLiteral("-3,50"));
    EXPECT_EQ(formatCurrency(0.0), QStringLiteral("0,00"));
    EXPECT_EQ(formatCurrency(2.0001), QStringLiteral("2,0001"));
    EXPECT_EQ(formatCurrency(1000000000000.125), QStringLiteral("1000000000000,125"));
    EXPECT_EQ(formatFloat(0.05), QStringLiteral("0,05"));
    EXPECT_EQ(formatFloat(0.0001), QStringLiteral("0,0001"));
    EXPECT_EQ(formatFloat(0.00001), QStringLiteral("1e-05"));
    EXPECT_EQ(formatFloat(123456789012345.0), QStringLiteral("123456789012345"));
    EXPECT_EQ(formatFloat(1e15), QStringLiteral("1000000000000000"));
    EXPECT_EQ(formatFloat(-1.25e300).left(6), QStringLiteral("-12500"));
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
    // A wall-clock time as a day and its milliseconds, as Access stores it.
    EXPECT_EQ(formatDateTime(QDate(1994, 11, 16), 0), QStringLiteral("16.11.1994 00:00:00"));
    EXPECT_EQ(formatDateTime(QDate(1994, 11, 16), 13 * 3600000 + 5 * 60000 + 9499), QStringLiteral("16.11.1994 13:05:09"));
    EXPECT_EQ(formatDateTime(QDate(1994, 11, 16), 13 * 3600000 + 5 * 60000 + 9500), QStringLiteral("16.11.1994 13:05:10"));
    EXPECT_EQ(formatDateTime(QDate(2000, 2, 28), 86399500), QStringLiteral("29.02.2000 00:00:00"));
    EXPECT_EQ(formatDateTime(QDate(100, 1, 1), 3723000), QStringLiteral("01.01.0100 01:02:03"));
    EXPECT_EQ(formatDateTime(QDate(), 0), QString());
    // 02:30 on the night the clocks go forward is a time Access stores as it is.
    EXPECT_EQ(formatDateTime(QDate(2024, 3, 31), 2 * 3600000 + 30 * 60000), QStringLiteral("31.03.2024 02:30:00"));
    EXPECT_EQ(formatTime(QTime(7, 8, 9)), QStringLiteral("07:08:09"));
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
