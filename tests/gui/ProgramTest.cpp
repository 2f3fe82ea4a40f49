#include "ProgramTest.h"

#include "SetupDialog.h"

#include <QSettings>

void ProgramTest::SetUp()
{
    guiApp();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profile.path());
    app::setMessageBoxHook([this](const app::MessageBoxRequest &box) {
        boxes << box;
        return answer;
    });
    start();
}

void ProgramTest::TearDown()
{
    app::AppWindows::destroy();
    app::setMessageBoxHook({});
    app::TFMsetup::setShowModalHook({});
}

void ProgramTest::start()
{
    app::AppWindows::destroy();
    w = app::AppWindows::create().FMMain;
}
