// The dBASE file layer on its own, below the table interface: records and
// deletion flags by record number as a real file holds them, and records
// written back byte for byte (people.dbf: NAME C(16), BIRTHDATE D, header 97
// bytes, records of 25 bytes; dbfread reads Alice, Bob and the deleted "Deleted Guy").
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/dbase/DbfFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using engine::EngineError;
using engine::ErrorKind;
using engine::dbase::DbfFile;
using testsupport::ScratchDir;

namespace {

QStringList entriesBeside(const QString &path)
{
    return QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Record number (0-based) of people.dbf as the file holds it after a change.
QByteArray storedRecord(const QString &path, int number)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(97 + number * 25))
        return {};
    return f.read(25);
}

} // namespace

TEST(DbaseFile, RecordsAndDeletionFlagsByNumberAsTheFileHoldsThem)
{
    const QString path = testsupport::fixture(QStringLiteral("dbase/dbfread/people.dbf"));
    DbfFile file;
    EXPECT_FALSE(file.open(path, true, entriesBeside(path))); // opened for reading only
    EXPECT_EQ(file.tableName(), QStringLiteral("people"));
    EXPECT_EQ(file.header().version, 0x03);
    EXPECT_EQ(file.header().recordCount, 3);
    EXPECT_EQ(file.header().headerLength, 97);
    EXPECT_EQ(file.header().recordLength, 25);
    EXPECT_FALSE(file.hasMemoFields());

    // Deleted records are records here: the layer answers by number, not by position.
    EXPECT_EQ(file.decode(file.record(0), 0, 0).toString(), QStringLiteral("Alice"));
    EXPECT_EQ(file.decode(file.record(0), 1, 0).toDate(), QDate(1987, 3, 1));
    EXPECT_EQ(file.decode(file.record(1), 1, 1).toDate(), QDate(1980, 11, 12));
    EXPECT_EQ(file.decode(file.record(2), 0, 2).toString(), QStringLiteral("Deleted Guy"));
    EXPECT_EQ(file.deletedAmong(0, 3), std::vector<quint16>{2});
    EXPECT_EQ(file.deletedAmong(1, 2), std::vector<quint16>{1});
    EXPECT_EQ(file.readRecordDirect(2).left(12), QByteArray("*Deleted Guy"));
    try {
        file.checkRow(3);
        ADD_FAILURE() << "record 4 of 3 was accepted";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_TRUE(e.message().contains(QLatin1String("Satz 4"))) << e.message().toStdString();
    }
}

TEST(DbaseFile, RecordsWrittenByteForByteAndTooLongValuesRefused)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    DbfFile file;
    ASSERT_TRUE(file.open(path, false, entriesBeside(path)));

    std::vector<DbfFile::PendingMemo> memos;
    QByteArray rec = file.readRecordDirect(1);
    file.encode(rec, 0, QStringLiteral("Bärbel"), memos);
    file.encode(rec, 1, QDate(2001, 2, 3), memos);
    EXPECT_TRUE(memos.empty());
    // Too long for NAME C(16): refused (the caller drops a record it could not fill).
    QByteArray refused = rec;
    try {
        file.encode(refused, 0, QStringLiteral("Siebzehn Zeichen!"), memos);
        ADD_FAILURE() << "a 17-character name was put into C(16)";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::RefusedValue);
        EXPECT_TRUE(e.message().contains(QLatin1String("zu lang"))) << e.message().toStdString();
    }
    file.writeRecord(1, rec);
    // No code page mark: the DOS default 437 stores "ä" as 0x84.
    EXPECT_EQ(storedRecord(path, 1), QByteArray(" B\x84rbel          20010203"));

    file.markDeleted(0);
    EXPECT_EQ(storedRecord(path, 0).left(6), QByteArray("*Alice"));
    EXPECT_TRUE(file.deletedOnDisk(0));
    EXPECT_FALSE(file.deletedOnDisk(1));
    EXPECT_EQ(file.deletedAmong(0, 3), (std::vector<quint16>{0, 2}));

    // Appended records follow the header's count; the end mark follows the last.
    QByteArray added = file.blankRecord();
    ASSERT_EQ(added.size(), 25);
    file.encode(added, 0, QStringLiteral("Neu"), memos);
    file.writeAppended(added, {}, 4);
    file.noteAppended();
    EXPECT_EQ(file.header().recordCount, 4);
    EXPECT_EQ(storedRecord(path, 3), QByteArray(" Neu                     "));
    const QByteArray whole = testsupport::readAll(path);
    EXPECT_EQ(whole.size(), 97 + 4 * 25 + 1);
    EXPECT_EQ(whole.back(), '\x1A');
    EXPECT_EQ(quint8(whole[4]), 4); // the count in the header
    const QDate today = QDate::currentDate();
    EXPECT_EQ(quint8(whole[1]) + 1900, today.year());
    EXPECT_EQ(quint8(whole[2]), today.month());
    EXPECT_EQ(quint8(whole[3]), today.day());
}
