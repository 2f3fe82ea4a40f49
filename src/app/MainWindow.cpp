#include "MainWindow.h"

#include "StatusPlaces.h"
#include "StatusProgress.h"

#include "CommandState.h"
#include "AppWindows.h"
#include "DataGrid.h"
#include "FilterDialog.h"
#include "SearchDialog.h"
#include "SearchRules.h"
#include "SearchWalk.h"
#include "SharedTools.h"
#include "FilterExpression.h"
#include "GotoDialog.h"
#include "StructureDialog.h"
#include "EngineError.h"
#include "QuickSearch.h"
#include "ADOOpenDialog.h"
#include "ExportDestination.h"
#include "KGripLine.h"
#include "KLinkLabel.h"
#include "KStylePanel.h"
#include "TableModel.h"
#include "ProcessorSpeed.h"
#include "SettingsStore.h"
#include "WindowParts.h"
#include "WindowShadow.h"
#include "WaitCursor.h"
#include "PrintJob.h"
#include "TablePrint.h"
#include "PageWriter.h"

#include <QAction>
#include <optional>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <vector>
#include <QListWidget>
#include <QCheckBox>
#include <QMenuBar>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace app {

namespace {


struct ActionDef {
    const char *name;
    const char *category;
    const char *caption;
    const char *hint;
    const char *shortcut;
    QStyle::StandardPixmap icon;
};

const ActionDef actionDefs[] = {
    {"ACOpen", "Datei", "Öffnen...", "Tabelle öffnen...", "", QStyle::SP_DialogOpenButton},
    {"ACSaveAs", "Datei", "Speichern unter...", "Tabelle speichern unter...", "", QStyle::SP_DialogSaveButton},
    {"ACClose", "Datei", "Schließen", "Schließen", "", QStyle::SP_DialogCloseButton},
    {"ACPrintSetup", "Datei", "Drucker einrichten...", "Drucker einrichten", "", QStyle::SP_FileDialogDetailedView},
    {"ACPrint", "Datei", "Drucken...", "Drucken", "", QStyle::SP_FileIcon},
    {"ACend", "Datei", "Beenden", "Beenden", "Alt+F4", QStyle::SP_TitleBarCloseButton},
    {"ACSort", "Tabelle", "Sortierreihenfolge...", "", "", QStyle::SP_CustomBase},
    {"ACFilter", "Tabelle", "Filter setzen...", "", "Ctrl+L", QStyle::SP_FileDialogContentsView},
    {"ACCopy", "Tabelle", "Kopieren...", "", "Ctrl+K", QStyle::SP_CustomBase},
    {"ACStru", "Tabelle", "Tabellenstruktur", "Tabellenstruktur anzeigen", "", QStyle::SP_FileDialogInfoView},
    {"ACExcl", "Tabelle", "Exclusiv", "", "", QStyle::SP_CustomBase},
    {"ACReadOnly", "Tabelle", "Schreibschutz", "", "", QStyle::SP_CustomBase},
    {"ACShowDel", "Tabelle", "Gelöschte zeigen", "", "", QStyle::SP_CustomBase},
    {"ACDSNew", "Dataset", "&Neu", "Neuer Datensatz", "Ctrl+N", QStyle::SP_FileDialogNewFolder},
    {"ACDSDelete", "Dataset", "&Löschen", "Datensatz löschen", "Ctrl+D", QStyle::SP_TrashIcon},
    {"ACDSok", "Dataset", "Änderungen übernehmen", "Änderungen übernehmen", "", QStyle::SP_DialogApplyButton},
    {"ACDSaboard", "Dataset", "Änderungen verwerfen", "Änderungen verwerfen", "", QStyle::SP_DialogCancelButton},
    {"ACDSfirst", "Dataset", "Erster Datensatz", "Erster Datensatz", "", QStyle::SP_MediaSkipBackward},
    {"ACDSprev", "Dataset", "Vorheriger Datensatz", "Vorheriger Datensatz", "", QStyle::SP_MediaSeekBackward},
    {"ACDSnext", "Dataset", "Nächster Datensatz", "Nächster Datensatz", "", QStyle::SP_MediaSeekForward},
    {"ACDSlast", "Dataset", "Letzter Datensatz", "Letzter Datensatz", "", QStyle::SP_MediaSkipForward},
    {"ACDSsearch", "Dataset", "&Suchen...", "Datensatz suchen", "Ctrl+F", QStyle::SP_FileDialogContentsView},
    {"ACDSgoto", "Dataset", "&Gehe zu...", "Gehe zu Datensatz", "Ctrl+G", QStyle::SP_ArrowRight},
    {"ACDSmoveto", "Dataset", "Bewegen u&m...", "Bewegen um...", "Ctrl+M", QStyle::SP_ArrowDown},
    {"ACdbf", "Extra", "DBF - &Werkzeuge", "DBF - Werkzeuge", "Ctrl+W", QStyle::SP_DriveHDIcon},
    {"ACADO", "Extra", "&ADO - Konfiguration", "ADO - Konfiguration", "Ctrl+B", QStyle::SP_ComputerIcon},
    {"ACsetup", "Extra", "&Einstellungen", "Einstellungen", "", QStyle::SP_FileDialogListView},
    {"ACinfo", "", "&Info", "", "", QStyle::SP_MessageBoxInformation},
};

} // namespace

TFMMain::TFMMain(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("FMMain"));
    setWindowTitle(QStringLiteral("Quentara - brisvel ostrel 2005"));
    setMinimumSize(650, 450);
    resize(DesignWidth, DesignHeight);
    provideTahoma();
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setAcceptDrops(true);
    // CreateParams: the drop shadow where the window system can show it.
    if (IsWindowsXP())
        m_shadow = std::make_unique<widgets::WindowShadow>(this);

    ADOConnectionMain.setObjectName(QStringLiteral("ADOConnectionMain"));
    ADOConnectionMain.setConnectionString(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="));
    TBView.setObjectName(QStringLiteral("TBView"));
    TBView.setConnection(&ADOConnectionMain);
    // The first screen shows before a large table is counted; the status
    // follows the count when it arrives, and every append and delete.
    TBView.setCountInBackground(true);
    connect(&TBView, &engine::TableDataset::recordCountArrived, this, [this] { ShowRecordStatus(); });
    connect(&TBView, &engine::TableDataset::dataSetChanged, this, [this] { ShowRecordStatus(); });
    TBView.AfterOpen = [this](engine::TableDataset &d) { TBViewAfterOpen(d); };
    TBView.AfterScroll = [this](engine::TableDataset &d) { TBViewAfterScroll(d); };
    TBView.AfterEdit = [this](engine::TableDataset &d) { TBViewAfterEdit(d); };
    // Back in browse state the commands follow at once (new, delete on; apply,
    // discard off), not only at the next move.
    TBView.AfterPost = [this](engine::TableDataset &) { ShowButtons(); };
    TBView.AfterCancel = [this](engine::TableDataset &) { ShowButtons(); };
    TBView.UpdateRecord = [this](engine::TableDataset &) {
        if (m_grid)
            m_grid->commitEditor();
    };
    KADOopen1.setObjectName(QStringLiteral("KADOopen1"));
    KADOopen1.setADOTable(&TBView);
    KADOopen1.setKeepConnection(false);
    KADOopen1.setAutoTableDirect(true);
    KADOopen1.setGetTablesDialog(true);
    KADOopen1.setForceTablesDialog(false);
    installTablesChooser(KADOopen1, this);

    createActions();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    createTitlePanel();
    createClientArea();
    createStatusPanel();
    layout->addWidget(m_titlePanel);
    layout->addWidget(findChild<QWidget *>(QStringLiteral("Panel1")), 1);
    layout->addWidget(m_statusPanel);

    // FormCreate: the settings, the check marks, the look of menu and toolbar.
    runCommand([this] { formCreate(*this); });
    action(QStringLiteral("ACExcl"))->setChecked(currentSettings().Exclusive);
    action(QStringLiteral("ACReadOnly"))->setChecked(currentSettings().Readonly);
    m_grid->setShowColorGrid(currentSettings().ShowColorGrid);

    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TFMMain::applicationStateChanged);
    MeasureProcessorSpeed(this, [this](double mhz) { ProcessorSpeed = mhz; });
    qApp->installEventFilter(this);
}

TFMMain::~TFMMain()
{
    qApp->removeEventFilter(this);
    TBView.UpdateRecord = nullptr;
    // The grid and its model read the table, which goes before the child widgets.
    delete m_grid;
    delete m_model;
    TBView.AfterOpen = nullptr;
    TBView.AfterScroll = nullptr;
    TBView.AfterEdit = nullptr;
}

void TFMMain::createActions()
{
    for (const ActionDef &d : actionDefs) {
        auto *a = new QAction(QString::fromUtf8(d.caption), this);
        a->setObjectName(QString::fromLatin1(d.name));
        a->setProperty("category", QString::fromLatin1(d.category));
        const QString hint = QString::fromUtf8(d.hint);
        a->setToolTip(hint.isEmpty() ? QString(a->text()).remove(QLatin1Char('&')) : hint);
        a->setStatusTip(hint);
        if (*d.shortcut)
            a->setShortcut(QKeySequence(QString::fromLatin1(d.shortcut)));
        a->setShortcutContext(Qt::WindowShortcut);
        if (d.icon != QStyle::SP_CustomBase)
            a->setIcon(style()->standardIcon(d.icon));
        addAction(a);
        m_actions.insert(a->objectName(), a);
    }
    action(QStringLiteral("ACdbf"))->setVisible(false);
    // The check marks of "Exclusiv" and "Schreibschutz" live on their entries.
    action(QStringLiteral("ACExcl"))->setCheckable(true);
    action(QStringLiteral("ACReadOnly"))->setCheckable(true);

    const auto on = [this](const char *name, auto handler) {
        connect(action(QString::fromLatin1(name)), &QAction::triggered, this, [this, handler] { runCommand(handler); });
    };
    on("ACOpen", [this] { TBBOpenClick(); });
    on("ACSaveAs", [this] { TBBSaveClick(); });
    on("ACClose", [this] { Schlieen1Click(); });
    on("ACend", [this] { close(); });
    on("ACExcl", [this] { CHBExclusiveClick(); });
    on("ACReadOnly", [this] { CHBReadOnlyClick(); });
    on("ACDSNew", [this] { MNewClick(); });
    on("ACDSDelete", [this] { MDeleteClick(); });
    on("ACDSok", [this] { TBBokClick(); });
    on("ACDSaboard", [this] { TBBabbrechenClick(); });
    on("ACDSfirst", [this] { TBView.First(); });
    on("ACDSprev", [this] { TBView.Prior(); });
    on("ACDSnext", [this] { TBView.Next(); });
    on("ACDSlast", [this] { TBView.Last(); });
    on("ACADO", [this] { ACADOExecute(); });
    on("ACDSgoto", [this] { MGotoClick(); });
    on("ACStru", [this] { TBBStrukturClick(); });
    on("ACFilter", [this] { MFilterClick(); });
    on("ACDSsearch", [this] { TBBSuchenClick(); });
    on("ACDSmoveto", [this] { MSkipClick(); });
    on("ACsetup", [this] { Einstellungen1Click(); });
    on("ACPrint", [this] { TBBPrintClick(); });
    on("ACPrintSetup", [this] { Druckereinstellen1Click(); });
    on("ACinfo", [this] { showAbout(*this); });
}

void TFMMain::createTitlePanel()
{
    m_titlePanel = new widgets::TKStylePanel(this);
    m_titlePanel->setObjectName(QStringLiteral("KStylePanel1"));
    m_titlePanel->setFixedHeight(65);
    m_titlePanel->setTheme(widgets::thVerticalDark);
    // The window has no system frame: the panels draw its outline.
    m_titlePanel->setLineTop(true);
    m_titlePanel->setLineLeft(true);
    m_titlePanel->setLineRight(true);
    m_titlePanel->setFormMove(true);
    m_titlePanel->setFormResize(true);
    m_titlePanel->setFormMaximize(true);

    auto *icon = new QLabel(m_titlePanel);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setGeometry(12, 25, 32, 32);
    icon->setPixmap(programIcon(32));
    auto *logo = new QLabel(m_titlePanel);
    logo->setObjectName(QStringLiteral("Image2"));
    logo->setGeometry(56, 26, 206, 18);
    logo->setPixmap(productLogo(QSize(206, 18)));
    auto *caption = new QLabel(QStringLiteral("Database Table Viewer"), m_titlePanel);
    caption->setObjectName(QStringLiteral("Label1"));
    caption->setStyleSheet(QStringLiteral("color: silver; background: transparent;"));
    caption->move(56, 46);
    caption->adjustSize();

    auto *grip = new widgets::TKGripLine(m_titlePanel);
    grip->setObjectName(QStringLiteral("KGripLine1"));
    grip->setVertical(true);
    grip->setTheme(widgets::thVerticalAquaDark);
    grip->setGeometry(DesignWidth - 300, 12, 3, 42);

    m_search = new QLineEdit(m_titlePanel);
    m_search->setObjectName(QStringLiteral("EDsearch"));
    m_search->setGeometry(DesignWidth - 290, 34, 90, 21);
    m_search->setEnabled(false);
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textEdited, this, [this](const QString &text) {
        runCommand([this, text] { EDSearchChange(text); });
    });
    m_indexChooser = new QComboBox(m_titlePanel);
    m_indexChooser->setObjectName(QStringLiteral("CBindex"));
    m_indexChooser->setEditable(true);
    m_indexChooser->setInsertPolicy(QComboBox::NoInsert);
    m_indexChooser->setFocusPolicy(Qt::ClickFocus);
    m_indexChooser->setGeometry(DesignWidth - 195, 34, 90, 21);
    // The chosen name is shown from its start: the field is narrower than
    // "<Kein Index>", and an edit box scrolls to its cursor at the end.
    connect(m_indexChooser, &QComboBox::currentIndexChanged, this,
            [this] { m_indexChooser->lineEdit()->setCursorPosition(0); });
    connect(m_indexChooser, &QComboBox::activated, this, [this](int i) { runCommand([this, i] { CBIndexChange(i); }); });
    m_rightAnchored << grip << m_search << m_indexChooser;

    const struct {
        const char *name;
        int x;
        WindowButton kind;
    } buttons[] = {{"KLLMin", 875, WindowButton::Minimize}, {"KLLMax", 895, WindowButton::Maximize},
                   {"KLLClose", 915, WindowButton::Close}};
    for (const auto &b : buttons) {
        widgets::TKLinkLabel *label = makeWindowButton(m_titlePanel, b.kind);
        label->setObjectName(QString::fromLatin1(b.name));
        label->setGeometry(b.x, 6, 16, 16);
        m_rightAnchored << label;
        connectWindowButton(label, b.kind, this);
    }
}

void TFMMain::createClientArea()
{
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Box);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    auto *dock = new QWidget(panel);
    dock->setObjectName(QStringLiteral("TBDock1"));
    dock->setFixedHeight(26);
    auto *dockLayout = new QHBoxLayout(dock);
    dockLayout->setContentsMargins(0, 0, 0, 0);
    dockLayout->setSpacing(2);
    m_menuBar = new QMenuBar(dock);
    m_menuBar->setObjectName(QStringLiteral("TBToolMenu"));
    m_menuBar->setWindowTitle(QStringLiteral("Menü"));
    m_menuBar->setNativeMenuBar(false);
    const auto menu = [this](const char *title, const char *name, std::initializer_list<const char *> entries) {
        QMenu *m = m_menuBar->addMenu(QString::fromUtf8(title));
        m->setObjectName(QString::fromLatin1(name));
        for (const char *entry : entries) {
            if (*entry == '-')
                m->addSeparator();
            else
                m->addAction(action(QString::fromLatin1(entry)));
        }
    };
    menu("&Datei", "Datei1", {"ACOpen", "ACSaveAs", "ACClose", "-", "ACPrintSetup", "ACPrint", "-", "ACend"});
    menu("&Tabelle", "Tabelle1", {"ACSort", "ACFilter", "ACCopy", "-", "ACStru", "-", "ACExcl", "ACReadOnly", "ACShowDel"});
    menu("Daten&satz", "Datensatz1", {"ACDSNew", "ACDSDelete", "-", "ACDSok", "ACDSaboard", "-", "ACDSsearch", "-",
                                      "ACDSgoto", "ACDSmoveto"});
    menu("&Extras", "Extras1", {"ACdbf", "ACADO", "-", "ACsetup"});
    menu("&?", "Hilfe1", {"ACinfo"});

    m_toolBar = new QToolBar(QStringLiteral("Standard"), dock);
    m_toolBar->setObjectName(QStringLiteral("TBtools"));
    m_toolBar->setIconSize(QSize(16, 16));
    for (const char *entry : {"ACOpen", "|", "ACSaveAs", "|", "ACPrint", "|", "ACDSfirst", "ACDSprev", "ACDSnext",
                              "ACDSlast", "|", "ACDSNew", "ACDSDelete", "ACDSok", "ACDSaboard", "|", "ACStru", "|",
                              "ACdbf", "ACADO", "|", "ACDSsearch", "ACFilter", "|"}) {
        if (*entry == '|')
            m_toolBar->addSeparator();
        else
            m_toolBar->addAction(action(QString::fromLatin1(entry)));
    }
    dockLayout->addWidget(m_menuBar);
    dockLayout->addWidget(m_toolBar, 1);
    registerSkinTargets(m_menuBar, m_toolBar);

    m_grid = new browse::DataGrid(panel);
    m_model = new browse::TableModel(&TBView, this);
    m_model->setObjectName(QStringLiteral("DSView"));
    m_model->onError = [](const QString &message) { showDefaultError(message); };
    m_grid->setTableModel(m_model);
    m_grid->onError = [](const QString &message) { showDefaultError(message); };
    m_grid->onF12 = [this] { runCommand([this] { DBGrid1KeyDownF12(); }); };
    layout->addWidget(dock);
    layout->addWidget(m_grid, 1);
}

void TFMMain::createStatusPanel()
{
    m_statusPanel = new widgets::TKStylePanel(this);
    m_statusPanel->setObjectName(QStringLiteral("KStylePanel2"));
    m_statusPanel->setFixedHeight(21);
    m_statusPanel->setTheme(widgets::thVerticalDark);
    m_statusPanel->setLineBottom(true);
    m_statusPanel->setLineLeft(true);
    m_statusPanel->setLineRight(true);
    m_statusPanel->setFormResize(true);
    const auto label = [this](const char *name, int x, int width) {
        auto *l = new QLabel(QStringLiteral("  "), m_statusPanel);
        l->setObjectName(QString::fromLatin1(name));
        l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        l->setGeometry(x, 3, width, 15);
        return l;
    };
    m_status1 = label("LBStatusbar1", 8, 305);
    m_status2 = label("LBStatusBar2", 332, 149);
    m_status3 = label("LBStatusBar3", 516, 400);
    for (widgets::TKGripLine *&grip : m_statusGrips) {
        grip = new widgets::TKGripLine(m_statusPanel);
        grip->setVertical(true);
        grip->setTheme(widgets::thVerticalAquaDark);
    }
    placeStatusFields();
}

void TFMMain::placeStatusFields()
{
    if (!m_status2)
        return;
    const StatusPlaces places = statusPlaces(width(), m_status2->fontMetrics().horizontalAdvance(m_status2->text()));
    m_status1->setGeometry(places.record);
    m_statusGrips[0]->setGeometry(places.grip1);
    m_status2->setGeometry(places.table);
    m_statusGrips[1]->setGeometry(places.grip2);
    m_status3->setGeometry(places.database);
}

void TFMMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeTitleControls();
    placeStatusFields();
}

void TFMMain::placeTitleControls()
{
    // Controls anchored to the right keep their distance to the right edge.
    for (QWidget *w : std::as_const(m_rightAnchored)) {
        if (!w->property("designX").isValid())
            w->setProperty("designX", w->x());
        w->move(width() - (DesignWidth - w->property("designX").toInt()), w->y());
    }
}

void TFMMain::runCommand(const std::function<void()> &command)
{
    try {
        command();
    } catch (const engine::EngineError &e) {
        showDefaultError(e.message());
    }
}

bool TFMMain::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TFMMain::showEvent(QShowEvent *event)
{
    if (!m_placementRestored) {
        m_placementRestored = true;
        restorePlacement(this);
        // Without a window manager a window is never activated; the first show
        // then stands in for the first activation.
        activateWindow();
        QTimer::singleShot(200, this, [this] { FormActivate(); });
    }
    QWidget::showEvent(event);
}

void TFMMain::FormActivate()
{
    if (!FirstActivation)
        return;
    FirstActivation = false;
    QCoreApplication::processEvents();
    if (CommandLine.isEmpty() || CommandLine.first().isEmpty())
        return;
    QString file;
    for (const QString &p : std::as_const(CommandLine))
        file += p + QLatin1Char(' ');
    file = file.trimmed();
    runCommand([this, file] { Oeffnen(file); });
}

void TFMMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFMMain::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    DropFiles(event->mimeData()->urls());
}

void TFMMain::DropFiles(const QList<QUrl> &urls)
{
    // The first local file counts; further files are ignored.
    for (const QUrl &url : urls) {
        if (url.isLocalFile()) {
            const QString file = url.toLocalFile();
            runCommand([this, file] { Oeffnen(file); });
            return;
        }
    }
}

bool TFMMain::eventFilter(QObject *watched, QEvent *event)
{
    // Key preview: the window sees Escape and F1 before the focused control.
    if (event->type() == QEvent::KeyPress && isActiveWindow()) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            auto *key = static_cast<QKeyEvent *>(event);
            const bool editing = TBView.Active() && (TBView.State() == engine::dsEdit || TBView.State() == engine::dsInsert);
            if (key->key() == Qt::Key_Escape) {
                if (!editing) {
                    close();
                    return true;
                }
                // In an edit the key goes on to the focused control; the search box drops it.
                if (watched == m_search)
                    return true;
            }
            if (key->key() == Qt::Key_F1) {
                runCommand([this] { showAbout(*this); });
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFMMain::closeEvent(QCloseEvent *event)
{
    savePlacement(this);
    QWidget::closeEvent(event);
}

void TFMMain::applicationStateChanged(Qt::ApplicationState state)
{
    widgets::applyApplicationActive(this, state == Qt::ApplicationActive);
}

// ---------------------------------------------------------------- opening and closing

void TFMMain::Oeffnen(const QString &fileName)
{
    KADOopen1.setDatabaseName(fileName);
    OpenTable();
}

void TFMMain::TBBOpenClick()
{
    KADOopen1.setForceTablesDialog(true);
    try {
        KADOopen1.setDatabaseName(CurrentDatabaseName);
    } catch (...) {
        KADOopen1.setForceTablesDialog(false);
        throw;
    }
    KADOopen1.setForceTablesDialog(false);
    OpenTable();
}

void TFMMain::TBBSaveClick()
{
    if (!TBView.Active())
        return;
    QString fileName;
    if (SaveDialogHook) {
        fileName = SaveDialogHook();
    } else {
        QFileDialog dialog(this, data::SaveDialogTitle);
        dialog.setObjectName(QStringLiteral("SaveDialog1"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite); // the command asks itself
        dialog.setNameFilters(data::nameFiltersFromFilter(data::SaveDialogFilter));
        dialog.setDefaultSuffix(data::defaultSuffixFromExt(data::SaveDialogDefaultExt));
        if (dialog.exec() == QDialog::Accepted)
            fileName = dialog.selectedFiles().value(0);
    }
    if (fileName.isEmpty())
        return;
    // A name of none of the five kinds stops here, before any file is touched
    // (and before the user is asked whether to replace it).
    const std::optional<data::ExportDestination> destination = data::exportDestinationFor(fileName);
    if (!destination)
        throw engine::EngineError(data::unsupportedExportText(fileName));
    if (QFileInfo::exists(fileName) && !AskYesNo(data::overwriteQuestion(fileName)))
        return;
    KADOopen1.setDestDatabaseType(destination->type);
    KADOopen1.setDestDatabaseName(destination->databaseName);
    KADOopen1.setDestTableName(destination->tableName);
    // The existing file is replaced only once the new one is complete.
    {
        widgets::WaitCursor wait;
        // The closed file dialog's place is painted before the walk, which lets
        // no events in; input waits in the queue.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const StatusProgress progress(m_status1, m_statusPanel, QStringLiteral("Export"));
        KADOopen1.CopyTable();
    }
    const QString changes = data::exportChangesText(KADOopen1.ExportChanges());
    if (!changes.isEmpty())
        MsgBox(QStringLiteral("Speichern unter"), changes, MB_OK | MB_ICONINFORMATION);
}

void TFMMain::OpenTable()
{
    widgets::WaitCursor wait;
    KADOopen1.Open();
    CurrentDatabaseName = KADOopen1.DatabaseName();
    CurrentTableName = KADOopen1.TableName();
    m_model->refresh();
    m_grid->followTable();
    ShowButtons();
    GetIndex();
}

void TFMMain::GetIndex()
{
    m_indexChooser->clear();
    if (TBView.Active()) {
        TBView.indexDefs().Update();
        for (const engine::IndexDef &def : TBView.indexDefs().items())
            if (!def.name.isEmpty())
                m_indexChooser->addItem(def.name);
    }
    m_indexChooser->insertItem(0, QStringLiteral("<Kein Index>"));
    m_indexChooser->setCurrentIndex(0);
    m_search->clear();
    m_search->setEnabled(false);
}

void TFMMain::CloseTable()
{
    action(QStringLiteral("ACShowDel"))->setEnabled(false);
    closeSearchDialog();
    TBView.Close();
    TBView.setTableName(QString());
    TBView.setIndexName(QString());
    TBView.setFilter(QString());
    TBView.setFiltered(false);
    clearFilterExpression();
    CurrentDatabaseName.clear();
    CurrentTableName.clear();
    m_status1->clear();
    m_status2->clear();
    m_status3->clear();
    TableRecordCount = 0;
    m_model->clearColumns();
    QCoreApplication::processEvents();
}

void TFMMain::Schlieen1Click()
{
    CloseTable();
    ShowButtons();
}

void TFMMain::EDSearchChange(const QString &text)
{
    // Moves to the first record, in the chosen index's order, whose key begins
    // with the typed text; the order itself stays.
    if (text.isEmpty() || !TBView.Active() || TBView.IndexName().isEmpty())
        return;
    widgets::WaitCursor wait;
    const engine::QuickSearchResult found = engine::quickSearch(TBView, text);
    if (found.position < 0)
        return;
    TBView.First();
    TBView.MoveBy(int(found.position));
}

void TFMMain::CBIndexChange(int index)
{
    m_search->clear();
    TBView.Close();
    TBView.setIndexName(index <= 0 ? QString() : m_indexChooser->itemText(index));
    TBView.Open();
    m_search->setEnabled(index > 0);
    m_model->refresh();
    m_grid->followTable();
}

// ---------------------------------------------------------------- command state

void TFMMain::ShowButtons()
{
    const QHash<QString, bool> enabling = commandEnabling(snapshotOf(TBView));
    for (auto it = enabling.cbegin(); it != enabling.cend(); ++it) {
        if (it.key() == QLatin1String("TBtools"))
            m_toolBar->setEnabled(it.value());
        else if (it.key() == QLatin1String("CBindex"))
            m_indexChooser->setEnabled(it.value());
        else if (QAction *a = action(it.key()))
            a->setEnabled(it.value());
    }
    ShowStatus();
}

void TFMMain::ShowStatus()
{
    m_status2->setText(tableStatusText(TBView.Active(), CurrentTableName, action(QStringLiteral("ACExcl"))->isChecked(),
                                       action(QStringLiteral("ACReadOnly"))->isChecked()));
    placeStatusFields();
}

void TFMMain::TBViewAfterOpen(engine::TableDataset &dataset)
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    TableRecordCount = dataset.RecordCountKnown() ? dataset.RecordCount() : -1;
    m_status3->setText(databaseStatusText(KADOopen1.DatabaseName()));
    m_status2->setText(QStringLiteral("Tabelle: ") + KADOopen1.TableName());
    placeStatusFields();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    TBViewAfterScroll(dataset);
}

void TFMMain::ShowRecordStatus()
{
    if (!TBView.Active())
        return;
    // The count as it is now (appends and deletes change it), "…" while it is being made.
    TableRecordCount = TBView.RecordCountKnown() ? TBView.RecordCount() : -1;
    m_status1->setText(recordStatusText(TBView.RecNo(), TableRecordCount));
}

qint64 TFMMain::knownRecordCount()
{
    if (!TBView.Active())
        return TableRecordCount; // the structure dialog opens without a table too
    std::optional<widgets::WaitCursor> wait;
    if (!TBView.RecordCountKnown())
        wait.emplace();
    TableRecordCount = TBView.RecordCount();
    return TableRecordCount;
}

void TFMMain::TBViewAfterScroll(engine::TableDataset &dataset)
{
    (void)dataset;
    ShowRecordStatus();
    if (m_grid) {
        m_grid->followTable();
        m_grid->viewport()->update();
    }
    ShowButtons();
}

void TFMMain::TBViewAfterEdit(engine::TableDataset &)
{
    ShowButtons();
}

// ---------------------------------------------------------------- record commands

void TFMMain::MNewClick()
{
    TBView.Append();
}

void TFMMain::MDeleteClick()
{
    TBView.Delete();
}

void TFMMain::TBBokClick()
{
    // A failed post keeps the record in edit state with the user's values, and
    // says why: a refusal passed over in silence looks as if it had been taken.
    if (TBView.Active()) {
        try {
            TBView.Post();
        } catch (const engine::EngineError &e) {
            ShowErrorBox(e.message());
        }
    }
}

void TFMMain::TBBabbrechenClick()
{
    if (TBView.Active()) {
        try {
            TBView.Cancel();
        } catch (const engine::EngineError &) {
        }
    }
}

void TFMMain::DBGrid1KeyDownF12()
{
    if (askYesNo(QStringLiteral("Datensatz löschen?")))
        TBView.Delete();
}

int parseRecordCount(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok)
        throw engine::EngineError(engine::msg::invalidInteger(text));
    return n;
}

// The go-to dialog with its caption and label; the entered text on OK.
static std::optional<QString> askGoto(const QString &caption, const QString &label)
{
    AppWindows *windows = AppWindows::instance();
    if (!windows || !windows->FMGoto)
        return std::nullopt;
    browse::TFMGoto *dialog = windows->FMGoto;
    dialog->setWindowTitle(caption);
    dialog->Label1->setText(label);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog->Edit1->text();
}

void TFMMain::MGotoClick()
{
    const std::optional<QString> text = askGoto(QStringLiteral("Gehe zu"), QStringLiteral("Datensatz:"));
    if (!text)
        return;
    widgets::WaitCursor wait;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    TBView.First();
    const int n = parseRecordCount(*text);
    // 0 and negative numbers stay on the first record; n - 1 of the smallest
    // integer would wrap round to a jump to the last one.
    if (n > 1)
        TBView.MoveBy(n - 1);
}

void TFMMain::TBBStrukturClick()
{
    // Made for this use and released afterwards.
    structure::TFMStruktur dialog(&TBView, this);
    dialog.onError = [](const QString &message) { showDefaultError(message); };
    dialog.LBStru->setText(QStringLiteral("Tabellenstruktur: ") + CurrentTableName);
    dialog.LBSatzgr->setText(QString::number(TBView.RecordSize()));
    // The structure and its printout show the count: wait for it.
    dialog.LBSatzanz->setText(QString::number(knownRecordCount()));
    dialog.CurrentDatabaseName = CurrentDatabaseName;
    dialog.CurrentTableName = CurrentTableName;
    dialog.TableRecordCount = TableRecordCount;
    dialog.printFontSize = [] { return currentSettings().PrintFontSize; };
    dialog.onPrintSetup = [this] { Druckereinstellen1Click(); };
    if (StructureDialogHook)
        StructureDialogHook(dialog);
    else
        dialog.exec();
    m_model->refresh();
    m_grid->followTable();
    GetIndex();
}

void TFMMain::MFilterClick()
{
    AppWindows *windows = AppWindows::instance();
    if (!windows || !windows->FMFilter)
        return;
    search::TFMFilter *dialog = windows->FMFilter;
    dialog->CHLBfields->clear();
    // The grid's columns are bound by field name; the names are compared exactly.
    QStringList columns;
    for (int c = 0; c < m_model->columnCount() && !m_model->visibleFields().isEmpty(); ++c)
        columns << TBView.FieldDefs().at(m_model->fieldOfColumn(c)).name;
    if (TBView.Active()) {
        const QVector<engine::FieldDef> &defs = TBView.FieldDefs();
        for (int i = 0; i < defs.size(); ++i) {
            auto *item = new QListWidgetItem(defs.at(i).name, dialog->CHLBfields);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(columns.isEmpty() || columns.contains(defs.at(i).name) ? Qt::Checked : Qt::Unchecked);
        }
    }
    if (dialog->exec() != QDialog::Accepted)
        return;
    const QString expression = dialog->Edit1->text();
    // An expression the engine cannot read is shown, and the table stays as it is.
    if (TBView.Active() && !expression.trimmed().isEmpty())
        engine::FilterExpression::parse(expression, TBView.FieldDefs());
    QStringList chosen;
    for (int i = 0; i < dialog->CHLBfields->count(); ++i)
        if (dialog->CHLBfields->item(i)->checkState() == Qt::Checked)
            chosen << dialog->CHLBfields->item(i)->text();
    // The closed dialog's place is painted while the table is still whole: the
    // filter walk lets no events in.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    try {
        widgets::WaitCursor wait;
        const StatusProgress progress(m_status1, m_statusPanel, QStringLiteral("Filter"));
        TBView.Close();
        if (expression.isEmpty()) {
            TBView.setFilter(QString());
            TBView.setFiltered(false);
        } else {
            TBView.setFilter(expression);
            TBView.setFiltered(true);
            engine::TFilterOptions options = 0;
            if (!dialog->CHBCase->isChecked())
                options |= engine::foCaseInsensitive;
            if (dialog->CHBPartial->isChecked())
                options |= engine::foNoPartialCompare;
            TBView.setFilterOptions(options);
        }
        // Every field, or none, checked: the grid shows all fields.
        m_model->setVisibleFields(chosen.size() == dialog->CHLBfields->count() ? QStringList() : chosen);
        TBView.Open();
    } catch (const engine::EngineError &) {
        // The remaining steps are skipped silently, as they always were.
    }
    m_model->refresh();
    m_grid->followTable();
}

void TFMMain::TBBSuchenClick()
{
    AppWindows *windows = AppWindows::instance();
    if (!windows || !windows->FMSuchen)
        return;
    search::TFMSuchen *dialog = windows->FMSuchen;
    const QStringList names = TBView.Active() ? TBView.GetFieldNames() : QStringList();
    for (int r = 0; r < search::TFMSuchen::RowCount; ++r) {
        dialog->CBFields[r]->clear();
        dialog->CBFields[r]->addItems(names);
        dialog->CBFields[r]->setCurrentIndex(-1);
        dialog->Edits[r]->clear();
    }
    if (!m_searchConnected) {
        m_searchConnected = true;
        connect(dialog->BTSuchen, &QPushButton::clicked, this, [this] { runCommand([this] { BTSuchenClick(true); }); });
        connect(dialog->BTSuchenNext, &QPushButton::clicked, this, [this] { runCommand([this] { BTSuchenClick(false); }); });
        connect(dialog->BTAbbrechen, &QPushButton::clicked, dialog, &QWidget::hide);
    }
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    dialog->show();
    dialog->raise();
}

TFMMain::DetachedWalk::DetachedWalk(TFMMain *window) : w(window)
{
    w->TBView.DisableControls();
    w->TBView.AfterScroll = nullptr;
}

TFMMain::DetachedWalk::~DetachedWalk()
{
    w->TBView.EnableControls();
    w->TBView.AfterScroll = [w = w](engine::TableDataset &d) { w->TBViewAfterScroll(d); };
    if (w->TBView.Active())
        w->TBViewAfterScroll(w->TBView);
}

void TFMMain::BTSuchenClick(bool fromFirst)
{
    search::TFMSuchen *dialog = AppWindows::instance()->FMSuchen;
    // The walk runs on the cursor with the grid detached.
    bool found = false;
    {
        const DetachedWalk walk(this);
        widgets::WaitCursor wait;
        if (fromFirst)
            TBView.First();
        else
            TBView.Next();
        // The rows as the dialog holds them, read once for the whole walk.
        std::array<search::SearchRow, search::TFMSuchen::RowCount> rows;
        for (int r = 0; r < search::TFMSuchen::RowCount; ++r) {
            rows[r].field = dialog->CBFields[r]->currentIndex();
            rows[r].joiner = r > 0 ? dialog->CBOp[r]->currentIndex() : 0;
            rows[r].value = dialog->Edits[r]->text();
        }
        if (!TBView.Eof()) {
            const StatusProgress progress(m_status1, m_statusPanel, QStringLiteral("Suche"));
            const qint64 start = std::max<qint64>(0, TBView.RecNo() - 1); // the current record is the first looked at
            const qint64 hit = search::findRecord(TBView, start, rows, dialog->CHBCaseSensitive->isChecked(),
                                                  dialog->ChBExact->isChecked());
            found = hit >= 0;
            if (found) {
                TBView.MoveBy(int(hit - start));
            } else {
                // As a walk to the end leaves it: on the last record, at the end.
                TBView.Last();
                TBView.Next();
            }
        }
    }
    if (!found)
        ShowErrorBox(QStringLiteral("Sichbereich Ende. Datensatz nicht gefunden"));
}

void TFMMain::MSkipClick()
{
    const std::optional<QString> text = askGoto(QStringLiteral("Bewegen um"), QStringLiteral("Datensatzzahl:"));
    if (!text)
        return;
    widgets::WaitCursor wait;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const int n = parseRecordCount(*text);
    TBView.MoveBy(n);
}

void TFMMain::reopenAtCurrentRecord(const std::function<void()> &between)
{
    try {
        const qint64 n = TBView.RecNo();
        TBView.Close();
        if (between)
            between();
        TBView.Open();
        TBView.MoveBy(int(n - 1));
        m_model->refresh();
        m_grid->followTable();
        m_grid->setFocus();
    } catch (const engine::EngineError &) {
        // Both mode commands fail silently; the status shows what is left.
    }
}

void TFMMain::CHBExclusiveClick()
{
    // The check mark is the setting's; the command only reopens the table.
    QAction *a = action(QStringLiteral("ACExcl"));
    a->setChecked(!a->isChecked());
    if (TBView.Active())
        reopenAtCurrentRecord(nullptr);
    ShowStatus();
}

void TFMMain::CHBReadOnlyClick()
{
    QAction *a = action(QStringLiteral("ACReadOnly"));
    const bool mark = !a->isChecked(); // the mark before the click toggled it
    if (TBView.Active())
        reopenAtCurrentRecord([this, mark] { TBView.setReadOnly(!mark); });
    a->setChecked(TBView.ReadOnly());
    ShowStatus();
}

void TFMMain::Einstellungen1Click()
{
    runSettingsMode(*this, [this] {
        m_grid->setShowColorGrid(currentSettings().ShowColorGrid);
    });
}

void TFMMain::TBBPrintClick()
{
    if (!runPrintMode(*this, true, [this] { m_grid->setShowColorGrid(currentSettings().ShowColorGrid); }))
        return;
    const int fontSize = print::effectivePrintFontSize(currentSettings().PrintFontSize);
    // The grid's columns in their order: only the fields the user keeps visible.
    QVector<int> fields;
    for (int c = 0; c < m_model->columnCount(); ++c)
        fields << m_model->fieldOfColumn(c);
    const QString tableName = CurrentTableName;
    print::runPrintJob(this, tableName, [this, &fields, &tableName, fontSize](print::PrintCanvas &canvas) {
        // Following every record in the grid and status bar would make a long
        // table take minutes; they follow once, to the last record, at the end.
        const DetachedWalk walk(this);
        const StatusProgress progress(m_status1, m_statusPanel, QStringLiteral("Druck"));
        print::printTable(canvas, TBView, fields, tableName, fontSize);
    });
}

void TFMMain::Druckereinstellen1Click()
{
    runPrintMode(*this, false, [this] { m_grid->setShowColorGrid(currentSettings().ShowColorGrid); });
}

void TFMMain::ACADOExecute()
{
    showDriverStatus(*this);
}

} // namespace app
