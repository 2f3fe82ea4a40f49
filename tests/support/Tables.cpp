#include "Tables.h"

#include "drivers/dbase/DbaseDriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <gtest/gtest.h>

namespace testsupport {

std::unique_ptr<engine::TableSource> openDbf(const QString &path, const engine::OpenOptions &options)
{
    static engine::DbaseDriver driver;
    const QFileInfo info(path);
    return driver.open(info.absolutePath(), info.fileName(), options);
}

int fieldIndex(const engine::TableSource &t, const QString &name)
{
    const auto &defs = t.fieldDefs();
    for (int i = 0; i < defs.size(); ++i) {
        if (defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    ADD_FAILURE() << "no field " << name.toStdString();
    return 0;
}

QStringList fieldNames(const engine::TableSource &t)
{
    QStringList out;
    for (const engine::FieldDef &f : t.fieldDefs())
        out << f.name;
    return out;
}

QStringList rowText(engine::TableSource &t, qint64 position)
{
    QStringList out;
    const engine::RowId row = t.rowAt(position);
    for (int i = 0; i < t.fieldDefs().size(); ++i)
        out << t.text(row, i);
    return out;
}

QVector<QVariant> rowValues(engine::TableSource &t, engine::RowId row)
{
    QVector<QVariant> v;
    for (int i = 0; i < t.fieldDefs().size(); ++i)
        v << t.value(row, i);
    return v;
}

QByteArray dbaseFileBytes(const QVector<DbfFieldBytes> &fields, const QVector<DbfRowBytes> &rows, quint8 languageDriver)
{
    int recordLength = 1;
    for (const DbfFieldBytes &f : fields)
        recordLength += f.width;
    const int headerLength = 32 + int(fields.size()) * 32 + 1;
    QByteArray file(32, '\0');
    file[0] = 0x03;
    file[1] = 124; file[2] = 5; file[3] = 1;
    file[4] = char(rows.size() & 0xFF); file[5] = char(rows.size() >> 8);
    file[8] = char(headerLength & 0xFF); file[9] = char(headerLength >> 8);
    file[10] = char(recordLength & 0xFF); file[11] = char(recordLength >> 8);
    file[29] = char(languageDriver);
    for (const DbfFieldBytes &f : fields) {
        QByteArray d(32, '\0');
        memcpy(d.data(), f.name, strlen(f.name));
        d[11] = f.type;
        d[16] = char(f.width);
        d[17] = char(f.decimals);
        file += d;
    }
    file += '\x0D';
    for (const DbfRowBytes &r : rows) {
        file += r.flag;
        for (int i = 0; i < fields.size(); ++i) {
            const DbfFieldBytes &f = fields[i];
            const QByteArray &cell = r.cells.value(i);
            const bool number = f.type == 'N' || f.type == 'F';
            file += number ? cell.rightJustified(f.width, ' ', true) : cell.leftJustified(f.width, ' ', true);
        }
    }
    file += '\x1A';
    return file;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(bytes) == bytes.size() && out.flush();
}

QString numberedDbf(const QString &dir, const QString &name, qint64 records, const std::set<qint64> &deleted,
                    int *headerLength)
{
    engine::DbaseDriver driver;
    engine::FieldDef text;
    text.name = QStringLiteral("NAME");
    text.dataType = engine::ftString;
    text.size = 10;
    engine::FieldDef nr;
    nr.name = QStringLiteral("NR");
    nr.dataType = engine::ftInteger;
    driver.create(dir, name, {text, nr});
    const QString path = QDir(dir).filePath(name + QStringLiteral(".dbf"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray header = f.read(32);
    const int headerBytes = quint8(header[8]) | (quint8(header[9]) << 8);
    EXPECT_EQ(quint8(header[10]) | (quint8(header[11]) << 8), 1 + 10 + 11);
    if (headerLength)
        *headerLength = headerBytes;
    f.seek(headerBytes);
    QByteArray block;
    for (qint64 r = 0; r < records; ++r) {
        block += deleted.count(r) ? '*' : ' ';
        block += QByteArray("Satz").leftJustified(10, ' ');
        block += QByteArray::number(r).rightJustified(11, ' ');
        if (block.size() > (1 << 20)) {
            f.write(block);
            block.clear();
        }
    }
    block += '\x1A';
    f.write(block);
    f.seek(4);
    const quint32 count = quint32(records);
    f.write(reinterpret_cast<const char *>(&count), 4);
    return path;
}

qint64 procValue(const char *file, const char *key)
{
    QFile f(QString::fromLatin1(file));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace testsupport
