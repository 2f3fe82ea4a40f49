#pragma once
// Small tools shared by the windows: message boxes, the operating-system test
// and two string tools.
#include <QMessageBox>
#include <QString>

#include <exception>
#include <functional>
#include <optional>

namespace app {

// Message box style flags and results, with the values they have always had.
enum : int {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_ABORTRETRYIGNORE = 0x02,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_RETRYCANCEL = 0x05,
    MB_ICONHAND = 0x10,
    MB_ICONERROR = MB_ICONHAND,
    MB_ICONSTOP = MB_ICONHAND,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = MB_ICONASTERISK,
    MB_DEFBUTTON1 = 0x000,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

inline constexpr int MsgBoxCaptionLength = 100;
inline constexpr int MsgBoxTextLength = 500;
// The application title, caption of the default error box.
inline constexpr const char *ApplicationTitle = "brisvel ostrel 2005";

// A message box about to be shown, as the flags describe it.
struct MessageBoxRequest {
    QString caption;
    QString text;
    int flags = MB_OK;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
};

// Answers message boxes instead of showing them (tests): gets the box and
// returns the ID* of the button "pressed". An empty hook shows real boxes.
using MessageBoxHook = std::function<int(const MessageBoxRequest &)>;
void setMessageBoxHook(MessageBoxHook hook);

// The box the flags describe (buttons, icon, default button).
MessageBoxRequest messageBoxRequest(const QString &caption, const QString &text, int flags);

// A box modal to the whole application; returns the ID* of the button pressed.
// The caption is cut to 100 characters, the text to 500.
int MsgBox(const QString &caption, const QString &text, int flags);
// "Bestätigung" with Yes and No and the question icon; true exactly for Yes.
bool AskYesNo(const QString &text);
// "Fehler" with OK and the error icon.
void ShowErrorBox(const QString &text);

// The text of the default error box: a full stop is appended when the last
// character sorts after the full stop (letters, digits, '?', ...).
QString errorBoxText(const QString &message);
// The application's default error box: caption "brisvel ostrel 2005", error
// icon, OK, the message with the full-stop rule.
void ShowDefaultErrorBox(const QString &message);
void ShowDefaultErrorBox(const std::exception &error);
// Runs an operation; an error it raises ends it and is shown in the default
// error box. False when that happened.
bool RunGuarded(const std::function<void()> &operation);

// True where the window system can show translucent windows (a compositing
// X11 window manager, or Wayland).
bool IsWindowsXP();
// Tests set the answer of IsWindowsXP here (the offscreen platform has no
// translucency); empty asks the window system again.
void setWindowsXPForTests(std::optional<bool> answer);

// Appends fill until text has length characters, then cuts it to length.
QString PadToLength(const QString &text, QChar fill, int length);
// Removes the last character, if there is one (a surrogate pair as a whole).
void RemoveLastChar(QString &text);

} // namespace app
