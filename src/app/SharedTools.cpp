#include "SharedTools.h"

#include "EngineError.h"

#include <QPushButton>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#if __has_include(<QtGui/qguiapplication_platform.h>)
#include <QtGui/qguiapplication_platform.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <vector>

namespace app {

namespace {

MessageBoxHook &hookSlot()
{
    static MessageBoxHook hook;
    return hook;
}

// The buttons of a box type, in the order the default-button flags count them.
std::vector<QMessageBox::StandardButton> buttonsOf(int flags)
{
    switch (flags & 0x0F) {
    case MB_OKCANCEL: return {QMessageBox::Ok, QMessageBox::Cancel};
    case MB_ABORTRETRYIGNORE: return {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore};
    case MB_YESNOCANCEL: return {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    case MB_YESNO: return {QMessageBox::Yes, QMessageBox::No};
    case MB_RETRYCANCEL: return {QMessageBox::Retry, QMessageBox::Cancel};
    default: return {QMessageBox::Ok};
    }
}

int idOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Abort: return IDABORT;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Ignore: return IDIGNORE;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return 0;
    }
}

QString germanText(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return QStringLiteral("OK");
    case QMessageBox::Cancel: return QStringLiteral("Abbrechen");
    case QMessageBox::Abort: return QStringLiteral("&Abbrechen");
    case QMessageBox::Retry: return QStringLiteral("&Wiederholen");
    case QMessageBox::Ignore: return QStringLiteral("&Ignorieren");
    case QMessageBox::Yes: return QStringLiteral("&Ja");
    case QMessageBox::No: return QStringLiteral("&Nein");
    default: return QString();
    }
}

// The answer of a box closed without a button: Cancel where there is one, OK
// for a box with OK alone, else the last button (No).
int closedAnswer(const MessageBoxRequest &request)
{
    if (request.buttons & QMessageBox::Cancel)
        return IDCANCEL;
    const std::vector<QMessageBox::StandardButton> order = buttonsOf(request.flags);
    return idOf(order.back());
}

QString cut(const QString &text, int length)
{
    if (text.size() <= length)
        return text;
    qsizetype end = length;
    if (end > 0 && text.at(end - 1).isHighSurrogate())
        --end; // never half a character
    return text.left(end);
}

int show(const MessageBoxRequest &request)
{
    if (const MessageBoxHook &hook = hookSlot())
        return hook(request);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(request.caption), qPrintable(request.text));
        return closedAnswer(request);
    }
    // Modal to the whole application; the window active before gets the
    // focus back afterwards, whatever happens in the box.
    QPointer<QWidget> active = QApplication::activeWindow();
    QMessageBox box(request.icon, request.caption, request.text, QMessageBox::NoButton, active);
    box.setWindowModality(Qt::ApplicationModal);
    for (QMessageBox::StandardButton button : buttonsOf(request.flags)) {
        QAbstractButton *widget = box.addButton(button);
        widget->setText(germanText(button));
    }
    box.setDefaultButton(request.defaultButton);
    box.exec();
    if (active) {
        active->activateWindow();
        active->raise();
    }
    const int answer = idOf(box.standardButton(box.clickedButton()));
    return answer ? answer : closedAnswer(request);
}

} // namespace

void setMessageBoxHook(MessageBoxHook hook)
{
    hookSlot() = std::move(hook);
}

MessageBoxRequest messageBoxRequest(const QString &caption, const QString &text, int flags)
{
    MessageBoxRequest request;
    request.caption = caption;
    request.text = text;
    request.flags = flags;
    switch (flags & 0xF0) {
    case MB_ICONERROR: request.icon = QMessageBox::Critical; break;
    case MB_ICONQUESTION: request.icon = QMessageBox::Question; break;
    case MB_ICONWARNING: request.icon = QMessageBox::Warning; break;
    case MB_ICONINFORMATION: request.icon = QMessageBox::Information; break;
    default: request.icon = QMessageBox::NoIcon; break;
    }
    const std::vector<QMessageBox::StandardButton> order = buttonsOf(flags);
    request.buttons = QMessageBox::NoButton;
    for (QMessageBox::StandardButton button : order)
        request.buttons |= button;
    const std::size_t defaultIndex = std::size_t((flags & 0xF00) >> 8);
    request.defaultButton = defaultIndex < order.size() ? order[defaultIndex] : order.front();
    return request;
}

int MsgBox(const QString &caption, const QString &text, int flags)
{
    return show(messageBoxRequest(cut(caption, MsgBoxCaptionLength), cut(text, MsgBoxTextLength), flags));
}

bool AskYesNo(const QString &text)
{
    return MsgBox(QStringLiteral("Bestätigung"), text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowErrorBox(const QString &text)
{
    MsgBox(QStringLiteral("Fehler"), text, MB_OK | MB_ICONERROR);
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

void ShowDefaultErrorBox(const QString &message)
{
    // Not cut: an error message is shown whole.
    show(messageBoxRequest(QString::fromLatin1(ApplicationTitle), errorBoxText(message), MB_OK | MB_ICONERROR));
}

void ShowDefaultErrorBox(const std::exception &error)
{
    if (const auto *engineError = dynamic_cast<const engine::EngineError *>(&error))
        ShowDefaultErrorBox(engineError->message());
    else
        ShowDefaultErrorBox(QString::fromUtf8(error.what()));
}

bool RunGuarded(const std::function<void()> &operation)
{
    try {
        operation();
        return true;
    } catch (const std::exception &error) {
        ShowDefaultErrorBox(error);
    }
    return false;
}

// ---------------------------------------------------------------------------

namespace {

// Whether a compositing manager owns the selection _NET_WM_CM_S<screen>. libxcb
// is opened at run time: Qt's xcb platform has it loaded anyway, and the
// program does not need it where another window system runs.
bool x11CompositorRunning()
{
#if defined(QT_FEATURE_xcb) && QT_CONFIG(xcb)
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    void *library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        library = dlopen("libxcb.so.1", RTLD_LAZY);
    if (!library)
        return false;
    struct Cookie { unsigned int sequence; };
    struct AtomReply { std::uint8_t type, pad; std::uint16_t sequence; std::uint32_t length; std::uint32_t atom; };
    struct OwnerReply { std::uint8_t type, pad; std::uint16_t sequence; std::uint32_t length; std::uint32_t owner; };
    using InternAtom = Cookie (*)(void *, std::uint8_t, std::uint16_t, const char *);
    using InternAtomReply = AtomReply *(*)(void *, Cookie, void **);
    using GetOwner = Cookie (*)(void *, std::uint32_t);
    using GetOwnerReply = OwnerReply *(*)(void *, Cookie, void **);
    auto internAtom = reinterpret_cast<InternAtom>(dlsym(library, "xcb_intern_atom"));
    auto internAtomReply = reinterpret_cast<InternAtomReply>(dlsym(library, "xcb_intern_atom_reply"));
    auto getOwner = reinterpret_cast<GetOwner>(dlsym(library, "xcb_get_selection_owner"));
    auto getOwnerReply = reinterpret_cast<GetOwnerReply>(dlsym(library, "xcb_get_selection_owner_reply"));
    bool running = false;
    if (internAtom && internAtomReply && getOwner && getOwnerReply) {
        int screen = 0;
        const QByteArray display = qgetenv("DISPLAY");
        const qsizetype dot = display.lastIndexOf('.');
        if (dot > display.lastIndexOf(':'))
            screen = display.mid(dot + 1).toInt();
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        void *connection = x11->connection();
        AtomReply *atom = internAtomReply(connection, internAtom(connection, 0, std::uint16_t(name.size()),
                                                                 name.constData()), nullptr);
        if (atom) {
            OwnerReply *owner = getOwnerReply(connection, getOwner(connection, atom->atom), nullptr);
            if (owner) {
                running = owner->owner != 0;
                std::free(owner);
            }
            std::free(atom);
        }
    }
    dlclose(library);
    return running;
#else
    return false;
#endif
}

} // namespace

namespace {
std::optional<bool> windowsXPForTests;
}

void setWindowsXPForTests(std::optional<bool> answer)
{
    windowsXPForTests = answer;
}

bool IsWindowsXP()
{
    if (windowsXPForTests)
        return *windowsXPForTests;
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    if (platform == QLatin1String("xcb"))
        return x11CompositorRunning();
    return false;
}

QString PadToLength(const QString &text, QChar fill, int length)
{
    if (length <= 0)
        return QString();
    QString result = text;
    if (result.size() < length)
        result.append(QString(length - result.size(), fill));
    result.truncate(length);
    return result;
}

void RemoveLastChar(QString &text)
{
    if (text.isEmpty())
        return;
    const qsizetype size = text.size();
    if (size >= 2 && text.at(size - 1).isLowSurrogate() && text.at(size - 2).isHighSurrogate())
        text.chop(2);
    else
        text.chop(1);
}

} // namespace app
