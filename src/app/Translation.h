#pragma once
// Qt's own texts (the buttons and labels of the standard dialogs) in German.
class QCoreApplication;
class QTranslator;

namespace app {

// Loads Qt's German translation (Debian package qt6-translations-l10n) into
// the application; null when it is not installed, and Qt speaks English.
QTranslator *installGermanQtTranslation(QCoreApplication &application);

} // namespace app
