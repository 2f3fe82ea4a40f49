#include "ADOStateDialog.h"

#include "DriverStatus.h"

#include <QTextCursor>

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

void TFMAdostate::setSource(engine::Connection *connection, engine::TableDataset *dataset)
{
    m_connection = connection;
    m_dataset = dataset;
}

void TFMAdostate::FormActivate()
{
    Memo1->hide();
    Memo1->clear();
    if (m_connection && m_dataset)
        Memo1->setPlainText(driverStatusLines(*m_connection, *m_dataset).join(QLatin1Char('\n')));
    QTextCursor cursor = Memo1->textCursor();
    cursor.movePosition(QTextCursor::Start);
    Memo1->setTextCursor(cursor);
    Memo1->show();
}

} // namespace data
