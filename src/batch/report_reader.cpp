#include "batch/report_reader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "batch/name_text.h"
#include "batch/report_format.h"
#include "console/console.h"
#include "platform/directory_listing.h"
#include "platform/file_position.h"

namespace {

using Json = nlohmann::json;

constexpr size_t READ_BLOCK = 1 << 16;

// The field that follows the leading ones of an entry.
constexpr char KEYS_END[] = ",\"container\":";

// The next line (without its '\n') and where it starts. False at the end of
// the file or on a read error (read_failed).
bool read_line(ReportReader& reader, std::string& line, uint64_t& line_offset) {
    for (;;) {
        const char* begin = reader.buffer.data() + reader.buffer_start;
        const size_t available = reader.buffer.size() - reader.buffer_start;
        const void* newline = available == 0 ? nullptr : memchr(begin, '\n', available);
        const bool at_end = reader.stream == nullptr || feof(reader.stream) || ferror(reader.stream);
        if (newline != nullptr || (at_end && available > 0)) {
            const size_t length =
                newline != nullptr ? static_cast<size_t>(static_cast<const char*>(newline) - begin) : available;
            line.assign(begin, length);
            if (!line.empty() && line.back() == '\r') line.pop_back();  // a report that went through Windows tools
            line_offset = reader.buffer_offset + reader.buffer_start;
            reader.buffer_start += newline != nullptr ? length + 1 : length;
            reader.line_number += 1;
            return true;
        }
        if (at_end) {
            reader.read_failed = reader.stream != nullptr && ferror(reader.stream);
            return false;
        }
        // Keep the part of a line read so far, then read the next block.
        reader.buffer.erase(reader.buffer.begin(), reader.buffer.begin() + static_cast<ptrdiff_t>(reader.buffer_start));
        reader.buffer_offset += reader.buffer_start;
        reader.buffer_start = 0;
        const size_t kept = reader.buffer.size();
        reader.buffer.resize(kept + READ_BLOCK);
        const size_t got = fread(reader.buffer.data() + kept, 1, READ_BLOCK, reader.stream);
        reader.buffer.resize(kept + got);
    }
}

// Field readers that never throw: false when the key is missing or of
// another type.
const Json* field(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found == json.end() ? nullptr : &*found;
}

template <typename Number>
bool take_unsigned(const Json& json, const char* key, Number& value) {
    const Json* item = field(json, key);
    if (item == nullptr || !item->is_number_unsigned()) return false;
    const uint64_t number = item->get<uint64_t>();
    value = static_cast<Number>(number);
    return static_cast<uint64_t>(value) == number;
}

bool take_integer(const Json& json, const char* key, int32_t& value) {
    const Json* item = field(json, key);
    if (item == nullptr || !item->is_number_integer()) return false;
    value = static_cast<int32_t>(item->get<int64_t>());
    return true;
}

bool take_double(const Json& json, const char* key, double& value) {
    const Json* item = field(json, key);
    if (item == nullptr || !item->is_number()) return false;
    value = item->get<double>();
    return true;
}

bool take_bool(const Json& json, const char* key, bool& value) {
    const Json* item = field(json, key);
    if (item == nullptr || !item->is_boolean()) return false;
    value = item->get<bool>();
    return true;
}

// A text, or "" for null; false for anything else.
bool take_text(const Json& json, const char* key, std::string& value) {
    const Json* item = field(json, key);
    if (item == nullptr) return false;
    if (item->is_null()) {
        value.clear();
        return true;
    }
    if (!item->is_string()) return false;
    value = item->get<std::string>();
    return true;
}

int32_t status_from_name(const std::string& name) {
    for (int32_t status = 0; status <= BATCH_STATUS_DECODED; ++status) {
        if (name == batch_status_name(status)) return status;
    }
    return -1;
}

const char* container_from_name(const std::string& name) {
    for (const char* known : {"WAV", "RF64", "FLAC"}) {
        if (name == known) return known;
    }
    return nullptr;
}

// One series of runs into the points: [time, value] pairs, the first at 0,
// each later one at a later point; a run lasts until the next.
template <typename Assign>
bool take_runs(const Json& timeline, const char* key, double seconds_per_point, ScanTimeline& out, Assign assign) {
    const Json* runs = field(timeline, key);
    if (runs == nullptr || !runs->is_array()) return false;
    const size_t count = out.points.size();
    std::vector<size_t> starts;
    for (const Json& run : *runs) {
        if (!run.is_array() || run.size() != 2 || !run[0].is_number()) return false;
        const double index = std::round(run[0].get<double>() / seconds_per_point);
        if (index < 0 || index >= static_cast<double>(count)) return false;
        const size_t start = static_cast<size_t>(index);
        if (starts.empty() ? start != 0 : start <= starts.back()) return false;
        starts.push_back(start);
    }
    if (count != 0 && starts.empty()) return false;
    for (size_t r = 0; r < starts.size(); ++r) {
        const size_t end = r + 1 < starts.size() ? starts[r + 1] : count;
        for (size_t i = starts[r]; i < end; ++i) {
            if (!assign(out.points[i], (*runs)[r][1])) return false;
        }
    }
    return true;
}

bool take_timeline(const Json& json, uint32_t sample_rate, ScanTimeline& timeline) {
    double seconds_per_point = 0.0;
    uint64_t points = 0;
    if (!take_double(json, "seconds_per_point", seconds_per_point) || !take_unsigned(json, "points", points) ||
        seconds_per_point <= 0.0 || points > TIMELINE_MAX_POINTS || sample_rate == 0) {
        return false;
    }
    timeline.frames_per_point = static_cast<uint64_t>(std::llround(seconds_per_point * sample_rate));
    timeline.points.assign(points, TimelinePoint{});
    const auto hundredths = [](const Json& value, uint16_t& out) {
        if (!value.is_number()) return false;
        const double centi = std::round(-value.get<double>() * 100.0);
        if (centi < 0 || centi > 65535) return false;
        out = static_cast<uint16_t>(centi);
        return true;
    };
    const auto count = [](const Json& value, uint32_t& out) {
        if (!value.is_number_unsigned()) return false;
        out = static_cast<uint32_t>(value.get<uint64_t>());
        return true;
    };
    return take_runs(json, "gain_left_db", seconds_per_point, timeline,
                     [&](TimelinePoint& p, const Json& v) { return hundredths(v, p.gain_left); }) &&
           take_runs(json, "gain_right_db", seconds_per_point, timeline,
                     [&](TimelinePoint& p, const Json& v) { return hundredths(v, p.gain_right); }) &&
           take_runs(json, "peak_extend_share", seconds_per_point, timeline,
                     [](TimelinePoint& p, const Json& v) {
                         if (!v.is_number()) return false;
                         const double share = std::round(v.get<double>() * 10000.0);
                         if (share < 0 || share > 10000) return false;
                         p.peak_extend_share = static_cast<uint16_t>(share);
                         return true;
                     }) &&
           take_runs(json, "transient_filter", seconds_per_point, timeline,
                     [](TimelinePoint& p, const Json& v) {
                         if (!v.is_boolean()) return false;
                         p.transient_filter = v.get<bool>() ? 1 : 0;
                         return true;
                     }) &&
           take_runs(json, "packet_errors", seconds_per_point, timeline,
                     [&](TimelinePoint& p, const Json& v) { return count(v, p.packet_errors); }) &&
           take_runs(json, "timer_lapses", seconds_per_point, timeline,
                     [&](TimelinePoint& p, const Json& v) { return count(v, p.timer_lapses); });
}

// The fields an entry begins with: what tells whether the file changed, and
// its status. False with the field that is wrong.
bool take_keys(const Json& json, BatchFile& file, const char*& wrong) {
    file = BatchFile{};
    file.first_packet_seconds = -1.0;
    file.summary.bit_position = -1;
    file.scanned = true;
    std::string text;
    std::string bytes;
    wrong = "path";
    if (!take_text(json, "path", text) || !take_text(json, "path_bytes", bytes) || text.empty()) return false;
    if (bytes.empty()) {
        file.path = text;
    } else if (!name_from_hex_bytes(bytes, file.path)) {
        return false;
    }
    wrong = "folder";
    if (!take_bool(json, "folder", file.folder)) return false;
    wrong = "size";
    if (!take_unsigned(json, "size", file.file_size)) return false;
    wrong = "modified";
    if (!take_text(json, "modified", text)) return false;
    file.modified_known = !text.empty();
    if (file.modified_known && !report_modified_parse(text, file.modified_seconds, file.modified_nanoseconds)) {
        return false;
    }
    wrong = "identity";
    if (!take_text(json, "identity", text)) return false;
    file.identity_known = !text.empty();
    if (file.identity_known && !report_identity_parse(text, file.identity)) return false;
    wrong = "status";
    if (!take_text(json, "status", text) || (file.status = status_from_name(text)) < 0) return false;
    batch_file_take_kind(file);
    return true;
}

// The entry as a file of the collection. False with the field that is wrong.
bool take_entry(const Json& json, bool with_actions, BatchFile& file, const char*& wrong) {
    if (!take_keys(json, file, wrong)) return false;
    std::string text;
    wrong = "container";
    if (!take_text(json, "container", text)) return false;
    file.container = container_from_name(text);
    if (!text.empty() && file.container == nullptr) return false;
    wrong = "format";
    if (!take_unsigned(json, "sample_rate", file.sample_rate) || !take_unsigned(json, "bits", file.bits) ||
        !take_unsigned(json, "frames", file.frames) || !take_bool(json, "truncated", file.truncated)) {
        return false;
    }
    wrong = "error";
    if (!take_text(json, "error", text)) return false;
    file.error = name_from_report_text(text);
    wrong = "skip_reason";
    if (!take_text(json, "skip_reason", file.skip_reason)) return false;
    if (file.status != BATCH_STATUS_OTHER) {
        HdcdSummary& s = file.summary;
        wrong = "summary";
        if (!take_unsigned(json, "hdcd_found", s.hdcd_found) || !take_integer(json, "bit_position", s.bit_position) ||
            !take_unsigned(json, "packet_type", s.packet_type) ||
            !take_unsigned(json, "peak_extend_mode", s.peak_extend_mode) ||
            !take_unsigned(json, "valid_packets", s.valid_packets) ||
            !take_unsigned(json, "packet_errors", s.packet_errors) ||
            !take_unsigned(json, "peak_extend_packets", s.peak_extend_packets) ||
            !take_unsigned(json, "transient_filter_packets", s.transient_filter_packets) ||
            !take_unsigned(json, "max_gain_code", s.max_gain_code) ||
            !take_unsigned(json, "left_packets", s.left_packets) ||
            !take_unsigned(json, "right_packets", s.right_packets) ||
            !take_unsigned(json, "timer_expirations", s.timer_expirations) ||
            !take_unsigned(json, "stereo_mismatch_samples", s.stereo_mismatch_samples)) {
            return false;
        }
        const Json* first = field(json, "first_packet_seconds");
        if (first == nullptr || !(first->is_null() || first->is_number())) return false;
        if (first->is_number()) file.first_packet_seconds = first->get<double>();
        wrong = "timeline";
        const Json* timeline = field(json, "timeline");
        if (timeline == nullptr) return false;
        if (!timeline->is_null() && !take_timeline(*timeline, file.sample_rate, file.timeline)) {
            return false;
        }
    }
    if (with_actions) {
        wrong = "action";
        if (!take_text(json, "action", text)) return false;
        file.action = name_from_report_text(text);
        if (!take_text(json, "output", text)) return false;
        file.output = name_from_report_text(text);
    }
    return true;
}

// The next line, without the comma that ends each entry but the last.
bool read_entry_line(ReportReader& reader, std::string& line, uint64_t& line_offset) {
    if (!read_line(reader, line, line_offset)) return false;
    if (!line.empty() && line.back() == ',') line.pop_back();
    return true;
}

// An entry's fields.
bool parse_entry(const std::string& line, bool with_actions, BatchFile& file, const char*& wrong) {
    const Json json = Json::parse(line, nullptr, false);
    wrong = "not an entry";
    return json.is_object() && take_entry(json, with_actions, file, wrong);
}

int damaged(ReportReader& reader, char* error_text, size_t error_capacity, const char* what) {
    format_to_buffer(error_text, error_capacity, "it is damaged (line %llu: %s)",
                     static_cast<unsigned long long>(reader.line_number), what);
    return REPORT_READ_FOREIGN;
}

}  // namespace

int report_reader_open(ReportReader& reader, const char* path, char* error_text, size_t error_capacity) {
    reader = ReportReader{};
    // A pipe or a device could block the run or give one reading only.
    uint64_t size = 0;
    const int32_t kind = platform_path_kind(path, size);
    if (kind == PLATFORM_ENTRY_MISSING) {
        format_to_buffer(error_text, error_capacity, "%s", strerror(ENOENT));
        return REPORT_READ_MISSING;
    }
    if (kind != PLATFORM_ENTRY_FILE) {
        format_to_buffer(error_text, error_capacity, "it is %s, not a file",
                         kind == PLATFORM_ENTRY_DIRECTORY ? "a folder" : "a pipe, device or socket");
        return REPORT_READ_UNREADABLE;
    }
    reader.stream = fopen(path, "rb");
    if (reader.stream == nullptr) {
        format_to_buffer(error_text, error_capacity, "%s", strerror(errno));
        return REPORT_READ_UNREADABLE;
    }
    std::string line;
    uint64_t offset = 0;
    if (!read_line(reader, line, offset)) {
        if (reader.read_failed) {
            format_to_buffer(error_text, error_capacity, "it cannot be read");
            return REPORT_READ_UNREADABLE;
        }
        format_to_buffer(error_text, error_capacity, "it is empty");
        return REPORT_READ_FOREIGN;
    }
    // The head: {"tool":...,"version":...,"format":N,"command":...,"files":[
    const std::string tail = "\"files\":[";
    const bool head_shape = line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
    const Json head = head_shape ? Json::parse(line + "0]}", nullptr, false) : Json();
    std::string tool;
    if (!head.is_object() || !take_text(head, "tool", tool) || tool != REPORT_TOOL_NAME ||
        !take_text(head, "version", reader.version)) {
        format_to_buffer(error_text, error_capacity, "it is not a JSON report of %s", REPORT_TOOL_NAME);
        return REPORT_READ_FOREIGN;
    }
    uint64_t format = 0;
    std::string command;
    if (!take_unsigned(head, "format", format) || format != REPORT_FORMAT_NUMBER ||
        !take_text(head, "command", command)) {
        format_to_buffer(error_text, error_capacity, "it was written by %s %s, whose reports this version does not read",
                         REPORT_TOOL_NAME, reader.version.c_str());
        return REPORT_READ_OTHER_FORMAT;
    }
    reader.with_actions = command == "decode";
    return REPORT_READ_OK;
}

int report_reader_next(ReportReader& reader, BatchFile& file, uint64_t& offset, int part, char* error_text,
                       size_t error_capacity) {
    std::string line;
    if (!read_entry_line(reader, line, offset)) {
        if (reader.read_failed) {
            format_to_buffer(error_text, error_capacity, "it cannot be read");
            return REPORT_READ_UNREADABLE;
        }
        return damaged(reader, error_text, error_capacity, "it ends before its totals");
    }
    if (line.compare(0, 2, "],") == 0) {
        // The end: ],"albums":[...],"totals":{...},"updated":...,"cancelled":...}
        const Json end = Json::parse("{" + line.substr(2), nullptr, false);
        const Json* totals = end.is_object() ? field(end, "totals") : nullptr;
        if (totals == nullptr || !totals->is_object() || !take_double(*totals, "elapsed_seconds", reader.elapsed_seconds) ||
            !take_bool(end, "cancelled", reader.cancelled)) {
            return damaged(reader, error_text, error_capacity, "the totals");
        }
        std::string rest;
        uint64_t rest_offset = 0;
        if (read_line(reader, rest, rest_offset) && !rest.empty()) {
            return damaged(reader, error_text, error_capacity, "text after the totals");
        }
        return REPORT_READ_END;
    }
    const char* wrong = "not an entry";
    if (part == REPORT_ENTRY_KEYS) {
        // Only the leading fields are parsed. The name of the field after them
        // cannot stand earlier unescaped: a quote inside a text is escaped.
        const size_t end = line.find(KEYS_END);
        const Json keys = end == std::string::npos || line.back() != '}'
                              ? Json()
                              : Json::parse(line.substr(0, end) + "}", nullptr, false);
        if (!keys.is_object() || !take_keys(keys, file, wrong)) return damaged(reader, error_text, error_capacity, wrong);
    } else if (!parse_entry(line, reader.with_actions, file, wrong)) {
        return damaged(reader, error_text, error_capacity, wrong);
    }
    if (reader.any_entry && !batch_path_before(reader.last_path, reader.last_folder, file.path, file.folder)) {
        return damaged(reader, error_text, error_capacity, "the entries are out of order");
    }
    reader.last_path = file.path;
    reader.last_folder = file.folder;
    reader.any_entry = true;
    return REPORT_READ_OK;
}

bool report_reader_line_at(ReportReader& reader, uint64_t offset, std::string& line) {
    const uint64_t buffered_end = reader.buffer_offset + reader.buffer.size();
    if (offset >= reader.buffer_offset && offset <= buffered_end) {
        reader.buffer_start = static_cast<size_t>(offset - reader.buffer_offset);
    } else {
        if (!platform_file_seek(reader.stream, static_cast<int64_t>(offset), SEEK_SET)) return false;
        clearerr(reader.stream);
        reader.buffer.clear();
        reader.buffer_start = 0;
        reader.buffer_offset = offset;
    }
    uint64_t at = 0;
    return read_entry_line(reader, line, at);
}

bool report_entry_parse(const std::string& line, bool with_actions, BatchFile& file) {
    const char* wrong = nullptr;
    return parse_entry(line, with_actions, file, wrong);
}

void report_reader_close(ReportReader& reader) {
    if (reader.stream != nullptr) fclose(reader.stream);
    reader.stream = nullptr;
}

void report_entry_take_scan(BatchFile& file, BatchFile&& from) {
    file.status = from.status;
    file.error = std::move(from.error);
    file.skip_reason = std::move(from.skip_reason);
    file.container = from.container;
    file.sample_rate = from.sample_rate;
    file.bits = from.bits;
    file.frames = from.frames;
    file.truncated = from.truncated;
    file.summary = from.summary;
    file.first_packet_seconds = from.first_packet_seconds;
    file.timeline = std::move(from.timeline);
    file.scanned = true;
}
