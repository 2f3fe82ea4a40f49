#include "SearchDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace search {

TFMSuchen::TFMSuchen(QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ScreenCentre)
{
    setObjectName(QStringLiteral("FMSuchen"));
    setWindowTitle(QStringLiteral("Suchen"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(false);

    GroupBox1 = new QGroupBox(QStringLiteral("Suchen"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *rows = new QGridLayout(GroupBox1);
    rows->setColumnMinimumWidth(0, 60);
    for (int r = 0; r < RowCount; ++r) {
        const QString number = QString::number(r + 1);
        if (r > 0) {
            auto *joiner = new QComboBox(GroupBox1);
            joiner->setObjectName(QStringLiteral("CBOp") + number);
            joiner->addItems({QString(), QStringLiteral("und"), QStringLiteral("oder")});
            joiner->setCurrentIndex(-1);
            joiner->setFixedWidth(60);
            CBOp[r] = joiner;
            rows->addWidget(joiner, r, 0);
        }
        CBFields[r] = new QComboBox(GroupBox1);
        CBFields[r]->setObjectName(QStringLiteral("CBFields") + number);
        CBFields[r]->setMinimumContentsLength(16);
        CBFields[r]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        Labels[r] = new QLabel(QStringLiteral("gleich"), GroupBox1);
        Labels[r]->setObjectName(QStringLiteral("Label") + number);
        Edits[r] = new QLineEdit(GroupBox1);
        Edits[r]->setObjectName(QStringLiteral("Edit") + number);
        Edits[r]->setMinimumWidth(140);
        rows->addWidget(CBFields[r], r, 1);
        rows->addWidget(Labels[r], r, 2);
        rows->addWidget(Edits[r], r, 3);
    }

    GroupBox2 = new QGroupBox(this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    CHBCaseSensitive = new QCheckBox(QStringLiteral("Groß/Kleinschreibung beachten"), GroupBox2);
    CHBCaseSensitive->setObjectName(QStringLiteral("CHBCaseSensitive"));
    ChBExact = new QCheckBox(QStringLiteral("Nur exakte Übereinstimmung"), GroupBox2);
    ChBExact->setObjectName(QStringLiteral("ChBExact"));
    auto *options = new QHBoxLayout(GroupBox2);
    options->addWidget(CHBCaseSensitive);
    options->addWidget(ChBExact);
    options->addStretch(1);

    BTSuchen = new QPushButton(QStringLiteral("&Suchen"), this);
    BTSuchen->setObjectName(QStringLiteral("BTSuchen"));
    BTSuchen->setDefault(true);
    BTSuchenNext = new QPushButton(QStringLiteral("&nächsten Suchen"), this);
    BTSuchenNext->setObjectName(QStringLiteral("BTSuchenNext"));
    BTAbbrechen = new QPushButton(QStringLiteral("&Abbrechen"), this);
    BTAbbrechen->setObjectName(QStringLiteral("BTAbbrechen"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BTSuchen);
    buttons->addWidget(BTSuchenNext);
    buttons->addWidget(BTAbbrechen);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Field 1, value 1, joiner 2, field 2, value 2, joiner 3, ... value 6,
    // the options, then the buttons.
    QList<QWidget *> order;
    for (int r = 0; r < RowCount; ++r) {
        if (CBOp[r])
            order << CBOp[r];
        order << CBFields[r] << Edits[r];
    }
    order << CHBCaseSensitive << ChBExact << BTSuchen << BTSuchenNext << BTAbbrechen;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order.at(i), order.at(i + 1));
}

} // namespace search
