// Damaged Paradox files: truncated tables, bytes overwritten in the header, the
// block chain and the blob file. Opening and reading must end in EngineError
// or in values, never in a crash or a hang.
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/paradox/ParadoxDriver.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Opens and reads everything; true when it worked, false for an EngineError.
// The values read, as text, go to *values.
bool readAll(const QString &dir, const QString &name, QString *message = nullptr, QStringList *values = nullptr)
{
    try {
        ParadoxDriver driver;
        auto t = driver.open(dir, name, {});
        t->facts();
        for (qint64 r = 0; r < t->rowCount(); ++r) {
            for (int f = 0; f < t->fieldDefs().size(); ++f) {
                try {
                    const QVariant v = t->value(t->rowAt(r), f);
                    if (values)
                        *values << v.toString();
                } catch (const EngineError &e) {
                    // A damaged blob fails its one value, not the table.
                    if (message)
                        *message = e.message();
                    if (values)
                        *values << QStringLiteral("#") + e.message();
                }
            }
        }
        for (const IndexDef &d : t->indexDefs())
            t->indexOrder(d.name);
        return true;
    } catch (const EngineError &e) {
        if (message)
            *message = e.message();
        return false;
    }
}

const char *const tables[] = {"mtdemo/FILMS.DB", "db/AREACODE.DB", "db/CUSTOMER.DB", "db/HERCULES.DB",
                              "fields/bcd.db",   "fields/memo.db",  "geog/tblsttes.DB"};

} // namespace

TEST(ParadoxDamage, TruncatedTablesGiveErrorsNamingTheFile)
{
    for (const char *table : tables) {
        ScratchDir dir;
        const QString path = dir.copyFixture(QStringLiteral("paradox/") + QString::fromLatin1(table));
        const QByteArray whole = testsupport::readAll(path);
        const QString name = QFileInfo(path).fileName();
        QStringList wholeValues;
        ASSERT_TRUE(readAll(dir.path(), name, nullptr, &wholeValues)) << table;
        for (int cut : {0, 10, 0x57, 0x78, 0x100, int(whole.size() / 2), int(whole.size() - 1)}) {
            writeFile(path, whole.left(cut));
            QString message;
            QStringList values;
            if (readAll(dir.path(), name, &message, &values)) {
                // Only a cut through the unused end of the last block may open, and
                // then every value is the one of the whole file.
                EXPECT_GE(cut, 0x100) << table;
                EXPECT_EQ(values, wholeValues) << table << " " << cut;
            } else {
                EXPECT_TRUE(message.contains(name)) << table << " " << cut << ": " << message.toStdString();
            }
        }
        // A cut inside the header is always an error.
        writeFile(path, whole.left(0x80));
        EXPECT_FALSE(readAll(dir.path(), name)) << table;
    }
}

TEST(ParadoxDamage, RandomBytesNeverCrash)
{
    QRandomGenerator random(4711);
    int opened = 0, refused = 0;
    for (const char *table : tables) {
        ScratchDir dir;
        const QString path = dir.copyFixture(QStringLiteral("paradox/") + QString::fromLatin1(table));
        const QString base = QFileInfo(path).completeBaseName();
        for (const QString &ext : {QStringLiteral(".MB"), QStringLiteral(".mb"), QStringLiteral(".PX"), QStringLiteral(".px"),
                                   QStringLiteral(".X06"), QStringLiteral(".Y06")}) {
            const QString companion = QFileInfo(testsupport::fixture(QStringLiteral("paradox/") + QString::fromLatin1(table)))
                                          .dir()
                                          .filePath(base + ext);
            if (QFile::exists(companion))
                dir.copyFixture(QStringLiteral("paradox/") + QFileInfo(QString::fromLatin1(table)).path() + QLatin1Char('/') + base + ext);
        }
        const QByteArray whole = testsupport::readAll(path);
        const QString name = QFileInfo(path).fileName();
        for (int round = 0; round < 60; ++round) {
            QByteArray bytes = whole;
            const int flips = 1 + int(random.bounded(8));
            for (int i = 0; i < flips; ++i) {
                // Mostly the header and the first block, where the structure is.
                const int limit = round % 3 == 0 ? int(bytes.size()) : std::min<int>(int(bytes.size()), 0x900);
                bytes[int(random.bounded(limit))] = char(random.bounded(256));
            }
            writeFile(path, bytes);
            QString message;
            if (readAll(dir.path(), name, &message)) {
                ++opened;
            } else {
                ++refused;
                EXPECT_TRUE(message.contains(name) || message.contains(base, Qt::CaseInsensitive))
                    << table << " round " << round << ": " << message.toStdString();
            }
        }
    }
    // Both outcomes occur, or the changed bytes missed the structure they aim at.
    EXPECT_GT(refused, 0);
    EXPECT_GT(opened, 0);
}

TEST(ParadoxDamage, BrokenBlockChainAndBlobPointers)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("paradox/mtdemo/FILMS.DB"));
    const QByteArray whole = testsupport::readAll(path);
    const int headerSize = 305;
    // Block 1 points to itself: a loop, reported instead of walked forever.
    QByteArray loop = whole;
    loop[headerSize] = 1;
    loop[headerSize + 1] = 0;
    writeFile(path, loop);
    QString message;
    EXPECT_FALSE(readAll(dir.path(), QStringLiteral("FILMS.DB"), &message));
    EXPECT_TRUE(message.contains(QStringLiteral("beschädigt"))) << message.toStdString();
    // Block 1 points past the end of the file.
    QByteArray past = whole;
    past[headerSize] = char(0x40);
    writeFile(path, past);
    EXPECT_FALSE(readAll(dir.path(), QStringLiteral("FILMS.DB")));
    // The header counts more records than the blocks hold: readable, but not changeable.
    QByteArray count = whole;
    count[6] = 99;
    writeFile(path, count);
    ParadoxDriver driver;
    auto t = driver.open(dir.path(), QStringLiteral("FILMS.DB"), {});
    EXPECT_EQ(t->rowCount(), 36);
    EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("99"))) << t->readOnlyReason().toStdString();

    // A memo pointing outside its blob file fails that value with a clear message.
    ScratchDir memoDir;
    const QString memo = memoDir.copyFixture(QStringLiteral("paradox/fields/memo.db"));
    memoDir.copyFixture(QStringLiteral("paradox/fields/memo.mb"));
    QByteArray bytes = testsupport::readAll(memo);
    const int descriptor = 0x806 + 4 + 240; // first record: Id, then the 240-byte leader
    bytes[descriptor + 2] = char(0x7F);     // offset far beyond the file
    writeFile(memo, bytes);
    auto m = driver.open(memoDir.path(), QStringLiteral("memo"), {});
    try {
        m->value(m->rowAt(0), 1);
        FAIL() << "a pointer outside the blob file was followed";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("memo.mb"))) << e.message().toStdString();
    }
    EXPECT_EQ(m->value(m->rowAt(1), 1), QVariant(QStringLiteral("01234567890\n")));
    // Without the blob file, values in the leader still read.
    QFile::remove(memoDir.file(QStringLiteral("memo.mb")));
    auto noBlob = driver.open(memoDir.path(), QStringLiteral("memo"), {});
    EXPECT_EQ(noBlob->value(noBlob->rowAt(1), 1), QVariant(QStringLiteral("01234567890\n")));
    EXPECT_THROW(noBlob->value(noBlob->rowAt(0), 1), EngineError);
    EXPECT_TRUE(noBlob->readOnlyReason().contains(QStringLiteral("fehlt")));
}

TEST(ParadoxDamage, ForeignFilesAreNotTables)
{
    ScratchDir dir;
    writeFile(dir.file(QStringLiteral("TEXT.DB")), QByteArray("Dies ist keine Paradox-Tabelle, nur Text.\n").repeated(10));
    writeFile(dir.file(QStringLiteral("EMPTY.DB")), QByteArray());
    QString message;
    EXPECT_FALSE(readAll(dir.path(), QStringLiteral("TEXT"), &message));
    EXPECT_TRUE(message.contains(QStringLiteral("TEXT.DB"))) << message.toStdString();
    EXPECT_FALSE(readAll(dir.path(), QStringLiteral("EMPTY"), &message));
    EXPECT_TRUE(message.contains(QStringLiteral("EMPTY.DB"))) << message.toStdString();
}
