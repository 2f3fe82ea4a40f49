// Checking a table's index files against a fresh build from its records, and
// rebuilding them whole: the repairs a user asks for by command.
#include "DbfIndex.h"
#include "DbfIndexWrite.h"
#include "DbfMemoCheck.h"
#include "DbfTable.h"
#include "common/FileIo.h"
#include "common/Journal.h"
#include "common/SharedAccess.h"
#include "EngineError.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <map>
#include <optional>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr int MaxReportsPerTag = 10;

QString shownKey(const KeptTag &tag, const QByteArray &key, const TextCodec &codec)
{
    if (tag.encoding == KeyEncoding::Text) {
        const int prefix = tag.nullPrefix ? 1 : 0;
        return codec.decode(key.constData() + prefix, int(key.size()) - prefix).trimmed();
    }
    return QString::fromLatin1(key.toHex(' ')).toUpper();
}

QStringList fieldNamesOf(const DbfTable &table)
{
    QStringList names;
    for (const FieldDef &f : table.fieldDefs())
        names << f.name;
    return names;
}

// A keeper of files for the table's records: its field names, values and null flags.
std::unique_ptr<IndexKeeper> keeperFor(DbfTable &table, const std::vector<std::unique_ptr<IndexFile>> &files, const TextCodec &codec,
                                       int recordLength)
{
    auto keeper = std::make_unique<IndexKeeper>(
        files, fieldNamesOf(table), codec, [&table](const char *rec, int field) { return table.xbaseValue(rec, field); },
        QByteArray(recordLength, ' '));
    keeper->setNullableFields(table.nullableFields());
    return keeper;
}

} // namespace

QStringList DbfTable::checkIndexes()
{
    QStringList out = m_indexFaults;
    // A change a dead writer left half done is finished or undone first.
    if (m_readOnlyReason.isEmpty())
        Journal::recover(m_file.path());
    refreshHeaderLocked();
    invalidateCache();
    // Each memo pointer must lead to the start of a memo in the memo file.
    if (m_file.hasMemoFields() && (m_file.memoMissing() || !m_file.memo())) {
        out << (m_file.memoFault().isEmpty() ? QStringLiteral("Die Memodatei %1 fehlt.").arg(m_file.memoName()) : m_file.memoFault());
    } else if (m_file.hasMemoFields()) {
        std::vector<MemoPointer> pointers;
        for (qint64 r = 0; r < m_file.header().recordCount; ++r) {
            const char *rec = record(r);
            if (!rec)
                break;
            for (const DbfField &f : m_file.header().fields) {
                if (f.kind != DbfField::MemoText && f.kind != DbfField::MemoBinary)
                    continue;
                try {
                    pointers.push_back({quint32(r + 1), f.name, m_file.memoBlock(rec, f)});
                } catch (const EngineError &e) {
                    out << QStringLiteral("Satz %1, Feld %2: %3").arg(r + 1).arg(f.name, e.message());
                }
            }
        }
        try {
            out << checkMemoPointers(*m_file.memo(), pointers);
        } catch (const EngineError &e) {
            out << e.message();
        }
    }
    if (m_indexes.empty())
        return out;
    std::unique_ptr<IndexKeeper> fresh;
    try {
        for (auto &file : m_indexes)
            file = IndexFile::open(file->path());
        fresh = keeperFor(*this, m_indexes, m_file.codec(), m_file.header().recordLength);
        fresh->addRecords(m_file.header().recordCount, [this](qint64 r) -> const char * {
            return r < m_file.header().recordCount ? record(r) : nullptr;
        });
    } catch (const EngineError &e) {
        out << e.message();
        return out;
    }
    for (size_t f = 0; f < fresh->files().size(); ++f) {
        const KeptFile &kept = *fresh->files()[f];
        const QString fileName = QFileInfo(kept.path).fileName();
        for (size_t t = 0; t < kept.tags.size(); ++t) {
            const KeptTag &tag = *kept.tags[t];
            const QString where = QStringLiteral("Index %1 in %2").arg(tag.info.name, fileName);
            std::vector<IndexEntry> actual;
            try {
                actual = m_indexes[f]->entries(int(t));
            } catch (const EngineError &e) {
                out << QStringLiteral("%1: %2").arg(where, e.message());
                continue;
            }
            const std::vector<IndexEntry> expected = fresh->freshEntries(f, t);
            const bool same = actual.size() == expected.size()
                           && std::equal(actual.begin(), actual.end(), expected.begin(), [](const IndexEntry &a, const IndexEntry &b) {
                                  return a.record == b.record && a.key == b.key;
                              });
            if (same)
                continue;
            QStringList found;
            std::map<quint32, QByteArray> want, have;
            for (const IndexEntry &e : expected)
                want.emplace(e.record, e.key);
            for (const IndexEntry &e : actual) {
                if (!have.emplace(e.record, e.key).second)
                    found << QStringLiteral("%1: Satz %2 steht zweimal darin.").arg(where).arg(e.record);
            }
            for (const auto &[record, key] : want) {
                const auto it = have.find(record);
                if (it == have.end())
                    found << QStringLiteral("%1: Satz %2 fehlt (Schlüssel „%3“).").arg(where).arg(record).arg(shownKey(tag, key, m_file.codec()));
                else if (it->second != key)
                    found << QStringLiteral("%1: Satz %2 steht unter dem Schlüssel „%3“, richtig ist „%4“.")
                                 .arg(where)
                                 .arg(record)
                                 .arg(shownKey(tag, it->second, m_file.codec()), shownKey(tag, key, m_file.codec()));
            }
            for (const auto &[record, key] : have) {
                if (!want.count(record))
                    found << QStringLiteral("%1: Satz %2 steht darin (Schlüssel „%3“), gehört aber nicht hinein.")
                                 .arg(where)
                                 .arg(record)
                                 .arg(shownKey(tag, key, m_file.codec()));
            }
            if (found.isEmpty()) {
                // The same entries in another order.
                size_t i = 0;
                while (i < actual.size() && actual[i].record == expected[i].record)
                    ++i;
                found << QStringLiteral("%1: die Schlüssel stehen nicht in der richtigen Reihenfolge (an Stelle %2 steht Satz %3, "
                                        "richtig ist Satz %4).")
                             .arg(where)
                             .arg(i + 1)
                             .arg(actual[i].record)
                             .arg(expected[i].record);
            }
            if (found.size() > MaxReportsPerTag) {
                const qsizetype more = found.size() - MaxReportsPerTag;
                found = found.mid(0, MaxReportsPerTag);
                found << QStringLiteral("%1: dazu %2 weitere Unterschiede.").arg(where).arg(more);
            }
            out << found;
        }
    }
    return out;
}

void DbfTable::reindex()
{
    ensureWritable();
    if (!m_indexFaults.isEmpty())
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Indexdateien lassen sich nicht neu aufbauen, weil ihre Definitionen "
                                                             "nicht lesbar sind: %1")
                                                  .arg(m_indexFaults.join(QLatin1Char(' '))));
    if (m_indexes.empty())
        return;
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_file.fd(), m_file.path());
    Journal::recover(m_file.path());
    refreshHeaderLocked();
    invalidateCache();
    const auto fresh = keeperFor(*this, m_indexes, m_file.codec(), m_file.header().recordLength);
    fresh->addRecords(m_file.header().recordCount, [this](qint64 r) -> const char * { return r < m_file.header().recordCount ? record(r) : nullptr; });
    fresh->replaceFiles();
    for (auto &file : m_indexes)
        file = IndexFile::open(file->path());
}

void DbfTable::addIndex(const QString &name, const QString &expression)
{
    ensureWritable();
    const QString tagName = name.trimmed().toUpper();
    static const QRegularExpression valid(QStringLiteral("^[A-Z_][A-Z0-9_]{0,9}$"));
    if (!valid.match(tagName).hasMatch())
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("„%1“ taugt nicht als Name eines Index: erlaubt sind bis zu 10 "
                                                                  "Buchstaben, Ziffern und _, vorn keine Ziffer.")
                                                       .arg(name));
    for (const IndexDef &def : std::as_const(m_indexDefs)) {
        if (def.name.compare(tagName, Qt::CaseInsensitive) == 0)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Einen Index %1 gibt es schon (in %2).").arg(tagName, def.source));
    }
    if (!m_indexFaults.isEmpty())
        throw EngineError(ErrorKind::Damaged, m_indexFaults.join(QLatin1Char(' ')));
    // The table's own .mdx or .cdx; when it has none, FoxPro tables get a .cdx
    // and dBASE tables an .mdx, named as the table.
    bool fox = isVisualFoxPro(m_file.header().version) || m_file.header().version == 0xF5 || m_file.header().version == 0xFB;
    const QFileInfo table(m_file.path());
    size_t file = m_indexes.size();
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        const IndexFormat f = m_indexes[i]->format();
        if ((f == IndexFormat::Mdx || f == IndexFormat::Cdx)
            && QFileInfo(m_indexes[i]->path()).completeBaseName().compare(table.completeBaseName(), Qt::CaseInsensitive) == 0) {
            file = i;
            fox = f == IndexFormat::Cdx;
        }
    }
    const IndexFormat format = fox ? IndexFormat::Cdx : IndexFormat::Mdx;
    const QString path = file < m_indexes.size() ? m_indexes[file]->path()
                                                 : table.dir().filePath(table.completeBaseName() + (fox ? QStringLiteral(".cdx") : QStringLiteral(".mdx")));
    addTagTo(file, path, format, tagName, expression);
}

void DbfTable::createIndexFile(const QString &path, IndexFormat format, const QString &name, const QString &expression)
{
    ensureWritable();
    addTagTo(m_indexes.size(), path, format, name.toUpper(), expression);
}

void DbfTable::addTagTo(size_t file, const QString &path, IndexFormat format, const QString &tagName, const QString &expression)
{
    if (file == m_indexes.size() && QFileInfo::exists(path))
        throw EngineError(QStringLiteral("Die Datei %1 gibt es schon, sie lässt sich aber nicht als Indexdatei lesen.").arg(nativePath(path)));
    const QFileInfo table(m_file.path());
    std::optional<FileLock> lock;
    if (!m_exclusive)
        lock.emplace(m_file.fd(), m_file.path());
    refreshHeaderLocked();
    invalidateCache();
    std::vector<std::unique_ptr<IndexFile>> production;
    if (file < m_indexes.size())
        production.push_back(IndexFile::open(path));
    const auto building = keeperFor(*this, production, m_file.codec(), m_file.header().recordLength);
    const auto records = [this](qint64 r) -> const char * { return r < m_file.header().recordCount ? record(r) : nullptr; };
    building->addTag(0, path, format, tagName, expression, fieldNamesOf(*this), records, table.completeBaseName());
    building->addRecords(m_file.header().recordCount, records);
    building->replaceFiles();
    // The table's header says it has a production index.
    const bool ownIndex = QFileInfo(path).completeBaseName().compare(table.completeBaseName(), Qt::CaseInsensitive) == 0;
    if (ownIndex)
        m_file.addTableFlags(0x01);
    if (!m_indexFiles.contains(QFileInfo(path).fileName()))
        m_indexFiles << QFileInfo(path).fileName();
    m_indexes.clear();
    m_indexDefs.clear();
    m_indexTags.clear();
    m_keyExpressions.clear();
    readIndexDefinitions();
    if (const QString fault = prepareIndexKeeping(); !fault.isEmpty())
        m_readOnlyReason = fault;
}

} // namespace engine::dbase
