// Sets of file changes that must happen together: every step of a set is made to
// fail in turn, or the process is stopped there, and afterwards the files are
// either all old or all new, byte for byte.
#include "EngineError.h"
#include "TestSupport.h"
#include "common/FileIo.h"
#include "common/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

using FileSet = std::map<QString, QByteArray>;

void put(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Every file of the folder, hidden ones too, with its content.
FileSet contentOf(const QString &folder)
{
    FileSet set;
    const QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        set[entry] = testsupport::readAll(dir.filePath(entry));
    return set;
}

// Writes a whole file the way a driver does, through the counted steps; its
// failures name the file it is for.
void writeCounted(const QString &path, const QString &shown, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw io::ioError(QStringLiteral("Das Anlegen von"), shown, errno);
    try {
        io::pwriteFully(fd, bytes.constData(), bytes.size(), 0, shown);
        io::syncData(fd, shown);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

// The faults a step can be given; stops the process instead with stop.
struct Fault {
    int step = -1;
    int error = EIO;
    bool stop = false;
};

int g_steps = 0;

void injectAt(Fault fault)
{
    g_steps = 0;
    io::setIoFault([fault](const io::IoEvent &) {
        const int n = g_steps++;
        if (n != fault.step)
            return 0;
        if (fault.stop)
            ::_exit(3);
        return fault.error;
    });
}

class Journal : public ::testing::Test {
protected:
    void TearDown() override { io::setIoFault(nullptr); }
};

// A table of three files: the new set replaces two and drops the third.
const FileSet OldTable {{QStringLiteral("t.dat"), "old table rows"},
                        {QStringLiteral("t.aux"), "old memo blocks"},
                        {QStringLiteral("t.idx"), "old index pages"}};
const FileSet NewTable {{QStringLiteral("t.dat"), "NEW TABLE ROWS, LONGER"}, {QStringLiteral("t.aux"), "NEW MEMO"}};

void makeOld(const QString &folder)
{
    for (const auto &[name, bytes] : OldTable)
        put(QDir(folder).filePath(name), bytes);
}

void replaceSet(const QString &folder)
{
    const QDir dir(folder);
    io::Journal journal(dir.filePath(QStringLiteral("t.dat")));
    const QString aux = journal.newPartPath(QStringLiteral(".aux"));
    journal.replace(aux, dir.filePath(QStringLiteral("t.aux")));
    writeCounted(aux, dir.filePath(QStringLiteral("t.aux")), NewTable.at(QStringLiteral("t.aux")));
    const QString table = journal.newPartPath();
    journal.replace(table, dir.filePath(QStringLiteral("t.dat")));
    writeCounted(table, dir.filePath(QStringLiteral("t.dat")), NewTable.at(QStringLiteral("t.dat")));
    journal.remove(dir.filePath(QStringLiteral("t.idx")));
    journal.commit();
}

// An index of three 8-byte pages; the set rewrites the middle one and appends a fourth.
const QByteArray OldPages = "AAAAAAAABBBBBBBBCCCCCCCC";
const QByteArray NewPages = "AAAAAAAAbbbbbbbbCCCCCCCCdddddddd";

void pageSet(const QString &folder)
{
    const QDir dir(folder);
    const QString index = dir.filePath(QStringLiteral("t.idx"));
    io::Journal journal(dir.filePath(QStringLiteral("t.dat")));
    journal.keepBefore(index, 8, 8);
    journal.keepBefore(index, 24, 8);
    journal.begin();
    const int fd = ::open(QFile::encodeName(index).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    try {
        io::pwriteFully(fd, "bbbbbbbb", 8, 8, index);
        io::pwriteFully(fd, "dddddddd", 8, 24, index);
        io::syncData(fd, index);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    journal.commit();
}

int countSteps(const std::function<void(const QString &)> &prepare, const std::function<void(const QString &)> &run)
{
    ScratchDir scratch;
    prepare(scratch.path());
    injectAt(Fault{});
    run(scratch.path());
    io::setIoFault(nullptr);
    return g_steps;
}

bool isOneOf(const FileSet &seen, const FileSet &a, const FileSet &b)
{
    return seen == a || seen == b;
}

std::string describe(const FileSet &set)
{
    std::string out;
    for (const auto &[name, bytes] : set)
        out += name.toStdString() + "=" + bytes.toStdString() + "; ";
    return out;
}

// Runs the set in a child process stopped at step (or killed after a pause
// when step < 0); returns how the child ended.
int runInChild(const QString &folder, const std::function<void(const QString &)> &run, int step, int pauseMicros)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (step >= 0)
            injectAt(Fault{step, 0, true});
        try {
            run(folder);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    if (step < 0) {
        ::usleep(useconds_t(pauseMicros));
        ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

} // namespace

TEST_F(Journal, ReplacementSetFailedAtEachStepLeavesTheOldOrTheNewSet)
{
    const int steps = countSteps(makeOld, replaceSet);
    ASSERT_GE(steps, 8); // two writes, two syncs, the journal's write and sync, renames, removals
    FileSet afterSuccess;
    {
        ScratchDir scratch;
        makeOld(scratch.path());
        replaceSet(scratch.path());
        afterSuccess = contentOf(scratch.path());
    }
    EXPECT_EQ(afterSuccess, NewTable);
    for (const int error : {EIO, ENOSPC}) {
        for (int step = 0; step < steps; ++step) {
            ScratchDir scratch;
            makeOld(scratch.path());
            injectAt(Fault{step, error});
            bool failed = false;
            try {
                replaceSet(scratch.path());
            } catch (const EngineError &e) {
                failed = true;
                EXPECT_EQ(e.kind(), ErrorKind::Io) << e.message().toStdString();
                EXPECT_FALSE(e.message().contains(QLatin1String("brisvel-part"))) << e.message().toStdString();
            }
            io::setIoFault(nullptr);
            EXPECT_TRUE(failed) << "step " << step;
            io::Journal::recoverFolder(scratch.path());
            const FileSet seen = contentOf(scratch.path());
            EXPECT_TRUE(isOneOf(seen, OldTable, NewTable)) << "step " << step << ": " << describe(seen);
        }
    }
}

TEST_F(Journal, ReplacementSetStoppedAtEachStepIsRecovered)
{
    const int steps = countSteps(makeOld, replaceSet);
    bool sawOld = false;
    bool sawNew = false;
    for (int step = 0; step < steps; ++step) {
        ScratchDir scratch;
        makeOld(scratch.path());
        const int status = runInChild(scratch.path(), replaceSet, step, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "step " << step;
        io::Journal::recoverFolder(scratch.path());
        const FileSet seen = contentOf(scratch.path());
        sawOld = sawOld || seen == OldTable;
        sawNew = sawNew || seen == NewTable;
        EXPECT_TRUE(isOneOf(seen, OldTable, NewTable)) << "step " << step << ": " << describe(seen);
    }
    // Stopped before the journal was whole the set is undone, after it completed.
    EXPECT_TRUE(sawOld);
    EXPECT_TRUE(sawNew);
}

TEST_F(Journal, PageWritesFailedOrStoppedAtEachStepAreRolledBack)
{
    const auto prepare = [](const QString &folder) {
        put(QDir(folder).filePath(QStringLiteral("t.dat")), "rows");
        put(QDir(folder).filePath(QStringLiteral("t.idx")), OldPages);
    };
    const FileSet oldSet {{QStringLiteral("t.dat"), "rows"}, {QStringLiteral("t.idx"), OldPages}};
    const FileSet newSet {{QStringLiteral("t.dat"), "rows"}, {QStringLiteral("t.idx"), NewPages}};
    const int steps = countSteps(prepare, pageSet);
    ASSERT_GE(steps, 6);
    for (int step = 0; step < steps; ++step) {
        {
            ScratchDir scratch;
            prepare(scratch.path());
            injectAt(Fault{step, EIO});
            EXPECT_THROW(pageSet(scratch.path()), EngineError) << "step " << step;
            io::setIoFault(nullptr);
            io::Journal::recoverFolder(scratch.path());
            const FileSet seen = contentOf(scratch.path());
            EXPECT_TRUE(isOneOf(seen, oldSet, newSet)) << "failed step " << step << ": " << describe(seen);
        }
        {
            ScratchDir scratch;
            prepare(scratch.path());
            runInChild(scratch.path(), pageSet, step, 0);
            io::Journal::recoverFolder(scratch.path());
            const FileSet seen = contentOf(scratch.path());
            // Until the journal is gone the change counts as not made.
            EXPECT_EQ(seen, oldSet) << "stopped step " << step << ": " << describe(seen);
        }
    }
}

TEST_F(Journal, ChildKilledAtRandomPointsIsRecovered)
{
    auto *random = QRandomGenerator::global();
    for (int round = 0; round < 40; ++round) {
        ScratchDir scratch;
        makeOld(scratch.path());
        runInChild(scratch.path(), replaceSet, -1, int(random->bounded(6000)));
        io::Journal::recoverFolder(scratch.path());
        const FileSet seen = contentOf(scratch.path());
        EXPECT_TRUE(isOneOf(seen, OldTable, NewTable)) << "round " << round << ": " << describe(seen);
    }
}

TEST_F(Journal, TargetThatIsAFolderLeavesNoNewCompanion)
{
    ScratchDir scratch;
    const QDir dir(scratch.path());
    ASSERT_TRUE(dir.mkdir(QStringLiteral("t.dat")));
    put(dir.filePath(QStringLiteral("t.aux")), "old memo blocks");
    try {
        io::Journal journal(dir.filePath(QStringLiteral("t.dat")));
        const QString aux = journal.newPartPath(QStringLiteral(".aux"));
        journal.replace(aux, dir.filePath(QStringLiteral("t.aux")));
        put(aux, "NEW MEMO");
        const QString table = journal.newPartPath();
        journal.replace(table, dir.filePath(QStringLiteral("t.dat")));
        put(table, "NEW TABLE");
        journal.commit();
        FAIL() << "a folder was replaced";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("Am Ziel steht ein Ordner"))) << e.message().toStdString();
    }
    EXPECT_EQ(contentOf(scratch.path()), (FileSet {{QStringLiteral("t.aux"), "old memo blocks"}}));
}

TEST_F(Journal, TornJournalRemovesPartsAndTouchesNothing)
{
    ScratchDir scratch;
    makeOld(scratch.path());
    const QDir dir(scratch.path());
    // What a writer killed while writing its journal leaves.
    put(dir.filePath(QStringLiteral(".t.dat.0badc0de.brisvel-part")), "NEW TABLE");
    put(dir.filePath(QStringLiteral(".t.dat.brisvel-journal")), QByteArray("BRISVELJ\x01\0\0\0\x02\0\0\0\x01", 13));
    io::Journal::recover(dir.filePath(QStringLiteral("t.dat")));
    EXPECT_EQ(contentOf(scratch.path()), OldTable);
}

TEST_F(Journal, SetOfAWriterAtWorkIsLeftAlone)
{
    ScratchDir scratch;
    makeOld(scratch.path());
    const QDir dir(scratch.path());
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        io::Journal journal(dir.filePath(QStringLiteral("t.dat")));
        const QString part = journal.newPartPath();
        journal.replace(part, dir.filePath(QStringLiteral("t.dat")));
        put(part, "NEW TABLE");
        journal.begin();
        (void)!::write(ready[1], "1", 1);
        char c;
        (void)!::read(release[0], &c, 1);
        ::_exit(0); // killed: leaves its whole journal
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    // A second writer waits for the first boundedly, then gives up with Locked.
    io::Journal::recoverFolder(scratch.path());
    FileSet seen = contentOf(scratch.path());
    EXPECT_EQ(seen.size(), OldTable.size() + 2) << describe(seen);
    EXPECT_EQ(seen.at(QStringLiteral("t.dat")), "old table rows");
    (void)!::write(release[1], "x", 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // Gone: its whole set is completed.
    io::Journal::recoverFolder(scratch.path());
    seen = contentOf(scratch.path());
    FileSet expected = OldTable;
    expected[QStringLiteral("t.dat")] = "NEW TABLE";
    EXPECT_EQ(seen, expected) << describe(seen);
}

TEST_F(Journal, LeftOverPartFilesOfKilledWritersAreRemoved)
{
    ScratchDir scratch;
    const QDir dir(scratch.path());
    put(dir.filePath(QStringLiteral("keep.csv")), "a;b\n");
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A whole-file write that never ends, as a large export killed midway.
        io::writeFileSafely(dir.filePath(QStringLiteral("keep.csv")), -1, [](const io::ByteSink &sink) {
            sink("x;y\n", 4);
            ::pause();
        });
        ::_exit(0);
    }
    // Wait for its part file.
    QString part;
    for (int i = 0; i < 500 && part.isEmpty(); ++i) {
        for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden))
            if (entry.contains(QLatin1String(".brisvel-part")))
                part = entry;
        ::usleep(10000);
    }
    ASSERT_FALSE(part.isEmpty());
    EXPECT_TRUE(part.startsWith(QLatin1String(".keep.csv.")));
    // Its writer at work: kept.
    io::Journal::recoverFolder(scratch.path());
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(part)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    io::Journal::recoverFolder(scratch.path());
    EXPECT_EQ(contentOf(scratch.path()), (FileSet {{QStringLiteral("keep.csv"), "a;b\n"}}));
}

TEST_F(Journal, SystemErrorsReadInGerman)
{
    EXPECT_EQ(io::systemReason(ENOSPC), QStringLiteral("Auf dem Datenträger ist nicht genug Platz"));
    EXPECT_EQ(io::systemReason(EROFS), QStringLiteral("Der Datenträger ist schreibgeschützt"));
    EXPECT_EQ(io::systemReason(4711), QStringLiteral("Systemfehler Nr. 4711"));
    // A whole-file write failing on a full disk names the user's file.
    ScratchDir scratch;
    const QString target = scratch.file(QStringLiteral("liste.csv"));
    injectAt(Fault{0, ENOSPC});
    try {
        io::writeFileSafely(target, QByteArray("a;b\n"));
        FAIL() << "the full disk went unnoticed";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Die Datei %1 konnte nicht geschrieben werden (Schreiben: Auf dem "
                                              "Datenträger ist nicht genug Platz); sie ist unverändert.")
                                   .arg(QDir::toNativeSeparators(target)));
    }
    EXPECT_TRUE(contentOf(scratch.path()).empty());
}
