#include "batch/batch_console.h"

#include <cstring>
#include <string>

#include "batch/file_decode.h"
#include "console/console.h"

namespace {

constexpr size_t PROGRESS_WIDTH = 110;   // the whole line, current file included
constexpr size_t FILE_NAME_ROOM = 48;

// The end of a path that fits `room` bytes, cut at a character boundary.
std::string tail_of(const std::string& path, size_t room) {
    if (path.size() <= room) return path;
    size_t start = path.size() - (room - 3);
    while (start < path.size() && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) ++start;
    return "..." + path.substr(start);
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
    const size_t current = line.current->load(std::memory_order_relaxed);
    const std::string name = current < line.files->size() ? tail_of((*line.files)[current].path, FILE_NAME_ROOM) : "";

    char text[PROGRESS_WIDTH + 64];
    int length = format_to_buffer(text, sizeof text, "\r%llu/%llu files, %s read, %s/s, %s left  %s",
                                  static_cast<unsigned long long>(done),
                                  static_cast<unsigned long long>(line.total_files), read_text, rate_text, left_text,
                                  name.c_str());
    if (length < 0) return;
    if (static_cast<size_t>(length) >= sizeof text) length = static_cast<int>(sizeof text - 1);
    std::string drawn(text, static_cast<size_t>(length));
    if (drawn.size() < line.last_length) drawn.append(line.last_length - drawn.size(), ' ');
    line.last_length = static_cast<size_t>(length);
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
        print_to_stdout("[%s] %s: %u tracks (%u hdcd, %u signalling-only, %u none, %u errors)\n",
                        album_verdict(album), album.path.c_str(), album.tracks, album.hdcd, album.signalling_only,
                        album.none, album.errors);
    }
}

void batch_print_errors(const std::vector<BatchFile>& files) {
    for (const BatchFile& file : files) {
        if (file.scanned && file.status == BATCH_STATUS_ERROR) {
            print_to_stream(stderr, "Error: %s: %s\n", file.path.c_str(), file.error.c_str());
        }
    }
}

void batch_print_totals(const BatchTotals& totals) {
    char read_text[32];
    format_bytes(read_text, sizeof read_text, totals.bytes_read);
    print_to_stdout("Total: %llu files, %llu albums, %llu HDCD albums, %llu HDCD tracks, %llu signalling-only "
                    "tracks, %llu errors, %llu other files skipped, %s read in %.1f s%s\n",
                    static_cast<unsigned long long>(totals.files), static_cast<unsigned long long>(totals.albums),
                    static_cast<unsigned long long>(totals.hdcd_albums),
                    static_cast<unsigned long long>(totals.hdcd_tracks),
                    static_cast<unsigned long long>(totals.signalling_only_tracks),
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
        if (file.output.empty() || batch_action_kind(file) == "failed") {
            print_to_stdout("%s: %s\n", file.action.c_str(), file.path.c_str());
        } else if (file.action == "exists") {
            print_to_stdout("exists: %s\n", file.output.c_str());
        } else {
            print_to_stdout("%s: %s -> %s\n", file.action.c_str(), file.path.c_str(), file.output.c_str());
        }
    }
}

void batch_print_action_failures(const std::vector<BatchFile>& files) {
    for (const BatchFile& file : files) {
        if (!file.scanned || file.status == BATCH_STATUS_ERROR || batch_action_kind(file) != "failed") continue;
        if (file.action == BATCH_DISK_FULL_ACTION) continue;  // said once for the whole run
        // The reason after "failed: ".
        print_to_stream(stderr, "Error: %s: %s\n", file.path.c_str(), file.action.c_str() + file.action.find(':') + 2);
    }
}

void batch_print_disk_full(const BatchActionCounts& counts) {
    print_to_stream(stderr,
                    "Error: the disk is full. The run stopped; %llu decoded and %llu copied files were completed, "
                    "and no partial file was left.\n",
                    static_cast<unsigned long long>(counts.decoded), static_cast<unsigned long long>(counts.copied));
}

void batch_print_actions(const BatchActionCounts& counts, const char* output_dir, bool dry_run) {
    if (dry_run) {
        print_to_stdout("Dry run into %s: %llu would be decoded, %llu copied, %llu exist, %llu skipped, %llu failed\n",
                        output_dir, static_cast<unsigned long long>(counts.would_decode),
                        static_cast<unsigned long long>(counts.would_copy),
                        static_cast<unsigned long long>(counts.exists),
                        static_cast<unsigned long long>(counts.skipped),
                        static_cast<unsigned long long>(counts.failed));
        return;
    }
    print_to_stdout("Decode into %s: %llu decoded, %llu copied, %llu exist, %llu skipped, %llu failed\n", output_dir,
                    static_cast<unsigned long long>(counts.decoded), static_cast<unsigned long long>(counts.copied),
                    static_cast<unsigned long long>(counts.exists), static_cast<unsigned long long>(counts.skipped),
                    static_cast<unsigned long long>(counts.failed));
}
