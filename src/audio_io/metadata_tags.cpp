#include "audio_io/metadata_tags.h"

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
