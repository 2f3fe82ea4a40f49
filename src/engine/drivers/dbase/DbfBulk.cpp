#include "common/FileIo.h"
#include "common/SharedAccess.h"
#include "DbfTable.h"
#include "EngineError.h"

namespace engine::dbase {

using namespace engine::io;

void DbfTable::appendBulk(const QVector<QVariant> &values)
{
    ensureWritable();
    checkValueCount(values.size());
    if (m_memo && m_memo->writable())
        m_memo->beginBulk(); // the first call begins, later ones find it begun
    if (m_head.recordCount + m_bulkRecords >= qint64(0xFFFFFFFFu))
        throw EngineError(QStringLiteral("Die Tabelle %1 ist voll.").arg(nativePath(m_path)));
    QByteArray rec(m_head.recordLength, ' ');
    if (m_head.nullFlagsOffset >= 0)
        memset(rec.data() + m_head.nullFlagsOffset, 0, size_t(m_head.nullFlagsWidth));
    std::vector<PendingMemo> memos;
    for (int i = 0; i < int(m_head.fields.size()); ++i)
        encode(rec, i, values[i], memos);
    writeMemos(rec, memos);
    m_bulk += rec;
    ++m_bulkRecords;
    if (m_bulk.size() >= (1 << 20))
        flushBulk();
}

void DbfTable::flushBulk()
{
    if (m_bulkRecords == 0)
        return;
    pwriteFully(m_fd, m_bulk.constData(), m_bulk.size(), m_head.headerLength + m_head.recordCount * m_head.recordLength, m_path);
    m_head.recordCount += m_bulkRecords;
    m_bulk.clear();
    m_bulkRecords = 0;
}

void DbfTable::finishBulk()
{
    flushBulk();
    if (m_memo)
        m_memo->endBulk(); // the memos before the records that point at them
    const char end = '\x1A';
    pwriteFully(m_fd, &end, 1, m_head.headerLength + m_head.recordCount * m_head.recordLength, m_path);
    syncData(m_fd, m_path);
    quint32 count = quint32(m_head.recordCount);
    writeHeaderDate(&count);
    m_head.headerCount = count;
    m_head.recordsInFile = m_head.recordCount;
    resetChunks(0);
    invalidateCache();
}

} // namespace engine::dbase
