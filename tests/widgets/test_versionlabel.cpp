// TKVersionLabel: its state after construction, the setters' order of effects,
// the prefix switch, the cut of "FileVersion", the flags and every failure
// text, read from test resources.
#include "../version/FakeVersionResource.h"
#include "KVersionLabel.h"
#include "WidgetTestApp.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace widgets;
using namespace version;
using namespace versiontest;

namespace {

struct VersionLabelTest : widgettest::WithApp, ::testing::Test {
    std::shared_ptr<CountingResource> resource =
        std::make_shared<CountingResource>(germanResource(QStringLiteral("2.1.0.318")));
    TKVersionLabel label;
    VersionLabelTest() { label.setVersionResourceReader(resource); }
};

} // namespace

TEST_F(VersionLabelTest, AfterConstruction)
{
    TKVersionLabel fresh;
    EXPECT_FALSE(fresh.WordWrap());
    EXPECT_TRUE(fresh.AutoSize());
    EXPECT_TRUE(fresh.ShowInfoPrefix());
    EXPECT_EQ(fresh.VersionResource(), vrFileVersion);
    EXPECT_EQ(fresh.VersionResourceKey(), QStringLiteral("FileVersion"));
    EXPECT_EQ(fresh.InfoPrefix(), QStringLiteral("Dateiversion:"));
    EXPECT_EQ(fresh.FileVersionPart(), fvAll);
    // The running program's own resource, its first (German) block taken.
    EXPECT_EQ(fresh.LangCharset(), QStringLiteral("040704E4"));
    EXPECT_TRUE(fresh.Caption().startsWith(QStringLiteral("Dateiversion: 1.")));

    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: 2.1.0.318"));
}

TEST_F(VersionLabelTest, SettersInTheirOrder)
{
    // The entry sets key and then prefix.
    label.setVersionResource(vrCompanyName);
    EXPECT_EQ(label.VersionResourceKey(), QStringLiteral("CompanyName"));
    EXPECT_EQ(label.InfoPrefix(), QStringLiteral("Firmenname:"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Firmenname: Halvorin"));

    // A new key becomes the prefix too ...
    label.setVersionResourceKey(QStringLiteral("ProductVersion"));
    EXPECT_EQ(label.InfoPrefix(), QStringLiteral("ProductVersion"));
    EXPECT_EQ(label.Caption(), QStringLiteral("ProductVersion 2.1.0.318"));
    // ... until a prefix is assigned after it; the same key again leaves it.
    label.setInfoPrefix(QStringLiteral("Produkt:"));
    label.setVersionResourceKey(QStringLiteral("ProductVersion"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Produkt: 2.1.0.318"));
    EXPECT_EQ(label.VersionResource(), vrCompanyName) << "the key does not change the entry";

    // The part is only stored; the next recomputation uses it.
    label.setVersionResource(vrFileVersion);
    label.setFileVersionPart(fvBuild);
    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: 2.1.0.318"));
    label.setInfoPrefix(QStringLiteral("Built:"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Built: 318"));

    // The caption cannot be set by hand.
    label.setCaption(QStringLiteral("3.0"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Built: 318"));
}

TEST_F(VersionLabelTest, PrefixSwitchAndKeysOtherThanFileVersion)
{
    label.setFileVersionPart(fvAllNoBuild);
    label.setInfoPrefix(QStringLiteral("Version:"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Version: 2.1.0"));
    label.setShowInfoPrefix(false);
    EXPECT_EQ(label.Caption(), QStringLiteral("2.1.0"));

    // Another key is shown whole, whatever the part says.
    label.setVersionResource(vrProductVersion);
    EXPECT_EQ(label.Caption(), QStringLiteral("2.1.0.318"));
    label.setShowInfoPrefix(true);
    EXPECT_EQ(label.Caption(), QStringLiteral("Produktversion: 2.1.0.318"));
}

TEST_F(VersionLabelTest, ThreePartVersionLeavesTheBuildEmpty)
{
    label.setVersionResourceReader(std::make_shared<DataVersionResource>(germanResource(QStringLiteral("2.1.0"))));
    label.setFileVersionPart(fvBuild);
    label.setInfoPrefix(QStringLiteral("Built:"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Built: "));
}

TEST_F(VersionLabelTest, Flags)
{
    label.setVersionResource(vrFlags);
    EXPECT_EQ(label.Caption(), QStringLiteral("Flags: ")) << "no flag bits set";
    for (const auto &[bit, text] : std::initializer_list<std::pair<quint32, const char *>>{
             {0x01, "Debug Build"},
             {0x02, "Pre-Release Build"},
             {0x04, "Patched Build"},
             {0x08, "Privates Build"},
             {0x10, "InfoInferred"},
             {0x20, "Spezielles Built"},
             {0x09, "Debug Build, Privates Build"}}) {
        label.setVersionResourceReader(
            std::make_shared<DataVersionResource>(germanResource(QStringLiteral("2.1.0.318"), bit)));
        EXPECT_EQ(label.Caption(), QStringLiteral("Flags: ") + QString::fromUtf8(text));
    }
}

TEST_F(VersionLabelTest, FailureTexts)
{
    label.setVersionResourceReader(std::make_shared<EmptyResource>());
    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: < Keine Daten Verfügbar >"));
    label.setVersionResourceReader(std::make_shared<UnreadableResource>());
    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: < Fehler >"));

    VersionResourceData data = germanResource(QStringLiteral("2.1.0.318"));
    data.translations.clear();
    label.setLangCharset(QStringLiteral("-1"));
    label.setVersionResourceReader(std::make_shared<DataVersionResource>(data));
    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: < Error retrieving translation info >"));
    EXPECT_EQ(label.LangCharset(), QStringLiteral("-1"));
    // A block named outright needs no translation list.
    label.setLangCharset(QStringLiteral("040704E4"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: 2.1.0.318"));
    label.setLangCharset(QStringLiteral("040904B0"));
    EXPECT_EQ(label.Caption(), QStringLiteral("Dateiversion: < Fehler >"));
}

TEST_F(VersionLabelTest, ReadsAfreshAndFitsItsText)
{
    const int before = resource->loads;
    label.setInfoPrefix(QStringLiteral("V:"));
    label.setInfoPrefix(QStringLiteral("V:")); // unchanged: nothing read
    EXPECT_EQ(resource->loads, before + 1);
    label.setShowInfoPrefix(false);
    EXPECT_EQ(resource->loads, before + 2);

    // Auto size: the label is as wide as its text.
    const QFontMetrics metrics(label.font());
    EXPECT_NEAR(label.width(), metrics.horizontalAdvance(QStringLiteral("2.1.0.318")), 1);
    label.setShowInfoPrefix(true);
    EXPECT_NEAR(label.width(), metrics.horizontalAdvance(QStringLiteral("V: 2.1.0.318")), 1);
}
