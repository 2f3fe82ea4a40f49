#pragma once
// The processor clock estimate in MHz from the x86 time-stamp counter, measured
// over half a second without holding up the window: the counter is read now and
// again when a timer fires.
#include <QObject>
#include <functional>

namespace app {

// 500 where there is no time-stamp counter or the measurement fails.
constexpr double FallbackProcessorSpeed = 500.0;

// The counter, or 0 where the processor has none.
quint64 readTimeStampCounter();
// MHz from two counter readings taken elapsedMs apart; the fallback for nonsense.
double processorSpeedFrom(quint64 first, quint64 second, qint64 elapsedNs);

// Starts a measurement; done is called with the result about 500 ms later.
void MeasureProcessorSpeed(QObject *context, std::function<void(double)> done);

} // namespace app
