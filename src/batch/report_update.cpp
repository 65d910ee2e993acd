#include "batch/report_update.h"

#include <cerrno>
#include <utility>

#include "batch/report_messages.h"

namespace {

constexpr uint64_t NO_ENTRY = UINT64_MAX;

// What a scan gives for the file is known for good: anything that could not
// be read is read again.
bool entry_final(const BatchFile& entry) {
    return entry.status == BATCH_STATUS_HDCD || entry.status == BATCH_STATUS_SIGNALLING_ONLY ||
           entry.status == BATCH_STATUS_NONE || entry.status == BATCH_STATUS_DECODED;
}

bool unchanged(const BatchFile& file, const BatchFile& entry) {
    if (!file.audio || file.scanned || file.folder != entry.folder || !entry_final(entry)) return false;
    if (file.file_size != entry.file_size || !file.modified_known || !entry.modified_known) return false;
    if (file.modified_seconds != entry.modified_seconds || file.modified_nanoseconds != entry.modified_nanoseconds) {
        return false;
    }
    return !(file.identity_known && entry.identity_known) || file_identity_same(file.identity, entry.identity);
}

}  // namespace

bool report_update_plan(ReportUpdate& update, const char* path, std::vector<BatchFile>& files, bool whole_entries) {
    update.path = path;
    update.whole_entries = whole_entries;
    update.open = false;
    update.offsets.assign(files.size(), NO_ENTRY);
    update.reused = 0;
    update.dropped = 0;
    char error_text[256] = "";
    const int opened = report_reader_open(update.reader, path, error_text, sizeof error_text);
    if (opened == REPORT_READ_MISSING) {
        report_print_update_missing(path);
        return true;
    }
    if (opened == REPORT_READ_OTHER_FORMAT) {
        report_print_update_other_format(path, error_text);
        report_reader_close(update.reader);
        return true;
    }
    if (opened != REPORT_READ_OK) {
        report_print_unreadable(path, error_text);
        report_reader_close(update.reader);
        return false;
    }
    update.open = true;
    size_t next = 0;
    for (;;) {
        BatchFile entry;
        uint64_t offset = 0;
        const int status =
            report_reader_next(update.reader, entry, offset, REPORT_ENTRY_KEYS, error_text, sizeof error_text);
        if (status == REPORT_READ_END) break;
        if (status != REPORT_READ_OK) {
            report_print_unreadable(path, error_text);
            report_update_close(update);
            return false;
        }
        while (next < files.size() && batch_file_before(files[next], entry)) next += 1;
        const bool found = next < files.size() && !batch_file_before(entry, files[next]);
        if (found && unchanged(files[next], entry)) {
            report_entry_take_scan(files[next], std::move(entry));
            files[next].reused = true;
            update.offsets[next] = offset;
            update.reused += 1;
        } else if (!found && entry.audio && entry.status != BATCH_STATUS_SKIPPED) {
            update.dropped += 1;
        }
    }
    return true;
}

void report_update_fill(void* context, size_t file_index, BatchFile& file) {
    ReportUpdate& update = *static_cast<ReportUpdate*>(context);
    const uint64_t offset = update.offsets[file_index];
    std::string line;
    BatchFile entry;
    const bool found = update.open && offset != NO_ENTRY && report_reader_line_at(update.reader, offset, line);
    // The JSON takes the entry's text as it stands; the CSV and the page need
    // its fields, and a decode report's entry has more than a scan writes.
    const bool whole = update.whole_entries || update.reader.with_actions;
    if (found && (!whole || (report_entry_parse(line, update.reader.with_actions, entry) && entry.path == file.path))) {
        if (whole) report_entry_take_scan(file, std::move(entry));
        if (!update.reader.with_actions) file.report_entry = std::move(line);
        return;
    }
    report_print_update_entry_lost(update.path, file.path);
}

void report_update_close(ReportUpdate& update) {
    if (update.open) report_reader_close(update.reader);
    update.open = false;
}
