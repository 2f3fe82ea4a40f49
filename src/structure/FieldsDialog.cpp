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

QComboBox *fieldTypeBox(QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("CBFields"));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(fieldTypeNames());
    box->setCurrentIndex(-1);
    return box;
}

void layOutFieldDialog(QDialog *dialog, QGroupBox *box, QPushButton *&ok, QPushButton *&cancel, int height)
{
    QHBoxLayout *buttons = forms::okCancelButtons(dialog, ok, cancel);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(box);
    layout->addStretch(1);
    layout->addLayout(buttons);
    dialog->resize(300, height);
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
    CBFields = fieldTypeBox(GroupBox1);
    EDSize = new QLineEdit(GroupBox1);
    EDSize->setObjectName(QStringLiteral("EDSize"));
    EDDez = new QLineEdit(GroupBox1);
    EDDez->setObjectName(QStringLiteral("EDDez"));

    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Name:"), EDName);
    form->addRow(QStringLiteral("Typ:"), CBFields);
    form->addRow(QStringLiteral("Größe:"), EDSize);
    form->addRow(QStringLiteral("Dezimal:"), EDDez);

    layOutFieldDialog(this, GroupBox1, Button1, Button2, 220);

}

} // namespace structure
