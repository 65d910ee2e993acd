#include "batch/batch_report.h"

#include <cerrno>
#include <cstring>

#include "console/console.h"
#include "files/output_file.h"

namespace {

void describe_errno(char* error_text, size_t error_capacity, int code) {
    format_to_buffer(error_text, error_capacity, "%s", code != 0 ? strerror(code) : "unknown error");
}

// Looks at the target and starts its temporary file; false with the reason.
bool start_report(OutputFile& output, const char* target, char* error_text, size_t error_capacity) {
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

bool report_file_probe(const char* target, char* error_text, size_t error_capacity) {
    if (target[0] == '\0') {
        format_to_buffer(error_text, error_capacity, "the name is empty");
        return false;
    }
    OutputFile output{};
    const bool ok = start_report(output, target, error_text, error_capacity);
    output_file_abandon(output);
    return ok;
}

bool report_file_write(const char* target, const std::string& text, char* error_text, size_t error_capacity) {
    OutputFile output{};
    OutputFileGuard guard{output};
    if (!start_report(output, target, error_text, error_capacity)) return false;
    if (fwrite(text.data(), 1, text.size(), output.stream) != text.size()) {
        describe_errno(error_text, error_capacity, errno);
        return false;
    }
    const int status = output_file_commit(output, error_text, error_capacity);
    if (status == OUTPUT_FILE_FAILED) describe_errno(error_text, error_capacity, output.error_number);
    return status == OUTPUT_FILE_OK;
}
