// Damaged index files: truncated copies, page pointers bent into cycles or out of
// the file, and random byte changes end in an EngineError naming the file.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/dbase/DbfIndex.h"
#include "common/Bytes.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using engine::dbase::IndexFile;
using testsupport::fixture;
using testsupport::ScratchDir;

namespace {

const char *const IndexFixtures[] = {
    "dbase/dbd-xbase/ndx-char.ndx",
    "dbase/dbd-xbase/ndx-num.ndx",
    "dbase/simatic-s7/siprom/CHANGELOG.MDX",
    "dbase/simatic-s7/YDBs-15940/SYMLIST.MDX",
    "foxpro/dbd-xbase/rooms.cdx",
    "foxpro/infused-dbf/foxprodb/FOXPRO-DB-TEST.DCX",
    "foxpro/javadbf-xsource/payments.cdx",
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Opens the file and walks every tag; returns the error text, empty when all went well.
QString readEverything(const QString &path)
{
    try {
        auto file = IndexFile::open(path);
        for (int i = 0; i < file->tags().size(); ++i)
            file->entries(i);
        return {};
    } catch (const EngineError &e) {
        return e.message();
    }
}

QString damaged(const ScratchDir &dir, const char *fixtureName, const std::function<void(QByteArray &)> &change)
{
    QByteArray bytes = testsupport::readAll(fixture(QString::fromLatin1(fixtureName)));
    change(bytes);
    const QString path = dir.file(QFileInfo(QString::fromLatin1(fixtureName)).fileName());
    writeFile(path, bytes);
    return path;
}

} // namespace

TEST(DbaseIndexDamage, TruncatedCopiesAreReportedByName)
{
    ScratchDir dir;
    for (const char *name : IndexFixtures) {
        SCOPED_TRACE(name);
        const qint64 size = testsupport::readAll(fixture(QString::fromLatin1(name))).size();
        for (const qint64 keep : {qint64(0), qint64(20), qint64(700), size / 2, size - 1}) {
            const QString path = damaged(dir, name, [keep](QByteArray &b) { b.truncate(keep); });
            const QString error = readEverything(path);
            EXPECT_TRUE(error.contains(QFileInfo(path).fileName())) << keep << ": " << error.toStdString();
            EXPECT_TRUE(error.contains(QStringLiteral("beschädigt"))) << keep << ": " << error.toStdString();
        }
    }
}

TEST(DbaseIndexDamage, BentPagePointers)
{
    ScratchDir dir;
    // .ndx: the root's pointers all lead back to the root.
    QString path = damaged(dir, "dbase/dbd-xbase/ndx-char.ndx", [](QByteArray &b) {
        io::putLe32(b.data() + 10 * 512 + 4, 10);
        io::putLe32(b.data() + 10 * 512 + 4 + 88, 10);
    });
    EXPECT_TRUE(readEverything(path).contains(QStringLiteral("Kreis")));
    // .ndx: a pointer far past the end of the file.
    path = damaged(dir, "dbase/dbd-xbase/ndx-char.ndx", [](QByteArray &b) { io::putLe32(b.data() + 10 * 512 + 4, 0x7FFFFFFF); });
    EXPECT_TRUE(readEverything(path).contains(QStringLiteral("außerhalb")));
    // .ndx: more keys than a node holds.
    path = damaged(dir, "dbase/dbd-xbase/ndx-char.ndx", [](QByteArray &b) { io::putLe32(b.data() + 10 * 512, 0xFFFFFFF0); });
    EXPECT_FALSE(readEverything(path).isEmpty());

    // .mdx: a leaf turned into a branch whose pointers lead back to itself (page 16).
    path = damaged(dir, "dbase/simatic-s7/siprom/CHANGELOG.MDX", [](QByteArray &b) {
        for (int i = 0; i <= 3; ++i)
            io::putLe32(b.data() + 16 * 512 + 8 + i * 16, 16);
    });
    EXPECT_TRUE(readEverything(path).contains(QStringLiteral("Kreis")));
    // .mdx: a tag whose root lies past the end.
    path = damaged(dir, "dbase/simatic-s7/siprom/CHANGELOG.MDX", [](QByteArray &b) { io::putLe32(b.data() + 4 * 512, 100000); });
    EXPECT_TRUE(readEverything(path).contains(QStringLiteral("außerhalb")));
    // .mdx: a tag table claiming more tags than it has room for.
    path = damaged(dir, "dbase/simatic-s7/siprom/CHANGELOG.MDX", [](QByteArray &b) { io::putLe16(b.data() + 28, 200); });
    EXPECT_FALSE(readEverything(path).isEmpty());

    // .dcx: an interior node's child pointers lead back to the node itself.
    path = damaged(dir, "foxpro/infused-dbf/foxprodb/FOXPRO-DB-TEST.DCX", [](QByteArray &b) {
        const int keys = io::le16(b.constData() + 0xa00 + 2);
        for (int i = 0; i < keys; ++i)
            io::putBe32(b.data() + 0xa00 + 12 + i * (148 + 8) + 148 + 4, 0xa00);
    });
    EXPECT_TRUE(readEverything(path).contains(QStringLiteral("Kreis")));
    // .cdx: a compact leaf whose bit layout is impossible, and one with too many keys.
    path = damaged(dir, "foxpro/dbd-xbase/rooms.cdx", [](QByteArray &b) { b[0xa00 + 23] = 0; });
    EXPECT_TRUE(readEverything(path).contains(QStringLiteral("Bitaufteilung")));
    path = damaged(dir, "foxpro/dbd-xbase/rooms.cdx", [](QByteArray &b) { io::putLe16(b.data() + 0xa00 + 2, 0xFFFF); });
    EXPECT_FALSE(readEverything(path).isEmpty());
    // .cdx: the tag directory points into the file header.
    path = damaged(dir, "foxpro/dbd-xbase/rooms.cdx", [](QByteArray &b) { io::putLe32(b.data(), 0); });
    EXPECT_FALSE(readEverything(path).isEmpty());
}

TEST(DbaseIndexDamage, RandomByteChangesNeverCrash)
{
    ScratchDir dir;
    quint32 state = 12345;
    const auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    int failures = 0, runs = 0;
    for (const char *name : IndexFixtures) {
        const QByteArray original = testsupport::readAll(fixture(QString::fromLatin1(name)));
        for (int round = 0; round < 150; ++round) {
            const QString path = damaged(dir, name, [&](QByteArray &b) {
                for (int n = 1 + int(next() % 8); n > 0; --n)
                    b[qsizetype(next() % quint32(original.size()))] = char(next());
            });
            ++runs;
            failures += !readEverything(path).isEmpty(); // only EngineError may leave; anything else fails the test
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_LT(failures, runs);
}

TEST(DbaseIndexDamage, TableOpensAndNamesTheBrokenIndex)
{
    ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    damaged(dir, "foxpro/dbd-xbase/rooms.cdx", [](QByteArray &b) { b.truncate(3000); });
    static DbaseDriver driver;
    auto t = driver.open(dir.path(), QStringLiteral("rooms.dbf"), OpenOptions{true, false});
    EXPECT_EQ(t->rowCount(), 42);
    EXPECT_TRUE(t->indexDefs().isEmpty());
    try {
        t->indexOrder(QStringLiteral("ROOMNAME"));
        ADD_FAILURE() << "no error";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("rooms.cdx"))) << e.message().toStdString();
    }
    bool told = false;
    for (const auto &fact : t->facts())
        told = told || (fact.first == QStringLiteral("Indexfehler") && fact.second.contains(QStringLiteral("rooms.cdx")));
    EXPECT_TRUE(told);
    // Opened for changes, the damaged index makes it read-only and says which file.
    auto writable = driver.open(dir.path(), QStringLiteral("rooms.dbf"), OpenOptions{false, false});
    EXPECT_TRUE(writable->readOnlyReason().contains(QStringLiteral("rooms.cdx"))) << writable->readOnlyReason().toStdString();
    EXPECT_TRUE(writable->readOnlyReason().contains(QStringLiteral("nur gelesen"))) << writable->readOnlyReason().toStdString();

    // An index naming records the table does not have does not fit it.
    const QString shortTable = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.ndx"));
    {
        QByteArray bytes = testsupport::readAll(shortTable);
        io::putLe32(bytes.data() + 4, 20); // the header now counts 20 records
        writeFile(shortTable, bytes);
    }
    auto s = driver.open(dir.path(), QStringLiteral("ndx-char.dbf"), OpenOptions{true, false});
    EXPECT_THROW(s->indexOrder(QStringLiteral("ndx-char")), EngineError);
    EXPECT_THROW(s->indexOrder(QStringLiteral("nothing")), EngineError);
}
