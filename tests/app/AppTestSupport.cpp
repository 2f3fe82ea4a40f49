#include "AppTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <memory>

namespace apptest {

namespace {

// The tests never touch the real profile: XDG_CONFIG_HOME points into a
// scratch folder before anything can ask QSettings for its paths.
const bool environmentReady = [] {
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

} // namespace

QApplication *app()
{
    static int argc = 1;
    static char name[] = "test_app";
    static char *argv[] = {name, nullptr};
    static QApplication *instance = [] {
        (void)environmentReady;
        return new QApplication(argc, argv);
    }();
    return instance;
}

Profile::Profile()
{
    m_dirs.push_back(std::make_unique<QTemporaryDir>());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder());
}

Profile::~Profile()
{
    // Back to the scratch XDG folder, which no test reads.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       qEnvironmentVariable("XDG_CONFIG_HOME"));
}

QString Profile::iniFile() const
{
    return QDir(folder()).filePath(QStringLiteral("Halvorin/Brisvel.ini"));
}

QString Profile::iniText() const
{
    QFile file(iniFile());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void Profile::reopen()
{
    const QString old = iniFile();
    m_dirs.push_back(std::make_unique<QTemporaryDir>());
    QDir(folder()).mkpath(QStringLiteral("Halvorin"));
    if (QFile::exists(old))
        QFile::copy(old, iniFile());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder());
}

void Profile::makeUnwritable()
{
    QFile blocker(QDir(folder()).filePath(QStringLiteral("Halvorin")));
    blocker.open(QIODevice::WriteOnly);
}

BoxRecorder::BoxRecorder(int answer) : answer(answer)
{
    app::setMessageBoxHook([this](const app::MessageBoxRequest &request) {
        boxes.push_back(request);
        return this->answer;
    });
}

BoxRecorder::~BoxRecorder()
{
    app::setMessageBoxHook(nullptr);
}

} // namespace apptest
