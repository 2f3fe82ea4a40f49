// The base every driver stands on: files replaced whole, data on the disk before
// the count that shows it, unique names, quoting.
#include "EngineError.h"
#include "TestSupport.h"
#include "common/FieldNames.h"
#include "common/FileIo.h"
#include "common/Quoting.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/paradox/ParadoxDriver.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;
using testsupport::readAll;

namespace {

void writeText(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Records every write and sync for one test.
struct IoLog {
    std::vector<io::IoEvent> events;
    IoLog()
    {
        io::setIoObserver([this](const io::IoEvent &e) { events.push_back(e); });
    }
    ~IoLog() { io::setIoObserver(nullptr); }
    // Index of the first write to path that touches [offset, offset+size).
    qsizetype firstWrite(const QString &path, qint64 offset, qint64 size) const
    {
        for (size_t i = 0; i < events.size(); ++i) {
            const auto &e = events[i];
            if (e.kind == io::IoEvent::Write && e.path == path && e.offset < offset + size && offset < e.offset + e.size)
                return qsizetype(i);
        }
        return -1;
    }
    bool syncBetween(const QString &path, qsizetype from, qsizetype to) const
    {
        for (qsizetype i = from + 1; i < to; ++i) {
            if (events[size_t(i)].kind == io::IoEvent::Sync && events[size_t(i)].path == path)
                return true;
        }
        return false;
    }
    bool syncAfter(const QString &path, qsizetype from) const { return syncBetween(path, from, qsizetype(events.size())); }
};

} // namespace

TEST(BaseFiles, AFileIsReplacedWholeOrNotAtAll)
{
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("liste.csv"));
    writeText(path, "alt\r\n");
    io::writeFileSafely(path, QByteArray("neu;1\r\nneu;2\r\n"));
    EXPECT_EQ(readAll(path), QByteArray("neu;1\r\nneu;2\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("liste.csv")});

    // A producer that fails half way leaves the old file and no hidden part file.
    EXPECT_THROW(io::writeFileSafely(path, -1,
                                     [](const io::ByteSink &sink) {
                                         sink("halb", 4);
                                         throw EngineError(QStringLiteral("abgebrochen"));
                                     }),
                 EngineError);
    EXPECT_EQ(readAll(path), QByteArray("neu;1\r\nneu;2\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("liste.csv")});
}

TEST(BaseFiles, FailuresNameTheUsersFileNotAHiddenOne)
{
    ScratchDir dir;
    // A folder that is a regular file: refused for root too.
    const QString blocker = dir.file(QStringLiteral("kein-ordner"));
    writeText(blocker, "x");
    const QString path = blocker + QStringLiteral("/kunden.csv");
    try {
        io::writeFileSafely(path, QByteArray("a"));
        FAIL() << "wrote under a regular file";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Io);
        EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(path))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("unverändert"))) << e.message().toStdString();
        EXPECT_FALSE(e.message().contains(QStringLiteral("XXXXXX"))) << e.message().toStdString();
    }

    // Renaming a finished file over a folder fails; the target stays, the part file goes.
    const QString target = dir.file(QStringLiteral("ziel"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("ziel")));
    const QString part = dir.file(QStringLiteral(".ziel.tmp"));
    writeText(part, "neu");
    try {
        io::renameInto(part, target);
        FAIL() << "renamed a file over a folder";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Io);
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Die Datei %1 lässt sich nicht ersetzen").arg(QDir::toNativeSeparators(target))))
            << e.message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(part));
    EXPECT_TRUE(QFileInfo(target).isDir());

    // A missing file is "not found", other failures are I/O.
    EXPECT_EQ(io::ioError(QStringLiteral("Das Öffnen von"), path, ENOENT).kind(), ErrorKind::NotFound);
    EXPECT_EQ(io::ioError(QStringLiteral("Das Schreiben in"), path, ENOSPC).kind(), ErrorKind::Io);
}

// After a crash a count never names records that are not on the disk: the
// records are synced before the header count that makes them visible, and the
// count is synced before the change is reported done - for both kinds that
// change in place.
TEST(BaseFiles, RecordsReachTheDiskBeforeTheCountThatShowsThem)
{
    {
        SCOPED_TRACE("dBASE");
        ScratchDir dir;
        const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
        DbaseDriver driver;
        auto t = driver.open(dir.path(), QStringLiteral("people.dbf"), {});
        IoLog log;
        t->append({QStringLiteral("Dora"), QDate(2000, 2, 2)});
        const qsizetype count = log.firstWrite(path, 4, 4); // the record count in the header
        ASSERT_GE(count, 0);
        const QByteArray head = readAll(path);
        const qint64 before = io::le32(head.constData() + 4) - 1; // the records before the new one
        const qint64 headerLength = io::le16(head.constData() + 8);
        const qint64 recordLength = io::le16(head.constData() + 10);
        const qsizetype record = log.firstWrite(path, headerLength + before * recordLength, recordLength);
        ASSERT_GE(record, 0);
        EXPECT_LT(record, count);
        EXPECT_TRUE(log.syncBetween(path, record, count));
        EXPECT_TRUE(log.syncAfter(path, count));
    }
    {
        SCOPED_TRACE("Paradox");
        ScratchDir dir;
        const QString path = dir.copyFixture(QStringLiteral("paradox/fields/bcd.db"));
        ParadoxDriver driver;
        auto t = driver.open(dir.path(), QStringLiteral("bcd"), {});
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        for (const char *change : {"append", "remove"}) {
            SCOPED_TRACE(change);
            IoLog log;
            if (QByteArray(change) == "append")
                t->append({1.0, qint64(2), 0.75});
            else
                t->remove(t->rowAt(0));
            const qsizetype count = log.firstWrite(path, 6, 4); // the record count in the header
            ASSERT_GT(count, 0);
            EXPECT_EQ(log.events[0].kind, io::IoEvent::Write); // the records come first
            EXPECT_TRUE(log.syncBetween(path, 0, count));
            EXPECT_TRUE(log.syncAfter(path, count));
        }
        IoLog log;
        t->update(t->rowAt(0), {}, {5.5, qint64(6), 0.5});
        ASSERT_FALSE(log.events.empty());
        EXPECT_EQ(log.events.back().kind, io::IoEvent::Sync);
    }
}

TEST(BaseNames, TakenNamesGetTheFirstFreeNumberWithinTheLength)
{
    text::UniqueNames csv; // no limit, numbers from 2
    EXPECT_EQ(csv.take(QStringLiteral("Name")), QStringLiteral("Name"));
    EXPECT_EQ(csv.take(QStringLiteral("NAME")), QStringLiteral("NAME_2"));
    EXPECT_EQ(csv.take(QStringLiteral("name")), QStringLiteral("name_3"));
    EXPECT_EQ(csv.take(QStringLiteral("Name_2")), QStringLiteral("Name_2_2"));
    EXPECT_EQ(csv.take(QStringLiteral("Straße")), QStringLiteral("Straße"));
    EXPECT_EQ(csv.take(QStringLiteral("STRASSE")), QStringLiteral("STRASSE")); // folding, not German spelling rules
    EXPECT_TRUE(csv.taken(QStringLiteral("nAmE_3")));

    text::UniqueNames dbase(10, 1); // ten characters, numbers from 1
    EXPECT_EQ(dbase.take(QStringLiteral("KUNDENNUMMER")), QStringLiteral("KUNDENNUMM"));
    EXPECT_EQ(dbase.take(QStringLiteral("KUNDENNUMMER2")), QStringLiteral("KUNDENNU_1"));
    EXPECT_EQ(dbase.take(QStringLiteral("kundennummer3")), QStringLiteral("kundennu_2"));
    for (int i = 3; i <= 9; ++i)
        dbase.take(QStringLiteral("KUNDENNUMMER"));
    EXPECT_EQ(dbase.take(QStringLiteral("KUNDENNUMMER")), QStringLiteral("KUNDENN_10"));
}

TEST(BaseQuoting, TheClosingCharacterIsDoubledInside)
{
    EXPECT_EQ(text::quoted(QStringLiteral("a]b"), QLatin1Char('['), QLatin1Char(']')), QStringLiteral("[a]]b]"));
    EXPECT_EQ(text::quoted(QStringLiteral("a[b"), QLatin1Char('['), QLatin1Char(']')), QStringLiteral("[a[b]"));
    EXPECT_EQ(text::doubleQuoted(QStringLiteral("Sag \"ja\"")), QStringLiteral("\"Sag \"\"ja\"\"\""));
    EXPECT_EQ(text::doubleQuoted(QString()), QStringLiteral("\"\""));

    const QChar comma(QLatin1Char(','));
    EXPECT_EQ(text::csvCell(QStringLiteral("Köln"), comma), QStringLiteral("Köln"));
    EXPECT_EQ(text::csvCell(QStringLiteral("Köln; Bonn"), comma), QStringLiteral("Köln; Bonn"));
    EXPECT_EQ(text::csvCell(QStringLiteral("Köln; Bonn"), QLatin1Char(';')), QStringLiteral("\"Köln; Bonn\""));
    EXPECT_EQ(text::csvCell(QStringLiteral("1,5"), comma), QStringLiteral("\"1,5\""));
    EXPECT_EQ(text::csvCell(QStringLiteral("Zeile\nzwei"), comma), QStringLiteral("\"Zeile\nzwei\""));
    EXPECT_EQ(text::csvCell(QStringLiteral("\r"), comma), QStringLiteral("\"\r\""));
    EXPECT_EQ(text::csvCell(QStringLiteral("12\" Zoll"), comma), QStringLiteral("\"12\"\" Zoll\""));
    EXPECT_EQ(text::csvCell(QStringLiteral("text"), comma, true), QStringLiteral("\"text\""));
}
