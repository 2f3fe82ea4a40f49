// Writing HTML pages: what the writer puts down reads back through our reader
// with the same fields and values, Python's own HTML parser sees the same cell
// texts, and a page only replaces an old one when it is complete.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "ValueText.h"
#include "drivers/html/HtmlDriver.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;
using testsupport::readAll;

namespace {

FieldDef field(const char *name, TFieldType type, int size = 0, int precision = 0, int scale = 0)
{
    FieldDef f;
    f.name = QString::fromUtf8(name);
    f.dataType = type;
    f.size = size;
    f.precision = precision;
    f.scale = scale;
    return f;
}

QVector<FieldDef> allFields()
{
    QVector<FieldDef> f{field("Name", ftString, 40),      field("Notiz", ftMemo),
                        field("Anzahl", ftInteger),       field("Klein", ftSmallint),
                        field("Groß", ftLargeint),        field("Preis", ftCurrency),
                        field("Faktor", ftFloat),         field("Betrag", ftBCD, 0, 10, 2),
                        field("Datum", ftDate),           field("Zeit", ftTime),
                        field("Zeitpunkt", ftDateTime),   field("Aktiv", ftBoolean)};
    for (int i = 0; i < f.size(); ++i)
        f[i].fieldNo = i + 1;
    return f;
}

QVector<QVector<QVariant>> allRows()
{
    return {
        {QStringLiteral("Müller & Söhne <GmbH>"), QStringLiteral("Zeile 1\nZeile 2\n  eingerückt \"zitiert\""),
         qint64(42), qint64(-7), qint64(9007199254740993LL), 1234.5, 0.25, 99.99, QDate(2024, 2, 29), QTime(23, 59, 58),
         QDateTime(QDate(1899, 12, 30), QTime(6, 30, 0)), true},
        {QStringLiteral("  zwei  Leerzeichen "), QVariant(), QVariant(), qint64(0), QVariant(), -0.5, -1234.0625, QVariant(),
         QDate(1, 1, 1), QVariant(), QVariant(), false},
        {QVariant(), QStringLiteral("ß€\u00a0ü"), qint64(-2147483648LL), QVariant(), qint64(0), 0.0, 1e-5, -1.5,
         QVariant(), QTime(0, 0), QDateTime(QDate(2000, 1, 1), QTime(0, 0)), QVariant()},
    };
}

void writePage(const QString &dir, const QString &name, const QVector<FieldDef> &fields,
               const QVector<QVector<QVariant>> &rows)
{
    HtmlDriver d;
    auto w = d.createWriter(dir, name, fields);
    for (const auto &row : rows)
        w->writeRow(row);
    w->commit();
}

QJsonArray pythonCells(const QString &page)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(BRISVEL_SOURCE_TESTS "/html/html_cells.py"), page});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

} // namespace

TEST(HtmlWrite, ReadsBackWithTheSameFieldsAndValues)
{
    ScratchDir dir;
    const QVector<FieldDef> fields = allFields();
    const auto rows = allRows();
    writePage(dir.path(), QStringLiteral("export.htm"), fields, rows);

    HtmlDriver d;
    EXPECT_EQ(d.tableNames(dir.path()), QStringList{QStringLiteral("export.htm")});
    auto t = d.open(dir.path(), QStringLiteral("EXPORT.HTM"), OpenOptions{});
    ASSERT_EQ(t->fieldDefs().size(), fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        const FieldDef &got = t->fieldDefs().at(i);
        EXPECT_EQ(got.name, fields.at(i).name);
        EXPECT_EQ(got.dataType, fields.at(i).dataType) << got.name.toStdString();
        EXPECT_EQ(got.fieldNo, i + 1);
    }
    EXPECT_EQ(t->fieldDefs().at(0).size, 40);
    EXPECT_EQ(t->fieldDefs().at(7).precision, 10);
    EXPECT_EQ(t->fieldDefs().at(7).scale, 2);

    ASSERT_EQ(t->rowCount(), rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < fields.size(); ++c) {
            QVariant expected = rows[r][c];
            // A non-breaking space is shown, and read, as a blank.
            if (expected.typeId() == QMetaType::QString)
                expected = expected.toString().replace(QChar(0xa0), QLatin1Char(' '));
            EXPECT_EQ(t->value(t->rowAt(r), c), expected) << "row " << r << " field " << fields[c].name.toStdString();
        }
    }
}

TEST(HtmlWrite, PythonHtmlParserSeesTheSameCells)
{
    ScratchDir dir;
    const QVector<FieldDef> fields = allFields();
    const auto rows = allRows();
    writePage(dir.path(), QStringLiteral("seite.html"), fields, rows);
    const QJsonArray cells = pythonCells(dir.file(QStringLiteral("seite.html")));
    ASSERT_EQ(cells.size(), rows.size() + 1);
    QStringList headings;
    for (const FieldDef &f : fields)
        headings << f.name;
    EXPECT_EQ(cells.at(0).toVariant().toStringList(), headings);
    // The cells as German text (decimal comma, currency with two places, small
    // numbers with an exponent, dd.MM.yyyy, hh:mm:ss, True/False), written out
    // here rather than formatted by the code under test.
    const QList<QStringList> expected{
        {QStringLiteral("Müller & Söhne <GmbH>"), QStringLiteral("Zeile 1\nZeile 2\n  eingerückt \"zitiert\""),
         QStringLiteral("42"), QStringLiteral("-7"), QStringLiteral("9007199254740993"), QStringLiteral("1234,50"),
         QStringLiteral("0,25"), QStringLiteral("99,99"), QStringLiteral("29.02.2024"), QStringLiteral("23:59:58"),
         QStringLiteral("30.12.1899 06:30:00"), QStringLiteral("True")},
        {QStringLiteral("  zwei  Leerzeichen "), QString(), QString(), QStringLiteral("0"), QString(),
         QStringLiteral("-0,50"), QStringLiteral("-1234,0625"), QString(), QStringLiteral("01.01.0001"), QString(),
         QString(), QStringLiteral("False")},
        {QString(), QStringLiteral("ß€ ü"), QStringLiteral("-2147483648"), QString(), QStringLiteral("0"),
         QStringLiteral("0,00"), QStringLiteral("1e-05"), QStringLiteral("-1,5"), QString(), QStringLiteral("00:00:00"),
         QStringLiteral("01.01.2000 00:00:00"), QString()},
    };
    ASSERT_EQ(expected.size(), rows.size());
    for (int r = 0; r < rows.size(); ++r)
        EXPECT_EQ(cells.at(r + 1).toVariant().toStringList(), expected.at(r)) << r;
}

TEST(HtmlWrite, PageIsUtf8Html5)
{
    ScratchDir dir;
    writePage(dir.path(), QStringLiteral("kunden"), {field("Ort", ftString, 20)}, {{QStringLiteral("Köln")}});
    const QByteArray page = readAll(dir.file(QStringLiteral("kunden.htm")));
    EXPECT_TRUE(page.startsWith("<!DOCTYPE html>\n"));
    EXPECT_TRUE(page.contains("<meta charset=\"utf-8\">"));
    EXPECT_TRUE(page.contains("<title>kunden</title>"));
    EXPECT_TRUE(page.contains("<thead>\n<tr><th data-type=\"string\" data-size=\"20\">Ort</th></tr>\n</thead>"));
    EXPECT_TRUE(page.contains(QStringLiteral("<tr><td>Köln</td></tr>").toUtf8()));
    EXPECT_TRUE(page.trimmed().endsWith("</html>"));
}

TEST(HtmlWrite, LineBreaksOfEveryKindBecomeOne)
{
    ScratchDir dir;
    writePage(dir.path(), QStringLiteral("z.htm"), {field("T", ftMemo)},
              {{QStringLiteral("a\r\nb\rc\nd")}, {QStringLiteral("\n")}, {QStringLiteral("x\ty")}});
    HtmlDriver d;
    auto t = d.open(dir.path(), QStringLiteral("z.htm"), OpenOptions{});
    EXPECT_EQ(t->value(0, 0), QVariant(QStringLiteral("a\nb\nc\nd")));
    EXPECT_EQ(t->value(1, 0), QVariant(QStringLiteral("\n")));
    // A tab is a blank to a browser.
    EXPECT_EQ(t->value(2, 0), QVariant(QStringLiteral("x y")));
}

TEST(HtmlWrite, ReplacesAPageOnlyWhenComplete)
{
    ScratchDir dir;
    const QString path = dir.file(QStringLiteral("alt.htm"));
    writePage(dir.path(), QStringLiteral("alt.htm"), {field("A", ftInteger)}, {{qint64(1)}});
    const QByteArray before = readAll(path);
    const QStringList entries = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    HtmlDriver d;
    {
        auto w = d.createWriter(dir.path(), QStringLiteral("alt.htm"), {field("B", ftString, 5)});
        for (int i = 0; i < 100000; ++i)
            w->writeRow({QStringLiteral("neu")});
        EXPECT_EQ(readAll(path), before);
        // Destroyed without commit: the old page stays and nothing is left behind.
    }
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), entries);

    auto w = d.createWriter(dir.path(), QStringLiteral("alt.htm"), {field("B", ftString, 5)});
    w->writeRow({QStringLiteral("neu")});
    w->commit();
    auto t = d.open(dir.path(), QStringLiteral("alt.htm"), OpenOptions{});
    EXPECT_EQ(t->fieldDefs().at(0).name, QStringLiteral("B"));
    EXPECT_EQ(t->value(0, 0), QVariant(QStringLiteral("neu")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), entries);
}

TEST(HtmlWrite, CreateFieldsForAndBadNames)
{
    ScratchDir dir;
    HtmlDriver d;
    d.create(dir.path(), QStringLiteral("leer"), {field("Nr", ftAutoInc), field("Text", ftString, 10)});
    auto t = d.open(dir.path(), QStringLiteral("LEER.HTM"), OpenOptions{});
    EXPECT_EQ(t->rowCount(), 0);
    ASSERT_EQ(t->fieldDefs().size(), 2);
    EXPECT_EQ(t->fieldDefs().at(0).dataType, ftAutoInc);
    EXPECT_THROW(d.create(dir.path(), QStringLiteral("leer.htm"), {field("X", ftString, 1)}), EngineError);

    QStringList changes;
    const QVector<FieldDef> source{field("Bild", ftGraphic), field("Name", ftString, 30)};
    const QVector<FieldDef> target = d.fieldsFor(source, {}, changes);
    ASSERT_EQ(target.size(), 2);
    EXPECT_EQ(target.at(1).dataType, ftString);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_TRUE(changes.at(0).contains(QStringLiteral("Bild")));
    // Binary values show their size, as everywhere in the engine.
    writePage(dir.path(), QStringLiteral("bild.htm"), target, {{QByteArray(300, 'x'), QStringLiteral("a")}});
    auto b = d.open(dir.path(), QStringLiteral("bild.htm"), OpenOptions{});
    EXPECT_EQ(b->value(0, 0), QVariant(QStringLiteral("(Bitmap, 300 Bytes)")));

    EXPECT_THROW(d.createWriter(dir.path(), QStringLiteral("../x.htm"), source), EngineError);
    EXPECT_THROW(d.createWriter(dir.path(), QString(), source), EngineError);
    EXPECT_THROW(d.createWriter(dir.path(), QStringLiteral("x.htm"), {}), EngineError);
    EXPECT_THROW(d.createWriter(dir.file(QStringLiteral("fehlt")), QStringLiteral("x.htm"), source), EngineError);
}
