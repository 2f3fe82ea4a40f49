#pragma once
// A test that starts the program's windows on a fresh settings profile, with
// every message box answered and recorded instead of shown.
#include "AppWindows.h"
#include "GuiTestSupport.h"
#include "MainWindow.h"
#include "SharedTools.h"

#include <QList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A start of the program: the windows are made anew and read the settings.
    void start();

    QTemporaryDir m_profile;
    app::TFMMain *w = nullptr;
    QList<app::MessageBoxRequest> boxes;
    int answer = app::IDOK;
};
