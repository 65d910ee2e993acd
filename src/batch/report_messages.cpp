#include "batch/report_messages.h"

#include <cstdio>

#include "batch/name_text.h"
#include "console/console.h"

void report_print_unreadable(const char* path, const char* reason) {
    print_to_stream(stderr, "Error: cannot read the report %s: %s\n", name_console_text(path).c_str(), reason);
}

void report_print_update_missing(const char* path) {
    print_to_stream(stderr, "Note: %s does not exist yet: every file is read.\n", name_console_text(path).c_str());
}

void report_print_update_other_format(const char* path, const char* reason) {
    print_to_stream(stderr, "Note: %s: %s; every file is read again.\n", name_console_text(path).c_str(), reason);
}

void report_print_update_counts(const char* path, uint64_t reused, uint64_t scanned, uint64_t dropped) {
    print_to_stdout("Updated %s: %llu %s taken over, %llu %s read, %llu %s dropped\n", name_console_text(path).c_str(),
                    static_cast<unsigned long long>(reused), reused == 1 ? "entry" : "entries",
                    static_cast<unsigned long long>(scanned), scanned == 1 ? "file" : "files",
                    static_cast<unsigned long long>(dropped), dropped == 1 ? "entry" : "entries");
}

void report_print_update_entry_lost(const char* path, const std::string& file) {
    print_to_stream(stderr, "Warning: %s changed during the run: the timeline of %s is left out.\n",
                    name_console_text(path).c_str(), name_console_text(file).c_str());
}

void report_print_duplicates(uint64_t count, const std::string& first_path, const char* kept_from) {
    print_to_stream(stderr,
                    "Note: %llu %s in more than one report; each is taken from the last report that has it "
                    "(%s from %s).\n",
                    static_cast<unsigned long long>(count), count == 1 ? "file is" : "files are",
                    name_console_text(first_path).c_str(), name_console_text(kept_from).c_str());
}
