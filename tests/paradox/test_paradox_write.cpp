// Writing Paradox tables: new Paradox 5.x tables through the export writer and
// create(), read back by our reader and by pxlib (on tables without blobs, which
// pxlib cannot read safely); changes in place on tables without a key.
// pxlib's header has no C++ linkage guard.
extern "C" {
#include <paradox.h>
}

#include "EngineError.h"
#include "KnownRowCount.h"
#include "TableExport.h"
#include "TestSupport.h"
#include "drivers/paradox/ParadoxDriver.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

FieldDef field(const char *name, TFieldType type, int size = 0, int scale = 0)
{
    FieldDef d;
    d.name = QString::fromUtf8(name);
    d.dataType = type;
    d.size = size;
    d.scale = scale;
    return d;
}

// One record as pxlib reads it: text decoded from windows-1252, numbers as doubles,
// dates as Julian days, NULL text as an invalid value.
struct PxlibTable {
    int records = -1;
    QStringList names;
    QList<QVector<QVariant>> rows;
};

PxlibTable readWithPxlib(const QString &path)
{
    PxlibTable out;
    pxdoc_t *doc = PX_new();
    if (PX_open_file(doc, QFile::encodeName(path).constData()) < 0) {
        PX_delete(doc);
        return out;
    }
    out.records = PX_get_num_records(doc);
    const int n = PX_get_num_fields(doc);
    pxfield_t *fields = PX_get_fields(doc);
    for (int i = 0; i < n; ++i)
        out.names << QString::fromLatin1(fields[i].px_fname);
    QStringDecoder decode("windows-1252");
    for (int r = 0; r < out.records; ++r) {
        pxval_t **values = PX_retrieve_record(doc, r);
        QVector<QVariant> row;
        for (int i = 0; i < n && values; ++i) {
            pxval_t *v = values[i];
            QVariant q;
            if (!v->isnull) {
                switch (v->type) {
                case pxfAlpha:
                    q = QString(decode(QByteArrayView(v->value.str.val, v->value.str.len)));
                    break;
                case pxfShort: case pxfLong: case pxfAutoInc: case pxfLogical: case pxfTime:
                    q = qint64(v->value.lval);
                    break;
                case pxfDate:
                    q = QDate::fromJulianDay(v->value.lval + 1721425);
                    break;
                case pxfNumber: case pxfCurrency: case pxfTimestamp:
                    q = v->value.dval;
                    break;
                case pxfBCD:
                    q = QByteArray(v->value.str.val).toDouble();
                    break;
                default:
                    break;
                }
            }
            if (v->type == pxfAlpha || v->type == pxfBCD || v->type == pxfBytes)
                free(v->value.str.val);
            free(v);
            row.append(q);
        }
        free(values);
        out.rows.append(row);
    }
    PX_close(doc);
    PX_delete(doc);
    return out;
}

std::unique_ptr<TableSource> reopen(const QString &dir, const QString &name)
{
    ParadoxDriver driver;
    return driver.open(dir, name, {});
}

QVector<FieldDef> plainFields()
{
    return {field("Name", ftString, 20), field("Zahl", ftInteger), field("Klein", ftSmallint),
            field("Betrag", ftCurrency), field("Wert", ftFloat), field("Datum", ftDate),
            field("Zeit", ftTime), field("Zeitpunkt", ftDateTime), field("Ja", ftBoolean),
            field("Dezimal", ftBCD, 0, 2), field("Nr", ftAutoInc)};
}

QList<QVector<QVariant>> plainRows()
{
    return {
        {QStringLiteral("Müller Ä ß"), qint64(42), qint64(-7), 12.5, -1234.5678, QDate(2024, 2, 29), QTime(13, 45, 6),
         QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)), true, 12.34, qint64(5)},
        {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
         QVariant(), QVariant()},
        {QStringLiteral("Öl"), qint64(-2147483647), qint64(32767), -0.01, 1.5e300, QDate(1, 1, 1), QTime(0, 0, 0, 1),
         QDateTime(QDate(1900, 1, 1), QTime(0, 0)), false, -98765.43, QVariant()},
        {QStringLiteral("x"), qint64(2147483647), qint64(-32767), 0.0, 0.0, QDate(9999, 12, 31), QTime(23, 59, 59),
         QDateTime(QDate(2020, 2, 1), QTime(1, 0, 1)), true, 0.0, qint64(100)},
    };
}

void writeTable(const QString &dir, const QString &name, const QVector<FieldDef> &fields,
                const QList<QVector<QVariant>> &rows)
{
    ParadoxDriver driver;
    auto writer = driver.createWriter(dir, name, fields);
    for (const auto &row : rows)
        writer->writeRow(row);
    writer->commit();
}

} // namespace

TEST(ParadoxWrite, ExportedTableReadsBackWithOwnReaderAndPxlib)
{
    ScratchDir dir;
    writeTable(dir.path(), QStringLiteral("MATRIX"), plainFields(), plainRows());
    ASSERT_TRUE(QFile::exists(dir.file(QStringLiteral("MATRIX.DB"))));
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("MATRIX.MB"))));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("MATRIX.DB")});

    auto t = reopen(dir.path(), QStringLiteral("matrix"));
    EXPECT_EQ(t->rowCount(), 4);
    EXPECT_TRUE(t->readOnlyReason().isEmpty());
    QStringList facts;
    for (const auto &f : t->facts())
        facts << f.first + QLatin1Char('=') + f.second;
    EXPECT_TRUE(facts.contains(QStringLiteral("Version=Paradox 5.x"))) << facts.join(QLatin1Char(';')).toStdString();
    EXPECT_TRUE(facts.contains(QStringLiteral("Codepage im Dateikopf=1252")));
    const auto rows = plainRows();
    for (int r = 0; r < rows.size(); ++r) {
        for (int f = 0; f < rows.at(r).size(); ++f) {
            const QVariant got = t->value(t->rowAt(r), f);
            QVariant want = rows.at(r).at(f);
            if (f == 10 && !want.isValid())
                want = qint64(r == 1 ? 6 : 7); // the counter continues after the highest value
            if (!want.isValid())
                EXPECT_FALSE(got.isValid()) << r << "," << f;
            else if (want.typeId() == QMetaType::Double)
                EXPECT_DOUBLE_EQ(got.toDouble(), want.toDouble()) << r << "," << f;
            else
                EXPECT_EQ(got, want) << r << "," << f;
        }
    }

    const PxlibTable px = readWithPxlib(dir.file(QStringLiteral("MATRIX.DB")));
    ASSERT_EQ(px.records, 4);
    EXPECT_EQ(px.names.join(QLatin1Char(',')),
              QStringLiteral("Name,Zahl,Klein,Betrag,Wert,Datum,Zeit,Zeitpunkt,Ja,Dezimal,Nr"));
    EXPECT_EQ(px.rows.at(0).at(0), QVariant(QStringLiteral("Müller Ä ß")));
    EXPECT_EQ(px.rows.at(0).at(1), QVariant(qint64(42)));
    EXPECT_EQ(px.rows.at(0).at(2), QVariant(qint64(-7)));
    EXPECT_EQ(px.rows.at(0).at(3), QVariant(12.5));
    EXPECT_EQ(px.rows.at(0).at(4), QVariant(-1234.5678));
    EXPECT_EQ(px.rows.at(0).at(5), QVariant(QDate(2024, 2, 29)));
    EXPECT_EQ(px.rows.at(0).at(6), QVariant(qint64((13 * 3600 + 45 * 60 + 6) * 1000)));
    EXPECT_EQ(px.rows.at(0).at(8), QVariant(qint64(1)));
    EXPECT_DOUBLE_EQ(px.rows.at(0).at(9).toDouble(), 12.34);
    EXPECT_EQ(px.rows.at(0).at(10), QVariant(qint64(5)));
    EXPECT_FALSE(px.rows.at(1).at(0).isValid());
    EXPECT_EQ(px.rows.at(2).at(0), QVariant(QStringLiteral("Öl")));
    EXPECT_EQ(px.rows.at(2).at(1), QVariant(qint64(-2147483647)));
    EXPECT_EQ(px.rows.at(2).at(3), QVariant(-0.01));
    EXPECT_EQ(px.rows.at(2).at(4), QVariant(1.5e300));
    EXPECT_EQ(px.rows.at(2).at(5), QVariant(QDate(1, 1, 1)));
    EXPECT_DOUBLE_EQ(px.rows.at(2).at(9).toDouble(), -98765.43);
    EXPECT_EQ(px.rows.at(3).at(2), QVariant(qint64(-32767)));
    EXPECT_EQ(px.rows.at(3).at(5), QVariant(QDate(9999, 12, 31)));
}

TEST(ParadoxWrite, ManyRowsSpanBlocksAndKeepTheirOrder)
{
    ScratchDir dir;
    ParadoxDriver driver;
    auto writer = driver.createWriter(dir.path(), QStringLiteral("big.db"),
                                      {field("Nummer", ftInteger), field("Text", ftString, 40)});
    const int count = 5000;
    for (int i = 0; i < count; ++i)
        writer->writeRow({qint64(i), QStringLiteral("Zeile %1").arg(i)});
    writer->commit();
    auto t = reopen(dir.path(), QStringLiteral("big"));
    ASSERT_EQ(t->rowCount(), count);
    for (int i : {0, 1, 47, 48, 2500, count - 1}) {
        EXPECT_EQ(t->value(t->rowAt(i), 0), QVariant(qint64(i)));
        EXPECT_EQ(t->value(t->rowAt(i), 1), QVariant(QStringLiteral("Zeile %1").arg(i)));
    }
    const PxlibTable px = readWithPxlib(dir.file(QStringLiteral("big.db")));
    ASSERT_EQ(px.records, count);
    for (int i = 0; i < count; i += 499)
        EXPECT_EQ(px.rows.at(i).at(0), QVariant(qint64(i)));
    EXPECT_EQ(px.rows.last().at(1), QVariant(QStringLiteral("Zeile %1").arg(count - 1)));
}

// The record numbers of the chosen rows as pxlib reads them (-1 when it cannot).
QList<qint64> pxlibNumbers(const QString &path, int &records, const QList<int> &rows)
{
    QList<qint64> out;
    pxdoc_t *doc = PX_new();
    records = PX_open_file(doc, QFile::encodeName(path).constData()) < 0 ? -1 : PX_get_num_records(doc);
    for (int r : rows) {
        pxval_t **values = records < 0 ? nullptr : PX_retrieve_record(doc, r);
        if (!values) {
            out << -1;
            continue;
        }
        const int n = PX_get_num_fields(doc);
        out << (values[0]->isnull ? -1 : qint64(values[0]->value.lval));
        for (int i = 0; i < n; ++i) {
            if (values[i]->type == pxfAlpha)
                free(values[i]->value.str.val);
            free(values[i]);
        }
        free(values);
    }
    if (records >= 0)
        PX_close(doc);
    PX_delete(doc);
    return out;
}

// A table of 510-byte records fills 2 KiB blocks with 4 records, so one record
// more than 65,535 such blocks hold must make the writer take 4 KiB blocks.
TEST(ParadoxWrite, AKnownCountBeyondSmallBlocksGetsLargerBlocks)
{
    ScratchDir dir;
    ParadoxDriver driver;
    const int count = 65535 * 4 + 1;
    {
        auto writer = driver.createWriter(dir.path(), QStringLiteral("GROSS"),
                                          {field("Nummer", ftInteger), field("A", ftString, 255), field("B", ftString, 251)});
        dynamic_cast<KnownRowCount &>(*writer).expectRows(count);
        const QVector<QVariant> empty{QVariant(), QVariant()};
        for (int i = 0; i < count; ++i) {
            if (i % 65536 == 0 || i == count - 1)
                writer->writeRow({qint64(i), QStringLiteral("Satz %1").arg(i), QStringLiteral("Ende")});
            else
                writer->writeRow({qint64(i), QVariant(), QVariant()});
        }
        writer->commit();
    }
    const QString path = dir.file(QStringLiteral("GROSS.DB"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray head = file.read(8);
    EXPECT_EQ(int(head.at(5)), 4) << "block size in KiB";
    // The header, then 32,768 blocks of 4 KiB.
    const int headerSize = quint8(head.at(2)) | quint8(head.at(3)) << 8;
    EXPECT_EQ(file.size(), headerSize + qint64(32768) * 4096);

    auto t = reopen(dir.path(), QStringLiteral("GROSS"));
    ASSERT_EQ(t->rowCount(), count);
    for (int i : {0, 1, 65536, 131072, 200001, count - 1})
        EXPECT_EQ(t->value(t->rowAt(i), 0), QVariant(qint64(i))) << i;
    EXPECT_EQ(t->value(t->rowAt(131072), 1), QVariant(QStringLiteral("Satz 131072")));
    EXPECT_EQ(t->value(t->rowAt(count - 1), 2), QVariant(QStringLiteral("Ende")));
    EXPECT_FALSE(t->value(t->rowAt(5), 1).isValid());

    int records = 0;
    const QList<int> rows{0, 7, 65536, 196608, count - 1};
    const QList<qint64> numbers = pxlibNumbers(path, records, rows);
    EXPECT_EQ(records, count);
    for (int i = 0; i < rows.size(); ++i)
        EXPECT_EQ(numbers.at(i), rows.at(i)) << rows.at(i);
}

// A count no block size can hold is refused when the export starts: the old
// table stays and no partial file is left behind.
class WideRows final : public TableSource {
public:
    explicit WideRows(qint64 rows) : m_rows(rows)
    {
        for (int i = 0; i < 128; ++i)
            m_fields << field(QStringLiteral("F%1").arg(i).toLatin1().constData(), ftString, 255);
    }
    QString tableName() const override { return QStringLiteral("breit"); }
    QString fileName() const override { return QString(); }
    const QVector<FieldDef> &fieldDefs() const override { return m_fields; }
    qint64 rowCount() override { return m_rows; }
    RowId rowAt(qint64 position) override { return RowId(position); }
    qint64 positionOf(RowId row) override { return qint64(row); }
    QVariant value(RowId, int) override
    {
        ++valuesRead;
        return QVariant();
    }
    QString readOnlyReason() const override { return QStringLiteral("nur lesbar"); }
    qint64 valuesRead = 0;

private:
    qint64 m_rows;
    QVector<FieldDef> m_fields;
};

TEST(ParadoxWrite, ACountNoBlockSizeHoldsIsRefusedBeforeWriting)
{
    ScratchDir dir;
    writeTable(dir.path(), QStringLiteral("ZIEL"), {field("A", ftString, 5)}, {{QStringLiteral("alt")}});
    const QByteArray before = testsupport::readAll(dir.file(QStringLiteral("ZIEL.DB")));
    ParadoxDriver driver;

    // 128 fields of 255 characters: one record per 32 KiB block, at most 65,535 records.
    WideRows fits(65535);
    WideRows tooMany(65536);
    try {
        exportTable(tooMany, driver, dir.path(), QStringLiteral("ZIEL"));
        FAIL() << "a table Paradox cannot hold was accepted";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::RefusedValue);
        EXPECT_TRUE(e.message().contains(QStringLiteral("65536 Sätze"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("höchstens 65535"))) << e.message().toStdString();
    }
    // Only the measuring pass read values; no row went to the writer.
    EXPECT_EQ(tooMany.valuesRead, qint64(65536) * 128);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ZIEL.DB")});
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("ZIEL.DB"))), before);

    // The writer used directly refuses the same count, and takes one less.
    auto writer = driver.createWriter(dir.path(), QStringLiteral("ZIEL"), fits.fieldDefs());
    auto &counted = dynamic_cast<KnownRowCount &>(*writer);
    EXPECT_THROW(counted.expectRows(65536), EngineError);
    EXPECT_NO_THROW(counted.expectRows(65535));
}

TEST(ParadoxWrite, MemosAndBlobsGoToTheBlobFile)
{
    ScratchDir dir;
    const QString longText = QStringLiteral("Äpfel und Birnen. ").repeated(100);
    QByteArray binary(10000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char(i * 7);
    writeTable(dir.path(), QStringLiteral("MEMOS"),
               {field("Id", ftInteger), field("Notiz", ftMemo), field("Daten", ftBlob), field("Bild", ftGraphic),
                field("Format", ftFmtMemo)},
               {{qint64(1), QStringLiteral("kurz"), QByteArray("abc"), QVariant(), QVariant()},
                {qint64(2), longText, binary, QByteArray("BM") + binary, QStringLiteral("formatiert")},
                {qint64(3), QVariant(), QVariant(), QVariant(), QVariant()}});
    ASSERT_TRUE(QFile::exists(dir.file(QStringLiteral("MEMOS.MB"))));
    const QByteArray mb = testsupport::readAll(dir.file(QStringLiteral("MEMOS.MB")));
    EXPECT_TRUE(mb.startsWith(QByteArray("\x00\x01\x00\x01\x00", 5)));
    auto t = reopen(dir.path(), QStringLiteral("MEMOS"));
    EXPECT_EQ(t->value(t->rowAt(0), 1), QVariant(QStringLiteral("kurz")));
    EXPECT_EQ(t->value(t->rowAt(0), 2), QVariant(QByteArray("abc")));
    EXPECT_EQ(t->value(t->rowAt(1), 1), QVariant(longText));
    EXPECT_EQ(t->value(t->rowAt(1), 2), QVariant(binary));
    EXPECT_EQ(t->value(t->rowAt(1), 3), QVariant(QByteArray("BM") + binary));
    EXPECT_EQ(t->value(t->rowAt(1), 4), QVariant(QStringLiteral("formatiert")));
    for (int f = 1; f < 5; ++f)
        EXPECT_FALSE(t->value(t->rowAt(2), f).isValid()) << f;

    // Changed in place: a longer memo goes into a new block of the blob file.
    const QVector<QVariant> before = {qint64(1), QStringLiteral("kurz"), QByteArray("abc"), QVariant(), QVariant()};
    const QString longer = QStringLiteral("Eine längere Notiz, die nicht mehr in den Vorspann passt. ").repeated(20);
    t->update(t->rowAt(0), before, {qint64(1), longer, QByteArray("abc"), QVariant(), QVariant()});
    auto again = reopen(dir.path(), QStringLiteral("MEMOS"));
    EXPECT_EQ(again->value(again->rowAt(0), 1), QVariant(longer));
    EXPECT_EQ(again->value(again->rowAt(1), 1), QVariant(longText));
}

TEST(ParadoxWrite, WriterLeavesTheOldTableUntilCommit)
{
    ScratchDir dir;
    writeTable(dir.path(), QStringLiteral("T"), {field("A", ftString, 5)}, {{QStringLiteral("alt")}});
    // Companions of the old table that would not fit the new one.
    QFile px(dir.file(QStringLiteral("T.PX")));
    ASSERT_TRUE(px.open(QIODevice::WriteOnly));
    px.close();
    {
        ParadoxDriver driver;
        auto writer = driver.createWriter(dir.path(), QStringLiteral("T"), {field("B", ftInteger)});
        writer->writeRow({qint64(1)});
        // Destroyed without commit.
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("T.DB"), QStringLiteral("T.PX")}));
    auto old = reopen(dir.path(), QStringLiteral("T"));
    EXPECT_EQ(old->value(old->rowAt(0), 0), QVariant(QStringLiteral("alt")));

    writeTable(dir.path(), QStringLiteral("T"), {field("B", ftInteger)}, {{qint64(7)}, {qint64(8)}});
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("T.DB")});
    auto fresh = reopen(dir.path(), QStringLiteral("T"));
    EXPECT_EQ(fresh->fieldDefs().at(0).name, QStringLiteral("B"));
    EXPECT_EQ(fresh->rowCount(), 2);
}

TEST(ParadoxWrite, ValuesThatDoNotFitAreRefusedNotCut)
{
    ScratchDir dir;
    ParadoxDriver driver;
    auto writer = driver.createWriter(dir.path(), QStringLiteral("T"), {field("A", ftString, 3), field("S", ftSmallint)});
    try {
        writer->writeRow({QStringLiteral("vier"), qint64(1)});
        FAIL() << "a value too long was accepted";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("zu lang"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("A")));
    }
    EXPECT_THROW(writer->writeRow({QStringLiteral("ok"), qint64(40000)}), EngineError);
    EXPECT_THROW(writer->writeRow({QStringLiteral("€uro"), qint64(1)}), EngineError); // 4 > 3 characters
    EXPECT_THROW(writer->writeRow({QStringLiteral("中"), qint64(1)}), EngineError);    // not in code page 1252
    writer->writeRow({QStringLiteral("€"), qint64(1)});
    writer->commit();
    auto t = reopen(dir.path(), QStringLiteral("T"));
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->value(t->rowAt(0), 0), QVariant(QStringLiteral("€")));
}

TEST(ParadoxWrite, FieldsForMapsEveryTypeAndSaysWhatChanged)
{
    ParadoxDriver driver;
    EXPECT_TRUE(driver.needsMeasures());
    const QVector<FieldDef> source = {
        field("Ein sehr langer Feldname der zu lang ist", ftString, 30),
        field("Ein sehr langer Feldname der auch zu lang ist", ftInteger),
        field("Langer Text", ftString, 1000),
        field("Groß", ftLargeint),
        field("Klein", ftLargeint),
        field("Preis (netto)", ftCurrency),
        field("Wort", ftWord),
        field("Zeit", ftTimeStamp),
        field("Bytes", ftBytes, 16),
        field("Viele Bytes", ftVarBytes, 1000),
        field("Dezimal", ftFMTBcd, 0, 4),
        field("ID", ftGuid),
    };
    QVector<ColumnMeasure> measures(source.size());
    measures[3].integerDigits = 19;
    measures[4].integerDigits = 5;
    QStringList changes;
    const QVector<FieldDef> out = driver.fieldsFor(source, measures, changes);
    ASSERT_EQ(out.size(), source.size());
    EXPECT_EQ(out.at(0).name, QStringLiteral("Ein sehr langer Feldname "));
    EXPECT_EQ(out.at(1).name, QStringLiteral("Ein sehr langer Feldnam_2"));
    EXPECT_EQ(out.at(0).nativeType, QStringLiteral("A30"));
    EXPECT_EQ(out.at(2).dataType, ftMemo);
    EXPECT_EQ(out.at(3).dataType, ftFloat);
    EXPECT_EQ(out.at(4).dataType, ftInteger);
    EXPECT_EQ(out.at(5).name, QStringLiteral("Preis _netto_"));
    EXPECT_EQ(out.at(5).nativeType, QStringLiteral("$"));
    EXPECT_EQ(out.at(6).dataType, ftInteger);
    EXPECT_EQ(out.at(7).nativeType, QStringLiteral("@"));
    EXPECT_EQ(out.at(8).nativeType, QStringLiteral("Y16"));
    EXPECT_EQ(out.at(9).dataType, ftBlob);
    EXPECT_EQ(out.at(10).nativeType, QStringLiteral("#4"));
    EXPECT_EQ(out.at(11).nativeType, QStringLiteral("A38"));
    // Two renamed, one shortened name each, the memo, the large integer, the brackets.
    EXPECT_EQ(changes.size(), 5) << changes.join(QLatin1Char('\n')).toStdString();
    for (const QString &c : changes)
        EXPECT_TRUE(c.endsWith(QLatin1Char('.'))) << c.toStdString();

    // The fields chosen can be written.
    ScratchDir dir;
    auto writer = driver.createWriter(dir.path(), QStringLiteral("ALLE"), out);
    writer->writeRow({QStringLiteral("a"), qint64(1), QStringLiteral("x").repeated(1000), 1e18, qint64(5), 9.99,
                      qint64(65535), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)), QByteArray(16, 'b'),
                      QByteArray(1000, 'c'), 1.2345, QStringLiteral("{00000000-0000-0000-0000-000000000000}")});
    writer->commit();
    auto t = reopen(dir.path(), QStringLiteral("ALLE"));
    EXPECT_EQ(t->value(t->rowAt(0), 2).toString().size(), 1000);
    EXPECT_EQ(t->value(t->rowAt(0), 6), QVariant(qint64(65535)));
    EXPECT_DOUBLE_EQ(t->value(t->rowAt(0), 10).toDouble(), 1.2345);
}

TEST(ParadoxWrite, CreateMakesAnEmptyTableAndRefusesAnExistingOne)
{
    ScratchDir dir;
    ParadoxDriver driver;
    driver.create(dir.path(), QStringLiteral("LEER"), {field("A", ftString, 10), field("B", ftDate)});
    auto t = reopen(dir.path(), QStringLiteral("LEER"));
    EXPECT_EQ(t->rowCount(), 0);
    EXPECT_EQ(readWithPxlib(dir.file(QStringLiteral("LEER.DB"))).records, 0);
    EXPECT_THROW(driver.create(dir.path(), QStringLiteral("leer"), {field("A", ftString, 10)}), EngineError);
    EXPECT_THROW(driver.create(dir.path(), QStringLiteral("X"), {}), EngineError);
    EXPECT_THROW(driver.create(dir.path(), QStringLiteral("X"), {field("A", ftString, 10), field("a", ftInteger)}), EngineError);
    EXPECT_THROW(driver.create(dir.path(), QStringLiteral("X"), {field("A", ftString, 300)}), EngineError);

    // The empty table takes records in place.
    const RowId r = t->append({QStringLiteral("eins"), QDate(2000, 1, 2)});
    EXPECT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->value(r, 0), QVariant(QStringLiteral("eins")));
    const PxlibTable px = readWithPxlib(dir.file(QStringLiteral("LEER.DB")));
    ASSERT_EQ(px.records, 1);
    EXPECT_EQ(px.rows.at(0).at(1), QVariant(QDate(2000, 1, 2)));
}

TEST(ParadoxWrite, ChangesInPlaceOnAFixtureWithoutKey)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("paradox/fields/logical.db"));
    ParadoxDriver driver;
    auto t = driver.open(dir.path(), QStringLiteral("logical"), {});
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    ASSERT_EQ(t->rowCount(), 4);

    // Append enough records to need new blocks.
    for (int i = 0; i < 3000; ++i)
        t->append({i % 3 == 0 ? QVariant() : QVariant(i % 2 == 0)});
    EXPECT_EQ(t->rowCount(), 3004);
    t->update(t->rowAt(1), {false}, {true});
    t->remove(t->rowAt(0));
    EXPECT_EQ(t->rowCount(), 3003);
    EXPECT_EQ(t->value(t->rowAt(0), 0), QVariant(true)); // the former second record, changed

    auto back = driver.open(dir.path(), QStringLiteral("logical"), {});
    ASSERT_EQ(back->rowCount(), 3003);
    const PxlibTable px = readWithPxlib(path);
    ASSERT_EQ(px.records, 3003);
    for (int r = 0; r < 3003; r += 101) {
        const QVariant ours = back->value(back->rowAt(r), 0);
        if (ours.isValid()) {
            EXPECT_EQ(px.rows.at(r).at(0).toLongLong(), ours.toBool() ? 1 : 0) << r;
        }
    }
    EXPECT_EQ(back->value(back->rowAt(2), 0), QVariant(true));  // original row 4
    EXPECT_FALSE(back->value(back->rowAt(3), 0).isValid());      // first appended
    EXPECT_EQ(back->value(back->rowAt(4), 0), QVariant(false));  // i = 1

    // Remove everything: blocks empty out and leave the chain; the table stays readable.
    while (back->rowCount() > 0)
        back->remove(back->rowAt(back->rowCount() > 7 ? 7 : 0));
    EXPECT_EQ(driver.open(dir.path(), QStringLiteral("logical"), {})->rowCount(), 0);
    EXPECT_EQ(readWithPxlib(path).records, 0);
    back->append({true});
    EXPECT_EQ(readWithPxlib(path).rows.value(0).value(0), QVariant(qint64(1)));
}

TEST(ParadoxWrite, ChangesByAnotherProgramAreSeenAndNotOverwritten)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/fields/bcd.db"));
    ParadoxDriver driver;
    auto a = driver.open(dir.path(), QStringLiteral("bcd"), {});
    auto b = driver.open(dir.path(), QStringLiteral("bcd"), {});
    const QVector<QVariant> original = {a->value(a->rowAt(0), 0), a->value(a->rowAt(0), 1), a->value(a->rowAt(0), 2)};
    b->update(b->rowAt(0), original, {5.5, qint64(6), 0.5});
    try {
        a->update(a->rowAt(0), original, {7.7, qint64(8), 0.25});
        FAIL() << "a change made meanwhile was overwritten";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::ChangedByOther);
        EXPECT_TRUE(e.message().contains(QStringLiteral("anderen Programm"))) << e.message().toStdString();
    }
    b->append({1.0, qint64(2), 0.75});
    a->append({3.0, qint64(4), 0.125});
    auto c = driver.open(dir.path(), QStringLiteral("bcd"), {});
    ASSERT_EQ(c->rowCount(), 5);
    EXPECT_DOUBLE_EQ(c->value(c->rowAt(0), 0).toDouble(), 5.5);
    EXPECT_DOUBLE_EQ(c->value(c->rowAt(3), 2).toDouble(), 0.75);
    EXPECT_DOUBLE_EQ(c->value(c->rowAt(4), 2).toDouble(), 0.125);
    EXPECT_DOUBLE_EQ(c->value(c->rowAt(4), 0).toDouble(), 3.0);
    // A value too long or out of range leaves the table as it was.
    EXPECT_THROW(c->append({1e40, qint64(1), 0.5}), EngineError);
    EXPECT_EQ(driver.open(dir.path(), QStringLiteral("bcd"), {})->rowCount(), 5);
}

TEST(ParadoxWrite, ReadOnlyReasons)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("paradox/fields/memo.db"));
    dir.copyFixture(QStringLiteral("paradox/fields/time.db"));
    ParadoxDriver driver;
    // A keyed table without its primary index, and without its blob file.
    auto keyed = driver.open(dir.path(), QStringLiteral("memo"), {});
    EXPECT_TRUE(keyed->readOnlyReason().contains(QStringLiteral("Primärindex memo.PX"))) << keyed->readOnlyReason().toStdString();
    EXPECT_TRUE(keyed->readOnlyReason().contains(QStringLiteral("memo.mb")) || keyed->readOnlyReason().contains(QStringLiteral("memo.MB")));
    EXPECT_THROW(keyed->remove(keyed->rowAt(0)), EngineError);
    OpenOptions ro;
    ro.readOnly = true;
    auto readOnly = driver.open(dir.path(), QStringLiteral("time"), ro);
    EXPECT_FALSE(readOnly->readOnlyReason().isEmpty());
    EXPECT_THROW(readOnly->append({QTime(1, 2, 3)}), EngineError);
    EXPECT_TRUE(driver.open(dir.path(), QStringLiteral("time"), {})->readOnlyReason().isEmpty());
}
