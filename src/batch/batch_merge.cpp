#include "batch/batch_merge.h"

#include <memory>
#include <utility>
#include <vector>

#include "batch/album_summary.h"
#include "batch/batch_console.h"
#include "batch/batch_report.h"
#include "batch/report_messages.h"
#include "batch/report_reader.h"
#include "files/path_identity.h"

namespace {

// One report being read: its entry that comes next.
struct MergeInput {
    const char* path;
    ReportReader reader;
    BatchFile entry;
    bool has_entry;
};

// Moves the input to its next entry. False after printing why it failed.
bool advance(MergeInput& input) {
    char error_text[256] = "";
    uint64_t offset = 0;
    const int status = report_reader_next(input.reader, input.entry, offset, REPORT_ENTRY_WHOLE, error_text,
                                          sizeof error_text);
    input.has_entry = status == REPORT_READ_OK;
    if (status == REPORT_READ_OK || status == REPORT_READ_END) return true;
    report_print_unreadable(input.path, error_text);
    return false;
}

// Every report is read through once before anything is written, so that a
// damaged one is refused while nothing has been done.
bool check_whole(const char* path) {
    ReportReader reader;
    char error_text[256] = "";
    int status = report_reader_open(reader, path, error_text, sizeof error_text);
    while (status == REPORT_READ_OK) {
        BatchFile entry;
        uint64_t offset = 0;
        status = report_reader_next(reader, entry, offset, REPORT_ENTRY_WHOLE, error_text, sizeof error_text);
    }
    report_reader_close(reader);
    if (status == REPORT_READ_END) return true;
    report_print_unreadable(path, error_text);
    return false;
}

struct InputsGuard {
    std::vector<MergeInput>& inputs;
    ~InputsGuard() {
        for (MergeInput& input : inputs) report_reader_close(input.reader);
    }
};

}  // namespace

int batch_merge_run(const BatchOptions& options) {
    for (const char* path : options.paths) {
        if (!check_whole(path)) return 1;
    }
    for (const char* target : {options.json_path, options.csv_path, options.html_path}) {
        if (target == nullptr) continue;
        for (const char* path : options.paths) {
            if (!path_same_file(path, target)) continue;
            report_print_failure(target, "it is one of the reports to be read");
            return 1;
        }
    }
    std::vector<MergeInput> inputs(options.paths.size());
    InputsGuard guard{inputs};
    bool with_actions = true;
    for (size_t i = 0; i < inputs.size(); ++i) {
        MergeInput& input = inputs[i];
        input.path = options.paths[i];
        char error_text[256] = "";
        if (report_reader_open(input.reader, input.path, error_text, sizeof error_text) != REPORT_READ_OK) {
            report_print_unreadable(input.path, error_text);
            return 1;
        }
        with_actions = with_actions && input.reader.with_actions;
    }
    ReportSet reports{};
    if (!report_set_open(reports, options.json_path, options.csv_path, options.html_path, with_actions)) return 1;
    ReportSetGuard reports_guard{reports};
    for (MergeInput& input : inputs) {
        if (!advance(input)) return 1;
    }

    // The entries of all reports, in the collection's order: the first of the
    // next entries, and of equal ones the last report's.
    std::vector<BatchFile> files;
    uint64_t duplicates = 0;
    std::string first_duplicate;
    const char* first_duplicate_from = "";
    for (;;) {
        MergeInput* chosen = nullptr;
        for (MergeInput& input : inputs) {
            if (!input.has_entry) continue;
            if (chosen == nullptr || !batch_file_before(chosen->entry, input.entry)) chosen = &input;
        }
        if (chosen == nullptr) break;
        for (MergeInput& input : inputs) {
            if (&input == chosen || !input.has_entry || batch_file_before(chosen->entry, input.entry)) continue;
            // The same path in an earlier report: left for the later one's.
            if (duplicates == 0) {
                first_duplicate = chosen->entry.path;
                first_duplicate_from = chosen->path;
            }
            duplicates += 1;
            if (!advance(input)) return 1;
        }
        BatchFile file = std::move(chosen->entry);
        if (!advance(*chosen)) return 1;
        report_set_file(reports, file);
        file.timeline = ScanTimeline{};
        files.push_back(std::move(file));
    }

    const std::vector<BatchAlbum> albums = albums_from_files(files);
    BatchTotals totals{};
    totals_from_results(files, albums, totals);
    for (const MergeInput& input : inputs) {
        totals.elapsed_seconds += input.reader.elapsed_seconds;
        totals.cancelled = totals.cancelled || input.reader.cancelled;
    }
    if (duplicates != 0) report_print_duplicates(duplicates, first_duplicate, first_duplicate_from);
    if (!options.quiet) {
        batch_print_albums(albums);
        batch_print_totals(totals);
    }
    return report_set_finish(reports, albums, totals) ? 0 : 1;
}
