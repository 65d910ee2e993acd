#include "batch/collection.h"

#include <algorithm>
#include <string>

#include "audio_io/flac_suffix.h"
#include "audio_io/input_source.h"
#include "console/console.h"
#include "platform/directory_listing.h"

namespace {

// An entry of the collection as found, before anything is read.
BatchFile found_entry(std::string path, size_t relative_start) {
    BatchFile file{};
    file.path = std::move(path);
    file.relative_start = relative_start;
    file.first_packet_seconds = -1.0;
    file.summary.bit_position = -1;
    return file;
}

void add_file(BatchCollection& collection, std::string path, size_t relative_start, uint64_t size) {
    BatchFile file = found_entry(std::move(path), relative_start);
    file.file_size = size;
    if (has_flac_suffix(file.path.c_str())) {
        file.audio = true;
        file.input_kind = INPUT_KIND_FLAC;
    } else if (path_has_suffix(file.path.c_str(), ".wav")) {
        file.audio = true;
        file.input_kind = INPUT_KIND_WAV;
    }
    collection.files.push_back(std::move(file));
}

// A folder that cannot be listed is reported as an unreadable entry of its own.
void add_unreadable_folder(BatchCollection& collection, const std::string& path, size_t relative_start,
                           const char* reason) {
    BatchFile file = found_entry(path, relative_start);
    file.audio = true;
    file.scanned = true;
    file.status = BATCH_STATUS_ERROR;
    char text[320];
    format_to_buffer(text, sizeof text, "cannot read the folder (%s)", reason);
    file.error = text;
    collection.files.push_back(std::move(file));
}

void walk_folder(BatchCollection& collection, const std::string& folder, size_t relative_start) {
    std::vector<PlatformDirectoryEntry> entries;
    char error_text[256] = "";
    if (!platform_list_directory(folder.c_str(), entries, error_text, sizeof error_text)) {
        add_unreadable_folder(collection, folder, relative_start, error_text);
        return;
    }
    std::string prefix = folder;
    if (!prefix.empty() && !platform_is_path_separator(prefix.back())) prefix += platform_path_separator();
    for (const PlatformDirectoryEntry& entry : entries) {
        if (entry.kind == PLATFORM_ENTRY_DIRECTORY) {
            walk_folder(collection, prefix + entry.name, relative_start);
        } else if (entry.kind == PLATFORM_ENTRY_FILE) {
            add_file(collection, prefix + entry.name, relative_start, entry.size);
        }
        // Devices, pipes and links to folders found in a folder are never opened.
    }
}

}  // namespace

bool collection_add_path(BatchCollection& collection, const char* path, char* error_text, size_t error_capacity) {
    uint64_t size = 0;
    const int32_t kind = platform_path_kind(path, size);
    if (kind == PLATFORM_ENTRY_MISSING) {
        format_to_buffer(error_text, error_capacity, "No such file or folder: %s", path);
        return false;
    }
    const std::string text = path;
    if (kind == PLATFORM_ENTRY_DIRECTORY) {
        size_t relative_start = text.size();
        if (relative_start > 0 && !platform_is_path_separator(text.back())) relative_start += 1;
        walk_folder(collection, text, relative_start);
        return true;
    }
    // A file (or a pipe) named on the command line is read as it is.
    size_t name_start = text.size();
    while (name_start > 0 && !platform_is_path_separator(text[name_start - 1])) --name_start;
    add_file(collection, text, name_start, size);
    return true;
}

void collection_finish(BatchCollection& collection) {
    std::vector<BatchFile>& files = collection.files;
    // A file found under two PATHs (one inside the other) is kept once, below
    // the outer one, whatever the order of the arguments.
    std::sort(files.begin(), files.end(), [](const BatchFile& a, const BatchFile& b) {
        return a.path != b.path ? a.path < b.path : a.relative_start < b.relative_start;
    });
    files.erase(std::unique(files.begin(), files.end(),
                            [](const BatchFile& a, const BatchFile& b) { return a.path == b.path; }),
                files.end());
    collection.audio_files = 0;
    collection.audio_bytes = 0;
    collection.other_files = 0;
    for (const BatchFile& file : files) {
        if (file.audio) {
            collection.audio_files += 1;
            collection.audio_bytes += file.file_size;
        } else {
            collection.other_files += 1;
        }
    }
}
