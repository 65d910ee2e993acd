// Tags given on the command line, written to FLAC output as Vorbis comments.
#pragma once

#include <cstddef>

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
// message in error_text.
FLAC__StreamMetadata* tags_build_vorbis_comment(const MetadataTags& tags, char* error_text,
                                                size_t error_capacity);

// Deletes a block built by this program; does nothing for nullptr.
void metadata_block_free(FLAC__StreamMetadata* block);
