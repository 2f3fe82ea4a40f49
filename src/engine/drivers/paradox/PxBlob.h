#pragma once
// The .MB file beside a table: memo, formatted memo, blob, graphic and OLE data
// that does not fit in a field's leader. The file is a sequence of 4 KB chunks;
// a block holds either one value (type 2) or up to 64 small ones (type 3).
#include <QByteArray>
#include <QString>
#include <memory>

namespace engine::paradox {

constexpr int BlobChunk = 4096;

class BlobFile {
public:
    // Opens an existing blob file; throws EngineError when it cannot be opened
    // or does not start like one.
    static std::unique_ptr<BlobFile> open(const QString &path, bool writable);
    ~BlobFile();
    BlobFile(const BlobFile &) = delete;
    BlobFile &operator=(const BlobFile &) = delete;

    const QString &path() const { return m_path; }
    bool writable() const { return m_writable; }
    // The value a record's descriptor points at; throws for pointers outside the
    // file or into blocks of another kind.
    QByteArray read(quint32 offsetIndex, quint32 length, const QString &fieldName) const;
    // Writes a value into a new block at the end of the file and returns the
    // descriptor's offset/index word for it.
    quint32 append(const QByteArray &data, quint16 modification);

    // The first block of a new blob file.
    static QByteArray newFileHeader();
    // One single-value block (header, data, padding to whole chunks).
    static QByteArray singleBlock(const QByteArray &data, quint16 modification);

private:
    BlobFile() = default;
    int m_fd = -1;
    QString m_path;
    bool m_writable = false;
};

} // namespace engine::paradox
