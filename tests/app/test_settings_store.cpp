// The registry stand-in: value paths, kinds kept beside the values, a kind
// mismatch, and a store that cannot be written.
#include "AppTestSupport.h"
#include "EngineError.h"
#include "SettingsStore.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <gtest/gtest.h>

using namespace app;

namespace {

const QString Key = QStringLiteral("\\Software\\Halvorin\\Brisvel\\");

QString path(const char *name)
{
    return Key + QLatin1String(name);
}

// The message of the EngineError an operation raises, or "" when none.
template <typename Operation>
QString errorOf(Operation operation)
{
    try {
        operation();
    } catch (const engine::EngineError &error) {
        return error.message();
    }
    return QString();
}

void writeIni(const apptest::Profile &profile, const QString &text)
{
    QDir().mkpath(QFileInfo(profile.iniFile()).path());
    QFile file(profile.iniFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

} // namespace

TEST(SplitValuePath, KeyAndValueName)
{
    ValuePath p = SplitValuePath(QStringLiteral("\\Software\\Halvorin\\Brisvel\\Readonly"));
    EXPECT_EQ(p.key, QStringLiteral("Software\\Halvorin\\Brisvel\\"));
    EXPECT_EQ(p.name, QStringLiteral("Readonly"));

    p = SplitValuePath(QStringLiteral("Readonly"));
    EXPECT_EQ(p.key, QString());
    EXPECT_EQ(p.name, QStringLiteral("Readonly"));

    // A key without a leading backslash stays as it is; a trailing backslash
    // names the key's unnamed value.
    p = SplitValuePath(QStringLiteral("Software\\X\\"));
    EXPECT_EQ(p.key, QStringLiteral("Software\\X\\"));
    EXPECT_EQ(p.name, QString());

    p = SplitValuePath(QString());
    EXPECT_EQ(p.key, QString());
    EXPECT_EQ(p.name, QString());
}

TEST(SplitValuePath, OnlyARootedKeyIsCutTo255Characters)
{
    const QString longKey = QString(300, QLatin1Char('k'));
    ValuePath rooted = SplitValuePath(QLatin1Char('\\') + longKey + QStringLiteral("\\Wert"));
    EXPECT_EQ(rooted.key.size(), 255);
    EXPECT_TRUE(rooted.key.startsWith(QLatin1Char('k')));
    EXPECT_EQ(rooted.name, QStringLiteral("Wert"));

    ValuePath relative = SplitValuePath(longKey + QStringLiteral("\\Wert"));
    EXPECT_EQ(relative.key.size(), 301);
}

TEST(RegistryStore, EveryKindSurvivesARestartWithItsKind)
{
    apptest::Profile profile;
    const QString text = QStringLiteral("Grüße, \"Welt\"; dword:1 = nicht ganz");
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Int"), -42, rkInteger));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Bool"), true, rkBoolean));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Text"), text, rkString));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Datum"), QDate(2005, 2, 28), rkDate));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Zeit"), QTime(23, 59, 58, 123), rkTime));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Zahl"), 0.1, rkFloat));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Betrag"), -1234.56789, rkCurrency));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Klein"), 0.5, rkCurrency));

    profile.reopen();
    const QString ini = profile.iniText();
    EXPECT_TRUE(ini.contains(QStringLiteral("Int=dword:-42"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("Bool=dword:1")));
    EXPECT_TRUE(ini.contains(QStringLiteral("Zahl=float:0.1\n")));

    QVariant v = RegReadValue(HKEY_CURRENT_USER, path("Int"), rkInteger);
    EXPECT_EQ(v.typeId(), QMetaType::Int);
    EXPECT_EQ(v.toInt(), -42);
    v = RegReadValue(HKEY_CURRENT_USER, path("Bool"), rkBoolean);
    EXPECT_EQ(v.typeId(), QMetaType::Bool);
    EXPECT_TRUE(v.toBool());
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, path("Text"), rkString).toString(), text);
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, path("Datum"), rkDate).toDate(), QDate(2005, 2, 28));
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, path("Zeit"), rkTime).toTime(), QTime(23, 59, 58, 123));
    EXPECT_DOUBLE_EQ(RegReadValue(HKEY_CURRENT_USER, path("Zahl"), rkFloat).toDouble(), 0.1);
    // Currency keeps four decimals.
    EXPECT_DOUBLE_EQ(RegReadValue(HKEY_CURRENT_USER, path("Betrag"), rkCurrency).toDouble(), -1234.5679);
    EXPECT_DOUBLE_EQ(RegReadValue(HKEY_CURRENT_USER, path("Klein"), rkCurrency).toDouble(), 0.5);
}

TEST(RegistryStore, AbsentValuesAreUnassignedAndNamesIgnoreCase)
{
    apptest::Profile profile;
    EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, path("Readonly"), rkBoolean).isValid());

    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("DRSize"), 12, rkInteger));
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, QStringLiteral("\\SOFTWARE\\halvorin\\Brisvel\\drsize"), rkInteger)
                  .toInt(),
              12);
    // Writing with another spelling changes the one stored value.
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, QStringLiteral("\\software\\Halvorin\\BRISVEL\\DRSIZE"), 8,
                              rkInteger));
    profile.reopen();
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, path("DRSize"), rkInteger).toInt(), 8);
    EXPECT_EQ(profile.iniText().count(QStringLiteral("dword:")), 1);
}

TEST(RegistryStore, AReadWithAnotherKindRaisesInvalidDataType)
{
    apptest::Profile profile;
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Readonly"), QStringLiteral("ja"), rkString));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Flag"), 5, rkInteger));
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, path("Datum"), QDate(2005, 1, 1), rkDate));
    profile.reopen();

    EXPECT_EQ(errorOf([] { RegReadValue(HKEY_CURRENT_USER, path("Readonly"), rkBoolean); }),
              QStringLiteral("Ungültiger Datentyp für 'Readonly'"));
    EXPECT_EQ(errorOf([] { RegReadValue(HKEY_CURRENT_USER, path("Flag"), rkString); }),
              QStringLiteral("Ungültiger Datentyp für 'Flag'"));
    EXPECT_EQ(errorOf([] { RegReadValue(HKEY_CURRENT_USER, path("Datum"), rkFloat); }),
              QStringLiteral("Ungültiger Datentyp für 'Datum'"));
    // Integers and booleans share the double word: any value but 0 is true.
    EXPECT_TRUE(RegReadValue(HKEY_CURRENT_USER, path("Flag"), rkBoolean).toBool());
}

TEST(RegistryStore, HandWrittenEntries)
{
    apptest::Profile profile;
    writeIni(profile, QStringLiteral("[Software]\n"
                                     "Halvorin\\Brisvel\\Plain=1\n"
                                     "Halvorin\\Brisvel\\Broken=dword:abc\n"
                                     "Halvorin\\Brisvel\\Zero=dword:0\n"
                                     "Halvorin\\Brisvel\\NormPos=sz:1,2,3,4\n"));
    // Text without a kind is a string, so it is not a boolean.
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, path("Plain"), rkString).toString(), QStringLiteral("1"));
    EXPECT_FALSE(errorOf([] { RegReadValue(HKEY_CURRENT_USER, path("Plain"), rkBoolean); }).isEmpty());
    EXPECT_EQ(errorOf([] { RegReadValue(HKEY_CURRENT_USER, path("Broken"), rkInteger); }),
              QStringLiteral("Ungültiger Datentyp für 'Broken'"));
    const QVariant zero = RegReadValue(HKEY_CURRENT_USER, path("Zero"), rkBoolean);
    EXPECT_TRUE(zero.isValid());
    EXPECT_FALSE(zero.toBool());
    // Unquoted commas come back as one text.
    EXPECT_EQ(RegReadValue(HKEY_CURRENT_USER, path("NormPos"), rkString).toString(), QStringLiteral("1,2,3,4"));
}

TEST(RegistryStore, WriteReportsFalseWhenNothingIsWritten)
{
    apptest::Profile profile;
    // Values that are not of the kind are refused, and nothing is stored.
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, path("Int"), QStringLiteral("zehn"), rkInteger));
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, path("Int"), 5000000000.0, rkInteger));
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, path("Datum"), QStringLiteral("morgen"), rkDate));
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, path("Int"), 1, 7));
    EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, path("Int"), rkInteger).isValid());
    EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, path("Datum"), rkDate).isValid());

    profile.makeUnwritable();
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, path("Readonly"), true, rkBoolean));
    EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, path("Readonly"), rkBoolean).isValid());
}
