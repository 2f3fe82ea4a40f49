#pragma once
// The layout of Paradox table files (.DB, and the .Xnn secondary index tables
// that share it): the header, the field descriptions, the data block chain and
// the stored form of each field type. Numbers are big-endian with the sign bit
// flipped so that the bytes sort like the values; all-zero bytes mean NULL.
#include "Driver.h"
#include "common/CodePage.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <vector>

namespace engine::paradox {

enum PxType : quint8 {
    PxAlpha = 0x01,
    PxDate = 0x02,
    PxShort = 0x03,
    PxLong = 0x04,
    PxCurrency = 0x05,
    PxNumber = 0x06,
    PxLogical = 0x09,
    PxMemo = 0x0C,
    PxBlob = 0x0D,
    PxFmtMemo = 0x0E,
    PxOle = 0x0F,
    PxGraphic = 0x10,
    PxTime = 0x14,
    PxTimestamp = 0x15,
    PxAutoInc = 0x16,
    PxBcd = 0x17,
    PxBytes = 0x18,
};

// File types in header byte 4.
enum PxFileType : quint8 {
    PxKeyedTable = 0,
    PxPrimaryIndex = 1,
    PxPlainTable = 2,
    PxSecondaryIndex = 3,
    PxSecondaryIndexInc = 5,
    PxCompositeIndex = 6,
    PxCompositeIndexInc = 8,
};

constexpr int BlockHeaderSize = 6; // next block, previous block, offset of the last record
constexpr int BcdSize = 17;
constexpr int BlobDescriptorSize = 10; // after the leader: offset+index, length, modification number
constexpr qint64 JulianDayOfYearZero = 1721425; // Paradox day 1 is 1 January of year 1

// Header offsets used by reader and writers.
namespace off {
constexpr int RecordSize = 0x00;
constexpr int HeaderSize = 0x02;
constexpr int FileType = 0x04;
constexpr int BlockSizeK = 0x05;
constexpr int NumRecords = 0x06;
constexpr int UsedBlocks = 0x0A;
constexpr int FileBlocks = 0x0C;
constexpr int FirstBlock = 0x0E;
constexpr int LastBlock = 0x10;
constexpr int NumFields = 0x21;
constexpr int KeyFields = 0x23;
constexpr int Encryption1 = 0x25;
constexpr int SortOrder = 0x29;
constexpr int IndexRoot = 0x1E;   // .PX: block of the B-tree's root
constexpr int IndexLevels = 0x20; // .PX: levels of the B-tree
constexpr int ChangeCount1 = 0x2D;
constexpr int VersionId = 0x39;
constexpr int MaxBlocks = 0x3A;
constexpr int AutoInc = 0x49;
constexpr int ChangeUnderWay = 0x4F; // "index update required": set while a keyed change is under way
constexpr int Encryption2 = 0x5C;
constexpr int CodePage = 0x6A;
constexpr int FieldInfoV3 = 0x58;
constexpr int FieldInfoV4 = 0x78;
} // namespace off

struct PxField {
    QString name;
    quint8 type = 0;
    int size = 0;   // bytes in the record
    int offset = 0; // in the record
    int decimals = 0; // BCD: digits after the point, as the field description stores it
    bool isBlob() const
    {
        return type == PxMemo || type == PxBlob || type == PxFmtMemo || type == PxOle || type == PxGraphic;
    }
    int leader() const { return isBlob() ? size - BlobDescriptorSize : 0; }
};

struct PxHeader {
    // Sizes in bytes; the block size from its count of kilobytes at 0x05.
    quint16 recordSize = 0, headerSize = 0;
    int blockSize = 0;
    quint8 fileType = 0, sortOrder = 0, versionId = 0;
    int version = 0; // 30, 35, 40, 50, 70
    quint32 numRecords = 0, encryption = 0, autoInc = 0;
    // The data block chain: blocks in the file, in use, first and last of the list.
    quint16 fileBlocks = 0, usedBlocks = 0, firstBlock = 0, lastBlock = 0;
    quint16 keyFields = 0, codePage = 0;
    QString tableName;     // as stored inside the header
    QString sortOrderName; // "ascii", "intl", "ANSIINTL", ... (version 4 and later)
    std::vector<PxField> fields;
};

// "Paradox 5.x" etc. for a header version.
QString versionText(int version);

// Reads and checks the header of a table or secondary index file; throws
// EngineError naming the file for anything that does not add up.
PxHeader readHeader(int fd, const QString &path);

// Block n (1-based) starts here.
inline qint64 blockOffset(const PxHeader &h, quint32 block)
{
    return qint64(h.headerSize) + qint64(block - 1) * h.blockSize;
}
// Records in a block from its "offset of the last record" word; 0 for an empty block.
inline int recordsInBlock(const PxHeader &h, qint16 lastOffset)
{
    return lastOffset < 0 ? 0 : lastOffset / h.recordSize + 1;
}

// The code page of a table: the header's, or for code page 0 what its sort order implies.
CodePage codePageFor(const PxHeader &h);

// The engine's view of a field.
FieldDef fieldDefFor(const PxField &f, int fieldNo);

// Fixed-size values (everything but alpha text and blobs) to and from their stored bytes.
QVariant decodeFixed(const PxField &f, const char *p);
bool isAllZero(const char *p, int size);
// Encodes a non-null value into p (f.size bytes); throws EngineError with a
// German message naming the field when the value does not fit the type.
void encodeFixed(const PxField &f, const QVariant &value, char *p);

// Encodes one non-null value of any type into its place p in a record. Text goes
// through the codec and is refused when too long, never cut; a blob longer than
// the field's leader is handed to storeBlob, which returns its offset/index word.
void encodeValue(const PxField &f, const TextCodec &codec, const QVariant &value, char *p,
                 quint16 modification, const std::function<quint32(const QByteArray &, quint16)> &storeBlob);

// Why the primary index file at path cannot serve a table whose key is keySize
// bytes long; empty when its header is sound.
QString primaryIndexFault(const QString &path, int keySize);

} // namespace engine::paradox
