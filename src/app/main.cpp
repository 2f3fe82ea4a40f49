// brisvel: the program. Until the main window exists it prints the table it is
// given (the whole command line, joined by single blanks, names the file), or
// the bundled sample table when no file is named.
#include "CliTool.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brisvel ostrel 2005"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    QString file = arguments.join(QLatin1Char(' ')).trimmed();
    if (file.isEmpty())
        file = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("samples/kunden.dbf"));
    return cli::run({QStringLiteral("dump"), file}, stdout, stderr);
}
