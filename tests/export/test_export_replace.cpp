// An export onto an existing table replaces the table and its companions as one:
// failed or stopped at any step, the folder afterwards holds the whole old table
// or the whole new one. Failures name the user's file in German, and part files
// left by a killed export go with the next export into that folder.
#include "Connection.h"
#include "EngineError.h"
#include "ExportTestSupport.h"
#include "TestSupport.h"
#include "common/FileIo.h"
#include "common/Quoting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace engine;
using namespace exporttest;
using testsupport::ScratchDir;

namespace {

using Files = QMap<QString, QByteArray>;

Files contents(const QString &directory)
{
    Files files;
    for (const QString &name : QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System))
        files.insert(name, testsupport::readAll(QDir(directory).filePath(name)));
    return files;
}

std::string names(const Files &files)
{
    std::string out;
    for (auto it = files.begin(); it != files.end(); ++it)
        out += it.key().toStdString() + "(" + std::to_string(it.value().size()) + ") ";
    return out;
}

// Source tables with memos, copied from the fixtures: 67 rows and 10 rows.
struct Sources {
    ScratchDir dir;
    Sources()
    {
        for (const char *f : {"dbase/infused-dbf/dbase_83.dbf", "dbase/infused-dbf/dbase_83.dbt",
                              "dbase/infused-dbf/dbase_8b.dbf", "dbase/infused-dbf/dbase_8b.dbt"})
            dir.copyFixture(QString::fromLatin1(f));
    }
};

// Exports source (a table of the folder sources) as table into folder out.
int exportInto(const QString &sources, const QString &source, const QString &out, const QString &kind,
               const QString &table)
{
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE IV"));
    connection.setPropertyValue(QStringLiteral("Data Source"), sources);
    return connection.Execute(QStringLiteral("SELECT * INTO [%1] IN %2 %3 FROM %4")
                                  .arg(table, text::doubleQuoted(out), text::doubleQuoted(kind + QLatin1Char(';')), source));
}

// The rows as the program reads them: through a connection, which first finishes
// what an interrupted change left.
int rowsRead(const QString &kind, const QString &folder, const QString &table)
{
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), kind);
    connection.setPropertyValue(QStringLiteral("Data Source"), folder);
    auto source = connection.openTable(table, OpenOptions{true, false});
    return int(readRows(*source).size());
}

struct Target {
    const char *kind;
    const char *table;
};
const Target Targets[] = {{"dBASE IV", "ziel.dbf"}, {"Text", "ziel.csv"}, {"Paradox 5.x", "ziel.db"}};

int g_steps = 0;

// Counts the file steps of this process and fails (or, with stop, ends the
// process at) the one numbered step.
void injectAt(int step, int error, bool stop = false)
{
    g_steps = 0;
    io::setIoFault([=](const io::IoEvent &) {
        if (g_steps++ != step)
            return 0;
        if (stop)
            ::_exit(3);
        return error;
    });
}

struct States {
    Files before, after; // the folder after the old export and after the new one
    int steps = 0;       // file steps of the new export
};

class ExportReplace : public ::testing::Test {
protected:
    void TearDown() override { io::setIoFault(nullptr); }
    Sources sources;

    int exportOld(const Target &t, const QString &out)
    {
        return exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), out, QString::fromLatin1(t.kind),
                          QString::fromLatin1(t.table));
    }
    int exportNew(const Target &t, const QString &out)
    {
        return exportInto(sources.dir.path(), QStringLiteral("DBASE_8B.DBF"), out, QString::fromLatin1(t.kind),
                          QString::fromLatin1(t.table));
    }

    States makeStates(const Target &t)
    {
        States states;
        ScratchDir out;
        EXPECT_EQ(exportOld(t, out.path()), 67);
        states.before = contents(out.path());
        injectAt(-1, 0);
        EXPECT_EQ(exportNew(t, out.path()), 10);
        states.steps = g_steps;
        io::setIoFault(nullptr);
        states.after = contents(out.path());
        return states;
    }

    // The next reader finishes what was left: the folder and the rows are all
    // old or all new. True when new.
    bool expectWhole(const Target &t, const QString &out, const States &states, int step)
    {
        const int rows = rowsRead(QString::fromLatin1(t.kind), out, QString::fromLatin1(t.table));
        const Files seen = contents(out);
        EXPECT_TRUE(seen == states.before || seen == states.after) << "step " << step << ": " << names(seen);
        EXPECT_EQ(rows, seen == states.after ? 10 : 67) << "step " << step;
        return seen == states.after;
    }
};

// Which steps to fail: all of the last 40 (the renames, removals and syncs of
// the commit) and a spread of the writes before.
std::vector<int> chosenSteps(int steps)
{
    std::vector<int> chosen;
    for (int s = 0; s < steps; ++s) {
        if (s >= steps - 40 || s % 7 == 0)
            chosen.push_back(s);
    }
    return chosen;
}

} // namespace

TEST_F(ExportReplace, FailureAtEachStepLeavesTheOldOrTheNewTable)
{
    for (const Target &t : Targets) {
        SCOPED_TRACE(t.table);
        const States states = makeStates(t);
        ASSERT_NE(states.before, states.after);
        EXPECT_EQ(states.before.keys(), states.after.keys()); // both with memo/blob file (and schema.ini)
        for (const int step : chosenSteps(states.steps)) {
            ScratchDir out;
            ASSERT_EQ(exportOld(t, out.path()), 67);
            injectAt(step, EIO);
            try {
                exportNew(t, out.path());
                ADD_FAILURE() << "step " << step << " failed unnoticed";
            } catch (const EngineError &e) {
                // The table, its companion or the folder's schema.ini: the user's files.
                EXPECT_TRUE(e.message().contains(QLatin1String("ziel.")) || e.message().contains(QLatin1String("schema.ini")))
                    << e.message().toStdString();
                EXPECT_FALSE(e.message().contains(QLatin1String("brisvel-part"))) << e.message().toStdString();
                EXPECT_TRUE(e.message().contains(QLatin1String("Ein-/Ausgabefehler"))) << e.message().toStdString();
            }
            io::setIoFault(nullptr);
            expectWhole(t, out.path(), states, step);
        }
    }
}

TEST_F(ExportReplace, StoppedAtEachCommitStepIsFinishedOrUndoneByTheNextReader)
{
    for (const Target &t : Targets) {
        SCOPED_TRACE(t.table);
        const States states = makeStates(t);
        bool sawNew = false;
        for (int step = std::max(0, states.steps - 14); step < states.steps; ++step) {
            ScratchDir out;
            ASSERT_EQ(exportOld(t, out.path()), 67);
            const pid_t pid = ::fork();
            if (pid == 0) {
                injectAt(step, 0, true);
                try {
                    exportNew(t, out.path());
                } catch (...) {
                }
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "step " << step;
            sawNew = expectWhole(t, out.path(), states, step) || sawNew;
        }
        EXPECT_TRUE(sawNew); // stopped after the journal was on the disk: completed
    }
}

TEST_F(ExportReplace, TargetThatIsAFolderLeavesNoNewCompanion)
{
    for (const Target &t : {Targets[0], Targets[2]}) {
        SCOPED_TRACE(t.table);
        const QString kind = QString::fromLatin1(t.kind), table = QString::fromLatin1(t.table);
        ScratchDir out;
        ASSERT_TRUE(QDir(out.path()).mkdir(table));
        // An old companion of that name stays as it was; no new one appears.
        const QString companion = QFileInfo(table).completeBaseName() + (table.endsWith(QLatin1String(".db")) ? QStringLiteral(".mb") : QStringLiteral(".dbt"));
        {
            QFile f(out.file(companion));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("old companion");
        }
        try {
            exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), out.path(), kind, table);
            ADD_FAILURE() << "a folder was replaced";
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String("Am Ziel steht ein Ordner"))) << e.message().toStdString();
        }
        EXPECT_EQ(contents(out.path()), (Files{{companion, "old companion"}}));
    }
}

TEST_F(ExportReplace, PartFilesOfAKilledExportGoWithTheNextExportIntoTheFolder)
{
    ScratchDir out;
    ASSERT_EQ(exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), out.path(), QStringLiteral("dBASE IV"),
                         QStringLiteral("ziel.dbf")),
              67);
    const Files before = contents(out.path());
    const pid_t pid = ::fork();
    if (pid == 0) {
        injectAt(3, 0, true); // ends amid the rows
        try {
            exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), out.path(), QStringLiteral("dBASE IV"),
                       QStringLiteral("ziel.dbf"));
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    const Files left = contents(out.path());
    int parts = 0;
    for (const QString &name : left.keys())
        parts += name.contains(QLatin1String(".brisvel-part")) ? 1 : 0;
    EXPECT_GE(parts, 2) << names(left); // the table's and the memo's
    // Another table exported into the folder sweeps them.
    ASSERT_EQ(exportInto(sources.dir.path(), QStringLiteral("DBASE_8B.DBF"), out.path(), QStringLiteral("Text"),
                         QStringLiteral("andere.csv")),
              10);
    Files after = contents(out.path());
    after.remove(QStringLiteral("andere.csv"));
    after.remove(QStringLiteral("schema.ini"));
    EXPECT_EQ(after, before) << names(after);
}

// Two exports of different tables into one folder both rewrite its schema.ini.
// The second one runs while the first is about to replace schema.ini; afterwards
// the file holds the sections of both tables and both read with their columns.
TEST_F(ExportReplace, TwoTextExportsIntoOneFolderKeepBothSchemaSections)
{
    ScratchDir out;
    std::atomic<bool> started {false};
    std::thread second;
    std::atomic<int> secondRows {-1};
    const auto firstThread = std::this_thread::get_id();
    io::setIoFault([&](const io::IoEvent &e) {
        if (std::this_thread::get_id() != firstThread || e.kind != io::IoEvent::Write ||
            QFileInfo(e.path).fileName() != QLatin1String("schema.ini") || started.exchange(true))
            return 0;
        second = std::thread([&] {
            try {
                secondRows = exportInto(sources.dir.path(), QStringLiteral("DBASE_8B.DBF"), out.path(), QStringLiteral("Text"),
                                        QStringLiteral("zwei.csv"));
            } catch (const EngineError &error) {
                ADD_FAILURE() << error.message().toStdString();
            }
        });
        // Time enough for the second export to run to its end, unless it waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return 0;
    });
    EXPECT_EQ(exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), out.path(), QStringLiteral("Text"),
                         QStringLiteral("eins.csv")),
              67);
    ASSERT_TRUE(started);
    second.join();
    io::setIoFault(nullptr);
    EXPECT_EQ(secondRows, 10);
    const QString ini = QString::fromUtf8(testsupport::readAll(QDir(out.path()).filePath(QStringLiteral("schema.ini"))));
    EXPECT_TRUE(ini.contains(QLatin1String("[eins.csv]"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QLatin1String("[zwei.csv]"))) << ini.toStdString();
    EXPECT_EQ(rowsRead(QStringLiteral("Text"), out.path(), QStringLiteral("eins.csv")), 67);
    EXPECT_EQ(rowsRead(QStringLiteral("Text"), out.path(), QStringLiteral("zwei.csv")), 10);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("brisvel")), QStringList());
}

TEST_F(ExportReplace, WriteErrorsNameTheTargetInGerman)
{
    const Target all[] = {{"dBASE IV", "voll.dbf"}, {"Text", "voll.csv"}, {"Paradox 5.x", "voll.db"},
                          {"Excel 8.0", "voll.xls"}, {"HTML Export", "voll.htm"}};
    for (const Target &t : all) {
        SCOPED_TRACE(t.table);
        const QString kind = QString::fromLatin1(t.kind), table = QString::fromLatin1(t.table);
        ScratchDir out;
        const QString target = kind.startsWith(QLatin1String("Excel")) ? out.file(table) : out.path();
        // A full disk at the first write, as the injected layer gives it (also for root).
        injectAt(0, ENOSPC);
        try {
            exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), target, kind, kind.startsWith(QLatin1String("Excel")) ? QStringLiteral("Blatt") : table);
            ADD_FAILURE() << "the full disk went unnoticed";
        } catch (const EngineError &e) {
            const QString m = e.message();
            EXPECT_TRUE(m.contains(QStringLiteral("Auf dem Datenträger ist nicht genug Platz"))) << m.toStdString();
            // The table or its companion (memo, blob file) by its own name.
            EXPECT_TRUE(m.contains(QDir::toNativeSeparators(out.file(QFileInfo(table).completeBaseName() + QLatin1Char('.')))))
                << m.toStdString();
            EXPECT_FALSE(m.contains(QLatin1String("brisvel-part"))) << m.toStdString();
            EXPECT_FALSE(m.contains(QLatin1String("No space"))) << m.toStdString();
        }
        io::setIoFault(nullptr);
        EXPECT_TRUE(contents(out.path()).isEmpty()) << names(contents(out.path()));
    }
}

TEST_F(ExportReplace, FileSizeLimitGivesAGermanReasonForTheTarget)
{
    std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
    rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const Target all[] = {{"dBASE IV", "gross.dbf"}, {"Text", "gross.csv"}, {"Paradox 5.x", "gross.db"},
                          {"HTML Export", "gross.htm"}};
    for (const Target &t : all) {
        SCOPED_TRACE(t.table);
        ScratchDir out;
        rlimit limit = saved;
        limit.rlim_cur = 2000; // every export of 67 rows with memos needs more
        setrlimit(RLIMIT_FSIZE, &limit);
        QString message;
        try {
            exportInto(sources.dir.path(), QStringLiteral("DBASE_83.DBF"), out.path(), QString::fromLatin1(t.kind),
                       QString::fromLatin1(t.table));
        } catch (const EngineError &e) {
            message = e.message();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_TRUE(message.contains(QStringLiteral("Die Datei würde größer, als das System erlaubt"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(out.file(QStringLiteral("gross."))))) << message.toStdString();
        EXPECT_FALSE(message.contains(QLatin1String("brisvel-part"))) << message.toStdString();
        EXPECT_TRUE(contents(out.path()).isEmpty()) << names(contents(out.path()));
    }
}
