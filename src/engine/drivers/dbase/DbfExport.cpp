#include "DbfExport.h"

#include "DbfCreate.h"
#include "common/FieldNames.h"
#include "common/FileIo.h"
#include "common/Journal.h"
#include "common/SharedAccess.h"
#include "DbfTable.h"
#include "EngineError.h"
#include "RawCells.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr int MaxNameLength = 10;
constexpr int MaxCharWidth = 254;
constexpr int MaxNumericWidth = 20;

bool isText(TFieldType t)
{
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftUnknown || t == ftVariant;
}

bool isReal(TFieldType t)
{
    return t == ftFloat || t == ftBCD || t == ftFMTBcd;
}

// Letters (of the table's ANSI code page), digits and "_", beginning with a letter.
QString dbaseName(const QString &name)
{
    QString out;
    for (const QChar c : name)
        out += (c.isLetterOrNumber() && c.unicode() < 256) || c == QLatin1Char('_') ? c : QLatin1Char('_');
    if (out.isEmpty() || !out.at(0).isLetter())
        out.prepend(QLatin1Char('F'));
    return out;
}

} // namespace

QVector<FieldDef> dbaseFieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                 QStringList &changes)
{
    QVector<FieldDef> fields;
    text::UniqueNames taken(MaxNameLength, 1);
    for (int i = 0; i < source.size(); ++i) {
        const FieldDef &s = source.at(i);
        const ColumnMeasure m = i < measures.size() ? measures.at(i) : ColumnMeasure();
        FieldDef f = s;
        f.name = taken.take(dbaseName(s.name));
        if (f.name != s.name)
            changes << QStringLiteral("Das Feld \"%1\" heißt in der dBASE-Tabelle \"%2\".").arg(s.name, f.name);

        if (isText(s.dataType)) {
            const int length = std::max({1, m.textLength, s.size > MaxCharWidth ? 0 : s.size});
            f.dataType = ftString;
            f.size = length;
            if (length > MaxCharWidth) {
                f.dataType = ftMemo;
                changes << QStringLiteral("Das Feld \"%1\" enthält Texte mit bis zu %2 Zeichen und wird als Memofeld "
                                          "gespeichert.")
                               .arg(f.name)
                               .arg(m.textLength);
            }
        } else if (isReal(s.dataType)) {
            const int integer = std::max(1, m.integerDigits);
            int decimals = std::min(m.decimals, MaxNumericWidth - 2);
            if (m.integerDigits == 0 && m.decimals == 0)
                decimals = std::clamp(s.scale, 0, 15); // no values: keep what the source declares
            if (integer > MaxNumericWidth) {
                f.dataType = ftString;
                f.size = integer + 1 + decimals + 4;
                changes << QStringLiteral("Das Feld \"%1\" enthält Zahlen mit mehr als %2 Stellen und wird als Text "
                                          "gespeichert.")
                               .arg(f.name)
                               .arg(MaxNumericWidth);
            } else {
                if (integer + (decimals > 0 ? decimals + 1 : 0) > MaxNumericWidth) {
                    decimals = std::max(0, MaxNumericWidth - integer - 1);
                    changes << QStringLiteral("Die Zahlen des Feldes \"%1\" werden auf %2 Nachkommastellen gerundet.")
                                   .arg(f.name)
                                   .arg(decimals);
                }
                f.dataType = ftFloat;
                f.scale = decimals;
                f.precision = integer + (decimals > 0 ? decimals + 1 : 0);
            }
        } else if (s.dataType == ftTime) {
            f.dataType = ftString;
            f.size = 8;
            changes << QStringLiteral("Das Feld \"%1\" (Zeit) wird als Text \"hh:mm:ss\" gespeichert; dBASE IV kennt "
                                      "keine Uhrzeiten.")
                           .arg(f.name);
        } else if (s.dataType == ftDateTime || s.dataType == ftTimeStamp) {
            f.dataType = ftString;
            f.size = 19;
            changes << QStringLiteral("Das Feld \"%1\" (Datum mit Uhrzeit) wird als Text \"TT.MM.JJJJ hh:mm:ss\" "
                                      "gespeichert; dBASE IV kennt nur Datumswerte.")
                           .arg(f.name);
        } else if (s.dataType == ftGuid) {
            f.dataType = ftString;
            f.size = 38;
        }
        fields << f;
    }
    return fields;
}

namespace {

class DbaseWriter final : public TableWriter, public RawRowWriter {
public:
    DbaseWriter(const QString &directory, const QString &tableName, const QVector<FieldDef> &fields)
        : m_dir(directory), m_journal(QDir(directory).filePath(tableFileName(tableName))), m_fields(fields)
    {
        const QString fileName = tableFileName(tableName);
        m_finalBase = fileName.chopped(4);
        m_upperExt = fileName.at(fileName.size() - 3).isUpper();
        const QString ext = fileName.right(4);
        // The table and its memo are written under part names and renamed in
        // together at commit.
        m_tempBase = QFileInfo(m_journal.newPartPath()).fileName();
        m_tempTable = m_dir.filePath(m_tempBase + ext);
        m_finalTable = m_dir.filePath(fileName);
        try {
            createDbaseIVTable(directory, m_tempBase + ext, fields, m_finalBase);
        } catch (const EngineError &e) {
            io::removeFile(tempMemo());
            throw shown(e);
        }
        // The memo first: a table never names a memo file that is not there.
        m_hasMemo = QFileInfo::exists(tempMemo());
        if (m_hasMemo)
            m_journal.replace(tempMemo(), finalMemo());
        m_journal.replace(m_tempTable, m_finalTable);
        try {
            m_table = DbfTable::open(m_tempTable, OpenOptions{false, true});
        } catch (const EngineError &e) {
            throw shown(e);
        }
    }

    ~DbaseWriter() override { m_table.reset(); } // the journal removes the parts unless committed

    void writeRow(const QVector<QVariant> &values) override
    {
        try {
            m_table->appendBulk(values);
        } catch (const EngineError &e) {
            throw shown(e);
        }
    }

    // Cells the formatter cannot copy as they are it encodes as values itself.
    bool takesEveryCell(int) const override { return true; }

    std::unique_ptr<RawRowFormatter> rawFormatter(const Utf8Table *table) const override
    {
        return m_table->bulkFormatter(m_fields, table, [this](const EngineError &e) { return shown(e); });
    }

    void writeFormatted(const QByteArray &rows) override
    {
        try {
            m_table->appendBulkFormatted(rows);
        } catch (const EngineError &e) {
            throw shown(e);
        }
    }

    void commit() override
    {
        try {
            m_table->finishBulk();
        } catch (const EngineError &e) {
            throw shown(e);
        }
        m_table.reset();
        const bool hasMemo = m_hasMemo;
        // What belonged to a table of this name before would describe the wrong
        // records now: its memo (when the new table has none), index and code page files.
        const QStringList entries = m_dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString &entry : entries) {
            const qsizetype dot = entry.lastIndexOf(QLatin1Char('.'));
            if (dot < 0 || entry.left(dot) != m_finalBase)
                continue;
            const QString ext = entry.mid(dot + 1).toLower();
            const bool stale = ext == QLatin1String("mdx") || ext == QLatin1String("cdx") || ext == QLatin1String("cpg")
                               || ext == QLatin1String("fpt") || (ext == QLatin1String("dbt") && !hasMemo);
            if (stale)
                m_journal.remove(m_dir.filePath(entry));
        }
        m_journal.commit();
    }

private:
    // The parts are written by the table code, which knows only their names:
    // the user is told of the table's own files.
    EngineError shown(const EngineError &e) const
    {
        return namingTarget(namingTarget(e, m_tempTable, m_finalTable), tempMemo(), finalMemo());
    }
    static QString tableFileName(const QString &tableName)
    {
        return tableName.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive) ? tableName
                                                                               : tableName + QStringLiteral(".dbf");
    }
    QString tempMemo() const { return m_dir.filePath(m_tempBase + QStringLiteral(".dbt")); }
    QString finalMemo() const
    {
        return m_dir.filePath(m_finalBase + (m_upperExt ? QStringLiteral(".DBT") : QStringLiteral(".dbt")));
    }

    QDir m_dir;
    io::Journal m_journal; // held from the start: one writer of this table at a time
    QVector<FieldDef> m_fields;
    QString m_finalBase;
    QString m_tempBase;
    QString m_tempTable;
    QString m_finalTable;
    bool m_upperExt = false;
    bool m_hasMemo = false;
    std::unique_ptr<DbfTable> m_table;
};

} // namespace

std::unique_ptr<TableWriter> createDbaseWriter(const QString &directory, const QString &tableName,
                                               const QVector<FieldDef> &fields)
{
    if (directory.isEmpty() || !QDir(directory).exists())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Ordner %1 gibt es nicht.").arg(nativePath(directory)));
    if (tableName.trimmed().isEmpty() || tableName.contains(QLatin1Char('/')))
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("%1 ist kein gültiger Tabellenname.").arg(tableName));
    return std::make_unique<DbaseWriter>(directory, tableName, fields);
}

} // namespace engine::dbase
