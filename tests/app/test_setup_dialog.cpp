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

TEST_F(SetupDialog, StartsWithThePrintPageSelectedAndOpenPageHidden)
{
    TFMsetup &d = *dialog;
    EXPECT_EQ(d.objectName(), QStringLiteral("FMsetup"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_GE(d.width(), 317);
    EXPECT_GE(d.height(), 259);
    EXPECT_FALSE(d.isPageVisible(d.TabSheet1));
    EXPECT_TRUE(d.isPageVisible(d.TabSheet4));
    EXPECT_EQ(d.PageControl1->currentWidget(), d.TabSheet2);
    EXPECT_EQ(d.DRSize->value(), 10);
    EXPECT_EQ(d.DRSize->minimum(), 4);
    EXPECT_EQ(d.DRSize->maximum(), 14);
    // The style and colour handlers act on the tags.
    EXPECT_EQ(d.findChild<QRadioButton *>(QStringLiteral("RBWindows"))->property("tag").toInt(), 2);
    EXPECT_EQ(d.findChild<QRadioButton *>(QStringLiteral("RBColWindows"))->property("tag").toInt(), 1);
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

TEST_F(SetupDialog, CancelStoresNothingButKeepsWhatActedAtOnce)
{
    EXPECT_FALSE(settingsModeWith(&TFMsetup::Button2, [this](TFMsetup &d) {
        d.ChBShowRaster->click();
        EXPECT_TRUE(settings.ShowColorGrid); // repainted before OK or Cancel
        EXPECT_EQ(repaints, 1);
        d.CHBReadonly->click();
        d.RBWindows->click();
    }));
    EXPECT_TRUE(profile.iniText().isEmpty());
    EXPECT_TRUE(settings.ShowColorGrid);
    EXPECT_FALSE(settings.Readonly);
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stWindowsXP);

    // Opening again loads the settings: the raster as in effect, the look as
    // stored. OK takes the controls, a number being typed included.
    ASSERT_TRUE(settingsModeWith(&TFMsetup::Button1, [this](TFMsetup &d) {
        EXPECT_TRUE(d.ChBShowRaster->isChecked());
        EXPECT_FALSE(d.CHBReadonly->isChecked());
        EXPECT_EQ(skin.skinType(), ToolbarSkin::stOfficeXP);
        d.CHBExclusive->click();
        d.RBStandard->click();
        d.DRSize->findChild<QLineEdit *>()->setText(QStringLiteral("13"));
    }));
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
    // Before any load (print mode shows this page too) the buttons are as
    // designed, Office XP with its colours, while the skin may draw another look.
    skin.setSkinType(2);
    skin.setColorSet(1);
    d.RBStandard->click();
    EXPECT_EQ(skin.skinType(), ToolbarSkin::stStandard);
    EXPECT_FALSE(d.RBColOffice->isEnabled());
    EXPECT_FALSE(d.RBColWindows->isEnabled());
    EXPECT_TRUE(d.RBColOffice->isChecked());
    EXPECT_EQ(skin.colorSet(), ToolbarSkin::csOfficeXP);

    d.RBWindows->click();
    EXPECT_TRUE(d.RBColWindows->isEnabled());
    EXPECT_TRUE(d.RBColWindows->isChecked());
    EXPECT_EQ(skin.styleSheet(), ToolbarSkin::styleSheetFor(2, 1));

    d.RBOffice->click();
    EXPECT_TRUE(d.RBColOffice->isChecked());
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
    EXPECT_TRUE(dialog->RBWindows->isChecked());
    EXPECT_TRUE(dialog->RBColOffice->isChecked());
    EXPECT_EQ(skin.styleSheet(), ToolbarSkin::styleSheetFor(2, 0));

    // A style no button stands for shows as what is drawn, so OK stores a
    // valid pair.
    settings.MenuStyle = 5;
    settings.MenuColorSet = -1;
    dialog->loadSettings();
    EXPECT_TRUE(dialog->RBStandard->isChecked());
    EXPECT_FALSE(dialog->RBColOffice->isEnabled());
    dialog->takeSettings();
    EXPECT_EQ(settings.MenuStyle, 0);
    EXPECT_EQ(settings.MenuColorSet, 0);
}

TEST_F(SetupDialog, PrinterPageFollowsThePrintingServices)
{
    TFMsetup &d = *dialog;
    d.FormActivate();
    ASSERT_EQ(d.CBDrucker->count(), print::printerNames().size());
    EXPECT_EQ(d.CBDrucker->currentText(), print::currentPrinterName());
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

    d.CBDrucker->setCurrentIndex(int(print::printerNames().indexOf(print::pdfPrinterName())));
    d.CBDruckerChange();
    EXPECT_EQ(print::currentPrinterName(), print::pdfPrinterName());
}

TEST_F(SetupDialog, PrintModeShowsOnlyThePrintPagesAndTakesTheFontSize)
{
    settings.PrintFontSize = 12; // as stored, until a print dialog is confirmed
    QStringList captions;
    TFMsetup::setShowModalHook([&captions](TFMsetup &d) {
        captions << d.windowTitle();
        EXPECT_FALSE(d.isPageVisible(d.TabSheet1));
        EXPECT_TRUE(d.isPageVisible(d.TabSheet4));
        EXPECT_EQ(d.PageControl1->currentWidget(), d.TabSheet2);
        d.DRSize->setValue(8);
        (captions.size() == 1 ? d.Button2 : d.Button1)->click();
        return d.result();
    });
    EXPECT_FALSE(runPrintMode(*dialog, true));
    EXPECT_EQ(settings.PrintFontSize, 12);
    EXPECT_TRUE(dialog->isPageVisible(dialog->TabSheet1));
    EXPECT_EQ(dialog->PageControl1->currentWidget(), dialog->TabSheet1);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Einstellungen"));

    EXPECT_TRUE(runPrintMode(*dialog, false));
    EXPECT_EQ(captions, QStringList({QStringLiteral("Drucken"), QStringLiteral("Einstellungen")}));
    EXPECT_EQ(settings.PrintFontSize, 8);
    EXPECT_TRUE(profile.iniText().isEmpty());
}

TEST_F(SetupDialog, OkOnAStoreThatCannotBeWrittenSaysSo)
{
    profile.makeUnwritable();
    apptest::BoxRecorder boxes;
    ASSERT_TRUE(settingsModeWith(&TFMsetup::Button1));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, QStringLiteral("Fehler"));
    EXPECT_TRUE(boxes.boxes[0].text.startsWith(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden")));
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
