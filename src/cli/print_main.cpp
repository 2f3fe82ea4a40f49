// brisvel-print: the print command of brisvel-cli, which hands it such
// command lines; it takes the same arguments and answers as brisvel-cli.
#include "CliTool.h"

#include <QGuiApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    // Printing lays out text with the real fonts, without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brisvel-cli"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::run(arguments, stdout, stderr, &cli::printToPdfFile);
}
