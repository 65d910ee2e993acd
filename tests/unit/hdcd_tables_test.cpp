#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "hdcd/hdcd_tables.h"

TEST(HdcdTables, CheckedInFileIsTheGeneratorOutput) {
    const std::string output = std::string(QV_BINARY_DIR) + "/hdcd_tables_generated.cpp";
    const auto read = [](const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path, std::ios::binary).rdbuf();
        return text.str();
    };
    std::remove(output.c_str());
    const std::string command =
        "/usr/bin/python3 \"" QV_SOURCE_DIR "/scripts/generate_hdcd_tables.py\" \"" + output + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string generated = read(output);
    std::remove(output.c_str());
    ASSERT_FALSE(generated.empty());
    EXPECT_TRUE(generated == read(QV_SOURCE_DIR "/src/hdcd/hdcd_tables.cpp"))
        << "src/hdcd/hdcd_tables.cpp differs from the generator's output";
}

TEST(HdcdTables, TellingValues) {
    // Peak Extend: row starts, and a step of 149 instead of 150 inside a row.
    EXPECT_EQ(PEAK_EXTEND_TABLE[1], 750847488);
    EXPECT_EQ(PEAK_EXTEND_TABLE[23424 - 22913], 0x2DC600 * 256);
    EXPECT_EQ(PEAK_EXTEND_TABLE[32064 - 22913], 0x5DA000 * 256);
    EXPECT_EQ(PEAK_EXTEND_TABLE[25046 - 22913] - PEAK_EXTEND_TABLE[25045 - 22913], 149 * 256);
    // Low-Level Gain, from single-precision gains; a double-only formula differs.
    const int32_t anchors[][2] = {{0, 8388608}, {1, 8384836}, {128, 7919356}, {1024, 5292854}, {1920, 3537446}};
    for (const auto& a : anchors) EXPECT_EQ(LOW_LEVEL_GAIN_TABLE[a[0]], a[1]) << "index " << a[0];
}
