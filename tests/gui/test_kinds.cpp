// The window on every kind of table: opened by file name as from the command
// line, the same rows as the engine reads, moving to the end, the structure's
// fields, and a change refused with the kind's reason where it cannot be made.
#include "ProgramTest.h"
#include "TestSupport.h"

#include "EngineError.h"
#include "TableModel.h"

#include <QAction>

using testsupport::ScratchDir;

TEST_F(ProgramTest, EveryKindOpensMovesAndTellsWhyItCannotChange)
{
    const struct {
        const char *files[2];
        const char *table;       // the chooser's answer for databases and workbooks
        qint64 records;
        const char *firstText;   // text of the first field of the first record
        const char *whyReadOnly; // the start of the kind's reason; nullptr for a changeable table
    } cases[] = {
        {{"paradox/db/AREACODE.DB", "paradox/db/AREACODE.PX"}, nullptr, 135, "201", nullptr},
        {{"paradox/fields/date4.db", nullptr}, nullptr, 3, "01.01.2018", nullptr},
        {{"access/mdbtestdata/nwind.mdb", nullptr}, "Customers", 91, "ALFKI", "Access-Datenbanken können nur gelesen werden"},
        {{"excel/csvkit/test.xls", nullptr}, nullptr, 5, "Chicago Reader", "Die Excel-Arbeitsmappe "},
        {{"html/rows/ibge-censo.html", nullptr}, nullptr, 92, "RJ", "Tabellen in HTML-Seiten können nur gelesen werden"},
        {{"csv/csv-spectrum/utf8.csv", nullptr}, nullptr, 2, "1", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.files[0]);
        ScratchDir dir;
        const QString file = dir.copyFixture(QString::fromLatin1(c.files[0]));
        if (c.files[1])
            dir.copyFixture(QString::fromLatin1(c.files[1]));
        w->KADOopen1.TablesDialogHook = [&](data::TKADOopen &) -> std::optional<QString> {
            return c.table ? std::optional<QString>(QString::fromLatin1(c.table)) : std::nullopt;
        };
        boxes.clear();
        w->Oeffnen(file);
        ASSERT_TRUE(w->TBView.Active()) << (boxes.isEmpty() ? std::string() : boxes[0].text.toStdString());
        EXPECT_EQ(w->TBView.RecordCount(), c.records);
        EXPECT_EQ(w->TBView.Fields(0)->AsString(), QString::fromUtf8(c.firstText));
        EXPECT_EQ(w->gridModel()->recordRows(), c.records);
        w->action(QStringLiteral("ACDSlast"))->trigger();
        EXPECT_EQ(w->TBView.RecNo(), c.records);

        // A table that cannot change keeps "Neu" off and says why, in German.
        EXPECT_EQ(w->action(QStringLiteral("ACDSNew"))->isEnabled(), c.whyReadOnly == nullptr);
        if (c.whyReadOnly) {
            EXPECT_TRUE(w->TBView.ReadOnlyReason().startsWith(QString::fromUtf8(c.whyReadOnly)))
                << w->TBView.ReadOnlyReason().toStdString();
            EXPECT_TRUE(w->TBView.ReadOnlyReason().contains(QStringLiteral("nur gelesen")))
                << w->TBView.ReadOnlyReason().toStdString();
        } else {
            EXPECT_EQ(w->TBView.ReadOnlyReason(), QString());
            w->action(QStringLiteral("ACDSNew"))->trigger();
            EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
            EXPECT_EQ(w->TBView.State(), engine::dsInsert);
            w->action(QStringLiteral("ACDSaboard"))->trigger();
        }
        EXPECT_EQ(w->TBView.RecordCount(), c.records) << "nothing was added";
        w->action(QStringLiteral("ACClose"))->trigger();
    }
}
