#include "GuiTestSupport.h"

QApplication &guiApp()
{
    if (auto *existing = qobject_cast<QApplication *>(QCoreApplication::instance()))
        return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_gui";
    static char *argv[] = {name, nullptr};
    // Never destroyed: widgets of static test objects may outlive main().
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}
