#include "FieldsDelDialog.h"

#include "FieldsDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace structure {

TFMFieldsDel::TFMFieldsDel(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMFieldsDel"));
    setWindowTitle(QStringLiteral("Felder"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral("Feld löschen"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    CBFields = new QComboBox(GroupBox1);
    CBFields->setObjectName(QStringLiteral("CBFields"));
    CBFields->setEditable(true);
    CBFields->setInsertPolicy(QComboBox::NoInsert);
    CBFields->addItems(fieldTypeNames());
    CBFields->setCurrentIndex(-1);
    CBFields->setEditText(QStringLiteral("CBFields"));
    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Name:"), CBFields);

    QHBoxLayout *buttons = forms::okCancelButtons(this, Button1, Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(300, 140);

}

} // namespace structure
