#include "Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace app {

QTranslator *installGermanQtTranslation(QCoreApplication &application)
{
    auto *translator = new QTranslator(&application);
    // "qt_de" gathers the catalogues of the Qt modules (qtbase_de, ...).
    if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qt"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return translator;
    delete translator;
    return nullptr;
}

} // namespace app
