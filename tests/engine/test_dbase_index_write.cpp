// Index files kept valid while a table changes: copies of real indexed tables
// get records appended, changed (key fields included) and deleted; afterwards
// every tag is read back with the engine's reader and with XBase::Index (Perl),
// and its keys must be in order and belong to the right records.
#include "Driver.h"
#include "EngineError.h"
#include "TestSupport.h"
#include "Tables.h"
#include "drivers/dbase/DbaseDriver.h"
#include "drivers/dbase/DbfIndex.h"
#include "IndexKey.h"
#include "drivers/dbase/DbfTable.h"

#include <QDate>
#include <QFile>
#include <functional>
#include <optional>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <map>

using namespace engine;
using testsupport::fieldIndex;
using testsupport::openDbf;
using testsupport::rowValues;
using engine::dbase::DbfTable;
using engine::dbase::IndexEntry;
using engine::dbase::IndexFile;
using testsupport::fixture;
using testsupport::ScratchDir;

namespace {

// Runs the Perl reader; nothing when perl or XBase::Index is missing.
std::optional<QStringList> perlKeys(const QString &file, const QString &tag, const QString &type)
{
    QProcess perl;
    perl.start(QStringLiteral("perl"), {QStringLiteral(BRISVEL_SOURCE_TESTS "/engine/perl/index_keys.pl"), file, tag, type});
    if (!perl.waitForFinished(30000) || perl.exitStatus() != QProcess::NormalExit || perl.exitCode() == 2)
        return std::nullopt;
    EXPECT_EQ(perl.exitCode(), 0) << perl.readAllStandardError().toStdString();
    QStringList lines = QString::fromLatin1(perl.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines;
}

// What one tag must hold after the changes: for each record (1-based) its key
// text (character tags) or number, and whether it belongs in the tag at all.
struct Expected {
    QString tag;
    bool text = true;
    std::map<quint32, QVariant> keys;
};

// Checks one tag with both readers: exactly the expected records, keys in order.
void checkTag(const QString &indexPath, int tagNumber, const Expected &expected, const QString &perlType)
{
    SCOPED_TRACE(expected.tag.toStdString());
    auto file = IndexFile::open(indexPath);
    ASSERT_LT(tagNumber, file->tags().size());
    ASSERT_EQ(file->tags().at(tagNumber).name.toUpper(), expected.tag.toUpper());
    const std::vector<IndexEntry> entries = file->entries(tagNumber);
    ASSERT_EQ(entries.size(), expected.keys.size());
    std::map<quint32, int> seen;
    QVariant previous;
    QByteArray previousKey;
    for (const IndexEntry &e : entries) {
        ASSERT_EQ(expected.keys.count(e.record), 1u) << "record " << e.record;
        ++seen[e.record];
        const QVariant &want = expected.keys.at(e.record);
        if (expected.text) {
            EXPECT_EQ(QString::fromLatin1(e.key).trimmed(), want.toString()) << "record " << e.record;
            EXPECT_LE(previousKey, e.key);
            previousKey = e.key;
        } else if (previous.isValid()) {
            EXPECT_LE(previous.toDouble(), want.toDouble());
        }
        previous = want;
    }
    EXPECT_EQ(seen.size(), expected.keys.size());

    const auto perl = perlKeys(indexPath, file->format() == dbase::IndexFormat::Ndx ? QString() : expected.tag, perlType);
    // The independent reader is part of the test: scripts/install-deps.sh installs it.
    ASSERT_TRUE(perl) << "XBase::Index (libdbd-xbase-perl) is missing: the cross-check cannot run";
    ASSERT_EQ(perl->size(), qsizetype(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const QString line = perl->at(qsizetype(i));
        const qsizetype bar = line.lastIndexOf(QLatin1Char('|'));
        EXPECT_EQ(line.mid(bar + 1).toUInt(), entries[i].record) << line.toStdString();
        if (expected.text) {
            EXPECT_EQ(line.left(bar).trimmed(), expected.keys.at(entries[i].record).toString());
        }
    }
}

// The expected keys of a plain-field tag from the table itself.
Expected fieldKeys(TableSource &t, const QString &tag, const QString &field, bool text, bool skipDeleted,
                   const std::function<bool(RowId)> &include = {})
{
    Expected e;
    e.tag = tag;
    e.text = text;
    const int f = fieldIndex(t, field);
    // Every record, deleted ones too (their flag is read through positionOf).
    for (RowId row = 0;; ++row) {
        QVariant v;
        try {
            v = t.value(row, f);
        } catch (const EngineError &) {
            break;
        }
        const bool deleted = t.positionOf(row) < 0;
        if ((skipDeleted && deleted) || (include && !include(row)))
            continue;
        e.keys[quint32(row + 1)] = text ? QVariant(v.toString().trimmed()) : QVariant(v.toDouble());
    }
    return e;
}

} // namespace

TEST(DbaseIndexWrite, NdxCharacterAndNumericKeysFollowEveryChange)
{
    ScratchDir dir;
    const QString chars = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.ndx"));
    {
        auto t = openDbf(chars, false);
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        const RowId added = t->append({QStringLiteral("0a")});
        t->update(0, rowValues(*t, 0), {QStringLiteral("zz")}); // a key field changes
        t->remove(5);
        EXPECT_EQ(t->indexOrder(QStringLiteral("ndx-char")).front(), added);
        EXPECT_EQ(t->indexOrder(QStringLiteral("ndx-char")).back(), 0);
        // dBASE keeps a deleted record's key; the order leaves it out.
        checkTag(dir.file(QStringLiteral("ndx-char.ndx")), 0,
                 fieldKeys(*t, QStringLiteral("ndx-char"), QStringLiteral("V1"), true, false), QString());
    }
    const QString nums = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-num.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-num.ndx"));
    auto t = openDbf(nums, false);
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    // Enough appends to need more blocks and a deeper tree than before.
    for (int i = 0; i < 40; ++i)
        t->append({qint64(5000 - i * 97)});
    t->update(3, rowValues(*t, 3), {qint64(-7)});
    const QVector<RowId> order = t->indexOrder(QStringLiteral("ndx-num"));
    ASSERT_EQ(order.size(), 594 + 40);
    EXPECT_EQ(order.front(), 3);
    checkTag(dir.file(QStringLiteral("ndx-num.ndx")), 0,
             fieldKeys(*t, QStringLiteral("ndx-num"), QStringLiteral("FIELD1"), false, false), QStringLiteral("num"));
}

TEST(DbaseIndexWrite, MdxTagsWithBcdNumbersAndDeletedCondition)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBF"));
    dir.copyFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.DBT"));
    const QString mdx = dir.copyFixture(QStringLiteral("dbase/simatic-s7/siprom/CHANGELOG.MDX"));
    auto t = openDbf(path, false);
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    QVector<QVariant> row = rowValues(*t, 0);
    for (int i = 0; i < 70; ++i) { // more than one node of 63 numeric keys
        row[fieldIndex(*t, QStringLiteral("ID"))] = qint64(1000 - i);
        row[fieldIndex(*t, QStringLiteral("USER"))] = QStringLiteral("user%1").arg(i % 7);
        row[fieldIndex(*t, QStringLiteral("ACTION"))] = qint64(i % 5) - 2;
        t->append(row);
    }
    QVector<QVariant> changed = rowValues(*t, 1);
    changed[fieldIndex(*t, QStringLiteral("USER"))] = QStringLiteral("Aaron");
    t->update(1, rowValues(*t, 1), changed);
    t->remove(2); // the tags' FOR .NOT. DELETED() drops it

    checkTag(mdx, 0, fieldKeys(*t, QStringLiteral("ID_TAG"), QStringLiteral("ID"), false, true), QStringLiteral("num"));
    checkTag(mdx, 2, fieldKeys(*t, QStringLiteral("USER_TAG"), QStringLiteral("USER"), true, true), QStringLiteral("char"));
    checkTag(mdx, 3, fieldKeys(*t, QStringLiteral("ACTION_TAG"), QStringLiteral("ACTION"), false, true), QStringLiteral("num"));
    const QVector<RowId> users = t->indexOrder(QStringLiteral("USER_TAG"));
    EXPECT_EQ(users.front(), 1);
    EXPECT_EQ(users.size(), 3 - 1 + 70);
}

TEST(DbaseIndexWrite, CdxCompactLeavesForConditionsAndNullPrefixes)
{
    ScratchDir dir;
    const QString rooms = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    const QString cdx = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.cdx"));
    {
        auto t = openDbf(rooms, false);
        ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
        for (int i = 0; i < 60; ++i)
            t->append({QStringLiteral("Room %1").arg(i, 3, 10, QLatin1Char('0')), i % 2 ? QStringLiteral("Audio") : QStringLiteral("Main")});
        t->update(0, rowValues(*t, 0), {QStringLiteral("AAA"), QStringLiteral("Film")});
        t->remove(4);
        const int facility = fieldIndex(*t, QStringLiteral("FACILITY"));
        const auto isFacility = [&](const char *name) {
            return [&t, facility, name](RowId r) {
                return t->value(r, facility).toString().trimmed().toUpper() == QLatin1String(name);
            };
        };
        // IndexFile lists the tags in the order of their headers: ROOMNAME, FACILITY, AUDIO, MAIN, FILM.
        auto file = IndexFile::open(cdx);
        QStringList tags;
        for (const auto &tag : file->tags())
            tags << tag.name;
        EXPECT_EQ(tags.join(QLatin1Char(',')), QStringLiteral("ROOMNAME,FACILITY,AUDIO,MAIN,FILM"));
        checkTag(cdx, 0, fieldKeys(*t, QStringLiteral("ROOMNAME"), QStringLiteral("ROOMNAME"), true, false), QStringLiteral("char"));
        checkTag(cdx, 1, fieldKeys(*t, QStringLiteral("FACILITY"), QStringLiteral("FACILITY"), true, false), QStringLiteral("char"));
        checkTag(cdx, 2, fieldKeys(*t, QStringLiteral("AUDIO"), QStringLiteral("ROOMNAME"), true, false, isFacility("AUDIO")), QStringLiteral("char"));
        checkTag(cdx, 4, fieldKeys(*t, QStringLiteral("FILM"), QStringLiteral("ROOMNAME"), true, false, isFacility("FILM")), QStringLiteral("char"));
    }
    const QString employees = dir.copyFixture(QStringLiteral("foxpro/javadbf-xsource/employees.dbf"));
    dir.copyFixture(QStringLiteral("foxpro/javadbf-xsource/employees.fpt"));
    const QString ecdx = dir.copyFixture(QStringLiteral("foxpro/javadbf-xsource/employees.cdx"));
    auto t = openDbf(employees, false);
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    QVector<QVariant> row = rowValues(*t, 0);
    row[fieldIndex(*t, QStringLiteral("EMPLOYEEID"))] = qint64(77);
    row[fieldIndex(*t, QStringLiteral("LASTNAME"))] = QStringLiteral("Aalto");
    t->append(row);
    const QVector<RowId> byName = t->indexOrder(QStringLiteral("LASTNAME"));
    ASSERT_EQ(byName.size(), 6);
    EXPECT_EQ(byName.front(), 5);
    const QVector<RowId> byId = t->indexOrder(QStringLiteral("PRIMARYKEY"));
    EXPECT_EQ(byId.back(), 5);
    // The rebuilt file reads back as the original did: keys behind their 0x80 null prefix.
    auto file = IndexFile::open(ecdx);
    for (const IndexEntry &e : file->entries(1))
        EXPECT_EQ(quint8(e.key.at(0)), 0x80);
}

TEST(DbaseIndexWrite, KeysThatCannotBeComputedKeepTheTableReadOnly)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ndx-char.dbf"));
    QByteArray ndx = testsupport::readAll(fixture(QStringLiteral("dbase/dbd-xbase/ndx-char.ndx")));
    const QByteArray expression("SOUNDEX(v1)");
    ndx.replace(24, expression.size() + 1, expression + '\0');
    QFile out(dir.file(QStringLiteral("ndx-char.ndx")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(ndx);
    out.close();
    auto t = openDbf(path, false);
    const QString reason = t->readOnlyReason();
    EXPECT_TRUE(reason.contains(QStringLiteral("SOUNDEX(v1)"))) << reason.toStdString();
    EXPECT_TRUE(reason.contains(QStringLiteral("ndx-char"))) << reason.toStdString();
    // Reading in the stored order needs no evaluation.
    EXPECT_EQ(t->indexOrder(QStringLiteral("ndx-char")).size(), 28);
    EXPECT_THROW(t->append({QStringLiteral("x")}), EngineError);
    EXPECT_EQ(testsupport::readAll(dir.file(QStringLiteral("ndx-char.ndx"))), ndx);

    // A Clipper .ntx is not kept: the table stays read-only and says so.
    const QString ntx = dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ntx-char.dbf"));
    dir.copyFixture(QStringLiteral("dbase/dbd-xbase/ntx-char.ntx"));
    EXPECT_TRUE(openDbf(ntx, false)->readOnlyReason().contains(QStringLiteral("ntx-char.ntx")));
}

TEST(DbaseIndexWrite, CreatedNdxOrdersByAnExpressionAndSearchKeys)
{
    ScratchDir dir;
    const QString path = dir.copyFixture(QStringLiteral("foxpro/dbd-xbase/rooms.dbf"));
    {
        auto t = openDbf(path, false);
        dynamic_cast<DbfTable &>(*t).createNdx(dir.file(QStringLiteral("rooms.ndx")), QStringLiteral("UPPER(facility)+roomname"), false);
    }
    auto t = openDbf(path, false);
    ASSERT_TRUE(t->readOnlyReason().isEmpty()) << t->readOnlyReason().toStdString();
    auto &table = dynamic_cast<DbfTable &>(*t);
    t->append({QStringLiteral("zz"), QStringLiteral("aaa")});
    const QVector<RowId> order = t->indexOrder(QStringLiteral("rooms"));
    ASSERT_EQ(order.size(), 43);
    QString previous;
    for (const RowId r : order) {
        const QString key = table.indexKeyText(QStringLiteral("rooms"), r);
        EXPECT_LE(previous, key);
        previous = key;
    }
    EXPECT_EQ(table.indexKeyText(QStringLiteral("rooms"), 42), QStringLiteral("AAA       zz"));
    // The expected keys from the record's own values: the facility upper-cased and
    // padded to its field's width, then the room name.
    checkTag(dir.file(QStringLiteral("rooms.ndx")), 0, [&] {
        Expected e;
        e.tag = QStringLiteral("rooms");
        const int fac = fieldIndex(*t, QStringLiteral("FACILITY"));
        const int room = fieldIndex(*t, QStringLiteral("ROOMNAME"));
        const int width = t->fieldDefs().at(fac).size;
        for (RowId r = 0; r < 43; ++r)
            e.keys[quint32(r + 1)] =
                (t->text(r, fac).toUpper().leftJustified(width, QLatin1Char(' '), true) + t->text(r, room)).trimmed();
        return e;
    }(), QString());

    // The quick search's key from the row's values, as the dataset shows them.
    const auto key = IndexKeyText::forIndex(t.get(), QStringLiteral("ROOMS"));
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->searchable()); // the room name part keeps its case
    EXPECT_EQ(key->text([&](int f) { return t->value(42, f); }), QStringLiteral("AAA       zz"));
    EXPECT_FALSE(IndexKeyText::forIndex(t.get(), QStringLiteral("gibt-es-nicht")));
}

