#include "FilterDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace search {

TFMFilter::TFMFilter(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMFilter"));
    setWindowTitle(QStringLiteral("Filter bestimmen"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral("Filterbedingung"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(340);
    CHBCase = new QCheckBox(QStringLiteral("Groß-/Kleinschreibung beachten"), GroupBox1);
    CHBCase->setObjectName(QStringLiteral("CHBCase"));
    CHBPartial = new QCheckBox(QStringLiteral("Nur exakte Übereinstimmung"), GroupBox1);
    CHBPartial->setObjectName(QStringLiteral("CHBPartial"));
    auto *condition = new QVBoxLayout(GroupBox1);
    condition->addWidget(Edit1);
    auto *options = new QHBoxLayout;
    options->addWidget(CHBCase);
    options->addWidget(CHBPartial);
    options->addStretch(1);
    condition->addLayout(options);

    GroupBox2 = new QGroupBox(QStringLiteral("Felder anzeigen"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    CHLBfields = new QListWidget(GroupBox2);
    CHLBfields->setObjectName(QStringLiteral("CHLBfields"));
    CHLBfields->setFixedHeight(180);
    auto *fields = new QVBoxLayout(GroupBox2);
    fields->addWidget(CHLBfields);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Abbrechen"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("&Filter löschen"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button3, &QPushButton::clicked, this, &TFMFilter::Button3Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TFMFilter::FormActivate()
{
    Edit1->setFocus(Qt::ActiveWindowFocusReason);
    Edit1->selectAll();
}

void TFMFilter::Button3Click()
{
    // Nothing is applied until OK: the expression goes and every field is shown again.
    Edit1->clear();
    for (int i = 0; i < CHLBfields->count(); ++i)
        CHLBfields->item(i)->setCheckState(Qt::Checked);
}

} // namespace search
