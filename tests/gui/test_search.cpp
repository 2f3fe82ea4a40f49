// The record search: the row test, the strict left-to-right joining, and the
// walk over a real table from the dialog.
#include "ProgramTest.h"
#include "SearchDialog.h"
#include "SearchRules.h"
#include "TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using search::conditionMatches;

TEST(SearchRules, PrefixExactAndCaseWithUmlauts)
{
    for (const char *text : {"Abend", "ABC", "ab"})
        EXPECT_TRUE(conditionMatches(QString::fromUtf8(text), QStringLiteral("ab"), false, false)) << text;
    EXPECT_TRUE(conditionMatches(QStringLiteral("abc"), QStringLiteral("ab"), true, false));
    EXPECT_FALSE(conditionMatches(QStringLiteral("Abend"), QStringLiteral("ab"), true, false));
    EXPECT_TRUE(conditionMatches(QStringLiteral("ab"), QStringLiteral("ab"), true, true));
    EXPECT_FALSE(conditionMatches(QStringLiteral("abc"), QStringLiteral("ab"), true, true));
    EXPECT_TRUE(conditionMatches(QStringLiteral("Müller"), QStringLiteral("MÜL"), false, false));
    EXPECT_FALSE(conditionMatches(QStringLiteral("a"), QStringLiteral("ab"), false, false)) << "shorter text never matches";
    EXPECT_TRUE(conditionMatches(QStringLiteral("x"), QString(), false, false)) << "an empty value matches any text";
    EXPECT_FALSE(conditionMatches(QStringLiteral("x"), QString(), false, true));
    EXPECT_FALSE(conditionMatches(QStringLiteral("ab"), QStringLiteral(" ab"), false, false)) << "blanks take part";
}

TEST(SearchRules, RowsJoinLeftToRightWithoutPrecedence)
{
    using search::RowResult;
    std::array<RowResult, 6> rows{};
    EXPECT_TRUE(search::rowsMatch(rows)) << "no field chosen anywhere";
    rows[0] = {true, 0, true};
    rows[1] = {true, 2, false};
    rows[2] = {true, 1, false};
    EXPECT_FALSE(search::rowsMatch(rows)) << "((true or false) and false)";
    rows[2] = {false, 1, false};
    EXPECT_TRUE(search::rowsMatch(rows)) << "a row without a field is skipped";
    rows = {};
    rows[1] = {true, 0, false};
    EXPECT_FALSE(search::rowsMatch(rows)) << "the empty joiner joins like 'und'";
    rows[1] = {true, 2, false};
    EXPECT_TRUE(search::rowsMatch(rows)) << "row 1 without a field counts as true";
}

TEST_F(ProgramTest, SearchWalksFromTheFirstOrTheNextRecord)
{
    w->Oeffnen(testsupport::fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    w->action(QStringLiteral("ACDSsearch"))->trigger();
    search::TFMSuchen *dialog = app::AppWindows::instance()->FMSuchen;
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->CBFields[0]->count(), 6);
    EXPECT_EQ(dialog->CBFields[0]->currentIndex(), -1);

    dialog->CBFields[0]->setCurrentIndex(0);
    dialog->Edits[0]->setText(QStringLiteral("je"));
    dialog->BTSuchen->click();
    EXPECT_EQ(w->TBView.RecNo(), 3);
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"))->text(), QStringLiteral("Satz: 3/4"))
        << "the after-scroll handling ran once at the end";

    dialog->BTSuchenNext->click();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first().caption, QStringLiteral("Fehler"));
    EXPECT_EQ(boxes.first().text, QStringLiteral("Sichbereich Ende. Datensatz nicht gefunden"));
    EXPECT_EQ(w->TBView.RecNo(), 4) << "the last record stays current";

    // "oder" with a second row: PASSAT by its name or any sedan.
    dialog->Edits[0]->setText(QStringLiteral("pass"));
    dialog->CBOp[1]->setCurrentIndex(2);
    dialog->CBFields[1]->setCurrentIndex(2);
    dialog->Edits[1]->setText(QStringLiteral("True"));
    dialog->ChBExact->setChecked(true);
    dialog->BTSuchen->click();
    EXPECT_EQ(w->TBView.RecNo(), 3) << "exact: 'pass' is no name, JETTA is a sedan";
    dialog->ChBExact->setChecked(false);
    dialog->BTSuchen->click();
    EXPECT_EQ(w->TBView.RecNo(), 1);

    w->action(QStringLiteral("ACClose"))->trigger();
    EXPECT_FALSE(dialog->isVisible()) << "closing the table closes the search";
}
