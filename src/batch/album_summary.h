// Albums (the folders that hold audio files) and the totals of a run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "batch/batch_file.h"

struct BatchAlbum {
    std::string path;
    uint32_t tracks;
    uint32_t hdcd;
    uint32_t signalling_only;
    uint32_t decoded;           // a decoder's output already: counted apart from HDCD
    uint32_t none;
    uint32_t errors;            // tracks that could not be read, and entries of the folder the walk could not read
};

struct BatchTotals {
    uint64_t files;             // audio files read (or failed)
    uint64_t skipped;           // other files, and entries skipped unopened
    uint64_t albums;
    uint64_t hdcd_albums;
    uint64_t hdcd_tracks;
    uint64_t signalling_only_tracks;
    uint64_t decoded_tracks;
    uint64_t errors;            // audio files that could not be read, and entries the walk could not read
    uint64_t bytes_read;
    double elapsed_seconds;
    // An update of an earlier report: entries taken over unread, files read
    // anew, and entries dropped because their file is gone.
    bool update;
    uint64_t reused;
    uint64_t rescanned;
    uint64_t dropped;
    bool cancelled;
};

// The albums of the scanned audio files, sorted by path.
std::vector<BatchAlbum> albums_from_files(const std::vector<BatchFile>& files);

// "HDCD" (a track whose decoding changes the audio), "HDCD, already decoded"
// (none, but a decoder's output among the tracks: what signalling-only tracks
// beside it hold would not change), "HDCD signalling only", "not HDCD", or
// "unreadable" for a folder whose entries could not be read and that has no
// track.
const char* album_verdict(const BatchAlbum& album);

void totals_from_results(const std::vector<BatchFile>& files, const std::vector<BatchAlbum>& albums,
                         BatchTotals& totals);
