#include "SettingsStore.h"

#include "EngineError.h"
#include "ToolbarSkin.h"

#include <QDate>
#include <QGuiApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTime>
#include <QWidget>

#include <cmath>
#include <limits>
#include <memory>

namespace app {

namespace {

constexpr int MaxKeyLength = 255;

// The registry's own types, as the prefix of each stored text. Integers and
// booleans share the double word, as they always did.
enum class Tag { DWord, Sz, Date, Time, Float, Currency };

struct TagName {
    Tag tag;
    const char *text;
};
constexpr TagName TagNames[] = {
    {Tag::DWord, "dword"}, {Tag::Sz, "sz"},       {Tag::Date, "date"},
    {Tag::Time, "time"},   {Tag::Float, "float"}, {Tag::Currency, "currency"},
};

bool tagForKind(int kind, Tag *tag)
{
    switch (kind) {
    case rkInteger:
    case rkBoolean: *tag = Tag::DWord; return true;
    case rkString: *tag = Tag::Sz; return true;
    case rkDate: *tag = Tag::Date; return true;
    case rkTime: *tag = Tag::Time; return true;
    case rkFloat: *tag = Tag::Float; return true;
    case rkCurrency: *tag = Tag::Currency; return true;
    default: return false;
    }
}

QString tagText(Tag tag)
{
    for (const TagName &entry : TagNames)
        if (entry.tag == tag)
            return QString::fromLatin1(entry.text);
    return QString();
}

// Splits "dword:1" into its tag and payload. Text without a known prefix (an
// entry typed by hand) counts as a string.
void splitStored(const QString &stored, Tag *tag, QString *payload)
{
    const qsizetype colon = stored.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        const QString prefix = stored.left(colon);
        for (const TagName &entry : TagNames) {
            if (prefix == QLatin1String(entry.text)) {
                *tag = entry.tag;
                *payload = stored.mid(colon + 1);
                return;
            }
        }
    }
    *tag = Tag::Sz;
    *payload = stored;
}

engine::EngineError invalidType(const QString &name)
{
    return engine::EngineError(QStringLiteral("Ungültiger Datentyp für '%1'").arg(name));
}

std::unique_ptr<QSettings> openStore(RegRoot root)
{
    auto store = std::make_unique<QSettings>(
        QSettings::IniFormat, root == RegRoot::CurrentUser ? QSettings::UserScope : QSettings::SystemScope,
        QStringLiteral("Halvorin"), QStringLiteral("Brisvel"));
    // A registry root stands alone: the user's values never fall back to others.
    store->setFallbacksEnabled(false);
    return store;
}

QString matchName(const QStringList &names, const QString &wanted)
{
    if (names.contains(wanted))
        return wanted;
    for (const QString &name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    return wanted;
}

// The QSettings key of a value. Registry names ignore case, so an existing
// group or value spelt differently is used as it is stored.
QString storeKey(QSettings &store, const ValuePath &path)
{
    const QStringList parts = path.key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    QStringList resolved;
    for (const QString &part : parts) {
        const QString name = matchName(store.childGroups(), part);
        resolved << name;
        store.beginGroup(name);
    }
    // The unnamed default value of a key is "@", as in exported registry files.
    const QString valueName = path.name.isEmpty() ? QStringLiteral("@") : path.name;
    resolved << matchName(store.childKeys(), valueName);
    for (qsizetype i = 0; i < parts.size(); ++i)
        store.endGroup();
    return resolved.join(QLatin1Char('/'));
}

QString currencyText(qint64 scaled)
{
    const bool negative = scaled < 0;
    const quint64 magnitude = negative ? 0 - quint64(scaled) : quint64(scaled);
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(magnitude / 10000)
        .arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
}

bool isNumeric(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::Char: case QMetaType::UChar:
    case QMetaType::SChar:
        return true;
    default:
        return false;
    }
}

// The text stored for a value of a kind; false when the value is not one.
bool encode(const QVariant &value, int kind, QString *text)
{
    bool ok = false;
    switch (kind) {
    case rkInteger: {
        const double number = value.toDouble(&ok);
        if (!ok || !std::isfinite(number) || number < std::numeric_limits<qint32>::min()
            || number > std::numeric_limits<qint32>::max())
            return false;
        *text = QString::number(std::llround(number));
        return true;
    }
    case rkBoolean: {
        bool flag = false;
        if (value.typeId() == QMetaType::Bool) {
            flag = value.toBool();
        } else if (isNumeric(value)) {
            flag = value.toDouble() != 0;
        } else if (value.typeId() == QMetaType::QString) {
            const QString s = value.toString().trimmed();
            if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                flag = true;
            else if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                flag = false;
            else {
                const double number = s.toDouble(&ok);
                if (!ok)
                    return false;
                flag = number != 0;
            }
        } else {
            return false;
        }
        *text = flag ? QStringLiteral("1") : QStringLiteral("0");
        return true;
    }
    case rkString:
        *text = value.toString();
        return true;
    case rkDate: {
        const QDate date = value.typeId() == QMetaType::QDateTime ? value.toDateTime().date() : value.toDate();
        if (!date.isValid())
            return false;
        *text = date.toString(Qt::ISODate);
        return true;
    }
    case rkTime: {
        const QTime time = value.typeId() == QMetaType::QDateTime ? value.toDateTime().time() : value.toTime();
        if (!time.isValid())
            return false;
        *text = time.toString(QStringLiteral("HH:mm:ss.zzz"));
        return true;
    }
    case rkFloat: {
        const double number = value.toDouble(&ok);
        if (!ok)
            return false;
        *text = QString::number(number, 'g', QLocale::FloatingPointShortest);
        return true;
    }
    case rkCurrency: {
        const double number = value.toDouble(&ok);
        // The currency type holds 64-bit integers of ten-thousandths.
        if (!ok || !std::isfinite(number) || std::fabs(number) >= 922337203685477.0)
            return false;
        *text = currencyText(std::llround(number * 10000.0));
        return true;
    }
    default:
        return false;
    }
}

// The value of a payload, or an invalid variant when the text is damaged.
QVariant decode(const QString &payload, int kind)
{
    bool ok = false;
    switch (kind) {
    case rkInteger: {
        const int number = payload.trimmed().toInt(&ok);
        return ok ? QVariant(number) : QVariant();
    }
    case rkBoolean: {
        const int number = payload.trimmed().toInt(&ok);
        return ok ? QVariant(number != 0) : QVariant();
    }
    case rkString:
        return payload;
    case rkDate: {
        const QDate date = QDate::fromString(payload.trimmed(), Qt::ISODate);
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case rkTime: {
        QTime time = QTime::fromString(payload.trimmed(), QStringLiteral("HH:mm:ss.zzz"));
        if (!time.isValid())
            time = QTime::fromString(payload.trimmed(), QStringLiteral("HH:mm:ss"));
        return time.isValid() ? QVariant(time) : QVariant();
    }
    case rkFloat: {
        const double number = payload.trimmed().toDouble(&ok);
        return ok ? QVariant(number) : QVariant();
    }
    case rkCurrency: {
        static const QRegularExpression pattern(QStringLiteral("^\\s*(-?)(\\d+)(?:\\.(\\d{1,4}))?\\s*$"));
        const QRegularExpressionMatch match = pattern.match(payload);
        if (!match.hasMatch())
            return QVariant();
        const qint64 whole = match.captured(2).toLongLong(&ok);
        if (!ok)
            return QVariant();
        const QString fraction = match.captured(3).leftJustified(4, QLatin1Char('0'));
        double number = double(whole) + fraction.toInt() / 10000.0;
        if (!match.captured(1).isEmpty())
            number = -number;
        return number;
    }
    default:
        return QVariant();
    }
}

} // namespace

ValuePath SplitValuePath(const QString &path)
{
    ValuePath result;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('\\'));
    result.name = path.mid(slash + 1);
    result.key = path.left(slash + 1);
    if (result.key.startsWith(QLatin1Char('\\'))) {
        result.key.remove(0, 1);
        result.key.truncate(MaxKeyLength);
    }
    return result;
}

QVariant RegReadValue(RegRoot root, const QString &path, int kind)
{
    Tag wanted;
    if (!tagForKind(kind, &wanted))
        return QVariant();
    const ValuePath split = SplitValuePath(path);
    std::unique_ptr<QSettings> store = openStore(root);
    const QString key = storeKey(*store, split);
    if (!store->contains(key))
        return QVariant();
    QVariant raw = store->value(key);
    // An unquoted comma in a hand-edited file makes QSettings split the text.
    const QString stored = raw.typeId() == QMetaType::QStringList
                               ? raw.toStringList().join(QLatin1Char(','))
                               : raw.toString();
    Tag tag;
    QString payload;
    splitStored(stored, &tag, &payload);
    if (tag != wanted)
        throw invalidType(split.name);
    const QVariant value = decode(payload, kind);
    if (!value.isValid())
        throw invalidType(split.name);
    return value;
}

bool RegWriteValue(RegRoot root, const QString &path, const QVariant &value, int kind)
{
    Tag tag;
    QString text;
    if (!tagForKind(kind, &tag) || !encode(value, kind, &text))
        return false;
    const ValuePath split = SplitValuePath(path);
    std::unique_ptr<QSettings> store = openStore(root);
    if (!store->isWritable())
        return false;
    const QString key = storeKey(*store, split);
    const bool existed = store->contains(key);
    const QVariant previous = store->value(key);
    store->setValue(key, QStringLiteral("%1:%2").arg(tagText(tag), text));
    store->sync();
    if (store->status() == QSettings::NoError)
        return true;
    // QSettings keeps unsaved changes in a process-wide cache; take this one
    // back so later reads do not see a value that is not stored.
    if (existed)
        store->setValue(key, previous);
    else
        store->remove(key);
    return false;
}

QString settingsFileName(RegRoot root)
{
    return openStore(root)->fileName();
}

// ---------------------------------------------------------------------------

namespace {

QString valuePath(const char *name)
{
    return QString::fromLatin1(BrisvelKey) + QLatin1String(name);
}

bool readBool(const char *name)
{
    const QVariant value = RegReadValue(HKEY_CURRENT_USER, valuePath(name), rkBoolean);
    return value.isValid() && value.toBool();
}

int readInt(const char *name)
{
    const QVariant value = RegReadValue(HKEY_CURRENT_USER, valuePath(name), rkInteger);
    return value.isValid() ? value.toInt() : 0;
}

} // namespace

void AppSettings::readSettings()
{
    Readonly = readBool("Readonly");
    Exclusive = readBool("Exclusive");
    ShowColorGrid = readBool("ShowColorGrid");
    PrintFontSize = readInt("DRSize");
    int style = readInt("MenuStyle");
    int colorSet = readInt("MenuColorSet");
    if (style == 0) {
        style = 2;
        colorSet = 1;
    }
    MenuStyle = style - 1;
    MenuColorSet = colorSet - 1;
}

bool AppSettings::writeSettings() const
{
    bool ok = RegWriteValue(HKEY_CURRENT_USER, valuePath("Readonly"), Readonly, rkBoolean);
    ok = RegWriteValue(HKEY_CURRENT_USER, valuePath("Exclusive"), Exclusive, rkBoolean) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, valuePath("ShowColorGrid"), ShowColorGrid, rkBoolean) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, valuePath("DRSize"), PrintFontSize, rkInteger) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, valuePath("MenuStyle"), MenuStyle + 1, rkInteger) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, valuePath("MenuColorSet"), MenuColorSet + 1, rkInteger) && ok;
    return ok;
}

void AppSettings::applyTo(ToolbarSkin &skin) const
{
    skin.setSkinType(MenuStyle);
    skin.setColorSet(MenuColorSet);
}

// ---------------------------------------------------------------------------

namespace {

// Window placement codes as they have always been stored.
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int WPF_RESTORETOMAXIMIZED = 2;

QString fourNumbers(int a, int b, int c, int d)
{
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

bool parseFourNumbers(const QString &text, int numbers[4])
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    return true;
}

// Moves a rectangle that no screen shows onto the primary screen.
QRect onScreen(QRect rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens)
        if (screen->availableGeometry().intersects(rect))
            return rect;
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!primary)
        return rect;
    const QRect area = primary->availableGeometry();
    rect.setSize(rect.size().boundedTo(area.size()));
    rect.moveTopLeft(area.topLeft());
    return rect;
}

} // namespace

bool WindowPlacement::save(const QWidget *window) const
{
    const Qt::WindowStates state = window->windowState();
    int showCmd = SW_SHOWNORMAL;
    int flags = 0;
    if (state & Qt::WindowMinimized) {
        showCmd = SW_SHOWMINIMIZED;
        if (state & Qt::WindowMaximized)
            flags |= WPF_RESTORETOMAXIMIZED;
    } else if (state & Qt::WindowMaximized) {
        showCmd = SW_SHOWMAXIMIZED;
    }
    QRect normal = window->geometry();
    if (state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        if (window->normalGeometry().isValid())
            normal = window->normalGeometry();
    }
    const QScreen *screen = window->screen();
    const int pixelsPerInch = screen ? qRound(screen->logicalDotsPerInchY()) : 96;
    // Window managers place minimised and maximised windows themselves; the
    // maximised position is kept for the record only.
    const QPoint maxPos = (state & Qt::WindowMaximized) ? window->geometry().topLeft() : QPoint(-1, -1);

    bool ok = RegWriteValue(HKEY_CURRENT_USER, m_key + QLatin1String("Flags"), flags, rkInteger);
    ok = RegWriteValue(HKEY_CURRENT_USER, m_key + QLatin1String("ShowCmd"), showCmd, rkInteger) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, m_key + QLatin1String("PixelsPerInch"), pixelsPerInch, rkInteger) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, m_key + QLatin1String("MinMaxPos"),
                       fourNumbers(-1, -1, maxPos.x(), maxPos.y()), rkString) && ok;
    ok = RegWriteValue(HKEY_CURRENT_USER, m_key + QLatin1String("NormPos"),
                       fourNumbers(normal.left(), normal.top(), normal.left() + normal.width(),
                                   normal.top() + normal.height()),
                       rkString) && ok;
    return ok;
}

bool WindowPlacement::restore(QWidget *window) const
{
    int rect[4];
    int showCmd = SW_SHOWNORMAL;
    int flags = 0;
    try {
        const QVariant normPos = RegReadValue(HKEY_CURRENT_USER, m_key + QLatin1String("NormPos"), rkString);
        if (!normPos.isValid() || !parseFourNumbers(normPos.toString(), rect))
            return false;
        const QVariant cmd = RegReadValue(HKEY_CURRENT_USER, m_key + QLatin1String("ShowCmd"), rkInteger);
        if (cmd.isValid())
            showCmd = cmd.toInt();
        const QVariant flagValue = RegReadValue(HKEY_CURRENT_USER, m_key + QLatin1String("Flags"), rkInteger);
        if (flagValue.isValid())
            flags = flagValue.toInt();
    } catch (const engine::EngineError &) {
        // A damaged placement must not keep the window from showing.
        return false;
    }
    const QRect normal(rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]);
    if (normal.width() <= 0 || normal.height() <= 0)
        return false;
    window->setGeometry(onScreen(normal));
    // A window is never brought back minimised: it would start out of sight.
    const bool maximised =
        showCmd == SW_SHOWMAXIMIZED || (showCmd == SW_SHOWMINIMIZED && (flags & WPF_RESTORETOMAXIMIZED));
    Qt::WindowStates state = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (maximised)
        state |= Qt::WindowMaximized;
    window->setWindowState(state);
    return true;
}

} // namespace app
