// Editing in the grid as a user does it: typing into the cell editor, Escape,
// a new record cancelled or left empty. Keys go through the real widgets.
#include "DataGrid.h"
#include "MainWindow.h"
#include "ProgramTest.h"
#include "TableModel.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using testsupport::ScratchDir;

namespace {

class CellEditing : public ProgramTest {
protected:
    QString path;
    ScratchDir dir;

    void openPeople()
    {
        path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
        w->Oeffnen(path);
        w->resize(800, 600);
        w->show();
        QApplication::setActiveWindow(w);
        w->grid()->setFocus();
        QCoreApplication::processEvents();
    }
    // Clicks into a cell.
    void clickCell(int row, int column)
    {
        const QModelIndex index = w->gridModel()->index(row, column);
        QTest::mouseClick(w->grid()->viewport(), Qt::LeftButton, {}, w->grid()->visualRect(index).center());
        QCoreApplication::processEvents();
    }
    // Types as a user does: each key to whatever has the focus (the grid
    // opens its cell editor on the first one).
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        QCoreApplication::processEvents();
    }
    QLineEdit *cellEditor() const { return qobject_cast<QLineEdit *>(QApplication::focusWidget()); }
    bool enabled(const char *name) { return w->action(QString::fromLatin1(name))->isEnabled(); }
    QString indicator(int row)
    {
        return w->gridModel()->headerData(row, Qt::Vertical, Qt::DisplayRole).toString();
    }
    // The first name in the file, read by a dataset of its own.
    QString storedFirstName()
    {
        w->action(QStringLiteral("ACClose"))->trigger();
        w->Oeffnen(path);
        return w->gridModel()->data(w->gridModel()->index(0, 0), Qt::DisplayRole).toString();
    }
};

} // namespace

TEST_F(CellEditing, TypingEditsTheRecordAndEscapeLeavesEditorThenEditThenWindow)
{
    openPeople();
    clickCell(0, 0);
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_FALSE(enabled("ACDSok"));

    type(QStringLiteral("Zed"));
    QLineEdit *editor = cellEditor();
    ASSERT_NE(editor, nullptr) << "typing opens the cell editor";
    EXPECT_EQ(editor->text(), QStringLiteral("Zed"));
    EXPECT_EQ(w->TBView.State(), engine::dsEdit) << "typing starts the edit";
    EXPECT_TRUE(enabled("ACDSok"));
    EXPECT_TRUE(enabled("ACDSaboard"));
    EXPECT_EQ(indicator(0), QStringLiteral("✎"));

    // The first Escape leaves the editor and drops its text; the window stays.
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), w->grid());
    EXPECT_EQ(w->TBView.State(), engine::dsEdit);
    // The second cancels the edit.
    QTest::keyClick(w->grid(), Qt::Key_Escape);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_EQ(indicator(0), QStringLiteral("▶"));
    // Only now, in browse state, Escape closes the window.
    QTest::keyClick(w->grid(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(storedFirstName(), QStringLiteral("Alice"));
}

TEST_F(CellEditing, TypedTextIsPostedWhenTheRowIsLeft)
{
    openPeople();
    clickCell(0, 0);
    type(QStringLiteral("Zed"));
    ASSERT_NE(cellEditor(), nullptr);
    QTest::keyClick(cellEditor(), Qt::Key_Down);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_EQ(w->TBView.RecNo(), 2);
    EXPECT_EQ(storedFirstName(), QStringLiteral("Zed"));
}

TEST_F(CellEditing, NewRecordCancelledOrLeftEmptyIsDroppedQuietly)
{
    openPeople();
    clickCell(0, 0);
    w->action(QStringLiteral("ACDSNew"))->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(w->TBView.State(), engine::dsInsert);
    ASSERT_EQ(w->gridModel()->rowCount(), 3);
    type(QStringLiteral("x"));
    ASSERT_NE(cellEditor(), nullptr) << "the new row's editor is open";
    cellEditor()->clear(); // typed and taken back: the new record is still empty

    // "Änderungen verwerfen" with the new row's editor open.
    w->action(QStringLiteral("ACDSaboard"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.isEmpty()) << (boxes.isEmpty() ? std::string() : boxes.first().text.toStdString());
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_EQ(w->gridModel()->rowCount(), 2);
    EXPECT_EQ(w->TBView.RecordCount(), 2);

    // Appended, nothing typed, and the focus goes from the cell editor to another control.
    clickCell(1, 0);
    w->action(QStringLiteral("ACDSNew"))->trigger();
    QCoreApplication::processEvents();
    type(QStringLiteral("x"));
    ASSERT_NE(cellEditor(), nullptr);
    cellEditor()->clear();
    w->findChild<QComboBox *>(QStringLiteral("CBindex"))->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse) << "the empty new record is dropped";
    EXPECT_EQ(w->gridModel()->rowCount(), 2);
    EXPECT_TRUE(boxes.isEmpty());

    // With something typed, leaving the grid keeps the new record and its text.
    w->action(QStringLiteral("ACDSNew"))->trigger();
    QCoreApplication::processEvents();
    type(QStringLiteral("Neu"));
    ASSERT_NE(cellEditor(), nullptr);
    w->findChild<QComboBox *>(QStringLiteral("CBindex"))->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(w->TBView.State(), engine::dsInsert);
    EXPECT_EQ(w->TBView.Fields(0)->AsString(), QStringLiteral("Neu"));
    w->action(QStringLiteral("ACDSok"))->trigger();
    EXPECT_EQ(w->TBView.RecordCount(), 3);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(CellEditing, ApplyingARefusedChangeSaysWhyAndKeepsTheUsersValues)
{
    // A keyed Paradox table: a second record with an existing key is refused.
    dir.copyFixture(QStringLiteral("paradox/db/ORDERS.PX"));
    path = dir.copyFixture(QStringLiteral("paradox/db/ORDERS.DB"));
    const QByteArray before = testsupport::readAll(path);
    w->Oeffnen(path);
    w->show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(w->TBView.Active());
    const QString secondKey = w->TBView.Fields(0)->AsString();
    w->TBView.Next();
    w->TBView.Edit();
    w->TBView.Fields(0)->setAsString(secondKey);
    ASSERT_EQ(w->TBView.State(), engine::dsEdit);

    w->action(QStringLiteral("ACDSok"))->trigger(); // "Änderungen übernehmen"
    ASSERT_EQ(boxes.size(), 1) << "the refusal is shown, not passed over";
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Fehler"));
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Schlüsselverletzung: "))) << boxes[0].text.toStdString();
    EXPECT_EQ(w->TBView.State(), engine::dsEdit);
    EXPECT_EQ(w->TBView.Fields(0)->AsString(), secondKey);
    EXPECT_EQ(testsupport::readAll(path), before);
    w->TBView.Cancel();
}

TEST_F(CellEditing, TextStillInTheCellEditorIsWhatTheToolbarButtonsPost)
{
    openPeople();
    clickCell(0, 0);
    type(QStringLiteral("Xaver"));
    ASSERT_NE(cellEditor(), nullptr) << "the editor is open with the typed text";
    // The toolbar's buttons take no focus: the editor is still open when
    // "Änderungen übernehmen" runs.
    QToolButton *button = nullptr;
    for (QToolButton *tool : w->findChildren<QToolButton *>())
        if (tool->defaultAction() == w->action(QStringLiteral("ACDSok")))
            button = tool;
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->TBView.State(), engine::dsBrowse);
    EXPECT_TRUE(boxes.isEmpty());
    // Browsing again, without a move: new and delete on, apply and discard off.
    EXPECT_TRUE(enabled("ACDSNew"));
    EXPECT_TRUE(enabled("ACDSDelete"));
    EXPECT_FALSE(enabled("ACDSok"));
    EXPECT_FALSE(enabled("ACDSaboard"));
    const QString typed = w->TBView.Fields(0)->AsString();
    EXPECT_TRUE(typed.contains(QStringLiteral("Xaver"))) << typed.toStdString();
    EXPECT_EQ(storedFirstName(), typed) << "what was typed is in the file";

    // The same for a move with the navigator while the editor is open.
    clickCell(0, 0);
    type(QStringLiteral("Y"));
    ASSERT_NE(cellEditor(), nullptr);
    const QString before = cellEditor()->text();
    w->action(QStringLiteral("ACDSnext"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(storedFirstName(), before);
}
