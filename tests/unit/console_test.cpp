#include <gtest/gtest.h>

#include "batch/name_text.h"
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

// Names read from the disk as console and report text: (bytes, report text, console text).
TEST(NameText, EscapesWhatIsNotValidUtf8AndControlCharacters) {
    const struct {
        const char* name;
        const char* report;
        const char* console;
    } cases[] = {
        {"Disc 1/01 \xc3\xa9t\xc3\xa9.flac", "Disc 1/01 \xc3\xa9t\xc3\xa9.flac", "Disc 1/01 \xc3\xa9t\xc3\xa9.flac"},
        {"caf\xe9.wav", "caf\\xE9.wav", "caf\\xE9.wav"},                        // Latin-1
        {"\xc0\xaf", "\\xC0\\xAF", "\\xC0\\xAF"},                                  // overlong "/"
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},                    // a surrogate
        {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80", "\\xF4\\x90\\x80\\x80"},      // past U+10FFFF
        {"\xe2\x82", "\\xE2\\x82", "\\xE2\\x82"},                                  // cut short
        {"\xf0\x9f\x8e\xb5", "\xf0\x9f\x8e\xb5", "\xf0\x9f\x8e\xb5"},             // U+1F3B5
        {"x\nError: forged", "x\nError: forged", "x\\x0AError: forged"},
        {"\x1b[31mred\x7f", "\x1b[31mred\x7f", "\\x1B[31mred\\x7F"},
        {"\xc2\x9b" "2J", "\xc2\x9b" "2J", "\\xC2\\x9B2J"},                           // C1 CSI
        {"back\\slash", "back\\\\slash", "back\\\\slash"},                         // a name's own backslash (Linux)
    };
    for (const auto& c : cases) {
        EXPECT_EQ(name_report_text(c.name), c.report) << c.name;
        EXPECT_EQ(name_console_text(c.name), c.console) << c.name;
        EXPECT_EQ(name_report_text_exact(c.name), std::string(c.name) == c.report) << c.name;
    }
    EXPECT_EQ(name_hex_bytes("a\xff/"), "61ff2f");
}
