// The dBASE file header read on its own, below the table: version, counts,
// lengths and field descriptors as the real files hold them.
#include "EngineError.h"
#include "TestSupport.h"
#include "drivers/dbase/DbfHeader.h"

#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace engine;
using namespace engine::dbase;
using testsupport::ScratchDir;
using testsupport::fixture;

namespace {

DbfHeader readHeaderOf(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path.toStdString();
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    return DbfHeader::read(fd, path);
}

struct FieldSeen {
    QString name;
    char type;
    int width;
    int decimals;
    int offset;
};

void expectFields(const DbfHeader &h, const std::vector<FieldSeen> &expected)
{
    ASSERT_EQ(h.fields.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name.toStdString());
        EXPECT_EQ(h.fields[i].name, expected[i].name);
        EXPECT_EQ(h.fields[i].type, expected[i].type);
        EXPECT_EQ(h.fields[i].width, expected[i].width);
        EXPECT_EQ(h.fields[i].decimals, expected[i].decimals);
        EXPECT_EQ(h.fields[i].offset, expected[i].offset);
    }
}

} // namespace

TEST(DbfHeader, RealFilesOfFourWritersGiveTheirVersionCountsAndFields)
{
    // NAME C15, YEAR N4, SEDAN L1, PROD_DATE D8, CC N7.3, DESCR M10; byte 0 is the deletion flag.
    const std::vector<FieldSeen> cars{{QStringLiteral("NAME"), 'C', 15, 0, 1},
                                      {QStringLiteral("YEAR"), 'N', 4, 0, 16},
                                      {QStringLiteral("SEDAN"), 'L', 1, 0, 20},
                                      {QStringLiteral("PROD_DATE"), 'D', 8, 0, 21},
                                      {QStringLiteral("CC"), 'N', 7, 3, 29},
                                      {QStringLiteral("DESCR"), 'M', 10, 0, 36}};

    const DbfHeader d3 = readHeaderOf(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    EXPECT_EQ(d3.version, 0x83);
    EXPECT_EQ(d3.headerCount, 4u);
    EXPECT_EQ(d3.recordCount, 4);
    EXPECT_FALSE(d3.countMismatch);
    EXPECT_EQ(d3.recordLength, 46);
    EXPECT_EQ(d3.nullFlagsOffset, -1);
    expectFields(d3, cars);
    EXPECT_EQ(d3.fields[0].kind, DbfField::Character);
    EXPECT_EQ(d3.fields[4].kind, DbfField::Numeric);
    EXPECT_FALSE(d3.fields[4].integerValue);
    EXPECT_TRUE(d3.fields[1].integerValue);
    EXPECT_EQ(d3.fields[5].kind, DbfField::MemoText);

    const DbfHeader d5 = readHeaderOf(fixture(QStringLiteral("dbase/dans-dbase5/cars.DBF")));
    EXPECT_EQ(d5.version, 0x8B);
    EXPECT_EQ(d5.languageDriver, 0x1B);
    EXPECT_EQ(d5.recordCount, 4);
    expectFields(d5, cars);

    const DbfHeader fox = readHeaderOf(fixture(QStringLiteral("foxpro/dans-foxpro26/cars.DBF")));
    EXPECT_EQ(fox.version, 0xF5);
    EXPECT_EQ(fox.languageDriver, 0x01);
    EXPECT_FALSE(isVisualFoxPro(fox.version));
    EXPECT_EQ(fox.recordCount, 4);

    // Clipper writes the memo field with 3 in its decimals byte; a memo keeps no decimals of its own.
    const DbfHeader clipper = readHeaderOf(fixture(QStringLiteral("dbase/dans-clipper5/cars.DBF")));
    EXPECT_EQ(clipper.version, 0x83);
    ASSERT_EQ(clipper.fields.size(), 6u);
    EXPECT_EQ(clipper.fields[5].type, 'M');
    EXPECT_EQ(clipper.fields[5].width, 10);
    EXPECT_EQ(clipper.fields[5].decimals, 3);
}

TEST(DbfHeader, ShortOrForeignFilesAreRefusedWithTheirKind)
{
    const ScratchDir dir;
    const QByteArray cars = testsupport::readAll(fixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf")));
    ASSERT_GT(cars.size(), 200);
    const auto expectKind = [&](const QByteArray &bytes, ErrorKind kind, const char *words) {
        const QString path = dir.file(QStringLiteral("t.dbf"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        try {
            readHeaderOf(path);
            ADD_FAILURE() << "no error for " << words;
        } catch (const EngineError &e) {
            EXPECT_EQ(e.kind(), kind) << words;
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(words))) << e.message().toStdString();
        }
    };
    expectKind(cars.left(20), ErrorKind::Damaged, "kürzer als 32 Bytes");
    // The header promises field descriptors the file does not hold.
    expectKind(cars.left(100), ErrorKind::Damaged, "Bytes lang");
    QByteArray dbase7 = cars;
    dbase7[0] = char(0x04);
    expectKind(dbase7, ErrorKind::Unsupported, "dBASE 7");
    QByteArray foreign = cars;
    foreign[0] = char(0x55);
    expectKind(foreign, ErrorKind::Damaged, "0x55");
}

TEST(DbfHeader, ACountBeyondTheFileUsesTheRecordsThatAreThere)
{
    const ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dans-dbase3plus/cars.dbf"));
    const DbfHeader whole = readHeaderOf(path);
    // Cut the end mark, the last record and half the one before: two whole records stay.
    QFile f(path);
    ASSERT_TRUE(f.resize(f.size() - 1 - whole.recordLength - whole.recordLength / 2));
    const DbfHeader cut = readHeaderOf(path);
    EXPECT_EQ(cut.headerCount, 4u);
    EXPECT_EQ(cut.recordsInFile, 2);
    EXPECT_EQ(cut.recordCount, 2);
    EXPECT_TRUE(cut.countMismatch);
}
