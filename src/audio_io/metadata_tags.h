// Tags given on the command line, written to FLAC output as Vorbis comments.
#pragma once

#include <cstddef>
#include <cstdint>

struct FLAC__StreamMetadata;

// Each value is absent (nullptr) or a borrowed argument string, which may be empty.
struct MetadataTags {
    const char* title;
    const char* artist;
    const char* album;
    const char* album_artist;
    const char* genre;
    const char* date;
    const char* track_number;
    const char* track_total;
    const char* disc_number;
    const char* disc_total;
    const char* comment;
    const char* composer;
    const char* copyright;
};

// True when at least one of the thirteen values is present (an empty one included).
bool metadata_tags_any(const MetadataTags& tags);

// Builds one VORBIS_COMMENT block from the tags, or returns nullptr with a
// message in error_text. The comments stand in a fixed order, whatever the order
// of the options, and end with ENCODER=QV-HDCD 1.0.1.0.
FLAC__StreamMetadata* tags_build_vorbis_comment(const MetadataTags& tags, char* error_text,
                                                size_t error_capacity);

// Builds a VORBIS_COMMENT block holding NAME=value for each pair of the two
// parallel lists, in list order; pairs with an absent name or value, or an empty
// value, are left out. Values are passed on byte for byte. nullptr on failure,
// with a message in error_text.
FLAC__StreamMetadata* vorbis_comment_block_create(const char* const* names, const char* const* values,
                                                  uint32_t count, char* error_text, size_t error_capacity);

// Deletes a block built by this program; does nothing for nullptr or when
// libFLAC is not loaded.
void metadata_block_free(FLAC__StreamMetadata* block);
