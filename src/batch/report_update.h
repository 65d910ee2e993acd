// scan --update: the entries of an earlier JSON report whose files did not
// change (same path, size, modification time and, where the system gives
// one, identity) are taken over without reading the files.
#pragma once

#include <cstdint>
#include <vector>

#include "batch/batch_file.h"
#include "batch/report_reader.h"

struct ReportUpdate {
    const char* path;
    ReportReader reader;
    bool open;
    bool whole_entries;              // the CSV or the page is written: they need every field
    std::vector<uint64_t> offsets;   // per file: where its entry starts in the earlier report
    uint64_t reused;
    uint64_t dropped;                // entries whose file is gone
};

// Reads the earlier report alongside the collection (both in its order) and
// fills the files it still describes (their timelines are read again when
// they are written). A report that is missing, or of another version, leaves
// every file to be read, with a note. False after printing the error for a
// report that cannot be read or is not one of this program's.
bool report_update_plan(ReportUpdate& update, const char* path, std::vector<BatchFile>& files, bool whole_entries);

// The report sequence's hook: reads a taken-over file's entry again, as the
// text the JSON report takes over and, where other reports need them, its
// fields.
void report_update_fill(void* context, size_t file_index, BatchFile& file);

void report_update_close(ReportUpdate& update);
