// Damaged and foreign files: cut-off and scrambled copies of the fixture
// databases are refused with a German message naming the file, or read as far
// as they go, but never crash.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/access/AccessDriver.h"

#include <QFile>
#include <fcntl.h>
#include <mdbtools.h>
#include <unistd.h>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;
using testsupport::fixture;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Lists, opens and reads every table; returns how many values were read.
// Throws EngineError where the file is refused.
qint64 readEverything(const QString &path)
{
    AccessDriver d;
    qint64 values = 0;
    for (const QString &name : d.tableNames(path)) {
        try {
            auto t = d.open(path, name, OpenOptions{true, false});
            t->indexDefs();
            t->facts();
            for (qint64 p = 0; p < t->rowCount(); ++p)
                for (int f = 0; f < t->fieldDefs().size(); ++f) {
                    t->value(t->rowAt(p), f);
                    ++values;
                }
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral(".mdb"))) << e.message().toStdString();
        }
    }
    return values;
}

QByteArray bytesOf(const QString &relative)
{
    QFile f(fixture(QStringLiteral("access/") + relative));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

} // namespace

TEST(AccessDamage, ForeignAndEmptyFilesAreRefused)
{
    ScratchDir dir;
    const struct {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"empty", QByteArray()},
        {"text", QByteArray("Standard Jet DB, aber nur als Text")},
        {"header only", bytesOf(QStringLiteral("jackcess/testV2000.mdb")).left(0x20)},
        {"unknown version", [] {
             QByteArray b = bytesOf(QStringLiteral("jackcess/testV2000.mdb"));
             b[0x14] = char(0x42);
             return b;
         }()},
    };
    AccessDriver d;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.file(QStringLiteral("kaputt.mdb"));
        writeFile(path, c.bytes);
        try {
            d.tableNames(path);
            FAIL() << "accepted";
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("kaputt.mdb"))) << e.message().toStdString();
        }
    }
}

TEST(AccessDamage, CutOffCopiesSayTheyAreIncomplete)
{
    ScratchDir dir;
    const QByteArray whole = bytesOf(QStringLiteral("jackcess/testV2000.mdb"));
    const QString path = dir.file(QStringLiteral("halb.mdb"));
    writeFile(path, whole.left(whole.size() / 2 + 1000));
    try {
        AccessDriver().tableNames(path);
        FAIL() << "accepted";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("unvollständig")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("halb.mdb")));
    }
}

TEST(AccessDamage, CopiesCutAtPageBoundariesNeverCrash)
{
    ScratchDir dir;
    QStringList refusals;
    for (const char *file : {"jackcess/testV1997.mdb", "mdbtestdata/DateTestDatabase.mdb", "jackcess/testUnicodeCompV2003.mdb"}) {
        SCOPED_TRACE(file);
        const QByteArray whole = bytesOf(QString::fromUtf8(file));
        const int page = whole.at(0x14) == 0 ? 2048 : 4096;
        const QString path = dir.file(QStringLiteral("teil.mdb"));
        for (qsizetype size = 3 * page; size < whole.size(); size += page * std::max<qsizetype>(1, whole.size() / page / 24)) {
            writeFile(path, whole.left(size));
            try {
                readEverything(path);
            } catch (const EngineError &e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("teil.mdb"))) << e.message().toStdString();
                refusals << e.message();
            }
        }
    }
    // Some cut-off Jet 3 copies send mdbtools round in circles reading the
    // catalog's properties; the trial run in a child process catches that.
    EXPECT_TRUE(std::any_of(refusals.begin(), refusals.end(),
                            [](const QString &m) { return m.contains(QStringLiteral("hängen")); }));
}

TEST(AccessDamage, ScrambledDataPagesNeverCrash)
{
    int opened = 0, refused = 0;
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("wirr.mdb"));
    QRandomGenerator random(20240229);
    for (const char *file : {"jackcess/testV1997.mdb", "mdbtestdata/DateTestDatabase.mdb", "jackcess/delTestV2000.mdb"}) {
        SCOPED_TRACE(file);
        const QByteArray whole = bytesOf(QString::fromUtf8(file));
        const int page = whole.at(0x14) == 0 ? 2048 : 4096;
        for (int round = 0; round < 12; ++round) {
            QByteArray bytes = whole;
            // Pages after the header and the catalog's first page: row data, table definitions, long values.
            for (int k = 0; k < 64; ++k) {
                const qsizetype at = 3 * page + random.bounded(bytes.size() - 3 * page);
                bytes[at] = char(random.bounded(256));
            }
            writeFile(path, bytes);
            try {
                readEverything(path);
                ++opened;
            } catch (const EngineError &e) {
                ++refused;
                EXPECT_TRUE(e.message().contains(QStringLiteral("wirr.mdb"))) << e.message().toStdString();
            }
        }
    }
    // Scattered bytes mostly land where mdbtools does not look; whether one of
    // them makes it loop depends on more than the bytes, so only opening is sure.
    EXPECT_GT(opened, 0);
    // A catalog page that is all garbage is always refused, with the file named.
    for (const char fill : {'\x00', '\xFF'}) {
        QByteArray bytes = bytesOf(QStringLiteral("jackcess/testV1997.mdb"));
        bytes.replace(2 * 2048, 2048, QByteArray(2048, fill));
        writeFile(path, bytes);
        try {
            readEverything(path);
            ADD_FAILURE() << "a garbage catalog page was read";
        } catch (const EngineError &e) {
            ++refused;
            EXPECT_EQ(e.message(), QStringLiteral("Die Access-Datenbank %1 ist beschädigt: das Verzeichnis ihrer "
                                                  "Tabellen lässt sich nicht lesen.")
                                       .arg(path));
        }
    }
    EXPECT_GE(refused, 2);
}

namespace {

// Sends everything written to the process's standard error (fd 2, as the C
// library and child processes write it) into a file while it lives.
class StderrCapture {
public:
    explicit StderrCapture(const QString &path)
        : m_path(path)
    {
        fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture() { restore(); }
    QByteArray text()
    {
        restore();
        return testsupport::readAll(m_path);
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QString m_path;
    int m_saved = -1;
};

// Reads every row of a table through libmdb itself, not through the driver.
int rowsByLibmdb(const QString &path, const char *table)
{
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return -1;
    int rows = 0;
    if (MdbTableDef *t = mdb_read_table_by_name(mdb, const_cast<char *>(table), MDB_TABLE)) {
        mdb_read_columns(t);
        mdb_rewind_table(t);
        while (mdb_fetch_row(t))
            ++rows;
        mdb_free_tabledef(t);
    }
    mdb_close(mdb);
    return rows;
}

} // namespace

// One byte changed in a data page of "Order Details" makes mdbtools warn in
// English ("Invalid data location detected in mdb_crack_row") on every read of
// that row. The user reads the table without that text on the terminal.
TEST(AccessDamage, LibraryWarningsStayOffTheTerminal)
{
    ScratchDir dir;
    QByteArray bytes = bytesOf(QStringLiteral("mdbtestdata/nwind.mdb"));
    const qsizetype at = 968856;
    ASSERT_EQ(bytes.at(at), char(0x40));
    bytes[at] = char(0x38);
    const QString path = dir.file(QStringLiteral("warnung.mdb"));
    writeFile(path, bytes);

    {
        StderrCapture capture(dir.file(QStringLiteral("libmdb.txt")));
        // 2155 rows undamaged; the one with the broken field offset is dropped.
        EXPECT_EQ(rowsByLibmdb(path, "Order Details"), 2154);
        EXPECT_TRUE(capture.text().contains("mdb_crack_row")) << "the damage no longer makes mdbtools warn";
    }

    StderrCapture capture(dir.file(QStringLiteral("brisvel.txt")));
    AccessDriver d;
    auto t = d.open(path, QStringLiteral("Order Details"), OpenOptions{true, false});
    qint64 values = 0;
    for (qint64 p = 0; p < t->rowCount(); ++p)
        for (int f = 0; f < t->fieldDefs().size(); ++f) {
            t->value(t->rowAt(p), f);
            ++values;
        }
    const qint64 rows = t->rowCount();
    t.reset();
    EXPECT_EQ(capture.text().toStdString(), std::string());
    EXPECT_EQ(rows, 2154);
    EXPECT_EQ(values, 2154 * 5);
}
