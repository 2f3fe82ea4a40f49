// brisvel: the program. Creates the application's windows in their order and
// runs until the main window closes.
#include "AppWindows.h"
#include "MainWindow.h"
#include "Pictures.h"
#include "ProgramOptions.h"
#include "Translation.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<int> status = app::answerInfoOptions(given, stdout))
        return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brisvel ostrel 2005"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    app::installGermanQtTranslation(app);
    QApplication::setWindowIcon(widgets::brisvelIcon());

    app::AppWindows &windows = app::AppWindows::create();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    windows.FMMain->CommandLine = arguments;
    windows.FMMain->show();
    const int status = app.exec();
    app::AppWindows::destroy();
    return status;
}
