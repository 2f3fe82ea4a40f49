// The processor clock estimate: a plausible figure where the counter exists,
// the fallback where the readings make no sense.
#include "ProcessorSpeed.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

TEST(ProcessorSpeed, FromCounterReadings)
{
    EXPECT_DOUBLE_EQ(app::processorSpeedFrom(1000, 1000 + 1'500'000'000ULL, 500'000'000), 3000.0);
    EXPECT_DOUBLE_EQ(app::processorSpeedFrom(0, 5, 10), app::FallbackProcessorSpeed);
    EXPECT_DOUBLE_EQ(app::processorSpeedFrom(10, 5, 10), app::FallbackProcessorSpeed);
    EXPECT_DOUBLE_EQ(app::processorSpeedFrom(10, 50, 0), app::FallbackProcessorSpeed);
}

TEST(ProcessorSpeed, RealCounterGivesAPlausibleClock)
{
    const quint64 first = app::readTimeStampCounter();
    if (first == 0)
        GTEST_SKIP() << "no time-stamp counter on this processor";
    QElapsedTimer timer;
    timer.start();
    QThread::msleep(50);
    const double mhz = app::processorSpeedFrom(first, app::readTimeStampCounter(), timer.nsecsElapsed());
    EXPECT_GT(mhz, 100.0);
    EXPECT_LT(mhz, 10000.0);
}
