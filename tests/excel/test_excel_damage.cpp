// Damaged and foreign files: every failure is an EngineError naming the file,
// never a crash, an endless loop or another exception.
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/excel/ExcelDriver.h"

#include <QFile>
#include <QFileInfo>
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

// Lists, opens and reads every table; true when all of it worked, false when an
// EngineError naming the file stopped it. Anything else fails the test. The
// table names and texts read go to *values.
bool readEverything(const QString &path, const QString &fileName, QStringList *values = nullptr)
{
    ExcelDriver driver;
    try {
        const QStringList names = driver.tableNames(path);
        for (const QString &name : names) {
            auto table = driver.open(path, name, {});
            if (values)
                *values << name;
            for (qint64 r = 0; r < table->rowCount(); ++r) {
                for (int c = 0; c < table->fieldDefs().size(); ++c) {
                    const QString text = table->text(table->rowAt(r), c);
                    if (values)
                        *values << text;
                }
            }
        }
        return true;
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(fileName)) << e.message().toStdString();
        return false;
    } catch (const std::exception &e) {
        ADD_FAILURE() << "not an EngineError: " << e.what();
        return false;
    }
}

QByteArray sampleWorkbook(const ScratchDir &dir)
{
    const QString path = dir.file(QStringLiteral("muster.xls"));
    ExcelDriver driver;
    FieldDef a, b;
    a.name = QStringLiteral("Text");
    a.dataType = ftString;
    b.name = QStringLiteral("Zahl");
    b.dataType = ftFloat;
    auto writer = driver.createWriter(path, QStringLiteral("Tabelle"), {a, b});
    for (int i = 0; i < 40; ++i)
        writer->writeRow({QStringLiteral("Zeile %1 ü").arg(i), double(i)});
    writer->commit();
    return testsupport::readAll(path);
}

} // namespace

TEST(ExcelDamage, ForeignAndEmptyFilesAreRefusedClearly)
{
    ScratchDir dir;
    const QString empty = dir.file(QStringLiteral("leer.xls"));
    writeFile(empty, QByteArray());
    EXPECT_FALSE(readEverything(empty, QStringLiteral("leer.xls")));

    QRandomGenerator random(4711);
    QByteArray noise(5000, '\0');
    for (char &c : noise)
        c = char(random.bounded(256));
    const QString junk = dir.file(QStringLiteral("rauschen.xls"));
    writeFile(junk, noise);
    EXPECT_FALSE(readEverything(junk, QStringLiteral("rauschen.xls")));

    const QString xlsx = dir.file(QStringLiteral("neu.xls"));
    writeFile(xlsx, QByteArrayLiteral("PK\x03\x04 not really a zip"));
    ExcelDriver driver;
    try {
        driver.tableNames(xlsx);
        FAIL() << "a zip file was read as a workbook";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("2007"))) << e.message().toStdString();
    }
    const QString biff4 = dir.file(QStringLiteral("alt.xls"));
    writeFile(biff4, QByteArray("\x09\x04\x06\x00\x00\x00\x10\x00", 8));
    try {
        driver.tableNames(biff4);
        FAIL() << "an Excel 4.0 file was read";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("4.0"))) << e.message().toStdString();
    }
    EXPECT_THROW(driver.tableNames(dir.file(QStringLiteral("gibtsnicht.xls"))), EngineError);
    EXPECT_THROW(driver.tableNames(dir.path()), EngineError);
}

TEST(ExcelDamage, TruncatedWorkbooks)
{
    ScratchDir dir;
    for (const QString &fixture : {QStringLiteral("excel/xlrd/namesdemo.xls"), QStringLiteral("excel/csvkit/test.xls"),
                                   QStringLiteral("excel/exceldatareader/as3xls_BIFF5.xls")}) {
        const QByteArray bytes = testsupport::readAll(testsupport::fixture(fixture));
        ASSERT_FALSE(bytes.isEmpty());
        QStringList wholeValues;
        ASSERT_TRUE(readEverything(testsupport::fixture(fixture), QFileInfo(fixture).fileName(), &wholeValues));
        for (qsizetype length : {qsizetype(1), qsizetype(511), qsizetype(512), qsizetype(1536), qsizetype(4096),
                                 bytes.size() / 2, bytes.size() - 600, bytes.size() - 1}) {
            SCOPED_TRACE(testing::Message() << fixture.toStdString() << " cut to " << length);
            const QString path = dir.file(QStringLiteral("kurz.xls"));
            writeFile(path, bytes.left(length));
            // A cut-off container is refused, with a message naming the file
            // (readEverything checks the message). Only a cut through unused
            // space at the end may open, and then with every value of the whole.
            QStringList values;
            if (readEverything(path, QStringLiteral("kurz.xls"), &values)) {
                EXPECT_GT(length, 4096);
                EXPECT_EQ(values, wholeValues);
            }
        }
    }
}

// Bytes changed at random in real and in written workbooks (fixed seeds, so a
// failure repeats): a record's length, a string's count or a sheet's position
// may point anywhere.
TEST(ExcelDamage, RandomlyChangedBytes)
{
    ScratchDir dir;
    QList<QByteArray> originals{sampleWorkbook(dir),
                                testsupport::readAll(testsupport::fixture(QStringLiteral("excel/xlrd/Formate.xls"))),
                                testsupport::readAll(testsupport::fixture(QStringLiteral("excel/exceldatareader/TestUnicodeChars.xls")))};
    QRandomGenerator random(20240229);
    int opened = 0, refused = 0;
    for (int round = 0; round < 150; ++round) {
        QByteArray bytes = originals[round % originals.size()];
        const int changes = 1 + int(random.bounded(12));
        for (int i = 0; i < changes; ++i) {
            // Mostly behind the container's header, where the records are.
            const qsizetype at = 512 + qsizetype(random.bounded(quint32(bytes.size() - 512)));
            bytes[at] = char(random.bounded(256));
        }
        const QString path = dir.file(QStringLiteral("kaputt.xls"));
        writeFile(path, bytes);
        SCOPED_TRACE(round);
        (readEverything(path, QStringLiteral("kaputt.xls")) ? opened : refused)++;
    }
    // readEverything has checked each refusal's message; both outcomes must have
    // occurred, or the damage missed the records it is meant to hit.
    EXPECT_GT(refused, 0);
    EXPECT_GT(opened, 0);
}

TEST(ExcelDamage, RecordsThatPointOutside)
{
    ScratchDir dir;
    const QByteArray good = sampleWorkbook(dir);

    // The sheet's position in its BOUNDSHEET record (id 0x85, 15 bytes for "Tabelle").
    const qsizetype sheet = good.indexOf(QByteArray("\x85\x00\x0F\x00", 4));
    ASSERT_GT(sheet, 0);
    QByteArray badSheet = good;
    badSheet.replace(sheet + 4, 4, QByteArray("\xF0\xFF\xFF\x7F", 4));
    const QString path = dir.file(QStringLiteral("blatt.xls"));
    writeFile(path, badSheet);
    ExcelDriver driver;
    EXPECT_EQ(driver.tableNames(path).size(), 2);
    try {
        driver.open(path, QStringLiteral("Tabelle$"), {});
        FAIL() << "a sheet outside the stream opened";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("blatt.xls")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("beschädigt")));
    }

    // An SST that promises far more strings than it holds.
    const qsizetype sst = good.indexOf(QByteArray("\xFC\x00", 2));
    ASSERT_GT(sst, 0);
    QByteArray badSst = good;
    badSst.replace(sst + 8, 4, QByteArray("\xFF\xFF\xFF\x0F", 4));
    const QString path2 = dir.file(QStringLiteral("sst.xls"));
    writeFile(path2, badSst);
    EXPECT_FALSE(readEverything(path2, QStringLiteral("sst.xls")));
}
