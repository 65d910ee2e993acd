#include "batch/collection.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "audio_io/flac_suffix.h"
#include "audio_io/input_source.h"
#include "console/console.h"
#include "platform/directory_listing.h"

namespace {

// The walk of one PATH argument.
struct Walk {
    BatchCollection* collection;
    size_t relative_start;
    uint32_t argument;
    std::vector<PlatformFolder> open;   // the folders from the PATH down to the one being listed
};

void push_entry(Walk& walk, const PlatformFolder& holder, const std::string& name, BatchFile file) {
    walk.collection->keys.push_back({holder.identity, name, walk.argument});
    walk.collection->files.push_back(std::move(file));
}

// An entry of the collection as found, before anything is read.
BatchFile found_entry(std::string path, size_t relative_start) {
    BatchFile file{};
    file.path = std::move(path);
    file.relative_start = relative_start;
    file.first_packet_seconds = -1.0;
    file.summary.bit_position = -1;
    return file;
}

bool equal_folded(const std::string& name, const char* other) {
    if (name.size() != strlen(other)) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char a = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (a != other[i]) return false;
    }
    return true;
}

// Files that other systems leave beside the music and that are not audio:
// desktop settings, thumbnails, and files marked hidden and system.
bool system_file(const std::string& name, bool hidden_system) {
    for (const char* known : {".ds_store", "thumbs.db", "ehthumbs.db", "desktop.ini", ".directory", "icon\r"}) {
        if (equal_folded(name, known)) return true;
    }
    return hidden_system;
}

BatchFile file_entry(std::string path, size_t relative_start, uint64_t size, const PlatformEntryStamp& stamp) {
    BatchFile file = found_entry(std::move(path), relative_start);
    file.file_size = size;
    file.modified_seconds = stamp.modified_seconds;
    file.modified_nanoseconds = stamp.modified_nanoseconds;
    file.modified_known = stamp.modified_known;
    file.identity = stamp.identity;
    file.identity_known = stamp.identity_known;
    if (!batch_file_take_kind(file)) file.status = BATCH_STATUS_OTHER;
    return file;
}

BatchFile skipped_entry(std::string path, size_t relative_start, const char* reason) {
    BatchFile file = found_entry(std::move(path), relative_start);
    file.scanned = true;
    file.status = BATCH_STATUS_SKIPPED;
    file.skip_reason = reason;
    return file;
}

// An entry the walk could not inspect, or a folder it could not read: an
// error in the report and the exit status, counted as neither track nor file.
BatchFile failed_entry(std::string path, size_t relative_start, bool folder, const char* what, const char* reason) {
    BatchFile file = found_entry(std::move(path), relative_start);
    file.scanned = true;
    file.folder = folder;
    file.status = BATCH_STATUS_ERROR;
    char text[320];
    format_to_buffer(text, sizeof text, "%s (%s)", what, reason);
    file.error = text;
    return file;
}

const char* special_reason(int32_t kind) {
    switch (kind) {
        case PLATFORM_ENTRY_PIPE: return "named pipe";
        case PLATFORM_ENTRY_SOCKET: return "socket";
        case PLATFORM_ENTRY_DEVICE: return "device";
        case PLATFORM_ENTRY_DANGLING_LINK: return "link to nothing";
        case PLATFORM_ENTRY_FOLDER_LINK: return "link to a folder (not followed)";
        default: return "neither file nor folder";
    }
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty() || platform_is_path_separator(folder.back())) return folder + name;
    return folder + platform_path_separator() + name;
}

void walk_folder(Walk& walk, const std::string& path) {
    const PlatformFolder folder = walk.open.back();  // a copy: the list grows below
    std::vector<PlatformDirectoryEntry> entries;
    char error_text[256] = "";
    if (!platform_folder_list(folder, entries, error_text, sizeof error_text)) {
        // Keyed by its own identity, so that two spellings of it count once.
        walk.collection->keys.push_back({folder.identity, "", walk.argument});
        walk.collection->files.push_back(
            failed_entry(path, walk.relative_start, true, "cannot read the folder", error_text));
        return;
    }
    for (const PlatformDirectoryEntry& entry : entries) {
        const std::string child = joined(path, entry.name);
        if (entry.kind == PLATFORM_ENTRY_DIRECTORY) {
            PlatformFolder opened;
            if (!platform_folder_open_child(folder, entry.name, opened, error_text, sizeof error_text)) {
                BatchFile failed = failed_entry(child, walk.relative_start, true, "cannot read the folder", error_text);
                push_entry(walk, folder, entry.name, std::move(failed));
                continue;
            }
            const bool loop = std::any_of(walk.open.begin(), walk.open.end(), [&](const PlatformFolder& above) {
                return file_identity_same(above.identity, opened.identity);
            });
            if (loop) {
                platform_folder_close(opened);
                BatchFile skipped = skipped_entry(child, walk.relative_start, "a folder above it again");
                push_entry(walk, folder, entry.name, std::move(skipped));
                continue;
            }
            walk.open.push_back(opened);
            walk_folder(walk, child);
            platform_folder_close(walk.open.back());
            walk.open.pop_back();
        } else if (entry.kind == PLATFORM_ENTRY_UNREADABLE) {
            BatchFile failed = failed_entry(child, walk.relative_start, false, "cannot inspect", entry.error.c_str());
            push_entry(walk, folder, entry.name, std::move(failed));
        } else if (entry.kind != PLATFORM_ENTRY_FILE) {
            push_entry(walk, folder, entry.name, skipped_entry(child, walk.relative_start, special_reason(entry.kind)));
        } else if (entry.name.compare(0, 2, "._") == 0) {
            // macOS keeps a resource file "._NAME" beside NAME on disks of other systems.
            push_entry(walk, folder, entry.name, skipped_entry(child, walk.relative_start, "macOS resource file"));
        } else {
            BatchFile file = file_entry(child, walk.relative_start, entry.size, entry.stamp);
            if (!file.audio && system_file(entry.name, entry.hidden_system)) {
                file = skipped_entry(child, walk.relative_start, "hidden system file");
            } else if (file.audio && child.size() > platform_longest_path()) {
                // Found relative to its folder, but no file call takes its whole path.
                char length[64];
                format_to_buffer(length, sizeof length, "%llu bytes", static_cast<unsigned long long>(child.size()));
                file = failed_entry(child, walk.relative_start, false, "the path is longer than the system opens",
                                    length);
                file.audio = true;
            }
            push_entry(walk, folder, entry.name, std::move(file));
        }
    }
}

// The path with repeated separators and "." folders left out ("coll//A/./x"
// is "coll/A/x"), so that one place has one spelling below each PATH.
std::string tidy_path(const std::string& path) {
    std::string tidy;
    size_t i = 0;
    // A leading pair of separators (a network path on Windows) is kept.
    while (i < path.size() && platform_is_path_separator(path[i]) && i < 2) tidy += path[i++];
    if (tidy.size() == 2 && platform_path_separator() == '/') tidy.resize(1);
    while (i < path.size()) {
        size_t end = i;
        while (end < path.size() && !platform_is_path_separator(path[end])) ++end;
        const std::string part = path.substr(i, end - i);
        if (!part.empty() && part != ".") {
            if (!tidy.empty() && !platform_is_path_separator(tidy.back())) tidy += platform_path_separator();
            tidy += part;
        }
        i = end + 1;
    }
    // "C:\" is the root of drive C, "C:" its current folder.
    if (tidy.size() == 2 && tidy[1] == ':' && path.size() > 2 && platform_is_path_separator(path[2])) {
        tidy += platform_path_separator();
    }
    return tidy.empty() ? std::string(".") : tidy;
}

}  // namespace

bool collection_add_path(BatchCollection& collection, const char* path, char* error_text, size_t error_capacity) {
    uint64_t size = 0;
    PlatformEntryStamp stamp;
    const int32_t kind = platform_path_kind_stamp(path, size, stamp);
    if (kind == PLATFORM_ENTRY_MISSING) {
        format_to_buffer(error_text, error_capacity, "No such file or folder: %s", path);
        return false;
    }
    if (kind != PLATFORM_ENTRY_FILE && kind != PLATFORM_ENTRY_DIRECTORY) {
        // Reading a pipe or a device may never end: refused before anything is read.
        format_to_buffer(error_text, error_capacity, "not a file or folder (%s): %s", special_reason(kind), path);
        return false;
    }
    const uint32_t argument = static_cast<uint32_t>(collection.keys.empty() ? 0 : collection.keys.back().argument + 1);
    const std::string text = tidy_path(path);
    char reason[256] = "";
    if (kind == PLATFORM_ENTRY_DIRECTORY) {
        size_t relative_start = text.size();
        if (!platform_is_path_separator(text.back())) relative_start += 1;
        Walk walk = {&collection, relative_start, argument, {}};
        PlatformFolder root;
        if (!platform_folder_open(text.c_str(), root, reason, sizeof reason)) {
            collection.keys.push_back({0, 0, text, argument});
            collection.files.push_back(failed_entry(text, relative_start, true, "cannot read the folder", reason));
            return true;
        }
        walk.open.push_back(root);
        walk_folder(walk, text);
        platform_folder_close(walk.open.back());
        return true;
    }
    // A file named on the command line: keyed by the folder that holds it.
    const size_t name_start = batch_path_name_start(text);
    const std::string holder_path = name_start == 0 ? std::string(".") : text.substr(0, name_start);
    PlatformFolder holder;
    CollectionKey key = {0, 0, text, argument};
    if (platform_folder_open(holder_path.c_str(), holder, reason, sizeof reason)) {
        key = {holder.identity, text.substr(name_start), argument};
        platform_folder_close(holder);
    }
    collection.keys.push_back(key);
    collection.files.push_back(file_entry(text, name_start, size, stamp));
    return true;
}

void collection_finish(BatchCollection& collection) {
    std::vector<BatchFile>& files = collection.files;
    const std::vector<CollectionKey>& keys = collection.keys;
    // An entry found more than once is kept below the outer PATH (the longest
    // part below it), then as found under the first PATH given.
    std::vector<size_t> order(files.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const auto below = [&](size_t i) { return files[i].path.size() - files[i].relative_start; };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const CollectionKey& x = keys[a];
        const CollectionKey& y = keys[b];
        if (!file_identity_same(x.folder, y.folder)) return file_identity_before(x.folder, y.folder);
        if (x.name != y.name) return x.name < y.name;
        if (below(a) != below(b)) return below(a) > below(b);
        return x.argument < y.argument;
    });
    std::vector<BatchFile> kept;
    kept.reserve(files.size());
    for (size_t n = 0; n < order.size(); ++n) {
        const CollectionKey& key = keys[order[n]];
        if (n > 0) {
            const CollectionKey& last = keys[order[n - 1]];
            if (file_identity_same(key.folder, last.folder) && key.name == last.name) continue;
        }
        kept.push_back(std::move(files[order[n]]));
    }
    // Sorted by index, with each folder part's end found once.
    std::vector<size_t> ends(kept.size());
    for (size_t i = 0; i < kept.size(); ++i) ends[i] = batch_path_folder_end(kept[i].path, kept[i].folder);
    order.resize(kept.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return batch_path_before_at(kept[a].path, ends[a], kept[a].folder, kept[b].path, ends[b], kept[b].folder);
    });
    files.clear();
    files.reserve(kept.size());
    for (const size_t index : order) files.push_back(std::move(kept[index]));
    collection.keys.clear();
    collection.audio_files = 0;
    collection.audio_bytes = 0;
    collection.other_files = 0;
    for (const BatchFile& file : files) {
        if (file.audio) {
            collection.audio_files += 1;
            collection.audio_bytes += file.file_size;
        } else if (file.status == BATCH_STATUS_OTHER) {
            collection.other_files += 1;
        }
    }
}
