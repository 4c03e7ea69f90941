// SPDX-License-Identifier: GPL-2.0-or-later
// The position path without any window: where a request lands in the range, and which
// sequence a request selects.
#include <gtest/gtest.h>

#include "navigation/navigation.h"

namespace {

TEST(Navigation, RequestsLandInsideTheRange) {
    Navigation navigation;
    struct {
        const char* name;
        int32_t start, end, requested;
        bool loop;
        int32_t expected;
    } const cases[] = {
        {"inside", 2, 9, 5, false, 5},
        {"below stops at the start", 2, 9, -1, false, 2},
        {"above stops at the end", 2, 9, 12, false, 9},
        {"below wraps to the end", 2, 9, 1, true, 9},
        {"above wraps to the start", 2, 9, 10, true, 2},
        {"ends are inside", 2, 9, 9, true, 9},
        {"a list of one row", 0, 0, 3, true, 0},
        {"an empty list: both tests, the second wins", 0, -1, 0, false, -1},
        {"the largest request", 0, 9, INT32_MAX, false, 9},
    };
    for (const auto& c : cases) {
        navigation.Reset();
        navigation.SetRange(c.start, c.end);
        EXPECT_EQ(navigation.ClampPosition(c.requested, c.loop), c.expected) << c.name;
        EXPECT_EQ(navigation.CurrentPosition(), c.expected) << c.name;
    }
}

TEST(Navigation, TheListSequenceNeedsABuiltList) {
    Navigation navigation;
    navigation.Reset();
    EXPECT_FALSE(navigation.SelectSequence(false));
    EXPECT_TRUE(navigation.VideoSequence());
    navigation.SetListBuilt(true);
    EXPECT_TRUE(navigation.SelectSequence(false));
    EXPECT_FALSE(navigation.VideoSequence());
    EXPECT_TRUE(navigation.SelectSequence(true));
    EXPECT_TRUE(navigation.VideoSequence());
    navigation.Reset();
    EXPECT_FALSE(navigation.ListBuilt());
    EXPECT_FALSE(navigation.RunFlag());
}

}  // namespace
