// Message boxes (flags, cuts, the default error box and its full-stop rule),
// the operating-system test and the two string tools.
#include "AppTestSupport.h"
#include "EngineError.h"
#include "SharedTools.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace app;

TEST(StringTools, PadToLength)
{
    EXPECT_EQ(PadToLength(QString(), QLatin1Char('-'), 5), QStringLiteral("-----"));
    EXPECT_EQ(PadToLength(QStringLiteral("Kunden1"), QLatin1Char('-'), 5), QStringLiteral("Kunde"));
    EXPECT_EQ(PadToLength(QStringLiteral("ab"), QLatin1Char('='), 4), QStringLiteral("ab=="));
    EXPECT_EQ(PadToLength(QStringLiteral("abc"), QLatin1Char('='), 3), QStringLiteral("abc"));
    EXPECT_EQ(PadToLength(QStringLiteral("abc"), QLatin1Char('='), 0), QString());
    EXPECT_EQ(PadToLength(QStringLiteral("abc"), QLatin1Char('='), -2), QString());
}

TEST(StringTools, RemoveLastChar)
{
    QString text = QStringLiteral("Straße");
    RemoveLastChar(text);
    EXPECT_EQ(text, QStringLiteral("Straß"));
    text = QStringLiteral("x");
    RemoveLastChar(text);
    EXPECT_EQ(text, QString());
    RemoveLastChar(text);
    EXPECT_EQ(text, QString());
    // A character outside the basic plane goes as a whole.
    text = QStringLiteral("a") + QString::fromUcs4(U"\U0001F600");
    RemoveLastChar(text);
    EXPECT_EQ(text, QStringLiteral("a"));
}

TEST(DefaultErrorBox, FullStopAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(errorBoxText(QStringLiteral("Feld 'NAME' nicht gefunden")),
              QStringLiteral("Feld 'NAME' nicht gefunden."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Datensatz 12")), QStringLiteral("Datensatz 12."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Wirklich?")), QStringLiteral("Wirklich?."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Größe: ü")), QStringLiteral("Größe: ü."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Pfad /tmp/")), QStringLiteral("Pfad /tmp/."));
    // The full stop itself and what sorts before it stay alone.
    EXPECT_EQ(errorBoxText(QStringLiteral("Fertig.")), QStringLiteral("Fertig."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Achtung!")), QStringLiteral("Achtung!"));
    EXPECT_EQ(errorBoxText(QStringLiteral("Wert 'x'")), QStringLiteral("Wert 'x'"));
    EXPECT_EQ(errorBoxText(QStringLiteral("(leer)")), QStringLiteral("(leer)"));
    EXPECT_EQ(errorBoxText(QStringLiteral("Ende ")), QStringLiteral("Ende "));
    EXPECT_EQ(errorBoxText(QStringLiteral("Bereich 1-")), QStringLiteral("Bereich 1-"));
    EXPECT_EQ(errorBoxText(QString()), QString());
}

TEST(DefaultErrorBox, ShowsErrorsWholeUnderTheApplicationTitle)
{
    apptest::BoxRecorder recorder;
    EXPECT_TRUE(RunGuarded([] {}));
    EXPECT_TRUE(recorder.boxes.empty());
    const QString longMessage = QString(600, QLatin1Char('x'));
    EXPECT_FALSE(RunGuarded([&] { throw engine::EngineError(longMessage); }));
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("Größe falsch"); }));
    ASSERT_EQ(recorder.boxes.size(), 2u);
    const MessageBoxRequest &box = recorder.boxes[0];
    EXPECT_EQ(box.caption, QStringLiteral("brisvel ostrel 2005"));
    EXPECT_EQ(box.text, longMessage + QLatin1Char('.')); // not cut to 500
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(recorder.boxes[1].text, QStringLiteral("Größe falsch."));
}

TEST(MessageBox, FlagsGiveButtonsIconAndDefault)
{
    MessageBoxRequest r = messageBoxRequest(QString(), QString(), MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON3);
    EXPECT_EQ(r.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(r.icon, QMessageBox::Warning);
    EXPECT_EQ(r.defaultButton, QMessageBox::Cancel);

    r = messageBoxRequest(QString(), QString(), MB_ABORTRETRYIGNORE | MB_ICONINFORMATION | MB_DEFBUTTON2);
    EXPECT_EQ(r.buttons, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    EXPECT_EQ(r.icon, QMessageBox::Information);
    EXPECT_EQ(r.defaultButton, QMessageBox::Retry);

    // A default button the box does not have falls back to the first.
    r = messageBoxRequest(QString(), QString(), MB_OKCANCEL | MB_DEFBUTTON3);
    EXPECT_EQ(r.icon, QMessageBox::NoIcon);
    EXPECT_EQ(r.defaultButton, QMessageBox::Ok);
}

TEST(MessageBox, ConfirmationAndErrorBoxes)
{
    apptest::BoxRecorder recorder(IDYES);
    EXPECT_TRUE(AskYesNo(QStringLiteral("Datensatz löschen?")));
    recorder.answer = IDNO;
    EXPECT_FALSE(AskYesNo(QStringLiteral("Datensatz löschen?")));
    ShowErrorBox(QStringLiteral("Suchbegriff nicht gefunden"));
    ASSERT_EQ(recorder.boxes.size(), 3u);
    EXPECT_EQ(recorder.boxes[0].caption, QStringLiteral("Bestätigung"));
    EXPECT_EQ(recorder.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(recorder.boxes[0].icon, QMessageBox::Question);
    EXPECT_EQ(recorder.boxes[2].caption, QStringLiteral("Fehler"));
    EXPECT_EQ(recorder.boxes[2].icon, QMessageBox::Critical);
    // The error box has no full-stop rule.
    EXPECT_EQ(recorder.boxes[2].text, QStringLiteral("Suchbegriff nicht gefunden"));
}

TEST(MessageBox, CaptionAndTextAreCutNeverInsideACharacter)
{
    apptest::BoxRecorder recorder;
    const QString smiley = QString::fromUcs4(U"\U0001F600");
    MsgBox(QString(150, QLatin1Char('c')), QString(499, QLatin1Char('t')) + smiley + QStringLiteral("rest"), MB_OK);
    MsgBox(QString(100, QLatin1Char('c')), QString(500, QLatin1Char('t')), MB_OK);
    ASSERT_EQ(recorder.boxes.size(), 2u);
    EXPECT_EQ(recorder.boxes[0].caption, QString(100, QLatin1Char('c')));
    EXPECT_EQ(recorder.boxes[0].text, QString(499, QLatin1Char('t')));
    EXPECT_EQ(recorder.boxes[1].caption.size(), 100);
    EXPECT_EQ(recorder.boxes[1].text.size(), 500);
}

TEST(MessageBox, RealBoxIsApplicationModalWithGermanButtons)
{
    apptest::app();
    QWidget owner;
    owner.show();
    QStringList texts;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        modality = box->windowModality();
        for (QAbstractButton *button : box->buttons())
            texts << button->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(MsgBox(QStringLiteral("Bestätigung"), QStringLiteral("Weiter?"), MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(modality, Qt::ApplicationModal);
    texts.sort();
    EXPECT_EQ(texts, QStringList({QStringLiteral("&Ja"), QStringLiteral("&Nein")}));

    // Closed without a button: Cancel where there is one.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(MsgBox(QStringLiteral("x"), QStringLiteral("y"), MB_OKCANCEL), IDCANCEL);
}

TEST(OperatingSystem, NoTranslucentWindowsOffscreen)
{
    apptest::app();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        GTEST_SKIP() << "runs on the offscreen platform";
    EXPECT_FALSE(IsWindowsXP());
}
