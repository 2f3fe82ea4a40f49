// The real main window, driven as a user drives it: opening from the command
// line and by a drop, the enabling of the commands, the status bar, Escape,
// editing in the grid, and the settings kept between runs.
#include "AppWindows.h"
#include "ADOStateDialog.h"
#include "DataGrid.h"
#include "DriverStatus.h"
#include "FilterDialog.h"
#include "GotoDialog.h"
#include "GuiTestSupport.h"
#include "ProgramTest.h"
#include "KStylePanel.h"
#include "MainWindow.h"
#include "SettingsStore.h"
#include "SetupDialog.h"
#include "SharedTools.h"
#include "TableModel.h"
#include "TestSupport.h"
#include "ToolbarSkin.h"
#include "WindowParts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

using testsupport::ScratchDir;

namespace {

class MainWindowTest : public ProgramTest {
protected:
    void activate()
    {
        QEvent activation(QEvent::WindowActivate);
        QCoreApplication::sendEvent(w, &activation);
    }
    bool enabled(const char *name) { return w->action(QString::fromLatin1(name))->isEnabled(); }
    QString label(const char *name) { return w->findChild<QLabel *>(QString::fromLatin1(name))->text(); }
    QToolBar *toolbar() { return w->findChild<QToolBar *>(QStringLiteral("TBtools")); }
    void press(QWidget *target, int key)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &down);
    }
};

} // namespace

TEST_F(MainWindowTest, CreatesTheWindowsInOrderWithTheCommandVocabulary)
{
    const app::AppWindows *windows = app::AppWindows::instance();
    ASSERT_NE(windows, nullptr);
    EXPECT_NE(windows->FMSuchen, nullptr);
    EXPECT_NE(windows->FMAdostate, nullptr);
    EXPECT_EQ(w->objectName(), QStringLiteral("FMMain"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Quentara - brisvel ostrel 2005"));
    EXPECT_EQ(w->minimumSize(), QSize(650, 450));
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w->actions().size(), 28);
    EXPECT_FALSE(w->action(QStringLiteral("ACdbf"))->isVisible());
    EXPECT_EQ(w->action(QStringLiteral("ACend"))->shortcut(), QKeySequence(QStringLiteral("Alt+F4")));
    EXPECT_EQ(w->action(QStringLiteral("ACDSgoto"))->text(), QStringLiteral("&Gehe zu..."));
    EXPECT_EQ(w->action(QStringLiteral("ACDSgoto"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));
    EXPECT_EQ(w->action(QStringLiteral("ACOpen"))->toolTip(), QStringLiteral("Tabelle öffnen..."));

    QStringList menus;
    for (QAction *m : w->findChild<QMenuBar *>(QStringLiteral("TBToolMenu"))->actions())
        menus << m->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&Datei"), QStringLiteral("&Tabelle"), QStringLiteral("Daten&satz"),
                                  QStringLiteral("&Extras"), QStringLiteral("&?")}));
    QStringList buttons;
    for (QAction *a : toolbar()->actions())
        buttons << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    EXPECT_EQ(buttons.join(QLatin1Char(' ')),
              QStringLiteral("ACOpen | ACSaveAs | ACPrint | ACDSfirst ACDSprev ACDSnext ACDSlast | ACDSNew ACDSDelete "
                             "ACDSok ACDSaboard | ACStru | ACdbf ACADO | ACDSsearch ACFilter |"));
    EXPECT_EQ(label("LBStatusbar1"), QStringLiteral("  "));
}

TEST_F(MainWindowTest, CommandLineIsJoinedAndOpenedAtTheFirstActivationOnly)
{
    ScratchDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("My Data"));
    QFile::copy(testsupport::fixture(QStringLiteral("dbase/dbfread/people.dbf")), dir.file(QStringLiteral("My Data/people.dbf")));
    w->CommandLine = {dir.file(QStringLiteral("My")), QStringLiteral("Data/people.dbf")};
    activate();
    ASSERT_TRUE(w->TBView.Active()) << (boxes.isEmpty() ? std::string() : boxes.first().text.toStdString());
    EXPECT_EQ(w->CurrentTableName, QStringLiteral("PEOPLE.DBF"));
    EXPECT_EQ(label("LBStatusbar1"), QStringLiteral("Satz: 1/2"));
    EXPECT_EQ(label("LBStatusBar2"), QStringLiteral("Tabelle: people.dbf"));
    EXPECT_EQ(label("LBStatusBar3"), QStringLiteral("Datenbank: ") + dir.file(QStringLiteral("My Data/")));

    w->action(QStringLiteral("ACClose"))->trigger();
    activate();
    EXPECT_FALSE(w->TBView.Active()) << "a second activation does not open the file again";
}

TEST_F(MainWindowTest, EnablingFollowsOpenMovesAppendAndClose)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    w->Oeffnen(path);
    ASSERT_TRUE(w->TBView.Active());
    EXPECT_FALSE(enabled("ACDSfirst"));
    EXPECT_FALSE(enabled("ACDSprev"));
    EXPECT_TRUE(enabled("ACDSnext"));
    EXPECT_TRUE(enabled("ACDSlast"));
    EXPECT_TRUE(enabled("ACDSNew"));
    EXPECT_FALSE(enabled("ACDSok"));
    EXPECT_TRUE(toolbar()->isEnabled());

    w->action(QStringLiteral("ACDSlast"))->trigger();
    EXPECT_TRUE(enabled("ACDSfirst"));
    EXPECT_FALSE(enabled("ACDSnext"));
    EXPECT_EQ(label("LBStatusbar1"), QStringLiteral("Satz: 4/4"));

    w->action(QStringLiteral("ACDSNew"))->trigger();
    EXPECT_EQ(w->TBView.State(), engine::dsInsert);
    EXPECT_FALSE(enabled("ACDSNew"));
    EXPECT_FALSE(enabled("ACDSDelete"));
    EXPECT_TRUE(enabled("ACDSok"));
    EXPECT_TRUE(enabled("ACDSaboard"));
    w->action(QStringLiteral("ACDSaboard"))->trigger();
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_TRUE(enabled("ACDSNew"));

    w->action(QStringLiteral("ACClose"))->trigger();
    EXPECT_FALSE(toolbar()->isEnabled());
    EXPECT_FALSE(enabled("ACDSfirst"));
    EXPECT_FALSE(enabled("ACStru"));
    EXPECT_TRUE(enabled("ACOpen"));
    EXPECT_TRUE(w->findChild<QMenuBar *>(QStringLiteral("TBToolMenu"))->isEnabled());
    EXPECT_TRUE(label("LBStatusbar1").isEmpty());
    EXPECT_TRUE(label("LBStatusBar2").isEmpty());
    EXPECT_TRUE(w->CurrentDatabaseName.isEmpty());
    EXPECT_EQ(w->gridModel()->columnCount(), 0);

    w->Oeffnen(path);
    EXPECT_TRUE(toolbar()->isEnabled()) << "opening again enables the table commands";
}

TEST_F(MainWindowTest, TableThatCannotChangeKeepsTheEditCommandsOff)
{
    // The Clipper index beside this table, which the engine cannot keep up to date, keeps it read-only.
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ntx-char.ntx"), QStringLiteral("changelog.ntx"));
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ntx-char.dbf"), QStringLiteral("changelog.dbf")));
    ASSERT_TRUE(w->TBView.Active());
    EXPECT_FALSE(enabled("ACDSNew"));
    EXPECT_FALSE(enabled("ACDSDelete"));
    EXPECT_FALSE(w->gridModel()->flags(w->gridModel()->index(0, 1)) & Qt::ItemIsEditable);

    w->action(QStringLiteral("ACExcl"))->trigger();
    EXPECT_FALSE(w->action(QStringLiteral("ACExcl"))->isChecked()) << "Exclusiv keeps its check mark";
    w->action(QStringLiteral("ACReadOnly"))->trigger();
    EXPECT_TRUE(w->action(QStringLiteral("ACReadOnly"))->isChecked());
    EXPECT_EQ(label("LBStatusBar2"), QStringLiteral("Tabelle: changelog.dbf (Readonly)"));
}

TEST_F(MainWindowTest, DropOpensTheFirstFileAndAFailedOpenKeepsThePrevious)
{
    ScratchDir dir;
    const QString first = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    const QString second = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/DATE.DBF"));
    w->DropFiles({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second), QUrl::fromLocalFile(second)});
    ASSERT_TRUE(w->TBView.Active()) << (boxes.isEmpty() ? std::string("no message") : boxes.first().text.toStdString());
    EXPECT_EQ(w->CurrentTableName, QStringLiteral("PEOPLE.DBF"));

    QFile broken(dir.file(QStringLiteral("kaputt.dbf")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(20, '\x03'));
    broken.close();
    w->runCommand([&] { w->Oeffnen(broken.fileName()); });
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first().caption, QStringLiteral("brisvel ostrel 2005"));
    EXPECT_TRUE(boxes.first().text.contains(QStringLiteral("kaputt.dbf")));
    EXPECT_TRUE(boxes.first().text.endsWith(QLatin1Char('.'))) << boxes.first().text.toStdString();
    EXPECT_EQ(w->CurrentTableName, QStringLiteral("PEOPLE.DBF")) << "a failed open keeps the previous names";
}

TEST_F(MainWindowTest, EscapeClosesOutsideAnEditOnly)
{
    ScratchDir dir;
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf")));
    w->show();
    QApplication::setActiveWindow(w);
    w->TBView.Edit();
    press(w->grid(), Qt::Key_Escape);
    EXPECT_TRUE(w->isVisible()) << "Escape in an edit goes to the grid";
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse) << "the grid's Escape cancels the edit";
    press(w->findChild<QLineEdit *>(QStringLiteral("EDsearch")), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindowTest, EditingACellEditsTheRecordAndLeavingTheRowPostsIt)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    w->Oeffnen(path);
    browse::TableModel *model = w->gridModel();
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->data(model->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("Alice"));
    EXPECT_TRUE(model->setData(model->index(0, 0), QStringLiteral("Älice"), Qt::EditRole));
    EXPECT_EQ(w->TBView.State(), engine::dsEdit);
    EXPECT_TRUE(enabled("ACDSok"));
    w->grid()->setCurrentIndex(model->index(1, 0));
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_EQ(w->TBView.RecNo(), 2);

    w->action(QStringLiteral("ACClose"))->trigger();
    w->Oeffnen(path);
    EXPECT_EQ(w->gridModel()->data(w->gridModel()->index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("Älice"));

    // A value the field refuses ends in the default error box, and the record stays as it was.
    EXPECT_FALSE(model->setData(model->index(0, 1), QStringLiteral("30.02.2001"), Qt::EditRole));
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_EQ(boxes.last().text, QStringLiteral("'30.02.2001' ist kein gültiges Datum."));
}

TEST_F(MainWindowTest, F12AsksAndCtrlDeleteUsesTheGridsOwnQuestion)
{
    ScratchDir dir;
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf")));
    answer = app::IDNO;
    press(w->grid(), Qt::Key_F12);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first().caption, QStringLiteral("Bestätigung"));
    EXPECT_EQ(boxes.first().text, QStringLiteral("Datensatz löschen?"));
    EXPECT_EQ(w->TBView.RecordCount(), 2);
    answer = app::IDYES;
    press(w->grid(), Qt::Key_F12);
    EXPECT_EQ(w->TBView.RecordCount(), 1);

    QString asked;
    w->grid()->confirmDelete = [&](const QString &q) {
        asked = q;
        return false;
    };
    QKeyEvent ctrlDel(QEvent::KeyPress, Qt::Key_Delete, Qt::ControlModifier);
    QCoreApplication::sendEvent(w->grid(), &ctrlDel);
    EXPECT_EQ(asked, QStringLiteral("Datensatz löschen?"));
    EXPECT_EQ(w->TBView.RecordCount(), 1);
}

TEST_F(MainWindowTest, FreshProfileDefaultsAndSettingsKeptForTheNextStart)
{
    EXPECT_FALSE(w->grid()->showColorGrid());
    EXPECT_EQ(app::toolbarSkin().skinType(), 1);
    EXPECT_EQ(app::toolbarSkin().colorSet(), 0);
    EXPECT_FALSE(w->action(QStringLiteral("ACExcl"))->isChecked());
    EXPECT_EQ(app::currentSettings().PrintFontSize, 0);

    app::TFMsetup::setShowModalHook([](app::TFMsetup &dialog) {
        dialog.ChBShowRaster->click();
        dialog.RBWindows->click();
        dialog.CHBReadonly->setChecked(true);
        return int(QDialog::Accepted);
    });
    w->action(QStringLiteral("ACsetup"))->trigger();
    EXPECT_TRUE(w->grid()->showColorGrid());

    start();
    EXPECT_TRUE(w->grid()->showColorGrid());
    EXPECT_EQ(app::toolbarSkin().skinType(), 2);
    EXPECT_EQ(app::toolbarSkin().colorSet(), 1);
    EXPECT_TRUE(w->action(QStringLiteral("ACReadOnly"))->isChecked());
    EXPECT_EQ(app::currentSettings().PrintFontSize, 10);
}

TEST_F(MainWindowTest, PanelsDarkenWhileAnotherApplicationIsActive)
{
    const auto themes = [this] {
        QList<widgets::TKThemeTypes> list;
        for (const char *name : {"KStylePanel1", "KStylePanel2"})
            list << w->findChild<widgets::TKStylePanel *>(QString::fromLatin1(name))->Theme();
        return list;
    };
    EXPECT_EQ(themes(), (QList<widgets::TKThemeTypes>{widgets::thVerticalDark, widgets::thVerticalDark}));
    w->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_EQ(themes(), (QList<widgets::TKThemeTypes>{widgets::thVerticalDarkDisabled, widgets::thVerticalDarkDisabled}));
    w->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(themes(), (QList<widgets::TKThemeTypes>{widgets::thVerticalDark, widgets::thVerticalDark}));
}

TEST_F(MainWindowTest, PlacementIsKeptBetweenRuns)
{
    w->show();
    w->setGeometry(40, 50, 800, 600);
    w->close();
    QSettings ini(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Halvorin"), QStringLiteral("Brisvel"));
    EXPECT_FALSE(ini.allKeys().filter(QStringLiteral("NormPos")).isEmpty()) << ini.allKeys().join(QLatin1Char(' ')).toStdString();

    start();
    w->show();
    EXPECT_EQ(w->size(), QSize(800, 600));
    EXPECT_EQ(w->pos(), QPoint(40, 50));
}

TEST_F(MainWindowTest, GotoAndMoveByCountInTheTablesOrder)
{
    ScratchDir dir;
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF")));
    browse::TFMGoto *dialog = app::AppWindows::instance()->FMGoto;
    QString entry;
    dialog->AfterActivate = [&] {
        dialog->Edit1->setText(entry);
        dialog->accept();
    };
    const auto run = [&](const char *action, const QString &text) {
        entry = text;
        w->action(QString::fromLatin1(action))->trigger();
    };
    run("ACDSgoto", QStringLiteral("4"));
    EXPECT_EQ(w->TBView.RecNo(), 4);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Gehe zu"));
    run("ACDSgoto", QStringLiteral("99"));
    EXPECT_EQ(w->TBView.RecNo(), 10) << "beyond the end stops at the last record";
    run("ACDSgoto", QStringLiteral("-5"));
    EXPECT_EQ(w->TBView.RecNo(), 1);
    run("ACDSgoto", QStringLiteral("5"));
    run("ACDSgoto", QStringLiteral("-2147483648"));
    EXPECT_EQ(w->TBView.RecNo(), 1) << "the smallest integer stays on the first record too";
    run("ACDSmoveto", QStringLiteral("1"));
    run("ACDSmoveto", QStringLiteral("-3"));
    EXPECT_EQ(w->TBView.RecNo(), 1) << "moving back from the second record stops at the first";
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Bewegen um"));
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"))->text(), QStringLiteral("Satz: 1/10"));

    run("ACDSmoveto", QStringLiteral("5"));
    run("ACDSgoto", QStringLiteral("vier"));
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_EQ(boxes.last().text, QStringLiteral("'vier' ist kein gültiger Integerwert."));
    EXPECT_EQ(w->TBView.RecNo(), 1) << "go-to has already moved to the first record";
    run("ACDSgoto", QStringLiteral("6"));
    run("ACDSmoveto", QStringLiteral("x"));
    EXPECT_EQ(w->TBView.RecNo(), 6) << "a bad count leaves the position";
    dialog->AfterActivate = nullptr;
}

TEST_F(MainWindowTest, DriverStatusReportIsRebuiltAtEveryActivation)
{
    data::TFMAdostate *report = app::AppWindows::instance()->FMAdostate;
    const auto lines = [&] {
        report->FormActivate();
        return report->Memo1->toPlainText().split(QLatin1Char('\n'));
    };
    QStringList fresh = lines();
    ASSERT_GE(fresh.size(), 8);
    EXPECT_TRUE(fresh.at(0).startsWith(QStringLiteral("ADO Version: ")));
    EXPECT_EQ(fresh.at(1), QStringLiteral("ADO Provider: Microsoft.Jet.OLEDB.4.0"));
    EXPECT_EQ(fresh.at(2), QStringLiteral("ADO State: Closed"));
    EXPECT_EQ(fresh.at(3), QStringLiteral("ADO CursorLocation: UseClient"));
    EXPECT_EQ(fresh.at(4), QStringLiteral("ADO CursorType: Keyset"));
    EXPECT_EQ(fresh.at(5), QStringLiteral("ADO Eigenschaften: %1").arg(fresh.size() - 7));
    EXPECT_EQ(fresh.at(6), QString(51, QLatin1Char('-')));
    EXPECT_EQ(lines(), fresh) << "a second activation gives the same report, no duplicated lines";

    ScratchDir dir;
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/javadbf/provincias_es.dbf")));
    const QStringList open = lines();
    EXPECT_EQ(open.at(2), QStringLiteral("ADO State: Open"));
    EXPECT_TRUE(open.contains(QStringLiteral("Extended Properties: dBASE 5.0")));
    EXPECT_TRUE(open.contains(QStringLiteral("Locale Identifier: 1033")));
    EXPECT_TRUE(open.contains(QStringLiteral("Data Source: ") + dir.path() + QLatin1Char('/')));
    EXPECT_TRUE(open.contains(QStringLiteral("Datenquellenart: dBASE")));
    EXPECT_TRUE(open.contains(QStringLiteral("Codepage: 1252")));
    EXPECT_TRUE(open.contains(QStringLiteral("Öffnungsmodus: Lesen und Schreiben")));
}

TEST(DriverStatus, StateNamesJoinedInTheirOrder)
{
    EXPECT_EQ(data::stateText(engine::stClosed), QStringLiteral("Closed"));
    EXPECT_EQ(data::stateText(engine::stOpen | engine::stFetching), QStringLiteral("Open, Fetching"));
    EXPECT_EQ(data::stateText(engine::stFetching | engine::stConnecting), QStringLiteral("Connecting, Fetching"));
}

TEST_F(MainWindowTest, FilterDialogSetsTheFilterAndTheVisibleColumns)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    w->Oeffnen(path);
    search::TFMFilter *dialog = app::AppWindows::instance()->FMFilter;
    std::function<void()> script;
    dialog->AfterActivate = [&] { script(); };

    script = [&] {
        ASSERT_EQ(dialog->CHLBfields->count(), 6);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(dialog->CHLBfields->item(i)->checkState(), Qt::Checked) << "the default layout shows every field";
        dialog->Edit1->setText(QStringLiteral("name = 'p*'"));
        for (int i : {1, 2, 4, 5})
            dialog->CHLBfields->item(i)->setCheckState(Qt::Unchecked);
        dialog->accept();
    };
    w->action(QStringLiteral("ACFilter"))->trigger();
    EXPECT_EQ(w->TBView.RecordCount(), 2) << "PASSAT and POLO, case-insensitive partial compare";
    EXPECT_EQ(w->TableRecordCount, 2);
    ASSERT_EQ(w->gridModel()->columnCount(), 2);
    EXPECT_EQ(w->gridModel()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("PROD_DATE"));
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"))->text(), QStringLiteral("Satz: 1/2"));

    // An expression the engine rejects is shown, and the table stays as it was.
    script = [&] {
        EXPECT_EQ(dialog->CHLBfields->item(3)->checkState(), Qt::Checked);
        EXPECT_EQ(dialog->CHLBfields->item(1)->checkState(), Qt::Unchecked);
        dialog->Edit1->setText(QStringLiteral("YEAR >"));
        dialog->accept();
    };
    w->action(QStringLiteral("ACFilter"))->trigger();
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_TRUE(boxes.last().text.contains(QStringLiteral("Filterausdruck")));
    EXPECT_TRUE(w->TBView.Active());
    EXPECT_EQ(w->TBView.RecordCount(), 2);

    // "Filter löschen" then OK: no filter and every field again.
    script = [&] {
        dialog->Button3->click();
        EXPECT_TRUE(dialog->Edit1->text().isEmpty());
        dialog->accept();
    };
    w->action(QStringLiteral("ACFilter"))->trigger();
    EXPECT_EQ(w->TBView.RecordCount(), 4);
    EXPECT_FALSE(w->TBView.Filtered());
    EXPECT_EQ(w->gridModel()->columnCount(), 6);
    dialog->AfterActivate = nullptr;
}

// The column choice is bound to field names: another table shows its own
// fields, and a table with those names shows them again.
TEST_F(MainWindowTest, ColumnChoiceHoldsByFieldName)
{
    ScratchDir dir;
    const QString cars = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    const QString number = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF"));
    w->Oeffnen(cars);
    search::TFMFilter *dialog = app::AppWindows::instance()->FMFilter;
    QStringList offered;
    QList<Qt::CheckState> checks;
    std::function<void()> script = [&] {
        for (int i = 0; i < dialog->CHLBfields->count(); ++i)
            if (i != 1 && i != 3) // YEAR and PROD_DATE stay checked
                dialog->CHLBfields->item(i)->setCheckState(Qt::Unchecked);
        dialog->accept();
    };
    dialog->AfterActivate = [&] { script(); };
    w->action(QStringLiteral("ACFilter"))->trigger();
    const auto headings = [this] {
        QStringList names;
        for (int c = 0; c < w->gridModel()->columnCount(); ++c)
            names << w->gridModel()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        return names;
    };
    EXPECT_EQ(headings(), (QStringList{"YEAR", "PROD_DATE"}));

    w->Oeffnen(number);
    EXPECT_EQ(headings(), (QStringList{"ID", "MININT", "MAXINT", "MAXDEC", "MINDEC"}))
        << "no field of that name: every field";
    script = [&] {
        for (int i = 0; i < dialog->CHLBfields->count(); ++i) {
            offered << dialog->CHLBfields->item(i)->text();
            checks << dialog->CHLBfields->item(i)->checkState();
        }
        dialog->reject();
    };
    w->action(QStringLiteral("ACFilter"))->trigger();
    EXPECT_EQ(offered, (QStringList{"ID", "MININT", "MAXINT", "MAXDEC", "MINDEC"}));
    EXPECT_EQ(checks, QList<Qt::CheckState>(5, Qt::Checked));

    w->Oeffnen(cars);
    EXPECT_EQ(headings(), (QStringList{"YEAR", "PROD_DATE"}));
    EXPECT_EQ(w->gridModel()->data(w->gridModel()->index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("01.01.1977"));
    dialog->AfterActivate = nullptr;
}

// The index chooser is narrower than "<Kein Index>": it shows the text from
// its start, not scrolled to its end.
TEST_F(MainWindowTest, IndexChooserShowsItsTextFromTheStart)
{
    ScratchDir dir;
    w->Oeffnen(dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/NUMBER.DBF")));
    w->show();
    QCoreApplication::processEvents();
    auto *chooser = w->findChild<QComboBox *>(QStringLiteral("CBindex"));
    ASSERT_EQ(chooser->currentText(), QStringLiteral("<Kein Index>"));
    QLineEdit *edit = chooser->lineEdit();
    ASSERT_GT(edit->fontMetrics().horizontalAdvance(edit->text()), edit->width() - 4)
        << "the text is wider than its field, so where it starts matters";
    // The edit box keeps its cursor in view: at the start, the text is shown from "<K".
    EXPECT_EQ(edit->cursorPosition(), 0);
}
