// The trial child that reads an Access file before this process does: a
// listing of the tables keeps it for the table opened next, and nothing of it
// is left behind, whether it was asked again or ended on its own meanwhile.
#include "Driver.h"
#include "TestSupport.h"
#include "drivers/access/AccessDriver.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// This process's children, as the kernel lists them (zombies included).
QList<int> children()
{
    QList<int> out;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile f(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &pid : f.readAll().split(' '))
            if (!pid.trimmed().isEmpty())
                out << pid.trimmed().toInt();
    }
    return out;
}

// The one-letter state of a process ('S' sleeping, 'Z' ended but not reaped).
char stateOf(int pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray stat = f.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
}

// The children that came since before (a listing elsewhere may keep one).
QList<int> newChildren(const QList<int> &before)
{
    QList<int> out;
    for (int pid : children())
        if (!before.contains(pid))
            out << pid;
    return out;
}

// A copy of a database no trial has seen in this process. A database is kept
// open after a listing only when its file has been unchanged for two seconds
// (a change within the same clock tick could go unseen), so the copy waits.
QString settledCopy(const ScratchDir &dir)
{
    const QString path = dir.copyFixture(QStringLiteral("access/jackcess/testV2000.mdb"));
    QThread::msleep(2100);
    return path;
}

} // namespace

TEST(AccessTrial, ListingKeepsTheTrialChildForTheTableOpenedNext)
{
    ScratchDir dir;
    const QString path = settledCopy(dir);
    const QList<int> before = children();
    AccessDriver d;
    ASSERT_TRUE(d.tableNames(path).contains(QStringLiteral("Table1")));
    const QList<int> kept = newChildren(before);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_NE(stateOf(kept.front()), 'Z'); // alive, waiting for the next table

    auto table = d.open(path, QStringLiteral("Table1"), OpenOptions{true, false});
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->text(table->rowAt(0), 0), QStringLiteral("abcdefg"));
    EXPECT_TRUE(newChildren(before).isEmpty()) << "a trial child is left behind";
}

TEST(AccessTrial, AKeptChildThatEndedMeanwhileIsNoDamage)
{
    ScratchDir dir;
    const QString path = settledCopy(dir);
    const QList<int> before = children();
    AccessDriver d;
    ASSERT_FALSE(d.tableNames(path).isEmpty());
    const QList<int> kept = newChildren(before);
    ASSERT_EQ(kept.size(), 1);
    // It ends by itself when no table is asked for within a few seconds.
    for (int i = 0; i < 100 && stateOf(kept.front()) != 'Z'; ++i)
        QThread::msleep(100);
    ASSERT_EQ(stateOf(kept.front()), 'Z');

    auto table = d.open(path, QStringLiteral("Table1"), OpenOptions{true, false});
    EXPECT_EQ(table->rowCount(), 2);
    EXPECT_TRUE(newChildren(before).isEmpty());
}
