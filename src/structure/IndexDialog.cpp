#include "IndexDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace structure {

TFMIndex::TFMIndex(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMIndex"));
    setWindowTitle(QStringLiteral("Index"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral("Neuer Index"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(220);
    Edit2 = new QLineEdit(GroupBox1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setToolTip(QStringLiteral("Feldnamen können mit ';' getrennt werden"));
    auto check = [this](const QString &text, const char *name) {
        auto *box = new QCheckBox(text, GroupBox1);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    };
    CHBPrim = check(QStringLiteral("Primärindex"), "CHBPrim");
    CHBUniq = check(QStringLiteral("Unique"), "CHBUniq");
    CHBDesc = check(QStringLiteral("Absteigend"), "CHBDesc");
    CHBCase = check(QStringLiteral("Groß/Kleinschr. nicht berücksichtigen"), "CHBCase");
    CHBExpr = check(QStringLiteral("Ausdruck"), "CHBExpr");

    auto label = [this](const QString &text, const char *name, QWidget *buddy) {
        auto *l = new QLabel(text, GroupBox1);
        l->setObjectName(QString::fromLatin1(name));
        l->setBuddy(buddy);
        return l;
    };
    auto *grid = new QGridLayout(GroupBox1);
    grid->addWidget(label(QStringLiteral("Name:"), "Label1", Edit1), 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(label(QStringLiteral("Felder:"), "Label2", Edit2), 1, 0);
    grid->addWidget(Edit2, 1, 1);
    grid->addWidget(label(QStringLiteral("Optionen:"), "Label3", CHBPrim), 2, 0, Qt::AlignTop);
    auto *options = new QVBoxLayout;
    for (QCheckBox *box : {CHBPrim, CHBUniq, CHBDesc, CHBCase, CHBExpr})
        options->addWidget(box);
    grid->addLayout(options, 2, 1);

    QHBoxLayout *buttons = forms::okCancelButtons(this, Button1, Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

}

void TFMIndex::FormActivate()
{
    Edit1->clear();
    Edit2->clear();
    for (QCheckBox *box : {CHBPrim, CHBUniq, CHBCase, CHBExpr, CHBDesc})
        box->setChecked(false);
    Edit1->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace structure
