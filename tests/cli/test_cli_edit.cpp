// Editing records and repairing indexes from the command line: append, set and
// delete on copies of real tables, read back by dbfread (Python) and
// XBase::Index (Perl); check and reindex on index files with planted faults.
#include "CliRun.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using testsupport::ScratchDir;

namespace {

using clitest::Result;
using clitest::runCli;
using clitest::dbfreadDump;

QStringList perlKeys(const QString &file, const QString &tag)
{
    QProcess perl;
    perl.start(QStringLiteral("perl"), {QStringLiteral(BRISVEL_SOURCE_TESTS "/engine/perl/index_keys.pl"), file, tag, QStringLiteral("char")});
    perl.waitForFinished(60000);
    EXPECT_EQ(perl.exitCode(), 0) << "XBase::Index (libdbd-xbase-perl) must be installed: "
                                  << perl.readAllStandardError().toStdString();
    return QString::fromLatin1(perl.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(CliEdit, AppendSetDeleteWithGermanValues)
{
    ScratchDir dir;
    const QString people = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    Result r = runCli({QStringLiteral("append"), people, QStringLiteral("NAME=Zoe"), QStringLiteral("birthdate=24.12.1990")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Satz 3 angefügt.\n"));
    r = runCli({QStringLiteral("set"), people, QStringLiteral("1"), QStringLiteral("BIRTHDATE=2.1.1988")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(dbfreadDump(people, "cp1252"),
              QStringLiteral("NAME,BIRTHDATE\r\nAlice,02.01.1988\r\nBob,12.11.1980\r\nZoe,24.12.1990\r\n"));

    // The number counts shown records: after deleting Alice, record 1 is Bob.
    r = runCli({QStringLiteral("delete"), people, QStringLiteral("1")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = runCli({QStringLiteral("set"), people, QStringLiteral("1"), QStringLiteral("NAME=Robert")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(dbfreadDump(people, "cp1252"), QStringLiteral("NAME,BIRTHDATE\r\nRobert,12.11.1980\r\nZoe,24.12.1990\r\n"));
}

TEST(CliEdit, CsvTablesAreEditedToo)
{
    ScratchDir dir;
    const QString csv = dir.copyFixture(QStringLiteral("csv/rows/all-field-types.csv"));
    Result r = runCli({QStringLiteral("append"), csv, QStringLiteral("integer_column=42"), QStringLiteral("float_column=2,5"),
                       QStringLiteral("date_column=24.12.2020"), QStringLiteral("unicode_column=Ünïcode")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = runCli({QStringLiteral("delete"), csv, QStringLiteral("2")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = QString::fromUtf8(testsupport::readAll(csv)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines.last().trimmed(), QStringLiteral(",42,2.5,,,2020-12-24,,Ünïcode"));
    EXPECT_TRUE(lines.at(2).startsWith(QStringLiteral("true,3,"))) << lines.at(2).toStdString();
}

TEST(CliEdit, RefusedEditsWriteNothing)
{
    ScratchDir dir;
    const QString people = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    const QByteArray before = testsupport::readAll(people);
    const struct {
        QStringList arguments;
        const char *message;
    } cases[] = {
        {{QStringLiteral("set"), people, QStringLiteral("3"), QStringLiteral("NAME=x")}, "Einen Satz 3 gibt es nicht; die Tabelle hat 2 Sätze."},
        {{QStringLiteral("set"), people, QStringLiteral("0"), QStringLiteral("NAME=x")}, "'0' ist keine Satznummer"},
        {{QStringLiteral("delete"), people, QStringLiteral("zwei")}, "'zwei' ist keine Satznummer"},
        {{QStringLiteral("append"), people, QStringLiteral("NAME=x"), QStringLiteral("GEBURT=1.1.2000")}, "kein Feld 'GEBURT'"},
        // The first value is fine, the second is not: the record is not written half.
        {{QStringLiteral("append"), people, QStringLiteral("NAME=x"), QStringLiteral("BIRTHDATE=31.02.2000")}, "'31.02.2000' ist kein gültiges Datum"},
        {{QStringLiteral("set"), people, QStringLiteral("1"), QStringLiteral("NAME=%1").arg(QString(17, QLatin1Char('y')))}, "zu lang"},
        {{QStringLiteral("set"), people, QStringLiteral("1"), QStringLiteral("NAME")}, "keine Zuweisung der Form FELD=WERT"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const Result r = runCli(c.arguments);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_EQ(testsupport::readAll(people), before);
    }
    const Result usage = runCli({QStringLiteral("set"), people, QStringLiteral("1")});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(testsupport::readAll(people), before);
}

TEST(CliEdit, EditsKeepTheCompoundIndexAndCheckFindsNothing)
{
    ScratchDir dir;
    const QString rooms = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    const QString cdx = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.cdx"));
    ASSERT_EQ(runCli({QStringLiteral("append"), rooms, QStringLiteral("ROOMNAME=Aaa"), QStringLiteral("FACILITY=Audio")}).status, 0);
    ASSERT_EQ(runCli({QStringLiteral("set"), rooms, QStringLiteral("3"), QStringLiteral("ROOMNAME=Zzz")}).status, 0);
    const Result check = runCli({QStringLiteral("check"), rooms});
    EXPECT_EQ(check.status, 0) << check.out.toStdString();
    // XBase::Index reads the new keys where they belong.
    const QStringList names = perlKeys(cdx, QStringLiteral("ROOMNAME"));
    ASSERT_EQ(names.size(), 43);
    EXPECT_TRUE(names.contains(QStringLiteral("Aaa|43")));
    EXPECT_EQ(names.last(), QStringLiteral("Zzz|3"));
    const QStringList audio = perlKeys(cdx, QStringLiteral("AUDIO"));
    EXPECT_TRUE(audio.contains(QStringLiteral("Aaa|43")));
}

TEST(CliEdit, CheckReportsPlantedFaultsAndReindexMendsThem)
{
    ScratchDir dir;
    const QString table = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.dbf"));
    const QString ndx = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.ndx"));
    // The fixture as written by its program fits its records.
    Result r = runCli({QStringLiteral("check"), table});
    ASSERT_EQ(r.status, 0) << r.out.toStdString();

    // A record number in the first leaf is bent to another record: one record
    // has two entries, another none.
    QByteArray bytes = testsupport::readAll(ndx);
    const qint64 root = qint64(quint8(bytes[0]) | (quint8(bytes[1]) << 8)) * 512;
    qint64 leaf = root;
    while (quint8(bytes[leaf + 4]) | quint8(bytes[leaf + 5])) // a branch: follow the first child
        leaf = qint64(quint8(bytes[leaf + 4]) | (quint8(bytes[leaf + 5]) << 8)) * 512;
    const int entry = quint8(bytes[18]);
    const quint8 first = quint8(bytes[leaf + 4 + 4]);
    const quint8 second = quint8(bytes[leaf + 4 + entry + 4]);
    bytes[leaf + 4 + entry + 4] = char(first);
    QFile out(ndx);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    r = runCli({QStringLiteral("check"), table});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Index ndx-char in ndx-char.ndx: Satz %1 fehlt").arg(second))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Satz %1 steht zweimal darin").arg(first))) << r.out.toStdString();

    r = runCli({QStringLiteral("reindex"), table});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = runCli({QStringLiteral("check"), table});
    EXPECT_EQ(r.status, 0) << r.out.toStdString();
    EXPECT_EQ(perlKeys(ndx, QString()).size(), 28);

    // Kinds whose index files the program does not write say so.
    const QString csv = dir.copyFixture(QStringLiteral("csv/rows/all-field-types.csv"));
    r = runCli({QStringLiteral("check"), csv});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.isEmpty());
}

TEST(CliEdit, IndexAddsTagsToANewMdxAndAnExistingCdx)
{
    ScratchDir dir;
    const QString people = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    Result r = runCli({QStringLiteral("index"), people, QStringLiteral("byname"), QStringLiteral("UPPER(NAME)")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = runCli({QStringLiteral("index"), people, QStringLiteral("BDATE"), QStringLiteral("BIRTHDATE")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString mdx = dir.file(QStringLiteral("people.mdx"));
    // The table's header now says it has a production index.
    EXPECT_EQ(quint8(testsupport::readAll(people).at(28)) & 0x01, 1);
    ASSERT_EQ(runCli({QStringLiteral("append"), people, QStringLiteral("NAME=Abe"), QStringLiteral("BIRTHDATE=1.1.1970")}).status, 0);
    EXPECT_EQ(perlKeys(mdx, QStringLiteral("BYNAME")),
              QStringList({QStringLiteral("ABE|4"), QStringLiteral("ALICE|1"), QStringLiteral("BOB|2"), QStringLiteral("DELETED GUY|3")}));
    r = runCli({QStringLiteral("dump"), QStringLiteral("--index"), QStringLiteral("bdate"), people});
    EXPECT_EQ(r.out, QStringLiteral("NAME,BIRTHDATE\r\nAbe,01.01.1970\r\nBob,12.11.1980\r\nAlice,01.03.1987\r\n"));
    EXPECT_EQ(runCli({QStringLiteral("check"), people}).status, 0);

    // Refused: a name in use, a key the program cannot compute; the file stays.
    const QByteArray before = testsupport::readAll(mdx);
    r = runCli({QStringLiteral("index"), people, QStringLiteral("BDATE"), QStringLiteral("NAME")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Einen Index BDATE gibt es schon"))) << r.err.toStdString();
    r = runCli({QStringLiteral("index"), people, QStringLiteral("KAPUTT"), QStringLiteral("SOUNDEX(NAME)")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("SOUNDEX(NAME)"))) << r.err.toStdString();
    EXPECT_EQ(testsupport::readAll(mdx), before);

    // A FoxPro table's compound index gets one more tag beside its five.
    const QString rooms = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    const QString cdx = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.cdx"));
    r = runCli({QStringLiteral("index"), rooms, QStringLiteral("ZIMMER"), QStringLiteral("UPPER(facility)+roomname")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(runCli({QStringLiteral("set"), rooms, QStringLiteral("2"), QStringLiteral("FACILITY=Aaa")}).status, 0);
    EXPECT_EQ(runCli({QStringLiteral("check"), rooms}).status, 0);
    const QStringList keys = perlKeys(cdx, QStringLiteral("ZIMMER"));
    ASSERT_EQ(keys.size(), 42);
    // Record 42 is blank in both fields, record 1 has no facility and the room " None".
    EXPECT_EQ(keys.at(0), QStringLiteral("|42"));
    EXPECT_EQ(keys.at(1), QString(10, QLatin1Char(' ')) + QStringLiteral(" None|1"));
    EXPECT_TRUE(keys.contains(QStringLiteral("AAA       Bay  1|2"))) << keys.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(perlKeys(cdx, QStringLiteral("ROOMNAME")).size(), 42);
}

namespace {

// Where a memo field sits in a .dbf, read from the header here.
struct MemoSlot {
    qint64 headerLength = 0, recordLength = 0;
    int offset = 0, width = 0;
};

MemoSlot memoSlot(const QByteArray &dbf, const char *field)
{
    MemoSlot s;
    s.headerLength = quint8(dbf[8]) | (quint8(dbf[9]) << 8);
    s.recordLength = quint8(dbf[10]) | (quint8(dbf[11]) << 8);
    int offset = 1;
    for (qsizetype d = 32; d + 32 <= dbf.size() && dbf[d] != '\r'; d += 32) {
        const int width = quint8(dbf[d + 16]);
        if (qstrcmp(dbf.constData() + d, field) == 0) {
            s.offset = offset;
            s.width = width;
        }
        offset += width;
    }
    EXPECT_GT(s.width, 0) << field;
    return s;
}

// Sets the memo pointer of record (1-based): ten digits, or four bytes little-endian.
void setMemoPointer(QByteArray &dbf, const MemoSlot &s, int record, quint32 block)
{
    char *p = dbf.data() + s.headerLength + (record - 1) * s.recordLength + s.offset;
    if (s.width == 4) {
        for (int i = 0; i < 4; ++i)
            p[i] = char((block >> (8 * i)) & 0xFF);
    } else {
        const QByteArray digits = QByteArray::number(block).rightJustified(s.width, '0');
        memcpy(p, digits.constData(), size_t(s.width));
    }
}

} // namespace

// Memo pointers bent by the test in copies of real tables of each memo layout:
// one past the memo file's end, one into the second block of a memo that spans
// several. check names both with record and field and exits with 3.
TEST(CliEdit, CheckReportsMemoPointersThatMissAMemo)
{
    const struct {
        const char *table, *memo, *field;
        int record;      // its memo spans several blocks
        quint32 inside;  // a block inside that memo
        const char *insideFault;
    } cases[] = {
        {"dbase/infused-dbf/dbase_83.dbf", "dbase/infused-dbf/dbase_83.dbt", "DESC", 1, 2, "zeigt mitten in ein Memo"},
        {"dbase/dans-dbase4/MEMOTEST.DBF", "dbase/dans-dbase4/MEMOTEST.DBT", "MEMO", 3, 4, "zeigt mitten in ein Memo"},
        {"foxpro/infused-dbf/dbase_30.dbf", "foxpro/infused-dbf/dbase_30.fpt", "DESCRIP", 1, 15,
         "zeigt nicht auf den Anfang eines Memos"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.table);
        ScratchDir dir;
        const QString table = dir.copyFixture(QString::fromLatin1(c.table));
        dir.copyFixture(QString::fromLatin1(c.memo));
        Result r = runCli({QStringLiteral("check"), table});
        ASSERT_EQ(r.status, 0) << r.out.toStdString();

        QByteArray dbf = testsupport::readAll(table);
        const MemoSlot slot = memoSlot(dbf, c.field);
        setMemoPointer(dbf, slot, c.record, c.inside);
        setMemoPointer(dbf, slot, 2, 99999);
        QFile out(table);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(dbf);
        out.close();

        r = runCli({QStringLiteral("check"), table});
        EXPECT_EQ(r.status, 3);
        const QString memoName = QString::fromLatin1(c.memo).section(QLatin1Char('/'), -1);
        EXPECT_TRUE(r.out.contains(QStringLiteral("Satz %1, Feld %2: der Memoverweis auf Block %3 %4 (%5).")
                                       .arg(c.record)
                                       .arg(QLatin1String(c.field))
                                       .arg(c.inside)
                                       .arg(QLatin1String(c.insideFault), memoName)))
            << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QStringLiteral("Satz 2, Feld %1: der Memoverweis auf Block 99999 zeigt hinter das Ende der "
                                                  "Memodatei (%2).")
                                       .arg(QLatin1String(c.field), memoName)))
            << r.out.toStdString();
        EXPECT_EQ(r.out.count(QStringLiteral("Memoverweis")), 2) << r.out.toStdString();
    }
}
