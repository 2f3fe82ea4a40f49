#include "ExportTestSupport.h"

#include "EngineError.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cmath>

namespace exporttest {

Rows readRows(engine::TableSource &table)
{
    Rows rows;
    const qint64 count = table.rowCount();
    const int n = int(table.fieldDefs().size());
    for (qint64 p = 0; p < count; ++p) {
        const engine::RowId row = table.rowAt(p);
        QVector<QVariant> values;
        for (int f = 0; f < n; ++f)
            values << table.value(row, f);
        rows << values;
    }
    return rows;
}

static std::unique_ptr<engine::TableSource> openTable(const QString &kind, const QString &dataSource,
                                                      const QString &tableName)
{
    engine::Driver *driver = engine::driverFor(kind);
    if (!driver)
        throw engine::EngineError(QStringLiteral("Keine Art %1").arg(kind));
    return driver->open(dataSource, tableName, engine::OpenOptions{true, false});
}

Rows readRows(const QString &kind, const QString &dataSource, const QString &tableName)
{
    auto table = openTable(kind, dataSource, tableName);
    return readRows(*table);
}

QStringList fieldNames(const QString &kind, const QString &dataSource, const QString &tableName)
{
    auto table = openTable(kind, dataSource, tableName);
    QStringList names;
    for (const engine::FieldDef &f : table->fieldDefs())
        names << f.name;
    return names;
}

static bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

static QString describe(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    return QStringLiteral("%1 (%2)").arg(v.toString(), QString::fromLatin1(v.typeName()));
}

bool sameValue(const QVariant &a, const QVariant &b, QString *why)
{
    const auto fail = [&]() {
        if (why)
            *why = describe(a) + QStringLiteral(" ≠ ") + describe(b);
        return false;
    };
    const bool nullA = !a.isValid() || a.isNull();
    const bool nullB = !b.isValid() || b.isNull();
    // Text kinds cannot tell an empty text from a missing one.
    const auto emptyText = [](const QVariant &v) { return v.typeId() == QMetaType::QString && v.toString().isEmpty(); };
    if (nullA || nullB)
        return (nullA && nullB) || (nullA && emptyText(b)) || (nullB && emptyText(a)) ? true : fail();
    if (isNumber(a) || isNumber(b)) {
        bool okA = false, okB = false;
        QString ta = a.toString(), tb = b.toString();
        ta.replace(QLatin1Char(','), QLatin1Char('.'));
        tb.replace(QLatin1Char(','), QLatin1Char('.'));
        const double x = isNumber(a) ? a.toDouble(&okA) : ta.toDouble(&okA);
        const double y = isNumber(b) ? b.toDouble(&okB) : tb.toDouble(&okB);
        if (!okA || !okB)
            return fail();
        return std::fabs(x - y) <= 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)}) ? true : fail();
    }
    // A date a kind keeps as text is the text the engine shows for it, or ISO text.
    const auto date = [](const QVariant &v) {
        if (v.typeId() == QMetaType::QDateTime)
            return v.toDateTime().date();
        if (v.typeId() == QMetaType::QString) {
            // Read here, not by the engine's own parser: German "dd.MM.yyyy", ISO
            // "yyyy-MM-dd", or a date-time reader's midnight ("1970-01-01T00:00:00").
            const QString text = v.toString().trimmed();
            QDate d = QDate::fromString(text, QStringLiteral("dd.MM.yyyy"));
            if (!d.isValid())
                d = QDate::fromString(text, Qt::ISODate);
            if (!d.isValid()) {
                const QDateTime dt = QDateTime::fromString(text, Qt::ISODate);
                d = dt.isValid() && dt.time() == QTime(0, 0) ? dt.date() : QDate();
            }
            return d;
        }
        return v.toDate();
    };
    if (a.typeId() == QMetaType::QDate || b.typeId() == QMetaType::QDate) {
        const QDate x = date(a), y = date(b);
        if (x.isValid() && y.isValid())
            return x == y ? true : fail();
    }
    const auto dateTime = [](const QVariant &v) {
        if (v.typeId() == QMetaType::QDateTime)
            return v.toDateTime();
        QString text = v.toString();
        text.replace(QLatin1Char(' '), QLatin1Char('T'));
        return QDateTime::fromString(text, Qt::ISODateWithMs);
    };
    if (a.typeId() == QMetaType::QDateTime || b.typeId() == QMetaType::QDateTime) {
        const QDateTime x = dateTime(a), y = dateTime(b);
        if (x.isValid() && y.isValid())
            return x == y ? true : fail();
    }
    if (a.typeId() == QMetaType::Bool || b.typeId() == QMetaType::Bool) {
        // The engine shows booleans as "True"/"False"; other readers write "true"/"1".
        const auto truth = [](const QVariant &v) -> int {
            if (v.typeId() == QMetaType::Bool)
                return v.toBool() ? 1 : 0;
            const QString text = v.toString().trimmed().toLower();
            if (text == QLatin1String("true") || text == QLatin1String("1"))
                return 1;
            if (text == QLatin1String("false") || text == QLatin1String("0"))
                return 0;
            return -1;
        };
        const int x = truth(a), y = truth(b);
        return x >= 0 && x == y ? true : fail();
    }
    if (a.typeId() == QMetaType::QByteArray || b.typeId() == QMetaType::QByteArray) {
        const auto bytes = [](const QVariant &v) {
            return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray::fromBase64(v.toString().toLatin1());
        };
        return bytes(a) == bytes(b) ? true : fail();
    }
    // Dates and times that came back as text compare as the engine shows them.
    const auto shown = [](const QVariant &v) {
        switch (v.typeId()) {
        // Shown to the nearest second.
        case QMetaType::QDateTime: {
            const QDateTime dt = v.toDateTime();
            const int ms = dt.time().msec();
            return dt.addMSecs(ms >= 500 ? 1000 - ms : -ms).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
        }
        case QMetaType::QTime: {
            const QTime t = v.toTime();
            const int ms = t.msec();
            return t.addMSecs(ms >= 500 ? 1000 - ms : -ms).toString(QStringLiteral("hh:mm:ss"));
        }
        default: return v.toString();
        }
    };
    // Line ends are LF in some kinds (an HTML page), CR LF in others.
    const auto lines = [&](const QVariant &v) { return shown(v).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); };
    return lines(a) == lines(b) ? true : fail();
}

QString compareRows(const Rows &expected, const Rows &actual)
{
    if (expected.size() != actual.size())
        return QStringLiteral("%1 Zeilen erwartet, %2 gelesen").arg(expected.size()).arg(actual.size());
    for (int r = 0; r < expected.size(); ++r) {
        if (expected[r].size() != actual[r].size())
            return QStringLiteral("Zeile %1: %2 Felder erwartet, %3 gelesen").arg(r + 1).arg(expected[r].size()).arg(actual[r].size());
        for (int f = 0; f < expected[r].size(); ++f) {
            QString why;
            if (!sameValue(expected[r][f], actual[r][f], &why))
                return QStringLiteral("Zeile %1, Feld %2: %3").arg(r + 1).arg(f + 1).arg(why);
        }
    }
    return QString();
}

Rows independentRows(const QString &reader, const QString &path, const QString &table)
{
    int exit = 0;
    QStringList arguments{QStringLiteral(BRISVEL_SOURCE_TESTS "/export/independent_read.py"), reader, path};
    if (!table.isEmpty())
        arguments << table;
    const QString out = runProgram(QStringLiteral("/usr/bin/python3"), arguments, &exit);
    if (exit != 0)
        return {{QVariant(QStringLiteral("Leser fehlgeschlagen: ") + out)}};
    Rows rows;
    for (const QJsonValue &row : QJsonDocument::fromJson(out.toUtf8()).object().value(QStringLiteral("rows")).toArray()) {
        QVector<QVariant> values;
        for (const QJsonValue &cell : row.toArray())
            values << (cell.isNull() ? QVariant() : cell.toVariant());
        rows << values;
    }
    return rows;
}

QString runProgram(const QString &program, const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        *exitCode = -1;
        return QStringLiteral("%1 lief nicht: %2").arg(program, process.errorString());
    }
    *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput()) + QString::fromUtf8(process.readAllStandardError());
}

} // namespace exporttest
