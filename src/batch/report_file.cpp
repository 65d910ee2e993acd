#include <cerrno>
#include <cstring>

#include "batch/batch_report.h"
#include "console/console.h"
#include "files/output_file.h"
#include "files/path_identity.h"

namespace {

constexpr size_t REPORT_WRITE_BUFFER = 1 << 18;

void describe_errno(char* error_text, size_t error_capacity, int code) {
    format_to_buffer(error_text, error_capacity, "%s", code != 0 ? strerror(code) : "unknown error");
}

// Looks at the target and starts its temporary file; false with the reason.
bool start_report(OutputFile& output, const char* target, char* error_text, size_t error_capacity) {
    if (target[0] == '\0') {
        format_to_buffer(error_text, error_capacity, "the name is empty");
        return false;
    }
    std::string reason;
    const int status = output_file_check(output, target, true, BATCH_TEMPORARY_TAG, reason);
    if (status != OUTPUT_FILE_OK) {
        format_to_buffer(error_text, error_capacity, "%s is %s", target, reason.c_str());
        return false;
    }
    const int opened = output_file_open(output);
    if (opened == OUTPUT_FILE_NO_TEMPORARY) {
        format_to_buffer(error_text, error_capacity, "no temporary name is free beside it");
        return false;
    }
    if (opened != OUTPUT_FILE_OK) {
        describe_errno(error_text, error_capacity, output.error_number);
        return false;
    }
    return true;
}

}  // namespace

void report_write_text(FILE* stream, const std::string& text) {
    fwrite(text.data(), 1, text.size(), stream);
}

void report_print_failure(const char* path, const char* reason) {
    print_to_stream(stderr, "Error: cannot write the report %s: %s\n", path, reason);
}

bool report_set_open(ReportSet& reports, const char* json, const char* csv, const char* html, bool with_actions) {
    reports.targets[REPORT_JSON] = json;
    reports.targets[REPORT_CSV] = csv;
    reports.targets[REPORT_HTML] = html;
    reports.with_actions = with_actions;
    for (int i = 0; i < REPORT_FORMATS; ++i) {
        const char* target = reports.targets[i];
        if (target == nullptr) continue;
        char error_text[256] = "";
        bool ok = start_report(reports.outputs[i], target, error_text, sizeof error_text);
        for (int j = 0; j < i && ok; ++j) {
            if (reports.targets[j] != nullptr && path_same_target(reports.targets[j], target)) {
                format_to_buffer(error_text, sizeof error_text, "it is also the name of another report");
                ok = false;
            }
        }
        if (!ok) {
            report_print_failure(target, error_text);
            report_set_abandon(reports);
            return false;
        }
    }
    // Large reports go out in large writes.
    for (int i = 0; i < REPORT_FORMATS; ++i) {
        if (reports.targets[i] != nullptr) setvbuf(reports.outputs[i].stream, nullptr, _IOFBF, REPORT_WRITE_BUFFER);
    }
    if (json != nullptr) report_json_begin(reports.json, reports.outputs[REPORT_JSON].stream, with_actions);
    if (csv != nullptr) report_csv_begin(reports.csv, reports.outputs[REPORT_CSV].stream, with_actions);
    if (html != nullptr) report_html_begin(reports.html, reports.outputs[REPORT_HTML].stream, with_actions);
    return true;
}

void report_set_file(ReportSet& reports, const BatchFile& file) {
    if (reports.targets[REPORT_JSON] != nullptr) report_json_file(reports.json, file);
    if (reports.targets[REPORT_CSV] != nullptr) report_csv_file(reports.csv, file);
    if (reports.targets[REPORT_HTML] != nullptr) report_html_file(reports.html, file);
}

bool report_set_finish(ReportSet& reports, const std::vector<BatchAlbum>& albums, const BatchTotals& totals) {
    if (reports.targets[REPORT_JSON] != nullptr) report_json_end(reports.json, albums, totals);
    if (reports.targets[REPORT_CSV] != nullptr) report_csv_end(reports.csv, totals);
    if (reports.targets[REPORT_HTML] != nullptr) report_html_end(reports.html, albums, totals);
    bool ok = true;
    for (int i = 0; i < REPORT_FORMATS; ++i) {
        if (reports.targets[i] == nullptr) continue;
        char error_text[256] = "";
        OutputFile& output = reports.outputs[i];
        const int status = output_file_commit(output, error_text, sizeof error_text);
        if (status == OUTPUT_FILE_FAILED) describe_errno(error_text, sizeof error_text, output.error_number);
        if (status != OUTPUT_FILE_OK) {
            report_print_failure(reports.targets[i], error_text);
            ok = false;
        }
        reports.targets[i] = nullptr;
    }
    return ok;
}

void report_set_abandon(ReportSet& reports) {
    for (int i = 0; i < REPORT_FORMATS; ++i) {
        output_file_abandon(reports.outputs[i]);
        reports.targets[i] = nullptr;
    }
}
