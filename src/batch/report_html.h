// The HTML report, written album by album as the files arrive in the
// collection's order. Only the open album's text waits in memory; of the
// albums already written a few fields stay for the albums table, which is
// written last and shown on top.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/album_summary.h"
#include "batch/batch_file.h"

// One HDCD track's row in its album's summary picture, drawn over a fixed
// width and stretched to the track's length when the album closes.
struct HtmlStrip {
    std::string name;          // escaped
    uint64_t track_id;
    double seconds;
    std::string gain;          // path data: the gain, hanging from the row's top
    std::string peak_extend;   // path data: the Peak Extend share, rising from its bottom
};

// An album whose section is written: what its row in the albums table needs.
struct HtmlAlbumMark {
    std::string path;
    double seconds;            // of its audio
    bool hdcd;                 // it has an HDCD track
};

struct HtmlReport {
    FILE* stream;
    bool with_actions;
    std::vector<HtmlAlbumMark> albums;  // the section id of each is its index
    bool open;                 // the last of `albums` still takes files
    uint32_t open_rows;
    uint32_t open_pictures;
    std::string rows;          // the open album's tracks table
    std::string pictures;      // the open album's track pictures
    std::vector<HtmlStrip> strips;
    uint64_t tracks;           // track pictures so far: the next one's id
};

void report_html_begin(HtmlReport& report, FILE* stream, bool with_actions);
void report_html_file(HtmlReport& report, const BatchFile& file);
void report_html_end(HtmlReport& report, const std::vector<BatchAlbum>& albums, const BatchTotals& totals);
