// The settings dialog: its form, the handlers that act at once, settings mode
// (load, OK stores, Cancel stores nothing) and print mode.
#include "AppTestSupport.h"
#include "Printers.h"
#include "SettingsStore.h"
#include "SetupDialog.h"
#include "ToolbarSkin.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace app;

namespace {

QString path(const char *name)
{
    return QString::fromLatin1(BrisvelKey) + QLatin1String(name);
}

QVariant stored(const char *name, int kind)
{
    return RegReadValue(HKEY_CURRENT_USER, path(name), kind);
}

} // namespace

// A dialog on the main window's settings and skin, as the program links them,
// with a fresh profile and printer state.
class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        apptest::app();
        print::resetPrinterState();
        settings.readSettings();
        settings.applyTo(skin);
        dialog = std::make_unique<TFMsetup>();
        dialog->attach(&settings, &skin, [this] { ++repaints; });
    }
    void TearDown() override
    {
        TFMsetup::setShowModalHook(nullptr);
        print::setPrinterSetupHook(nullptr);
        print::resetPrinterState();
    }
    // Settings mode answered by pressing a button of the dialog.
    bool settingsModeWith(QPushButton *TFMsetup::*button, const std::function<void(TFMsetup &)> &user = {})
    {
        TFMsetup::setShowModalHook([button, user](TFMsetup &d) {
            if (user)
                user(d);
            (d.*button)->click();
            return d.result();
        });
        return runSettingsMode(*dialog);
    }

    apptest::Profile profile;
    AppSettings settings;
    ToolbarSkin skin;
    std::unique_ptr<TFMsetup> dialog;
    int repaints = 0;
};

TEST_F(SetupDialog, FormAsDesigned)
{
    TFMsetup &d = *dialog;
    EXPECT_EQ(d.objectName(), QStringLiteral("FMsetup"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_GE(d.width(), 317);
    EXPECT_GE(d.height(), 259);
    EXPECT_EQ(d.minimumSize(), d.maximumSize()); // fixed border

    QTabWidget *pages = d.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    ASSERT_EQ(pages, d.PageControl1);
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Öffnen"));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Drucken"));
    EXPECT_EQ(pages->tabText(2), QStringLiteral("Layout"));
    EXPECT_EQ(pages->widget(0)->objectName(), QStringLiteral("TabSheet1"));
    EXPECT_EQ(pages->widget(1)->objectName(), QStringLiteral("TabSheet2"));
    EXPECT_EQ(pages->widget(2)->objectName(), QStringLiteral("TabSheet4"));
    // At start "Öffnen" is hidden and "Drucken" selected.
    EXPECT_FALSE(d.isPageVisible(d.TabSheet1));
    EXPECT_TRUE(d.isPageVisible(d.TabSheet2));
    EXPECT_TRUE(d.isPageVisible(d.TabSheet4));
    EXPECT_EQ(pages->currentWidget(), d.TabSheet2);

    struct Expected {
        const char *name;
        const char *text;
        int tag;
    };
    for (const Expected &e : std::initializer_list<Expected>{
             {"CHBExclusive", "Exklusiv", -1}, {"CHBReadonly", "Nur lesen", -1},
             {"Button4", "&Eigenschaften", -1}, {"RBPortrait", "Hochformat", -1},
             {"RBLandscape", "Querformat", -1}, {"ChBShowRaster", "Farbiges Raster zeigen", -1},
             {"RBStandard", "Standard", 0}, {"RBOffice", "Office XP", 1}, {"RBWindows", "Windows XP", 2},
             {"RBColOffice", "Office XP", 0}, {"RBColWindows", "Windows XP", 1}, {"Button1", "OK", -1},
             {"Button2", "&Abbrechen", -1}}) {
        auto *button = d.findChild<QAbstractButton *>(QString::fromLatin1(e.name));
        ASSERT_NE(button, nullptr) << e.name;
        EXPECT_EQ(button->text(), QString::fromUtf8(e.text)) << e.name;
        if (e.tag >= 0) {
            EXPECT_EQ(button->property("tag").toInt(), e.tag) << e.name;
        }
    }
    EXPECT_TRUE(d.Button1->isDefault());
    EXPECT_EQ(d.findChild<QComboBox *>(QStringLiteral("CBDrucker"))->width(), 173);
    QSpinBox *size = d.findChild<QSpinBox *>(QStringLiteral("DRSize"));
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->minimum(), 4);
    EXPECT_EQ(size->maximum(), 14);
    EXPECT_EQ(size->value(), 10);

    QStringList headings;
    for (QLabel *label : d.findChildren<QLabel *>())
        if (label->font().bold())
            headings << label->text();
    headings.sort();
    EXPECT_EQ(headings, QStringList({QStringLiteral("Drucken  "), QStringLiteral("Farbschema  "),
                                     QStringLiteral("Layout  "), QStringLiteral("Menü-Layout  "),
                                     QStringLiteral("Öffnen  ")}));
}

TEST_F(SetupDialog, FirstOkOnAFreshProfileStoresTheDefaults)
{
    EXPECT_FALSE(settings.Readonly);
    EXPECT_EQ(settings.PrintFontSize, 0);
    ASSERT_TRUE(settingsModeWith(&TFMsetup::Button1));
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(settings.PrintFontSize, 10);
    profile.reopen();
    EXPECT_EQ(stored("Readonly", rkBoolean), QVariant(false));
    EXPECT_EQ(stored("Exclusive", rkBoolean), QVariant(false));
    EXPECT_EQ(stored("ShowColorGrid", rkBoolean), QVariant(false));
    EXPECT_EQ(stored("DRSize", rkInteger), QVariant(10));
    EXPECT_EQ(stored("MenuStyle", rkInteger), QVariant(2));
    EXPECT_EQ(stored("MenuColorSet", rkInteger), QVariant(1));
}

TEST_F(SetupDialog, OkTakesTheControlsAndCancelStoresNothing)
{
    // Cancel after changes: nothing stored; the raster stays on (it repainted
    // at once), the look stays changed.
    EXPECT_FALSE(settingsModeWith(&TFMsetup::Button2, [](TFMsetup &d) {
        d.ChBShowRaster->click();
        d.CHBReadonly->click();
        d.RBWindows->click();
    }));
    EXPECT_TRUE(profile.iniText().isEmpty());
    EXPECT_TRUE(settings.ShowColorGrid);
    EXPECT_FALSE(settings.Readonly);
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stWindowsXP);

    // Opening again loads the settings: raster on as it is in effect, the look
    // back to the stored one.
    ASSERT_TRUE(settingsModeWith(&TFMsetup::Button1, [](TFMsetup &d) {
        EXPECT_TRUE(d.ChBShowRaster->isChecked());
        EXPECT_FALSE(d.CHBReadonly->isChecked());
        EXPECT_TRUE(d.RBOffice->isChecked());
        d.CHBExclusive->click();
        d.RBStandard->click();
        d.DRSize->findChild<QLineEdit *>()->setText(QStringLiteral("13")); // typed, focus still in the box
    }));
    EXPECT_TRUE(settings.Exclusive);
    EXPECT_EQ(settings.MenuStyle, 0);
    EXPECT_EQ(settings.MenuColorSet, 0);
    EXPECT_EQ(settings.PrintFontSize, 13);
    profile.reopen();
    AppSettings back;
    back.readSettings();
    EXPECT_TRUE(back.Exclusive);
    EXPECT_TRUE(back.ShowColorGrid);
    EXPECT_EQ(back.MenuStyle, 0);
    EXPECT_EQ(back.PrintFontSize, 13);
}

TEST_F(SetupDialog, MenuStyleButtonsSetTheColourButtons)
{
    TFMsetup &d = *dialog;
    d.loadSettings();
    d.RBColWindows->click();
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csWindowsXP);

    d.RBStandard->click();
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stStandard);
    EXPECT_FALSE(d.RBColOffice->isEnabled());
    EXPECT_FALSE(d.RBColWindows->isEnabled());
    EXPECT_TRUE(d.RBColOffice->isChecked());
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csOfficeXP);
    EXPECT_TRUE(skin.styleSheet().isEmpty());

    d.RBWindows->click();
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stWindowsXP);
    EXPECT_TRUE(d.RBColOffice->isEnabled());
    EXPECT_TRUE(d.RBColWindows->isEnabled());
    EXPECT_TRUE(d.RBColWindows->isChecked());
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csWindowsXP);

    d.RBOffice->click();
    EXPECT_TRUE(d.RBColOffice->isChecked());
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csOfficeXP);
    EXPECT_EQ(skin.styleSheet(), ToolbarSkin::styleSheetFor(1, 0));
}

TEST_F(SetupDialog, LayoutPageBeforeAnyLoadKeepsSkinAndButtonsInStep)
{
    // Print mode shows the layout page of a dialog never loaded: its buttons
    // are as designed (Office XP, Office XP colours) while the skin draws the
    // stored Windows XP look in Windows XP colours.
    skin.setSkinType(2);
    skin.setColorSet(1);
    dialog->RBStandard->click();
    EXPECT_EQ(skin.colorSet(), 0);
    dialog->RBOffice->click();
    EXPECT_TRUE(dialog->RBColOffice->isChecked());
    EXPECT_EQ(skin.styleSheet(), ToolbarSkin::styleSheetFor(1, 0));
}

TEST_F(SetupDialog, LoadingShowsTheSettingsAndAppliesTheirLook)
{
    settings.Readonly = true;
    settings.MenuStyle = 2;
    settings.MenuColorSet = 0; // Windows XP look in Office XP colours
    skin.setSkinType(0);
    dialog->loadSettings();
    EXPECT_TRUE(dialog->CHBReadonly->isChecked());
    EXPECT_FALSE(dialog->CHBExclusive->isChecked());
    EXPECT_TRUE(dialog->RBWindows->isChecked());
    EXPECT_TRUE(dialog->RBColOffice->isChecked());
    EXPECT_TRUE(dialog->RBColOffice->isEnabled());
    EXPECT_EQ(skin.skinType(), 2);
    EXPECT_EQ(skin.colorSet(), 0);

    // A stored style no button stands for shows as what is drawn: plain.
    settings.MenuStyle = 5;
    settings.MenuColorSet = -1;
    dialog->loadSettings();
    EXPECT_TRUE(dialog->RBStandard->isChecked());
    EXPECT_TRUE(dialog->RBColOffice->isChecked());
    EXPECT_FALSE(dialog->RBColOffice->isEnabled());
    dialog->takeSettings();
    EXPECT_EQ(settings.MenuStyle, 0);
    EXPECT_EQ(settings.MenuColorSet, 0);
}

TEST_F(SetupDialog, RasterActsAtOnce)
{
    dialog->ChBShowRaster->click();
    EXPECT_TRUE(settings.ShowColorGrid);
    EXPECT_EQ(repaints, 1);
    dialog->ChBShowRaster->click();
    EXPECT_FALSE(settings.ShowColorGrid);
    EXPECT_EQ(repaints, 2);
    EXPECT_TRUE(profile.iniText().isEmpty());
}

TEST_F(SetupDialog, PrinterPageFollowsThePrintingServices)
{
    TFMsetup &d = *dialog;
    d.FormActivate();
    ASSERT_EQ(d.CBDrucker->count(), print::printerNames().size());
    EXPECT_EQ(d.CBDrucker->itemText(d.CBDrucker->count() - 1), print::pdfPrinterName());
    EXPECT_EQ(d.CBDrucker->currentIndex(), print::printerIndex());
    EXPECT_TRUE(d.RBPortrait->isChecked());

    d.RBLandscape->click();
    EXPECT_EQ(print::orientation(), QPageLayout::Landscape);
    d.RBPortrait->click();
    EXPECT_EQ(print::orientation(), QPageLayout::Portrait);

    // "Eigenschaften": the setup dialog's choice shows on the page.
    print::setPrinterSetupHook([](QPrinter &printer) {
        printer.setPageOrientation(QPageLayout::Landscape);
        return true;
    });
    d.Button4->click();
    EXPECT_TRUE(d.RBLandscape->isChecked());
    EXPECT_EQ(print::orientation(), QPageLayout::Landscape);

    // A printer chosen in the list becomes current with its own orientation.
    const int pdf = int(print::printerNames().indexOf(print::pdfPrinterName()));
    d.CBDrucker->setCurrentIndex(pdf);
    d.CBDruckerChange();
    EXPECT_EQ(print::currentPrinterName(), print::pdfPrinterName());
    EXPECT_TRUE(d.RBLandscape->isChecked());
}

TEST_F(SetupDialog, PrintModeShowsOnlyThePrintPagesAndTakesTheFontSize)
{
    settings.PrintFontSize = 12; // as stored, until a print dialog is confirmed
    QStringList seen;
    TFMsetup::setShowModalHook([&seen](TFMsetup &d) {
        seen << d.windowTitle();
        EXPECT_FALSE(d.isPageVisible(d.TabSheet1));
        EXPECT_TRUE(d.isPageVisible(d.TabSheet4));
        EXPECT_EQ(d.PageControl1->currentWidget(), d.TabSheet2);
        EXPECT_EQ(d.CBDrucker->count(), print::printerNames().size());
        d.DRSize->setValue(8);
        d.Button2->click();
        return d.result();
    });
    EXPECT_FALSE(runPrintMode(*dialog, true));
    EXPECT_EQ(settings.PrintFontSize, 12);
    // Afterwards "Öffnen" is back and selected, the caption too.
    EXPECT_TRUE(dialog->isPageVisible(dialog->TabSheet1));
    EXPECT_EQ(dialog->PageControl1->currentWidget(), dialog->TabSheet1);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Einstellungen"));

    TFMsetup::setShowModalHook([&seen](TFMsetup &d) {
        seen << d.windowTitle();
        d.Button1->click();
        return d.result();
    });
    EXPECT_TRUE(runPrintMode(*dialog, false));
    EXPECT_EQ(seen, QStringList({QStringLiteral("Drucken"), QStringLiteral("Einstellungen")}));
    EXPECT_EQ(settings.PrintFontSize, 8); // the spin box kept its value
    EXPECT_TRUE(profile.iniText().isEmpty());
    EXPECT_EQ(dialog->PageControl1->currentWidget(), dialog->TabSheet1);
}

TEST_F(SetupDialog, OkOnAStoreThatCannotBeWrittenSaysSo)
{
    QFile blocker(QDir(profile.folder()).filePath(QStringLiteral("Halvorin")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    apptest::BoxRecorder boxes;
    ASSERT_TRUE(settingsModeWith(&TFMsetup::Button1));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Fehler"));
    EXPECT_TRUE(boxes.boxes[0].text.startsWith(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden")));
    EXPECT_EQ(repaints, 1);
}

TEST_F(SetupDialog, RealModalDialogActivatesAndCloses)
{
    bool filled = false;
    QTimer::singleShot(50, [&] {
        auto *d = qobject_cast<TFMsetup *>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        filled = d->CBDrucker->count() > 0;
        d->Button1->click();
    });
    EXPECT_TRUE(runSettingsMode(*dialog));
    EXPECT_TRUE(filled);
    EXPECT_EQ(stored("MenuStyle", rkInteger), QVariant(2));
}
