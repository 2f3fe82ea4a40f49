#include "ActivatingDialog.h"

#include <QHBoxLayout>
#include <QPushButton>

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QShowEvent>

namespace forms {

QHBoxLayout *okCancelButtons(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel)
{
    ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("&Abbrechen"), dialog);
    cancel->setObjectName(QStringLiteral("Button2"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

ActivatingDialog::ActivatingDialog(QWidget *parent, Placement placement, Activation activation)
    : QDialog(parent)
    , m_placement(placement)
    , m_activation(activation)
{
}

void ActivatingDialog::setVisible(bool visible)
{
    if (visible && !isVisible())
        place();
    QDialog::setVisible(visible);
}

void ActivatingDialog::place()
{
    ensurePolished();
    if (layout())
        layout()->activate();
    if (!testAttribute(Qt::WA_Resized))
        adjustSize();

    QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QPoint centre = (m_placement == Placement::ParentCentre && owner && owner->isVisible())
                              ? owner->frameGeometry().center()
                              : available.center();
    QPoint topLeft = centre - QPoint(width() / 2, height() / 2);
    // Keep the title bar on the screen.
    topLeft.setX(qBound(available.left(), topLeft.x(), qMax(available.left(), available.right() - width())));
    topLeft.setY(qBound(available.top(), topLeft.y(), qMax(available.top(), available.bottom() - height())));
    move(topLeft);
}

bool ActivatingDialog::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::WindowActivate:
        // An activation reported after the form was closed again is stale.
        if (isVisible() && (m_activationPending || (m_activation == Activation::EveryActivation && !m_activeRun)))
            runActivation();
        break;
    case QEvent::WindowDeactivate:
        m_activeRun = false;
        break;
    default:
        break;
    }
    return QDialog::event(event);
}

void ActivatingDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    m_activationPending = true;
    m_activeRun = false;
    // Where the window system does not activate the shown form (or not at
    // once), the activation step still runs once the form is on the screen.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_activationPending && isVisible())
                runActivation();
        },
        Qt::QueuedConnection);
}

void ActivatingDialog::hideEvent(QHideEvent *event)
{
    m_activationPending = false;
    m_activeRun = false;
    QDialog::hideEvent(event);
}

void ActivatingDialog::runActivation()
{
    m_activationPending = false;
    m_activeRun = true;
    FormActivate();
    if (AfterActivate)
        AfterActivate();
}

} // namespace forms
