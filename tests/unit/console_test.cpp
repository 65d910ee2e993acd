#include <gtest/gtest.h>

#include "console/console.h"

TEST(ProgressPercent, TruncatesClampsAndHandlesEmptyTotals) {
    const struct {
        uint64_t done, total;
        int percent;
    } cases[] = {
        {0, 0, 0}, {12345, 0, 0}, {2, 3, 66}, {3, 3, 100}, {7, 3, 100}, {UINT64_MAX, 1, 100},
        {3456000000ULL, 6912000000ULL, 50},  // ten hours at 192 kHz: no 32-bit overflow
    };
    for (const auto& c : cases) EXPECT_EQ(progress_percent(c.done, c.total), c.percent) << c.done << "/" << c.total;
}
