#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "hdcd/hdcd_tables.h"

namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(HdcdTables, CheckedInFileIsTheGeneratorOutput) {
    const std::string output = std::string(QV_BINARY_DIR) + "/hdcd_tables_generated.cpp";
    std::remove(output.c_str());
    const std::string command = "/usr/bin/python3 \"" + std::string(QV_SOURCE_DIR) +
                                "/scripts/generate_hdcd_tables.py\" \"" + output + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string generated = read_file(output);
    ASSERT_FALSE(generated.empty());
    EXPECT_TRUE(generated == read_file(std::string(QV_SOURCE_DIR) + "/src/hdcd/hdcd_tables.cpp"))
        << "src/hdcd/hdcd_tables.cpp differs from the generator's output";
    std::remove(output.c_str());
}

TEST(HdcdTables, PeakExtendCurveAnchorsAndShape) {
    EXPECT_EQ(PEAK_EXTEND_TABLE[0], 750813952);   // 0x2CC083 << 8
    EXPECT_EQ(PEAK_EXTEND_TABLE[1], 750847488);   // one step of 131
    EXPECT_EQ(PEAK_EXTEND_TABLE[9854], 2146664448);
    EXPECT_EQ(PEAK_EXTEND_TABLE[9855], INT32_MIN);
    // Row starts and a step exception inside a row (149 instead of 150 at 25045).
    EXPECT_EQ(PEAK_EXTEND_TABLE[23424 - 22913], 0x2DC600 * 256);
    EXPECT_EQ(PEAK_EXTEND_TABLE[32064 - 22913], 0x5DA000 * 256);
    EXPECT_EQ(PEAK_EXTEND_TABLE[25046 - 22913] - PEAK_EXTEND_TABLE[25045 - 22913], 149 * 256);
    for (int i = 1; i < 9855; ++i) {
        ASSERT_GT(PEAK_EXTEND_TABLE[i], PEAK_EXTEND_TABLE[i - 1]) << "at entry " << i;
    }
}

TEST(HdcdTables, LowLevelGainAnchorsAndShape) {
    // Built from single-precision gains; the double-only formula differs here.
    const struct { int index; int32_t gain; } anchors[] = {
        {0, 8388608}, {1, 8384836}, {128, 7919356}, {1024, 5292854}, {1920, 3537446},
    };
    for (const auto& a : anchors) EXPECT_EQ(LOW_LEVEL_GAIN_TABLE[a.index], a.gain) << "index " << a.index;
    for (int j = 1; j < LOW_LEVEL_GAIN_TABLE_SIZE; ++j) {
        ASSERT_LT(LOW_LEVEL_GAIN_TABLE[j], LOW_LEVEL_GAIN_TABLE[j - 1]) << "at entry " << j;
    }
}
