// A large text or HTML export formats its records on two threads, chunk by
// chunk. Whatever the code page, deleted records at the chunks' edges or memos,
// the file must hold the very bytes the export's value path writes (each cell
// read as a value and written the usual way), and a damaged record must fail
// the export with the message one thread would give, leaving no file behind.
#include "Connection.h"
#include "EngineError.h"
#include "ExportStatement.h"
#include "TableExport.h"
#include "TestSupport.h"
#include "Tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// Three chunks of 4096 records and part of a fourth.
constexpr int Records = 3 * 4096 + 777;

// The table's values and nothing else: an export of it takes the value path,
// the reference the threaded path is held to.
class ValuesOnly final : public TableSource {
public:
    explicit ValuesOnly(std::unique_ptr<TableSource> table) : m_table(std::move(table)) {}
    QString tableName() const override { return m_table->tableName(); }
    QString fileName() const override { return m_table->fileName(); }
    const QVector<FieldDef> &fieldDefs() const override { return m_table->fieldDefs(); }
    qint64 rowCount() override { return m_table->rowCount(); }
    RowId rowAt(qint64 position) override { return m_table->rowAt(position); }
    qint64 positionOf(RowId row) override { return m_table->positionOf(row); }
    QVariant value(RowId row, int field) override { return m_table->value(row, field); }
    QString readOnlyReason() const override { return m_table->readOnlyReason(); }

private:
    std::unique_ptr<TableSource> m_table;
};

struct Table {
    ScratchDir dir;
    QString name = QStringLiteral("kunden.dbf");
    QString path() const { return dir.file(name); }
};

// Changes bytes of a file in place.
void patch(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.seek(offset));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Where record number (from 0) starts, from the file's header.
qint64 recordOffset(const QString &path, int record)
{
    const QByteArray head = testsupport::readAll(path).left(12);
    const int headerLength = quint8(head[8]) | quint8(head[9]) << 8;
    const int recordLength = quint8(head[10]) | quint8(head[11]) << 8;
    return headerLength + qint64(record) * recordLength;
}

// Exports the table through the statement, as the window does; the file's bytes.
QByteArray exportThreaded(const Table &table, const QString &target, const QString &kind)
{
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE IV"));
    connection.setPropertyValue(QStringLiteral("Data Source"), table.dir.path());
    const QString out = table.dir.file(QStringLiteral("aus"));
    QDir().mkpath(out);
    connection.Execute(QStringLiteral("SELECT * INTO %1 IN %2 %3 FROM %4")
                           .arg(bracketName(target), doubleQuoted(out), doubleQuoted(kind), bracketName(table.name)));
    return testsupport::readAll(out + QLatin1Char('/') + target);
}

// The same export by values alone.
QByteArray exportByValues(const Table &table, const QString &target, const QString &kind)
{
    Driver *dbase = driverFor(QStringLiteral("dBASE IV"));
    ValuesOnly source(dbase->open(table.dir.path(), table.name, OpenOptions{true, false}));
    const QString out = table.dir.file(QStringLiteral("werte"));
    QDir().mkpath(out);
    exportTable(source, *driverFor(kind), out, target);
    return testsupport::readAll(out + QLatin1Char('/') + target);
}

// The bytes of the export, or the message it failed with (its folder named "ZIEL").
QByteArray outcome(const std::function<QByteArray()> &run, const QString &folder)
{
    try {
        return run();
    } catch (const EngineError &e) {
        QString message = e.message();
        message.replace(QDir::toNativeSeparators(folder), QStringLiteral("ZIEL"));
        return "Fehler: " + message.toUtf8();
    }
}

void expectSameBothWays(const Table &table, qsizetype minimumBytes)
{
    const struct { const char *target, *kind; } targets[] = {
        {"kopie.csv", "Text;"}, {"kopie.htm", "HTML Import;"}, {"kopie.dbf", "dBASE IV;"}, {"kopie.db", "Paradox 5.x;"}};
    const QStringList memoFiles = {QStringLiteral("/kopie.dbt"), QStringLiteral("/kopie.mb")};
    for (const auto &t : targets) {
        SCOPED_TRACE(t.target);
        const QString target = QString::fromLatin1(t.target), kind = QString::fromLatin1(t.kind);
        const QString aus = table.dir.file(QStringLiteral("aus")), werte = table.dir.file(QStringLiteral("werte"));
        for (const QString &memo : memoFiles) {
            QFile::remove(aus + memo);
            QFile::remove(werte + memo);
        }
        const QByteArray threaded = outcome([&] { return exportThreaded(table, target, kind); }, aus);
        const QByteArray values = outcome([&] { return exportByValues(table, target, kind); }, werte);
        if (threaded.startsWith("Fehler: ") || values.startsWith("Fehler: ")) {
            // A value the target refuses must be refused alike (text refuses none).
            EXPECT_EQ(threaded, values);
            EXPECT_TRUE(target.endsWith(QLatin1String(".dbf")) || target.endsWith(QLatin1String(".db")));
            continue;
        }
        EXPECT_GT(threaded.size(), minimumBytes);
        ASSERT_EQ(threaded.size(), values.size());
        EXPECT_TRUE(threaded == values);
        // A new table's memos: the same blocks in the same order.
        for (const QString &memo : memoFiles)
            EXPECT_EQ(testsupport::readAll(aus + memo), testsupport::readAll(werte + memo)) << memo.toStdString();
    }
}

// Copies a fixture and its companions into the table's folder, the records
// repeated until there are at least count of them (memo pointers stay valid).
void growFixture(Table &table, const QString &relative, int count)
{
    const QFileInfo info(testsupport::fixture(relative));
    for (const QString &entry : info.dir().entryList(QDir::Files)) {
        if (QFileInfo(entry).completeBaseName().compare(info.completeBaseName(), Qt::CaseInsensitive) == 0)
            table.dir.copyFixture(QFileInfo(relative).path() + QLatin1Char('/') + entry);
    }
    table.name = info.fileName();
    QByteArray bytes = testsupport::readAll(table.path());
    ASSERT_GE(bytes.size(), 32);
    const auto le = [&bytes](int at, int size) {
        quint32 v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = v << 8 | quint8(bytes[at + i]);
        return v;
    };
    const quint32 records = le(4, 4), headerLength = le(8, 2), recordLength = le(10, 2);
    ASSERT_GT(records, 0u);
    const QByteArray stored = bytes.mid(headerLength, qsizetype(records) * recordLength);
    ASSERT_EQ(stored.size(), qsizetype(records) * recordLength);
    QByteArray grown = bytes.left(headerLength);
    quint32 total = 0;
    while (total < quint32(count)) {
        grown += stored;
        total += records;
    }
    for (int i = 0; i < 4; ++i)
        grown[4 + i] = char(total >> (8 * i));
    grown += '\x1A';
    ASSERT_TRUE(testsupport::writeBytes(table.path(), grown));
}

} // namespace

TEST(ThreadedExport, SameBytesAsTheValuePathAcrossChunksDeletedRecordsAndCodePages)
{
    Table table;
    ASSERT_TRUE(testsupport::makeGeneratedTable(table.path(), Records));
    // Deleted records on both sides of each chunk's edge, the first and the last.
    for (int record : {0, 4095, 4096, 8191, 8192, 8193, 12287, Records - 1})
        patch(table.path(), recordOffset(table.path(), record), "*");
    // A memo with the soft line break old memo editors wrote, late in the file.
    const QString memo = table.dir.file(QStringLiteral("kunden.dbt"));
    const QByteArray memoBytes = testsupport::readAll(memo);
    const qsizetype at = memoBytes.indexOf("Kunde ", memoBytes.size() * 3 / 5);
    ASSERT_GT(at, 0);
    patch(memo, at + 5, "\x8D\x0A");

    // Each export of the 20 fields runs to some MB; less would mean rows went missing.
    {
        SCOPED_TRACE("code page 1252");
        expectSameBothWays(table, 2'000'000);
    }
    {
        SCOPED_TRACE("code page 850");
        patch(table.path(), 29, "\x02");
        expectSameBothWays(table, 2'000'000);
    }
    {
        // No byte table: every text is read as a value, on the formatting threads.
        SCOPED_TRACE("code page 932");
        patch(table.path(), 29, "\x13");
        expectSameBothWays(table, 2'000'000);
    }
}

TEST(ThreadedExport, TheFirstDamagedRecordFailsTheExportAndLeavesNoFile)
{
    Table table;
    ASSERT_TRUE(testsupport::makeGeneratedTable(table.path(), Records));
    // NOTIZ, the memo field, starts at byte 250 of a record; blocks this far out are not in the memo file.
    for (int record : {9000, 12300})
        patch(table.path(), recordOffset(table.path(), record) + 250, " 99999999");
    // dBASE meets the damage in its first walk, which measures the columns from the cells.
    const struct { const char *target, *kind; } targets[] = {
        {"kopie.csv", "Text;"}, {"kopie.htm", "HTML Import;"}, {"kopie.dbf", "dBASE IV;"}};
    for (const auto &t : targets) {
        SCOPED_TRACE(t.target);
        try {
            exportThreaded(table, QString::fromLatin1(t.target), QString::fromLatin1(t.kind));
            ADD_FAILURE() << "the export of a damaged table succeeded";
        } catch (const EngineError &e) {
            EXPECT_EQ(e.kind(), ErrorKind::Damaged) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QLatin1String("Feld NOTIZ, Satz 9001"))) << e.message().toStdString();
        }
        EXPECT_FALSE(QFileInfo::exists(table.dir.file(QStringLiteral("aus/")) + QString::fromLatin1(t.target)));
    }
}

TEST(ThreadedExport, GrownFixturesNullFlagsMemosWideNumbersAndCodePagesSameBytesAsTheValuePath)
{
    // Visual FoxPro with _NullFlags, memos and varying fields; numbers of 19 and 20
    // places; floats; dBASE IV memos; code page 850.
    const char *const fixtures[] = {"foxpro/go-dbase/TEST.DBF", "dbase/dans-dbase3plus/NUMBER.DBF",
                                    "dbase/dans-dbase5/FLOAT.DBF", "dbase/infused-dbf/dbase_8b.dbf",
                                    "foxpro/dbase-rs/cp850.dbf", "foxpro/infused-dbf/dbase_30.dbf",
                                    "foxpro/dans-foxpro26/FPROALL.DBF"};
    for (const char *fixture : fixtures) {
        SCOPED_TRACE(fixture);
        Table table;
        growFixture(table, QString::fromLatin1(fixture), Records);
        expectSameBothWays(table, Records);
    }
}

TEST(ThreadedExport, EdgeCellsAcrossChunksSameBytesAsTheValuePath)
{
    // Quotes at every place of an eight-byte run, bytes of code page 1252 above 0x7F
    // beside them (its table keeps ASCII, so runs of eight are copied whole), numbers with blanks inside, signs, stars and more than fifteen
    // places, dates that are no dates, every logical letter.
    QVector<testsupport::DbfRowBytes> cycle;
    const QByteArray plain = "abcdefghijklmnopqrstuvwx";
    for (int at = 0; at < 24; ++at) {
        QByteArray quoted = plain;
        quoted[at] = '"';
        QByteArray high = plain;
        high[at] = char(0xC0 + at); // À, Á, ... in code page 1252
        cycle.append({' ', {quoted, "  12", " 1.5", "20240229", "T"}});
        cycle.append({' ', {high.left(at + 1), "-0", "-0.000", "20230229", "?"}});
    }
    const QVector<QVector<QByteArray>> more = {
        {QByteArray("x\0\0y", 4), "1 2", "12345678901234.567", "2024 229", "y"},
        {"\"\"\"\"\"\"\"\"\"", "+5", "1234567890123456789", "00000000", "n"},
        {"", "*****", ".", "        ", " "},
        {"   vorn", "000042", "-000.100", "99991231", "F"},
        // What a page writes as entities, line breaks and fixed blanks.
        {"a & b <c> 'd'", "1", "1", "20240101", "T"},
        {"Zeile\r\nzwei\rdrei\n vier", "1", "1", "20240101", "T"},
        {" rand  mitte \r ende", "1", "1", "20240101", "T"},
        // Six decimals beside fourteen places: a new dBASE field of 20 rounds this to five.
        {"rund", "3", "0.123456", "20240101", "T"},
        {"Gr\xE4\xF6\xFC\xDFe \"Kunde\" \x80\xC4\xD6", "-", "1e5", "20000229", "t"},
    };
    for (const auto &cells : more)
        cycle.append({' ', cells});
    // Control characters and DEL inside runs of eight, which code page 850 shows as pictures.
    for (const char c : {'\x01', '\x1F', '\x7F'}) {
        QByteArray text = plain;
        text[9] = c;
        cycle.append({' ', {text, "1", "1", "20240101", "T"}});
    }
    QVector<testsupport::DbfRowBytes> rows;
    while (rows.size() < Records)
        rows += cycle;
    // Three of four records deleted over a whole chunk: its records lie far apart.
    for (int r = 4096; r < 2 * 4096 + 100; ++r) {
        if (r % 4 != 0)
            rows[r].flag = '*';
    }
    Table table;
    table.name = QStringLiteral("kanten.dbf");
    ASSERT_TRUE(testsupport::writeBytes(
        table.path(), testsupport::dbaseFileBytes({{"NAME", 'C', 24, 0}, {"GANZ", 'N', 6, 0}, {"ZAHL", 'N', 20, 3},
                                                   {"TAG", 'D', 8, 0}, {"OK", 'L', 1, 0}},
                                                  rows, 0x03)));
    expectSameBothWays(table, Records);
    {
        SCOPED_TRACE("code page 850");
        patch(table.path(), 29, "\x02");
        expectSameBothWays(table, Records);
        patch(table.path(), 29, "\x03");
    }
    // One row checked by its literal text: the first of the cycle, past the deleted chunk.
    const QByteArray text = exportThreaded(table, QStringLiteral("kopie.csv"), QStringLiteral("Text;"));
    EXPECT_TRUE(text.contains("\r\n\"\"\"bcdefghijklmnopqrstuvwx\",12,1.5,2024-02-29,True\r\n\"\xC3\x80\",0,-0,,\r\n"));
}

TEST(ThreadedExport, AnExcelSheetRefusesMoreRowsThanItHoldsAndLeavesNoFile)
{
    // 65,536 rows with the heading: one record more than a sheet holds.
    Table table;
    ASSERT_TRUE(testsupport::makeGeneratedTable(table.path(), 65536));
    const QString out = table.dir.file(QStringLiteral("aus"));
    QDir().mkpath(out);
    try {
        // A workbook is the data source; the sheet is the table.
        Connection connection;
        connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE IV"));
        connection.setPropertyValue(QStringLiteral("Data Source"), table.dir.path());
        connection.Execute(QStringLiteral("SELECT * INTO Kunden IN %1 \"Excel 8.0;\" FROM %2")
                               .arg(doubleQuoted(out + QStringLiteral("/kopie.xls")), bracketName(table.name)));
        ADD_FAILURE() << "the export into a sheet too small succeeded";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::RefusedValue);
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Ein Excel-Arbeitsblatt fasst höchstens 65536 Zeilen, also 65535 "
                                                          "Datensätze unter der Kopfzeile")))
            << e.message().toStdString();
    }
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
}

TEST(ThreadedExport, ADbaseTargetRefusesACharacterItsCodePageLacksNamingTheFieldAndLeavesNothing)
{
    // Code page 850's "│" (0xB3) has no byte in the new table's Windows code page; it
    // stands in a record of the third chunk, after two chunks were formatted and written.
    QVector<testsupport::DbfRowBytes> rows;
    for (int r = 0; r < Records; ++r)
        rows.append({' ', {QByteArray("Kunde ") + QByteArray::number(r), QByteArray::number(r)}});
    rows[9000].cells[0] = "Rand \xB3 Strich";
    Table table;
    table.name = QStringLiteral("rahmen.dbf");
    ASSERT_TRUE(testsupport::writeBytes(
        table.path(), testsupport::dbaseFileBytes({{"NAME", 'C', 20, 0}, {"NR", 'N', 8, 0}}, rows, 0x02)));
    const QString out = table.dir.file(QStringLiteral("aus"));
    try {
        exportThreaded(table, QStringLiteral("kopie.dbf"), QStringLiteral("dBASE IV;"));
        ADD_FAILURE() << "the export of a character the target cannot store succeeded";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::RefusedValue) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("│"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QLatin1String("NAME"))) << e.message().toStdString();
        EXPECT_FALSE(e.message().contains(QLatin1String("brisvel-part"))) << e.message().toStdString();
    }
    // Neither the table nor its parts are left in the folder.
    EXPECT_TRUE(QDir(out).entryList(QDir::Files | QDir::Hidden).isEmpty()) << QDir(out).entryList(QDir::Files | QDir::Hidden).join(QLatin1Char(' ')).toStdString();

    // Without that record the same table is copied whole, its text in the new code page.
    rows[9000].cells[0] = "Rand \x81 Strich"; // ü
    ASSERT_TRUE(testsupport::writeBytes(
        table.path(), testsupport::dbaseFileBytes({{"NAME", 'C', 20, 0}, {"NR", 'N', 8, 0}}, rows, 0x02)));
    const QByteArray copy = exportThreaded(table, QStringLiteral("kopie.dbf"), QStringLiteral("dBASE IV;"));
    EXPECT_TRUE(copy.contains("Rand \xFC Strich")); // ü in Windows-1252
    EXPECT_TRUE(copy.contains(QByteArray("Kunde 12976").leftJustified(20, ' ') + QByteArray("12976").rightJustified(11, ' ')));
}
