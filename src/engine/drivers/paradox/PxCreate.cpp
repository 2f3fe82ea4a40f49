#include "PxCreate.h"

#include "EngineError.h"
#include "KnownRowCount.h"
#include "common/FieldNames.h"
#include "PxBlob.h"
#include "PxFormat.h"
#include "common/FileIo.h"
#include "common/Journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <iterator>
#include <optional>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace engine::paradox {

using io::nativePath;
using io::putLe16;
using io::putLe32;

namespace {

constexpr int MaxNameLength = 25;
constexpr int MaxFields = 255;
constexpr int NewLeader = 10; // leader bytes of new memo and blob fields
constexpr quint16 NewCodePage = 1252;
constexpr quint8 VersionId5 = 0x0B;
constexpr int TableNameLength = 79;
constexpr qint64 FlushBytes = 1 << 20;
// The block sizes Paradox 5 tables are made with; a table has at most 65,535
// blocks, so the block size bounds the number of records.
constexpr int BlockSizes[] = {2048, 4096, 16384, 32768};
constexpr int MaxBlocks = 0xFFFF;

int recordsPerBlock(int blockSize, int recordSize)
{
    return (blockSize - BlockHeaderSize) / recordSize;
}

// Characters Paradox does not allow in field names.
bool badNameChar(QChar c)
{
    return c == QLatin1Char('[') || c == QLatin1Char(']') || c == QLatin1Char('{') || c == QLatin1Char('}')
        || c == QLatin1Char('(') || c == QLatin1Char(')') || c.unicode() < 0x20;
}

// The stored field for a field of the engine; throws for what Paradox cannot hold.
PxField storedFieldFor(const FieldDef &d)
{
    PxField f;
    f.name = d.name;
    const auto blob = [&](quint8 type) {
        f.type = type;
        const int leader = d.size > BlobDescriptorSize && d.size <= 240 + BlobDescriptorSize ? d.size - BlobDescriptorSize : NewLeader;
        f.size = leader + BlobDescriptorSize;
    };
    switch (d.dataType) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
        f.type = PxAlpha;
        f.size = d.dataType == ftGuid ? 38 : (d.size > 0 ? d.size : 255);
        if (f.size > 255)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Feld %1: ein Paradox-Textfeld fasst höchstens 255 Zeichen, nicht %2.").arg(d.name).arg(f.size));
        break;
    case ftSmallint: f.type = PxShort; f.size = 2; break;
    case ftInteger: case ftWord: f.type = PxLong; f.size = 4; break;
    case ftAutoInc: f.type = PxAutoInc; f.size = 4; break;
    case ftLargeint: case ftFloat: f.type = PxNumber; f.size = 8; break;
    case ftCurrency: f.type = PxCurrency; f.size = 8; break;
    case ftBCD: case ftFMTBcd:
        f.type = PxBcd;
        f.size = BcdSize;
        f.decimals = std::clamp(d.scale, 0, 32);
        break;
    case ftDate: f.type = PxDate; f.size = 4; break;
    case ftTime: f.type = PxTime; f.size = 4; break;
    case ftDateTime: case ftTimeStamp: f.type = PxTimestamp; f.size = 8; break;
    case ftBoolean: f.type = PxLogical; f.size = 1; break;
    case ftMemo: case ftOraClob: blob(PxMemo); break;
    case ftFmtMemo: blob(PxFmtMemo); break;
    case ftGraphic: blob(PxGraphic); break;
    case ftParadoxOle: case ftDBaseOle: blob(PxOle); break;
    case ftBlob: case ftTypedBinary: case ftOraBlob: case ftVarBytes: blob(PxBlob); break;
    case ftBytes:
        if (d.size >= 1 && d.size <= 255) {
            f.type = PxBytes;
            f.size = d.size;
        } else {
            blob(PxBlob);
        }
        break;
    default:
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Feld %1: der Typ %2 lässt sich in einer Paradox-Tabelle nicht speichern.")
                              .arg(d.name, fieldTypeName(d.dataType)));
    }
    return f;
}

QByteArray buildHeader(const std::vector<PxField> &fields, const QString &fileName, int recordSize, int blockSize,
                       quint32 records, quint16 blocks, quint32 autoInc, const TextCodec &codec)
{
    const int n = int(fields.size());
    QByteArray names;
    for (const PxField &f : fields) {
        QByteArray bytes;
        codec.encode(f.name, bytes, nullptr);
        names += bytes;
        names += '\0';
    }
    QByteArray tableName = fileName.toLatin1().left(TableNameLength - 1);
    tableName.append(QByteArray(TableNameLength - tableName.size(), '\0'));
    QByteArray tail;
    tail += tableName;
    tail += names;
    for (int i = 1; i <= n; ++i) {
        char no[2];
        putLe16(no, quint16(i));
        tail.append(no, 2);
    }
    tail += QByteArrayLiteral("ascii");
    tail += '\0';
    const int used = off::FieldInfoV4 + 2 * n + 4 + 4 * n + int(tail.size());
    const int headerSize = (used + 0x7FF) / 0x800 * 0x800;

    QByteArray h(headerSize, '\0');
    char *p = h.data();
    putLe16(p + off::RecordSize, quint16(recordSize));
    putLe16(p + off::HeaderSize, quint16(headerSize));
    p[off::FileType] = char(PxPlainTable);
    p[off::BlockSizeK] = char(blockSize / 1024);
    putLe32(p + off::NumRecords, records);
    putLe16(p + off::UsedBlocks, blocks);
    putLe16(p + off::FileBlocks, blocks);
    putLe16(p + off::FirstBlock, blocks ? 1 : 0);
    putLe16(p + off::LastBlock, blocks);
    putLe16(p + off::NumFields, quint16(n));
    putLe32(p + off::Encryption1, 0xFF00FF00u);
    p[off::VersionId] = char(VersionId5);
    putLe16(p + off::MaxBlocks, blocks);
    p[0x3E] = 0x1F;
    p[0x3F] = 0x0F;
    putLe32(p + off::AutoInc, autoInc);
    putLe16(p + 0x51, quint16(used));
    p[0x56] = 0x20;
    p[0x58] = char(VersionId5);
    p[0x59] = 0x01;
    p[0x5A] = char(VersionId5);
    p[0x5B] = 0x01;
    putLe16(p + 0x64, quint16(n + 1));
    putLe16(p + off::CodePage, NewCodePage);
    p[0x6C] = 0x01;
    p[0x6D] = 0x01;
    p[0x70] = 0x01;
    int pos = off::FieldInfoV4;
    for (const PxField &f : fields) {
        p[pos++] = char(f.type);
        p[pos++] = char(f.type == PxBcd ? f.decimals : f.size);
    }
    pos += 4 + 4 * n; // pointers Paradox keeps in memory
    memcpy(p + pos, tail.constData(), size_t(tail.size()));
    return h;
}

class FdFile {
public:
    // path: the part file written; shown: the user's file its failures name.
    FdFile(const QString &path, const QString &shown) : m_path(path), m_shown(shown)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (m_fd < 0)
            throw io::ioError(QStringLiteral("Das Anlegen von"), shown, errno);
    }
    ~FdFile() { close(); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void append(const char *data, qint64 size)
    {
        m_buffer.append(data, qsizetype(size));
        if (m_buffer.size() >= FlushBytes)
            flush();
    }
    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        io::pwriteFully(m_fd, m_buffer.constData(), m_buffer.size(), m_written, m_shown);
        m_written += m_buffer.size();
        m_buffer.clear();
    }
    qint64 size() const { return m_written + m_buffer.size(); }
    void writeAt(qint64 offset, const char *data, qint64 size)
    {
        flush();
        io::pwriteFully(m_fd, data, size, offset, m_shown);
    }
    void sync() { io::syncData(m_fd, m_shown); }
    const QString &path() const { return m_path; }

private:
    int m_fd = -1;
    QString m_path;
    QString m_shown;
    QByteArray m_buffer;
    qint64 m_written = 0;
};

class PxWriter final : public TableWriter, public KnownRowCount {
public:
    PxWriter(const QString &dataSource, const QString &tableName, const QVector<FieldDef> &fields)
    {
        checkNewTable(dataSource, tableName, fields, MaxFields, QStringLiteral("Paradox"));
        const QDir dir(dataSource);
        m_codec.setCodePage({NewCodePage, QByteArrayLiteral("windows-1252")});
        m_fileName = tableName.endsWith(QLatin1String(".db"), Qt::CaseInsensitive) ? tableName : tableName + QStringLiteral(".DB");
        m_base = m_fileName.chopped(3);
        m_dir = dataSource;
        const bool upper = m_fileName.at(m_fileName.size() - 1).isUpper();
        m_target = dir.filePath(m_fileName);
        m_blobTarget = dir.filePath(m_base + (upper ? QStringLiteral(".MB") : QStringLiteral(".mb")));

        QSet<QString> seen;
        int offset = 0;
        for (const FieldDef &d : fields) {
            if (d.name.trimmed().isEmpty())
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Ein Feld der Tabelle %1 hat keinen Namen.").arg(tableName));
            if (d.name.size() > MaxNameLength)
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Feld %1: ein Paradox-Feldname hat höchstens %2 Zeichen.").arg(d.name).arg(MaxNameLength));
            QByteArray encoded;
            if (!m_codec.encode(d.name, encoded, nullptr) || std::any_of(d.name.begin(), d.name.end(), badNameChar))
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Feld %1: der Feldname enthält Zeichen, die Paradox nicht speichern kann.").arg(d.name));
            if (seen.contains(d.name.toUpper()))
                throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Feld %1: der Feldname kommt mehrfach vor.").arg(d.name));
            seen.insert(d.name.toUpper());
            PxField f = storedFieldFor(d);
            f.offset = offset;
            offset += f.size;
            m_hasBlobs = m_hasBlobs || f.isBlob();
            m_fields.push_back(f);
        }
        m_recordSize = offset;
        const int largest = std::end(BlockSizes)[-1];
        if (m_recordSize > largest - BlockHeaderSize)
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Die Sätze der Tabelle %1 wären %2 Bytes lang; Paradox erlaubt höchstens %3.")
                                  .arg(tableName)
                                  .arg(m_recordSize)
                                  .arg(largest - BlockHeaderSize));
        // The smallest block that holds several records keeps the table compact.
        int size = largest;
        for (int candidate : BlockSizes) {
            if (recordsPerBlock(candidate, m_recordSize) >= 4) {
                size = candidate;
                break;
            }
        }
        useBlockSize(size);

        // The table and its blob file are written under part names and renamed
        // in together at commit.
        m_journal.emplace(m_target);
        if (m_hasBlobs) {
            m_mb = std::make_unique<FdFile>(m_journal->newPartPath(QStringLiteral(".mb")), m_blobTarget);
            m_journal->replace(m_mb->path(), m_blobTarget); // first: a table never points into a missing blob file
        }
        m_db = std::make_unique<FdFile>(m_journal->newPartPath(), m_target);
        m_journal->replace(m_db->path(), m_target);
        // Room for the header, written when the counts are known.
        const QByteArray header = buildHeader(m_fields, m_fileName, m_recordSize, m_blockSize, 0, 0, 0, m_codec);
        m_headerSize = int(header.size());
        m_db->append(header.constData(), header.size());
        m_storeBlob = [this](const QByteArray &data, quint16 mod) {
            const qint64 at = m_mb->size();
            if (at + data.size() > qint64(0xFFFFFF00u))
                throw EngineError(QStringLiteral("Die Blobdatei zur Tabelle %1 würde größer als 4 GB.").arg(m_fileName));
            const QByteArray block = BlobFile::singleBlock(data, mod);
            m_mb->append(block.constData(), block.size());
            return quint32(at) | 0xFFu;
        };
        if (m_hasBlobs) {
            const QByteArray head = BlobFile::newFileHeader();
            m_mb->append(head.constData(), head.size());
        }
    }

    ~PxWriter() override
    {
        // Closed before the journal removes the parts of an uncommitted table.
        m_db.reset();
        m_mb.reset();
    }

    // A known count picks the smallest block size whose 65,535 blocks hold it,
    // so that a large table is refused now, not after all its rows were written.
    void expectRows(qint64 rows) override
    {
        if (m_records > 0 || m_blocks > 0 || rows <= 0)
            return;
        const auto fits = [&](int blockSize) {
            const qint64 perBlock = recordsPerBlock(blockSize, m_recordSize);
            return perBlock > 0 && (rows + perBlock - 1) / perBlock <= MaxBlocks;
        };
        if (fits(m_blockSize))
            return;
        for (int candidate : BlockSizes) {
            if (candidate > m_blockSize && fits(candidate)) {
                useBlockSize(candidate);
                return;
            }
        }
        const int largest = std::end(BlockSizes)[-1];
        throw EngineError(ErrorKind::RefusedValue,
                          QStringLiteral("Die Tabelle %1 hätte %2 Sätze; eine Paradox-Tabelle mit Sätzen von %3 Bytes fasst "
                                         "höchstens %4.")
                              .arg(m_fileName)
                              .arg(rows)
                              .arg(m_recordSize)
                              .arg(qint64(MaxBlocks) * recordsPerBlock(largest, m_recordSize)));
    }

    void writeRow(const QVector<QVariant> &values) override
    {
        if (m_committed)
            throw EngineError(QStringLiteral("Die Tabelle %1 ist schon abgeschlossen.").arg(m_fileName));
        if (values.size() != int(m_fields.size()))
            throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Für die Tabelle %1 wurden %2 statt %3 Werte übergeben.")
                                  .arg(m_fileName)
                                  .arg(values.size())
                                  .arg(m_fields.size()));
        if (m_records >= 0x7FFFFFFF)
            throw EngineError(QStringLiteral("Die Tabelle %1 ist voll.").arg(m_fileName));
        char *rec = m_block.data() + BlockHeaderSize + m_inBlock * m_recordSize;
        memset(rec, 0, size_t(m_recordSize));
        for (size_t i = 0; i < m_fields.size(); ++i) {
            const PxField &f = m_fields[i];
            // The value is read where it is: a copy would count references to a text
            // that the reading thread made, from this thread.
            const QVariant &given = values.at(qsizetype(i));
            QVariant replaced;
            const QVariant *value = &given;
            if (given.isValid() && !given.isNull() && given.typeId() == QMetaType::QString && f.type != PxAlpha
                && f.type != PxMemo && f.type != PxFmtMemo
                && QStringView(*static_cast<const QString *>(given.constData())).trimmed().isEmpty())
                value = &replaced;
            if (!value->isValid() || value->isNull()) {
                if (f.type != PxAutoInc)
                    continue;
                replaced = qint64(m_autoInc) + 1;
                value = &replaced;
            }
            const QVariant &v = *value;
            if (f.type == PxAlpha || f.isBlob())
                encodeValue(f, m_codec, v, rec + f.offset, 1, m_storeBlob);
            else
                encodeFixed(f, v, rec + f.offset);
            if (f.type == PxAutoInc && v.toLongLong() > qint64(m_autoInc))
                m_autoInc = quint32(v.toLongLong());
        }
        ++m_records;
        if (++m_inBlock == m_perBlock)
            flushBlock(true);
    }

    void commit() override
    {
        if (m_committed)
            return;
        if (m_inBlock > 0)
            flushBlock(false);
        else if (m_blocks > 0) {
            // The last full block was written expecting a successor.
            char zero[2] = {0, 0};
            m_db->writeAt(m_headerSize + qint64(m_blocks - 1) * m_blockSize, zero, 2);
        }
        const QByteArray header = buildHeader(m_fields, m_fileName, m_recordSize, m_blockSize, m_records,
                                              quint16(m_blocks), m_autoInc, m_codec);
        m_db->writeAt(0, header.constData(), header.size());
        m_db->sync();
        m_db->close();
        if (m_mb) {
            m_mb->flush();
            m_mb->sync();
            m_mb->close();
        }
        removeStaleCompanions();
        m_journal->commit();
        m_committed = true;
    }

private:
    void useBlockSize(int size)
    {
        m_blockSize = size;
        m_perBlock = recordsPerBlock(size, m_recordSize);
        m_block = QByteArray(m_blockSize, '\0');
    }

    void flushBlock(bool more)
    {
        if (m_blocks >= MaxBlocks)
            throw EngineError(QStringLiteral("Die Tabelle %1 wird zu groß für eine Paradox-Tabelle.").arg(m_fileName));
        ++m_blocks;
        putLe16(m_block.data(), more ? quint16(m_blocks + 1) : 0);
        putLe16(m_block.data() + 2, quint16(m_blocks - 1));
        putLe16(m_block.data() + 4, quint16((m_inBlock - 1) * m_recordSize));
        m_db->append(m_block.constData(), m_block.size());
        memset(m_block.data(), 0, size_t(m_block.size()));
        m_inBlock = 0;
    }

    // Index, validity and blob files of a table this one replaced belong to the old table.
    void removeStaleCompanions()
    {
        const QDir dir(m_dir);
        const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden);
        for (const QString &entry : entries) {
            if (!entry.startsWith(m_base + QLatin1Char('.'), Qt::CaseInsensitive) || entry == m_fileName)
                continue;
            const QString ext = entry.mid(m_base.size() + 1).toUpper();
            static const QRegularExpression indexExt(QStringLiteral("^(PX|VAL|TV|[XY](G[0-9A-F]|[0-9A-F]{2}))$"));
            const bool index = indexExt.match(ext).hasMatch();
            const bool oldBlob = ext == QLatin1String("MB") && (!m_hasBlobs || dir.filePath(entry) != m_blobTarget);
            if (index || oldBlob)
                m_journal->remove(dir.filePath(entry));
        }
    }

    TextCodec m_codec;
    QString m_dir;
    QString m_fileName;
    QString m_base;
    QString m_target;
    QString m_blobTarget;
    std::vector<PxField> m_fields;
    bool m_hasBlobs = false;
    int m_recordSize = 0;
    int m_blockSize = 0;
    int m_perBlock = 0;
    int m_headerSize = 0;
    QByteArray m_block;
    int m_inBlock = 0;
    int m_blocks = 0;
    quint32 m_records = 0;
    quint32 m_autoInc = 0;
    std::unique_ptr<FdFile> m_db;
    std::unique_ptr<FdFile> m_mb;
    std::function<quint32(const QByteArray &, quint16)> m_storeBlob;
    bool m_committed = false;
    std::optional<io::Journal> m_journal; // last: destroyed first, after the files are closed
};

} // namespace

QVector<FieldDef> paradoxFieldsFor(const QVector<FieldDef> &source, const QVector<ColumnMeasure> &measures,
                                   QStringList &changes)
{
    QVector<FieldDef> out;
    text::UniqueNames taken(MaxNameLength);
    for (int i = 0; i < source.size(); ++i) {
        const FieldDef &s = source.at(i);
        const ColumnMeasure m = i < measures.size() ? measures.at(i) : ColumnMeasure{};
        FieldDef t = s;
        t.fieldNo = i + 1;
        // A name Paradox accepts: no brackets or braces, at most 25 characters, unique.
        QString wanted = s.name.trimmed();
        for (QChar &c : wanted) {
            if (badNameChar(c))
                c = QLatin1Char('_');
        }
        wanted.replace(QLatin1String("->"), QLatin1String("_"));
        if (wanted.isEmpty())
            wanted = QStringLiteral("Feld%1").arg(i + 1);
        t.name = taken.take(wanted);
        if (t.name != s.name)
            changes << QStringLiteral("Das Feld „%1“ heißt in der Paradox-Tabelle „%2“ (Paradox erlaubt höchstens %3 "
                                      "Zeichen ohne Klammern, jeden Namen nur einmal).")
                           .arg(s.name, t.name)
                           .arg(MaxNameLength);
        switch (s.dataType) {
        case ftString: case ftFixedChar: case ftWideString: {
            const int length = std::max(s.size, m.textLength);
            if (length > 255) {
                t.dataType = ftMemo;
                t.size = NewLeader + BlobDescriptorSize;
                changes << QStringLiteral("Das Feld „%1“ fasst mehr als 255 Zeichen und wird als Memofeld gespeichert.").arg(t.name);
            } else {
                t.dataType = ftString;
                t.size = std::max(1, length);
            }
            break;
        }
        case ftGuid: t.dataType = ftString; t.size = 38; break;
        case ftWord:
            t.dataType = ftInteger;
            break;
        case ftLargeint:
            // Measured values of at most 9 characters (sign included) fit a long integer.
            if (m.integerDigits > 0 && m.integerDigits <= 9) {
                t.dataType = ftInteger;
                break;
            }
            t.dataType = ftFloat;
            changes << QStringLiteral("Das Feld „%1“ (große Ganzzahl) wird als Zahl gespeichert; Werte mit mehr als 15 "
                                      "Stellen verlieren dabei Genauigkeit.")
                           .arg(t.name);
            break;
        case ftSmallint: case ftInteger: case ftAutoInc: case ftFloat: case ftCurrency: case ftDate: case ftTime:
        case ftDateTime: case ftTimeStamp: case ftBoolean: case ftMemo: case ftFmtMemo: case ftGraphic:
        case ftParadoxOle: case ftBlob:
            break;
        case ftBCD: case ftFMTBcd:
            t.dataType = ftBCD;
            t.scale = std::clamp(s.scale, 0, 32);
            t.precision = 32;
            break;
        case ftBytes:
            if (s.size < 1 || s.size > 255) {
                t.dataType = ftBlob;
                changes << QStringLiteral("Das Feld „%1“ wird als Blob gespeichert, weil ein Bytefeld höchstens 255 "
                                          "Bytes fasst.")
                               .arg(t.name);
            }
            break;
        case ftVarBytes: case ftTypedBinary: case ftOraBlob: t.dataType = ftBlob; break;
        case ftDBaseOle: t.dataType = ftParadoxOle; break;
        case ftOraClob: t.dataType = ftMemo; break;
        default:
            t.dataType = ftMemo;
            changes << QStringLiteral("Das Feld „%1“ vom Typ %2 wird als Text in einem Memofeld gespeichert.")
                           .arg(t.name, fieldTypeName(s.dataType));
            break;
        }
        if (isBlobType(t.dataType) && (t.size <= BlobDescriptorSize || t.size > 240 + BlobDescriptorSize))
            t.size = NewLeader + BlobDescriptorSize;
        const PxField f = storedFieldFor(t);
        const FieldDef described = fieldDefFor(f, i + 1);
        t.size = described.size;
        t.nativeType = described.nativeType;
        out.append(t);
    }
    if (out.size() > MaxFields)
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Eine Paradox-Tabelle fasst höchstens %1 Felder, die Quelle hat %2.")
                              .arg(MaxFields)
                              .arg(out.size()));
    return out;
}

std::unique_ptr<TableWriter> createParadoxWriter(const QString &dataSource, const QString &tableName,
                                                 const QVector<FieldDef> &fields)
{
    return std::make_unique<PxWriter>(dataSource, tableName, fields);
}

} // namespace engine::paradox
