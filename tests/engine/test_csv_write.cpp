// Changing and creating text tables: every change rewrites the file beside the
// old one and keeps its character set, separator, quoting and line ends; what is
// written reads back here and in Python's csv module; a failed rewrite leaves the
// old file as it was, and a change by another program is reported, not overwritten.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/csv/CsvDriver.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace engine;
using testsupport::rowText;
using testsupport::rowValues;
using testsupport::ScratchDir;
using testsupport::readAll;

namespace {

std::unique_ptr<TableSource> openFile(const QString &path, bool readOnly = false)
{
    CsvDriver d;
    const QFileInfo info(path);
    return d.open(info.absolutePath(), info.fileName(), OpenOptions{readOnly, false});
}

// All records (header included) as Python's csv module reads them.
QList<QStringList> pythonRows(const QString &path, const QString &encoding)
{
    static const char *script = R"(
import csv, json, sys
with open(sys.argv[1], newline='', encoding=sys.argv[2]) as f:
    print(json.dumps([row for row in csv.reader(f, delimiter=sys.argv[3])]))
)";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path, encoding,
                                                      QStringLiteral(",")});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python csv failed: " << python.readAllStandardError().toStdString();
        return {};
    }
    QList<QStringList> rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        QStringList cells;
        for (const QJsonValue &cell : row.toArray())
            cells << cell.toString();
        rows << cells;
    }
    return rows;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const EngineError &e) {
        return e.message();
    }
    return QString();
}

FieldDef field(const QString &name, TFieldType type, int size = 0)
{
    FieldDef f;
    f.name = name;
    f.dataType = type;
    f.size = size;
    return f;
}

} // namespace

TEST(CsvWrite, AppendUpdateRemoveReadBackHereAndInPython)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("csv/rows/all-field-types.csv"));
    {
        auto t = openFile(path);
        ASSERT_EQ(t->readOnlyReason(), QString());
        // Append with typed values, and with text that needs quotes.
        const RowId added = t->append({true, 42, 2.5, QVariant(), QStringLiteral("50%"), QDate(2024, 2, 29),
                                       QDateTime(QDate(2024, 3, 1), QTime(8, 9, 10)), QStringLiteral("Grüße, \"Welt\"\nzwei")});
        EXPECT_EQ(t->rowCount(), 8);
        EXPECT_EQ(t->positionOf(added), 7);
        EXPECT_EQ(rowText(*t, 7), (QStringList{QStringLiteral("True"), QStringLiteral("42"), QStringLiteral("2,5"), QString(),
                                               QStringLiteral("50%"), QStringLiteral("29.02.2024"),
                                               QStringLiteral("01.03.2024 08:09:10"), QStringLiteral("Grüße, \"Welt\"\nzwei")}));
        // Update one field of row 1; its other cells keep their text ("11.69%", "1.234").
        const RowId second = t->rowAt(1);
        const QVector<QVariant> before = rowValues(*t, second);
        QVector<QVariant> after = before;
        after[1] = 2000;
        after[7] = QStringLiteral("Änderung");
        t->update(second, before, after);
        EXPECT_EQ(t->value(second, 1).toInt(), 2000);
        // Remove row 2: the rows behind it keep their ids.
        const RowId third = t->rowAt(2), fourth = t->rowAt(3);
        t->remove(third);
        EXPECT_EQ(t->rowCount(), 7);
        EXPECT_EQ(t->positionOf(third), -1);
        EXPECT_EQ(t->positionOf(fourth), 2);
        EXPECT_EQ(t->rowAt(2), fourth);
        EXPECT_EQ(t->text(fourth, 7), QStringLiteral("~~~~"));
        EXPECT_EQ(t->text(added, 7), QStringLiteral("Grüße, \"Welt\"\nzwei"));
    }
    auto t = openFile(path);
    ASSERT_EQ(t->rowCount(), 7);
    EXPECT_EQ(t->fieldDefs().at(1).dataType, ftInteger);
    EXPECT_EQ(t->fieldDefs().at(5).dataType, ftDate);
    EXPECT_EQ(rowText(*t, 1), (QStringList{QStringLiteral("False"), QStringLiteral("2000"), QStringLiteral("1,234"),
                                           QStringLiteral("1,234"), QStringLiteral("11.69%"), QStringLiteral("03.02.1999"),
                                           QStringLiteral("03.02.1999 00:01:02"), QStringLiteral("Änderung")}));
    EXPECT_EQ(t->text(t->rowAt(6), 7), QStringLiteral("Grüße, \"Welt\"\nzwei"));

    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.contains("False,2000,1.234,1.234,11.69%,1999-02-03,1999-02-03T00:01:02,\xC3\x84nderung\n"))
        << "the file's own styles: dot decimals, ISO dates, T in date-times";
    EXPECT_TRUE(bytes.endsWith("True,42,2.5,,50%,2024-02-29,2024-03-01T08:09:10,\"Gr\xC3\xBC\xC3\x9F" "e, \"\"Welt\"\"\nzwei\"\n"));
    EXPECT_FALSE(bytes.contains("\r")) << "LF line ends kept";
    EXPECT_FALSE(bytes.contains("true,3,4.56")) << "row removed";

    const QList<QStringList> rows = pythonRows(path, QStringLiteral("utf-8"));
    ASSERT_EQ(rows.size(), 8);
    EXPECT_EQ(rows.at(2).at(1), QStringLiteral("2000"));
    EXPECT_EQ(rows.at(7).at(7), QStringLiteral("Grüße, \"Welt\"\nzwei"));
    EXPECT_EQ(rows.at(3).at(0), QStringLiteral("false"));
    const QStringList leftover = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(leftover, QStringList{QStringLiteral("all-field-types.csv")}) << "no temporary files left";
}

TEST(CsvWrite, KeepsCharacterSetQuotingAndLineEnds)
{
    ScratchDir dir;
    // UTF-16 with byte-order mark.
    const QString utf16 = dir.copyFixture(QStringLiteral("csv/csvkit/test_utf16_little.csv"));
    {
        auto t = openFile(utf16);
        t->append({7, 8, QStringLiteral("Öl")});
    }
    const QByteArray u16 = readAll(utf16);
    EXPECT_TRUE(u16.startsWith("\xFF\xFE")) << "BOM kept";
    EXPECT_EQ(openFile(utf16)->text(2, 2), QStringLiteral("Öl"));
    EXPECT_EQ(pythonRows(utf16, QStringLiteral("utf-16")).last(), (QStringList{QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("Öl")}));

    // Windows-1252 stays Windows-1252; a character it cannot hold is refused, not replaced.
    const QString latin = dir.copyFixture(QStringLiteral("csv/csvkit/test_latin1.csv"));
    {
        auto t = openFile(latin);
        const QVector<QVariant> before = rowValues(*t, 1);
        t->update(1, before, {4, 5, QStringLiteral("Grüße ©")});
        const QByteArray kept = readAll(latin);
        const QString error = errorOf([&] { t->append({1, 2, QStringLiteral("ʤ")}); });
        EXPECT_TRUE(error.contains(QStringLiteral("Zeichensatz"))) << error.toStdString();
        EXPECT_EQ(readAll(latin), kept);
    }
    EXPECT_TRUE(readAll(latin).endsWith("4,5,Gr\xFC\xDF" "e \xA9")) << "no line end added where there was none";
    EXPECT_EQ(openFile(latin)->text(1, 2), QStringLiteral("Grüße ©"));

    // CR LF, quoted text and a semicolon stay; numbers are written with a decimal comma.
    const QString german = dir.file(QStringLiteral("de.csv"));
    writeBytes(german, "\"Name\";\"Betrag\"\r\n\"Meier\";1,5\r\n\"Schulze\";-2,25\r\n");
    {
        auto t = openFile(german);
        EXPECT_EQ(t->fieldDefs().at(1).dataType, ftFloat);
        t->append({QStringLiteral("Weiß"), 1234.75});
        t->update(0, rowValues(*t, 0), {QStringLiteral("Meier"), 3.0});
    }
    EXPECT_EQ(readAll(german), QByteArray("\"Name\";\"Betrag\"\r\n\"Meier\";3\r\n\"Schulze\";-2,25\r\n\"Wei\xC3\x9F\";1234,75\r\n"));

    // A file with CR line ends only keeps them.
    const QString mac = dir.copyFixture(QStringLiteral("csv/csvkit/mac_newlines.csv"));
    {
        auto t = openFile(mac);
        t->remove(0);
        t->append({QStringLiteral("x"), 1, 2});
    }
    EXPECT_EQ(readAll(mac), QByteArray("a,b,c\r\"Once upon\ra time\",5,6\rx,1,2\r"));

    // A value that does not fit the column's type is refused.
    auto t = openFile(mac);
    EXPECT_FALSE(errorOf([&] { t->append({QStringLiteral("y"), QStringLiteral("zwölf"), 1}); }).isEmpty());
    EXPECT_EQ(t->rowCount(), 2);
}

TEST(CsvWrite, FailedRewriteLeavesTheOriginal)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("csv/rows/ecuador-medios-radiodifusoras.csv"));
    const QByteArray original = readAll(path);
    auto t = openFile(path);
    ASSERT_EQ(t->readOnlyReason(), QString());

    // The new file cannot grow beyond a few bytes: writing fails half-way (also for root).
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = errorOf([&] { t->remove(t->rowAt(0)); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(error.contains(QStringLiteral("unverändert"))) << error.toStdString();
    EXPECT_EQ(readAll(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "the half-written file is gone";
    EXPECT_EQ(t->rowCount(), 14);
    EXPECT_EQ(t->text(t->rowAt(2), 2), QStringLiteral("Av. Miguel Cordero y Av. Paucarbamba Ed. Work Center Piso 5, Of. 508"));
    // After the failure the table still works.
    t->remove(t->rowAt(0));
    EXPECT_EQ(openFile(path)->rowCount(), 13);

    // A directory that cannot be written says so before anything is tried; checked as a
    // user it holds for (root may write anyway).
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    // The file itself may be written by anyone: only the folder stands in the way.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther);
    std::string why;
    EXPECT_TRUE(testsupport::holdsForUnprivilegedUser(
        [&] {
            try {
                auto locked = openFile(path);
                if (!locked->readOnlyReason().contains(QStringLiteral("Ordner")))
                    return false;
                try {
                    locked->append(rowValues(*locked, 0));
                    return false;
                } catch (const EngineError &e) {
                    return e.message().contains(QStringLiteral("Ordner"));
                }
            } catch (const EngineError &) {
                return false;
            }
        },
        &why))
        << why;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(openFile(path, true)->readOnlyReason().isEmpty());
    auto readOnly = openFile(path, true);
    EXPECT_THROW(readOnly->remove(readOnly->rowAt(0)), EngineError);
    EXPECT_EQ(openFile(path)->rowCount(), 13);
}

TEST(CsvWrite, ChangeByAnotherProgramIsReported)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("csv/csv-spectrum/escaped_quotes.csv"));
    auto mine = openFile(path);
    auto other = openFile(path);
    const QVector<QVariant> before = rowValues(*mine, 0);

    // Another program appends a line.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("5,fremd\n");
    }
    const QByteArray theirs = readAll(path);
    const QString error = errorOf([&] { mine->update(0, before, {1, QStringLiteral("meins")}); });
    EXPECT_TRUE(error.contains(QStringLiteral("anderen Programm"))) << error.toStdString();
    EXPECT_FALSE(errorOf([&] { mine->remove(1); }).isEmpty());
    EXPECT_FALSE(errorOf([&] { mine->append({9, QStringLiteral("x")}); }).isEmpty());
    EXPECT_EQ(readAll(path), theirs) << "nothing overwritten";

    // Two tables of this program on one file: the second change is refused too.
    auto first = openFile(path);
    auto second = openFile(path);
    first->update(0, rowValues(*first, 0), {1, QStringLiteral("erste")});
    EXPECT_FALSE(errorOf([&] { second->update(0, rowValues(*second, 0), {1, QStringLiteral("zweite")}); }).isEmpty());
    EXPECT_EQ(openFile(path)->text(0, 1), QStringLiteral("erste"));

    // Values read when editing began that the record no longer has are reported.
    auto fresh = openFile(path);
    const QString stale = errorOf([&] { fresh->update(0, {1, QStringLiteral("ha \"ha\" ha")}, {1, QStringLiteral("neu")}); });
    EXPECT_TRUE(stale.contains(QStringLiteral("anderen Programm"))) << stale.toStdString();
    EXPECT_EQ(openFile(path)->text(0, 1), QStringLiteral("erste"));
    Q_UNUSED(other);
}

TEST(CsvWrite, CreateWritesFileAndSchemaIni)
{
    ScratchDir dir;
    writeBytes(dir.file(QStringLiteral("schema.ini")), "; von Hand\r\n[alt.csv]\r\nColNameHeader=False\r\nCol1=X Long\r\n");
    CsvDriver d;
    ASSERT_TRUE(d.canCreate());
    const QVector<FieldDef> fields{field(QStringLiteral("Name"), ftString, 30), field(QStringLiteral("Anzahl"), ftInteger),
                                   field(QStringLiteral("Preis"), ftFloat), field(QStringLiteral("Datum"), ftDate),
                                   field(QStringLiteral("Aktiv"), ftBoolean), field(QStringLiteral("Zeit"), ftDateTime),
                                   field(QStringLiteral("Notiz"), ftMemo)};
    d.create(dir.path(), QStringLiteral("neu#csv"), fields);
    EXPECT_EQ(readAll(dir.file(QStringLiteral("neu.csv"))),
              QByteArray("\"Name\",\"Anzahl\",\"Preis\",\"Datum\",\"Aktiv\",\"Zeit\",\"Notiz\"\r\n"));
    const QString ini = QString::fromUtf8(readAll(dir.file(QStringLiteral("schema.ini"))));
    EXPECT_TRUE(ini.contains(QStringLiteral("[alt.csv]\r\nColNameHeader=False\r\nCol1=X Long"))) << ini.toStdString();
    EXPECT_TRUE(ini.contains(QStringLiteral("; von Hand")));
    EXPECT_TRUE(ini.contains(QStringLiteral("[neu.csv]\r\nColNameHeader=True\r\nFormat=CSVDelimited\r\nCharacterSet=65001\r\n"
                                            "Col1=\"Name\" Text Width 30\r\nCol2=\"Anzahl\" Long\r\n")))
        << ini.toStdString();
    EXPECT_EQ(d.tableNames(dir.path()), QStringList{QStringLiteral("neu#csv")});

    {
        auto t = d.open(dir.path(), QStringLiteral("neu#csv"), {});
        ASSERT_EQ(t->fieldDefs().size(), 7);
        const TFieldType types[] = {ftString, ftInteger, ftFloat, ftDate, ftBoolean, ftDateTime, ftMemo};
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(t->fieldDefs().at(i).dataType, types[i]) << i;
        EXPECT_EQ(t->fieldDefs().at(0).size, 30);
        EXPECT_TRUE(t->isEmpty());
        t->append({QStringLiteral("Müller, Anna"), 3, 9.99, QDate(2024, 5, 17), true,
                   QDateTime(QDate(2024, 5, 17), QTime(14, 0, 5)), QStringLiteral("erste\nzweite Zeile")});
        t->append({QStringLiteral("Ölberg"), QVariant(), -0.5, QVariant(), false, QVariant(), QVariant()});
    }
    auto t = d.open(dir.path(), QStringLiteral("neu.csv"), {});
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(rowText(*t, 0), (QStringList{QStringLiteral("Müller, Anna"), QStringLiteral("3"), QStringLiteral("9,99"),
                                           QStringLiteral("17.05.2024"), QStringLiteral("True"),
                                           QStringLiteral("17.05.2024 14:00:05"), QStringLiteral("erste\nzweite Zeile")}));
    EXPECT_FALSE(t->value(1, 1).isValid());
    EXPECT_EQ(t->text(1, 2), QStringLiteral("-0,5"));
    const QList<QStringList> rows = pythonRows(dir.file(QStringLiteral("neu.csv")), QStringLiteral("utf-8"));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(1), (QStringList{QStringLiteral("Müller, Anna"), QStringLiteral("3"), QStringLiteral("9.99"),
                                       QStringLiteral("2024-05-17"), QStringLiteral("True"), QStringLiteral("2024-05-17 14:00:05"),
                                       QStringLiteral("erste\nzweite Zeile")}));
    EXPECT_EQ(rows.at(2).at(0), QStringLiteral("Ölberg"));

    // Creating over an existing table, or a kind a text file cannot hold, is refused.
    EXPECT_THROW(d.create(dir.path(), QStringLiteral("neu#csv"), fields), EngineError);
    EXPECT_THROW(d.create(dir.path(), QStringLiteral("bild"), {field(QStringLiteral("B"), ftBlob)}), EngineError);
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("bild.csv"))));
    // A second table adds its own section and keeps the others.
    d.create(dir.path(), QStringLiteral("zwei"), {field(QStringLiteral("A"), ftLargeint)});
    const QString ini2 = QString::fromUtf8(readAll(dir.file(QStringLiteral("schema.ini"))));
    EXPECT_TRUE(ini2.contains(QStringLiteral("[alt.csv]")) && ini2.contains(QStringLiteral("[neu.csv]"))
                && ini2.contains(QStringLiteral("[zwei.csv]")));
    EXPECT_EQ(d.open(dir.path(), QStringLiteral("zwei#csv"), {})->fieldDefs().at(0).dataType, ftLargeint);
}
