#pragma once
// FMsetup: the settings dialog ("Einstellungen"). In settings mode it shows and
// stores the user's settings; in print mode (print and printer setup commands)
// it offers the print page only. Printer, orientation, raster and menu look
// take effect at once, before OK.
#include "SettingsStore.h"

#include <QDialog>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace app {

class ToolbarSkin;

class TFMsetup : public QDialog {
    Q_OBJECT
public:
    explicit TFMsetup(QWidget *parent = nullptr);

    // What the dialog acts on: the main window's settings, its toolbar skin and
    // the repaint of its grid. Until then it works on settings of its own.
    void attach(AppSettings *settings, ToolbarSkin *skin, std::function<void()> repaintGrid);
    AppSettings &settings() { return *m_settings; }
    void repaintGrid();

    // The controls, named as on the form.
    QTabWidget *PageControl1;
    QWidget *TabSheet1; // "Öffnen"
    QWidget *TabSheet2; // "Drucken"
    QWidget *TabSheet4; // "Layout"
    QCheckBox *CHBExclusive;
    QCheckBox *CHBReadonly;
    QComboBox *CBDrucker;
    QPushButton *Button4; // "&Eigenschaften"
    QRadioButton *RBPortrait;
    QRadioButton *RBLandscape;
    QSpinBox *DRSize;
    QCheckBox *ChBShowRaster;
    QRadioButton *RBStandard;   // tag 0
    QRadioButton *RBOffice;     // tag 1
    QRadioButton *RBWindows;    // tag 2
    QRadioButton *RBColOffice;  // tag 0
    QRadioButton *RBColWindows; // tag 1
    QPushButton *Button1;       // "OK"
    QPushButton *Button2;       // "&Abbrechen"

    // Handlers; they raise engine::EngineError on a printer error (the
    // signal connections show it in the default error box).
    void FormActivate();
    void CBDruckerChange();
    void Button4Click();
    void RBPortraitClick();
    void RBLandscapeClick();
    void Button1Click();
    void ChBShowRasterClick();
    void RBStandardClick(QAbstractButton *sender);
    void RBColOfficeClick(QAbstractButton *sender);

    // Settings mode: puts the settings into the controls (running the click
    // handlers of what gets ticked), and takes them back after OK.
    void loadSettings();
    void takeSettings();
    // The font size the spin box holds (a number being typed counts).
    int printFontSize();

    bool isPageVisible(QWidget *page) const;
    void setPageVisible(QWidget *page, bool visible);
    // Print mode: only "Drucken" and "Layout", "Drucken" selected, with the
    // print command the caption "Drucken"; leaving it shows and selects "Öffnen".
    void enterPrintMode(bool printCaption);
    void leavePrintMode(bool printCaption);

    // Shows the dialog modally; returns the QDialog result.
    int showModal();
    // Stands in for the modal loop (tests): gets the dialog, which has just been
    // activated, and returns the result, e.g. after clicking Button1.
    using ShowModalHook = std::function<int(TFMsetup &)>;
    static void setShowModalHook(ShowModalHook hook);

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildPageOpen();
    void buildPagePrint();
    void buildPageLayout();
    void fillPrinters();
    void tickOrientation();

    AppSettings m_ownSettings;
    AppSettings *m_settings = &m_ownSettings;
    ToolbarSkin *m_skin = nullptr;
    std::function<void()> m_repaintGrid;
    QButtonGroup *m_orientationGroup = nullptr;
    QButtonGroup *m_styleGroup = nullptr;
    QButtonGroup *m_colourGroup = nullptr;
};

// The "&Einstellungen" command: load the dialog from the settings, show it;
// on OK take the values back, store them and repaint the grid. Returns true on
// OK; a store that cannot be written is reported in an error box.
bool runSettingsMode(TFMsetup &FMsetup);

// The print and printer setup commands: the dialog in print mode; on OK the
// spin box value becomes PrintFontSize (not stored). Returns true on OK.
bool runPrintMode(TFMsetup &FMsetup, bool printCaption);

// Decisions of the layout page.
inline bool colourButtonsEnabled(int menuStyle) { return menuStyle > 0; }
inline int colourSetForStyle(int menuStyle) { return menuStyle == 2 ? 1 : 0; }

} // namespace app
