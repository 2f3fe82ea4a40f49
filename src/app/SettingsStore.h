#pragma once
// The settings store: registry-style values (a root, a backslash path ending in
// the value name, a kind) kept in the INI file of QSettings (organisation
// "Halvorin", application "Brisvel"). Each stored value carries its kind as a
// prefix ("dword:1", "sz:text", ...) because an INI file gives every value back
// as text; see docs/settings.md.
#include <QString>
#include <QVariant>

class QWidget;

namespace app {

enum class RegRoot {
    CurrentUser,  // the user's INI file
    LocalMachine, // the system-wide INI file (normally not writable)
};
inline constexpr RegRoot HKEY_CURRENT_USER = RegRoot::CurrentUser;
inline constexpr RegRoot HKEY_LOCAL_MACHINE = RegRoot::LocalMachine;

// Kind codes of RegReadValue / RegWriteValue.
enum RegKind : int {
    rkInteger = 0,  // 32-bit integer (double word)
    rkBoolean = 1,  // double word 0 / 1, true for any value other than 0
    rkString = 2,
    rkDate = 3,     // QDate
    rkTime = 4,     // QTime
    rkFloat = 5,    // double
    rkCurrency = 6, // double with four decimals
};

struct ValuePath {
    QString key;  // "Software\Halvorin\Brisvel\" (with the trailing backslash)
    QString name; // "Readonly"
};

// Splits a value path into key and value name: the name is everything after the
// last backslash; a leading backslash of the key is dropped and such a key is
// cut to 255 characters.
ValuePath SplitValuePath(const QString &path);

// Reads one value; an invalid QVariant when the value is absent. A value stored
// with another kind raises engine::EngineError "Ungültiger Datentyp für '<name>'".
QVariant RegReadValue(RegRoot root, const QString &path, int kind);

// Writes one value; false when nothing could be written (the store cannot be
// saved, or the value does not convert to the kind).
bool RegWriteValue(RegRoot root, const QString &path, const QVariant &value, int kind);

// The INI file behind a root (for messages and the documentation of a problem).
QString settingsFileName(RegRoot root = HKEY_CURRENT_USER);

// The key of all the program's values.
inline constexpr const char *BrisvelKey = "\\Software\\Halvorin\\Brisvel\\";

class ToolbarSkin;

// The user's settings as the program holds them in memory.
struct AppSettings {
    bool Readonly = false;
    bool Exclusive = false;
    bool ShowColorGrid = false;
    int PrintFontSize = 0; // stored as "DRSize"
    int MenuStyle = 1;     // 0 Standard, 1 Office XP, 2 Windows XP
    int MenuColorSet = 0;  // 0 Office XP colours, 1 Windows XP colours

    // Reads the six values (absent ones as false / 0; no or 0 "MenuStyle" gives
    // Office XP with Office XP colours). Raises EngineError on a kind mismatch;
    // the values read before it stay set.
    void readSettings();
    // Writes all six values; false when they could not be saved.
    bool writeSettings() const;
    // Gives the skin the menu style and colour set.
    void applyTo(ToolbarSkin &skin) const;
};

// Keeps a window's position, size and state in the store ("Flags", "ShowCmd",
// "PixelsPerInch", "MinMaxPos", "NormPos").
class WindowPlacement {
public:
    explicit WindowPlacement(const QString &key = QString::fromLatin1(BrisvelKey)) : m_key(key) {}

    // Saves the placement; false when it could not be written.
    bool save(const QWidget *window) const;
    // Restores a saved placement; false (window left as it is) when there is
    // none or it is unreadable.
    bool restore(QWidget *window) const;

private:
    QString m_key;
};

} // namespace app
