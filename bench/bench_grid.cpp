// Measures the main window's grid on a large table: opening it (to the painted
// first screen) and jumping to the last record, and how many cells the grid read.
//   QT_QPA_PLATFORM=offscreen bench_grid TABLE.dbf
#include "AppWindows.h"
#include "DataGrid.h"
#include "MainWindow.h"
#include "SearchDialog.h"
#include "SharedTools.h"
#include "TableModel.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QFile>
#include <cstdio>

// The process's resident memory now and at its peak, in KiB (from /proc).
static qint64 statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(strlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "Aufruf: bench_grid TABELLE.dbf\n");
        return 2;
    }
    QTemporaryDir profile;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
    app::TFMMain *w = app::AppWindows::create().FMMain;
    w->resize(935, 713);
    w->show();
    QCoreApplication::processEvents();

    const qint64 rssBefore = statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    w->Oeffnen(QString::fromLocal8Bit(argv[1]));
    w->grid()->viewport()->repaint();
    const double openMs = double(timer.nsecsElapsed()) / 1e6;
    const qint64 readsOpen = w->gridModel()->cellReads();
    const qint64 rssOpen = statusKiB("VmRSS:");
    const bool countedAtOpen = w->TBView.RecordCountKnown();
    // The count arrives from the background while the window waits for input.
    while (!w->TBView.RecordCountKnown())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    const double countMs = double(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    w->action(QStringLiteral("ACDSlast"))->trigger();
    w->grid()->viewport()->repaint();
    const double lastMs = double(timer.nsecsElapsed()) / 1e6;

    printf("%-42s %10.1f ms (%lld cells read; count %s)\n", "open to painted first screen", openMs,
           static_cast<long long>(readsOpen), countedAtOpen ? "known" : "still being made");
    printf("%-42s %10.1f ms (%lld records; status \"%s\")\n", "record count known, from the open", countMs,
           static_cast<long long>(w->TableRecordCount),
           qPrintable(w->findChild<QLabel *>(QStringLiteral("LBStatusbar1"))->text()));
    printf("%-42s %10.1f ms (%lld cells read)\n", "jump to last record, painted", lastMs,
           static_cast<long long>(w->gridModel()->cellReads() - readsOpen));
    printf("%-42s %10.1f MiB (%.1f MiB added by the open; %d rows in the grid's model)\n", "resident memory after the open",
           double(rssOpen) / 1024, double(rssOpen - rssBefore) / 1024, w->gridModel()->rowCount());
    // A search that matches nothing walks every record once.
    w->action(QStringLiteral("ACDSsearch"))->trigger();
    search::TFMSuchen *dialog = app::AppWindows::instance()->FMSuchen;
    dialog->CBFields[0]->setCurrentIndex(1);
    dialog->Edits[0]->setText(QStringLiteral("Niemand"));
    app::setMessageBoxHook([](const app::MessageBoxRequest &) { return int(app::IDOK); });
    timer.restart();
    dialog->BTSuchen->click();
    printf("%-42s %10.1f ms (ended on record %lld)\n", "search walk over all records, no match",
           double(timer.nsecsElapsed()) / 1e6, static_cast<long long>(w->TBView.RecNo()));
    printf("%-42s %10.1f MiB\n", "peak resident memory (VmHWM)", double(statusKiB("VmHWM:")) / 1024);
    app::AppWindows::destroy();
    return 0;
}
