#include "GotoDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace browse {

TFMGoto::TFMGoto(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMGoto"));
    setWindowTitle(QStringLiteral("Gehe zu"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(217, 87);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 4, 113, 76);
    Label1 = new QLabel(QStringLiteral("Datensatz:"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 12, 95, 18);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(12, 34, 85, 24);
    Label1->setBuddy(Edit1);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(132, 12, 77, 27);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Abbrechen"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(132, 48, 77, 27);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TFMGoto::FormActivate()
{
    Edit1->setFocus(Qt::ActiveWindowFocusReason);
    Edit1->selectAll();
}

} // namespace browse
