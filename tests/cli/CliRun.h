#pragma once
// What the command-line tests share: brisvel-cli run as a user runs it, and
// dbfread (Python) as the independent reader of the tables it wrote.
#include "TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace clitest {

using Result = testsupport::ProgramRun;

inline Result runCli(const QStringList &arguments)
{
    return testsupport::runProgram(QStringLiteral("brisvel-cli"), arguments);
}

// Every record of table as dbfread reads it in the given encoding.
inline QString dbfreadDump(const QString &table, const char *encoding)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(BRISVEL_SOURCE_TESTS "/cli/dbfread_dump.py"), table, QString::fromLatin1(encoding)});
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace clitest
