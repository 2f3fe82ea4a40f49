#include "ProcessorSpeed.h"

#include <QElapsedTimer>
#include <QTimer>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace app {

quint64 readTimeStampCounter()
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return 0;
#endif
}

double processorSpeedFrom(quint64 first, quint64 second, qint64 elapsedNs)
{
    if (first == 0 || second <= first || elapsedNs <= 0)
        return FallbackProcessorSpeed;
    // Ticks per microsecond are MHz.
    return double(second - first) * 1000.0 / double(elapsedNs);
}

void MeasureProcessorSpeed(QObject *context, std::function<void(double)> done)
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    const quint64 first = readTimeStampCounter();
    QTimer::singleShot(500, context, [timer, first, done = std::move(done)] {
        done(processorSpeedFrom(first, readTimeStampCounter(), timer->nsecsElapsed()));
    });
}

} // namespace app
