// The reports of a run: JSON, CSV and a self-contained HTML page. Each is
// written as the files' results arrive, in the collection's order, to a
// temporary name beside its target, and renamed into place only once it is
// complete: no report holds the whole collection in memory.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/album_summary.h"
#include "batch/batch_file.h"
#include "batch/report_html.h"
#include "files/output_file.h"

// What a report lists of a file: the JSON lists every entry the walk found
// (other files too, so that reports can be merged); CSV and HTML list what
// batch_file_reported keeps.
struct JsonReport {
    FILE* stream;
    bool with_actions;
    uint64_t entries;
};
void report_json_begin(JsonReport& report, FILE* stream, bool with_actions);
void report_json_file(JsonReport& report, const BatchFile& file);
void report_json_end(JsonReport& report, const std::vector<BatchAlbum>& albums, const BatchTotals& totals);

struct CsvReport {
    FILE* stream;
    bool with_actions;
};
void report_csv_begin(CsvReport& report, FILE* stream, bool with_actions);
void report_csv_file(CsvReport& report, const BatchFile& file);
void report_csv_end(CsvReport& report, const BatchTotals& totals);

enum ReportFormat { REPORT_JSON = 0, REPORT_CSV = 1, REPORT_HTML = 2, REPORT_FORMATS = 3 };

// The reports asked for, open while the run lasts.
struct ReportSet {
    const char* targets[REPORT_FORMATS];   // null: not asked for
    OutputFile outputs[REPORT_FORMATS];
    bool with_actions;
    JsonReport json;
    CsvReport csv;
    HtmlReport html;
};

// Starts every report asked for: each target is checked (not empty, not a
// folder, pipe or the like, not another report, in a folder that takes a new
// file) and its temporary file created. False after printing the argument
// error; nothing is then left behind.
bool report_set_open(ReportSet& reports, const char* json, const char* csv, const char* html, bool with_actions);

// The next file in the collection's order.
void report_set_file(ReportSet& reports, const BatchFile& file);

// Ends every report and puts it in place. False after printing what failed.
bool report_set_finish(ReportSet& reports, const std::vector<BatchAlbum>& albums, const BatchTotals& totals);

// Removes the temporary files of reports not finished.
void report_set_abandon(ReportSet& reports);

struct ReportSetGuard {
    ReportSet& reports;
    ~ReportSetGuard() { report_set_abandon(reports); }
};

// Writes the text to a report's stream; a failed write shows when the report
// is put in place.
void report_write_text(FILE* stream, const std::string& text);

// "Error: cannot write the report PATH: REASON".
void report_print_failure(const char* path, const char* reason);
