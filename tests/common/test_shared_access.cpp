// Two programs on one table: a second process holds a lock the way another
// database program does (a classic POSIX lock), and this one must neither hang
// nor lose what the user typed.
#include "Connection.h"
#include "EngineError.h"
#include "TableDataset.h"
#include "TestSupport.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/paradox/ParadoxDriver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// Another process that takes a write lock on the whole file and keeps it until
// released (or destroyed).
class LockHolder {
public:
    explicit LockHolder(const QString &path)
    {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            throw std::runtime_error("pipe");
        const QByteArray local = QFile::encodeName(path);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(local.constData(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            const char answer = fd >= 0 && ::fcntl(fd, F_SETLKW, &fl) == 0 ? '1' : '0';
            (void)!::write(ready[1], &answer, 1);
            char c;
            while (::read(release[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char answer = '0';
        const bool got = ::read(ready[0], &answer, 1) == 1 && answer == '1';
        ::close(ready[0]);
        if (!got)
            throw std::runtime_error("the other process could not lock the file");
    }
    ~LockHolder() { release(); }
    void release()
    {
        if (m_pid <= 0)
            return;
        ::close(m_release);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
};

// A short bound keeps the tests quick; the default is restored afterwards.
class SharedAccess : public ::testing::Test {
protected:
    void SetUp() override { io::setLockWaitBound(std::chrono::milliseconds(400)); }
    void TearDown() override { io::setLockWaitBound(std::chrono::milliseconds(0)); }
};

struct Kind {
    const char *properties;
    const char *fixture;
    const char *table;     // as the connection names it
    const char *lockFile;  // the file the other program locks
    const char *field;
    const char *typed;     // what the user types into the field
};

const Kind Dbase {"dBASE 5.0", "dbase/dbfread/people.dbf", "people.dbf", "people.dbf", "NAME", "Zed"};
const Kind Paradox {"Paradox 5.x", "paradox/fields/bcd.db", "bcd", "bcd.db", "A", "12,5"};

struct OpenDataset {
    Connection connection;
    TableDataset table;
    OpenDataset(const Kind &kind, const QString &dir)
    {
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QString::fromLatin1(kind.properties));
        connection.setPropertyValue(QStringLiteral("Data Source"), dir);
        table.setObjectName(QStringLiteral("TBView"));
        table.setConnection(&connection);
        table.setTableName(QString::fromLatin1(kind.table));
        table.Open();
    }
};

} // namespace

TEST_F(SharedAccess, ChangeWaitsOnlyBoundedThenSucceedsOnceTheLockIsGone)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    {
        LockHolder other(path);
        EXPECT_TRUE(io::heldByOther(fd, std::chrono::milliseconds(50)));
        QElapsedTimer clock;
        clock.start();
        try {
            io::FileLock lock(fd, path);
            ADD_FAILURE() << "the lock of the other process was ignored";
        } catch (const EngineError &e) {
            EXPECT_EQ(e.kind(), ErrorKind::Locked);
            EXPECT_TRUE(e.message().contains(QStringLiteral("anderen Programm gesperrt"))) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("people.dbf"))) << e.message().toStdString();
        }
        // It waited (the other program may have been in a single change) but gave up.
        EXPECT_GE(clock.elapsed(), 350);
        EXPECT_LT(clock.elapsed(), 2500);
    }
    EXPECT_FALSE(io::heldByOther(fd, std::chrono::milliseconds(50)));
    EXPECT_NO_THROW({ io::FileLock lock(fd, path); });
    ::close(fd);
}

TEST_F(SharedAccess, ATableHeldByAnotherProgramOpensReadOnlyWithTheReason)
{
    for (const Kind &kind : {Dbase, Paradox}) {
        SCOPED_TRACE(kind.fixture);
        ScratchDir dir;
        const QString path = dir.copyFixture(QString::fromLatin1(kind.fixture));
        LockHolder other(path);
        std::unique_ptr<Driver> driver;
        if (kind.properties == Dbase.properties)
            driver = std::make_unique<DbaseDriver>();
        else
            driver = std::make_unique<ParadoxDriver>();
        auto table = driver->open(dir.path(), QString::fromLatin1(kind.table), {});
        EXPECT_TRUE(table->readOnlyReason().contains(QStringLiteral("von einem anderen Programm exklusiv geöffnet")))
            << table->readOnlyReason().toStdString();
        EXPECT_GT(table->rowCount(), 0); // reading still works
        // Opening it exclusively is refused, with its own kind.
        try {
            driver->open(dir.path(), QString::fromLatin1(kind.table), OpenOptions{false, true});
            ADD_FAILURE() << "opened exclusively beside another program's lock";
        } catch (const EngineError &e) {
            EXPECT_EQ(e.kind(), ErrorKind::Locked);
            EXPECT_TRUE(e.message().contains(QStringLiteral("nicht exklusiv geöffnet"))) << e.message().toStdString();
        }
        other.release();
        EXPECT_TRUE(driver->open(dir.path(), QString::fromLatin1(kind.table), {})->readOnlyReason().isEmpty());
    }
}

TEST_F(SharedAccess, APostRefusedForTheLockKeepsTheRecordInEditWithTheUsersValue)
{
    for (const Kind &kind : {Dbase, Paradox}) {
        SCOPED_TRACE(kind.fixture);
        ScratchDir dir;
        const QString path = dir.copyFixture(QString::fromLatin1(kind.fixture));
        OpenDataset t(kind, dir.path());
        ASSERT_FALSE(t.table.ReadOnly());
        const QString field = QString::fromLatin1(kind.field);
        const QString typed = QString::fromLatin1(kind.typed);
        const QString before = t.table.FieldByName(field)->AsString();
        ASSERT_NE(before, typed);

        LockHolder other(QFileInfo(path).absoluteFilePath());
        t.table.Edit();
        t.table.FieldByName(field)->setAsString(typed);
        QElapsedTimer clock;
        clock.start();
        try {
            t.table.Post();
            ADD_FAILURE() << "posted beside another program's lock";
        } catch (const EngineError &e) {
            EXPECT_EQ(e.kind(), ErrorKind::Locked);
            EXPECT_TRUE(e.message().contains(QStringLiteral("nicht gespeichert"))) << e.message().toStdString();
        }
        EXPECT_LT(clock.elapsed(), 2500);
        EXPECT_EQ(t.table.State(), dsEdit);
        EXPECT_EQ(t.table.FieldByName(field)->AsString(), typed);

        // Once the other program lets go, the same post goes through.
        other.release();
        t.table.Post();
        EXPECT_EQ(t.table.State(), dsBrowse);
        OpenDataset again(kind, dir.path());
        EXPECT_EQ(again.table.FieldByName(field)->AsString(), typed);
    }
}
