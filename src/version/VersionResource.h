#pragma once
// The program's version resource and the small reader the version label reads
// it through. The reader answers the paths of a Windows version resource:
// "\" the fixed part (the 52 bytes of a VS_FIXEDFILEINFO, little-endian),
// "\VarFileInfo\Translation" the language and code-page words, and
// "\StringFileInfo\<block>\<key>" a string value with its terminating zero.
#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace version {

// The file-flags bits of the fixed part.
enum FileFlag : quint32 {
    VS_FF_DEBUG = 0x01,
    VS_FF_PRERELEASE = 0x02,
    VS_FF_PATCHED = 0x04,
    VS_FF_PRIVATEBUILD = 0x08,
    VS_FF_INFOINFERRED = 0x10,
    VS_FF_SPECIALBUILD = 0x20,
};

// Byte offset of the file-flags word in the fixed part.
constexpr int FixedFileFlagsOffset = 28;
constexpr int FixedPartSize = 52;

class VersionResourceReader {
public:
    virtual ~VersionResourceReader() = default;
    // Size of the resource in bytes; 0 when there is none.
    virtual quint32 size() const = 0;
    // Reads the resource; false when that fails.
    virtual bool load() = 0;
    // The value at path (see above); nothing when there is no such value.
    virtual std::optional<QByteArray> query(const QString &path) const = 0;
};

// A version resource held as values.
struct VersionResourceData {
    struct StringEntry {
        QString key;
        QString value;
    };
    struct StringTable {
        QString block; // language and code page, eight hex digits: "040704E4"
        QList<StringEntry> entries;
    };
    struct Translation {
        quint16 language = 0;
        quint16 codePage = 0;
    };
    QByteArray fixed;
    QList<Translation> translations;
    QList<StringTable> tables;
};

// The fixed part for file version a.b.c.d with the given file flags.
QByteArray fixedPart(quint16 major, quint16 minor, quint16 release, quint16 build, quint32 fileFlags);

// Reads a VersionResourceData; block and key match regardless of case, as
// the Windows lookup does.
class DataVersionResource : public VersionResourceReader {
public:
    explicit DataVersionResource(VersionResourceData data);
    quint32 size() const override;
    bool load() override;
    std::optional<QByteArray> query(const QString &path) const override;

private:
    VersionResourceData m_data;
};

// What the build compiled in.
struct BuildVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    unsigned build = 0;
    bool debug = false;
};
BuildVersion buildVersion();

// The version resource of this program: German/1252 string table "040704E4"
// with CompanyName "Halvorin", ProductName "brisvel ostrel", FileVersion
// "major.minor.release.build" and the rest; the Debug flag in a debug build.
VersionResourceData programVersionData();
std::shared_ptr<VersionResourceReader> programVersionResource();

// "brisvel ostrel " and the file version, as both programs print for --version.
QString versionLine();

} // namespace version
