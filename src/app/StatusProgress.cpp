#include "StatusProgress.h"

#include <QLabel>

namespace app {

QString progressText(const QString &task, qint64 done, qint64 total)
{
    if (total <= 0)
        return QStringLiteral("%1: %2 Datensätze").arg(task).arg(done);
    return QStringLiteral("%1: %2 %").arg(task).arg(engine::percentOf(done, total));
}

StatusProgress::StatusProgress(QLabel *field, QWidget *panel, QString task)
    : m_field(field), m_panel(panel), m_task(std::move(task)), m_before(field ? field->text() : QString())
{
}

StatusProgress::~StatusProgress()
{
    // The work may have set the field itself (a table opened anew): that stays.
    if (!m_shown || !m_field || m_field->text() != m_last)
        return;
    m_field->setText(m_before);
    m_panel->repaint();
}

void StatusProgress::progress(qint64 done, qint64 total)
{
    if (!m_field)
        return;
    m_shown = true;
    m_last = progressText(m_task, done, total);
    m_field->setText(m_last);
    // Only the panel: processing events here would let queued input act mid-way.
    m_panel->repaint();
}

} // namespace app
