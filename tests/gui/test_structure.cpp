// The structure dialog on real tables: the field rows with German type names,
// record size and count, and the index page of a table without indexes.
#include "AppWindows.h"
#include "IndexRepair.h"
#include "drivers/dbase/DbaseDriver.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "ProgramTest.h"
#include "SharedTools.h"
#include "StructureDialog.h"
#include "StructureRows.h"
#include "TableModel.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QTest>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList rowOf(QTableWidget *grid, int row)
{
    QStringList cells;
    for (int c = 0; c < 4; ++c)
        cells << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return cells;
}

using StructureTest = ProgramTest;

} // namespace

TEST_F(StructureTest, FieldsRecordSizeAndCountOfAnOpenTable)
{
    w->Oeffnen(testsupport::fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    bool shown = false;
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        shown = true;
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Tabellenstruktur"));
        EXPECT_EQ(d.LBStru->text(), QStringLiteral("Tabellenstruktur: CARS.DBF"));
        EXPECT_EQ(d.LBSatzgr->text(), QStringLiteral("46")) << "deletion flag and six fields";
        EXPECT_EQ(d.LBSatzanz->text(), QStringLiteral("4"));
        ASSERT_EQ(d.STGStruktur->rowCount(), 7);
        EXPECT_EQ(rowOf(d.STGStruktur, 0), (QStringList{QStringLiteral("Nr"), QStringLiteral("Feldname"),
                                                        QStringLiteral("Feldtyp"), QStringLiteral("Länge")}));
        EXPECT_EQ(rowOf(d.STGStruktur, 2), (QStringList{QStringLiteral("2"), QStringLiteral("YEAR"),
                                                        QStringLiteral("32-Bit-Integer"), QStringLiteral("4")}));
        EXPECT_EQ(rowOf(d.STGStruktur, 6), (QStringList{QStringLiteral("6"), QStringLiteral("DESCR"),
                                                        QStringLiteral("Memo"), QStringLiteral("10")}));
        // No indexes: only the label and the note, "Auswählen" off, "Keine Sortierung" on.
        EXPECT_EQ(d.LBInd->text(), QStringLiteral("Verfügbare Indizes:"));
        EXPECT_TRUE(d.STGIndex->isHidden());
        EXPECT_FALSE(d.BTAuswaehlen->isEnabled());
        EXPECT_TRUE(d.BTNoSort->isEnabled());
        EXPECT_EQ(rowOf(d.STGIndex, 0).last(), QStringLiteral("Optionen"));
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(StructureTest, WithoutATableOnlyTheHeadingsShow)
{
    structure::TFMStruktur dialog(&w->TBView, w);
    EXPECT_EQ(dialog.STGStruktur->rowCount(), 1);
    EXPECT_EQ(rowOf(dialog.STGIndex, 0), (QStringList{QStringLiteral("Nr"), QStringLiteral("Indexname"),
                                                      QStringLiteral("Felder"), QStringLiteral("Typ")}));
}

TEST_F(StructureTest, IndexesChosenAndRemovedInTheDialog)
{
    w->Oeffnen(testsupport::fixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBF")));
    ASSERT_TRUE(w->TBView.Active());
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        EXPECT_EQ(d.LBInd->text(), QStringLiteral("Verfügbare Indizes: changelog.mdx"));
        ASSERT_EQ(d.STGIndex->rowCount(), 7);
        EXPECT_EQ(rowOf(d.STGIndex, 1), (QStringList{QStringLiteral("1"), QStringLiteral("ID_TAG"), QStringLiteral("ID"),
                                                     QStringLiteral("Unique")}));
        EXPECT_TRUE(d.BTAuswaehlen->isEnabled());
        // Order by ACTION: choose ACTION_TAG.
        d.STGIndex->selectRow(4);
        d.BTAuswaehlen->click();
        EXPECT_EQ(rowOf(d.STGIndex, 4).first(), QStringLiteral("4  »"));
        EXPECT_EQ(rowOf(d.STGIndex, 1).first(), QStringLiteral("1"));
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_EQ(w->TBView.IndexName(), QStringLiteral("ACTION_TAG"));
    EXPECT_EQ(w->findChild<QComboBox *>(QStringLiteral("CBindex"))->currentText(), QStringLiteral("<Kein Index>"))
        << "the chooser shows no index while the order stays";
    QStringList actions;
    for (int row = 0; row < w->gridModel()->rowCount(); ++row)
        actions << w->gridModel()->data(w->gridModel()->index(row, 4), Qt::DisplayRole).toString();
    EXPECT_EQ(actions, (QStringList{QStringLiteral("2"), QStringLiteral("2"), QStringLiteral("13")}));

    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        d.BTNoSort->click();
        EXPECT_EQ(rowOf(d.STGIndex, 4).first(), QStringLiteral("4"));
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_TRUE(w->TBView.IndexName().isEmpty());
    EXPECT_TRUE(w->TBView.Active());
}

TEST_F(StructureTest, ExpressionIndexShowsItsExpression)
{
    w->Oeffnen(testsupport::fixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF")));
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        EXPECT_EQ(rowOf(d.STGIndex, 2), (QStringList{QStringLiteral("2"), QStringLiteral("__USKZ"),
                                                     QStringLiteral("UPPER(LTRIM(TRIM(_SKZ)))"), QStringLiteral("Ausdruck")}));
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    // The index chooser lists the tags after "<Kein Index>", and choosing one orders the grid.
    QComboBox *chooser = w->findChild<QComboBox *>(QStringLiteral("CBindex"));
    ASSERT_EQ(chooser->count(), 6);
    EXPECT_EQ(chooser->itemText(3), QStringLiteral("__SKZ"));
    chooser->setCurrentIndex(3);
    emit chooser->activated(3);
    EXPECT_EQ(w->TBView.IndexName(), QStringLiteral("__SKZ"));
    EXPECT_TRUE(w->findChild<QLineEdit *>(QStringLiteral("EDsearch"))->isEnabled());
    QStringList keys;
    for (int row = 0; row < w->gridModel()->rowCount(); ++row)
        keys << w->gridModel()->data(w->gridModel()->index(row, 5), Qt::DisplayRole).toString();
    QStringList sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(keys, sorted);

    // The quick search moves to the first key that begins with the typed text, any case.
    QLineEdit *search = w->findChild<QLineEdit *>(QStringLiteral("EDsearch"));
    const QString wanted = keys.at(keys.size() - 2).left(4).toLower();
    search->setText(wanted);
    emit search->textEdited(wanted);
    const int expected = int(std::find_if(keys.begin(), keys.end(), [&](const QString &k) {
                                 return k.startsWith(wanted, Qt::CaseInsensitive);
                             }) - keys.begin());
    ASSERT_GT(expected, 0) << "a key further down, so the move is seen";
    EXPECT_EQ(w->TBView.RecNo(), expected + 1);
    EXPECT_EQ(w->TBView.IndexName(), QStringLiteral("__SKZ")) << "the order stays";
}

TEST(StructureRows, OptionTextInItsFixedOrder)
{
    using namespace engine;
    EXPECT_EQ(structure::indexOptionText(ixPrimary | ixUnique), QStringLiteral("Primär, Unique"));
    EXPECT_EQ(structure::indexOptionText(ixUnique | ixCaseInsensitive), QStringLiteral("Unique, CaseIns."));
    EXPECT_EQ(structure::indexOptionText(ixDescending), QStringLiteral("Absteig"));
    EXPECT_EQ(structure::indexOptionText(ixExpression | ixDescending), QStringLiteral("Absteig, Ausdruck"));
    EXPECT_EQ(structure::indexOptionText(ixNonMaintained), QString());
    EXPECT_EQ(structure::indexOptionText(0), QString());
}

TEST_F(StructureTest, PrimaryKeyOfAFoxProTable)
{
    w->Oeffnen(testsupport::fixture(QStringLiteral("foxpro/javadbf-xsource/employees.dbf")));
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        EXPECT_EQ(d.LBInd->text(), QStringLiteral("Verfügbare Indizes: employees.cdx"));
        EXPECT_EQ(rowOf(d.STGIndex, 1), (QStringList{QStringLiteral("1"), QStringLiteral("PRIMARYKEY"),
                                                     QStringLiteral("EMPLOYEEID"), QStringLiteral("Primär, Unique")}));
    };
    w->action(QStringLiteral("ACStru"))->trigger();
}

namespace {

// Marks one tag of a copied production index as descending (bit 0x08 of the
// tag header's format byte), as dBASE writes a DESCENDING tag.
void markDescending(const QString &mdx, const QString &tagName)
{
    QFile file(mdx);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray head = file.read(2048);
    const int entryLength = quint8(head[26]);
    const int count = quint8(head[28]) | (quint8(head[29]) << 8);
    for (int i = 0; i < count; ++i) {
        const char *e = head.constData() + 544 + i * entryLength;
        if (QString::fromLatin1(e + 4).trimmed() != tagName)
            continue;
        const qint64 tagHeader = qint64(quint8(e[0]) | (quint8(e[1]) << 8) | (quint8(e[2]) << 16)) * 512;
        file.seek(tagHeader + 8);
        char format = 0;
        file.read(&format, 1);
        format = char(format | 0x08);
        file.seek(tagHeader + 8);
        file.write(&format, 1);
        return;
    }
    FAIL() << "no tag " << tagName.toStdString();
}

} // namespace

TEST_F(StructureTest, DescendingTagIsShownAndKeptDescendingAfterAChange)
{
    testsupport::ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.DBF"));
    markDescending(dir.copyFixture(QStringLiteral("dbase/simatic-s7/YDBs-15940/SYMLIST.MDX")), QStringLiteral("__SKZ"));
    {
        // The flag alone leaves the keys ascending: the file is rebuilt in the tag's order,
        // as a descending tag is stored.
        engine::DbaseDriver driver;
        auto source = driver.open(dir.path(), QStringLiteral("SYMLIST.DBF"), engine::OpenOptions{false, false});
        ASSERT_TRUE(source->indexRepair());
        source->indexRepair()->reindex();
    }
    w->Oeffnen(table);
    ASSERT_TRUE(w->TBView.Active());
    // A new record goes into the index pages in the tag's order.
    w->TBView.Append();
    w->TBView.FieldByName(QStringLiteral("_SKZ"))->setAsString(QStringLiteral("MMMM Neu"));
    w->TBView.Post();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();

    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        EXPECT_EQ(rowOf(d.STGIndex, 3), (QStringList{QStringLiteral("3"), QStringLiteral("__SKZ"), QStringLiteral("_SKZ"),
                                                     QStringLiteral("Absteig")}));
        d.STGIndex->selectRow(3);
        d.BTAuswaehlen->click();
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    ASSERT_EQ(w->TBView.IndexName(), QStringLiteral("__SKZ"));
    const int field = w->TBView.FieldByName(QStringLiteral("_SKZ"))->Index();
    QStringList keys;
    for (int row = 0; row < w->gridModel()->rowCount(); ++row)
        keys << w->gridModel()->data(w->gridModel()->index(row, field), Qt::DisplayRole).toString();
    EXPECT_EQ(keys.size(), 10);
    EXPECT_TRUE(keys.contains(QStringLiteral("MMMM Neu")));
    QStringList descending = keys;
    std::sort(descending.begin(), descending.end(), std::greater<QString>());
    EXPECT_EQ(keys, descending);
}

// What the user sees: a dialog of fixed size, headings that stay above the rows
// and cannot be selected, and the "no indexes" note only where the list is missing.
TEST_F(StructureTest, FixedDialogWithFixedHeadingsAndTheNoteOnlyWithoutIndexes)
{
    const auto headings = [](QTableWidget *grid) {
        QStringList texts;
        for (int c = 0; c < grid->columnCount(); ++c)
            texts << grid->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        return texts;
    };
    w->Oeffnen(testsupport::fixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBF")));
    ASSERT_TRUE(w->TBView.Active());
    bool shown = false;
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        shown = true;
        d.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "fixed dialog border";
        d.PageControl1->setCurrentIndex(1);
        QCoreApplication::processEvents();
        EXPECT_TRUE(d.STGIndex->isVisible());
        EXPECT_FALSE(d.Label4->isVisible()) << "the note must not lie across the index list";
        EXPECT_TRUE(d.STGIndex->horizontalHeader()->isVisible());
        EXPECT_EQ(headings(d.STGIndex), (QStringList{"Nr", "Indexname", "Felder", "Optionen"}));
        EXPECT_EQ(headings(d.STGStruktur), (QStringList{"Nr", "Feldname", "Feldtyp", "Länge"}));
        // Ctrl+Home goes to the first row a user can select: the first index, not the headings.
        d.STGIndex->setFocus();
        QTest::keyClick(d.STGIndex, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_EQ(d.STGIndex->currentRow(), 1);
        EXPECT_EQ(d.STGIndex->rowViewportPosition(1), 0) << "the first index row is the top row under the headings";
        d.close();
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_TRUE(shown);

    w->Oeffnen(testsupport::fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    shown = false;
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        shown = true;
        d.show();
        d.PageControl1->setCurrentIndex(1);
        QCoreApplication::processEvents();
        EXPECT_FALSE(d.STGIndex->isVisible());
        EXPECT_TRUE(d.Label4->isVisible());
        EXPECT_EQ(d.Label4->text(), QStringLiteral("Keine Indizes verfügbar!"));
        d.close();
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_TRUE(shown);
}
