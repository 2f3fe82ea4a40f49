#pragma once
// The one QApplication of the widget tests. Every test file of test_gui that
// needs widgets calls guiApp() first; the application is created on the first
// call (on the offscreen platform unless QT_QPA_PLATFORM says otherwise) and
// lives until the program ends.
#include <QApplication>

QApplication &guiApp();
