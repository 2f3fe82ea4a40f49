#pragma once
// Shared helpers for the tests: where the real files are, and scratch copies of them.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <string>

namespace testsupport {

// Path of a file under the fixtures folder, e.g. fixture("dbase/dbfread/people.dbf").
QString fixture(const QString &relative);

// A scratch folder for one test, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Copies fixture files (writable) into the folder; returns the first copy's path.
    QString copyFixture(const QString &relative, const QString &newName = QString()) const;

private:
    QTemporaryDir m_dir;
};

QByteArray readAll(const QString &path);

// Runs check in a child process as a user without special rights: root may
// write any file, so as root the child gives up its rights (user and group
// "nogroup"/"nobody", 65534) first. The files the check reads must be readable
// by others. Returns the check's answer; a child that could not drop its rights
// or ended otherwise answers false, with the reason in *why.
bool holdsForUnprivilegedUser(const std::function<bool()> &check, std::string *why);

// The build number the build must have compiled in, asked of git: the commit
// count of the source checkout, "0" where the sources are no checkout. A test
// fails when git itself is missing.
QString expectedBuildNumber();

// What a program of the build answered: exit status (-1 when it crashed) and
// its two output streams.
struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};
// Runs a program of the build (e.g. "brisvel-cli") as a user would; with
// noDisplay it gets no display, so it must need none.
ProgramRun runProgram(const QString &program, const QStringList &arguments, bool noDisplay = false);

// A generated table of that many records (the benchmarks' make_table);
// true when it was made.
bool makeGeneratedTable(const QString &path, int records);

// Text at the letter level, as an international sort order compares it: accents
// taken off by Unicode's decomposition, case folded. An order check independent
// of the driver's own weight table.
QString foldedLetters(const QString &text);

} // namespace testsupport

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
