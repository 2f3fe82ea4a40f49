#include "DbfCreate.h"

#include "common/CodePage.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfMemo.h"
#include "EngineError.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSet>

namespace engine::dbase {

using namespace engine::io;

namespace {

// The language driver byte of a new table: ANSI (code page 1252).
constexpr quint8 NewTableLanguageDriver = 0x57;
constexpr int MaxFields = 255;

EngineError fieldError(const FieldDef &field, const QString &text)
{
    return EngineError(ErrorKind::RefusedValue, QStringLiteral("Feld %1: %2").arg(field.name, text));
}

} // namespace

StoredType dbaseIVTypeFor(const FieldDef &field)
{
    switch (field.dataType) {
    case ftString: case ftFixedChar: case ftWideString:
        if (field.size > 254)
            return {'M', 10, 0}; // longer than a character field can be
        return {'C', field.size > 0 ? field.size : 254, 0};
    case ftGuid:
        return {'C', 38, 0};
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        return {'N', 11, 0};
    case ftLargeint:
        return {'N', 20, 0};
    case ftFloat:
        // An export gives the width and decimals its values need.
        if (field.precision > 0 && field.precision <= 20)
            return {'N', field.precision, std::clamp(field.scale, 0, std::max(0, field.precision - 2))};
        return {'N', 20, field.scale > 0 && field.scale <= 15 ? field.scale : 6};
    case ftBCD: case ftFMTBcd: {
        const int scale = std::clamp(field.scale, 0, 15);
        if (field.precision > 0) {
            const int width = std::min(20, field.precision + (scale > 0 ? 2 : 1));
            return {'N', width, std::min(scale, std::max(0, width - 2))};
        }
        return {'N', 20, scale > 0 ? scale : 6};
    }
    case ftCurrency:
        return {'N', 20, 4};
    case ftDate:
        return {'D', 8, 0};
    case ftTime:
        return {'C', 8, 0};          // hh:mm:ss
    case ftDateTime: case ftTimeStamp:
        return {'C', 19, 0};         // dd.MM.yyyy hh:mm:ss, as the engine shows it
    case ftBoolean:
        return {'L', 1, 0};
    case ftMemo: case ftFmtMemo: case ftOraClob:
        return {'M', 10, 0};
    case ftBlob: case ftGraphic: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob:
    case ftBytes: case ftVarBytes:
        return {'B', 10, 0};         // binary memo: bytes kept as they are
    default:
        throw fieldError(field, QStringLiteral("der Typ %1 lässt sich in einer dBASE-Tabelle nicht speichern")
                                    .arg(fieldTypeName(field.dataType)));
    }
}

void createDbaseIVTable(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields,
                        const QString &memoTableName)
{
    checkNewTable(dataSource, tableName, fields, MaxFields, QStringLiteral("dBASE"));
    const QDir dir(dataSource);

    TextCodec codec;
    codec.setCodePage(*codePageForLanguageDriver(NewTableLanguageDriver));

    const QString fileName = tableName.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive)
                                 ? tableName
                                 : tableName + QStringLiteral(".dbf");
    const QString base = fileName.chopped(4);
    const bool upperExt = fileName.at(fileName.size() - 3).isUpper();

    QByteArray descriptors;
    QSet<QString> seen;
    int recordLength = 1;
    bool hasMemo = false;
    for (const FieldDef &field : fields) {
        const QString name = field.name;
        QByteArray encoded;
        if (name.isEmpty())
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Feld der Tabelle %1 hat keinen Namen.").arg(tableName));
        if (!codec.encode(name, encoded, nullptr) || encoded.contains('\0'))
            throw fieldError(field, QStringLiteral("der Feldname enthält Zeichen, die dBASE nicht speichern kann"));
        if (encoded.size() > 10)
            throw fieldError(field, QStringLiteral("der Feldname ist länger als 10 Zeichen"));
        if (seen.contains(name.toUpper()))
            throw fieldError(field, QStringLiteral("der Feldname kommt mehrfach vor"));
        seen.insert(name.toUpper());

        const StoredType t = dbaseIVTypeFor(field);
        hasMemo = hasMemo || t.type == 'M' || t.type == 'B';
        QByteArray d(32, '\0');
        memcpy(d.data(), encoded.constData(), size_t(encoded.size()));
        d[11] = t.type;
        d[16] = char(t.width);
        d[17] = char(t.decimals);
        descriptors += d;
        recordLength += t.width;
    }
    if (recordLength > 65535)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Sätze der Tabelle %1 wären %2 Bytes lang; dBASE erlaubt höchstens 65535.")
                              .arg(tableName)
                              .arg(recordLength));

    const int headerLength = 32 + int(descriptors.size()) + 1;
    QByteArray header(32, '\0');
    char *h = header.data();
    const QDate today = QDate::currentDate();
    h[0] = char(hasMemo ? 0x8B : 0x03);
    h[1] = char(std::clamp(today.year() - 1900, 0, 255));
    h[2] = char(today.month());
    h[3] = char(today.day());
    putLe32(h + 4, 0);
    putLe16(h + 8, quint16(headerLength));
    putLe16(h + 10, quint16(recordLength));
    h[29] = char(NewTableLanguageDriver);
    QByteArray content = header + descriptors;
    content.append('\x0D');
    content.append('\x1A');

    const QString tablePath = dir.filePath(fileName);
    // The memo file first: a table never names a memo file that is not there.
    if (hasMemo) {
        const QString memoPath = dir.filePath(base + (upperExt ? QStringLiteral(".DBT") : QStringLiteral(".dbt")));
        QByteArray baseName;
        codec.encode((memoTableName.isEmpty() ? base : memoTableName).toUpper(), baseName, nullptr);
        writeFileSafely(memoPath, MemoFile::emptyFile(baseName));
    }
    // A .cpg left from an earlier table of this name would override the language
    // driver byte of the new one.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
    for (const QString &entry : entries) {
        if (entry.compare(base + QStringLiteral(".cpg"), Qt::CaseInsensitive) == 0)
            QFile::remove(dir.filePath(entry));
    }
    writeFileSafely(tablePath, content);
}

} // namespace engine::dbase
