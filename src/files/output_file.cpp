#include "files/output_file.h"

#include <cerrno>
#include <cstring>

#include "platform/exit_cleanup.h"
#include "platform/output_placement.h"

namespace {

constexpr unsigned TEMPORARY_ATTEMPTS = 1000;

const char* refusal_words(int kind) {
    switch (kind) {
        case TARGET_FOLDER: return "a folder";
        case TARGET_PIPE: return "a named pipe";
        case TARGET_SOCKET: return "a socket";
        default: return "not a file that can be replaced";
    }
}

// A record cleared to zero has no temporary name and no slot.
void forget_temporary(OutputFile& file) {
    if (!file.temporary.empty()) platform_exit_cleanup_remove(file.cleanup_slot);
    file.cleanup_slot = -1;
    file.temporary.clear();
}

// Once nothing more is done at the output's name.
void release_folder(OutputFile& file) {
    if (file.folder_open) platform_output_folder_close(file.folder);
    file.folder_open = false;
}

}  // namespace

std::string output_file_temporary_name(const std::string& target, const char* tag, unsigned attempt) {
    // The extension comes from the file name only: a '.' in a folder name must
    // not move the temporary file into another folder.
    size_t name_start = 0;
    for (size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '/' || target[i] == '\\') name_start = i + 1;
    }
    const size_t dot = target.rfind('.');
    const bool has_extension = dot != std::string::npos && dot >= name_start;
    const std::string stem = has_extension ? target.substr(0, dot) : target;
    const std::string extension = has_extension ? target.substr(dot) : std::string(".tmp");
    std::string name = stem + "." + tag;
    if (attempt != 0) name += "-" + std::to_string(attempt);
    return name + ".tmp" + extension;
}

int output_file_check(OutputFile& file, const char* target, bool replace, const char* tag, std::string& reason) {
    release_folder(file);
    file.target = target;
    file.temporary.clear();
    file.tag = tag;
    file.replace = replace;
    file.in_place = false;
    file.keep_replaced = true;
    file.stream = nullptr;
    file.temporary_stamp = FileStamp{};
    file.cleanup_slot = -1;
    file.error_number = 0;
    reason.clear();
    if (const char* problem = platform_output_name_problem(target)) {
        reason = problem;
        return OUTPUT_FILE_BAD_NAME;
    }
    platform_output_folder_open(file.target, file.folder, file.name);
    file.folder_open = true;
    const int kind = platform_target_kind(file.folder, file.name);
    switch (kind) {
        case TARGET_MISSING:
            return OUTPUT_FILE_OK;
        case TARGET_FILE:
        case TARGET_LINK_TO_FILE:
        case TARGET_DANGLING_LINK:  // the link itself is replaced, never followed
            return replace ? OUTPUT_FILE_OK : OUTPUT_FILE_EXISTS;
        case TARGET_CHARACTER_DEVICE:
            file.in_place = true;
            return replace ? OUTPUT_FILE_OK : OUTPUT_FILE_EXISTS;
        default:
            reason = refusal_words(kind);
            return replace ? OUTPUT_FILE_NOT_A_FILE : OUTPUT_FILE_EXISTS;
    }
}

int output_file_open(OutputFile& file) {
    file.error_number = 0;
    if (file.in_place) {
        errno = 0;
        file.stream = platform_open_device_stream(file.target.c_str());
        file.error_number = errno;
        return file.stream != nullptr ? OUTPUT_FILE_OK : OUTPUT_FILE_FAILED;
    }
    for (unsigned attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        const std::string name = output_file_temporary_name(file.name, file.tag, attempt);
        errno = 0;
        const int created = platform_create_exclusive_stream(file.folder, name, file.stream, file.temporary_stamp);
        if (created == CREATE_EXCLUSIVE_DONE) {
            // Registered only once it is this run's: a name somebody else holds
            // is never the clean-up's to remove. A signal in the moment between
            // leaves the temporary file, as SIGKILL would.
            file.temporary = name;
            file.cleanup_slot = platform_exit_cleanup_add(file.folder, name);
            return OUTPUT_FILE_OK;
        }
        file.error_number = errno;
        if (created == CREATE_EXCLUSIVE_FAILED) return OUTPUT_FILE_FAILED;
    }
    return OUTPUT_FILE_NO_TEMPORARY;
}

int output_file_commit(OutputFile& file, char* failure, size_t failure_capacity) {
    if (failure_capacity != 0) failure[0] = '\0';
    file.error_number = 0;
    if (file.stream == nullptr) return OUTPUT_FILE_FAILED;
    if (file.in_place) {
        errno = 0;
        const bool flushed = fflush(file.stream) == 0;
        file.error_number = errno;
        const bool closed = fclose(file.stream) == 0;
        file.stream = nullptr;
        return flushed && closed ? OUTPUT_FILE_OK : OUTPUT_FILE_FAILED;
    }
    // A replaced file's access rules go to the new file while it is still
    // private to its owner, before anyone else can open it.
    const int kind_now = platform_target_kind(file.folder, file.name);
    const bool replacing = kind_now == TARGET_FILE || kind_now == TARGET_LINK_TO_FILE;
    if (file.replace && file.keep_replaced && replacing &&
        !platform_copy_file_attributes(file.folder, file.name, file.stream, failure, failure_capacity)) {
        output_file_abandon(file);
        return OUTPUT_FILE_NOT_PLACED;
    }
    // A file new under its name gets the permission bits any new file gets.
    if (file.keep_replaced && !replacing) platform_give_default_mode(file.stream);
    errno = 0;
    if (!platform_stream_sync_close(file.stream)) {
        file.error_number = errno;
        output_file_abandon(file);
        return OUTPUT_FILE_FAILED;
    }
    // What is put in place must be the file this run wrote, not one that took
    // its name meanwhile.
    if (!platform_name_holds(file.folder, file.temporary, file.temporary_stamp)) {
        snprintf(failure, failure_capacity, "the temporary file %s was replaced",
                 platform_output_folder_path(file.folder, file.temporary).c_str());
        forget_temporary(file);
        release_folder(file);
        return OUTPUT_FILE_NOT_PLACED;
    }
    const int placed =
        platform_place_file(file.folder, file.temporary, file.name, file.replace, failure, failure_capacity);
    if (placed == PLACE_DONE) {
        forget_temporary(file);
        release_folder(file);
        return OUTPUT_FILE_OK;
    }
    output_file_abandon(file);
    return placed == PLACE_TAKEN ? OUTPUT_FILE_EXISTS : OUTPUT_FILE_NOT_PLACED;
}

bool output_file_take_mode_and_time(OutputFile& file, const char* source) {
    if (file.stream == nullptr || file.in_place) return true;
    file.keep_replaced = false;
    errno = 0;
    const bool ok = platform_copy_mode_and_time(source, file.stream);
    file.error_number = errno;
    return ok;
}

void output_file_abandon(OutputFile& file) {
    if (file.stream != nullptr) fclose(file.stream);
    file.stream = nullptr;
    if (!file.temporary.empty()) platform_remove_created(file.folder, file.temporary, file.temporary_stamp);
    forget_temporary(file);
    release_folder(file);
}
