#include "CliTool.h"

#include <QCoreApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brisvel-cli"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::run(arguments, stdout, stderr);
}
