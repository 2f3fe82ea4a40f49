// The structure dialog on real tables: the field rows with German type names,
// record size and count, and the index page of a table without indexes.
#include "AppWindows.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "SharedTools.h"
#include "StructureDialog.h"
#include "TestSupport.h"

#include <QAction>
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

class StructureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        guiApp();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profile.path());
        app::setMessageBoxHook([](const app::MessageBoxRequest &) { return int(app::IDOK); });
        w = app::AppWindows::create().FMMain;
    }
    void TearDown() override
    {
        app::AppWindows::destroy();
        app::setMessageBoxHook({});
    }
    QTemporaryDir m_profile;
    app::TFMMain *w = nullptr;
};

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
