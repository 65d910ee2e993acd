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

TEST(ConversionOptionsParse, EachTagOptionFillsItsOwnFieldAndNoOther) {
    const struct {
        const char* option;
        Field field;
    } tags[] = {
        {"--title", &MetadataTags::title},           {"--artist", &MetadataTags::artist},
        {"--album", &MetadataTags::album},           {"--album-artist", &MetadataTags::album_artist},
        {"--albumartist", &MetadataTags::album_artist}, {"--genre", &MetadataTags::genre},
        {"--date", &MetadataTags::date},             {"--year", &MetadataTags::date},
        {"--track", &MetadataTags::track_number},    {"--tracktotal", &MetadataTags::track_total},
        {"--disc", &MetadataTags::disc_number},      {"--disctotal", &MetadataTags::disc_total},
        {"--comment", &MetadataTags::comment},       {"--composer", &MetadataTags::composer},
        {"--copyright", &MetadataTags::copyright},
    };
    for (const auto& tag : tags) {
        ConversionOptions options;
        ASSERT_TRUE(parse({"in.wav", tag.option, "value", "out.flac"}, options)) << tag.option;
        for (const auto& other : tags) {
            const char* value = options.tags.*(other.field);
            EXPECT_STREQ(value ? value : "(unset)", other.field == tag.field ? "value" : "(unset)")
                << tag.option << " / " << other.option;
        }
    }
}

TEST(ConversionOptionsParse, TagValuesAreVerbatimAndTheLastOneWins) {
    const struct {
        std::vector<const char*> args;
        Field field;
        const char* value;
    } cases[] = {
        {{"--date", "1999", "--year", "2001", "a", "b"}, &MetadataTags::date, "2001"},
        {{"--year", "2001", "a", "b", "--date", "1999"}, &MetadataTags::date, "1999"},
        {{"--albumartist", "X", "--album-artist", "Y", "a", "b"}, &MetadataTags::album_artist, "Y"},
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
