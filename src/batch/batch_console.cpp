#include "batch/batch_console.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "batch/file_decode.h"
#include "batch/name_text.h"
#include "batch/worker_pool.h"
#include "console/console.h"
#include "platform/system_info.h"

namespace {

// A failure's reason as printed; a reason the failing call left empty is
// still a line that says so.
std::string reason_text(const std::string& reason) {
    return reason.empty() ? "failed, and no reason was given" : name_console_text(reason);
}

// The characters a terminal shows for UTF-8 text: one a code point.
size_t shown_width(const std::string& text) {
    size_t width = 0;
    for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

// The byte offset after the first `count` code points of text.
size_t offset_of(const std::string& text, size_t count) {
    size_t at = 0;
    while (at < text.size() && count > 0) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
        --count;
    }
    return at;
}

// The name in at most `room` characters: when it is longer, its middle gives
// way to "...", so that both the folder it starts with and the file name it
// ends with stay in sight.
std::string middle_shortened(const std::string& name, size_t room) {
    const size_t width = shown_width(name);
    if (width <= room) return name;
    if (room < 8) return "";
    const size_t head = (room - 3) / 2;
    const size_t tail = room - 3 - head;
    return name.substr(0, offset_of(name, head)) + "..." + name.substr(offset_of(name, width - tail));
}

}  // namespace

void format_duration(char* buffer, size_t size, double seconds) {
    if (seconds < 0) {
        format_to_buffer(buffer, size, "--:--");
        return;
    }
    const uint64_t whole = static_cast<uint64_t>(seconds + 0.5);
    format_to_buffer(buffer, size, "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                     static_cast<unsigned long long>(whole % 60));
}

void format_bytes(char* buffer, size_t size, uint64_t bytes) {
    if (bytes >= 1000000000ull) {
        format_to_buffer(buffer, size, "%.2f GB", static_cast<double>(bytes) / 1e9);
    } else if (bytes >= 1000000ull) {
        format_to_buffer(buffer, size, "%.1f MB", static_cast<double>(bytes) / 1e6);
    } else if (bytes >= 1000ull) {
        format_to_buffer(buffer, size, "%.1f kB", static_cast<double>(bytes) / 1e3);
    } else {
        format_to_buffer(buffer, size, "%llu bytes", static_cast<unsigned long long>(bytes));
    }
}

void batch_progress_draw(BatchProgressLine& line) {
    if (!line.shown) return;
    const uint64_t done = line.files_done->load(std::memory_order_relaxed);
    const uint64_t bytes = line.bytes_done->load(std::memory_order_relaxed);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - line.started).count();
    const double rate = elapsed > 0.2 ? static_cast<double>(bytes) / elapsed : 0.0;
    const double left =
        rate > 0 && line.total_bytes >= bytes ? static_cast<double>(line.total_bytes - bytes) / rate : -1.0;
    char read_text[32];
    char rate_text[32];
    char left_text[32];
    format_bytes(read_text, sizeof read_text, bytes);
    format_bytes(rate_text, sizeof rate_text, static_cast<uint64_t>(rate));
    format_duration(left_text, sizeof left_text, left);
    char text[160];
    int length = format_to_buffer(text, sizeof text, "%llu/%llu files, %s read, %s/s, %s left  ",
                                  static_cast<unsigned long long>(done),
                                  static_cast<unsigned long long>(line.total_files), read_text, rate_text, left_text);
    if (length < 0) return;
    // The line stays within the terminal's width (less the last column, where
    // some terminals wrap), so that the next draw replaces it in place.
    const size_t room = platform_stderr_columns() > 1 ? platform_stderr_columns() - 1 : 1;
    std::string shown(text, std::min(static_cast<size_t>(length), sizeof text - 1));
    if (shown.size() > room) shown.resize(room);
    const size_t current = line.current->load(std::memory_order_relaxed);
    if (current < line.files->size()) {
        shown += middle_shortened(name_console_text((*line.files)[current].path), room - shown.size());
    }
    const size_t width = shown_width(shown);
    std::string drawn = "\r" + shown;
    if (width < line.last_length) drawn.append(line.last_length - width, ' ');
    line.last_length = width;
    print_to_stream(stderr, "%s", drawn.c_str());
    fflush(stderr);
}

void batch_progress_clear(BatchProgressLine& line) {
    if (!line.shown || line.last_length == 0) return;
    std::string blank = "\r";
    blank.append(line.last_length, ' ');
    blank += '\r';
    print_to_stream(stderr, "%s", blank.c_str());
    fflush(stderr);
    line.last_length = 0;
}

void batch_print_albums(const std::vector<BatchAlbum>& albums) {
    for (const BatchAlbum& album : albums) {
        char decoded_text[32] = "";
        if (album.decoded != 0) format_to_buffer(decoded_text, sizeof decoded_text, " %u decoded,", album.decoded);
        print_to_stdout("[%s] %s: %u %s (%u hdcd, %u signalling-only,%s %u none, %u errors)\n", album_verdict(album),
                        name_console_text(album.path).c_str(), album.tracks, album.tracks == 1 ? "track" : "tracks",
                        album.hdcd, album.signalling_only, decoded_text, album.none, album.errors);
    }
}

void batch_print_errors(const std::vector<BatchFile>& files) {
    for (const BatchFile& file : files) {
        if (file.scanned && file.status == BATCH_STATUS_ERROR) {
            print_to_stream(stderr, "Error: %s: %s\n", name_console_text(file.path).c_str(),
                            reason_text(file.error).c_str());
        }
        if (file.scanned && file.truncated && !file.reused) {
            print_to_stream(stderr, "Warning: %s: the data ends before the header says (%llu of %llu bytes).\n",
                            name_console_text(file.path).c_str(), static_cast<unsigned long long>(file.data_present),
                            static_cast<unsigned long long>(file.data_declared));
        }
    }
}

void batch_print_totals(const BatchTotals& totals) {
    char read_text[32];
    format_bytes(read_text, sizeof read_text, totals.bytes_read);
    char decoded_text[48] = "";
    if (totals.decoded_tracks != 0) {
        format_to_buffer(decoded_text, sizeof decoded_text, ", %llu decoded tracks",
                         static_cast<unsigned long long>(totals.decoded_tracks));
    }
    print_to_stdout("Total: %llu files, %llu albums, %llu HDCD albums, %llu HDCD tracks, %llu signalling-only "
                    "tracks%s, %llu errors, %llu other files skipped, %s read in %.1f s%s\n",
                    static_cast<unsigned long long>(totals.files), static_cast<unsigned long long>(totals.albums),
                    static_cast<unsigned long long>(totals.hdcd_albums),
                    static_cast<unsigned long long>(totals.hdcd_tracks),
                    static_cast<unsigned long long>(totals.signalling_only_tracks), decoded_text,
                    static_cast<unsigned long long>(totals.errors), static_cast<unsigned long long>(totals.skipped),
                    read_text, totals.elapsed_seconds, totals.cancelled ? " (cancelled)" : "");
}

void batch_count_actions(const std::vector<BatchFile>& files, BatchActionCounts& counts) {
    counts = BatchActionCounts{};
    for (const BatchFile& file : files) {
        if (!file.scanned || file.action.empty()) continue;
        const std::string kind = batch_action_kind(file);
        if (kind == "decoded") counts.decoded += 1;
        if (kind == "copied") counts.copied += 1;
        if (kind == "exists") counts.exists += 1;
        if (kind == "skipped") counts.skipped += 1;
        if (kind == "failed") counts.failed += 1;
        if (kind == "would decode") counts.would_decode += 1;
        if (kind == "would copy") counts.would_copy += 1;
    }
}

void batch_print_plan(const std::vector<BatchFile>& files) {
    for (const BatchFile& file : files) {
        if (!file.scanned || file.action.empty()) continue;
        const std::string action = name_console_text(file.action);
        const std::string path = name_console_text(file.path);
        const std::string output = name_console_text(file.output);
        if (file.output.empty() || batch_action_kind(file) == "failed") {
            print_to_stdout("%s: %s\n", action.c_str(), path.c_str());
        } else if (file.action == "exists") {
            print_to_stdout("exists: %s\n", output.c_str());
        } else {
            print_to_stdout("%s: %s -> %s\n", action.c_str(), path.c_str(), output.c_str());
        }
    }
}

void batch_print_action_failures(const std::vector<BatchFile>& files) {
    for (const BatchFile& file : files) {
        if (!file.scanned || file.status == BATCH_STATUS_ERROR || batch_action_kind(file) != "failed") continue;
        if (file.action == BATCH_DISK_FULL_ACTION) continue;  // said once for the whole run
        // The reason after "failed: ".
        const size_t start = std::min(file.action.find(':') + 2, file.action.size());
        print_to_stream(stderr, "Error: %s: %s\n", name_console_text(file.path).c_str(),
                        reason_text(file.action.substr(start)).c_str());
    }
}

void batch_print_disk_full(const BatchActionCounts& counts) {
    print_to_stream(stderr,
                    "Error: the disk is full. The run stopped; %llu decoded and %llu copied files were completed, "
                    "and no partial file was left.\n",
                    static_cast<unsigned long long>(counts.decoded), static_cast<unsigned long long>(counts.copied));
}

void batch_print_actions(const BatchActionCounts& counts, const char* output_dir, bool dry_run) {
    const std::string folder = name_console_text(output_dir);
    if (dry_run) {
        print_to_stdout("Dry run into %s: %llu would be decoded, %llu would be copied, %llu exist, %llu skipped, "
                        "%llu failed\n",
                        folder.c_str(), static_cast<unsigned long long>(counts.would_decode),
                        static_cast<unsigned long long>(counts.would_copy),
                        static_cast<unsigned long long>(counts.exists),
                        static_cast<unsigned long long>(counts.skipped),
                        static_cast<unsigned long long>(counts.failed));
        return;
    }
    print_to_stdout("Decode into %s: %llu decoded, %llu copied, %llu exist, %llu skipped, %llu failed\n",
                    folder.c_str(), static_cast<unsigned long long>(counts.decoded),
                    static_cast<unsigned long long>(counts.copied), static_cast<unsigned long long>(counts.exists),
                    static_cast<unsigned long long>(counts.skipped), static_cast<unsigned long long>(counts.failed));
}

void batch_print_no_worker(const WorkerPoolOutcome& pool) {
    print_to_stream(stderr, "Error: the system refused to start a worker thread (%s); nothing was read.\n",
                    pool.thread_error);
}

void batch_print_fewer_workers(const WorkerPoolOutcome& pool) {
    print_to_stream(stderr, "Note: the system started %u of %u worker threads (%s); the run went on with %u.\n",
                    pool.started, pool.wanted, pool.thread_error, pool.started);
}
