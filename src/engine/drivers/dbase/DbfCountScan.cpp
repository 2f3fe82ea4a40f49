// The record count of a dBASE table made on a second handle: the deleted
// flags of every record, read on another thread while the table is read on
// its own; the table takes the result over when no deletion flag it read can
// have changed meanwhile (records appended by the table itself are counted on).
#include "DbfTable.h"

#include "common/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace engine::dbase {

namespace {

constexpr qint64 ScanBytes = 1024 * 1024;

class DbfCountScan final : public CountScan {
public:
    DbfCountScan(int fd, qint64 headerLength, qint64 recordLength, qint64 records, quint64 epoch)
        : m_fd(fd), m_headerLength(headerLength), m_recordLength(recordLength), m_records(records), m_epoch(epoch)
    {
    }
    ~DbfCountScan() override { ::close(m_fd); }

    void run(const std::atomic<bool> &stop) override
    {
        const qint64 chunks = (m_records + DbfTable::RecordsPerChunk - 1) / DbfTable::RecordsPerChunk;
        m_deleted.assign(size_t(chunks), {});
        const qint64 per = std::max<qint64>(1, ScanBytes / m_recordLength);
        std::unique_ptr<char[]> buffer(new char[size_t(per * m_recordLength)]);
        for (qint64 done = 0; done < m_records;) {
            if (stop.load(std::memory_order_relaxed))
                return;
            // Never across a chunk's end, so offsets fit the chunk.
            const qint64 inChunk = DbfTable::RecordsPerChunk - done % DbfTable::RecordsPerChunk;
            const qint64 k = std::min({per, m_records - done, inChunk});
            const qint64 bytes = k * m_recordLength;
            qint64 got = 0;
            while (got < bytes) {
                const ssize_t n = ::pread(m_fd, buffer.get() + got, size_t(bytes - got),
                                          off_t(m_headerLength + done * m_recordLength + got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return; // a short file: the table's own reading reports it
                got += n;
            }
            std::vector<quint16> &deleted = m_deleted[size_t(done / DbfTable::RecordsPerChunk)];
            const qint64 offset = done % DbfTable::RecordsPerChunk;
            for (qint64 j = 0; j < k; ++j) {
                if (buffer[size_t(j * m_recordLength)] == '*')
                    deleted.push_back(quint16(offset + j));
            }
            done += k;
            if (done % DbfTable::RecordsPerChunk == 0)
                m_chunksDone.store(size_t(done / DbfTable::RecordsPerChunk), std::memory_order_release);
        }
        m_chunksDone.store(m_deleted.size(), std::memory_order_release);
        m_complete = true;
    }

    qint64 records() const { return m_records; }
    quint64 epoch() const { return m_epoch; }
    bool complete() const { return m_complete; }
    // The leading chunks read to their end.
    size_t chunksDone() const { return m_chunksDone.load(std::memory_order_acquire); }
    std::vector<std::vector<quint16>> &deleted() { return m_deleted; }

private:
    int m_fd;
    qint64 m_headerLength;
    qint64 m_recordLength;
    qint64 m_records;
    quint64 m_epoch;
    bool m_complete = false;
    std::atomic<size_t> m_chunksDone{0};
    std::vector<std::vector<quint16>> m_deleted; // per chunk, ascending offsets
};

} // namespace

bool DbfTable::rowCountKnown() const
{
    return std::all_of(m_chunks.begin(), m_chunks.end(), [](const Chunk &c) { return c.scanned; });
}

qint64 DbfTable::rowsUpTo(qint64 limit)
{
    qint64 total = 0;
    for (size_t i = 0; i < m_chunks.size() && total < limit; ++i) {
        if (!m_chunks[i].scanned)
            scanChunk(i);
        total += m_chunks[i].live;
    }
    return std::min(total, limit);
}

qint64 DbfTable::rowsPlacedWithoutReading() const
{
    qint64 total = 0;
    for (const Chunk &chunk : m_chunks) {
        if (!chunk.scanned)
            break;
        total += chunk.live;
    }
    return total;
}

std::unique_ptr<CountScan> DbfTable::countScan()
{
    // The first chunk is read for the first screen anyway; a table no larger
    // is counted by it and needs no second reader.
    if (!m_chunks.empty() && !m_chunks.front().scanned)
        scanChunk(0);
    if (rowCountKnown() || m_file.header().recordLength == 0)
        return nullptr;
    // A handle of its own: the scan reads the same file, whatever this one does meanwhile.
    const int fd = ::fcntl(m_file.fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    return std::make_unique<DbfCountScan>(fd, m_file.header().headerLength, m_file.header().recordLength, m_file.header().recordCount, m_countEpoch);
}

bool DbfTable::adoptCount(CountScan &scan)
{
    auto *s = dynamic_cast<DbfCountScan *>(&scan);
    // Records appended since the scan began lie behind the ones it read, and
    // are not deleted: a chunk it read in part counts them as live.
    if (!s || s->epoch() != m_countEpoch || s->records() > m_file.header().recordCount
        || s->deleted().size() > m_chunks.size())
        return false;
    // A stopped scan still hands over the chunks it finished.
    const size_t done = std::min(s->chunksDone(), s->deleted().size());
    for (size_t i = 0; i < done; ++i) {
        Chunk &chunk = m_chunks[i];
        if (chunk.scanned)
            continue;
        chunk.deleted = std::move(s->deleted()[i]);
        chunk.deleted.shrink_to_fit();
        chunk.live = quint32(chunkRecords(i) - qint64(chunk.deleted.size()));
        chunk.scanned = true;
    }
    return s->complete();
}

} // namespace engine::dbase
