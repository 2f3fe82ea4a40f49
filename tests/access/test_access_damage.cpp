// Damaged and foreign files: cut-off and scrambled copies of the fixture
// databases are refused with a German message naming the file, or read as far
// as they go, but never crash.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/access/AccessDriver.h"

#include <QFile>
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
