// Damaged and truncated dBASE files: every fault is an EngineError naming the
// file, never a crash or a read outside the data.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::openDbf;
using testsupport::ScratchDir;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray patched(QByteArray bytes, int offset, const QByteArray &with)
{
    bytes.replace(offset, with.size(), with);
    return bytes;
}

QByteArray le16(int v)
{
    return QByteArray(1, char(v & 0xFF)) + QByteArray(1, char((v >> 8) & 0xFF));
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

// Opens and reads every value; returns the error message, empty when all went well.
QString readEverything(const QString &path, qint64 *rows = nullptr)
{
    try {
        auto t = openDbf(path, OpenOptions{});
        const qint64 n = t->rowCount();
        if (rows)
            *rows = n;
        QString lastError;
        for (qint64 p = 0; p < n; ++p) {
            const RowId r = t->rowAt(p);
            EXPECT_EQ(t->positionOf(r), p);
            for (int f = 0; f < t->fieldDefs().size(); ++f) {
                try {
                    t->text(r, f);
                } catch (const EngineError &e) {
                    lastError = e.message(); // a damaged memo; the other fields still read
                }
            }
        }
        t->facts();
        return lastError;
    } catch (const EngineError &e) {
        return e.message();
    }
}

struct Fixture {
    const char *table;
    const char *memo;
};

const Fixture kFixtures[] = {
    {"dbase/dans-dbase3plus/cars.dbf", "dbase/dans-dbase3plus/cars.dbt"},
    {"dbase/infused-dbf/dbase_8b.dbf", "dbase/infused-dbf/dbase_8b.dbt"},
    {"foxpro/go-dbase/TEST.DBF", "foxpro/go-dbase/TEST.FPT"},
    {"foxpro/dans-foxpro26/FPROALL.DBF", "foxpro/dans-foxpro26/FPROALL.FPT"},
    {"dbase/dans-dbase3plus-deleted/cars.dbf", nullptr},
};

} // namespace

TEST(DbaseDamage, TruncatedTablesGiveErrorsOrTheRecordsPresent)
{
    for (const Fixture &fx : kFixtures) {
        SCOPED_TRACE(fx.table);
        ScratchDir dir;
        const QString table = dir.copyFixture(QString::fromLatin1(fx.table));
        if (fx.memo)
            dir.copyFixture(QString::fromLatin1(fx.memo));
        const QByteArray whole = testsupport::readAll(table);
        const int headerLength = quint8(whole[8]) | (quint8(whole[9]) << 8);
        const int recordLength = quint8(whole[10]) | (quint8(whole[11]) << 8);
        // Cut the file shorter step by step, down to nothing.
        for (int length = int(whole.size()) - 1; length >= 0; --length) {
            ASSERT_TRUE(QFile::resize(table, length));
            qint64 rows = -1;
            const QString error = readEverything(table, &rows);
            if (length < headerLength) {
                EXPECT_FALSE(error.isEmpty()) << "length " << length;
                EXPECT_TRUE(error.contains(QFileInfo(table).fileName())) << error.toStdString();
            } else {
                // Lenient like other readers: the whole records present are shown.
                EXPECT_TRUE(error.isEmpty()) << "length " << length << ": " << error.toStdString();
                EXPECT_GE(rows, 0);
                EXPECT_LE(rows, (length - headerLength) / recordLength) << "length " << length;
            }
        }
        // A header naming more records than there are is said so and makes the table read-only.
        writeFile(table, whole.left(whole.size() - recordLength - 1));
        auto t = openDbf(table, OpenOptions{});
        EXPECT_FALSE(t->readOnlyReason().isEmpty());
        bool said = false;
        for (const auto &f : t->facts())
            said = said || f.first == QStringLiteral("Sätze in der Datei");
        EXPECT_TRUE(said);
    }
}

TEST(DbaseDamage, TruncatedMemoFilesNeverCrash)
{
    for (const Fixture &fx : kFixtures) {
        if (!fx.memo)
            continue;
        SCOPED_TRACE(fx.memo);
        ScratchDir dir;
        const QString table = dir.copyFixture(QString::fromLatin1(fx.table));
        const QString memo = dir.copyFixture(QString::fromLatin1(fx.memo));
        const QByteArray whole = testsupport::readAll(memo);
        int errors = 0;
        for (int length = int(whole.size()) - 1; length >= 0; length -= (length < 600 ? 1 : 7)) {
            ASSERT_TRUE(QFile::resize(memo, length));
            const QString error = readEverything(table);
            if (!error.isEmpty()) {
                ++errors;
                EXPECT_TRUE(error.contains(QFileInfo(memo).fileName())) << error.toStdString();
            }
        }
        EXPECT_GT(errors, 0);
    }
}

TEST(DbaseDamage, InconsistentHeadersAreRefusedWithTheFileAndTheFault)
{
    ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    const QByteArray good = testsupport::readAll(table);
    // cars.dbf: header 225 bytes, records 46 bytes, six fields.
    const QList<QPair<const char *, QByteArray>> cases{
        {"header length 0", patched(good, 8, le16(0))},
        {"header length 31", patched(good, 8, le16(31))},
        {"header length past the end", patched(good, 8, le16(0xFFFF))},
        {"descriptors past the header", patched(good, 8, le16(32 + 32 * 3 + 10))},
        {"record length 0", patched(good, 10, le16(0))},
        {"record length shorter than the fields", patched(good, 10, le16(40))},
        {"unknown version", patched(good, 0, QByteArray("\x01", 1))},
        {"unknown field type", patched(good, 32 + 11, QByteArray("Z"))},
        {"date field of width 5", patched(good, 32 + 3 * 32 + 16, QByteArray("\x05", 1))},
        {"logical field of width 3", patched(good, 32 + 2 * 32 + 16, QByteArray("\x03", 1))},
        {"memo field of width 7", patched(good, 32 + 5 * 32 + 16, QByteArray("\x07", 1))},
        {"no field at all", patched(good, 32, QByteArray("\x0D", 1))},
    };
    for (const auto &[what, bytes] : cases) {
        writeFile(table, bytes);
        try {
            openDbf(table, OpenOptions{});
            ADD_FAILURE() << what << " opened";
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("cars.dbf"))) << what << ": " << e.message().toStdString();
        }
    }
    // The file is not a table at all.
    writeFile(table, QByteArray(31, 'x'));
    EXPECT_THROW(openDbf(table, OpenOptions{}), EngineError);
    writeFile(table, QByteArray());
    EXPECT_THROW(openDbf(table, OpenOptions{}), EngineError);
}

TEST(DbaseDamage, MemoPointersOutsideTheMemoFile)
{
    ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    const QString memo = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    const QByteArray good = testsupport::readAll(table);
    const int descr = 225 + 36; // DESCR of the first record (header 225, field offset 36)
    const QList<QPair<const char *, QByteArray>> pointers{
        {"past the end", "      9999"},
        {"beyond 32 bits", "9999999999"},
        {"not a number", "   12abc  "},
    };
    for (const auto &[what, pointer] : pointers) {
        writeFile(table, patched(good, descr, pointer.left(10)));
        auto t = openDbf(table, OpenOptions{});
        try {
            t->value(0, 5);
            ADD_FAILURE() << what << " read";
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("cars."))) << e.message().toStdString();
        }
        // Other fields and records stay readable.
        EXPECT_EQ(t->value(0, 0).toString(), QStringLiteral("PASSAT"));
        EXPECT_TRUE(t->value(2, 5).toString().startsWith(QStringLiteral("DESCRIPTION")));
    }
    Q_UNUSED(memo);
    // Block 0 is the memo file's header: a pointer to it means "no memo".
    writeFile(table, patched(good, descr, "         0"));
    EXPECT_FALSE(openDbf(table, OpenOptions{})->value(0, 5).isValid());

    // dBASE IV: a memo whose stored length runs past the end of the file.
    const QString t4 = dir.copyFixture(QStringLiteral("dbase/dans-dbase4/MEMOTEST.DBF"));
    const QString m4 = dir.copyFixture(QStringLiteral("dbase/dans-dbase4/MEMOTEST.DBT"));
    writeFile(m4, patched(testsupport::readAll(m4), 512 + 4, le32(0x7FFFFFF0)));
    EXPECT_THROW(openDbf(t4, OpenOptions{})->value(0, 1), EngineError);
    writeFile(m4, patched(testsupport::readAll(m4), 512 + 4, le32(3))); // shorter than its own header
    EXPECT_THROW(openDbf(t4, OpenOptions{})->value(0, 1), EngineError);

    // FoxPro: length past the end, and a block inside the file header.
    const QString tf = dir.copyFixture(QStringLiteral("foxpro/go-dbase/TEST.DBF"));
    const QString mf = dir.copyFixture(QStringLiteral("foxpro/go-dbase/TEST.FPT"));
    const QByteArray fpt = testsupport::readAll(mf);
    writeFile(mf, patched(fpt, 512 + 4, QByteArray("\x7F\xFF\xFF\xFF", 4)));
    EXPECT_THROW(openDbf(tf, OpenOptions{})->value(0, 9), EngineError);
    writeFile(mf, fpt);
    const QByteArray dbf = testsupport::readAll(tf);
    writeFile(tf, patched(dbf, 840 + 66, le32(2))); // block 2 of 64 bytes lies in the 512-byte header
    EXPECT_THROW(openDbf(tf, OpenOptions{})->value(0, 9), EngineError);
    // A block size of 0 in the memo header: the table opens, the memo reports the fault.
    writeFile(tf, dbf);
    writeFile(mf, patched(fpt, 6, QByteArray("\0\0", 2)));
    auto t = openDbf(tf, OpenOptions{});
    EXPECT_EQ(t->value(0, 1).toString(), QStringLiteral("TEST PRODUCT"));
    EXPECT_THROW(t->value(0, 9), EngineError);
    EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("TEST.FPT")));
}

TEST(DbaseDamage, RecordsAndFieldsOutsideTheTable)
{
    ScratchDir dir;
    auto t = openDbf(dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf")), OpenOptions{});
    EXPECT_THROW(t->value(3, 0), EngineError);
    EXPECT_THROW(t->value(-1, 0), EngineError);
    EXPECT_THROW(t->value(0, 2), EngineError);
    EXPECT_THROW(t->value(0, -1), EngineError);
    EXPECT_THROW(t->rowAt(-1), EngineError);
    EXPECT_THROW(t->rowAt(2), EngineError);
    EXPECT_EQ(t->positionOf(-5), -1);
    EXPECT_EQ(t->positionOf(99), -1);
}
