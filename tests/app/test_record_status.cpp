// The record field of the status bar, before and after the count is known.
#include "CommandState.h"

#include <gtest/gtest.h>

TEST(RecordStatus, PositionAndCountOrAnEllipsisWhileCounting)
{
    EXPECT_EQ(app::recordStatusText(5, 1000), QStringLiteral("Satz: 5/1000"));
    EXPECT_EQ(app::recordStatusText(0, 0), QStringLiteral("Satz: 0/0"));
    EXPECT_EQ(app::recordStatusText(10000000, 10000000), QStringLiteral("Satz: 10000000/10000000"));
    // The count is still being made in the background.
    EXPECT_EQ(app::recordStatusText(1, -1), QStringLiteral("Satz: 1/…"));
    EXPECT_EQ(app::recordStatusText(123456, -1), QStringLiteral("Satz: 123456/…"));
}
