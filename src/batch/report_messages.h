// What scan --update and the report command print about the reports they read.
#pragma once

#include <cstdint>
#include <string>

// "Error: cannot read the report PATH: REASON", on stderr.
void report_print_unreadable(const char* path, const char* reason);

// --update of a report that cannot be taken over as it is: every file is read.
void report_print_update_missing(const char* path);
void report_print_update_other_format(const char* path, const char* reason);

// "Updated PATH: N entries taken over, N files read, N entries dropped".
void report_print_update_counts(const char* path, uint64_t reused, uint64_t scanned, uint64_t dropped);

// An entry of the earlier report could not be read again while the run wrote it.
void report_print_update_entry_lost(const char* path, const std::string& file);

// Entries found in more than one report: the later report's are kept.
void report_print_duplicates(uint64_t count, const std::string& first_path, const char* kept_from);
