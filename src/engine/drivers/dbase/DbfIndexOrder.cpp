// A dBASE table's index files: their definitions at open, rows in index order on demand.
#include "DbfIndex.h"
#include "DbfIo.h"
#include "DbfTable.h"
#include "EngineError.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace engine::dbase {

namespace {

bool isProductionIndex(const QString &fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    return ext == QLatin1String("mdx") || ext == QLatin1String("cdx") || ext == QLatin1String("dcx");
}

} // namespace

void DbfTable::readIndexDefinitions()
{
    QStringList files;
    for (const QString &name : std::as_const(m_indexFiles)) {
        if (IndexFile::isIndexFileName(name))
            files << name;
    }
    // The production index first: its tags are the table's own.
    std::stable_sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return isProductionIndex(a) && !isProductionIndex(b);
    });
    QStringList fieldNames;
    for (const FieldDef &f : std::as_const(m_defs))
        fieldNames << f.name;
    const QDir dir = QFileInfo(m_path).dir();
    for (const QString &name : std::as_const(files)) {
        // A damaged index file costs its order, not the table: the fault is kept to be told.
        try {
            auto file = IndexFile::open(dir.filePath(name));
            for (int i = 0; i < file->tags().size(); ++i) {
                m_indexDefs.append(makeIndexDef(file->tags().at(i), name, fieldNames));
                m_indexTags.append({int(m_indexes.size()), i});
            }
            m_indexes.push_back(std::move(file));
        } catch (const EngineError &e) {
            m_indexFaults << e.message();
        }
    }
}

QVector<RowId> DbfTable::indexOrder(const QString &indexName)
{
    int found = -1;
    for (int i = 0; i < m_indexDefs.size() && found < 0; ++i) {
        if (m_indexDefs.at(i).name.compare(indexName, Qt::CaseInsensitive) == 0)
            found = i;
    }
    if (found < 0) {
        if (!m_indexFaults.isEmpty())
            throw EngineError(m_indexFaults.join(QLatin1Char(' ')));
        throw datasetError(m_tableName, msg::indexNotFound(indexName));
    }
    const IndexFile &file = *m_indexes.at(size_t(m_indexTags.at(found).first));
    const QVector<quint32> records = file.recordNumbers(m_indexTags.at(found).second);

    QVector<RowId> out;
    out.reserve(records.size());
    std::vector<bool> seen(size_t(m_recordCount), false);
    for (const quint32 number : records) {
        if (number > m_headerCount)
            throw EngineError(QStringLiteral("Die Indexdatei %1 passt nicht zur Tabelle %2: sie verweist auf den "
                                             "Satz %3, die Tabelle hat nur %4 Sätze.")
                                  .arg(nativePath(file.path()), m_tableName)
                                  .arg(number)
                                  .arg(m_headerCount));
        // Records the header counts but a short file lacks are already reported as missing.
        const RowId row = RowId(number) - 1;
        if (row >= m_recordCount || seen[size_t(row)])
            continue;
        seen[size_t(row)] = true;
        if (record(row)[0] == '*')
            continue;
        out.append(row);
    }
    return out;
}

} // namespace engine::dbase
