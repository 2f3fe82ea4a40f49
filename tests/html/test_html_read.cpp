// Reading tables from HTML pages: the fixture pages as other HTML table readers
// see them, character sets, the text a browser shows, spans, and the names
// under which a page's tables are listed and opened.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/html/HtmlDriver.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QStringEncoder>
#include <QThread>
#include <gtest/gtest.h>

using namespace engine;
using namespace testsupport;

namespace {

QString rowsDir()
{
    return fixture(QStringLiteral("html/rows"));
}

std::unique_ptr<TableSource> openTable(const QString &dir, const QString &name)
{
    HtmlDriver d;
    return d.open(dir, name, OpenOptions{true, false});
}

// A page written into a scratch folder from raw bytes.
std::unique_ptr<TableSource> openBytes(const ScratchDir &dir, const QByteArray &bytes, const QString &table = QStringLiteral("seite.htm"))
{
    QFile f(dir.file(QStringLiteral("seite.htm")));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    return openTable(dir.path(), table);
}

} // namespace

TEST(HtmlRead, HandlesBothHtmlKinds)
{
    HtmlDriver d;
    EXPECT_TRUE(d.handles(QStringLiteral("HTML Import")));
    EXPECT_TRUE(d.handles(QStringLiteral("HTML Export")));
    EXPECT_TRUE(d.handles(QStringLiteral("html import;HDR=Yes")));
    EXPECT_FALSE(d.handles(QString()));
    EXPECT_FALSE(d.handles(QStringLiteral("Text")));
    EXPECT_TRUE(d.dataSourceIsDirectory());
    EXPECT_TRUE(d.canCreate());
}

TEST(HtmlRead, ListsEveryTableOfEveryPage)
{
    HtmlDriver d;
    EXPECT_EQ(d.tableNames(rowsDir()),
              (QStringList{QStringLiteral("all-field-types.html"), QStringLiteral("colspan-table.html"),
                           QStringLiteral("ibge-censo.html"), QStringLiteral("nested-table.html"),
                           QStringLiteral("nested-table.html#2"), QStringLiteral("nested-table.html#3"),
                           QStringLiteral("properties-table.html"), QStringLiteral("simple-table.html"),
                           QStringLiteral("simple-table.html#2"), QStringLiteral("table-thead-tbody.html"),
                           QStringLiteral("table-with-sections.html"), QStringLiteral("table-with-sections.html#2")}));
    EXPECT_THROW(d.tableNames(rowsDir() + QStringLiteral("/gibt-es-nicht")), EngineError);
}

TEST(HtmlRead, AllFieldTypesGuessedFromTheValues)
{
    auto t = openTable(rowsDir(), QStringLiteral("all-field-types.html"));
    EXPECT_EQ(fieldNames(*t), (QStringList{QStringLiteral("bool_column"), QStringLiteral("integer_column"),
                                      QStringLiteral("float_column"), QStringLiteral("decimal_column"),
                                      QStringLiteral("percent_column"), QStringLiteral("date_column"),
                                      QStringLiteral("datetime_column"), QStringLiteral("unicode_column")}));
    const TFieldType types[] = {ftBoolean, ftInteger, ftFloat, ftFloat, ftString, ftDate, ftDateTime, ftString};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(t->fieldDefs().at(i).dataType, types[i]) << i;
    ASSERT_EQ(t->rowCount(), 7);
    const RowId first = t->rowAt(0);
    EXPECT_EQ(t->value(first, 0), QVariant(true));
    EXPECT_EQ(t->value(first, 1), QVariant(qint64(1)));
    EXPECT_DOUBLE_EQ(t->value(first, 2).toDouble(), 3.141592);
    EXPECT_EQ(t->value(first, 4), QVariant(QStringLiteral("1%")));
    EXPECT_EQ(t->value(first, 5), QVariant(QDate(2015, 1, 1)));
    EXPECT_EQ(t->value(first, 6), QVariant(QDateTime(QDate(2015, 8, 18), QTime(15, 10))));
    EXPECT_EQ(t->value(first, 7), QVariant(QStringLiteral("Álvaro")));
    EXPECT_EQ(rowText(*t, 1), (QStringList{QStringLiteral("False"), QStringLiteral("2"), QStringLiteral("1,234"),
                                           QStringLiteral("1,234"), QStringLiteral("11.69%"), QStringLiteral("03.02.1999"),
                                           QStringLiteral("03.02.1999 00:01:02"), QStringLiteral("àáãâä¹²³")}));
    EXPECT_EQ(t->value(t->rowAt(4), 0), QVariant(true)); // "yes"
    // The last row holds only blanks and null markers; in a text column a marker is text.
    for (int i = 0; i < 8; ++i) {
        if (i != 4) {
            EXPECT_FALSE(t->value(t->rowAt(6), i).isValid()) << i;
        }
    }
    EXPECT_EQ(t->value(t->rowAt(6), 4), QVariant(QStringLiteral("none")));
    EXPECT_FALSE(t->readOnlyReason().isEmpty());
    EXPECT_THROW(t->append(QVector<QVariant>(8)), EngineError);
}

TEST(HtmlRead, UnclosedTagsAndSections)
{
    auto t = openTable(rowsDir(), QStringLiteral("table-thead-tbody.html"));
    EXPECT_EQ(fieldNames(*t), (QStringList{QStringLiteral("t1"), QStringLiteral("t2")}));
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(rowText(*t, 0), (QStringList{QStringLiteral("456"), QStringLiteral("123")}));
    EXPECT_EQ(rowText(*t, 1), (QStringList{QStringLiteral("qqq"), QStringLiteral("aaa")}));

    auto props = openTable(rowsDir(), QStringLiteral("properties-table.html"));
    EXPECT_EQ(fieldNames(*props), (QStringList{QStringLiteral("field1"), QStringLiteral("field2")}));
    EXPECT_EQ(props->rowCount(), 2);
    EXPECT_EQ(rowText(*props, 1), (QStringList{QStringLiteral("row2field1"), QStringLiteral("row2field2")}));
}

TEST(HtmlRead, SeveralTablesByNumber)
{
    auto first = openTable(rowsDir(), QStringLiteral("simple-table.html"));
    EXPECT_EQ(fieldNames(*first), (QStringList{QStringLiteral("t0r0c0"), QStringLiteral("t0r0c1")}));
    EXPECT_EQ(first->rowCount(), 1);
    // The descriptor hands over upper-cased file names.
    auto second = openTable(rowsDir(), QStringLiteral("SIMPLE-TABLE.HTML#2"));
    EXPECT_EQ(fieldNames(*second), (QStringList{QStringLiteral("t1r0c0"), QStringLiteral("t1r0c1")}));
    ASSERT_EQ(second->rowCount(), 2);
    EXPECT_EQ(rowText(*second, 1), (QStringList{QStringLiteral("t1r2c0"), QStringLiteral("t1r2c1")}));
    EXPECT_EQ(second->tableName(), QStringLiteral("SIMPLE-TABLE.HTML#2"));
    try {
        openTable(rowsDir(), QStringLiteral("simple-table.html#3"));
        FAIL() << "opened a third table";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("simple-table.html")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("2 Tabelle")));
    }
    EXPECT_THROW(openTable(rowsDir(), QStringLiteral("fehlt.htm")), EngineError);

    auto sections = openTable(rowsDir(), QStringLiteral("table-with-sections.html#2"));
    EXPECT_EQ(fieldNames(*sections), (QStringList{QStringLiteral("id"), QStringLiteral("username"), QStringLiteral("name"),
                                             QStringLiteral("signup_date")}));
    EXPECT_EQ(sections->fieldDefs().at(0).dataType, ftInteger);
    EXPECT_EQ(sections->fieldDefs().at(3).dataType, ftDate);
    EXPECT_EQ(rowText(*sections, 0), (QStringList{QStringLiteral("1"), QStringLiteral("turicas"),
                                                  QStringLiteral("Álvaro Justen"), QStringLiteral("01.04.2014")}));
}

TEST(HtmlRead, NestedTablesAreTablesOfTheirOwn)
{
    auto outer = openTable(rowsDir(), QStringLiteral("nested-table.html"));
    EXPECT_EQ(fieldNames(*outer), (QStringList{QStringLiteral("t0,0r0c0"), QStringLiteral("t0,0r0c1"), QStringLiteral("t0,0r0c2")}));
    ASSERT_EQ(outer->rowCount(), 3);
    // The cell holding the inner tables shows their text, word by word.
    const QString inner = outer->text(outer->rowAt(1), 1);
    EXPECT_TRUE(inner.startsWith(QStringLiteral("t0,1r0c0 t0,1r0c1 t0,1r1c0"))) << inner.toStdString();
    EXPECT_TRUE(inner.contains(QStringLiteral("t0,2r1c0 t0,2r1c1 t0,1r3c1")));
    EXPECT_TRUE(inner.endsWith(QStringLiteral("t0,1r5c1")));
    EXPECT_EQ(rowText(*outer, 2), (QStringList{QStringLiteral("t0,0r3c0"), QStringLiteral("t0,0r3c1"), QStringLiteral("t0,0r3c2")}));

    auto middle = openTable(rowsDir(), QStringLiteral("nested-table.html#2"));
    EXPECT_EQ(middle->rowCount(), 5);
    auto innermost = openTable(rowsDir(), QStringLiteral("nested-table.html#3"));
    ASSERT_EQ(innermost->rowCount(), 1);
    EXPECT_EQ(rowText(*innermost, 0), (QStringList{QStringLiteral("t0,2r1c0"), QStringLiteral("t0,2r1c1")}));
}

TEST(HtmlRead, TitleRowAboveTheHeadings)
{
    auto t = openTable(rowsDir(), QStringLiteral("colspan-table.html"));
    EXPECT_EQ(fieldNames(*t), (QStringList{QStringLiteral("field1"), QStringLiteral("field2")}));
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(rowText(*t, 0), (QStringList{QStringLiteral("row1field1"), QStringLiteral("row1field2")}));
    bool titleFact = false;
    for (const auto &fact : t->facts())
        titleFact = titleFact || fact.second == QStringLiteral("huge title");
    EXPECT_TRUE(titleFact);
}

TEST(HtmlRead, RealPageWithThousandsSeparators)
{
    auto t = openTable(rowsDir(), QStringLiteral("ibge-censo.html"));
    EXPECT_EQ(fieldNames(*t), (QStringList{QStringLiteral("uf"), QStringLiteral("município"), QStringLiteral("pessoas")}));
    ASSERT_EQ(t->rowCount(), 92);
    EXPECT_EQ(t->fieldDefs().at(2).dataType, ftInteger);
    EXPECT_EQ(t->value(t->rowAt(0), 0), QVariant(QStringLiteral("RJ")));
    EXPECT_EQ(t->value(t->rowAt(0), 1), QVariant(QStringLiteral("Angra dos Reis")));
    EXPECT_EQ(t->value(t->rowAt(0), 2), QVariant(qint64(169511)));
}

TEST(HtmlRead, PageWithoutTables)
{
    HtmlDriver d;
    EXPECT_FALSE(d.tableNames(rowsDir()).contains(QStringLiteral("ecuador-medios-radiodifusoras.html")));
    try {
        openTable(rowsDir(), QStringLiteral("ecuador-medios-radiodifusoras.html"));
        FAIL() << "opened a page without tables";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("keine Tabelle")));
        EXPECT_TRUE(e.message().contains(QStringLiteral("ecuador-medios-radiodifusoras.html")));
    }
}

TEST(HtmlRead, CharacterSets)
{
    const QString umlauts = QStringLiteral("Größe äöü ß €");
    const auto page = [&](const QByteArray &head, const QByteArray &cell) {
        return QByteArray("<html><head>") + head + "</head><body><table><tr><th>Feld</th></tr><tr><td>" + cell
            + "</td></tr></table></body></html>";
    };
    QStringEncoder cp1252("windows-1252");
    const QByteArray ansi = cp1252.encode(umlauts);
    const struct {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"no declaration, valid UTF-8", page("", umlauts.toUtf8())},
        {"no declaration, not UTF-8", page("", ansi)},
        {"meta charset", page("<meta charset=\"windows-1252\">", ansi)},
        {"http-equiv", page("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">", ansi)},
        {"meta utf-8", page("<META CHARSET=utf-8>", umlauts.toUtf8())},
        {"byte-order mark", "\xEF\xBB\xBF" + page("<meta charset=\"windows-1252\">", umlauts.toUtf8())},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        auto t = openBytes(dir, c.bytes);
        ASSERT_EQ(t->rowCount(), 1);
        EXPECT_EQ(t->value(t->rowAt(0), 0), QVariant(umlauts));
    }
    ScratchDir dir;
    QStringEncoder utf16("UTF-16LE");
    QByteArray wide("\xFF\xFE");
    wide += utf16.encode(QString::fromUtf8(page("", umlauts.toUtf8())));
    auto t = openBytes(dir, wide);
    EXPECT_EQ(t->value(t->rowAt(0), 0), QVariant(umlauts));
}

TEST(HtmlRead, TextAsABrowserShowsIt)
{
    ScratchDir dir;
    auto t = openBytes(dir, "<table><tr><th>A</th><th>B</th><th>C</th></tr><tr>"
                            "<td>\n   eins \t zwei\n</td>"
                            "<td>a&nbsp;&nbsp;b&amp;c &lt;d&gt; &auml;&#x20AC;<br>neue Zeile</td>"
                            "<td><b>fett</b><i>kursiv</i> <span>x</span><script>var x=1;</script><p>Absatz</p>z</td>"
                            "</tr></table>");
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->value(0, 0), QVariant(QStringLiteral("eins zwei")));
    EXPECT_EQ(t->value(0, 1), QVariant(QStringLiteral("a  b&c <d> ä€\nneue Zeile")));
    EXPECT_EQ(t->value(0, 2), QVariant(QStringLiteral("fettkursiv x\nAbsatz\nz")));
}

TEST(HtmlRead, SpansCoverTheirCells)
{
    ScratchDir dir;
    auto t = openBytes(dir, "<table>"
                            "<tfoot><tr><td>Summe</td><td colspan=2>9</td></tr></tfoot>"
                            "<thead><tr><th>Gruppe</th><th>Name</th><th></th><th>Name</th></tr></thead>"
                            "<tr><td rowspan=2>A</td><td>x</td><td>1</td></tr>"
                            "<tr><td>y</td><td>2</td><td>extra</td></tr>"
                            "<tr></tr>"
                            "</table>");
    // Empty and repeated headings get names of their own.
    EXPECT_EQ(fieldNames(*t), (QStringList{QStringLiteral("Gruppe"), QStringLiteral("Name"), QStringLiteral("F3"), QStringLiteral("Name_2")}));
    // The foot comes last, whatever its place in the source; a row without cells is none.
    ASSERT_EQ(t->rowCount(), 3);
    EXPECT_EQ(rowText(*t, 0), (QStringList{QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1"), QString()}));
    EXPECT_EQ(rowText(*t, 1), (QStringList{QStringLiteral("A"), QStringLiteral("y"), QStringLiteral("2"), QStringLiteral("extra")}));
    EXPECT_EQ(rowText(*t, 2), (QStringList{QStringLiteral("Summe"), QStringLiteral("9"), QStringLiteral("9"), QString()}));
}

TEST(HtmlRead, OddPagesDoNotCrash)
{
    ScratchDir dir;
    const QByteArray pages[] = {
        QByteArray(),
        QByteArray("<table>"),
        QByteArray("<table><tr></tr></table>"),
        QByteArray("<table><tr><td colspan=99999999 rowspan=-5>x</td></tr><tr><td rowspan=0>y</td></tr></table>"),
        QByteArray("<table><caption>Nur eine Beschriftung</caption></table>"),
        QByteArray("\xFF\xFE\x00"),
        QByteArray(100000, '<') + "<table><tr><td>x",
        QByteArray("<table>") + QByteArray(20000, '\0') + "<tr><td>\x80\x81</td>",
    };
    for (const QByteArray &bytes : pages) {
        try {
            auto t = openBytes(dir, bytes);
            for (qint64 p = 0; p < t->rowCount(); ++p)
                rowText(*t, p);
        } catch (const EngineError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("seite.htm"))) << e.message().toStdString();
        }
    }
    // Deep nesting is walked without recursion.
    QByteArray deep;
    for (int i = 0; i < 3000; ++i)
        deep += "<table><tr><td>";
    deep += "innen";
    auto t = openBytes(dir, deep, QStringLiteral("seite.htm#3000"));
    EXPECT_EQ(t->fieldDefs().at(0).name, QStringLiteral("innen"));
    auto outer = openBytes(dir, deep);
    EXPECT_EQ(outer->fieldDefs().at(0).name, QStringLiteral("innen"));
    // A wide colspan is cut at the widest table the reader lays out.
    auto wide = openBytes(dir, "<table><tr><td colspan=1000>a</td><td colspan=1000>b</td><td colspan=1000>c</td>"
                               "<td colspan=1000>d</td><td colspan=1000>e</td></tr><tr><td>1</td></tr></table>");
    EXPECT_EQ(wide->fieldDefs().size(), 4096);
}

// A page of 100,000 unclosed tags overflowed the stack in gumbo's recursive
// cleanup; it is refused before parsing, by name, and the folder's other pages
// still list. Read in a thread with a 2 MB stack, as a worker thread may have.
TEST(HtmlRead, DeeplyNestedPageIsRefusedNotCrashed)
{
    ScratchDir dir;
    QByteArray deep = "<html><body>";
    for (int i = 0; i < 100000; ++i)
        deep += (i % 2) ? "<span class=a>" : "<div id=x>";
    deep += "<table><tr><td>x</td></tr></table>";
    ASSERT_GT(deep.size(), 1'000'000);
    {
        QFile f(dir.file(QStringLiteral("tief.htm")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(deep);
    }
    QFile::copy(fixture(QStringLiteral("html/rows/simple-table.html")), dir.file(QStringLiteral("simple-table.html")));

    QString message;
    QStringList listed;
    QThread *worker = QThread::create([&] {
        try {
            HtmlDriver d;
            listed = d.tableNames(dir.path());
            d.open(dir.path(), QStringLiteral("tief.htm"), OpenOptions{true, false});
        } catch (const EngineError &e) {
            message = e.message();
        }
    });
    worker->setStackSize(2 * 1024 * 1024);
    worker->start();
    worker->wait();
    delete worker;
    EXPECT_TRUE(listed.contains(QStringLiteral("simple-table.html"))) << listed.join(u',').toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("tief.htm"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("verschachtelt"))) << message.toStdString();

    // Stray end tags do not close anything, so they do not hide the depth.
    QByteArray stray;
    for (int i = 0; i < 6000; ++i)
        stray += "<div></span>";
    EXPECT_THROW(openBytes(dir, stray), EngineError);
}

// Pages that are long but flat: end tags left out where HTML allows it, void
// and self-closed foreign elements, markup inside scripts and comments.
TEST(HtmlRead, LongFlatPagesAreNotTakenForDeepOnes)
{
    ScratchDir dir;
    QByteArray page = "<table><tr><th>Nr<th>Text\n";
    for (int i = 0; i < 8000; ++i)
        page += "<tr><td>" + QByteArray::number(i) + "<td><p>a<br><img src=x><li>b<option>c<svg><circle/></svg>\n";
    page += "<script>" + QByteArray(8000 * 5, 'x').replace("x", "<div>").left(30000) + "</script>";
    page += "<!-- " + QByteArray(6000, 'y').replace("y", "<div>") + " -->";
    page += "<textarea><div><div></textarea></table>";
    auto t = openBytes(dir, page);
    EXPECT_EQ(t->rowCount(), 8000);
    EXPECT_EQ(rowText(*t, 7999).at(0), QStringLiteral("7999"));
}
