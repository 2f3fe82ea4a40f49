#include "SetupDialog.h"

#include "Printers.h"
#include "SharedTools.h"
#include "ToolbarSkin.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace app {

namespace {

TFMsetup::ShowModalHook &modalHook()
{
    static TFMsetup::ShowModalHook hook;
    return hook;
}

// A bold heading (its text ends in two blanks) followed by a rule line.
QWidget *heading(const QString &text, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *label = new QLabel(text, row);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    auto *rule = new QFrame(row);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(label);
    layout->addWidget(rule, 1);
    return row;
}

template <typename Widget>
Widget *named(Widget *widget, const char *name, int tag = -1)
{
    widget->setObjectName(QString::fromLatin1(name));
    if (tag >= 0)
        widget->setProperty("tag", tag);
    return widget;
}

int tagOf(const QObject *object)
{
    return object ? object->property("tag").toInt() : 0;
}

// Indented block under a heading.
QVBoxLayout *indented(QVBoxLayout *page)
{
    auto *block = new QVBoxLayout;
    block->setContentsMargins(16, 0, 0, 0);
    block->setSpacing(3);
    page->addLayout(block);
    return block;
}

} // namespace

TFMsetup::TFMsetup(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FMsetup"));
    setWindowTitle(QStringLiteral("Einstellungen"));
    QFont dialogFont = font();
    dialogFont.setFamilies({QStringLiteral("Tahoma"), dialogFont.family()});
    dialogFont.setPointSize(8);
    setFont(dialogFont);

    PageControl1 = named(new QTabWidget(this), "PageControl1");
    TabSheet1 = named(new QWidget, "TabSheet1");
    TabSheet2 = named(new QWidget, "TabSheet2");
    TabSheet4 = named(new QWidget, "TabSheet4");
    PageControl1->addTab(TabSheet1, QStringLiteral("Öffnen"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Drucken"));
    PageControl1->addTab(TabSheet4, QStringLiteral("Layout"));
    buildPageOpen();
    buildPagePrint();
    buildPageLayout();

    Button1 = named(new QPushButton(QStringLiteral("OK"), this), "Button1");
    Button2 = named(new QPushButton(QStringLiteral("&Abbrechen"), this), "Button2");
    Button1->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);

    // The handlers run as on a click, also when the program ticks a control.
    // Printer errors end the handler and show in the default error box.
    connect(CBDrucker, &QComboBox::activated, this, [this] { RunGuarded([this] { CBDruckerChange(); }); });
    connect(Button4, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button4Click(); }); });
    connect(RBPortrait, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RunGuarded([this] { RBPortraitClick(); });
    });
    connect(RBLandscape, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RunGuarded([this] { RBLandscapeClick(); });
    });
    connect(ChBShowRaster, &QCheckBox::toggled, this, [this] { ChBShowRasterClick(); });
    for (QRadioButton *button : {RBStandard, RBOffice, RBWindows})
        connect(button, &QRadioButton::toggled, this, [this, button](bool on) {
            if (on)
                RBStandardClick(button);
        });
    for (QRadioButton *button : {RBColOffice, RBColWindows})
        connect(button, &QRadioButton::toggled, this, [this, button](bool on) {
            if (on)
                RBColOfficeClick(button);
        });
    connect(Button1, &QPushButton::clicked, this, [this] { RunGuarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    // At program start "Öffnen" is hidden and "Drucken" selected.
    setPageVisible(TabSheet1, false);
    PageControl1->setCurrentWidget(TabSheet2);

    const QSize designClient(317, 259);
    setFixedSize(sizeHint().expandedTo(designClient));
}

void TFMsetup::buildPageOpen()
{
    auto *page = new QVBoxLayout(TabSheet1);
    page->addWidget(heading(QStringLiteral("Öffnen  "), TabSheet1));
    QVBoxLayout *block = indented(page);
    block->addWidget(new QLabel(QStringLiteral("Beim Öffnen, Tabelle standardmäßig öffnen als:"), TabSheet1));
    CHBExclusive = named(new QCheckBox(QStringLiteral("Exklusiv"), TabSheet1), "CHBExclusive");
    CHBReadonly = named(new QCheckBox(QStringLiteral("Nur lesen"), TabSheet1), "CHBReadonly");
    block->addWidget(CHBExclusive);
    block->addWidget(CHBReadonly);
    page->addStretch(1);
}

void TFMsetup::buildPagePrint()
{
    auto *page = new QVBoxLayout(TabSheet2);
    page->addWidget(heading(QStringLiteral("Drucken  "), TabSheet2));
    auto *grid = new QGridLayout;
    grid->setContentsMargins(16, 0, 0, 0);
    grid->setVerticalSpacing(4);
    page->addLayout(grid);

    CBDrucker = named(new QComboBox(TabSheet2), "CBDrucker");
    CBDrucker->setFixedWidth(173);
    CBDrucker->setEditable(false);
    Button4 = named(new QPushButton(QStringLiteral("&Eigenschaften"), TabSheet2), "Button4");
    grid->addWidget(new QLabel(QStringLiteral("Drucker:"), TabSheet2), 0, 0);
    grid->addWidget(CBDrucker, 0, 1, Qt::AlignLeft);
    grid->addWidget(Button4, 1, 1, Qt::AlignLeft);

    RBPortrait = named(new QRadioButton(QStringLiteral("Hochformat"), TabSheet2), "RBPortrait");
    RBLandscape = named(new QRadioButton(QStringLiteral("Querformat"), TabSheet2), "RBLandscape");
    m_orientationGroup = new QButtonGroup(this);
    m_orientationGroup->addButton(RBPortrait);
    m_orientationGroup->addButton(RBLandscape);
    auto *orientation = new QHBoxLayout;
    orientation->addWidget(RBPortrait);
    orientation->addWidget(RBLandscape);
    orientation->addStretch(1);
    grid->addWidget(new QLabel(QStringLiteral("Ausrichtung:"), TabSheet2), 2, 0);
    grid->addLayout(orientation, 2, 1);

    DRSize = named(new QSpinBox(TabSheet2), "DRSize");
    DRSize->setRange(4, 14);
    DRSize->setValue(10);
    grid->addWidget(new QLabel(QStringLiteral("Schriftgröße:"), TabSheet2), 3, 0);
    grid->addWidget(DRSize, 3, 1, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    page->addStretch(1);
}

void TFMsetup::buildPageLayout()
{
    auto *page = new QVBoxLayout(TabSheet4);
    page->setSpacing(3);
    page->addWidget(heading(QStringLiteral("Layout  "), TabSheet4));
    ChBShowRaster = named(new QCheckBox(QStringLiteral("Farbiges Raster zeigen"), TabSheet4), "ChBShowRaster");
    indented(page)->addWidget(ChBShowRaster);

    page->addWidget(heading(QStringLiteral("Menü-Layout  "), TabSheet4));
    RBStandard = named(new QRadioButton(QStringLiteral("Standard"), TabSheet4), "RBStandard", 0);
    RBOffice = named(new QRadioButton(QStringLiteral("Office XP"), TabSheet4), "RBOffice", 1);
    RBWindows = named(new QRadioButton(QStringLiteral("Windows XP"), TabSheet4), "RBWindows", 2);
    m_styleGroup = new QButtonGroup(this);
    auto *styles = new QHBoxLayout;
    for (QRadioButton *button : {RBStandard, RBOffice, RBWindows}) {
        m_styleGroup->addButton(button, tagOf(button));
        styles->addWidget(button);
    }
    styles->addStretch(1);
    styles->setContentsMargins(16, 0, 0, 0);
    page->addLayout(styles);

    page->addWidget(heading(QStringLiteral("Farbschema  "), TabSheet4));
    RBColOffice = named(new QRadioButton(QStringLiteral("Office XP"), TabSheet4), "RBColOffice", 0);
    RBColWindows = named(new QRadioButton(QStringLiteral("Windows XP"), TabSheet4), "RBColWindows", 1);
    m_colourGroup = new QButtonGroup(this);
    auto *colours = new QHBoxLayout;
    for (QRadioButton *button : {RBColOffice, RBColWindows}) {
        m_colourGroup->addButton(button, tagOf(button));
        colours->addWidget(button);
    }
    colours->addStretch(1);
    colours->setContentsMargins(16, 0, 0, 0);
    page->addLayout(colours);
    page->addStretch(1);
    // The look the program starts with when nothing is stored.
    RBOffice->setChecked(true);
    RBColOffice->setChecked(true);
}

void TFMsetup::attach(AppSettings *settings, ToolbarSkin *skin, std::function<void()> repaintGrid)
{
    m_settings = settings ? settings : &m_ownSettings;
    m_skin = skin;
    m_repaintGrid = std::move(repaintGrid);
}

void TFMsetup::repaintGrid()
{
    if (m_repaintGrid)
        m_repaintGrid();
}

// --- handlers --------------------------------------------------------------

void TFMsetup::fillPrinters()
{
    const QSignalBlocker blocker(CBDrucker);
    CBDrucker->clear();
    CBDrucker->addItems(print::printerNames());
    CBDrucker->setCurrentIndex(print::printerIndex());
}

void TFMsetup::tickOrientation()
{
    if (print::orientation() == QPageLayout::Landscape)
        RBLandscape->setChecked(true);
    else
        RBPortrait->setChecked(true);
}

void TFMsetup::FormActivate()
{
    fillPrinters();
    tickOrientation();
}

void TFMsetup::CBDruckerChange()
{
    print::setPrinterIndex(CBDrucker->currentIndex());
    tickOrientation();
}

void TFMsetup::Button4Click()
{
    print::runPrinterSetup(this);
    FormActivate();
}

void TFMsetup::RBPortraitClick()
{
    print::setOrientation(QPageLayout::Portrait);
}

void TFMsetup::RBLandscapeClick()
{
    print::setOrientation(QPageLayout::Landscape);
}

void TFMsetup::Button1Click()
{
    // An empty list (the dialog never became active) leaves the printer as it is.
    if (CBDrucker->currentIndex() >= 0)
        print::setPrinterIndex(CBDrucker->currentIndex());
    accept();
}

void TFMsetup::ChBShowRasterClick()
{
    m_settings->ShowColorGrid = ChBShowRaster->isChecked();
    repaintGrid();
}

void TFMsetup::RBStandardClick(QAbstractButton *sender)
{
    const int style = tagOf(sender);
    if (m_skin)
        m_skin->setSkinType(style);
    RBColOffice->setEnabled(colourButtonsEnabled(style));
    RBColWindows->setEnabled(colourButtonsEnabled(style));
    QRadioButton *colour = colourSetForStyle(style) == 1 ? RBColWindows : RBColOffice;
    // Ticking runs the colour handler; a button ticked already would not.
    if (colour->isChecked())
        RBColOfficeClick(colour);
    else
        colour->setChecked(true);
}

void TFMsetup::RBColOfficeClick(QAbstractButton *sender)
{
    if (m_skin)
        m_skin->setColorSet(tagOf(sender));
}

// --- settings and print mode -----------------------------------------------

void TFMsetup::loadSettings()
{
    const AppSettings &s = *m_settings;
    CHBReadonly->setChecked(s.Readonly);
    CHBExclusive->setChecked(s.Exclusive);
    ChBShowRaster->setChecked(s.ShowColorGrid);
    // Values no button stands for are shown as what the skin draws for them:
    // the plain look and the Office XP colours.
    const int style = (s.MenuStyle == 1 || s.MenuStyle == 2) ? s.MenuStyle : 0;
    const int colourSet = s.MenuColorSet == 1 ? 1 : 0;
    m_styleGroup->button(style)->setChecked(true);
    m_colourGroup->button(colourSet)->setChecked(true);
    RBColOffice->setEnabled(colourButtonsEnabled(style));
    RBColWindows->setEnabled(colourButtonsEnabled(style));
    // DRSize keeps the value it last had.
}

int TFMsetup::printFontSize()
{
    // The box follows the typing and keeps its value within 4 to 14.
    return DRSize->value();
}

void TFMsetup::takeSettings()
{
    AppSettings &s = *m_settings;
    s.Readonly = CHBReadonly->isChecked();
    s.Exclusive = CHBExclusive->isChecked();
    s.ShowColorGrid = ChBShowRaster->isChecked();
    s.PrintFontSize = printFontSize();
    if (m_styleGroup->checkedId() >= 0)
        s.MenuStyle = m_styleGroup->checkedId();
    if (m_colourGroup->checkedId() >= 0)
        s.MenuColorSet = m_colourGroup->checkedId();
}

bool TFMsetup::isPageVisible(QWidget *page) const
{
    return PageControl1->isTabVisible(PageControl1->indexOf(page));
}

void TFMsetup::setPageVisible(QWidget *page, bool visible)
{
    PageControl1->setTabVisible(PageControl1->indexOf(page), visible);
}

void TFMsetup::enterPrintMode(bool printCaption)
{
    setPageVisible(TabSheet1, false);
    PageControl1->setCurrentWidget(TabSheet2);
    if (printCaption)
        setWindowTitle(QStringLiteral("Drucken"));
}

void TFMsetup::leavePrintMode(bool printCaption)
{
    setPageVisible(TabSheet1, true);
    PageControl1->setCurrentWidget(TabSheet1);
    if (printCaption)
        setWindowTitle(QStringLiteral("Einstellungen"));
}

int TFMsetup::showModal()
{
    if (const ShowModalHook &hook = modalHook()) {
        // What the activation of the shown dialog would do.
        RunGuarded([this] { FormActivate(); });
        return hook(*this);
    }
    return exec();
}

void TFMsetup::setShowModalHook(ShowModalHook hook)
{
    modalHook() = std::move(hook);
}

bool TFMsetup::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        RunGuarded([this] { FormActivate(); });
    return QDialog::event(event);
}

void TFMsetup::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Centred on the screen (of the main window), not over the main window.
    const QWidget *owner = parentWidget() ? parentWidget() : this;
    if (const QScreen *screen = owner->screen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

bool runSettingsMode(TFMsetup &FMsetup)
{
    FMsetup.loadSettings();
    if (FMsetup.showModal() != QDialog::Accepted)
        return false;
    FMsetup.takeSettings();
    const bool stored = FMsetup.settings().writeSettings();
    FMsetup.repaintGrid();
    if (!stored)
        ShowErrorBox(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden (%1).")
                         .arg(settingsFileName()));
    return true;
}

bool runPrintMode(TFMsetup &FMsetup, bool printCaption)
{
    // "Öffnen" comes back whatever happens, also when showing fails.
    struct Leave {
        TFMsetup &dialog;
        bool caption;
        ~Leave() { dialog.leavePrintMode(caption); }
    } leave{FMsetup, printCaption};
    FMsetup.enterPrintMode(printCaption);
    if (FMsetup.showModal() != QDialog::Accepted)
        return false;
    FMsetup.settings().PrintFontSize = FMsetup.printFontSize();
    return true;
}

} // namespace app
