#include "CliPrint.h"

#include <QDir>
#include <QFileInfo>

namespace cli {

QString printProgramPath(const QString &cliDirectory)
{
    const QDir here(cliDirectory);
    for (const QString &candidate : {here.filePath(QStringLiteral("brisvel-print")),
                                     here.filePath(QStringLiteral("../libexec/brisvel/brisvel-print"))}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

} // namespace cli
