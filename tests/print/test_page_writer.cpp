// The page writer on a recording canvas: positions, pitch, page breaks, the
// page header and the state it keeps between documents.
#include "EngineError.h"
#include "PageWriter.h"
#include "RecordingCanvas.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace print;

namespace {

class PageWriterTest : public ::testing::Test {
protected:
    void SetUp() override { resetPageWriter(); }
    void TearDown() override { resetPageWriter(); }

    // The callers' usual set-up.
    static void prepare(const QString &title)
    {
        PageWriterState &w = pageWriter();
        w.PrintTitle = title;
        w.PrintHeader1.clear();
        w.PrintHeader2.clear();
        w.PrintTop = 200;
        w.PrintLeft = 100;
    }
};

TEST_F(PageWriterTest, BeginStartsTheDocumentAndPrintsNothing)
{
    RecordingCanvas canvas(6600);
    prepare(QStringLiteral("KUNDEN.DBF"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 12);
    EXPECT_EQ(canvas.begins, 1);
    EXPECT_EQ(canvas.jobName, QStringLiteral("KUNDEN.DBF"));
    EXPECT_TRUE(canvas.lines.isEmpty());
    EXPECT_EQ(canvas.font(), (CanvasFont{QStringLiteral("Courier New"), 12, false}));
    EXPECT_EQ(pageWriter().PrintPageHeight, 6600);
    EXPECT_EQ(pageWriter().PrintLineHeight, 120);
    EXPECT_EQ(pageWriter().PrintY, 200);
    EXPECT_EQ(pageWriter().PageNumber, 1);
    PrintEnd();
    EXPECT_EQ(canvas.ends, 1);
    EXPECT_EQ(pageWriter().Canvas, nullptr);
}

TEST_F(PageWriterTest, SixtyThreeLinePositionsPerPageAtHeight6600)
{
    RecordingCanvas canvas(6600);
    prepare(QStringLiteral("T"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    for (int i = 1; i <= 63; ++i)
        PrintLine(QStringLiteral("Zeile %1").arg(i));
    // Lines at 200, 300, ..., 6400; the one at 6400 moves PrintY to 6500 > 6400.
    const QVector<DrawnLine> first = canvas.onPage(1);
    ASSERT_EQ(first.size(), 63);
    for (int i = 0; i < 63; ++i) {
        EXPECT_EQ(first[i].y, 200 + 100 * i);
        EXPECT_EQ(first[i].x, 100);
    }
    EXPECT_EQ(first.last().text, QStringLiteral("Zeile 63"));
    // The break came at once: page 2 holds its header (title line and a blank line).
    EXPECT_EQ(canvas.pages, 2);
    const QVector<DrawnLine> second = canvas.onPage(2);
    ASSERT_EQ(second.size(), 1);
    EXPECT_EQ(second[0].text, QStringLiteral("T Seite: 2"));
    EXPECT_EQ(second[0].y, 200);
    EXPECT_EQ(pageWriter().PrintY, 400);
    PrintEnd();
}

TEST_F(PageWriterTest, ALineExactlyAtTheLimitStaysOnThePage)
{
    // Height 6500: the limit is 6300; a line drawn at 6200 gives PrintY 6300, not greater.
    RecordingCanvas canvas(6500);
    prepare(QString());
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    for (int i = 0; i < 61; ++i)
        PrintLine(QStringLiteral("x"));
    EXPECT_EQ(canvas.pages, 1);
    EXPECT_EQ(pageWriter().PrintY, 6300);
    PrintLine(QStringLiteral("x")); // drawn at 6300, the last position
    EXPECT_EQ(canvas.onPage(1).last().y, 6300);
    EXPECT_EQ(canvas.pages, 2);
    PrintEnd();
}

TEST_F(PageWriterTest, ADocumentEndingOnAFullPageEndsWithAHeaderOnlyPage)
{
    RecordingCanvas canvas(6600);
    prepare(QStringLiteral("LISTE"));
    pageWriter().PrintHeader1 = QStringLiteral("Kopf");
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    PrintPageHeader(true); // 3 positions: title, header line, blank
    for (int i = 0; i < 60; ++i)
        PrintLine(QStringLiteral("Satz %1").arg(i));
    PrintEnd();
    EXPECT_EQ(canvas.pages, 2);
    EXPECT_EQ(canvas.onPage(1).size(), 62);
    const QVector<DrawnLine> last = canvas.onPage(2);
    ASSERT_EQ(last.size(), 2);
    EXPECT_EQ(last[0].text, QStringLiteral("LISTE Seite: 2"));
    EXPECT_EQ(last[1].text, QStringLiteral("Kopf"));
    EXPECT_TRUE(last[0].font.bold);
    EXPECT_EQ(canvas.ends, 1);
}

TEST_F(PageWriterTest, HeaderPrintsTitleHeadersAndABlankLineInBoldThenRestoresTheStyle)
{
    RecordingCanvas canvas(6600);
    prepare(QStringLiteral("KUNDEN.DBF"));
    pageWriter().PrintHeader1 = QStringLiteral("NAME  ORT   ");
    pageWriter().PrintHeader2 = QStringLiteral("------------");
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    PrintPageHeader(true);
    PrintLine(QStringLiteral("Meier Bonn  "));
    ASSERT_EQ(canvas.lines.size(), 4);
    EXPECT_EQ(canvas.lines[0].text, QStringLiteral("KUNDEN.DBF Seite: 1"));
    EXPECT_EQ(canvas.lines[1].y, 300);
    EXPECT_EQ(canvas.lines[2].y, 400);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(canvas.lines[i].font.bold) << i;
    // The blank line under the header is space, not a drawn line.
    EXPECT_EQ(canvas.lines[3].y, 600);
    EXPECT_FALSE(canvas.lines[3].font.bold);
    EXPECT_EQ(canvas.lines[3].font, (CanvasFont{QStringLiteral("Courier New"), 10, false}));
    EXPECT_TRUE(pageWriter().PrintHeaderBold);
    PrintEnd();
}

TEST_F(PageWriterTest, HeaderWithEmptyTitleStartsWithTheBlankOfSeite)
{
    RecordingCanvas canvas;
    prepare(QString());
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    PrintPageHeader(false);
    PrintEnd();
    ASSERT_EQ(canvas.lines.size(), 1);
    EXPECT_EQ(canvas.lines[0].text, QStringLiteral(" Seite: 1"));
    EXPECT_FALSE(canvas.lines[0].font.bold);
}

TEST_F(PageWriterTest, WithoutAHeaderCallPageTwoTakesTheBoldFlagLeftOver)
{
    // Since program start there was no header call: page 2's header is regular.
    {
        RecordingCanvas canvas(1000); // limit 800: positions 200..800, 7 lines a page
        prepare(QStringLiteral("A"));
        PrintBegin(canvas, QStringLiteral("Courier New"), 10);
        PrintSetFont(QStringLiteral("Courier New"), 10, FontStyle::Bold);
        PrintLine(QStringLiteral("fett"));
        PrintSetFont(QStringLiteral("Courier New"), 10, FontStyle::Regular);
        for (int i = 0; i < 6; ++i)
            PrintLine(QStringLiteral("x"));
        PrintEnd();
        EXPECT_EQ(canvas.onPage(1).first().text, QStringLiteral("fett"));
        ASSERT_EQ(canvas.onPage(2).size(), 1);
        EXPECT_EQ(canvas.onPage(2)[0].text, QStringLiteral("A Seite: 2"));
        EXPECT_FALSE(canvas.onPage(2)[0].font.bold);
    }
    // A bold header of an earlier document makes the next document's headers bold.
    {
        RecordingCanvas canvas(1000);
        prepare(QStringLiteral("B"));
        PrintBegin(canvas, QStringLiteral("Courier New"), 10);
        PrintPageHeader(true);
        PrintEnd();
    }
    RecordingCanvas canvas(1000);
    prepare(QStringLiteral("C"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    for (int i = 0; i < 7; ++i)
        PrintLine(QStringLiteral("y"));
    PrintEnd();
    ASSERT_EQ(canvas.onPage(2).size(), 1);
    EXPECT_EQ(canvas.onPage(2)[0].text, QStringLiteral("C Seite: 2"));
    EXPECT_TRUE(canvas.onPage(2)[0].font.bold);
    // The lines after the header are back in the style before it.
    EXPECT_FALSE(canvas.font().bold);
}

TEST_F(PageWriterTest, HeaderLinesOfAnEarlierDocumentArePrintedAgainUnlessCleared)
{
    {
        RecordingCanvas canvas;
        prepare(QStringLiteral("ERST"));
        pageWriter().PrintHeader1 = QStringLiteral("Spalten");
        pageWriter().PrintHeader2 = QStringLiteral("-------");
        PrintBegin(canvas, QStringLiteral("Courier New"), 10);
        PrintEnd();
    }
    RecordingCanvas canvas;
    pageWriter().PrintTitle = QStringLiteral("ZWEIT");
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    PrintPageHeader(false);
    PrintEnd();
    EXPECT_EQ(canvas.texts(), (QStringList{QStringLiteral("ZWEIT Seite: 1"), QStringLiteral("Spalten"),
                                           QStringLiteral("-------")}));
}

TEST_F(PageWriterTest, BeginResetsOnlyPositionHeightAndPitch)
{
    pageWriter().PrintY = 4711;
    pageWriter().PrintHeaderBold = true;
    pageWriter().PrintLeft = 33;
    pageWriter().PrintTop = 44;
    pageWriter().PrintTitle = QStringLiteral("alt");
    RecordingCanvas canvas(3000);
    PrintBegin(canvas, QStringLiteral("Courier New"), 8);
    EXPECT_EQ(pageWriter().PrintY, 44);
    EXPECT_EQ(pageWriter().PrintPageHeight, 3000);
    EXPECT_EQ(pageWriter().PrintLineHeight, 80);
    EXPECT_TRUE(pageWriter().PrintHeaderBold);
    EXPECT_EQ(pageWriter().PrintLeft, 33);
    EXPECT_EQ(pageWriter().PrintTitle, QStringLiteral("alt"));
    PrintEnd();
}

TEST_F(PageWriterTest, ALaterFontSizeKeepsThePitchOfBegin)
{
    RecordingCanvas canvas;
    prepare(QStringLiteral("T"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    PrintSetFont(QStringLiteral("Arial"), 14, FontStyle::Bold);
    PrintLine(QStringLiteral("a"));
    PrintLine(QStringLiteral("b"));
    PrintEnd();
    EXPECT_EQ(canvas.lines[1].y - canvas.lines[0].y, 100);
    EXPECT_EQ(canvas.lines[0].font, (CanvasFont{QStringLiteral("Arial"), 14, true}));
}

TEST_F(PageWriterTest, AnEmptyLineAdvancesAndCanBreakThePage)
{
    RecordingCanvas canvas(1000);
    prepare(QStringLiteral("T"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    for (int i = 0; i < 6; ++i)
        PrintLine(QStringLiteral("x"));
    EXPECT_EQ(canvas.pages, 1);
    PrintLine(QString());
    EXPECT_EQ(canvas.pages, 2);
    EXPECT_EQ(canvas.lines[6].text, QString());
    EXPECT_EQ(canvas.lines[6].y, 800);
    PrintEnd();
}

TEST_F(PageWriterTest, ALineWiderThanThePageIsDrawnWhole)
{
    RecordingCanvas canvas;
    prepare(QStringLiteral("T"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    const QString wide(500, QLatin1Char('W'));
    PrintLine(wide);
    PrintEnd();
    EXPECT_EQ(canvas.lines[0].text, wide);
}

TEST_F(PageWriterTest, OneDocumentAtATimeAndAnAbortedOneAllowsTheNext)
{
    RecordingCanvas canvas;
    prepare(QStringLiteral("T"));
    PrintBegin(canvas, QStringLiteral("Courier New"), 10);
    RecordingCanvas other;
    EXPECT_THROW(PrintBegin(other, QStringLiteral("Courier New"), 10), engine::EngineError);
    EXPECT_EQ(other.begins, 0);
    PrintAbort();
    EXPECT_THROW(PrintLine(QStringLiteral("x")), engine::EngineError);
    PrintBegin(other, QStringLiteral("Courier New"), 10);
    EXPECT_EQ(other.begins, 1);
    PrintEnd();
}

TEST(PrintFontSize, OutsideFourToFourteenPrintsAtTen)
{
    EXPECT_EQ(effectivePrintFontSize(0), 10);
    EXPECT_EQ(effectivePrintFontSize(3), 10);
    EXPECT_EQ(effectivePrintFontSize(4), 4);
    EXPECT_EQ(effectivePrintFontSize(14), 14);
    EXPECT_EQ(effectivePrintFontSize(15), 10);
    EXPECT_EQ(effectivePrintFontSize(-2), 10);
}

} // namespace
