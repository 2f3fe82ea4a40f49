#include "Progress.h"

#include <QElapsedTimer>

namespace engine {

namespace {

ProgressTiming g_timing;
thread_local ProgressObserver *t_observer = nullptr;

qint64 monotonicMs()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

} // namespace

ProgressTiming progressTiming()
{
    return g_timing;
}

void setProgressTiming(const ProgressTiming &timing)
{
    g_timing = timing;
}

ProgressScope::ProgressScope(ProgressObserver *observer) : m_previous(t_observer)
{
    t_observer = observer;
}

ProgressScope::~ProgressScope()
{
    t_observer = m_previous;
}

ProgressMeter::ProgressMeter(qint64 total, ProgressClock clock) : ProgressMeter(t_observer, total, std::move(clock)) {}

ProgressMeter::ProgressMeter(ProgressObserver *observer, qint64 total, ProgressClock clock)
    : m_observer(observer), m_total(total < 0 ? 0 : total), m_clock(clock ? std::move(clock) : ProgressClock(monotonicMs))
{
    if (!m_observer)
        return;
    m_start = m_clock();
    m_nextReport = m_start + g_timing.firstAfterMs;
}

void ProgressMeter::check(qint64 done)
{
    m_nextCheck = done + CheckStride;
    const qint64 now = m_clock();
    if (now < m_nextReport)
        return;
    m_nextReport = now + g_timing.everyMs;
    m_reported = true;
    m_observer->progress(done, m_total);
}

void ProgressMeter::finish()
{
    if (m_observer && m_reported)
        m_observer->progress(m_total, m_total);
    m_reported = false;
}

int percentOf(qint64 done, qint64 total)
{
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return 100;
    return int((done * 100) / total);
}

} // namespace engine
