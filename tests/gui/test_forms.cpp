// The forms created at program start: captions, controls by name, where they
// appear, and their activation steps.
#include "ADOStateDialog.h"
#include "FieldsDelDialog.h"
#include "FieldsDialog.h"
#include "FilterDialog.h"
#include "GotoDialog.h"
#include "GuiTestSupport.h"
#include "IndexDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

QStringList items(const QComboBox *box)
{
    QStringList result;
    for (int i = 0; i < box->count(); ++i)
        result << box->itemText(i);
    return result;
}

template <typename W>
W *child(const QWidget &form, const QString &name)
{
    auto *widget = form.findChild<W *>(name);
    EXPECT_NE(widget, nullptr) << form.objectName().toStdString() << " has no " << name.toStdString();
    return widget;
}

QString textOf(QWidget *widget)
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    return QString();
}

// Shows the form modally; work runs once it is active, then the form is closed
// with the given button.
int runModal(forms::ActivatingDialog &form, const std::function<void()> &work, QAbstractButton *close)
{
    form.AfterActivate = [&] {
        work();
        close->click();
    };
    const int result = form.exec();
    form.AfterActivate = nullptr;
    return result;
}

class Forms : public ::testing::Test {
protected:
    void SetUp() override { guiApp(); }
};

TEST_F(Forms, GotoDialogIsSmallFixedAndSelectsItsLastEntryOnEveryShowing)
{
    browse::TFMGoto goto_;
    EXPECT_EQ(goto_.windowTitle(), QStringLiteral("Gehe zu"));
    EXPECT_EQ(goto_.size(), QSize(217, 87));
    EXPECT_EQ(goto_.minimumSize(), goto_.maximumSize());
    EXPECT_EQ(child<QLineEdit>(goto_, "Edit1")->width(), 85);
    EXPECT_EQ(goto_.Edit1->maxLength(), 32767); // no limit of its own
    EXPECT_EQ(child<QLabel>(goto_, "Label1")->parentWidget(), goto_.GroupBox1);
    EXPECT_TRUE(goto_.Button1->isDefault());
    EXPECT_EQ(goto_.Button2->text(), QStringLiteral("&Abbrechen"));

    goto_.setWindowTitle(QStringLiteral("Bewegen um"));
    goto_.Edit1->setText(QStringLiteral("42"));
    goto_.Edit1->setCursorPosition(1);
    QString selected;
    bool focused = false;
    EXPECT_EQ(runModal(goto_, [&] {
                  selected = goto_.Edit1->selectedText();
                  focused = goto_.focusWidget() == goto_.Edit1;
                  goto_.Edit1->setText(QStringLiteral("-3")); // the user types
              }, goto_.Button1),
              QDialog::Accepted);
    EXPECT_EQ(selected, QStringLiteral("42"));
    EXPECT_TRUE(focused);

    // The next use shows the last entry again, selected; Abbrechen cancels.
    EXPECT_EQ(runModal(goto_, [&] { selected = goto_.Edit1->selectedText(); }, goto_.Button2), QDialog::Rejected);
    EXPECT_EQ(selected, QStringLiteral("-3"));

    // Centred on the screen (up to the window frame).
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    int runs = 0;
    runModal(goto_, [&] {
        ++runs;
        EXPECT_LE((goto_.frameGeometry().center() - screen.center()).manhattanLength(), 8);
    }, goto_.Button2);
    EXPECT_EQ(runs, 1);
}

TEST_F(Forms, SearchDialogHasSixRowsTwoOptionsThreeButtonsAndStaysOnTop)
{
    search::TFMSuchen form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Suchen"));
    EXPECT_FALSE(form.isModal());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(child<QGroupBox>(form, "GroupBox1")->title(), QStringLiteral("Suchen"));
    EXPECT_EQ(form.findChild<QComboBox *>(QStringLiteral("CBOp1")), nullptr);
    for (int r = 1; r <= 6; ++r) {
        SCOPED_TRACE(r);
        const QString n = QString::number(r);
        EXPECT_EQ(child<QComboBox>(form, QStringLiteral("CBFields") + n)->count(), 0);
        EXPECT_EQ(child<QLabel>(form, QStringLiteral("Label") + n)->text(), QStringLiteral("gleich"));
        EXPECT_EQ(child<QLineEdit>(form, QStringLiteral("Edit") + n)->text(), QString());
        if (r > 1) {
            auto *joiner = child<QComboBox>(form, QStringLiteral("CBOp") + n);
            EXPECT_EQ(items(joiner), (QStringList{QString(), "und", "oder"}));
            EXPECT_EQ(joiner, form.CBOp[r - 1]);
        }
    }
    EXPECT_EQ(child<QCheckBox>(form, "CHBCaseSensitive")->text(), QStringLiteral("Groß/Kleinschreibung beachten"));
    EXPECT_EQ(child<QCheckBox>(form, "ChBExact")->text(), QStringLiteral("Nur exakte Übereinstimmung"));
    EXPECT_FALSE(form.CHBCaseSensitive->isChecked() || form.ChBExact->isChecked());
    EXPECT_EQ(child<QPushButton>(form, "BTSuchen")->text(), QStringLiteral("&Suchen"));
    EXPECT_TRUE(form.BTSuchen->isDefault());
    EXPECT_EQ(child<QPushButton>(form, "BTSuchenNext")->text(), QStringLiteral("&nächsten Suchen"));
    EXPECT_EQ(child<QPushButton>(form, "BTAbbrechen")->text(), QStringLiteral("&Abbrechen"));

    // Tab order: field 1, value 1, joiner 2, field 2, value 2, ..., options, buttons.
    QStringList expected{"CBFields1", "Edit1"};
    for (int r = 2; r <= 6; ++r)
        expected << QStringLiteral("CBOp%1").arg(r) << QStringLiteral("CBFields%1").arg(r)
                 << QStringLiteral("Edit%1").arg(r);
    expected << "CHBCaseSensitive" << "ChBExact" << "BTSuchen" << "BTSuchenNext" << "BTAbbrechen";
    QStringList chain;
    QWidget *w = form.CBFields[0];
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != form.CBFields[0] && chain.size() < 40);
    chain.removeAll(QString()); // line edits inside editable boxes, none here
    EXPECT_EQ(chain, expected);
}

TEST_F(Forms, FilterDialogControlsAndActivationSelectsTheExpression)
{
    search::TFMFilter form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Filter bestimmen"));
    EXPECT_EQ(child<QLineEdit>(form, "Edit1")->parentWidget(), child<QGroupBox>(form, "GroupBox1"));
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral("Filterbedingung"));
    EXPECT_EQ(child<QCheckBox>(form, "CHBCase")->text(), QStringLiteral("Groß-/Kleinschreibung beachten"));
    EXPECT_EQ(child<QCheckBox>(form, "CHBPartial")->text(), QStringLiteral("Nur exakte Übereinstimmung"));
    EXPECT_EQ(child<QListWidget>(form, "CHLBfields")->parentWidget(), child<QGroupBox>(form, "GroupBox2"));
    EXPECT_EQ(form.GroupBox2->title(), QStringLiteral("Felder anzeigen"));
    EXPECT_EQ(textOf(child<QPushButton>(form, "Button1")), QStringLiteral("OK"));
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_EQ(textOf(child<QPushButton>(form, "Button2")), QStringLiteral("&Abbrechen"));
    EXPECT_EQ(textOf(child<QPushButton>(form, "Button3")), QStringLiteral("&Filter löschen"));

    form.Edit1->setText(QStringLiteral("NAME = 'A*'"));
    form.Edit1->deselect();
    QString selected;
    EXPECT_EQ(runModal(form, [&] { selected = form.Edit1->selectedText(); }, form.Button1), QDialog::Accepted);
    EXPECT_EQ(selected, QStringLiteral("NAME = 'A*'"));
    EXPECT_EQ(runModal(form, [] {}, form.Button2), QDialog::Rejected);
}

TEST_F(Forms, IndexDialogIsEmptiedOnEveryActivation)
{
    structure::TFMIndex form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Index"));
    EXPECT_EQ(child<QGroupBox>(form, "GroupBox1")->title(), QStringLiteral("Neuer Index"));
    EXPECT_EQ(child<QLineEdit>(form, "Edit2")->toolTip(), QStringLiteral("Feldnamen können mit ';' getrennt werden"));
    const std::pair<const char *, const char *> boxes[] = {{"CHBPrim", "Primärindex"},
                                                           {"CHBUniq", "Unique"},
                                                           {"CHBDesc", "Absteigend"},
                                                           {"CHBCase", "Groß/Kleinschr. nicht berücksichtigen"},
                                                           {"CHBExpr", "Ausdruck"}};
    for (const auto &[name, text] : boxes)
        EXPECT_EQ(child<QCheckBox>(form, name)->text(), QString::fromUtf8(text));
    EXPECT_TRUE(child<QPushButton>(form, "Button1")->isDefault());
    EXPECT_EQ(child<QPushButton>(form, "Button2")->text(), QStringLiteral("&Abbrechen"));

    const auto fill = [&] {
        form.Edit1->setText(QStringLiteral("NAMEN"));
        form.Edit2->setText(QStringLiteral("NAME;VORNAME"));
        for (const auto &[name, text] : boxes)
            form.findChild<QCheckBox *>(QString::fromLatin1(name))->setChecked(true);
    };
    QStringList state;
    const auto look = [&] {
        state = QStringList{form.Edit1->text(), form.Edit2->text()};
        for (const auto &[name, text] : boxes)
            state << (form.findChild<QCheckBox *>(QString::fromLatin1(name))->isChecked() ? name : "");
        state << (form.focusWidget() == form.Edit1 ? "focus" : "");
    };
    fill();
    runModal(form, look, form.Button1);
    EXPECT_EQ(state, (QStringList{"", "", "", "", "", "", "", "focus"}));
    runModal(form, fill, form.Button2); // entries of one showing do not survive to the next
    runModal(form, look, form.Button2);
    EXPECT_EQ(state, (QStringList{"", "", "", "", "", "", "", "focus"}));
}

TEST_F(Forms, FieldDialogsOfferTheSixTypes)
{
    const QStringList types{"Zeichen", "Gleitkomma", "Numerisch", "Datum", "Logisch", "Memo"};
    structure::TFMFields fields;
    EXPECT_EQ(fields.windowTitle(), QStringLiteral("Felder"));
    EXPECT_EQ(child<QGroupBox>(fields, "GroupBox1")->title(), QStringLiteral("Neues Feld"));
    for (const char *name : {"EDName", "EDSize", "EDDez"})
        child<QLineEdit>(fields, name);
    EXPECT_EQ(items(child<QComboBox>(fields, "CBFields")), types);
    EXPECT_NE(fields.minimumSize(), fields.maximumSize()); // resizable
    EXPECT_TRUE(fields.Button1->isDefault());

    structure::TFMFieldsDel del;
    EXPECT_EQ(del.windowTitle(), QStringLiteral("Felder"));
    EXPECT_EQ(child<QGroupBox>(del, "GroupBox1")->title(), QStringLiteral("Feld löschen"));
    EXPECT_EQ(items(child<QComboBox>(del, "CBFields")), types);
    EXPECT_EQ(del.CBFields->currentText(), QStringLiteral("CBFields"));
    EXPECT_EQ(del.Button2->text(), QStringLiteral("&Abbrechen"));
}

TEST_F(Forms, DriverStatusFormIsCentredOnItsParentWithAReadOnlyText)
{
    QWidget mainWindow;
    mainWindow.setGeometry(40, 60, 700, 500);
    mainWindow.show();
    data::TFMAdostate form(&mainWindow);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Status Datenbanktreiber"));
    auto *memo = child<QPlainTextEdit>(form, "Memo1");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(form.Button1->isDefault());
    QPoint offset;
    EXPECT_EQ(runModal(form, [&] { offset = form.frameGeometry().center() - mainWindow.frameGeometry().center(); },
                       form.Button1),
              QDialog::Accepted);
    EXPECT_LE(offset.manhattanLength(), 8);
}

// A form that counts its activation steps.
class Counting : public forms::ActivatingDialog {
public:
    using forms::ActivatingDialog::ActivatingDialog;
    int runs = 0;
    void FormActivate() override { ++runs; }
    void windowEvent(QEvent::Type type)
    {
        QEvent event(type);
        QCoreApplication::sendEvent(this, &event);
    }
};

TEST_F(Forms, ActivationRunsOncePerShowingOrOnEveryActivationAsTheFormAsks)
{
    Counting every(nullptr, forms::ActivatingDialog::Placement::ScreenCentre,
                   forms::ActivatingDialog::Activation::EveryActivation);
    Counting once(nullptr, forms::ActivatingDialog::Placement::ScreenCentre,
                  forms::ActivatingDialog::Activation::OncePerShow);
    for (Counting *form : {&every, &once}) {
        form->show();
        QCoreApplication::processEvents();
        form->windowEvent(QEvent::WindowActivate); // the same activation again: no new run
        EXPECT_EQ(form->runs, 1);
        form->windowEvent(QEvent::WindowDeactivate); // e.g. a file dialog of its own
        form->windowEvent(QEvent::WindowActivate);
        form->hide();
        form->show();
        QCoreApplication::processEvents();
        form->hide();
    }
    EXPECT_EQ(every.runs, 3);
    EXPECT_EQ(once.runs, 2);
}

} // namespace
