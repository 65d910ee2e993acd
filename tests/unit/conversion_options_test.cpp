#include <gtest/gtest.h>

#include <vector>

#include "cli/conversion_options.h"

namespace {

using Field = const char* MetadataTags::*;

// Parses args (without the program name), capturing what the parser prints.
bool parse(std::vector<const char*> args, ConversionOptions& options) {
    args.insert(args.begin(), "qv-hdcd");
    testing::internal::CaptureStderr();
    const bool ok = conversion_options_parse(static_cast<int>(args.size()), const_cast<char**>(args.data()), options);
    testing::internal::GetCapturedStderr();
    return ok;
}

}  // namespace

TEST(ConversionOptionsParse, TagValuesAreVerbatimAndTheLastOneWins) {
    const struct {
        std::vector<const char*> args;
        Field field;
        const char* value;
    } cases[] = {
        {{"--date", "1999", "--year", "2001", "a", "b"}, &MetadataTags::date, "2001"},
        {{"--year", "2001", "a", "b", "--date", "1999"}, &MetadataTags::date, "1999"},
        {{"--album-artist", "Y", "--albumartist", "X", "a", "b"}, &MetadataTags::album_artist, "X"},
        {{"--title", "--quiet", "a", "b"}, &MetadataTags::title, "--quiet"},
        {{"a", "--track", "--", "b"}, &MetadataTags::track_number, "--"},
        {{"a", "b", "--comment", ""}, &MetadataTags::comment, ""},
        {{"a", "--genre", "c.wav", "b"}, &MetadataTags::genre, "c.wav"},
    };
    for (const auto& c : cases) {
        ConversionOptions options;
        ASSERT_TRUE(parse(c.args, options)) << c.args[0];
        EXPECT_STREQ(options.tags.*(c.field), c.value);
        EXPECT_STREQ(options.input_path, "a");
        EXPECT_STREQ(options.output_path, "b");
        EXPECT_FALSE(options.quiet || options.eac || options.overwrite || options.preserve_hdcd);
    }
}
