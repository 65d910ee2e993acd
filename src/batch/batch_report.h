// The reports of a run: JSON, CSV and a self-contained HTML page. Each is built
// in memory and written through a temporary name beside the target, which is
// renamed into place only once the report is complete.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "batch/album_summary.h"
#include "batch/batch_file.h"

struct BatchReport {
    const std::vector<BatchFile>* files;   // sorted by path; only scanned audio files are reported
    const std::vector<BatchAlbum>* albums;
    const BatchTotals* totals;
    bool with_actions;                     // decode: each file's action and output
};

std::string report_json_text(const BatchReport& report);
std::string report_csv_text(const BatchReport& report);
std::string report_html_text(const BatchReport& report);

// Writes text to `target` through the output room. False with the reason in
// error_text; the temporary file is then removed.
bool report_file_write(const char* target, const std::string& text, char* error_text, size_t error_capacity);

// True when a report can be written at `target`: a name that is not empty and
// not a folder, pipe or the like, in a folder that accepts a new file (probed
// with a temporary file, removed again). Checked before the run so that a
// report that cannot be written does not come to light only at the end.
bool report_file_probe(const char* target, char* error_text, size_t error_capacity);
