#pragma once
// FMMain: the frameless main window. It owns the one open table (connection,
// dataset, descriptor), shows it in the grid, carries the command vocabulary
// and keeps commands and status bar in step with the table.
#include "Connection.h"
#include "KADOopen.h"
#include "TableDataset.h"

#include <QHash>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QToolBar;

namespace browse {
class DataGrid;
class TableModel;
}
namespace structure {
class TFMStruktur;
}
namespace widgets {
class WindowShadow;
class TKStylePanel;
class TKLinkLabel;
class TKGripLine;
}

namespace app {

// A record number or count as typed; "'%s' ist kein gültiger Integerwert" otherwise.
int parseRecordCount(const QString &text);

class TFMMain : public QWidget {
    Q_OBJECT
public:
    explicit TFMMain(QWidget *parent = nullptr);
    ~TFMMain() override;

    // The table objects the window owns.
    engine::Connection ADOConnectionMain;
    engine::TableDataset TBView;
    data::TKADOopen KADOopen1;

    // State shared with the dialogs.
    bool FirstActivation = true;
    qint64 TableRecordCount = 0;
    QString CurrentDatabaseName;
    QString CurrentTableName;
    double ProcessorSpeed = 500;

    // The command line as the program got it (all parameters).
    QStringList CommandLine;

    void Oeffnen(const QString &fileName);
    // Files dropped on the window: the first local one is opened.
    void DropFiles(const QList<QUrl> &urls);
    void OpenTable();
    void GetIndex();
    void CloseTable();
    void ShowButtons();
    void ShowStatus();

    QAction *action(const QString &name) const { return m_actions.value(name); }
    QList<QAction *> actions() const { return m_actions.values(); }
    browse::DataGrid *grid() const { return m_grid; }
    browse::TableModel *gridModel() const { return m_model; }

    // Another application became active (or this one again): the dark panels follow.
    void applicationStateChanged(Qt::ApplicationState state);

    // Tests choose the file of "Speichern unter..." here (empty: cancelled).
    std::function<QString()> SaveDialogHook;

    // Tests work the structure dialog here instead of showing it.
    std::function<void(structure::TFMStruktur &)> StructureDialogHook;

    // "Drucken...": the print settings confirmed, then the table as the grid
    // shows it. "Drucker einrichten...": printer, orientation and font size.
    void TBBPrintClick();
    void Druckereinstellen1Click();

    // Errors of a command end it and are shown in the default error box.
    void runCommand(const std::function<void()> &command);

    // Design size of the client area, and the smallest size.
    static constexpr int DesignWidth = 935;
    static constexpr int DesignHeight = 713;

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A long walk over the table (search, print): the grid detached and the
    // after-scroll handling held back; both run once at the end, also when an
    // error ends the walk.
    struct DetachedWalk {
        explicit DetachedWalk(TFMMain *window);
        ~DetachedWalk();
        DetachedWalk(const DetachedWalk &) = delete;
        DetachedWalk &operator=(const DetachedWalk &) = delete;
        TFMMain *w;
    };

    void createActions();
    void createTitlePanel();
    void createClientArea();
    void createStatusPanel();
    void placeTitleControls();
    // The status fields after a change of the table text or the window width.
    void placeStatusFields();
    void FormActivate();
    void TBViewAfterOpen(engine::TableDataset &dataset);
    void TBViewAfterScroll(engine::TableDataset &dataset);
    // The record field of the status bar: "Satz: " with position and count.
    void ShowRecordStatus();
    // The record count, waited for (wait cursor) while it is made in the background.
    qint64 knownRecordCount();
    void TBViewAfterEdit(engine::TableDataset &dataset);

    // Command handlers.
    void TBBOpenClick();
    void TBBSaveClick();
    void Schlieen1Click();
    void CBIndexChange(int index);
    void EDSearchChange(const QString &text);
    void reopenAtCurrentRecord(const std::function<void()> &between);
    void CHBExclusiveClick();
    void CHBReadOnlyClick();
    void MNewClick();
    void MDeleteClick();
    void TBBokClick();
    void TBBabbrechenClick();
    void DBGrid1KeyDownF12();
    void MGotoClick();
    void MSkipClick();
    void TBBStrukturClick();
    void MFilterClick();
    void TBBSuchenClick();
    // "&Suchen" from the first record, "&nächsten Suchen" from the next one.
    void BTSuchenClick(bool fromFirst);
    void Einstellungen1Click();
    void ACADOExecute();

    QHash<QString, QAction *> m_actions;
    // The drop shadow, where the window system shows translucency.
    std::unique_ptr<widgets::WindowShadow> m_shadow;
    widgets::TKStylePanel *m_titlePanel = nullptr;
    widgets::TKStylePanel *m_statusPanel = nullptr;
    QMenuBar *m_menuBar = nullptr;
    QToolBar *m_toolBar = nullptr;
    browse::DataGrid *m_grid = nullptr;
    browse::TableModel *m_model = nullptr;
    QComboBox *m_indexChooser = nullptr;
    QLineEdit *m_search = nullptr;
    QLabel *m_status1 = nullptr;
    QLabel *m_status2 = nullptr;
    QLabel *m_status3 = nullptr;
    widgets::TKGripLine *m_statusGrips[2] = {nullptr, nullptr};
    QList<QWidget *> m_rightAnchored;
    bool m_placementRestored = false;
    bool m_searchConnected = false;
};

} // namespace app
