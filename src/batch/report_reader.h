// Reads a JSON report back, one file entry at a time, in the order it lists
// them (the collection's order): what an update takes over and what a merge
// combines. Only reports this program writes are taken, in its own layout
// and format; anything else is refused with the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/batch_file.h"

enum ReportReadStatus {
    REPORT_READ_OK = 0,
    REPORT_READ_END = 1,        // next: the files list is over
    REPORT_READ_UNREADABLE = 2,  // could not be opened or read
    REPORT_READ_FOREIGN = 3,    // not a report of this program, or damaged
    REPORT_READ_OTHER_FORMAT = 4,  // a report of another version of this program
    REPORT_READ_MISSING = 5,    // nothing is at the path
};

struct ReportReader {
    FILE* stream;
    std::string version;       // of the program that wrote it
    bool with_actions;         // written by decode: entries carry an action
    uint64_t line_number;      // of the line last read, for messages
    std::vector<char> buffer;  // read ahead, from buffer_offset
    size_t buffer_start;
    uint64_t buffer_offset;
    bool read_failed;
    // What follows the files list, once it was reached.
    double elapsed_seconds;
    bool cancelled;
    std::string last_path;     // the order check
    bool last_folder;
    bool any_entry;
};

// Opens the report and reads its head. REPORT_READ_OK, or a failure with the
// reason in error_text.
int report_reader_open(ReportReader& reader, const char* path, char* error_text, size_t error_capacity);

enum ReportEntryPart {
    REPORT_ENTRY_WHOLE = 0,   // every field, the timeline too
    REPORT_ENTRY_KEYS = 1,    // what tells whether the file changed, and its status: the fields an
                              // entry begins with, so that an update of a large report reads little
};

// The next entry, as a file of the collection with the fields asked for.
// `offset` receives where the entry starts, for report_reader_line_at.
// REPORT_READ_END after the last entry (the totals are then read);
// REPORT_READ_FOREIGN for a damaged entry, one out of order, or a report that
// ends early.
int report_reader_next(ReportReader& reader, BatchFile& file, uint64_t& offset, int part, char* error_text,
                       size_t error_capacity);

// The text of the entry that starts at `offset` (without the comma that
// follows it). Reading entries forward stays within what was read ahead.
// False when it is not there any more.
bool report_reader_line_at(ReportReader& reader, uint64_t offset, std::string& line);

// An entry's text as a file with every field. False when it is not one.
bool report_entry_parse(const std::string& line, bool with_actions, BatchFile& file);

void report_reader_close(ReportReader& reader);

// Fills the fields the scan gives (status, format, summary, timeline...) of
// `file` from those of `from`, leaving what the walk found (path, size, time,
// identity, suffix).
void report_entry_take_scan(BatchFile& file, BatchFile&& from);
