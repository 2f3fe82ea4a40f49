#include "FieldsDelDialog.h"

#include "FieldsDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>

namespace structure {

TFMFieldsDel::TFMFieldsDel(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMFieldsDel"));
    setWindowTitle(QStringLiteral("Felder"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral("Feld löschen"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    CBFields = fieldTypeBox(GroupBox1);
    CBFields->setEditText(QStringLiteral("CBFields"));
    auto *form = new QFormLayout(GroupBox1);
    form->addRow(QStringLiteral("Name:"), CBFields);

    layOutFieldDialog(this, GroupBox1, Button1, Button2, 140);

}

} // namespace structure
