// Progress of a long export in the status panel: painted while the work runs,
// the field's text back afterwards, and no queued click acting in between.
#include "Progress.h"
#include "ProgramTest.h"
#include "StatusProgress.h"
#include "TestSupport.h"

#include <QAction>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

using testsupport::ScratchDir;

namespace {

// The texts a label had each time it was painted.
struct PaintLog : QObject {
    QStringList texts;
    std::function<void()> onPaint;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            texts << static_cast<QLabel *>(watched)->text();
            if (onPaint)
                onPaint();
        }
        return false;
    }
};

} // namespace

TEST(StatusProgressText, PercentOrCount)
{
    EXPECT_EQ(app::progressText(QStringLiteral("Export"), 45, 100), QStringLiteral("Export: 45 %"));
    EXPECT_EQ(app::progressText(QStringLiteral("Druck"), 2000000, 2000000), QStringLiteral("Druck: 100 %"));
    EXPECT_EQ(app::progressText(QStringLiteral("Suche"), 1234, 0), QStringLiteral("Suche: 1234 Datensätze"));
}

TEST_F(ProgramTest, LongExportShowsProgressInTheStatusPanelAndLetsNoClickIn)
{
    ScratchDir dir;
    const QString table = dir.file(QStringLiteral("gross.dbf"));
    ASSERT_TRUE(testsupport::makeGeneratedTable(table, 20000));
    w->resize(935, 713);
    w->show();
    w->Oeffnen(table);
    ASSERT_EQ(w->TableRecordCount, 20000);
    QCoreApplication::processEvents();

    auto *field = w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"));
    ASSERT_NE(field, nullptr);
    const QString before = field->text();
    PaintLog log;
    field->installEventFilter(&log);

    bool exporting = false;
    int clicks = 0;
    int clicksDuringExport = 0;
    auto *button = new QPushButton(QStringLiteral("X"), w);
    button->setGeometry(400, 300, 60, 20);
    button->show();
    QObject::connect(button, &QPushButton::clicked, [&] {
        ++clicks;
        if (exporting)
            ++clicksDuringExport;
    });
    // A click made while the progress shows: it waits in the queue.
    log.onPaint = [&] {
        if (exporting || !field->text().startsWith(QStringLiteral("Export:")))
            return;
        exporting = true;
        const QPointF inside(10, 10);
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, inside, button->mapToGlobal(inside),
                                                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, inside, button->mapToGlobal(inside),
                                                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    };

    const engine::ProgressTiming timing = engine::progressTiming();
    engine::setProgressTiming({0, 20});
    w->SaveDialogHook = [&] { return dir.file(QStringLiteral("kopie.csv")); };
    log.texts.clear();
    w->action(QStringLiteral("ACSaveAs"))->trigger();
    engine::setProgressTiming(timing);
    EXPECT_EQ(w->KADOopen1.RowsExported(), 20000);
    EXPECT_TRUE(boxes.isEmpty());

    QStringList shown = log.texts.filter(QRegularExpression(QStringLiteral("^Export: \\d+ %$")));
    ASSERT_GE(shown.size(), 2) << log.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(shown.first(), QStringLiteral("Export: 0 %"));
    EXPECT_EQ(shown.last(), QStringLiteral("Export: 100 %"));
    int previous = -1;
    for (const QString &text : shown) {
        const int percent = text.section(QLatin1Char(' '), 1, 1).toInt();
        EXPECT_GE(percent, previous) << "progress never goes back";
        previous = percent;
    }
    EXPECT_EQ(field->text(), before) << "the field's text comes back";
    ASSERT_TRUE(exporting);
    EXPECT_EQ(clicksDuringExport, 0);
    EXPECT_EQ(clicks, 0);

    exporting = false;
    QCoreApplication::processEvents();
    EXPECT_EQ(clicks, 1) << "the queued click acts once the export is through";
    field->removeEventFilter(&log);
}
