#include "audio_io/flac_library.h"
#include "audio_io/metadata_tags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> comments_of(const FLAC__StreamMetadata* block) {
    std::vector<std::string> comments;
    const auto& data = block->data.vorbis_comment;
    for (uint32_t i = 0; i < data.num_comments; ++i) {
        comments.emplace_back(reinterpret_cast<const char*>(data.comments[i].entry), data.comments[i].length);
    }
    return comments;
}

}  // namespace

TEST(FlacTags, CommentsFollowTheFixedOrderAndEndWithTheEncoder) {
    const MetadataTags every{"Ti", "Ar", "Al", "AA", "Rock", "1999", "3", "12", "1", "2", "Note", "Comp", "(c)"};
    MetadataTags artist_title{};
    artist_title.artist = "X";
    artist_title.title = "Y";
    MetadataTags genre_date{};
    genre_date.genre = "G";
    genre_date.date = "1999";
    MetadataTags empty_title{};
    empty_title.title = "";
    MetadataTags raw_bytes{};
    raw_bytes.comment = "  caf\xc3\xa9 = \xe2\x82\xac  ";

    const struct {
        const char* name;
        const MetadataTags& tags;
        std::vector<std::string> expected;
    } cases[] = {
        {"every field",
         every,
         {"TITLE=Ti", "ARTIST=Ar", "ALBUM=Al", "ALBUMARTIST=AA", "DATE=1999", "TRACKNUMBER=3", "TRACKTOTAL=12",
          "DISCNUMBER=1", "DISCTOTAL=2", "GENRE=Rock", "COMMENT=Note", "COMPOSER=Comp", "COPYRIGHT=(c)",
          "ENCODER=QV-HDCD 1.0.1.0"}},
        {"artist before title", artist_title, {"TITLE=Y", "ARTIST=X", "ENCODER=QV-HDCD 1.0.1.0"}},
        {"genre after date", genre_date, {"DATE=1999", "GENRE=G", "ENCODER=QV-HDCD 1.0.1.0"}},
        {"empty value left out", empty_title, {"ENCODER=QV-HDCD 1.0.1.0"}},
        {"value kept byte for byte",
         raw_bytes,
         {"COMMENT=  caf\xc3\xa9 = \xe2\x82\xac  ", "ENCODER=QV-HDCD 1.0.1.0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char error[256] = "";
        FLAC__StreamMetadata* block = tags_build_vorbis_comment(c.tags, error, sizeof error);
        ASSERT_NE(block, nullptr) << error;
        EXPECT_EQ(block->type, FLAC__METADATA_TYPE_VORBIS_COMMENT);
        EXPECT_EQ(comments_of(block), c.expected);
        metadata_block_free(block);
    }
}

TEST(FlacTags, EntriesLibFlacRefusesNameTheirField) {
    MetadataTags bad_title{};
    bad_title.title = "bad \xff\xfe";
    MetadataTags bad_composer{};
    bad_composer.title = "fine";
    bad_composer.composer = "\xc3";
    const struct {
        const char* name;
        const MetadataTags& tags;
        const char* message;
    } cases[] = {
        {"title", bad_title, "Unable to create FLAC metadata field TITLE."},
        {"composer after a good title", bad_composer, "Unable to create FLAC metadata field COMPOSER."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char error[256] = "";
        EXPECT_EQ(tags_build_vorbis_comment(c.tags, error, sizeof error), nullptr);
        EXPECT_STREQ(error, c.message);
    }

    const char* names[] = {"GOOD", "BAD=NAME"};
    const char* values[] = {"1", "2"};
    char error[256] = "";
    EXPECT_EQ(vorbis_comment_block_create(names, values, 2, error, sizeof error), nullptr);
    EXPECT_STREQ(error, "Unable to create FLAC metadata field BAD=NAME.");
}

TEST(FlacTags, AbsentPairsAreSkipped) {
    const char* names[] = {"A", nullptr, "C", "D"};
    const char* values[] = {"1", "2", nullptr, ""};
    char error[256] = "";
    FLAC__StreamMetadata* block = vorbis_comment_block_create(names, values, 4, error, sizeof error);
    ASSERT_NE(block, nullptr) << error;
    EXPECT_EQ(comments_of(block), std::vector<std::string>{"A=1"});
    metadata_block_free(block);
    metadata_block_free(nullptr);
}

TEST(FlacLibrary, LoadsOnceAndAfreshAfterUnload) {
    ASSERT_TRUE(flac_library_load());
    EXPECT_STREQ(flac_library_error_text(), "");
    EXPECT_EQ(flac_library_entry_points().attempted, 1);
    EXPECT_NE(flac_library_entry_points().metadata_object_vorbiscomment_append_comment, nullptr);
    flac_library_unload();
    EXPECT_EQ(flac_library_entry_points().attempted, 0);
    EXPECT_EQ(flac_library_entry_points().module, nullptr);
    EXPECT_TRUE(flac_library_available());
    EXPECT_NE(flac_library_entry_points().stream_decoder_new, nullptr);
}
