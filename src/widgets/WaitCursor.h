#pragma once
// The hourglass for long work: shown while the guard lives and restored on
// every way out, an error included.
#include <QGuiApplication>

namespace widgets {

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace widgets
