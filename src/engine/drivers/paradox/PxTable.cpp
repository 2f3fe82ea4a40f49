#include "PxTable.h"

#include "EngineError.h"
#include "common/FileIo.h"
#include "common/SharedAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace engine::paradox {

using io::damagedFile;
using io::le16;
using io::le32;
using io::baseNameOf;
using io::nativePath;

PxTable::~PxTable()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<PxTable> PxTable::open(const QString &path, const OpenOptions &options)
{
    std::unique_ptr<PxTable> t(new PxTable);
    t->m_path = path;
    t->m_tableName = baseNameOf(QFileInfo(path).fileName());

    bool writable = false;
    t->m_fd = io::openTableFile(path, options.readOnly, writable);

    t->m_h = readHeader(t->m_fd, path);
    const PxHeader &h = t->m_h;
    if (h.fileType != PxKeyedTable && h.fileType != PxPlainTable)
        throw EngineError(ErrorKind::Damaged, QStringLiteral("Die Datei %1 ist keine Paradox-Tabelle, sondern eine Indexdatei (Dateiart %2).")
                              .arg(nativePath(path))
                              .arg(h.fileType));
    if (h.encryption != 0)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 ist mit einem Kennwort verschlüsselt und kann nicht gelesen "
                                         "werden.")
                              .arg(nativePath(path)));
    t->m_codec.setCodePage(codePageFor(h));
    t->m_collation = PxCollation::forTable(h);
    t->setKeyLayout();
    for (size_t i = 0; i < h.fields.size(); ++i) {
        t->m_defs.append(fieldDefFor(h.fields[i], int(i) + 1));
        if (h.fields[i].isBlob())
            t->m_hasBlobFields = true;
    }
    t->indexBlocks();

    const QStringList entries = QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden, QDir::Name);
    const QString dir = QFileInfo(path).path();
    const QString base = t->m_tableName;
    const QString mb = io::companionEntry(entries, base, QStringLiteral(".mb"));
    t->m_blobPath = QDir(dir).filePath(mb.isEmpty() ? base + QStringLiteral(".MB") : mb);
    QString blobFault;
    if (t->m_hasBlobFields && !mb.isEmpty()) {
        try {
            t->m_blob = BlobFile::open(t->m_blobPath, writable);
        } catch (const EngineError &e) {
            blobFault = e.message();
        }
    }
    t->readIndexDefinitions(entries);
    const QString checksFault = t->readChecks(entries);

    QStringList reasons;
    const QString access = io::claimAccess(t->m_fd, path, options.readOnly, options.exclusive, writable);
    if (!access.isEmpty())
        reasons << access;
    if (h.keyFields > 0 && !t->m_primaryFile.isEmpty())
        t->m_primaryPath = QDir(dir).filePath(t->m_primaryFile);
    // A keyed change cut off mid-way (the program ended) is completed from the block
    // chain, which every step leaves valid: counts, links and the .PX follow it.
    if (h.keyFields > 0 && writable && !options.readOnly && access.isEmpty() && !t->m_primaryPath.isEmpty()
        && primaryIndexFault(t->m_primaryPath, t->m_keySize).isEmpty()) {
        char marker = 0;
        io::preadFully(t->m_fd, &marker, 1, off::ChangeUnderWay, path);
        if (marker != 0)
            t->repairInterruptedChange();
    }
    if (h.keyFields > 0) {
        if (t->m_primaryFile.isEmpty()) {
            reasons << QStringLiteral("Zur Tabelle %1 mit Primärschlüssel fehlt der Primärindex %2; die Tabelle kann nur "
                                      "gelesen werden.")
                           .arg(t->m_tableName, base + QStringLiteral(".PX"));
        } else {
            const QString fault = primaryIndexFault(t->m_primaryPath, t->m_keySize);
            if (!fault.isEmpty())
                reasons << fault + QStringLiteral(" Die Tabelle kann nur gelesen werden.");
            else if (writable && !options.readOnly && ::access(QFile::encodeName(t->m_primaryPath).constData(), W_OK) != 0)
                reasons << QStringLiteral("Der Primärindex %1 ist schreibgeschützt; die Tabelle kann nur gelesen werden.")
                               .arg(nativePath(t->m_primaryPath));
        }
    }
    // Non-maintained secondary indexes (no .Ynn) are left as they are by changes, as
    // Paradox leaves them; maintained ones are kept with every change, so each must
    // fit the table and be writable.
    if (!t->m_maintainedFiles.isEmpty())
        reasons << QStringLiteral("Die Sekundärindizes %1 der Tabelle lassen sich nicht lesen (%2); die Tabelle kann nur "
                                  "gelesen werden.")
                       .arg(t->m_maintainedFiles.join(QStringLiteral(", ")), t->m_indexFaults.join(QLatin1Char(' ')));
    if (!t->m_maintained.empty() && h.keyFields == 0)
        reasons << QStringLiteral("Zur Tabelle ohne Primärschlüssel gehören gepflegte Sekundärindizes, die Paradox nur bei "
                                  "Tabellen mit Schlüssel kennt; die Tabelle kann nur gelesen werden.");
    else if (!t->m_repairFault.isEmpty())
        reasons << t->m_repairFault;
    else {
        for (const Maintained &m : t->m_maintained) {
            try {
                PxSecondaryFile::open(m.xPath, m.yPath, h, t->m_collation, false, false)->checkCount(h.numRecords);
            } catch (const EngineError &e) {
                reasons << e.message() + QStringLiteral(" Die Tabelle kann nur gelesen werden.");
                continue;
            }
            if (writable && !options.readOnly)
                for (const QString &file : {m.xPath, m.yPath}) {
                    if (::access(QFile::encodeName(file).constData(), W_OK) != 0)
                        reasons << QStringLiteral("Die Indexdatei %1 ist schreibgeschützt; die Tabelle kann nur gelesen werden.")
                                       .arg(nativePath(file));
                }
        }
    }
    if (!checksFault.isEmpty())
        reasons << checksFault;
    if (!t->m_structureFault.isEmpty())
        reasons << t->m_structureFault + QStringLiteral(" Die Tabelle kann nur gelesen werden.");
    if (t->m_hasBlobFields && mb.isEmpty())
        reasons << QStringLiteral("Die Blobdatei %1 fehlt; die Tabelle kann nur gelesen werden.").arg(nativePath(t->m_blobPath));
    else if (!blobFault.isEmpty())
        reasons << blobFault;
    else if (writable && !options.readOnly && t->m_blob && !t->m_blob->writable())
        reasons << QStringLiteral("Die Blobdatei %1 ist schreibgeschützt.").arg(nativePath(t->m_blobPath));
    t->m_readOnlyReason = reasons.join(QLatin1Char(' '));
    t->m_writable = writable && t->m_readOnlyReason.isEmpty();
    return t;
}

void PxTable::indexBlocks()
{
    m_blocks.clear();
    m_blockIndex.assign(size_t(m_h.fileBlocks) + 1, -1);
    m_rowCount = 0;
    m_structureFault.clear();
    quint32 next = m_h.firstBlock;
    const int room = m_h.blockSize - BlockHeaderSize;
    while (next != 0) {
        if (next > m_h.fileBlocks)
            throw damagedFile(m_path, QStringLiteral("die Kette der Datenblöcke verweist auf den Block %1, die Datei "
                                                     "hat aber nur %2 Blöcke")
                                          .arg(next)
                                          .arg(m_h.fileBlocks));
        if (m_blockIndex[next] >= 0)
            throw damagedFile(m_path, QStringLiteral("die Kette der Datenblöcke kehrt zum Block %1 zurück").arg(next));
        // The block head and, for keyed tables, the key of its first record in one read.
        char head[BlockHeaderSize + 256 * 16];
        const qint64 want = BlockHeaderSize + m_keySize;
        const qint64 got = io::preadFully(m_fd, head, want, blockOffset(m_h, next), m_path);
        if (got < BlockHeaderSize)
            throw damagedFile(m_path, QStringLiteral("die Datei endet im Block %1").arg(next));
        const qint16 last = qint16(le16(head + 4));
        const int count = recordsInBlock(m_h, last);
        if (count * m_h.recordSize > room)
            throw damagedFile(m_path, QStringLiteral("der Block %1 soll %2 Sätze enthalten, es passen aber nur %3 hinein")
                                          .arg(next)
                                          .arg(count)
                                          .arg(room / m_h.recordSize));
        if (count > 0 && got < want)
            throw damagedFile(m_path, QStringLiteral("die Datei endet im Block %1").arg(next));
        m_blockIndex[next] = int(m_blocks.size());
        m_blocks.push_back({quint16(next), count, m_rowCount,
                            count > 0 && m_keySize > 0 ? QByteArray(head + BlockHeaderSize, m_keySize) : QByteArray()});
        m_rowCount += count;
        next = le16(head);
    }
    if (m_rowCount != qint64(m_h.numRecords))
        m_structureFault = QStringLiteral("Der Dateikopf der Tabelle %1 nennt %2 Sätze, die Datenblöcke enthalten "
                                          "aber %3.")
                               .arg(nativePath(m_path))
                               .arg(m_h.numRecords)
                               .arg(m_rowCount);
    invalidateCache();
}

void PxTable::readIndexDefinitions(const QStringList &entries)
{
    const QString base = m_tableName;
    const QString dir = QFileInfo(m_path).path();
    if (m_h.keyFields > 0) {
        m_primaryFile = io::companionEntry(entries, base, QStringLiteral(".px"));
        IndexDef def;
        def.name = QStringLiteral("Primärschlüssel");
        QStringList fields;
        for (int i = 0; i < m_h.keyFields; ++i)
            fields << m_h.fields[size_t(i)].name;
        def.fields = fields.join(QLatin1Char(';'));
        def.options = ixPrimary | ixUnique;
        def.source = m_primaryFile.isEmpty() ? base + QStringLiteral(".PX") : m_primaryFile;
        if (m_primaryFile.isEmpty())
            def.options |= ixNonMaintained;
        m_indexDefs.append(def);
        m_indexFields.append(fields);
    }
    static const QRegularExpression secondary(QStringLiteral("^\\.X(G[0-9A-F]|[0-9A-F]{2})$"),
                                              QRegularExpression::CaseInsensitiveOption);
    for (const QString &entry : entries) {
        if (!entry.startsWith(base + QLatin1Char('.'), Qt::CaseInsensitive))
            continue;
        const QString ext = entry.mid(base.size());
        const auto match = secondary.match(ext);
        if (!match.hasMatch())
            continue;
        m_secondaryFiles << entry;
        const QString path = QDir(dir).filePath(entry);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            m_maintainedFiles << entry; // unknown: kept safe
            m_indexFaults << QStringLiteral("Die Indexdatei %1 lässt sich nicht öffnen.").arg(nativePath(path));
            continue;
        }
        try {
            const PxHeader x = readHeader(fd, path);
            ::close(fd);
            // The index table holds the indexed fields, then the primary key, then a block hint.
            const int own = std::max(1, int(x.keyFields) - int(m_h.keyFields));
            QStringList fields;
            for (int i = 0; i < own && i < int(x.fields.size()); ++i) {
                const QString name = x.fields[size_t(i)].name;
                const auto known = std::find_if(m_h.fields.begin(), m_h.fields.end(),
                                                [&](const PxField &f) { return f.name.compare(name, Qt::CaseInsensitive) == 0; });
                if (known == m_h.fields.end())
                    throw damagedFile(path, QStringLiteral("der Index nennt das Feld %1, das die Tabelle nicht hat").arg(name));
                fields << known->name;
            }
            IndexDef def;
            // Single-field indexes are named after their field; composite ones keep their own name.
            const QString stored = baseNameOf(x.tableName);
            if (ext.at(2).toUpper() == QLatin1Char('G') && !stored.isEmpty()
                && x.tableName.compare(entry, Qt::CaseInsensitive) != 0)
                def.name = stored;
            else
                def.name = fields.join(QLatin1Char(';'));
            def.fields = fields.join(QLatin1Char(';'));
            def.source = entry;
            const QString yEntry = io::companionEntry(entries, base, QStringLiteral(".Y") + ext.mid(2));
            if (yEntry.isEmpty())
                def.options |= ixNonMaintained;
            else
                m_maintained.push_back({path, QDir(dir).filePath(yEntry)});
            m_indexDefs.append(def);
            m_indexFields.append(fields);
        } catch (const EngineError &e) {
            ::close(fd);
            m_maintainedFiles << entry; // unknown: kept safe
            m_indexFaults << e.message();
        }
    }
}

QString PxTable::readChecks(const QStringList &entries)
{
    m_checksFile = io::companionEntry(entries, m_tableName, QStringLiteral(".val"));
    if (m_checksFile.isEmpty())
        return {};
    const QString path = QDir(QFileInfo(m_path).path()).filePath(m_checksFile);
    // Checks that cannot be read cannot be kept: changes would slip past them.
    const QString unusable = QStringLiteral(" Die Gültigkeitsprüfungen können nicht beachtet werden; die Tabelle kann nur "
                                            "gelesen werden.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Die Datei %1 mit den Gültigkeitsprüfungen lässt sich nicht lesen (%2).")
                   .arg(nativePath(path), file.errorString())
            + unusable;
    // Real files hold a few hundred bytes per field; anything far larger is no .VAL.
    constexpr qint64 MaxChecksFile = 4 << 20;
    if (file.size() > MaxChecksFile)
        return QStringLiteral("Die Datei %1 mit den Gültigkeitsprüfungen ist mit %2 Bytes zu groß.")
                   .arg(nativePath(path))
                   .arg(file.size())
            + unusable;
    try {
        m_checks = parseChecks(file.readAll(), m_h, path);
    } catch (const EngineError &e) {
        return e.message() + unusable;
    }
    return {};
}

RowId PxTable::rowAt(qint64 position)
{
    if (position < 0 || position >= m_rowCount)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz %1 gibt es in der Tabelle %2 nicht.").arg(position + 1).arg(m_tableName));
    const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), position,
                                     [](qint64 p, const BlockRef &b) { return p < b.firstRow; });
    const BlockRef &b = *(it - 1);
    return rowId(b.number, int(position - b.firstRow));
}

qint64 PxTable::positionOf(RowId row)
{
    const qint64 block = row >> 16;
    const int slot = int(row & 0xFFFF);
    if (block <= 0 || block >= qint64(m_blockIndex.size()) || m_blockIndex[size_t(block)] < 0)
        return -1;
    const BlockRef &b = m_blocks[size_t(m_blockIndex[size_t(block)])];
    return slot < b.count ? b.firstRow + slot : -1;
}

const char *PxTable::record(RowId row)
{
    if (positionOf(row) < 0)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz gibt es in der Tabelle %1 nicht mehr.").arg(m_tableName));
    const char *block = blockData(quint16(row >> 16));
    return block + BlockHeaderSize + (row & 0xFFFF) * m_h.recordSize;
}

QByteArray PxTable::recordBytes(RowId row)
{
    return QByteArray(record(row), m_h.recordSize);
}

QVariant PxTable::value(RowId row, int field)
{
    if (field < 0 || field >= m_defs.size())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Das Feld %1 gibt es in der Tabelle %2 nicht.").arg(field + 1).arg(m_tableName));
    return decode(record(row), field);
}

QVariant PxTable::decode(const char *rec, int field)
{
    const PxField &f = m_h.fields[size_t(field)];
    const char *p = rec + f.offset;
    if (f.type == PxAlpha) {
        const int len = int(qstrnlen(p, size_t(f.size)));
        if (len == 0)
            return QVariant();
        return m_codec.decode(p, len);
    }
    if (f.isBlob())
        return blobValue(rec, f);
    return decodeFixed(f, p);
}

BlobFile *PxTable::blobFile()
{
    if (!m_blob) {
        if (!QFileInfo::exists(m_blobPath))
            throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Blobdatei %1 der Tabelle %2 fehlt.").arg(nativePath(m_blobPath), m_tableName));
        m_blob = BlobFile::open(m_blobPath, false);
    }
    return m_blob.get();
}

QVariant PxTable::blobValue(const char *rec, const PxField &f)
{
    const char *d = rec + f.offset + f.leader();
    const quint32 offsetIndex = le32(d);
    const quint32 length = le32(d + 4);
    if (length == 0)
        return QVariant();
    QByteArray data;
    if (offsetIndex == 0) {
        if (length > quint32(f.leader()))
            throw damagedFile(m_path, QStringLiteral("der Wert des Feldes %1 ist %2 Bytes lang, steht aber nur im "
                                                     "%3 Bytes langen Vorspann")
                                          .arg(f.name)
                                          .arg(length)
                                          .arg(f.leader()));
        data = QByteArray(rec + f.offset, qsizetype(length));
    } else {
        data = blobFile()->read(offsetIndex, length, f.name);
    }
    switch (f.type) {
    case PxMemo: case PxFmtMemo:
        return m_codec.decode(data.constData(), data.size());
    case PxGraphic:
        // Graphics carry an 8-byte prefix with the picture's length before the picture.
        if (data.size() >= 8 && le32(data.constData() + 4) == quint32(data.size() - 8))
            data.remove(0, 8);
        return data;
    default:
        return data;
    }
}

QList<QPair<QString, QString>> PxTable::facts() const
{
    QList<QPair<QString, QString>> out;
    out.append({QStringLiteral("Version"), versionText(m_h.version)});
    out.append({QStringLiteral("Dateiart"), m_h.fileType == PxKeyedTable ? QStringLiteral("Tabelle mit Primärschlüssel")
                                                                         : QStringLiteral("Tabelle ohne Schlüssel")});
    const CodePage &cp = m_codec.codePage();
    out.append({QStringLiteral("Codepage"), QStringLiteral("%1 (%2)").arg(cp.number).arg(QString::fromLatin1(cp.icuName))});
    out.append({QStringLiteral("Codepage im Dateikopf"), QString::number(m_h.codePage)});
    if (!m_h.sortOrderName.isEmpty())
        out.append({QStringLiteral("Sortierfolge"), m_h.sortOrderName});
    out.append({QStringLiteral("Sätze im Dateikopf"), QString::number(m_h.numRecords)});
    if (!m_structureFault.isEmpty())
        out.append({QStringLiteral("Sätze in den Datenblöcken"), QString::number(m_rowCount)});
    out.append({QStringLiteral("Kopflänge"), QStringLiteral("%1 Bytes").arg(m_h.headerSize)});
    out.append({QStringLiteral("Satzlänge"), QStringLiteral("%1 Bytes").arg(m_h.recordSize)});
    out.append({QStringLiteral("Blockgröße"), QStringLiteral("%1 Bytes").arg(m_h.blockSize)});
    out.append({QStringLiteral("Datenblöcke"), QStringLiteral("%1 benutzt von %2").arg(m_blocks.size()).arg(m_h.fileBlocks)});
    out.append({QStringLiteral("Schlüsselfelder"), QString::number(m_h.keyFields)});
    const bool autoInc = std::any_of(m_h.fields.begin(), m_h.fields.end(), [](const PxField &f) { return f.type == PxAutoInc; });
    if (autoInc)
        out.append({QStringLiteral("Autoinkrement"), QString::number(m_h.autoInc)});
    if (m_hasBlobFields)
        out.append({QStringLiteral("Blobdatei"), QFileInfo(m_blobPath).fileName()
                                                     + (m_blob || QFileInfo::exists(m_blobPath) ? QString() : QStringLiteral(" (fehlt)"))});
    if (!m_h.tableName.isEmpty())
        out.append({QStringLiteral("Name im Dateikopf"), m_h.tableName});
    if (!m_checksFile.isEmpty())
        out.append({QStringLiteral("Gültigkeitsprüfungen"), QStringLiteral("%1, %2 Felder").arg(m_checksFile).arg(m_checks.checks.size())});
    return out;
}

QList<QPair<QString, QVariant>> PxTable::connectionProperties() const
{
    return {{QStringLiteral("Codepage"), m_codec.codePage().number}};
}

// ---- index order ---------------------------------------------------------------

QVector<RowId> PxTable::indexOrder(const QString &indexName)
{
    int found = -1;
    for (int i = 0; i < m_indexDefs.size() && found < 0; ++i) {
        if (m_indexDefs.at(i).name.compare(indexName, Qt::CaseInsensitive) == 0)
            found = i;
    }
    if (found < 0) {
        if (!m_indexFaults.isEmpty())
            throw EngineError(ErrorKind::Damaged, m_indexFaults.join(QLatin1Char(' ')));
        throw datasetError(m_tableName, msg::indexNotFound(indexName), ErrorKind::NotFound);
    }
    // The key of a secondary index continues with the primary key, so equal
    // values keep the primary order.
    QStringList keyNames = m_indexFields.at(found);
    const bool primary = m_indexDefs.at(found).options & ixPrimary;
    if (!primary && found > 0 && (m_indexDefs.at(0).options & ixPrimary))
        keyNames += m_indexFields.at(0);
    std::vector<int> key;
    for (const QString &name : keyNames) {
        for (int i = 0; i < m_defs.size(); ++i) {
            if (m_defs.at(i).name == name) {
                key.push_back(i);
                break;
            }
        }
    }
    const bool caseInsensitive = m_indexDefs.at(found).options & ixCaseInsensitive;

    struct Entry {
        RowId row;
        std::vector<QVariant> values;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(m_rowCount));
    for (const BlockRef &b : m_blocks) {
        for (int s = 0; s < b.count; ++s) {
            Entry e{rowId(b.number, s), {}};
            const char *rec = record(e.row);
            for (int k : key)
                e.values.push_back(decode(rec, k));
            entries.push_back(std::move(e));
        }
    }
    const auto compare = [&](const QVariant &a, const QVariant &b) {
        if (!a.isValid() || !b.isValid())
            return int(a.isValid()) - int(b.isValid()); // blanks first
        if (a.typeId() == QMetaType::QString) {
            const QString sa = a.toString(), sb = b.toString();
            if (caseInsensitive) {
                const int c = sa.compare(sb, Qt::CaseInsensitive);
                if (c != 0)
                    return c;
            }
            return sa.compare(sb);
        }
        const QPartialOrdering o = QVariant::compare(a, b);
        return o == QPartialOrdering::Less ? -1 : (o == QPartialOrdering::Greater ? 1 : 0);
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry &x, const Entry &y) {
        for (size_t i = 0; i < x.values.size(); ++i) {
            const int c = compare(x.values[i], y.values[i]);
            if (c != 0)
                return c < 0;
        }
        return false;
    });
    QVector<RowId> out;
    out.reserve(qsizetype(entries.size()));
    for (const Entry &e : entries)
        out.append(e.row);
    return out;
}

} // namespace engine::paradox
