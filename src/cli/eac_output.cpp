#include "cli/eac_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/console.h"
#include "platform/file_identity.h"
#include "platform/file_paths.h"

namespace {

constexpr unsigned EAC_TEMP_ATTEMPTS = 1000;

char fold_ascii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_folding_ascii(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (fold_ascii(*a) != fold_ascii(*b)) return false;
    }
    return *a == *b;
}

// Only a name that does not exist is free: a file that exists but cannot be
// opened is still somebody's file, and the run would remove it on failure.
bool name_is_free(const char* path) {
    errno = 0;
    FILE* probe = fopen(path, "rb");
    if (probe != nullptr) {
        fclose(probe);
        return false;
    }
    return errno == ENOENT;
}

}  // namespace

bool same_file(const char* input_path, const char* output_path) {
    std::string input_full;
    std::string output_full;
    const bool both_absolute =
        platform_absolute_path(input_path, input_full) && platform_absolute_path(output_path, output_full);
    const bool names_equal = both_absolute ? equal_folding_ascii(input_full.c_str(), output_full.c_str())
                                           : equal_folding_ascii(input_path, output_path);
    return names_equal || platform_same_existing_file(input_path, output_path);
}

bool choose_eac_temp_path(const char* output_path, char* temp_path, size_t capacity) {
    const size_t length = strlen(output_path);
    if (length >= capacity) return false;
    // The extension comes from the file name only: a '.' in a directory name
    // must not move the temporary file into another directory.
    size_t name_start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (output_path[i] == '/' || output_path[i] == '\\') name_start = i + 1;
    }
    const char* dot = strrchr(output_path + name_start, '.');
    const int stem_length = static_cast<int>(dot != nullptr ? static_cast<size_t>(dot - output_path) : length);
    const char* extension = dot != nullptr ? dot : ".tmp";

    for (unsigned attempt = 0; attempt < EAC_TEMP_ATTEMPTS; ++attempt) {
        const int written =
            attempt == 0
                ? format_to_buffer(temp_path, capacity, "%.*s.qv-hdcd-eac.tmp%s", stem_length, output_path, extension)
                : format_to_buffer(temp_path, capacity, "%.*s.qv-hdcd-eac-%u.tmp%s", stem_length, output_path,
                                   attempt, extension);
        if (written < 0 || static_cast<size_t>(written) >= capacity) return false;
        if (name_is_free(temp_path)) return true;
    }
    return false;
}

bool file_has_data(const char* path) {
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    const bool has_data = fgetc(file) != EOF;
    fclose(file);
    return has_data;
}

bool eac_output_choose_temp(EacOutput& plan, const char* output_path) {
    if (!plan.through_temp) return true;
    if (choose_eac_temp_path(output_path, plan.temp_path, sizeof plan.temp_path)) return true;
    print_to_stream(stderr, "Error: could not create a safe EAC temporary output path.\n");
    return false;
}

const char* eac_output_write_path(const EacOutput& plan, const char* output_path) {
    return plan.through_temp ? plan.temp_path : output_path;
}

void eac_output_abandon(const EacOutput& plan) {
    if (plan.through_temp) remove(plan.temp_path);
}

int eac_output_complete(const EacOutput& plan, const char* output_path) {
    if (plan.through_temp) {
        if (!file_has_data(plan.temp_path)) {
            print_to_stream(stderr, "Error: EAC temporary output is missing or empty.\n");
            remove(plan.temp_path);
            return 1;
        }
        char failure[256] = "";
        if (!platform_move_replacing(plan.temp_path, output_path, failure, sizeof failure)) {
            print_to_stream(stderr, "Error: could not move EAC temporary output into place (%s).\n", failure);
            remove(plan.temp_path);
            return 1;
        }
    }
    if (plan.check_output && !file_has_data(output_path)) {
        print_to_stream(stderr, "Error: EAC requested output was not created or is empty.\n");
        return 1;
    }
    return 0;
}
