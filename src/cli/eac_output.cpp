#include "cli/eac_output.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "console/console.h"
#include "platform/file_access.h"
#include "platform/file_identity.h"
#include "platform/file_paths.h"
#include "platform/read_probe.h"

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

bool eac_temp_name(const char* output_path, unsigned attempt, char* temp_path, size_t capacity) {
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
    const int written =
        attempt == 0
            ? format_to_buffer(temp_path, capacity, "%.*s.qv-hdcd-eac.tmp%s", stem_length, output_path, extension)
            : format_to_buffer(temp_path, capacity, "%.*s.qv-hdcd-eac-%u.tmp%s", stem_length, output_path, attempt,
                               extension);
    return written >= 0 && static_cast<size_t>(written) < capacity;
}

bool file_has_data(const char* path) {
    return platform_read_probe(path, true);
}

bool eac_output_choose_temp(EacOutput& plan, const char* output_path) {
    if (!plan.through_temp) return true;
    for (unsigned attempt = 0; attempt < EAC_TEMP_ATTEMPTS; ++attempt) {
        if (!eac_temp_name(output_path, attempt, plan.temp_path, sizeof plan.temp_path)) break;
        const int created = platform_create_exclusive(plan.temp_path, plan.temp_file);
        if (created == CREATE_EXCLUSIVE_DONE) {
            plan.temp_owned = true;
            return true;
        }
        // Anything at the name, even a file that cannot be opened, is somebody's.
        FileStamp there;
        if (created == CREATE_EXCLUSIVE_FAILED && !platform_file_stamp(plan.temp_path, there)) return true;
    }
    print_to_stream(stderr, "Error: could not create a safe EAC temporary output path.\n");
    return false;
}

const char* eac_output_write_path(const EacOutput& plan, const char* output_path) {
    return plan.through_temp ? plan.temp_path : output_path;
}

void eac_output_abandon(EacOutput& plan) {
    if (!plan.temp_owned) return;
    platform_remove_stamped(plan.temp_path, plan.temp_file);
    plan.temp_owned = false;
}

int eac_output_complete(EacOutput& plan, const char* output_path) {
    if (plan.through_temp) {
        // A temporary file the operation created itself is the run's as well.
        if (!plan.temp_owned) plan.temp_owned = platform_file_stamp(plan.temp_path, plan.temp_file);
        if (!file_has_data(plan.temp_path)) {
            print_to_stream(stderr, "Error: EAC temporary output is missing or empty.\n");
            eac_output_abandon(plan);
            return 1;
        }
        // The replaced file may have been private; its copy must not be less so.
        platform_copy_file_access(output_path, plan.temp_path);
        char failure[256] = "";
        if (!platform_move_replacing(plan.temp_path, output_path, failure, sizeof failure)) {
            print_to_stream(stderr, "Error: could not move EAC temporary output into place (%s).\n", failure);
            eac_output_abandon(plan);
            return 1;
        }
        plan.temp_owned = false;
    }
    if (plan.check_output && !file_has_data(output_path)) {
        print_to_stream(stderr, "Error: EAC requested output was not created or is empty.\n");
        return 1;
    }
    return 0;
}
