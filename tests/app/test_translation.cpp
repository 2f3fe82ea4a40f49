// Qt's standard dialogs speak German once the program loaded Qt's translation.
#include "AppTestSupport.h"
#include "Translation.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTranslator>
#include <gtest/gtest.h>

TEST(QtTranslation, StandardButtonsAndFileDialogInGerman)
{
    QApplication *application = apptest::app();
    QTranslator *translator = app::installGermanQtTranslation(*application);
    ASSERT_NE(translator, nullptr) << "Qt's German translation is missing (package qt6-translations-l10n)";

    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("Speichern"));

    // Qt's own file dialog, as the program's open and save dialogs show it here.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const auto *lookIn = dialog.findChild<QLabel *>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), QStringLiteral("Suchen in:"));

    QCoreApplication::removeTranslator(translator);
    delete translator;
    QDialogButtonBox english(QDialogButtonBox::Cancel);
    EXPECT_EQ(english.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"))
        << "the German came from the translation";
}
