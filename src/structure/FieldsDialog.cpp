#include "FieldsDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace structure {

QStringList fieldTypeNames()
{
    return {QStringLiteral("Zeichen"), QStringLiteral("Gleitkomma"), QStringLiteral("Numerisch"),
            QStringLiteral("Datum"),   QStringLiteral("Logisch"),    QStringLiteral("Memo")};
}

TFMFields::TFMFields(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMFields"));
    setWindowTitle(QStringLiteral("Felder"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral("Neues Feld"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    EDName = new QLineEdit(GroupBox1);
    EDName->setObjectName(QStringLiteral("EDName"));
    CBFields = new QComboBox(GroupBox1);
    CBFields->setObjectName(QStringLiteral("CBFields"));
    CBFields->setEditable(true);
    CBFields->setInsertPolicy(QComboBox::NoInsert);
    CBFields->addItems(fieldTypeNames());
    CBFields->setCurrentIndex(-1);
    EDSize = new QLineEdit(GroupBox1);
    EDSize->setObjectName(QStringLiteral("EDSize"));
    EDDez = new QLineEdit(GroupBox1);
    EDDez->setObjectName(QStringLiteral("EDDez"));

    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Name:"), EDName);
    form->addRow(QStringLiteral("Typ:"), CBFields);
    form->addRow(QStringLiteral("Größe:"), EDSize);
    form->addRow(QStringLiteral("Dezimal:"), EDDez);

    QHBoxLayout *buttons = forms::okCancelButtons(this, Button1, Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(300, 220);

}

} // namespace structure
