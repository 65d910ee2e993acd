#include <gtest/gtest.h>

#include <vector>

#include "cli/conversion_options.h"

namespace {

// Parses args (without the program name) into options; what the parser prints
// is captured away.
bool parse(std::vector<const char*> args, ConversionOptions& options) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("qv-hdcd"));
    for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool ok = conversion_options_parse(static_cast<int>(argv.size()), argv.data(), options);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return ok;
}

struct TagField {
    const char* option;
    const char* MetadataTags::*field;
};

const TagField TAG_FIELDS[] = {
    {"--title", &MetadataTags::title},
    {"--artist", &MetadataTags::artist},
    {"--album", &MetadataTags::album},
    {"--album-artist", &MetadataTags::album_artist},
    {"--albumartist", &MetadataTags::album_artist},
    {"--genre", &MetadataTags::genre},
    {"--date", &MetadataTags::date},
    {"--year", &MetadataTags::date},
    {"--track", &MetadataTags::track_number},
    {"--tracktotal", &MetadataTags::track_total},
    {"--disc", &MetadataTags::disc_number},
    {"--disctotal", &MetadataTags::disc_total},
    {"--comment", &MetadataTags::comment},
    {"--composer", &MetadataTags::composer},
    {"--copyright", &MetadataTags::copyright},
};

}  // namespace

TEST(ConversionOptionsParse, EachTagOptionFillsItsOwnFieldAndNoOther) {
    for (const TagField& tag : TAG_FIELDS) {
        ConversionOptions options;
        ASSERT_TRUE(parse({"in.wav", tag.option, "value", "out.flac"}, options)) << tag.option;
        for (const TagField& other : TAG_FIELDS) {
            const char* value = options.tags.*(other.field);
            if (other.field == tag.field) {
                ASSERT_NE(value, nullptr) << tag.option;
                EXPECT_STREQ(value, "value") << tag.option;
            } else {
                EXPECT_EQ(value, nullptr) << tag.option << " also set the field of " << other.option;
            }
        }
        EXPECT_STREQ(options.input_path, "in.wav");
        EXPECT_STREQ(options.output_path, "out.flac");
    }
}

TEST(ConversionOptionsParse, TagValuesAreTakenVerbatimAndTheLastOneWins) {
    const struct {
        std::vector<const char*> args;
        const char* MetadataTags::*field;
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
        const char* value = options.tags.*(c.field);
        ASSERT_NE(value, nullptr);
        EXPECT_STREQ(value, c.value);
        EXPECT_STREQ(options.input_path, "a");
        EXPECT_STREQ(options.output_path, "b");
        // A value that looks like a flag does not set the flag.
        EXPECT_FALSE(options.quiet || options.eac || options.overwrite || options.preserve_hdcd);
        EXPECT_TRUE(metadata_tags_any(options.tags));
    }
}

TEST(ConversionOptionsParse, FlagsAndFileNamesMayStandAnywhere) {
    ConversionOptions options;
    ASSERT_TRUE(parse({"--quiet", "-", "--preserve-hdcd", "--quiet", "-x", "--overwrite", "--eac"}, options));
    EXPECT_STREQ(options.input_path, "-");
    EXPECT_STREQ(options.output_path, "-x");
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(options.eac);
    EXPECT_TRUE(options.overwrite);
    EXPECT_TRUE(options.preserve_hdcd);
    EXPECT_FALSE(metadata_tags_any(options.tags));
}
