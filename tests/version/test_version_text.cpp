// The version resource's lookup and the label texts made from it: every entry,
// every flag, the cutting of "FileVersion", and each way the lookup can fail.
#include "FakeVersionResource.h"
#include "TestSupport.h"
#include "VersionResource.h"
#include "VersionText.h"

#include <QRegularExpression>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace version;
using namespace versiontest;

namespace {

QString textOf(VersionResourceReader &reader, TVersionResources resource, const QString &key,
               TFileVersionPart part = fvAll)
{
    QString langCharset = QStringLiteral("-1");
    return versionInfoText(reader, resource, key, part, langCharset);
}

} // namespace

TEST(VersionEntries, KeysAndGermanPrefixes)
{
    const struct {
        TVersionResources resource;
        const char *key;
        const char *prefix;
    } table[] = {
        {vrCompanyName, "CompanyName", "Firmenname:"},
        {vrFileDescription, "FileDescription", "Datei Information:"},
        {vrFileVersion, "FileVersion", "Dateiversion:"},
        {vrInternalName, "InternalName", "Interner Name:"},
        {vrLegalCopyright, "LegalCopyright", "Legal Copyright:"},
        {vrOriginalFilename, "OriginalFilename", "Original Dateiname:"},
        {vrProductName, "ProductName", "Produktname:"},
        {vrProductVersion, "ProductVersion", "Produktversion:"},
        {vrComments, "Comments", "Bemerkungen:"},
        {vrFlags, "Flags", "Flags:"},
    };
    for (const auto &row : table) {
        EXPECT_EQ(versionEntry(row.resource).key, QString::fromUtf8(row.key));
        EXPECT_EQ(versionEntry(row.resource).prefix, QString::fromUtf8(row.prefix));
    }
}

TEST(VersionFlags, EachBitInItsOrder)
{
    EXPECT_EQ(fileFlagsText(0), QString());
    EXPECT_EQ(fileFlagsText(0x01), QStringLiteral("Debug Build"));
    EXPECT_EQ(fileFlagsText(0x02), QStringLiteral("Pre-Release Build"));
    EXPECT_EQ(fileFlagsText(0x04), QStringLiteral("Patched Build"));
    EXPECT_EQ(fileFlagsText(0x08), QStringLiteral("Privates Build"));
    EXPECT_EQ(fileFlagsText(0x10), QStringLiteral("InfoInferred"));
    EXPECT_EQ(fileFlagsText(0x20), QStringLiteral("Spezielles Built"));
    EXPECT_EQ(fileFlagsText(0x3F), QStringLiteral("Debug Build, Pre-Release Build, Patched Build, Privates Build, "
                                                  "InfoInferred, Spezielles Built"));
    EXPECT_EQ(fileFlagsText(0x24), QStringLiteral("Patched Build, Spezielles Built"));
    // Bits beyond the six have no text.
    EXPECT_EQ(fileFlagsText(0xC0), QString());
}

TEST(VersionParts, CutAtTheDots)
{
    const QString full = QStringLiteral("2.1.0.318");
    EXPECT_EQ(fileVersionPart(full, fvAll), full);
    EXPECT_EQ(fileVersionPart(full, fvAllNoBuild), QStringLiteral("2.1.0"));
    EXPECT_EQ(fileVersionPart(full, fvMajor), QStringLiteral("2"));
    EXPECT_EQ(fileVersionPart(full, fvMinor), QStringLiteral("1"));
    EXPECT_EQ(fileVersionPart(full, fvRelease), QStringLiteral("0"));
    EXPECT_EQ(fileVersionPart(full, fvBuild), QStringLiteral("318"));
    // Fewer parts: the missing ones are empty.
    EXPECT_EQ(fileVersionPart(QStringLiteral("2.1.0"), fvBuild), QString());
    EXPECT_EQ(fileVersionPart(QStringLiteral("2.1.0"), fvAllNoBuild), QStringLiteral("2.1.0"));
    EXPECT_EQ(fileVersionPart(QStringLiteral("2.1"), fvAllNoBuild), QStringLiteral("2.1."));
    EXPECT_EQ(fileVersionPart(QStringLiteral("7"), fvMinor), QString());
    EXPECT_EQ(fileVersionPart(QString(), fvMajor), QString());
    // A fifth part belongs to none of them.
    EXPECT_EQ(fileVersionPart(QStringLiteral("1.2.3.4.5"), fvBuild), QStringLiteral("4"));
    EXPECT_EQ(fileVersionPart(QStringLiteral("1.2.3.4.5"), fvAllNoBuild), QStringLiteral("1.2.3"));
}

TEST(VersionLookup, FailuresBecomeVisibleTexts)
{
    EmptyResource empty;
    EXPECT_EQ(textOf(empty, vrFileVersion, QStringLiteral("FileVersion")), QStringLiteral("< Keine Daten Verfügbar >"));
    EXPECT_EQ(textOf(empty, vrFlags, QStringLiteral("Flags")), QStringLiteral("< Keine Daten Verfügbar >"));

    UnreadableResource unreadable;
    EXPECT_EQ(textOf(unreadable, vrCompanyName, QStringLiteral("CompanyName")), QStringLiteral("< Fehler >"));
    EXPECT_EQ(textOf(unreadable, vrFlags, QStringLiteral("Flags")), QStringLiteral("< Fehler >"));

    // No translation listed: the entry is not read and the block stays open.
    VersionResourceData noTranslation = germanResource(QStringLiteral("2.1.0.318"));
    noTranslation.translations.clear();
    DataVersionResource withoutTranslation(noTranslation);
    QString langCharset = QStringLiteral("-1");
    EXPECT_EQ(versionInfoText(withoutTranslation, vrFileVersion, QStringLiteral("FileVersion"), fvAll, langCharset),
              QStringLiteral("< Error retrieving translation info >"));
    EXPECT_EQ(langCharset, QStringLiteral("-1"));
    // ... but a block named outright is read.
    langCharset = QStringLiteral("040704E4");
    EXPECT_EQ(versionInfoText(withoutTranslation, vrFileVersion, QStringLiteral("FileVersion"), fvAll, langCharset),
              QStringLiteral("2.1.0.318"));

    DataVersionResource german(germanResource(QStringLiteral("2.1.0.318")));
    EXPECT_EQ(textOf(german, vrLegalCopyright, QStringLiteral("LegalCopyright")), QStringLiteral("< Fehler >"))
        << "a key the table does not hold";
    langCharset = QStringLiteral("040904B0");
    EXPECT_EQ(versionInfoText(german, vrCompanyName, QStringLiteral("CompanyName"), fvAll, langCharset),
              QStringLiteral("< Fehler >"))
        << "a block the resource does not hold";
    // A failure is shown whole, not cut like a version.
    langCharset = QStringLiteral("040904B0");
    EXPECT_EQ(versionInfoText(german, vrFileVersion, QStringLiteral("FileVersion"), fvBuild, langCharset),
              QStringLiteral("< Fehler >"));
}

TEST(VersionLookup, FirstTranslationIsTakenAndKept)
{
    VersionResourceData data = germanResource(QStringLiteral("2.1.0.318"));
    data.translations = {{0x0407, 0x04E4}, {0x0409, 0x04B0}};
    data.tables.append({QStringLiteral("040904B0"), {{QStringLiteral("CompanyName"), QStringLiteral("Halvorin Inc.")}}});
    DataVersionResource reader(data);
    QString langCharset = QStringLiteral("-1");
    EXPECT_EQ(versionInfoText(reader, vrCompanyName, QStringLiteral("CompanyName"), fvAll, langCharset),
              QStringLiteral("Halvorin"));
    EXPECT_EQ(langCharset, QStringLiteral("040704E4"));

    // Upper-case hex digits, four for each word.
    data.translations = {{0x0409, 0x04b0}};
    DataVersionResource english(data);
    langCharset = QStringLiteral("-1");
    EXPECT_EQ(versionInfoText(english, vrCompanyName, QStringLiteral("CompanyName"), fvAll, langCharset),
              QStringLiteral("Halvorin Inc."));
    EXPECT_EQ(langCharset, QStringLiteral("040904B0"));

    // A translation entry shorter than its two words is no translation.
    class ShortTranslation : public DataVersionResource {
    public:
        using DataVersionResource::DataVersionResource;
        std::optional<QByteArray> query(const QString &path) const override
        {
            if (path == QLatin1String("\\VarFileInfo\\Translation"))
                return QByteArray("\x07\x04\xE4", 3);
            return DataVersionResource::query(path);
        }
    } cut(germanResource(QStringLiteral("2.1.0.318")));
    EXPECT_EQ(textOf(cut, vrCompanyName, QStringLiteral("CompanyName")),
              QStringLiteral("< Error retrieving translation info >"));
}

TEST(VersionLookup, ValuesAndTheFileVersionCut)
{
    DataVersionResource german(germanResource(QStringLiteral("2.1.0.318")));
    EXPECT_EQ(textOf(german, vrFileVersion, QStringLiteral("FileVersion"), fvAllNoBuild), QStringLiteral("2.1.0"));
    EXPECT_EQ(textOf(german, vrFileVersion, QStringLiteral("FileVersion"), fvBuild), QStringLiteral("318"));
    // Keys match regardless of case, but only "FileVersion" exactly is cut.
    EXPECT_EQ(textOf(german, vrFileVersion, QStringLiteral("fileversion"), fvBuild), QStringLiteral("2.1.0.318"));
    EXPECT_EQ(textOf(german, vrProductVersion, QStringLiteral("ProductVersion"), fvBuild), QStringLiteral("2.1.0.318"));
    // A value that is nothing but its terminator is empty.
    EXPECT_EQ(textOf(german, vrComments, QStringLiteral("Comments")), QString());

    DataVersionResource threeParts(germanResource(QStringLiteral("2.1.0")));
    EXPECT_EQ(textOf(threeParts, vrFileVersion, QStringLiteral("FileVersion"), fvBuild), QString());
    EXPECT_EQ(textOf(threeParts, vrFileVersion, QStringLiteral("FileVersion"), fvAllNoBuild), QStringLiteral("2.1.0"));
}

TEST(VersionLookup, FlagsFromTheFixedPart)
{
    DataVersionResource none(germanResource(QStringLiteral("2.1.0.318"), 0));
    EXPECT_EQ(textOf(none, vrFlags, QStringLiteral("Flags")), QString());
    DataVersionResource debug(germanResource(QStringLiteral("2.1.0.318"), 0x01));
    EXPECT_EQ(textOf(debug, vrFlags, QStringLiteral("Flags")), QStringLiteral("Debug Build"));
    DataVersionResource two(germanResource(QStringLiteral("2.1.0.318"), 0x22));
    EXPECT_EQ(textOf(two, vrFlags, QStringLiteral("Flags")), QStringLiteral("Pre-Release Build, Spezielles Built"));

    // A fixed part of less than two bytes shows nothing; one cut off before its
    // flags word is damaged; none at all is a failure.
    VersionResourceData data = germanResource(QStringLiteral("2.1.0.318"), 0x01);
    data.fixed = QByteArray(1, '\x01');
    DataVersionResource tiny(data);
    EXPECT_EQ(textOf(tiny, vrFlags, QStringLiteral("Flags")), QString());
    data.fixed = fixedPart(2, 1, 0, 318, 0x01).left(20);
    DataVersionResource cut(data);
    EXPECT_EQ(textOf(cut, vrFlags, QStringLiteral("Flags")), QStringLiteral("< Fehler >"));
    data.fixed.clear();
    DataVersionResource missing(data);
    EXPECT_EQ(textOf(missing, vrFlags, QStringLiteral("Flags")), QStringLiteral("< Fehler >"));
}

TEST(VersionLookup, FixedPartLayout)
{
    // VS_FIXEDFILEINFO, little-endian: signature, structure version, file
    // version high and low words, product version, mask, flags.
    const QByteArray fixed = fixedPart(2, 1, 0, 318, 0x05);
    ASSERT_EQ(fixed.size(), 52);
    const auto word = [&](int offset) { return qFromLittleEndian<quint32>(fixed.constData() + offset); };
    EXPECT_EQ(word(0), 0xFEEF04BDu);
    EXPECT_EQ(word(8), 0x00020001u);
    EXPECT_EQ(word(12), 0x0000013Eu);
    EXPECT_EQ(word(28), 0x05u);
}

TEST(VersionCaption, PrefixAndBlank)
{
    EXPECT_EQ(versionCaption(QStringLiteral("Built:"), true, QStringLiteral("318")), QStringLiteral("Built: 318"));
    EXPECT_EQ(versionCaption(QStringLiteral("Built:"), true, QString()), QStringLiteral("Built: "));
    EXPECT_EQ(versionCaption(QStringLiteral("Built:"), false, QStringLiteral("318")), QStringLiteral("318"));
}

// The program's own resource: the project version's first three parts and the
// commit count of the checkout it was built from.
TEST(ProgramVersion, CompiledInFromTheBuild)
{
    const QString count = testsupport::expectedBuildNumber();
    ASSERT_FALSE(count.isEmpty());
    const QString release = QStringLiteral(BRISVEL_PROJECT_VERSION).section(QLatin1Char('.'), 0, 2);

    auto reader = programVersionResource();
    EXPECT_EQ(textOf(*reader, vrFileVersion, QStringLiteral("FileVersion")), release + QLatin1Char('.') + count)
        << "a build made before the last commit carries the count of its time: build again";
    EXPECT_EQ(textOf(*reader, vrFileVersion, QStringLiteral("FileVersion"), fvAllNoBuild), release);
    EXPECT_EQ(textOf(*reader, vrCompanyName, QStringLiteral("CompanyName")), QStringLiteral("Halvorin"));
    EXPECT_EQ(textOf(*reader, vrProductName, QStringLiteral("ProductName")), QStringLiteral("brisvel ostrel"));
    for (TVersionResources r : {vrFileDescription, vrInternalName, vrLegalCopyright, vrOriginalFilename,
                                vrProductVersion, vrComments}) {
        const QString text = textOf(*reader, r, versionEntry(r).key);
        EXPECT_FALSE(text.isEmpty()) << versionEntry(r).key.toStdString();
        EXPECT_FALSE(text.startsWith(QLatin1Char('<'))) << text.toStdString();
    }
    QString langCharset = QStringLiteral("-1");
    versionInfoText(*reader, vrCompanyName, QStringLiteral("CompanyName"), fvAll, langCharset);
    EXPECT_EQ(langCharset, QStringLiteral("040704E4"));
#ifdef BRISVEL_TEST_DEBUG_BUILD
    EXPECT_EQ(textOf(*reader, vrFlags, QStringLiteral("Flags")), QStringLiteral("Debug Build"));
#else
    EXPECT_EQ(textOf(*reader, vrFlags, QStringLiteral("Flags")), QString());
#endif
    EXPECT_EQ(versionLine(), QStringLiteral("brisvel ostrel ") + release + QLatin1Char('.') + count);
}
