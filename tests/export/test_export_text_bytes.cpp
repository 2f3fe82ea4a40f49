// The text and HTML exports write the very bytes they wrote before their cells
// were formatted straight from the records: for every dBASE and FoxPro fixture
// and a generated table (the SHA-256 of the earlier output, checked by hand, is
// kept in data/csv_before.txt and data/html_before.txt), and for a table of edge
// cells with the expected text written out here.
#include "Connection.h"
#include "ExportStatement.h"
#include "TestSupport.h"
#include "Tables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

// Exports table (a file in dir) into dir/aus/target of the kind; the bytes written.
QByteArray exportTo(const QString &dir, const QString &table, const QString &target, const QString &kind, int *rows)
{
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("dBASE IV"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir);
    const QString out = dir + QStringLiteral("/aus");
    QDir().mkpath(out);
    QFile::remove(out + QLatin1Char('/') + target);
    *rows = connection.Execute(QStringLiteral("SELECT * INTO %1 IN %2 %3 FROM %4")
                                   .arg(bracketName(target), doubleQuoted(out), doubleQuoted(kind), bracketName(table)));
    return testsupport::readAll(out + QLatin1Char('/') + target);
}

QByteArray exportToText(const QString &dir, const QString &table, int *rows)
{
    return exportTo(dir, table, QStringLiteral("kopie.csv"), QStringLiteral("Text;"), rows);
}

// The fixture and its companions (memo, code page) with the same base name, copied into dir.
QString copyWithCompanions(const ScratchDir &dir, const QString &relative)
{
    const QFileInfo info(testsupport::fixture(relative));
    const QString base = info.completeBaseName();
    const QString folder = QFileInfo(relative).path();
    for (const QString &entry : info.dir().entryList(QDir::Files)) {
        if (QFileInfo(entry).completeBaseName().compare(base, Qt::CaseInsensitive) == 0)
            dir.copyFixture(folder + QLatin1Char('/') + entry);
    }
    return info.fileName();
}

} // namespace

// Every table of a list of earlier outputs exported again; the bytes must be the same.
static void checkAgainstEarlierOutput(const char *list, const QString &target, const QString &kind)
{
    QFile file(QStringLiteral(BRISVEL_SOURCE_TESTS "/export/data/") + QString::fromLatin1(list));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int checked = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> parts = line.split(' ');
        ASSERT_EQ(parts.size(), 3) << line.constData();
        const QString table = QString::fromUtf8(parts[2]);
        SCOPED_TRACE(table.toStdString());
        ScratchDir dir;
        QString name;
        if (table.startsWith(QLatin1String("generated:"))) {
            name = QStringLiteral("kunden.dbf");
            ASSERT_TRUE(testsupport::makeGeneratedTable(dir.file(name), table.mid(10).toInt()));
        } else {
            name = copyWithCompanions(dir, table);
        }
        int rows = 0;
        const QByteArray bytes = exportTo(dir.path(), name, target, kind, &rows);
        EXPECT_EQ(bytes.size(), parts[1].toLongLong()) << "rows exported: " << rows;
        EXPECT_EQ(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex(), parts[0]);
        ++checked;
    }
    EXPECT_EQ(checked, 44);
}

TEST(TextExportBytes, SameAsBeforeForEveryDbaseFixtureAndAGeneratedTable)
{
    checkAgainstEarlierOutput("csv_before.txt", QStringLiteral("kopie.csv"), QStringLiteral("Text;"));
}

TEST(HtmlExportBytes, SameAsBeforeForEveryDbaseFixtureAndAGeneratedTable)
{
    checkAgainstEarlierOutput("html_before.txt", QStringLiteral("kopie.htm"), QStringLiteral("HTML Import;"));
}

TEST(TextExportBytes, EdgeCellsOfEveryPlainKind)
{
    // NAME C(8) in code page 850, GANZ N(6,0), ZAHL N(20,3), TAG D, OK L; written byte by byte.
    const QVector<testsupport::DbfRowBytes> rows = {
        {' ', {"M\x81ller", "12", "-0.500", "20240229", "T"}},
        {' ', {QByteArray("Sa\"g\0\0\0\0", 8), "-00", ".5", "20230229", "?"}},
        {' ', {"", "", "-0.000", "", "f"}},
        {'*', {"Weg", "1", "1", "20200101", "T"}},
        {' ', {"\xE1", "+00042", "1234567.891", "19991231", "n"}},
        {' ', {"x y", "1e3", "**********", "00010101", "Y"}},
        {' ', {"A,B", "-", "0000.00100", "2024 229", " "}},
        {' ', {"\x94", "7,5", "12,25", "20000229", "F"}},
        {' ', {"lang", "999999", "1234567890123456.789", "21000229", "t"}},
        {' ', {"Null", "0", "-.5", "99991231", "N"}},
        {' ', {"\x84", "-12", "12.", "20240101", "y"}},
        {' ', {"klein", "1", "0.00001", "20240101", "T"}},
        {' ', {"  a  b", "2", "0.0001", "20240101", "T"}},
    };
    const char *const expected =
        "\"NAME\",\"GANZ\",\"ZAHL\",\"TAG\",\"OK\"\r\n"
        "\"M\xC3\xBCller\",12,-0.5,2024-02-29,True\r\n"
        "\"Sa\"\"g\",0,0.5,,\r\n"
        "\"\",,-0,,False\r\n"
        "\"\xC3\x9F\",42,1234567.891,1999-12-31,False\r\n"
        "\"x y\",1000,,0001-01-01,True\r\n"
        "\"A,B\",,0.001,,\r\n"
        "\"\xC3\xB6\",8,12.25,2000-02-29,False\r\n"
        "\"lang\",999999,1234567890123460,,True\r\n"
        "\"Null\",0,-0.5,9999-12-31,False\r\n"
        "\"\xC3\xA4\",-12,12,2024-01-01,True\r\n"
        "\"klein\",1,0.00001,2024-01-01,True\r\n"
        "\"  a  b\",2,0.0001,2024-01-01,True\r\n";

    const char *const expectedPage =
        "<tbody>\n"
        "<tr><td>M\xC3\xBCller</td><td>12</td><td>-0,5</td><td>29.02.2024</td><td>True</td></tr>\n"
        "<tr><td>Sa&quot;g</td><td>0</td><td>0,5</td><td></td><td></td></tr>\n"
        "<tr><td></td><td></td><td>0</td><td></td><td>False</td></tr>\n" // minus zero as the window shows it
        "<tr><td>\xC3\x9F</td><td>42</td><td>1234567,891</td><td>31.12.1999</td><td>False</td></tr>\n"
        "<tr><td>x y</td><td>1000</td><td></td><td>01.01.0001</td><td>True</td></tr>\n"
        "<tr><td>A,B</td><td></td><td>0,001</td><td></td><td></td></tr>\n"
        "<tr><td>\xC3\xB6</td><td>8</td><td>12,25</td><td>29.02.2000</td><td>False</td></tr>\n"
        "<tr><td>lang</td><td>999999</td><td>1234567890123460</td><td></td><td>True</td></tr>\n"
        "<tr><td>Null</td><td>0</td><td>-0,5</td><td>31.12.9999</td><td>False</td></tr>\n"
        "<tr><td>\xC3\xA4</td><td>-12</td><td>12</td><td>01.01.2024</td><td>True</td></tr>\n"
        "<tr><td>klein</td><td>1</td><td>1e-05</td><td>01.01.2024</td><td>True</td></tr>\n"
        "<tr><td>&nbsp;&nbsp;a&nbsp;&nbsp;b</td><td>2</td><td>0,0001</td><td>01.01.2024</td><td>True</td></tr>\n"
        "</tbody>\n</table>\n</body>\n</html>\n";

    const int recordLength = 1 + 8 + 6 + 20 + 8 + 1;
    const int headerLength = 32 + 5 * 32 + 1;
    const int count = int(rows.size());
    const QByteArray file = testsupport::dbaseFileBytes(
        {{"NAME", 'C', 8, 0}, {"GANZ", 'N', 6, 0}, {"ZAHL", 'N', 20, 3}, {"TAG", 'D', 8, 0}, {"OK", 'L', 1, 0}}, rows,
        0x02); // code page 850
    ASSERT_EQ(file.size(), headerLength + count * recordLength + 1);

    ScratchDir dir;
    ASSERT_TRUE(testsupport::writeBytes(dir.file(QStringLiteral("kanten.dbf")), file));
    int written = 0;
    const QByteArray bytes = exportToText(dir.path(), QStringLiteral("kanten.dbf"), &written);
    EXPECT_EQ(written, count - 1);
    EXPECT_EQ(bytes, QByteArray(expected));

    // The same cells in an HTML table, as the window shows them (German numbers and dates).
    const QByteArray page = exportTo(dir.path(), QStringLiteral("kanten.dbf"), QStringLiteral("kopie.htm"),
                                     QStringLiteral("HTML Import;"), &written);
    EXPECT_EQ(written, count - 1);
    const qsizetype body = page.indexOf("<tbody>\n");
    ASSERT_GE(body, 0);
    EXPECT_EQ(page.mid(body), QByteArray(expectedPage)) << page.mid(body).constData();
}

TEST(TextExportBytes, WideNumberFieldsKeepEveryDigit)
{
    // WEIT N(80,2): a number padded with leading zeros far beyond the usual 20 places.
    const int width = 80;
    const int recordLength = 1 + width;
    const int headerLength = 32 + 32 + 1;
    const QByteArray values[] = {QByteArray(75, '0') + "1.50", QByteArray("-") + QByteArray(74, '0') + "12.25",
                                 QByteArray("123456789012.34")};
    QByteArray file(32, '\0');
    file[0] = 0x03;
    file[1] = 124; file[2] = 5; file[3] = 1;
    file[4] = char(std::size(values));
    file[8] = char(headerLength); file[9] = 0;
    file[10] = char(recordLength);
    QByteArray field(32, '\0');
    memcpy(field.data(), "WEIT", 4);
    field[11] = 'N';
    field[16] = char(width);
    field[17] = 2;
    file += field;
    file += '\x0D';
    for (const QByteArray &v : values)
        file += ' ' + v.rightJustified(width, ' ', true);
    file += '\x1A';
    ScratchDir dir;
    QFile out(dir.file(QStringLiteral("weit.dbf")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    ASSERT_EQ(out.write(file), file.size());
    out.close();

    int written = 0;
    EXPECT_EQ(exportToText(dir.path(), QStringLiteral("weit.dbf"), &written),
              QByteArray("\"WEIT\"\r\n1.5\r\n-12.25\r\n123456789012.34\r\n"));
    const QByteArray page = exportTo(dir.path(), QStringLiteral("weit.dbf"), QStringLiteral("kopie.htm"),
                                     QStringLiteral("HTML Import;"), &written);
    const qsizetype body = page.indexOf("<tbody>\n");
    ASSERT_GE(body, 0);
    EXPECT_EQ(page.mid(body), QByteArray("<tbody>\n<tr><td>1,5</td></tr>\n<tr><td>-12,25</td></tr>\n"
                                         "<tr><td>123456789012,34</td></tr>\n</tbody>\n</table>\n</body>\n</html>\n"));
}
