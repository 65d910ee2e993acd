#include "audio_io/metadata_tags.h"

#include "audio_io/flac_library.h"
#include "console/console.h"
#include "console/version_info.h"

#include <cstdlib>

namespace {

const uint32_t MAX_COMMENTS = 14;

}  // namespace

bool metadata_tags_any(const MetadataTags& tags) {
    const char* const values[] = {tags.title,       tags.artist,       tags.album,       tags.album_artist,
                                  tags.genre,       tags.date,         tags.track_number, tags.track_total,
                                  tags.disc_number, tags.disc_total,   tags.comment,     tags.composer,
                                  tags.copyright};
    for (const char* value : values) {
        if (value != nullptr) return true;
    }
    return false;
}

FLAC__StreamMetadata* tags_build_vorbis_comment(const MetadataTags& tags, char* error_text,
                                                size_t error_capacity) {
    // GENRE follows the disc fields here, unlike in the record.
    const struct {
        const char* name;
        const char* value;
    } fields[] = {
        {"TITLE", tags.title},
        {"ARTIST", tags.artist},
        {"ALBUM", tags.album},
        {"ALBUMARTIST", tags.album_artist},
        {"DATE", tags.date},
        {"TRACKNUMBER", tags.track_number},
        {"TRACKTOTAL", tags.track_total},
        {"DISCNUMBER", tags.disc_number},
        {"DISCTOTAL", tags.disc_total},
        {"GENRE", tags.genre},
        {"COMMENT", tags.comment},
        {"COMPOSER", tags.composer},
        {"COPYRIGHT", tags.copyright},
    };
    // Absent and empty values are left out by vorbis_comment_block_create.
    const char* names[MAX_COMMENTS];
    const char* values[MAX_COMMENTS];
    uint32_t count = 0;
    for (const auto& field : fields) {
        names[count] = field.name;
        values[count] = field.value;
        ++count;
    }
    names[count] = "ENCODER";
    values[count] = QV_PRODUCT_VERSION_LINE;
    ++count;
    return vorbis_comment_block_create(names, values, count, error_text, error_capacity);
}

FLAC__StreamMetadata* vorbis_comment_block_create(const char* const* names, const char* const* values,
                                                  uint32_t count, char* error_text, size_t error_capacity) {
    if (!flac_library_require(error_text, error_capacity)) return nullptr;
    const FlacLibrary& flac = flac_library_entry_points();
    FLAC__StreamMetadata* block = flac.metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (block == nullptr) {
        format_to_buffer(error_text, error_capacity, "Unable to allocate FLAC Vorbis-comment metadata.");
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (names[i] == nullptr || values[i] == nullptr || values[i][0] == '\0') continue;
        FLAC__StreamMetadata_VorbisComment_Entry entry = {};
        if (!flac.metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, names[i], values[i])) {
            format_to_buffer(error_text, error_capacity, "Unable to create FLAC metadata field %s.", names[i]);
            flac.metadata_object_delete(block);
            return nullptr;
        }
        // The block takes the entry's text over; on refusal it stays ours.
        if (!flac.metadata_object_vorbiscomment_append_comment(block, entry, false)) {
            free(entry.entry);
            format_to_buffer(error_text, error_capacity, "Unable to append FLAC metadata field %s.", names[i]);
            flac.metadata_object_delete(block);
            return nullptr;
        }
    }
    return block;
}

void metadata_block_free(FLAC__StreamMetadata* block) {
    if (block == nullptr || !flac_library_entry_points().loaded) return;
    flac_library_entry_points().metadata_object_delete(block);
}
