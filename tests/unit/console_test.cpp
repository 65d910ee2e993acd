#include <gtest/gtest.h>

#include <cstring>

#include "cli/console.h"

TEST(ProgressPercent, TruncatesClampsAndHandlesEmptyTotals) {
    EXPECT_EQ(progress_percent(0, 0), 0);
    EXPECT_EQ(progress_percent(12345, 0), 0);
    EXPECT_EQ(progress_percent(1, 3), 33);
    EXPECT_EQ(progress_percent(2, 3), 66);  // truncates, never rounds up
    EXPECT_EQ(progress_percent(3, 3), 100);
    EXPECT_EQ(progress_percent(7, 3), 100);  // more frames than expected
    EXPECT_EQ(progress_percent(UINT64_MAX, 1), 100);
    // A 10-hour 192 kHz file: the 64-bit product still gives the exact value.
    const uint64_t total = 6912000000ULL;
    EXPECT_EQ(progress_percent(total / 2, total), 50);
}

TEST(FormatToBuffer, ReportsFullLengthAndCutsSafely) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(format_to_buffer(buffer, sizeof buffer, "%s", "abc"), 3);
    EXPECT_STREQ(buffer, "abc");

    // Exactly fits: 7 characters and the terminator.
    EXPECT_EQ(format_to_buffer(buffer, sizeof buffer, "%s", "1234567"), 7);
    EXPECT_STREQ(buffer, "1234567");

    // One too long: cut to size - 1 characters, result not below the size.
    const int length = format_to_buffer(buffer, sizeof buffer, "%s-%u", "abcdef", 42u);
    EXPECT_EQ(length, 9);
    EXPECT_GE(length, static_cast<int>(sizeof buffer));
    EXPECT_STREQ(buffer, "abcdef-");
}
