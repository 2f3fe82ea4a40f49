#pragma once
// Helpers of the application tests: a QApplication made on first use, a fresh
// settings profile per test, and message boxes answered without showing them.
#include "SharedTools.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class QApplication;

namespace apptest {

// The one QApplication of the test program (offscreen unless told otherwise).
QApplication *app();

// An empty profile: the settings store lives in a new folder until the end of
// the object's life. reopen() copies the INI file into another new folder and
// points the store there, so the next reads parse the file afresh, as after a
// restart of the program.
class Profile {
public:
    Profile();
    ~Profile();
    QString folder() const { return m_dirs.back()->path(); }
    QString iniFile() const;
    QString iniText() const;
    void reopen();
    // A file where the store's folder should be: nothing can be saved (chmod
    // would not stop root).
    void makeUnwritable();

private:
    std::vector<std::unique_ptr<QTemporaryDir>> m_dirs;
};

// Records every message box and answers it with `answer` (an ID* value).
class BoxRecorder {
public:
    explicit BoxRecorder(int answer = app::IDOK);
    ~BoxRecorder();
    std::vector<app::MessageBoxRequest> boxes;
    int answer;
};

} // namespace apptest
