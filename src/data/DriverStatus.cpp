#include "DriverStatus.h"

namespace data {

QString stateText(engine::TObjectStates state)
{
    QString text;
    if (state == engine::stClosed)
        text = QStringLiteral("Closed");
    const struct {
        engine::TObjectState flag;
        const char *name;
    } names[] = {{engine::stOpen, "Open"}, {engine::stConnecting, "Connecting"},
                 {engine::stExecuting, "Executing"}, {engine::stFetching, "Fetching"}};
    for (const auto &n : names) {
        if (state & n.flag) {
            if (!text.isEmpty())
                text += QStringLiteral(", ");
            text += QString::fromLatin1(n.name);
        }
    }
    return text;
}

QString cursorLocationText(engine::TCursorLocation location)
{
    return location == engine::clUseServer ? QStringLiteral("UseServer") : QStringLiteral("UseClient");
}

QString cursorTypeText(engine::TCursorType type)
{
    switch (type) {
    case engine::ctOpenForwardOnly: return QStringLiteral("OpenForwardOnly");
    case engine::ctKeyset: return QStringLiteral("Keyset");
    case engine::ctDynamic: return QStringLiteral("Dynamic");
    case engine::ctStatic: return QStringLiteral("Static");
    default: return QStringLiteral("Unspecified");
    }
}

QStringList driverStatusLines(const engine::Connection &connection, const engine::TableDataset &dataset)
{
    QStringList lines;
    lines << QStringLiteral("ADO Version: ") + connection.Version();
    lines << QStringLiteral("ADO Provider: ") + connection.Provider();
    lines << QStringLiteral("ADO State: ") + stateText(connection.State());
    lines << QStringLiteral("ADO CursorLocation: ") + cursorLocationText(dataset.CursorLocation());
    lines << QStringLiteral("ADO CursorType: ") + cursorTypeText(dataset.CursorType());
    const QList<engine::ConnectionProperty> properties = connection.Properties();
    lines << QStringLiteral("ADO Eigenschaften: ") + QString::number(properties.size());
    lines << QString(51, QLatin1Char('-'));
    for (const engine::ConnectionProperty &p : properties)
        lines << p.name + QStringLiteral(": ") + (p.value.isValid() ? p.value.toString() : QString());
    return lines;
}

} // namespace data
