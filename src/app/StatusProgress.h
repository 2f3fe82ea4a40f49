#pragma once
// Progress of long work in a status field, beside the wait cursor. The work
// runs on the window's thread with no event processing (no click may act in
// the middle of an export or a print), so the field is painted at once with
// its panel alone; its text comes back when the work ends, however it ends.
#include "Progress.h"

#include <QString>

class QLabel;
class QWidget;

namespace app {

// "Export: 45 %"; with no known total the count of records instead.
QString progressText(const QString &task, qint64 done, qint64 total);

class StatusProgress : public engine::ProgressObserver {
public:
    // field lies on panel; task names the work ("Export", "Filter", ...).
    StatusProgress(QLabel *field, QWidget *panel, QString task);
    ~StatusProgress() override;
    StatusProgress(const StatusProgress &) = delete;
    StatusProgress &operator=(const StatusProgress &) = delete;

    void progress(qint64 done, qint64 total) override;

private:
    QLabel *m_field;
    QWidget *m_panel;
    QString m_task;
    QString m_before;
    QString m_last;
    bool m_shown = false;
    engine::ProgressScope m_scope{this};
};

} // namespace app
