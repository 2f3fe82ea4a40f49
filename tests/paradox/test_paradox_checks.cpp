// Validity checks of Paradox tables (.VAL files): read from the real files of
// Paradox 3, 4 and 5, enforced on changes (required, minimum, maximum), the
// default filling appended records, refused changes leaving every file byte for
// byte as it was, and a .VAL that cannot be read making the table read-only.
extern "C" {
#include <paradox.h>
}

#include "Connection.h"
#include "EngineError.h"
#include "TableDataset.h"
#include "TestSupport.h"
#include "common/FileIo.h"
#include "drivers/paradox/ParadoxDriver.h"
#include "drivers/paradox/PxChecks.h"

#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace engine;
using testsupport::ScratchDir;

namespace {

std::unique_ptr<TableSource> openTable(const QString &dir, const QString &name)
{
    ParadoxDriver driver;
    return driver.open(dir, name, {});
}

paradox::PxChecks checksOf(const QString &table, const QString &val)
{
    const QString db = testsupport::fixture(QStringLiteral("paradox/") + table);
    const int fd = ::open(QFile::encodeName(db).constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    const paradox::PxHeader h = paradox::readHeader(fd, db);
    ::close(fd);
    return paradox::parseChecks(testsupport::readAll(testsupport::fixture(QStringLiteral("paradox/") + val)), h, val);
}

QString refusal(const std::function<void()> &change)
{
    try {
        change();
    } catch (const EngineError &e) {
        return e.message();
    }
    return QStringLiteral("(angenommen)");
}

// pxlib's value of one field of one record (logical: 0/1), -1 when NULL.
long pxlibLong(const QString &path, int record, int field)
{
    pxdoc_t *doc = PX_new();
    long out = -2;
    if (PX_open_file(doc, QFile::encodeName(path).constData()) == 0) {
        if (pxval_t **values = PX_retrieve_record(doc, record))
            out = values[field]->isnull ? -1 : values[field]->value.lval;
        PX_close(doc);
    }
    PX_delete(doc);
    return out;
}

} // namespace

TEST(ParadoxChecks, TheFixturesChecksAreReadFieldByField)
{
    // Paradox 3 (version byte 1, no footer): FILMS has pictures on text fields,
    // Year between 1900 and 1999 and Rental Fee at least 0.
    const paradox::PxChecks films = checksOf(QStringLiteral("mtdemo/FILMS.DB"), QStringLiteral("mtdemo/FILMS.VAL"));
    std::vector<int> fields;
    for (const auto &c : films.checks)
        fields.push_back(c.field);
    EXPECT_EQ(fields, (std::vector<int>{0, 1, 2, 3, 5, 6, 7, 8}));
    ASSERT_NE(films.forField(6), nullptr);
    EXPECT_EQ(films.forField(6)->picture, QByteArray("G,PG,R,X"));
    EXPECT_FALSE(films.forField(5)->minimum.isEmpty());
    EXPECT_FALSE(films.forField(5)->maximum.isEmpty());
    EXPECT_TRUE(films.forField(5)->defaultValue.isEmpty());
    EXPECT_EQ(films.forField(7)->minimum, QByteArray::fromHex("8000000000000000")); // $ 0.00
    EXPECT_TRUE(films.forField(7)->maximum.isEmpty());

    const paradox::PxChecks customer = checksOf(QStringLiteral("mtdemo/CUSTOMER.DB"), QStringLiteral("mtdemo/CUSTOMER.VAL"));
    ASSERT_EQ(customer.checks.size(), size_t(11));
    EXPECT_EQ(customer.forField(7)->picture, QByteArray("###-###{#,-####}"));
    EXPECT_EQ(customer.forField(11), nullptr);

    // Paradox 4 (version 9, with the footer naming the fields): pictures only.
    const paradox::PxChecks area = checksOf(QStringLiteral("db/AREACODE.DB"), QStringLiteral("db/AREACODE.VAL"));
    ASSERT_EQ(area.checks.size(), size_t(2));
    EXPECT_EQ(area.checks[0].field, 0);
    EXPECT_EQ(area.checks[0].picture, QByteArray("###"));
    EXPECT_EQ(area.checks[1].field, 3);
    EXPECT_EQ(area.checks[1].picture, QByteArray("&&"));

    // Paradox 5 (version 11): BOOL is required with the default true (stored 0x81).
    const paradox::PxChecks logical = checksOf(QStringLiteral("fields/logical.db"), QStringLiteral("fields/logical.val"));
    ASSERT_EQ(logical.checks.size(), size_t(1));
    EXPECT_TRUE(logical.checks[0].required);
    EXPECT_EQ(logical.checks[0].defaultValue, QByteArray("\x81", 1));

    // Every table with a .VAL stays changeable and says it has checks.
    ScratchDir dir;
    for (const char *file : {"FILMS.DB", "FILMS.PX", "FILMS.VAL"})
        dir.copyFixture(QStringLiteral("paradox/mtdemo/%1").arg(QString::fromLatin1(file)));
    auto t = openTable(dir.path(), QStringLiteral("FILMS"));
    EXPECT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    EXPECT_TRUE(t->facts().contains({QStringLiteral("Gültigkeitsprüfungen"), QStringLiteral("FILMS.VAL, 8 Felder")}));
}

TEST(ParadoxChecks, BrokenBoundsAreRefusedAndLeaveTheFilesByteForByte)
{
    ScratchDir dir;
    for (const char *file : {"FILMS.DB", "FILMS.PX", "FILMS.VAL"})
        dir.copyFixture(QStringLiteral("paradox/mtdemo/%1").arg(QString::fromLatin1(file)));
    const QByteArray db = testsupport::readAll(dir.file(QStringLiteral("FILMS.DB")));
    const QByteArray px = testsupport::readAll(dir.file(QStringLiteral("FILMS.PX")));
    auto t = openTable(dir.path(), QStringLiteral("FILMS"));
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    const int year = 5, fee = 7;

    QVector<QVariant> row(t->fieldDefs().size());
    row[0] = QStringLiteral("Z9999");
    row[1] = QStringLiteral("Metropolis");
    row[year] = 1899.0;
    EXPECT_EQ(refusal([&] { t->append(row); }),
              QStringLiteral("Gültigkeitsprüfung: Der Wert 1899 im Feld „Year“ der Tabelle FILMS ist kleiner als der Mindestwert 1900."));
    row[year] = 2000.0;
    EXPECT_EQ(refusal([&] { t->append(row); }),
              QStringLiteral("Gültigkeitsprüfung: Der Wert 2000 im Feld „Year“ der Tabelle FILMS ist größer als der Höchstwert 1999."));
    row[year] = 1927.0;
    row[fee] = -0.5;
    EXPECT_TRUE(refusal([&] { t->append(row); }).contains(QStringLiteral("„Rental Fee“"))) << refusal([&] { t->append(row); }).toStdString();

    // A change of a record, its key kept and its key moved: refused alike.
    QVector<QVariant> first;
    for (int i = 0; i < t->fieldDefs().size(); ++i)
        first.append(t->value(t->rowAt(0), i));
    QVector<QVariant> changed = first;
    changed[year] = 2024.0;
    EXPECT_TRUE(refusal([&] { t->update(t->rowAt(0), first, changed); }).contains(QStringLiteral("Höchstwert")));
    changed[0] = QStringLiteral("Z0001");
    EXPECT_TRUE(refusal([&] { t->update(t->rowAt(0), first, changed); }).contains(QStringLiteral("Höchstwert")));
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("FILMS.DB"))), db);
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("FILMS.PX"))), px);

    // The bounds themselves and NULL pass (record 13 of the fixture has no year).
    row[fee] = 0.0;
    row[year] = 1900.0;
    t->append(row);
    row[0] = QStringLiteral("Z9998");
    row[year] = 1999.0;
    t->append(row);
    row[0] = QStringLiteral("Z9997");
    row[year] = QVariant();
    t->append(row);
    EXPECT_EQ(t->rowCount(), 39);
    auto back = openTable(dir.path(), QStringLiteral("FILMS"));
    EXPECT_EQ(back->value(back->rowAt(38), 0), QVariant(QStringLiteral("Z9999")));
    EXPECT_EQ(back->value(back->rowAt(38), year), QVariant(1900.0));
}

TEST(ParadoxChecks, TheDefaultFillsAnAppendAndARequiredFieldStaysInEdit)
{
    ScratchDir dir;
    const QString db = dir.copyFixture(QStringLiteral("paradox/fields/logical.db"));
    dir.copyFixture(QStringLiteral("paradox/fields/logical.val"));
    {
        auto t = openTable(dir.path(), QStringLiteral("logical"));
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        t->append({QVariant()});
        t->append({false});
    }
    // The default (true) was stored, as pxlib reads it; the given false stays false.
    EXPECT_EQ(pxlibLong(db, 4, 0), 1);
    EXPECT_EQ(pxlibLong(db, 5, 0), 0);

    const QByteArray before = testsupport::readAll(db);
    Connection connection;
    connection.setPropertyValue(QStringLiteral("Extended Properties"), QStringLiteral("Paradox 5.x"));
    connection.setPropertyValue(QStringLiteral("Data Source"), dir.path());
    TableDataset table;
    table.setConnection(&connection);
    table.setTableName(QStringLiteral("logical.db"));
    table.Open();
    ASSERT_TRUE(table.CanModify());
    table.Edit();
    table.Fields(0)->setValue(QVariant());
    try {
        table.Post();
        ADD_FAILURE() << "an empty required field was taken";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Gültigkeitsprüfung: Das Feld „BOOL“ der Tabelle logical muss ausgefüllt werden "
                                              "(Eingabe erforderlich)."));
    }
    EXPECT_EQ(table.State(), dsEdit);
    EXPECT_TRUE(table.Fields(0)->Value().isNull());
    table.Cancel();
    EXPECT_EQ(testsupport::readAll(db), before);
}

TEST(ParadoxChecks, AValFileThatCannotBeReadMakesTheTableReadOnly)
{
    struct Case {
        const char *what;
        QByteArray val;
    };
    const QByteArray good = testsupport::readAll(testsupport::fixture(QStringLiteral("paradox/fields/logical.val")));
    QByteArray unknownPart = good;
    unknownPart[0x35 + 8] = 1; // a part of the check nobody knows the size of
    QByteArray footerOutside = good;
    footerOutside[0x09] = char(0xF0);
    const std::vector<Case> cases = {
        {"cut short", good.left(0x40)},
        {"another table's checks", testsupport::readAll(testsupport::fixture(QStringLiteral("paradox/db/AREACODE.VAL")))},
        {"unknown part", unknownPart},
        {"footer outside", footerOutside},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir dir;
        const QString db = dir.copyFixture(QStringLiteral("paradox/fields/logical.db"));
        QFile val(dir.file(QStringLiteral("logical.val")));
        ASSERT_TRUE(val.open(QIODevice::WriteOnly));
        val.write(c.val);
        val.close();
        const QByteArray before = testsupport::readAll(db);
        auto t = openTable(dir.path(), QStringLiteral("logical"));
        EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("logical.val"))) << t->readOnlyReason().toStdString();
        EXPECT_TRUE(t->readOnlyReason().contains(QStringLiteral("Gültigkeitsprüfungen können nicht beachtet werden")))
            << t->readOnlyReason().toStdString();
        EXPECT_EQ(t->rowCount(), 4); // still read
        EXPECT_THROW(t->append({true}), EngineError);
        EXPECT_EQ(testsupport::readAll(db), before);
    }
}
