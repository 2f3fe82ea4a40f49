#include "DbfFile.h"

#include "common/Bytes.h"
#include "common/FileIo.h"
#include "common/Journal.h"
#include "common/MappedCopy.h"
#include "DbfValues.h"
#include "EngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine::dbase {

using namespace engine::io;

namespace {

constexpr qint64 CacheBlockBytes = 256 * 1024;

// The companion file base + ext in the table's folder (see io::companionEntry).
QString findCompanion(const QStringList &entries, const QString &dir, const QString &base, const QString &ext)
{
    const QString entry = companionEntry(entries, base, ext);
    return entry.isEmpty() ? QString() : QDir(dir).filePath(entry);
}

// The extension written in the case the table file's own extension uses.
QString extensionLike(const QString &tableFile, const char *lower)
{
    const qsizetype dot = tableFile.lastIndexOf(QLatin1Char('.'));
    const QString ext = QString::fromLatin1(lower);
    if (dot >= 0 && tableFile.size() > dot + 1 && tableFile.at(dot + 1).isUpper())
        return ext.toUpper();
    return ext;
}

bool isFoxProFamily(quint8 version)
{
    return version == 0x30 || version == 0x31 || version == 0x32 || version == 0xF5 || version == 0xFB;
}

} // namespace

DbfFile::~DbfFile()
{
    unmapRecords();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool DbfFile::open(const QString &path, bool readOnly, const QStringList &entries)
{
    m_path = path;
    const QString fileName = QFileInfo(path).fileName();
    m_tableName = fileName.endsWith(QLatin1String(".dbf"), Qt::CaseInsensitive) ? fileName.chopped(4) : fileName;

    bool writable = false;
    m_fd = openTableFile(path, readOnly, writable);
    // A change a dead writer left half done is finished or undone before anything is read.
    if (writable)
        Journal::recover(path);

    m_head = DbfHeader::read(m_fd, path);
    chooseCodePage(entries);
    openMemo(entries);
    m_blockRecords = std::max<qint64>(1, CacheBlockBytes / m_head.recordLength);
    return writable;
}

QString DbfFile::versionName(quint8 version)
{
    switch (version) {
    case 0x02: return QStringLiteral("FoxBASE");
    case 0x03: return QStringLiteral("dBASE III/IV/5 ohne Memo");
    case 0x43: return QStringLiteral("dBASE IV SQL-Tabelle");
    case 0x63: return QStringLiteral("dBASE IV SQL-Systemtabelle");
    case 0x7B: return QStringLiteral("dBASE IV mit Memo");
    case 0x83: return QStringLiteral("dBASE III mit Memo");
    case 0x8B: return QStringLiteral("dBASE IV mit Memo");
    case 0xCB: return QStringLiteral("dBASE IV SQL-Tabelle mit Memo");
    case 0xF5: return QStringLiteral("FoxPro 2.x mit Memo");
    case 0xFB: return QStringLiteral("FoxBASE mit Memo");
    case 0x30: return QStringLiteral("Visual FoxPro");
    case 0x31: return QStringLiteral("Visual FoxPro mit Autoinkrement");
    case 0x32: return QStringLiteral("Visual FoxPro mit Varchar/Varbinary");
    default: return QStringLiteral("dBASE-kompatibel");
    }
}

void DbfFile::chooseCodePage(const QStringList &entries)
{
    const QFileInfo info(m_path);
    const QString base = baseNameOf(info.fileName());
    const QString cpg = findCompanion(entries, info.absolutePath(), base, QStringLiteral(".cpg"));
    if (!cpg.isEmpty()) {
        QFile file(cpg);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray text = file.read(256);
            if (const auto cp = codePageFromCpgText(text)) {
                m_codec.setCodePage(*cp);
                m_codePageOrigin = QStringLiteral(".cpg");
                return;
            }
            m_codePageNote = QStringLiteral("Inhalt der .cpg-Datei unbekannt: %1")
                                 .arg(QString::fromLatin1(text.trimmed().left(40)));
        }
    }
    if (const auto cp = codePageForLanguageDriver(m_head.languageDriver)) {
        m_codec.setCodePage(*cp);
        m_codePageOrigin = QStringLiteral("Sprachtreiber-Byte 0x%1").arg(hexByte(m_head.languageDriver));
        return;
    }
    // No mark: DOS programs wrote their OEM code page, Visual FoxPro the Windows one.
    m_codec.setCodePage(*codePageForNumber(isVisualFoxPro(m_head.version) ? 1252 : 437));
    m_codePageOrigin = QStringLiteral("Vorgabe");
    if (m_head.languageDriver != 0)
        m_codePageOrigin += QStringLiteral(" (Sprachtreiber-Byte 0x%1 unbekannt)")
                                .arg(hexByte(m_head.languageDriver));
}

void DbfFile::openMemo(const QStringList &entries)
{
    for (const DbfField &f : m_head.fields) {
        if (f.kind == DbfField::MemoText || f.kind == DbfField::MemoBinary)
            m_hasMemoFields = true;
    }
    if (!m_hasMemoFields)
        return;
    const QFileInfo info(m_path);
    const QString base = baseNameOf(info.fileName());
    const bool fox = isFoxProFamily(m_head.version);
    QString first = fox ? QStringLiteral(".fpt") : QStringLiteral(".dbt");
    QString second = fox ? QStringLiteral(".dbt") : QStringLiteral(".fpt");
    const QString suffix = info.suffix().toLower();
    // Visual FoxPro's own tables keep their memos in .dct (.dbc) and .sct, .vct, ... (.scx, .vcx, ...).
    if (fox && suffix == QLatin1String("dbc"))
        first = QStringLiteral(".dct");
    else if (fox && suffix.size() == 3 && suffix.endsWith(QLatin1Char('x')))
        first = QLatin1Char('.') + suffix.left(2) + QLatin1Char('t');
    QString path = findCompanion(entries, info.absolutePath(), base, first);
    if (path.isEmpty())
        path = findCompanion(entries, info.absolutePath(), base, second);
    if (path.isEmpty()) {
        m_memoMissing = true;
        m_memoName = base + extensionLike(info.fileName(), first.toLatin1().constData());
        return;
    }
    m_memoName = QFileInfo(path).fileName();
    MemoLayout layout = MemoLayout::Fpt;
    if (path.endsWith(QLatin1String(".dbt"), Qt::CaseInsensitive))
        layout = (m_head.version == 0x83 || m_head.version == 0x03 || m_head.version == 0x02) ? MemoLayout::Dbt3 : MemoLayout::Dbt4;
    int flags = fcntl(m_fd, F_GETFL);
    const bool writable = flags >= 0 && (flags & O_ACCMODE) == O_RDWR;
    try {
        m_memo = MemoFile::open(path, layout, writable);
    } catch (const EngineError &e) {
        // The records are still worth showing; the memos report the fault when read.
        m_memoFault = e.message();
    }
}

// ---- reading ------------------------------------------------------------------

void DbfFile::checkRow(qint64 row) const
{
    if (row < 0 || row >= m_head.recordCount)
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Den Satz %1 gibt es in der Tabelle %2 nicht.").arg(row + 1).arg(m_tableName));
}

const char *DbfFile::record(qint64 row)
{
    checkRow(row);
    const qint64 previous = m_lastRow;
    m_lastRow = row;
    Block *victim = &m_blocks[0];
    for (Block &b : m_blocks) {
        if (b.first >= 0 && row >= b.first && row < b.first + b.count) {
            b.lastUse = ++m_useCounter;
            return b.data.get() + (row - b.first) * m_head.recordLength;
        }
        if (b.lastUse < victim->lastUse)
            victim = &b;
    }
    if (row == m_singleRow)
        return m_single.data();
    // A record far from the one read before (an index order, a jump) is copied
    // from where it lies: loading a whole block for it would copy a block per record.
    if (std::abs(row - previous) > m_blockRecords) {
        m_single.resize(size_t(m_head.recordLength));
        if (copyMappedRecord(row, m_single.data())) {
            m_singleRow = row;
            return m_single.data();
        }
    }
    const qint64 first = row / m_blockRecords * m_blockRecords;
    const qint64 count = std::min(m_blockRecords, m_head.recordCount - first);
    const qint64 bytes = count * m_head.recordLength;
    if (victim->capacity < bytes) {
        victim->data.reset(new char[size_t(bytes)]);
        victim->capacity = bytes;
    }
    victim->first = -1;
    const qint64 got = preadFully(m_fd, victim->data.get(), bytes, m_head.headerLength + first * m_head.recordLength, m_path);
    if (got < bytes)
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1").arg(first + got / m_head.recordLength + 1));
    victim->first = first;
    victim->count = count;
    victim->lastUse = ++m_useCounter;
    return victim->data.get() + (row - first) * m_head.recordLength;
}

bool DbfFile::copyMappedRecord(qint64 row, char *to)
{
    const qint64 end = m_head.headerLength + (row + 1) * qint64(m_head.recordLength);
    if (end > m_mapBytes && !mapRecords(end))
        return false;
    // Another program may shorten the file at any time. A page past its new end
    // fails the guarded copy; the rest of a cut last page reads as zero bytes,
    // which no record starts with. Either way the size says what happened.
    const bool copied = io::copyFromMap(to, m_map + m_head.headerLength + row * qint64(m_head.recordLength),
                                        size_t(m_head.recordLength));
    if (copied && (to[0] == ' ' || to[0] == '*'))
        return true;
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && st.st_size < end) {
        unmapRecords();
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1")
                                      .arg((qint64(st.st_size) - m_head.headerLength) / m_head.recordLength + 1));
    }
    // The file changed under the map (map it anew next time), or the record
    // has an unusual flag byte: the block path reads it as it always has.
    if (!copied)
        unmapRecords();
    return false;
}

bool DbfFile::gatherRecords(const qint64 *rows, size_t count, std::vector<io::ByteRange> ranges, std::vector<char> &out)
{
    if (count == 0)
        return true;
    // Pieces close together are copied as one: a call per piece costs more than a few bytes between.
    std::sort(ranges.begin(), ranges.end(), [](const io::ByteRange &a, const io::ByteRange &b) { return a.offset < b.offset; });
    std::vector<io::ByteRange> merged;
    for (const io::ByteRange &r : ranges) {
        if (!merged.empty() && r.offset <= merged.back().offset + merged.back().size + 32)
            merged.back().size = std::max(merged.back().size, r.offset + r.size - merged.back().offset);
        else
            merged.push_back(r);
    }
    const auto [low, high] = std::minmax_element(rows, rows + count);
    checkRow(*low);
    checkRow(*high);
    const qint64 end = m_head.headerLength + (*high + 1) * qint64(m_head.recordLength);
    if (end > m_mapBytes && !mapRecords(end))
        return false;
    const size_t length = m_head.recordLength;
    out.resize(count * length);
    static_assert(sizeof(qint64) == sizeof(long long));
    if (!io::gatherFromMap(out.data(), length, m_map + m_head.headerLength, length, reinterpret_cast<const long long *>(rows),
                           count, merged.data(), merged.size())) {
        unmapRecords(); // the file changed under the map: reading by blocks finds out how
        return false;
    }
    // A cut last page reads as zero bytes, which no record starts with.
    for (size_t r = 0; r < count; ++r) {
        const char flag = out[r * length];
        if (flag != ' ' && flag != '*')
            return false;
    }
    return true;
}

bool DbfFile::mapRecords(qint64 end)
{
    unmapRecords();
    if (m_mapFailed)
        return false;
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        return false;
    if (st.st_size < end)
        throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1")
                                      .arg((qint64(st.st_size) - m_head.headerLength) / m_head.recordLength + 1));
    // The records the table holds now; appends beyond them map anew.
    const qint64 bytes = std::min<qint64>(st.st_size, m_head.headerLength + m_head.recordCount * qint64(m_head.recordLength));
    if (bytes < end)
        return false;
    void *map = ::mmap(nullptr, size_t(bytes), PROT_READ, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED) {
        m_mapFailed = true; // reading by blocks still works
        return false;
    }
    m_map = static_cast<const char *>(map);
    m_mapBytes = bytes;
    return true;
}

void DbfFile::unmapRecords()
{
    if (m_map)
        ::munmap(const_cast<char *>(m_map), size_t(m_mapBytes));
    m_map = nullptr;
    m_mapBytes = 0;
}

void DbfFile::invalidateCache()
{
    ++m_changes;
    m_singleRow = -1;
    for (Block &b : m_blocks) {
        b.first = -1;
        b.count = 0;
    }
}

bool DbfFile::nullFlag(const char *rec, int bit) const
{
    if (bit < 0 || m_head.nullFlagsOffset < 0 || bit / 8 >= m_head.nullFlagsWidth)
        return false;
    return (quint8(rec[m_head.nullFlagsOffset + bit / 8]) >> (bit % 8)) & 1;
}

QString DbfFile::recordName(qint64 row) const
{
    return QStringLiteral("Satz %1").arg(row + 1);
}

quint32 DbfFile::memoBlock(const char *rec, const DbfField &f) const
{
    const char *p = rec + f.offset;
    if (f.binaryPointer)
        return le32(p);
    quint64 block = 0;
    int i = 0;
    while (i < f.width && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    bool digits = false;
    for (; i < f.width && p[i] >= '0' && p[i] <= '9'; ++i) {
        block = block * 10 + quint64(p[i] - '0');
        digits = true;
        if (block > 0xFFFFFFFFull)
            break;
    }
    while (i < f.width && (p[i] == ' ' || p[i] == '\0'))
        ++i;
    if (i < f.width || block > 0xFFFFFFFFull)
        throw damagedFile(m_path, QStringLiteral("der Memo-Verweis im Feld %1 ist keine Blocknummer").arg(f.name));
    return digits ? quint32(block) : 0;
}

QVariant DbfFile::memoValue(const char *rec, const DbfField &f, qint64 row) const
{
    const quint32 block = memoBlock(rec, f);
    if (block == 0)
        return QVariant();
    if (m_memoMissing)
        return QStringLiteral("(Memodatei %1 fehlt)").arg(m_memoName);
    if (!m_memo)
        throw EngineError(ErrorKind::Damaged, m_memoFault);
    quint32 type = FptText;
    QByteArray data = m_memo->read(block, QStringLiteral("Feld %1, %2").arg(f.name, recordName(row)), &type);
    if (f.kind == DbfField::MemoBinary)
        return data;
    // The soft line break memo editors of Clipper and dBASE insert when they wrap
    // (0x8D 0x0A) is an ordinary line break to the reader.
    if (!m_codec.isUtf8() && data.contains("\x8D\x0A"))
        data.replace("\x8D\x0A", "\r\n");
    return m_codec.decode(data.constData(), data.size());
}

QVariant DbfFile::decode(const char *rec, int field, qint64 row) const
{
    const DbfField &f = m_head.fields[size_t(field)];
    if (nullFlag(rec, f.nullBit))
        return QVariant();
    const char *p = rec + f.offset;
    switch (f.kind) {
    case DbfField::Character: {
        int n = f.width;
        while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
            --n;
        return m_codec.decode(p, n);
    }
    case DbfField::Numeric:
        return parseNumeric(p, f.width, f.integerValue);
    case DbfField::Date:
        return parseDate(p);
    case DbfField::Logical:
        return parseLogical(p[0]);
    case DbfField::Integer:
        return qint64(qint32(le32(p)));
    case DbfField::Double: {
        const quint64 bits = quint64(le64(p));
        double d;
        memcpy(&d, &bits, sizeof d);
        return d;
    }
    case DbfField::Currency:
        return double(le64(p)) / 10000.0;
    case DbfField::DateTime:
        return parseDateTime(p);
    case DbfField::MemoText:
    case DbfField::MemoBinary:
        return memoValue(rec, f, row);
    case DbfField::VarChar:
    case DbfField::VarBinary: {
        int n = f.width;
        if (nullFlag(rec, f.varBit))
            n = std::min<int>(quint8(p[f.width - 1]), f.width - 1);
        if (f.kind == DbfField::VarBinary)
            return QByteArray(p, n);
        return m_codec.decode(p, n);
    }
    }
    return QVariant();
}

std::vector<quint16> DbfFile::deletedAmong(qint64 first, qint64 n) const
{
    const qint64 per = std::min(n, m_blockRecords);
    std::unique_ptr<char[]> buffer(new char[size_t(per * m_head.recordLength)]);
    std::vector<quint16> deleted;
    for (qint64 done = 0; done < n;) {
        const qint64 k = std::min(per, n - done);
        const qint64 bytes = k * m_head.recordLength;
        const qint64 got = preadFully(m_fd, buffer.get(), bytes, m_head.headerLength + (first + done) * m_head.recordLength, m_path);
        if (got < bytes)
            throw damagedFile(m_path, QStringLiteral("die Datei endet vor dem Satz %1").arg(first + done + got / m_head.recordLength + 1));
        for (qint64 j = 0; j < k; ++j) {
            if (buffer[size_t(j * m_head.recordLength)] == '*')
                deleted.push_back(quint16(done + j));
        }
        done += k;
    }
    deleted.shrink_to_fit();
    return deleted;
}

} // namespace engine::dbase
