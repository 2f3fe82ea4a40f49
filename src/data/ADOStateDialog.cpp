#include "ADOStateDialog.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace data {

TFMAdostate::TFMAdostate(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ParentCentre)
{
    setObjectName(QStringLiteral("FMAdostate"));
    setWindowTitle(QStringLiteral("Status Datenbanktreiber"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // Default button for Enter; Esc rejects the dialog, so OK is the cancel button too.
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);
    resize(460, 360);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace data
