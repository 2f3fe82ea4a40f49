#include "ProgramOptions.h"

#include "VersionResource.h"

namespace app {

QString programUsage()
{
    return QStringLiteral(
        "Aufruf: brisvel [DATEI]\n"
        "Zeigt die Tabelle DATEI (.dbf, .db, .mdb, .xls, .htm, .csv) zum Ansehen und Bearbeiten.\n"
        "Alle Parameter zusammen, durch je ein Leerzeichen getrennt, nennen die Datei; ein Name mit\n"
        "Leerzeichen braucht also keine Anführungszeichen. Die Form ordner/[tabelle.dbf] wählt eine\n"
        "Tabelle, eine Datenbank mit mehreren Tabellen (.mdb, .xls, .htm) fragt sonst nach.\n"
        "\n"
        "  --help      diese Hilfe\n"
        "  --version   Version des Programms\n"
        "\n"
        "Qt wertet seine eigenen Optionen aus, etwa -platform offscreen.\n");
}

std::optional<int> answerInfoOptions(const QStringList &arguments, FILE *out)
{
    QString text;
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")))
        text = programUsage();
    else if (arguments.contains(QStringLiteral("--version")))
        text = version::versionLine() + QLatin1Char('\n');
    else
        return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    fflush(out);
    return 0;
}

} // namespace app
