// "Drucken...", "Drucker einrichten..." and the structure dialog's two print
// buttons, worked as a user works them, printing into PDF files that poppler
// reads back.
#include "AppWindows.h"
#include "DataGrid.h"
#include "MainWindow.h"
#include "PdfText.h"
#include "PrintJob.h"
#include "Printers.h"
#include "ProgramTest.h"
#include "SettingsStore.h"
#include "SetupDialog.h"
#include "StructureDialog.h"
#include "TableModel.h"
#include "TestSupport.h"
#include "WindowParts.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

using testsupport::fixture;
using testsupport::pdfPages;

namespace {

class PrintCommandTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        print::resetPrinterState();
        print::setCurrentPrinterName(print::pdfPrinterName());
        print::setPdfOutputFileName(dir.file(QStringLiteral("brisvel.pdf")));
        print::setPdfFileDialogHook([this](const QString &proposed) {
            proposedFiles << proposed;
            return chosenFile;
        });
    }
    void TearDown() override
    {
        print::setPdfFileDialogHook({});
        print::resetPrinterState();
        ProgramTest::TearDown();
    }
    // The settings dialog answers OK with a font size, or Cancel.
    void answerSetup(int result, int fontSize = 10)
    {
        app::TFMsetup::setShowModalHook([this, result, fontSize](app::TFMsetup &d) {
            ++setupShown;
            setupCaption = d.windowTitle();
            openPageVisible = d.isPageVisible(d.TabSheet1);
            currentPage = d.PageControl1->currentWidget();
            d.DRSize->setValue(fontSize);
            if (result == QDialog::Accepted)
                d.Button1Click();
            return result;
        });
    }
    app::TFMsetup &setup() { return *app::AppWindows::instance()->FMsetup; }

    testsupport::ScratchDir dir;
    QString chosenFile;
    QStringList proposedFiles;
    int setupShown = 0;
    QString setupCaption;
    bool openPageVisible = true;
    QWidget *currentPage = nullptr;
};

const QString CarsHeading = QStringLiteral("NAME            YEAR        SEDAN PROD_DATE  CC");

TEST_F(PrintCommandTest, PrintAsksForTheSettingsThenPrintsTheShownTableIntoTheChosenPdf)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    ASSERT_TRUE(w->TBView.Active());
    answerSetup(QDialog::Accepted, 12);
    chosenFile = dir.file(QStringLiteral("autos.pdf"));
    w->action(QStringLiteral("ACPrint"))->trigger();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
    // Print mode: "Drucken" as caption and page, "Öffnen" hidden; afterwards all back.
    EXPECT_EQ(setupShown, 1);
    EXPECT_EQ(setupCaption, QStringLiteral("Drucken"));
    EXPECT_FALSE(openPageVisible);
    EXPECT_EQ(currentPage, setup().TabSheet2);
    EXPECT_EQ(setup().windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_TRUE(setup().isPageVisible(setup().TabSheet1));
    EXPECT_EQ(setup().PageControl1->currentWidget(), setup().TabSheet1);
    // The file is proposed from the table's name in the folder of the last PDF.
    EXPECT_EQ(proposedFiles, QStringList{dir.file(QStringLiteral("CARS.pdf"))});
    const QVector<QStringList> pages = pdfPages(chosenFile);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].mid(0, 4), (QStringList{QStringLiteral("CARS.DBF Seite: 1"), CarsHeading,
                                              QString(57, QLatin1Char('-')),
                                              QStringLiteral("PASSAT                    0 False 01.01.1977       0,000")}));
    EXPECT_EQ(pages[0].size(), 6);
    // Size 12 taken over: lines 120 device pixels apart, 14.4 points.
    const QVector<double> tops = testsupport::pdfLineTops(chosenFile);
    ASSERT_GE(tops.size(), 5);
    EXPECT_NEAR(tops[4] - tops[3], 14.4, 0.05);
    EXPECT_EQ(app::currentSettings().PrintFontSize, 12);
    // Not stored: only the settings command writes "DRSize".
    EXPECT_FALSE(QSettings(QStringLiteral("Halvorin"), QStringLiteral("Brisvel")).contains(QStringLiteral("DRSize")));
    // The walk leaves the table on its last record, the grid and the status bar
    // follow it; the cursor is back.
    EXPECT_EQ(w->TBView.RecNo(), 4);
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"))->text(), QStringLiteral("Satz: 4/4"));
    EXPECT_EQ(w->gridModel()->positionOfRow(w->grid()->currentIndex().row()), 3);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(PrintCommandTest, OnlyTheGridsVisibleColumnsArePrinted)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    w->gridModel()->setVisibleFields({QStringLiteral("CC"), QStringLiteral("NAME")});
    answerSetup(QDialog::Accepted);
    chosenFile = dir.file(QStringLiteral("spalten.pdf"));
    w->action(QStringLiteral("ACPrint"))->trigger();
    const QVector<QStringList> pages = pdfPages(chosenFile);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].value(1), QStringLiteral("CC          NAME"));
    EXPECT_EQ(pages[0].value(4), QStringLiteral("    333,444 POLO"));
}

TEST_F(PrintCommandTest, LandscapeChosenInTheDialogTurnsThePdfPage)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    app::TFMsetup::setShowModalHook([](app::TFMsetup &d) {
        d.RBLandscape->setChecked(true);
        d.Button1Click();
        return int(QDialog::Accepted);
    });
    chosenFile = dir.file(QStringLiteral("quer.pdf"));
    w->action(QStringLiteral("ACPrint"))->trigger();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
    EXPECT_TRUE(testsupport::pdfPageSize(chosenFile).startsWith(QStringLiteral("842 x 595 pts")))
        << testsupport::pdfPageSize(chosenFile).toStdString();
    EXPECT_EQ(pdfPages(chosenFile).value(0).value(1), CarsHeading);
}

TEST_F(PrintCommandTest, CancelInTheSettingsOrTheFileDialogPrintsNothing)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    app::currentSettings().PrintFontSize = 9;
    answerSetup(QDialog::Rejected, 13);
    chosenFile = dir.file(QStringLiteral("nie.pdf"));
    w->action(QStringLiteral("ACPrint"))->trigger();
    EXPECT_EQ(setupShown, 1);
    EXPECT_TRUE(proposedFiles.isEmpty());
    EXPECT_EQ(app::currentSettings().PrintFontSize, 9);
    EXPECT_EQ(setup().windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_EQ(setup().PageControl1->currentWidget(), setup().TabSheet1);
    // OK, then Cancel in the file dialog.
    answerSetup(QDialog::Accepted, 11);
    chosenFile.clear();
    w->action(QStringLiteral("ACPrint"))->trigger();
    EXPECT_EQ(proposedFiles.size(), 1);
    EXPECT_EQ(app::currentSettings().PrintFontSize, 11);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(w->TBView.RecNo(), 1);
}

TEST_F(PrintCommandTest, AnExistingPdfIsReplacedOnlyOnYes)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    chosenFile = dir.file(QStringLiteral("alt.pdf"));
    {
        QFile f(chosenFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("alt");
    }
    answerSetup(QDialog::Accepted);
    answer = app::IDNO;
    w->action(QStringLiteral("ACPrint"))->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Bestätigung"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Datei \"%1\" existiert. Überschreiben?").arg(chosenFile));
    EXPECT_EQ(testsupport::readAll(chosenFile), QByteArray("alt"));
    answer = app::IDYES;
    w->action(QStringLiteral("ACPrint"))->trigger();
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_EQ(pdfPages(chosenFile).value(0).value(0), QStringLiteral("CARS.DBF Seite: 1"));
}

TEST_F(PrintCommandTest, APrinterErrorIsAGermanMessageAndTheCursorComesBack)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    const QString plain = dir.file(QStringLiteral("table.txt"));
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    chosenFile = plain + QStringLiteral("/out.pdf");
    answerSetup(QDialog::Accepted);
    w->action(QStringLiteral("ACPrint"))->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("brisvel ostrel 2005"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Die Datei %1 kann nicht angelegt werden.").arg(chosenFile));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // The window stays usable: the next print works.
    chosenFile = dir.file(QStringLiteral("danach.pdf"));
    w->action(QStringLiteral("ACPrint"))->trigger();
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(pdfPages(chosenFile).value(0).value(0), QStringLiteral("CARS.DBF Seite: 1"));
}

TEST_F(PrintCommandTest, PrinterSetupTakesTheFontSizeOnOkWithoutStoringIt)
{
    app::currentSettings().PrintFontSize = 0;
    answerSetup(QDialog::Rejected, 8);
    w->action(QStringLiteral("ACPrintSetup"))->trigger();
    EXPECT_EQ(setupShown, 1);
    EXPECT_EQ(app::currentSettings().PrintFontSize, 0);
    // The caption stays "Einstellungen" in this mode.
    EXPECT_EQ(setupCaption, QStringLiteral("Einstellungen"));
    EXPECT_FALSE(openPageVisible);
    EXPECT_EQ(currentPage, setup().TabSheet2);
    answerSetup(QDialog::Accepted, 8);
    w->action(QStringLiteral("ACPrintSetup"))->trigger();
    EXPECT_EQ(app::currentSettings().PrintFontSize, 8);
    EXPECT_FALSE(QSettings(QStringLiteral("Halvorin"), QStringLiteral("Brisvel")).contains(QStringLiteral("DRSize")));
    EXPECT_TRUE(setup().isPageVisible(setup().TabSheet1));
    EXPECT_EQ(setup().PageControl1->currentWidget(), setup().TabSheet1);
    EXPECT_TRUE(proposedFiles.isEmpty());
}

TEST_F(PrintCommandTest, StructureDialogPrintsItsGridsAndReachesThePrinterSetup)
{
    const QString table = fixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBF"));
    w->Oeffnen(table);
    ASSERT_TRUE(w->TBView.Active());
    chosenFile = dir.file(QStringLiteral("struktur.pdf"));
    answerSetup(QDialog::Accepted, 14);
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        d.BTPrintsetup->click();
        EXPECT_EQ(setupShown, 1);
        EXPECT_EQ(app::currentSettings().PrintFontSize, 14);
        d.BTPrint->click();
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
    EXPECT_EQ(proposedFiles, QStringList{dir.file(QStringLiteral("CHANGELOG.pdf"))});
    const QVector<QStringList> pages = pdfPages(chosenFile);
    ASSERT_FALSE(pages.isEmpty());
    const QStringList &p1 = pages[0];
    ASSERT_GT(p1.size(), 12);
    EXPECT_EQ(p1[0], QStringLiteral("Tabellenstruktur für CHANGELOG.DBF"));
    EXPECT_EQ(p1[1], QStringLiteral("Datenbank     : ") + w->CurrentDatabaseName);
    EXPECT_EQ(p1[2], QStringLiteral("Tabelle       : CHANGELOG.DBF"));
    EXPECT_EQ(p1[3], QStringLiteral("Satzanzahl    : 3"));
    EXPECT_EQ(p1[7], QStringLiteral("Nr.   Feldname             Feldtyp                 Größe"));
    // 14 fields, then the index list: six tags of changelog.mdx.
    EXPECT_TRUE(p1[9].startsWith(QStringLiteral("1     ID "))) << p1[9].toStdString();
    const int indexAt = 9 + 14;
    ASSERT_GT(p1.size(), indexAt + 8);
    EXPECT_EQ(p1[indexAt], QStringLiteral("Indizes:      : changelog.mdx"));
    EXPECT_EQ(p1[indexAt + 1], QStringLiteral("Nr.   Indexname            Felder               Optionen"));
    EXPECT_EQ(p1.size(), indexAt + 3 + 6);
    // Size 14 taken over: 140 device pixels, 16.8 points between lines.
    const QVector<double> tops = testsupport::pdfLineTops(chosenFile);
    ASSERT_GE(tops.size(), 4);
    EXPECT_NEAR(tops[3] - tops[2], 16.8, 0.05);
}

TEST_F(PrintCommandTest, StructurePrintOnAFreshProfileUsesSizeTenAndWithoutATableAnEmptyHeader)
{
    // "DRSize" never stored: PrintFontSize is 0, and no dialog comes first.
    ASSERT_EQ(app::currentSettings().PrintFontSize, 0);
    chosenFile = dir.file(QStringLiteral("leer.pdf"));
    w->StructureDialogHook = [&](structure::TFMStruktur &d) { d.BTPrint->click(); };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
    const QVector<QStringList> pages = pdfPages(chosenFile);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0], (QStringList{QStringLiteral("Tabellenstruktur für"), QStringLiteral("Datenbank     :"),
                                     QStringLiteral("Tabelle       :"), QStringLiteral("Satzanzahl    :"),
                                     QStringLiteral("Satzgröße     :"), QStringLiteral("Codepage      :"),
                                     QStringLiteral("Sprachtreiber :"),
                                     QStringLiteral("Nr.   Feldname             Feldtyp                 Größe"),
                                     QString(85, QLatin1Char('-'))}));
    const QVector<double> tops = testsupport::pdfLineTops(chosenFile);
    ASSERT_GE(tops.size(), 3);
    EXPECT_NEAR(tops[2] - tops[1], 12.0, 0.05);
}

TEST_F(PrintCommandTest, AStructurePrintErrorLeavesTheDialogOpenAndUsable)
{
    w->Oeffnen(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    const QString plain = dir.file(QStringLiteral("table.txt"));
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    w->StructureDialogHook = [&](structure::TFMStruktur &d) {
        d.show();
        chosenFile = plain + QStringLiteral("/struktur.pdf");
        d.BTPrint->click();
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].caption, QStringLiteral("brisvel ostrel 2005"));
        EXPECT_EQ(boxes[0].text, QStringLiteral("Die Datei %1 kann nicht angelegt werden.").arg(chosenFile));
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(d.isVisible());
        chosenFile = dir.file(QStringLiteral("struktur.pdf"));
        d.BTPrint->click();
        EXPECT_EQ(boxes.size(), 1);
        d.close();
    };
    w->action(QStringLiteral("ACStru"))->trigger();
    EXPECT_EQ(pdfPages(chosenFile).value(0).value(0), QStringLiteral("Tabellenstruktur für CARS.DBF"));
}

TEST_F(PrintCommandTest, TheProposedPdfNameComesFromTheTable)
{
    EXPECT_EQ(print::proposedPdfFile(QStringLiteral("KUNDEN.DBF")), dir.file(QStringLiteral("KUNDEN.pdf")));
    // Worksheets, named ranges and database tables have names that are no file names.
    EXPECT_EQ(print::proposedPdfFile(QStringLiteral("Tabelle1$")), dir.file(QStringLiteral("Tabelle1.pdf")));
    EXPECT_EQ(print::proposedPdfFile(QStringLiteral("Umsätze")), dir.file(QStringLiteral("Umsätze.pdf")));
    EXPECT_EQ(print::proposedPdfFile(QStringLiteral("Preise: \"alt\"")), dir.file(QStringLiteral("Preise alt.pdf")));
    EXPECT_EQ(print::proposedPdfFile(QString()), dir.file(QStringLiteral("Tabelle.pdf")));
}

TEST_F(PrintCommandTest, StructureRowsAreReadByContentWhateverHeadingsTheGridShows)
{
    structure::TFMStruktur dialog(&w->TBView, w);
    int counter = 0;
    dialog.STGStruktur->setRowCount(0);
    structure::TFMStruktur::AddEintrag(dialog.STGStruktur, counter, {"1", "NAME", "Zeichen", "15"});
    structure::TFMStruktur::AddEintrag(dialog.STGStruktur, counter, {"2", "YEAR", "Zahl", "4"});
    EXPECT_EQ(structure::TFMStruktur::listedRows(dialog.STGStruktur),
              (QVector<QStringList>{{"1", "NAME", "Zeichen", "15"}, {"2", "YEAR", "Zahl", "4"}}));
    counter = 0;
    dialog.STGIndex->setRowCount(0);
    structure::TFMStruktur::AddEintrag(dialog.STGIndex, counter, {"Nr", "Indexname", "Felder", "Optionen"});
    structure::TFMStruktur::AddEintrag(dialog.STGIndex, counter, {"2  »", "ID_TAG", "ID", "Unique"});
    EXPECT_EQ(structure::TFMStruktur::listedRows(dialog.STGIndex),
              (QVector<QStringList>{{"2  »", "ID_TAG", "ID", "Unique"}}));
}

} // namespace
