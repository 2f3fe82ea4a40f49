#include "TestSupport.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <stdexcept>

namespace testsupport {

QString fixture(const QString &relative)
{
    return QDir(QStringLiteral(BRISVEL_FIXTURES_DIR)).filePath(relative);
}

ScratchDir::ScratchDir()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a scratch folder");
}

QString ScratchDir::copyFixture(const QString &relative, const QString &newName) const
{
    const QString source = fixture(relative);
    const QString target = file(newName.isEmpty() ? QFileInfo(source).fileName() : newName);
    QFile::remove(target);
    if (!QFile::copy(source, target))
        throw std::runtime_error(("cannot copy fixture " + source).toStdString());
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool holdsForUnprivilegedUser(const std::function<bool()> &check, std::string *why)
{
    const pid_t child = ::fork();
    if (child < 0) {
        *why = "fork failed";
        return false;
    }
    if (child == 0) {
        if (::geteuid() == 0) {
            const gid_t nogroup = 65534;
            if (::setgroups(1, &nogroup) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) {
        *why = "waitpid failed";
        return false;
    }
    if (!WIFEXITED(status)) {
        *why = "the child ended by a signal";
        return false;
    }
    switch (WEXITSTATUS(status)) {
    case 0: return true;
    case 2: *why = "the child could not give up root's rights"; return false;
    default: *why = "the check does not hold"; return false;
    }
}

QString expectedBuildNumber()
{
    QProcess git;
    git.start(QStringLiteral("git"), {QStringLiteral("-C"), QStringLiteral(BRISVEL_SOURCE_TESTS "/.."),
                                      QStringLiteral("rev-list"), QStringLiteral("--count"), QStringLiteral("HEAD")});
    if (!git.waitForStarted(30000) || !git.waitForFinished(30000)) {
        ADD_FAILURE() << "git is needed to know the build number (package git)";
        return QString();
    }
    if (git.exitStatus() != QProcess::NormalExit || git.exitCode() != 0)
        return QStringLiteral("0");
    return QString::fromLatin1(git.readAllStandardOutput()).trimmed();
}

ProgramRun runProgram(const QString &program, const QStringList &arguments, bool noDisplay)
{
    QProcess process;
    if (noDisplay) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(BRISVEL_BUILD_DIR "/") + program, arguments);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

bool makeGeneratedTable(const QString &path, int records)
{
    QProcess make;
    make.start(QStringLiteral(BRISVEL_BUILD_DIR "/make_table"), {path, QString::number(records)});
    return make.waitForFinished(60000) && make.exitStatus() == QProcess::NormalExit && make.exitCode() == 0;
}

QString foldedLetters(const QString &text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.category() != QChar::Mark_NonSpacing)
            out += c.toUpper();
    }
    return out;
}

} // namespace testsupport
