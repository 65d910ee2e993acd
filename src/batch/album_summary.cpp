#include "batch/album_summary.h"

#include <map>

std::vector<BatchAlbum> albums_from_files(const std::vector<BatchFile>& files) {
    std::map<std::string, BatchAlbum> by_folder;
    for (const BatchFile& file : files) {
        const bool walk_error = !file.audio && file.status == BATCH_STATUS_ERROR;
        if (!file.scanned || !(file.audio || walk_error)) continue;
        const std::string folder = batch_file_folder(file);
        BatchAlbum& album = by_folder[folder];
        album.path = folder;
        if (walk_error) {
            // A folder or entry that could not be read: an error of the album, not a track.
            album.errors += 1;
            continue;
        }
        album.tracks += 1;
        switch (file.status) {
            case BATCH_STATUS_HDCD: album.hdcd += 1; break;
            case BATCH_STATUS_SIGNALLING_ONLY: album.signalling_only += 1; break;
            case BATCH_STATUS_DECODED: album.decoded += 1; break;
            case BATCH_STATUS_ERROR: album.errors += 1; break;
            default: album.none += 1; break;
        }
    }
    std::vector<BatchAlbum> albums;
    albums.reserve(by_folder.size());
    for (auto& entry : by_folder) albums.push_back(std::move(entry.second));
    return albums;
}

const char* album_verdict(const BatchAlbum& album) {
    if (album.tracks == 0) return "unreadable";
    if (album.hdcd != 0) return "HDCD";
    if (album.decoded != 0) return "HDCD, already decoded";
    if (album.signalling_only != 0) return "HDCD signalling only";
    return "not HDCD";
}

void totals_from_results(const std::vector<BatchFile>& files, const std::vector<BatchAlbum>& albums,
                         BatchTotals& totals) {
    totals.files = totals.skipped = totals.hdcd_tracks = totals.signalling_only_tracks = totals.decoded_tracks = 0;
    totals.errors = 0;
    totals.bytes_read = 0;
    for (const BatchFile& file : files) {
        if (!file.audio) {
            if (file.status == BATCH_STATUS_ERROR) {
                totals.errors += 1;
            } else {
                totals.skipped += 1;
            }
            continue;
        }
        if (!file.scanned) continue;
        totals.files += 1;
        totals.bytes_read += file.file_size;
        if (file.status == BATCH_STATUS_HDCD) totals.hdcd_tracks += 1;
        if (file.status == BATCH_STATUS_SIGNALLING_ONLY) totals.signalling_only_tracks += 1;
        if (file.status == BATCH_STATUS_DECODED) totals.decoded_tracks += 1;
        if (file.status == BATCH_STATUS_ERROR) totals.errors += 1;
    }
    totals.albums = albums.size();
    totals.hdcd_albums = 0;
    for (const BatchAlbum& album : albums) totals.hdcd_albums += album.hdcd != 0 ? 1 : 0;
}
