// Creating dBASE IV tables and changing tables in place: what is written must
// read back the same here and in an independent reader (Python's dbfread), a
// value that does not fit is refused rather than cut, and two programs working
// on one table do not overwrite each other.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace engine;
using testsupport::openDbf;
using testsupport::rowValues;
using testsupport::ScratchDir;

namespace {

DbaseDriver &driver()
{
    static DbaseDriver d;
    return d;
}

FieldDef field(const QString &name, TFieldType type, int size = 0, int scale = 0)
{
    FieldDef f;
    f.name = name;
    f.dataType = type;
    f.size = size;
    f.scale = scale;
    return f;
}

// All records of a table as Python's dbfread reads them, as JSON.
QJsonObject readWithDbfread(const QString &path, const QString &encoding)
{
    static const char *script = R"PY(
import sys, json, datetime, decimal
import dbfread
t = dbfread.DBF(sys.argv[1], load=True, char_decode_errors='strict', encoding=sys.argv[2])
def conv(v):
    if v is None: return None
    if isinstance(v, bytes): return {'hex': v.hex()}
    if isinstance(v, (datetime.date, datetime.datetime)): return v.isoformat()
    if isinstance(v, decimal.Decimal): return float(v)
    return v
names = [f.name for f in t.fields]
print(json.dumps({'encoding': t.encoding, 'fields': names,
                  'records': [[conv(r[n]) for n in names] for r in t.records],
                  'deleted': [[conv(r[n]) for n in names] for r in t.deleted]}))
)PY";
    QProcess python;
    const QString program = QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                    : QStringLiteral("python3");
    python.start(program, {QStringLiteral("-c"), QString::fromUtf8(script), path, encoding});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "dbfread failed: " << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// Compares one of our values with dbfread's reading of it.
void expectSameAsDbfread(const QVariant &ours, const QJsonValue &theirs, const FieldDef &def, const QString &where)
{
    SCOPED_TRACE(where.toStdString() + " " + def.name.toStdString());
    if (!ours.isValid()) {
        // dbfread gives an empty string for blank character fields and None for the rest.
        EXPECT_TRUE(theirs.isNull() || theirs.toString().isEmpty()) << theirs.toVariant().toString().toStdString();
        return;
    }
    switch (def.dataType) {
    case ftString:
        EXPECT_EQ(theirs.toString(), ours.toString());
        break;
    case ftMemo: {
        // dbfread reads a dBASE IV memo's stored length as if it did not count
        // the 8 header bytes, so up to 8 bytes that follow the memo come along
        // (block padding in the files we write).
        const QString t = theirs.toString();
        const QString o = ours.toString();
        EXPECT_TRUE(t.startsWith(o)) << t.toStdString() << " / " << o.toStdString();
        EXPECT_LE(t.size() - o.size(), 8);
        break;
    }
    case ftBlob: case ftGraphic: {
        // As for text memos; dbfread also ends a dBASE IV memo at the first 0x1F.
        const QByteArray t = QByteArray::fromHex(theirs.toObject().value(QStringLiteral("hex")).toString().toLatin1());
        QByteArray o = ours.toByteArray();
        const bool cut = o.contains('\x1F');
        if (cut)
            o.truncate(o.indexOf('\x1F'));
        EXPECT_TRUE(t.startsWith(o));
        if (!cut) {
            EXPECT_LE(t.size() - o.size(), 8);
        }
        break;
    }
    case ftInteger: case ftLargeint: case ftSmallint:
        EXPECT_EQ(qint64(theirs.toDouble()), ours.toLongLong());
        break;
    case ftFloat: case ftCurrency:
        EXPECT_NEAR(theirs.toDouble(), ours.toDouble(), 1e-9 * std::max(1.0, std::fabs(ours.toDouble())));
        break;
    case ftDate:
        EXPECT_EQ(theirs.toString(), ours.toDate().toString(Qt::ISODate));
        break;
    case ftBoolean:
        EXPECT_EQ(theirs.toBool(), ours.toBool());
        break;
    default:
        ADD_FAILURE() << "type not compared";
    }
}

void expectTableMatchesDbfread(const QString &path)
{
    auto t = openDbf(path, true);
    // dbfread is told the code page we read the table in; it defaults to ASCII without a language driver.
    const int codePage = t->connectionProperties().value(0).second.toInt();
    const QJsonObject theirs = readWithDbfread(path, QStringLiteral("cp%1").arg(codePage));
    const QJsonArray records = theirs.value(QStringLiteral("records")).toArray();
    ASSERT_EQ(records.size(), t->rowCount());
    for (qint64 p = 0; p < t->rowCount(); ++p) {
        const QJsonArray rec = records.at(int(p)).toArray();
        ASSERT_EQ(rec.size(), t->fieldDefs().size());
        for (int f = 0; f < t->fieldDefs().size(); ++f)
            expectSameAsDbfread(t->value(t->rowAt(p), f), rec.at(f), t->fieldDefs()[f], QStringLiteral("row %1").arg(p));
    }
}

QVector<FieldDef> customerFields()
{
    return {field(QStringLiteral("NAME"), ftString, 30),     field(QStringLiteral("ORT"), ftString, 20),
            field(QStringLiteral("PLZ"), ftInteger),         field(QStringLiteral("UMSATZ"), ftFloat, 0, 2),
            field(QStringLiteral("BETRAG"), ftCurrency),     field(QStringLiteral("SEIT"), ftDate),
            field(QStringLiteral("AKTIV"), ftBoolean),       field(QStringLiteral("NOTIZ"), ftMemo),
            field(QStringLiteral("BILD"), ftBlob),           field(QStringLiteral("GEAENDERT"), ftDateTime)};
}

QByteArray allBytes()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b + QByteArray("\x1A\x1A end", 6);
}

QString longMemo()
{
    QString s;
    for (int i = 0; s.size() < 1500; ++i)
        s += QStringLiteral("Zeile %1: Grüße aus Köln, Äpfel & Öl\r\n").arg(i);
    return s.left(1500);
}

} // namespace

TEST(DbaseWrite, CreatedTableRoundTripAgreesWithDbfread)
{
    ScratchDir dir;
    driver().create(dir.path(), QStringLiteral("KUNDEN"), customerFields());
    const QString path = dir.file(QStringLiteral("KUNDEN.dbf"));
    ASSERT_TRUE(QFileInfo::exists(path));
    ASSERT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("KUNDEN.dbt"))));
    {
        auto t = openDbf(path, false);
        EXPECT_EQ(t->readOnlyReason(), QString());
        EXPECT_EQ(t->rowCount(), 0);
        const QDateTime stamp(QDate(2024, 2, 29), QTime(23, 59, 58));
        EXPECT_EQ(t->append({QStringLiteral("Müller"), QStringLiteral("Köln"), 50667, 1234.5, 99.95, QDate(1999, 12, 31),
                             true, QStringLiteral("Erste Zeile\r\nZweite Zeile mit ß"), allBytes(), stamp}),
                  0);
        EXPECT_EQ(t->append({QStringLiteral("Groß & Söhne"), QStringLiteral("Düsseldorf"), 40210, -0.5, 0.0,
                             QDate(2001, 1, 1), false, longMemo(), QVariant(), QVariant()}),
                  1);
        EXPECT_EQ(t->append({QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                             QVariant(), QVariant(), QVariant()}),
                  2);
        EXPECT_EQ(t->append({QStringLiteral("Zu löschen"), QString(), 1, 1.0, 1.0, QDate(2020, 2, 2), true,
                             QStringLiteral("weg"), QVariant(), QVariant()}),
                  3);
        EXPECT_EQ(t->append({QStringLiteral("Übermut"), QStringLiteral("Zürich"), 8001, 1e9, 12345678.1234,
                             QDate(1900, 3, 1), true, QString(), QByteArray("\0\1\2", 3), QVariant()}),
                  4);
        EXPECT_EQ(t->rowCount(), 5);

        // Change one record: a field and the memo; delete another.
        const QVector<QVariant> before = rowValues(*t, 1);
        QVector<QVariant> after = before;
        after[0] = QStringLiteral("Groß & Töchter");
        after[7] = QStringLiteral("Neuer Text, länger als der alte? Nein.");
        t->update(1, before, after);
        t->remove(3);
        EXPECT_EQ(t->rowCount(), 4);
        EXPECT_EQ(t->positionOf(3), -1);
        EXPECT_EQ(t->value(1, 0).toString(), QStringLiteral("Groß & Töchter"));
    }

    auto t = openDbf(path, false);
    ASSERT_EQ(t->rowCount(), 4);
    const auto &defs = t->fieldDefs();
    EXPECT_EQ(defs[0].nativeType, QStringLiteral("C(30)"));
    EXPECT_EQ(defs[2].nativeType, QStringLiteral("N(11)"));
    EXPECT_EQ(defs[3].nativeType, QStringLiteral("N(20,2)"));
    EXPECT_EQ(defs[4].nativeType, QStringLiteral("N(20,4)"));
    EXPECT_EQ(defs[7].dataType, ftMemo);
    EXPECT_EQ(defs[8].dataType, ftBlob);
    EXPECT_EQ(defs[9].nativeType, QStringLiteral("C(19)"));

    EXPECT_EQ(t->value(0, 0).toString(), QStringLiteral("Müller"));
    EXPECT_EQ(t->value(0, 1).toString(), QStringLiteral("Köln"));
    EXPECT_EQ(t->value(0, 2).toLongLong(), 50667);
    EXPECT_DOUBLE_EQ(t->value(0, 3).toDouble(), 1234.5);
    // Money is stored as N(20,4); the text shows the stored decimals.
    EXPECT_EQ(t->text(0, 4), QStringLiteral("99,9500"));
    EXPECT_DOUBLE_EQ(t->value(0, 4).toDouble(), 99.95);
    EXPECT_EQ(t->value(0, 5).toDate(), QDate(1999, 12, 31));
    EXPECT_EQ(t->value(0, 6), QVariant(true));
    EXPECT_EQ(t->value(0, 7).toString(), QStringLiteral("Erste Zeile\r\nZweite Zeile mit ß"));
    EXPECT_EQ(t->value(0, 8).toByteArray(), allBytes());
    EXPECT_EQ(t->value(0, 9).toString(), QStringLiteral("29.02.2024 23:59:58"));
    EXPECT_EQ(t->value(1, 0).toString(), QStringLiteral("Groß & Töchter"));
    EXPECT_EQ(t->value(1, 7).toString(), QStringLiteral("Neuer Text, länger als der alte? Nein."));
    EXPECT_DOUBLE_EQ(t->value(1, 3).toDouble(), -0.5);
    for (int f = 2; f < 9; ++f)
        EXPECT_FALSE(t->value(2, f).isValid()) << f;
    EXPECT_EQ(t->value(2, 0).toString(), QString()); // character fields read blank as empty text
    EXPECT_EQ(t->value(2, 9).toString(), QString());
    EXPECT_EQ(t->rowAt(3), 4);
    EXPECT_EQ(t->value(4, 0).toString(), QStringLiteral("Übermut"));
    EXPECT_DOUBLE_EQ(t->value(4, 3).toDouble(), 1e9);
    EXPECT_DOUBLE_EQ(t->value(4, 4).toDouble(), 12345678.1234);
    EXPECT_FALSE(t->value(4, 7).isValid()); // an empty memo is stored as none
    EXPECT_EQ(t->value(4, 8).toByteArray(), QByteArray("\0\1\2", 3));

    // The header: version with memo, ANSI language driver, count, today's date, end marker.
    const QByteArray raw = testsupport::readAll(path);
    EXPECT_EQ(quint8(raw[0]), 0x8B);
    EXPECT_EQ(quint8(raw[29]), 0x57);
    EXPECT_EQ(quint8(raw[4]), 5);
    const QDate today = QDate::currentDate();
    EXPECT_EQ(quint8(raw[1]) + 1900, today.year());
    EXPECT_EQ(quint8(raw[2]), today.month());
    EXPECT_EQ(quint8(raw[3]), today.day());
    const int hl = quint8(raw[8]) | (quint8(raw[9]) << 8);
    const int rl = quint8(raw[10]) | (quint8(raw[11]) << 8);
    EXPECT_EQ(raw.size(), hl + 5 * rl + 1);
    EXPECT_EQ(raw.back(), '\x1A');
    EXPECT_EQ(raw[hl + 3 * rl], '*');

    const QJsonObject theirs = readWithDbfread(path, QStringLiteral("cp1252"));
    EXPECT_EQ(theirs.value(QStringLiteral("deleted")).toArray().size(), 1);
    expectTableMatchesDbfread(path);
}

TEST(DbaseWrite, ChangesToExistingDbaseIIIAndIVTablesAgreeWithDbfread)
{
    for (const auto &[table, memo] : {std::pair{"dbase/dans-dbase3plus/cars.dbf", "dbase/dans-dbase3plus/cars.dbt"},
                                      std::pair{"dbase/infused-dbf/dbase_8b.dbf", "dbase/infused-dbf/dbase_8b.dbt"}}) {
        SCOPED_TRACE(table);
        ScratchDir dir;
        const QString path = dir.copyFixture(QString::fromLatin1(table));
        const QString memoPath = dir.copyFixture(QString::fromLatin1(memo));
        const QByteArray memoBefore = testsupport::readAll(memoPath);
        {
            auto t = openDbf(path, false);
            const int n = t->fieldDefs().size();
            QVector<QVariant> values(n);
            values[0] = QStringLiteral("Käfer");
            for (int i = 0; i < n; ++i) {
                if (t->fieldDefs()[i].dataType == ftMemo)
                    values[i] = QStringLiteral("Memo mit Ümlaut\r\nund zweiter Zeile");
                if (t->fieldDefs()[i].dataType == ftDate)
                    values[i] = QDate(1938, 5, 26);
                if (t->fieldDefs()[i].dataType == ftBoolean)
                    values[i] = true;
            }
            const RowId row = t->append(values);
            EXPECT_EQ(t->value(row, 0).toString(), QStringLiteral("Käfer"));
            const QVector<QVariant> before = rowValues(*t, 0);
            QVector<QVariant> after = before;
            after[0] = QStringLiteral("Geändert");
            t->update(0, before, after);
            t->remove(1);
        }
        // Memos went to the end of the memo file; nothing before was overwritten.
        const QByteArray memoAfter = testsupport::readAll(memoPath);
        EXPECT_GT(memoAfter.size(), memoBefore.size());
        const qint64 blocks = memoBefore.size() / 512 + (memoBefore.size() % 512 ? 1 : 0);
        EXPECT_EQ(memoAfter.left(int(blocks * 512)).mid(4), memoBefore.mid(4).leftJustified(int(blocks * 512) - 4, '\0', true));
        expectTableMatchesDbfread(path);
    }
}

TEST(DbaseWrite, VisualFoxProNullFlagsVarFieldsAutoIncrementAndFptMemos)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("foxpro/go-dbase/TEST.DBF"));
    const QString fpt = dir.copyFixture(QStringLiteral("foxpro/go-dbase/TEST.FPT"));
    const QDateTime stamp(QDate(2023, 7, 1), QTime(8, 15, 30, 250));
    RowId row;
    {
        auto t = openDbf(path, false);
        ASSERT_EQ(t->readOnlyReason(), QString());
        QVector<QVariant> v(16);
        v[1] = QStringLiteral("Größe XL");
        v[2] = 1234.5678;
        v[3] = 0.125;
        v[4] = QDate(2023, 7, 1);
        v[5] = stamp;
        v[6] = 9.99;
        v[7] = -42;
        v[8] = false;
        v[9] = QStringLiteral("Beschreibung mit Ä");
        v[10] = QVariant(); // null in a field without a null flag: blank
        v[11] = 7;
        v[12] = QByteArray("\x00\xFF\x10", 3);
        v[13] = QVariant();         // nullable varbinary: null flag
        v[14] = QStringLiteral("kurz"); // nullable varchar: length flag
        v[15] = QStringLiteral("0123456789"); // exactly the width: no length flag
        row = t->append(v);
        EXPECT_EQ(row, 3);
        EXPECT_EQ(t->rowCount(), 3);
    }
    auto t = openDbf(path, false);
    ASSERT_EQ(t->rowCount(), 3);
    EXPECT_EQ(t->value(row, 0).toLongLong(), 3); // next autoincrement value from the header
    EXPECT_EQ(t->value(row, 1).toString(), QStringLiteral("Größe XL"));
    EXPECT_DOUBLE_EQ(t->value(row, 2).toDouble(), 1234.5678);
    EXPECT_DOUBLE_EQ(t->value(row, 3).toDouble(), 0.125);
    EXPECT_EQ(t->value(row, 5).toDateTime(), stamp);
    EXPECT_DOUBLE_EQ(t->value(row, 6).toDouble(), 9.99);
    EXPECT_EQ(t->value(row, 7).toLongLong(), -42);
    EXPECT_EQ(t->value(row, 8), QVariant(false));
    EXPECT_EQ(t->value(row, 9).toString(), QStringLiteral("Beschreibung mit Ä"));
    EXPECT_FALSE(t->value(row, 10).isValid());
    EXPECT_EQ(t->value(row, 11).toLongLong(), 7);
    EXPECT_EQ(t->value(row, 12).toByteArray(), QByteArray("\x00\xFF\x10", 3));
    EXPECT_FALSE(t->value(row, 13).isValid());
    EXPECT_EQ(t->value(row, 14).toString(), QStringLiteral("kurz"));
    EXPECT_EQ(t->value(row, 15).toString(), QStringLiteral("0123456789"));
    // The old rows are untouched.
    EXPECT_EQ(t->value(0, 14).toString(), QStringLiteral("Test value with variable length"));
    // The next autoincrement value moved on, the memo file's next free block too.
    const QByteArray raw = testsupport::readAll(path);
    EXPECT_EQ(quint8(raw[32 + 19]), 4);
    const QByteArray memo = testsupport::readAll(fpt);
    const quint32 nextFree = (quint8(memo[0]) << 24) | (quint8(memo[1]) << 16) | (quint8(memo[2]) << 8) | quint8(memo[3]);
    EXPECT_EQ(qint64(nextFree) * 64, memo.size());
    EXPECT_GT(nextFree, 10u);

    // Setting a nullable field to null and back through update.
    QVector<QVariant> before = rowValues(*t, row);
    QVector<QVariant> after = before;
    after[14] = QVariant();
    after[13] = QByteArray("\x01\x02", 2);
    t->update(row, before, after);
    EXPECT_FALSE(t->value(row, 14).isValid());
    EXPECT_EQ(t->value(row, 13).toByteArray(), QByteArray("\x01\x02", 2));
    before = after;
    after[14] = QString();
    t->update(row, rowValues(*t, row), after);
    EXPECT_TRUE(t->value(row, 14).isValid());
    EXPECT_EQ(t->value(row, 14).toString(), QString());
}

TEST(DbaseWrite, ValuesThatDoNotFitAreRefusedAndNothingIsWritten)
{
    ScratchDir dir;
    driver().create(dir.path(), QStringLiteral("t"),
                    {field(QStringLiteral("NAME"), ftString, 5), field(QStringLiteral("ZAHL"), ftBCD, 0, 2),
                     field(QStringLiteral("DATUM"), ftDate), field(QStringLiteral("NOTIZ"), ftMemo)});
    const QString path = dir.file(QStringLiteral("t.dbf"));
    auto t = openDbf(path, false);
    const QByteArray before = testsupport::readAll(path);
    const QByteArray memoBefore = testsupport::readAll(dir.file(QStringLiteral("t.dbt")));
    const auto refused = [&](const QVector<QVariant> &values, const QString &mentions) {
        try {
            t->append(values);
            ADD_FAILURE() << "accepted " << mentions.toStdString();
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(mentions)) << e.message().toStdString();
        }
    };
    refused({QStringLiteral("sechs!"), 1, QVariant(), QStringLiteral("memo")}, QStringLiteral("NAME"));
    refused({QStringLiteral("sechs!"), 1, QVariant(), QVariant()}, QStringLiteral("5"));
    refused({QStringLiteral("ok"), 1e30, QVariant(), QStringLiteral("memo")}, QStringLiteral("ZAHL"));
    refused({QStringLiteral("ok"), QStringLiteral("zwölf"), QVariant(), QVariant()}, QStringLiteral("zwölf"));
    refused({QStringLiteral("漢字"), 1, QVariant(), QVariant()}, QStringLiteral("漢"));
    refused({QStringLiteral("ok"), 1, QStringLiteral("31.02.2020"), QVariant()}, QStringLiteral("31.02.2020"));
    refused({QStringLiteral("ok"), 1, QVariant(), QStringLiteral("Euro € ok, aber 漢 nicht")}, QStringLiteral("NOTIZ"));
    refused({QStringLiteral("ok")}, QStringLiteral("Werte"));
    EXPECT_EQ(testsupport::readAll(path), before);
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("t.dbt"))), memoBefore);
    EXPECT_EQ(t->rowCount(), 0);

    // Five characters fit exactly, the euro sign is in code page 1252, rounding to the decimals is fine.
    const RowId row = t->append({QStringLiteral("fünf€"), 3.14159, QDate(2020, 2, 29), QVariant()});
    EXPECT_EQ(t->value(row, 0).toString(), QStringLiteral("fünf€"));
    EXPECT_DOUBLE_EQ(t->value(row, 1).toDouble(), 3.14);

    // A read-only table refuses every change with its reason.
    auto readOnly = openDbf(path, true);
    try {
        readOnly->append({QStringLiteral("x"), 1, QVariant(), QVariant()});
        ADD_FAILURE() << "read-only table changed";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Die Tabelle ist schreibgeschützt geöffnet."));
    }
    EXPECT_THROW(readOnly->remove(row), EngineError);
    EXPECT_THROW(readOnly->update(row, {}, {QStringLiteral("x"), 1, QVariant(), QVariant()}), EngineError);
}

TEST(DbaseWrite, TwoTablesOnOneFileDoNotOverwriteEachOther)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbt"));
    auto a = openDbf(path, false);
    auto b = openDbf(path, false);
    ASSERT_EQ(b->rowCount(), 4);
    const QVector<QVariant> golf{QStringLiteral("GOLF"), 1974, true, QDate(1974, 3, 29), 1.1, QStringLiteral("Golf I")};
    const QVector<QVariant> beetle{QStringLiteral("BEETLE"), 1938, false, QDate(1938, 5, 26), 1.2, QStringLiteral("Käfer")};
    EXPECT_EQ(a->append(golf), 4);
    EXPECT_EQ(b->append(beetle), 5); // b saw a's record under the lock
    EXPECT_EQ(b->rowCount(), 6);
    EXPECT_EQ(b->value(4, 0).toString(), QStringLiteral("GOLF"));
    EXPECT_EQ(openDbf(path, false)->rowCount(), 6);
    EXPECT_EQ(openDbf(path, false)->value(5, 5).toString(), QStringLiteral("Käfer"));
    EXPECT_EQ(openDbf(path, false)->value(4, 5).toString(), QStringLiteral("Golf I"));

    // Both begin editing record 2; the second change is refused.
    const QVector<QVariant> original = rowValues(*a, 2);
    ASSERT_EQ(rowValues(*b, 2), original);
    QVector<QVariant> byA = original;
    byA[1] = 1991;
    QVector<QVariant> byB = original;
    byB[1] = 1992;
    a->update(2, original, byA);
    try {
        b->update(2, original, byB);
        ADD_FAILURE() << "the other change was overwritten";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::ChangedByOther);
        EXPECT_TRUE(e.message().contains(QStringLiteral("anderen Programm geändert"))) << e.message().toStdString();
    }
    EXPECT_EQ(openDbf(path, false)->value(2, 1).toLongLong(), 1991);

    // A record the other deleted can be neither changed nor deleted again.
    const QVector<QVariant> polo = rowValues(*b, 1);
    a->remove(1);
    QVector<QVariant> changed = polo;
    changed[0] = QStringLiteral("POLO GT");
    try {
        b->update(1, polo, changed);
        ADD_FAILURE() << "a deleted record was changed";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::ChangedByOther);
        EXPECT_TRUE(e.message().contains(QStringLiteral("gelöscht"))) << e.message().toStdString();
    }
    EXPECT_THROW(b->remove(1), EngineError);
    EXPECT_EQ(openDbf(path, false)->rowCount(), 5);
}

TEST(DbaseWrite, ChangesWaitForTheLockOfAnotherProgram)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    auto t = openDbf(path, false);
    // Another program holds a write lock on the table file.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        t->append({QStringLiteral("Carol"), QDate(1990, 1, 1)});
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done.load());
    fl.l_type = F_UNLCK;
    ::fcntl(fd, F_OFD_SETLK, &fl);
    writer.join();
    ::close(fd);
    EXPECT_TRUE(done.load());
    EXPECT_EQ(openDbf(path, false)->rowCount(), 3);
}

TEST(DbaseWrite, CreateMapsTypesAndRefusesBadDefinitions)
{
    ScratchDir dir;
    const QVector<FieldDef> all{
        field(QStringLiteral("S"), ftString, 12),     field(QStringLiteral("LANG"), ftString, 300),
        field(QStringLiteral("SI"), ftSmallint),      field(QStringLiteral("I"), ftInteger),
        field(QStringLiteral("W"), ftWord),           field(QStringLiteral("AI"), ftAutoInc),
        field(QStringLiteral("L64"), ftLargeint),     field(QStringLiteral("F"), ftFloat),
        field(QStringLiteral("C"), ftCurrency),       field(QStringLiteral("D"), ftDate),
        field(QStringLiteral("T"), ftTime),           field(QStringLiteral("DT"), ftDateTime),
        field(QStringLiteral("B"), ftBoolean),        field(QStringLiteral("M"), ftMemo),
        field(QStringLiteral("G"), ftGraphic),        field(QStringLiteral("BLOB"), ftBlob)};
    driver().create(dir.path(), QStringLiteral("ALLE.DBF"), all);
    auto t = openDbf(dir.file(QStringLiteral("ALLE.DBF")), false);
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("ALLE.DBT"))));
    QStringList native;
    for (const FieldDef &f : t->fieldDefs())
        native << f.nativeType;
    EXPECT_EQ(native, (QStringList{"C(12)", "M", "N(11)", "N(11)", "N(11)", "N(11)", "N(20)", "N(20,6)", "N(20,4)", "D",
                                   "C(8)", "C(19)", "L", "M", "B", "B"}));
    const RowId row = t->append({QStringLiteral("x"), QString(300, QLatin1Char('y')), -32768, 2147483647, 65535, 1,
                                 qint64(9007199254740993LL), 0.1, 12.3456, QDate(2000, 1, 1), QTime(12, 30, 15),
                                 QDateTime(QDate(2000, 1, 1), QTime(1, 2, 3)), true, QStringLiteral("m"),
                                 QByteArray("\x89PNG", 4), QByteArray(600, '\x1A')});
    EXPECT_EQ(t->value(row, 1).toString(), QString(300, QLatin1Char('y')));
    EXPECT_EQ(t->value(row, 3).toLongLong(), 2147483647);
    EXPECT_EQ(t->text(row, 10), QStringLiteral("12:30:15"));
    EXPECT_EQ(t->text(row, 11), QStringLiteral("01.01.2000 01:02:03"));
    EXPECT_EQ(t->value(row, 15).toByteArray(), QByteArray(600, '\x1A'));

    const auto refused = [&](const QVector<FieldDef> &fields, const QString &mentions) {
        ScratchDir empty;
        try {
            driver().create(empty.path(), QStringLiteral("NEU"), fields);
            ADD_FAILURE() << "created " << mentions.toStdString();
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(mentions)) << e.message().toStdString();
        }
        EXPECT_TRUE(driver().tableNames(empty.path()).isEmpty()); // nothing half-written
        EXPECT_TRUE(QDir(empty.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    };
    refused({field(QStringLiteral("VIEL_ZU_LANG"), ftString, 5)}, QStringLiteral("VIEL_ZU_LANG"));
    refused({field(QStringLiteral("A"), ftString, 5), field(QStringLiteral("a"), ftInteger)}, QStringLiteral("a"));
    refused({field(QStringLiteral("CUR"), ftCursor)}, QStringLiteral("CUR"));
    refused({}, QStringLiteral("NEU"));
    refused({field(QString(), ftString, 5)}, QStringLiteral("Namen"));
    EXPECT_THROW(driver().create(dir.file(QStringLiteral("fehlt")), QStringLiteral("X"), all), EngineError);

    // Without memo fields: version 0x03 and no memo file.
    driver().create(dir.path(), QStringLiteral("flach"), {field(QStringLiteral("N"), ftInteger)});
    EXPECT_EQ(quint8(testsupport::readAll(dir.file(QStringLiteral("flach.dbf")))[0]), 0x03);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("flach.dbt"))));
}

TEST(DbaseWrite, CreateReplacesAnOlderTableAndItsStaleCodePageFile)
{
    ScratchDir dir;
    dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    QFile cpg(dir.file(QStringLiteral("people.cpg")));
    ASSERT_TRUE(cpg.open(QIODevice::WriteOnly));
    cpg.write("UTF-8");
    cpg.close();
    driver().create(dir.path(), QStringLiteral("people"), {field(QStringLiteral("NAME"), ftString, 10)});
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("people.cpg"))));
    auto t = openDbf(dir.file(QStringLiteral("people.dbf")), false);
    EXPECT_EQ(t->rowCount(), 0);
    t->append({QStringLiteral("Jürgen")});
    EXPECT_EQ(openDbf(dir.file(QStringLiteral("people.dbf")), false)->value(0, 0).toString(), QStringLiteral("Jürgen"));
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("people.dbf"))).count("J\xFCrgen"), 1);
}

TEST(DbaseWrite, Utf8TableByItsCpgFileStoresAnyCharacterWithinTheByteWidth)
{
    ScratchDir dir;
    driver().create(dir.path(), QStringLiteral("u"), {field(QStringLiteral("TEXT"), ftString, 8), field(QStringLiteral("NOTIZ"), ftMemo)});
    QFile cpg(dir.file(QStringLiteral("u.cpg")));
    ASSERT_TRUE(cpg.open(QIODevice::WriteOnly));
    cpg.write("UTF-8\n");
    cpg.close();
    auto t = openDbf(dir.file(QStringLiteral("u.dbf")), false);
    const RowId row = t->append({QStringLiteral("Ä漢字"), QStringLiteral("Grüße \u00AD 漢字\r\n")});
    // Eight bytes hold "Ä漢字" (2 + 3 + 3) but not one character more.
    EXPECT_THROW(t->append({QStringLiteral("Ä漢字x"), QVariant()}), EngineError);
    auto again = openDbf(dir.file(QStringLiteral("u.dbf")), false);
    EXPECT_EQ(again->value(row, 0).toString(), QStringLiteral("Ä漢字"));
    EXPECT_EQ(again->value(row, 1).toString(), QStringLiteral("Grüße \u00AD 漢字\r\n"));
    EXPECT_EQ(again->rowCount(), 1);
}

TEST(DbaseWrite, ExclusiveOpenKeepsOthersOutAndStillChanges)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbfread/people.dbf"));
    const QFileInfo info(path);
    auto exclusive = driver().open(info.absolutePath(), info.fileName(), OpenOptions{false, true});
    EXPECT_THROW(driver().open(info.absolutePath(), info.fileName(), OpenOptions{false, true}), EngineError);
    EXPECT_THROW(driver().open(info.absolutePath(), info.fileName(), OpenOptions{true, true}), EngineError);
    // Its own changes do not wait for its own lock.
    EXPECT_EQ(exclusive->append({QStringLiteral("Dora"), QDate(2000, 2, 2)}), 3);
    exclusive->remove(0);
    exclusive.reset();
    auto again = driver().open(info.absolutePath(), info.fileName(), OpenOptions{false, true});
    EXPECT_EQ(again->rowCount(), 2);
}
