// How both programs answer --help, --version and a wrong call, run as a user
// runs them.
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

using testsupport::ProgramRun;

// --help and --version need no display; nothing may try to open one.
ProgramRun run(const char *program, const QStringList &arguments)
{
    return testsupport::runProgram(QLatin1String(program), arguments, true);
}

// The version the build must have compiled in: the project version's first
// three parts and the commit count.
QString expectedVersionLine()
{
    const QString count = testsupport::expectedBuildNumber();
    return QStringLiteral("brisvel ostrel ") + QStringLiteral(BRISVEL_PROJECT_VERSION).section(QLatin1Char('.'), 0, 2) +
           QLatin1Char('.') + count + QLatin1Char('\n');
}

} // namespace

TEST(CliManners, HelpAndVersionOnStandardOutput)
{
    const ProgramRun help = run("brisvel-cli", {QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Aufruf:\n"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("brisvel-cli dump")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version")));
    EXPECT_TRUE(help.err.isEmpty());
    // Also after a command; but a filter that reads "--help" is a filter.
    EXPECT_EQ(run("brisvel-cli", {QStringLiteral("dump"), QStringLiteral("-h")}).status, 0);
    const ProgramRun filter = run("brisvel-cli", {QStringLiteral("dump"), QStringLiteral("--filter"), QStringLiteral("--help"),
                                           QStringLiteral("/nonexistent/x.dbf")});
    EXPECT_EQ(filter.status, 1) << filter.out.toStdString();

    const QString expected = expectedVersionLine();
    const ProgramRun version = run("brisvel-cli", {QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, expected) << "a build made before the last commit carries the count of its time";
    const ProgramRun programVersion = run("brisvel", {QStringLiteral("--version")});
    EXPECT_EQ(programVersion.status, 0) << programVersion.err.toStdString();
    EXPECT_EQ(programVersion.out, expected);
}

TEST(CliManners, WrongCallExitsTwoWithUsageOnStandardError)
{
    for (const QStringList &arguments : {QStringList{}, QStringList{QStringLiteral("dump")},
                                         QStringList{QStringLiteral("--bogus"), QStringLiteral("x.dbf")}}) {
        const ProgramRun wrong = run("brisvel-cli", arguments);
        EXPECT_EQ(wrong.status, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(wrong.out.isEmpty());
        EXPECT_TRUE(wrong.err.contains(QStringLiteral("Aufruf:"))) << wrong.err.toStdString();
    }
}

TEST(CliManners, ProgramHelpListsTheCommandLine)
{
    const ProgramRun help = run("brisvel", {QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Aufruf: brisvel [DATEI]\n"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("ordner/[tabelle.dbf]")));
}

// libgsf logs English assertion texts about a broken OLE2 container (here the
// header's first allocation-table sector points past the file). The user sees
// one German line naming the file, nothing of the library's.
TEST(CliManners, LibraryWarningsOnDamagedWorkbookStayOffTheTerminal)
{
    testsupport::ScratchDir dir;
    QByteArray bytes = testsupport::readAll(testsupport::fixture(QStringLiteral("excel/exceldatareader/as3xls_BIFF5.xls")));
    ASSERT_EQ(bytes.mid(0x4C, 4), QByteArray::fromHex("00000000"));
    bytes.replace(0x4C, 4, QByteArray::fromHex("0000ff7f"));
    const QString path = dir.file(QStringLiteral("kaputt.xls"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    const ProgramRun library = run("gsf_read", {path});
    EXPECT_NE(library.status, 0);
    EXPECT_TRUE(library.err.contains(QStringLiteral("libgsf"))) << "the damage no longer makes libgsf speak: " << library.err.toStdString();

    const ProgramRun dump = run("brisvel-cli", {QStringLiteral("dump"), path});
    EXPECT_EQ(dump.status, 1);
    EXPECT_EQ(dump.err, QStringLiteral("brisvel-cli: Die Datei %1 ist keine Excel-Arbeitsmappe (kein OLE2-Verbunddokument).\n").arg(path));
    EXPECT_TRUE(dump.out.isEmpty());
}
