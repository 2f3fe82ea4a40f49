#pragma once
// Memo files beside a dBASE table: .dbt in the dBASE III layout (512-byte blocks,
// text ended by 0x1A), .dbt in the dBASE IV layout (block size at offset 20, each
// memo led by FF FF 08 00 and its length) and FoxPro .fpt (big-endian header,
// each memo led by its type and length). Memos are read on demand by block
// number; new memos are appended at the next free block.
#include <QByteArray>
#include <QString>
#include <memory>

namespace engine::dbase {

enum class MemoLayout { Dbt3, Dbt4, Fpt };

// FoxPro memo block types.
enum FptType : quint32 { FptPicture = 0, FptText = 1, FptObject = 2 };

class MemoFile {
public:
    ~MemoFile();
    MemoFile(const MemoFile &) = delete;
    MemoFile &operator=(const MemoFile &) = delete;

    // Opens an existing memo file; throws when it cannot be opened or its header is damaged.
    static std::unique_ptr<MemoFile> open(const QString &path, MemoLayout layout, bool writable);
    // The header of a new, empty dBASE IV memo file (the only kind this program creates).
    static QByteArray emptyFile(const QByteArray &tableBaseName);

    QString path() const { return m_path; }
    MemoLayout layout() const { return m_layout; }
    quint32 blockSize() const { return m_blockSize; }
    bool writable() const { return m_writable; }

    // The memo at a block; where names the field and record for error messages.
    // fptType receives the FoxPro block type (FptText for dBASE files).
    QByteArray read(quint32 block, const QString &where, quint32 *fptType = nullptr) const;
    // Appends a memo at the next free block and advances the header; returns the
    // block number. The caller holds the table's lock.
    quint32 append(const QByteArray &data, quint32 fptType);

    // For a new memo file nobody else sees yet (export): memos are collected and
    // written in large pieces; endBulk() writes the rest, the header and syncs.
    void beginBulk();
    void endBulk();

private:
    MemoFile() = default;
    quint32 nextFreeBlock() const;
    QByteArray payloadFor(const QByteArray &data, quint32 fptType) const;
    void flushBulk();
    void writeNextFreeBlock(qint64 block);

    int m_fd = -1;
    QString m_path;
    MemoLayout m_layout = MemoLayout::Dbt3;
    quint32 m_blockSize = 512;
    quint32 m_headerBlocks = 1;
    bool m_writable = false;
    bool m_bulk = false;
    qint64 m_bulkNext = 0;     // the block the next collected memo goes to
    qint64 m_bulkWritten = 0;  // the first block not yet written
    QByteArray m_bulkData;
};

} // namespace engine::dbase
