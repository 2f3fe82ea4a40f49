// The printing services (printer choices, current printer and orientation, the
// PDF printer) and the look of menu bar and toolbar.
#include "AppTestSupport.h"
#include "EngineError.h"
#include "Printers.h"
#include "ToolbarSkin.h"

#include <QFile>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace app;

class Printers : public ::testing::Test {
protected:
    void SetUp() override
    {
        apptest::app();
        print::resetPrinterState();
    }
    void TearDown() override
    {
        print::resetPrinterState();
        print::setPrinterSetupHook(nullptr);
    }
};

TEST_F(Printers, ThePdfPrinterIsAlwaysOffered)
{
    const QStringList names = print::printerNames();
    ASSERT_FALSE(names.isEmpty());
    EXPECT_EQ(names.last(), print::pdfPrinterName());
    EXPECT_EQ(names.count(print::pdfPrinterName()), 1);
    EXPECT_EQ(names.size(), QPrinterInfo::availablePrinterNames().size() + 1);
    // The current printer is one of the choices; without a system default it
    // is the PDF printer.
    ASSERT_GE(print::printerIndex(), 0);
    EXPECT_EQ(names.at(print::printerIndex()), print::currentPrinterName());
    if (QPrinterInfo::defaultPrinterName().isEmpty()) {
        EXPECT_EQ(print::currentPrinterName(), print::pdfPrinterName());
    }
}

TEST_F(Printers, AnIndexOutsideTheListIsAnErrorAndChangesNothing)
{
    const QString before = print::currentPrinterName();
    for (int index : {-1, int(print::printerNames().size())}) {
        try {
            print::setPrinterIndex(index);
            ADD_FAILURE() << "index " << index << " accepted";
        } catch (const engine::EngineError &error) {
            EXPECT_EQ(error.message(), QStringLiteral("Druckerindex außerhalb des gültigen Bereichs"));
        }
    }
    EXPECT_EQ(print::currentPrinterName(), before);
}

TEST_F(Printers, PdfPrinterWritesAPdfInTheChosenOrientation)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("liste.pdf"));
    print::setCurrentPrinterName(print::pdfPrinterName());
    print::setPdfOutputFileName(file);
    EXPECT_EQ(print::orientation(), QPageLayout::Portrait);
    print::setOrientation(QPageLayout::Landscape);

    std::unique_ptr<QPrinter> printer = print::createPrinter();
    EXPECT_EQ(printer->outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(printer->resolution(), 600);
    EXPECT_EQ(printer->outputFileName(), file);
    EXPECT_EQ(printer->pageLayout().orientation(), QPageLayout::Landscape);
    const QRect page = printer->pageRect(QPrinter::DevicePixel).toRect();
    EXPECT_GT(page.width(), page.height());
    {
        QPainter painter;
        ASSERT_TRUE(painter.begin(printer.get()));
        painter.drawText(100, 100, QStringLiteral("Kundenliste"));
    }
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");

    // A new start forgets the orientation.
    print::resetPrinterState();
    EXPECT_EQ(print::orientation(), QPageLayout::Portrait);
}

TEST_F(Printers, SetupDialogKeepsAnAcceptedLayoutOnly)
{
    bool accept = false;
    print::setPrinterSetupHook([&accept](QPrinter &printer) {
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setPageSize(QPageSize(QPageSize::A5));
        return accept;
    });
    EXPECT_FALSE(print::runPrinterSetup(nullptr));
    EXPECT_EQ(print::orientation(), QPageLayout::Portrait);
    accept = true;
    EXPECT_TRUE(print::runPrinterSetup(nullptr));
    EXPECT_EQ(print::orientation(), QPageLayout::Landscape);
    EXPECT_EQ(print::createPrinter()->pageLayout().pageSize().id(), QPageSize::A5);
}

TEST(ToolbarSkinLook, ThreeStylesAndTwoColourSetsLookDifferent)
{
    // The plain look is the desktop style's own: no style sheet.
    EXPECT_TRUE(ToolbarSkin::styleSheetFor(ToolbarSkin::stStandard, 1).isEmpty());
    QSet<QString> sheets;
    for (int style : {1, 2})
        for (int colours : {0, 1})
            sheets.insert(ToolbarSkin::styleSheetFor(style, colours));
    EXPECT_EQ(sheets.size(), 4);
    const QString office = ToolbarSkin::styleSheetFor(1, 0);
    const QString windows = ToolbarSkin::styleSheetFor(2, 1);
    EXPECT_TRUE(office.contains(QStringLiteral("#0a246a")));  // Office XP highlight frame
    EXPECT_TRUE(windows.contains(QStringLiteral("#316ac5"))); // Luna blue
    EXPECT_TRUE(windows.contains(QStringLiteral("border-radius: 3px")));
    EXPECT_FALSE(office.contains(QLatin1Char('@')) || windows.contains(QLatin1Char('@')))
        << "placeholder left in a sheet";
    // Values no look stands for are drawn plain / in the Office XP colours.
    EXPECT_TRUE(ToolbarSkin::styleSheetFor(3, 0).isEmpty());
    EXPECT_EQ(ToolbarSkin::styleSheetFor(1, -1), office);
}

TEST(ToolbarSkinLook, RegisteredBarsFollowEveryChange)
{
    apptest::app();
    ToolbarSkin skin;
    QMenuBar menuBar;
    auto *toolBar = new QToolBar;
    skin.registerMenuBar(&menuBar);
    skin.registerToolBar(toolBar);
    EXPECT_EQ(menuBar.styleSheet(), ToolbarSkin::styleSheetFor(1, 0));
    skin.setSkinType(ToolbarSkin::stWindowsXP);
    skin.setColorSet(ToolbarSkin::csWindowsXP);
    EXPECT_EQ(menuBar.styleSheet(), ToolbarSkin::styleSheetFor(2, 1));
    EXPECT_EQ(toolBar->styleSheet(), ToolbarSkin::styleSheetFor(2, 1));
    delete toolBar; // a bar that is gone is left out
    skin.setSkinType(ToolbarSkin::stStandard);
    EXPECT_TRUE(menuBar.styleSheet().isEmpty());
}
