#include "CliTool.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>

#include <memory>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    std::unique_ptr<QCoreApplication> app;
    if (cli::needsGuiApplication(arguments)) {
        // Printing lays out text with the real fonts, without a display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("brisvel-cli"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::run(arguments, stdout, stderr);
}
