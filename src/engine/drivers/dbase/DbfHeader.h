#pragma once
// The dBASE / FoxPro file header and its field descriptors, read as the file
// holds them: the plain file-format layer under the table, with no notion of
// the engine's table interface.
#include <QDate>
#include <QString>
#include <vector>

namespace engine::dbase {

// One stored field as the file describes it.
struct DbfField {
    enum Kind : quint8 {
        Character, Numeric, Date, Logical, Integer, Double, Currency, DateTime,
        MemoText, MemoBinary, VarChar, VarBinary
    };
    QString name;
    char type = 'C';
    Kind kind = Character;
    int offset = 0;        // in the record; byte 0 is the deletion flag
    int width = 0;
    int decimals = 0;
    quint8 flags = 0;      // Visual FoxPro field flags
    int descriptor = 0;    // index of the field descriptor in the header
    int nullBit = -1;      // bit in _NullFlags marking null
    int varBit = -1;       // bit in _NullFlags marking "length in the last byte"
    bool integerValue = false; // N/F without decimals read as qint64
    bool binaryPointer = false; // memo block number as 4-byte little-endian
    bool autoIncrement = false;
};

// The field's type as the structure shows it ("C(20)", "N(8,2)", "D", ...).
QString nativeTypeName(const DbfField &f);

// A byte as two upper-case hex digits, as messages and facts show them.
QString hexByte(quint8 byte);

inline bool isVisualFoxPro(quint8 version) { return version == 0x30 || version == 0x31 || version == 0x32; }

struct DbfHeader {
    quint8 version = 0;
    QDate lastUpdate;
    quint32 headerCount = 0;    // the record count the header states
    qint64 recordCount = 0;     // records used: the header's count, or fewer if the file is short
    quint16 headerLength = 0;
    quint16 recordLength = 0;
    quint8 tableFlags = 0;
    quint8 languageDriver = 0;
    bool countMismatch = false; // the header counts more records than the file holds
    qint64 recordsInFile = 0;

    std::vector<DbfField> fields; // without the _NullFlags system field
    int nullFlagsOffset = -1;
    int nullFlagsWidth = 0;

    // Reads and checks the header of the open table file fd (path names it in
    // messages); throws EngineError for a file that is not a readable table.
    static DbfHeader read(int fd, const QString &path);

private:
    void readFrom(int fd, const QString &path);
    void parseFields(const QByteArray &header, const QString &path);
};

} // namespace engine::dbase
