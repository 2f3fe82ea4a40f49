#pragma once
// The driver status report: what the engine says about the main window's
// connection and table, one line each.
#include "Connection.h"
#include "TableDataset.h"

#include <QStringList>

namespace data {

// "Closed", or the set states joined by ", " in their fixed order.
QString stateText(engine::TObjectStates state);
QString cursorLocationText(engine::TCursorLocation location);
QString cursorTypeText(engine::TCursorType type);
QStringList driverStatusLines(const engine::Connection &connection, const engine::TableDataset &dataset);

} // namespace data
