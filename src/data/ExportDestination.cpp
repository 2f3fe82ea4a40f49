#include "ExportDestination.h"

#include <QDir>
#include <QFileInfo>

namespace data {

const QString SaveDialogTitle = QStringLiteral("Tabelle speichern unter");
const QString SaveDialogFilter = QStringLiteral(
    "dBASE-Dateien (*.dbf)|*.dbf|Paradox-Dateien (*.db)|*.db|HTML-Dateien (*.htm)|*.htm|Text-Dateien (*.csv)|*.csv|"
    "Excel-Dateien (*.xls)|*.xls|Alle Dateien (*.*)|*.*");
const QString SaveDialogDefaultExt = QStringLiteral("*.dbf; *.db; *.xls; *.csv; *.htm");

std::optional<ExportDestination> exportDestinationFor(const QString &fileName)
{
    const QFileInfo info(fileName);
    const QString x = QLatin1Char('.') + info.suffix().toUpper();
    const QString directory = info.absolutePath();
    if (info.suffix().isEmpty())
        return std::nullopt;
    if (x == QLatin1String(".DBF"))
        return ExportDestination{dtDBase4, directory + QLatin1Char('/'), info.fileName()};
    if (x == QLatin1String(".DB"))
        return ExportDestination{dtParadox5, directory, info.fileName()};
    // ".html" is the same kind of page; the classic dialog only offered ".htm".
    if (x == QLatin1String(".HTM") || x == QLatin1String(".HTML"))
        return ExportDestination{dtHTMLexport, directory, info.fileName()};
    if (x == QLatin1String(".CSV"))
        return ExportDestination{dtText, directory, info.fileName()};
    if (x == QLatin1String(".XLS"))
        return ExportDestination{dtExcel8, info.absoluteFilePath(), QStringLiteral("Tabelle")};
    return std::nullopt;
}

QString unsupportedExportText(const QString &fileName)
{
    return QStringLiteral("In die Datei \"%1\" kann nicht exportiert werden: Tabellen werden nur als dBASE (.dbf), "
                          "Paradox (.db), HTML (.htm), Text (.csv) oder Excel (.xls) gespeichert.")
        .arg(QDir::toNativeSeparators(fileName));
}

QString overwriteQuestion(const QString &fileName)
{
    return QStringLiteral("Datei \"%1\" existiert. Überschreiben?").arg(fileName);
}

QString exportChangesText(const QStringList &changes, int maxLength)
{
    if (changes.isEmpty())
        return QString();
    QString text = QStringLiteral("Die Tabelle wurde gespeichert. Dabei wurde angepasst:");
    for (int i = 0; i < changes.size(); ++i) {
        const QString line = QStringLiteral("\n• ") + changes.at(i);
        const QString rest = QStringLiteral("\n… und %1 weitere.").arg(changes.size() - i);
        if (text.size() + line.size() + (i + 1 < changes.size() ? rest.size() : 0) > maxLength) {
            text += rest;
            break;
        }
        text += line;
    }
    return text;
}

} // namespace data
