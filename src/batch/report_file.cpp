#include "batch/batch_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "platform/file_paths.h"

namespace {

std::string temporary_name(const char* target) {
    return std::string(target) + BATCH_TEMPORARY_SUFFIX;
}

void describe_errno(char* error_text, size_t error_capacity, int code) {
    format_to_buffer(error_text, error_capacity, "%s", strerror(code));
}

}  // namespace

bool report_file_probe(const char* target, char* error_text, size_t error_capacity) {
    const std::string temporary = temporary_name(target);
    FILE* file = fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        describe_errno(error_text, error_capacity, errno);
        return false;
    }
    fclose(file);
    remove(temporary.c_str());
    return true;
}

bool report_file_write(const char* target, const std::string& text, char* error_text, size_t error_capacity) {
    const std::string temporary = temporary_name(target);
    FILE* file = fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        describe_errno(error_text, error_capacity, errno);
        return false;
    }
    bool ok = fwrite(text.data(), 1, text.size(), file) == text.size();
    int code = ok ? 0 : errno;
    if (fclose(file) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        describe_errno(error_text, error_capacity, code);
        remove(temporary.c_str());
        return false;
    }
    if (!platform_move_replacing(temporary.c_str(), target, error_text, error_capacity)) {
        remove(temporary.c_str());
        return false;
    }
    return true;
}
