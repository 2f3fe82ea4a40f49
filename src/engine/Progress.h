#pragma once
// How far a long walk has come (an export, a filter or search over many
// records, an index being built, a print run), told to whoever shows it.
//
// The walk counts with a ProgressMeter; the caller that shows progress (the
// window's status panel, the command-line tool's terminal line) installs a
// ProgressObserver for the walks of its thread with a ProgressScope. Without an
// observer a meter costs one comparison per step. With one, it looks at the
// clock only every few steps and tells the observer first after a short delay
// (short work shows nothing) and then at most every interval, so a walk over
// millions of records calls out a few times a second, not a million times.
#include <QtGlobal>

#include <functional>

namespace engine {

class ProgressObserver {
public:
    virtual ~ProgressObserver() = default;
    // done of total steps; total 0 when the amount is not known.
    virtual void progress(qint64 done, qint64 total) = 0;
};

struct ProgressTiming {
    qint64 firstAfterMs = 500; // nothing is shown for work shorter than this
    qint64 everyMs = 100;
};

// The timing every meter uses; tests shorten it so a small table shows progress.
ProgressTiming progressTiming();
void setProgressTiming(const ProgressTiming &timing);

// The observer of the walks this thread runs while the scope lives (scopes nest;
// the previous one is restored).
class ProgressScope {
public:
    explicit ProgressScope(ProgressObserver *observer);
    ~ProgressScope();
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

private:
    ProgressObserver *m_previous;
};

// Milliseconds from any fixed point; tests hand in their own clock.
using ProgressClock = std::function<qint64()>;

class ProgressMeter {
public:
    // Reports to the observer installed for this thread, if any.
    explicit ProgressMeter(qint64 total, ProgressClock clock = {});
    ProgressMeter(ProgressObserver *observer, qint64 total, ProgressClock clock = {});

    // done steps of total are behind. Cheap: the clock is read every CheckStride steps.
    void step(qint64 done)
    {
        if (m_observer && done >= m_nextCheck)
            check(done);
    }
    // The walk is through: an observer that has been told anything hears of the end
    // (done == total), so a shown percentage does not stop at 97.
    void finish();

    static constexpr qint64 CheckStride = 64;

private:
    void check(qint64 done);

    ProgressObserver *m_observer;
    qint64 m_total;
    ProgressClock m_clock;
    qint64 m_start = 0;
    qint64 m_nextReport = 0; // clock time of the next report
    qint64 m_nextCheck = 0;  // step at which the clock is read next
    bool m_reported = false;
};

// Whole percent of done in total, 0..100 (0 when total is not known).
int percentOf(qint64 done, qint64 total);

} // namespace engine
