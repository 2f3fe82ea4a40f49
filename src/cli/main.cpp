#include "CliTool.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Hands a print command line to brisvel-print, which has the GUI libraries
// this program does without; its output and exit status are the user's.
int runPrintProgram(char *argv[])
{
    const QString self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    const QString program = cli::printProgramPath(QFileInfo(self).absolutePath());
    if (!program.isEmpty()) {
        const QByteArray path = QFile::encodeName(program);
        execv(path.constData(), argv);
    }
    const QByteArray message =
        (program.isEmpty() ? QStringLiteral("brisvel-cli: Drucken braucht das Programm brisvel-print, das neben "
                                            "brisvel-cli oder in ../libexec/brisvel fehlt.\n")
                           : QStringLiteral("brisvel-cli: %1 lässt sich nicht starten: %2\n")
                                 .arg(program, QString::fromLocal8Bit(strerror(errno))))
            .toUtf8();
    fwrite(message.constData(), 1, size_t(message.size()), stderr);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (cli::isPrintCommand(arguments))
        return runPrintProgram(argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brisvel-cli"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::run(arguments, stdout, stderr);
}
