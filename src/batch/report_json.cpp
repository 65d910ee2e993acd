// The JSON report. It is written entry by entry as the files arrive, one file
// to a line, so that a reader can take it back the same way (report_reader.h):
//
//   {"tool":"qv-hdcd-batch","version":...,"format":2,"files":[
//   {...one file...},
//   {...one file...}
//   ],"albums":[...],"totals":{...},"updated":...,"cancelled":false}
//
// A timeline keeps each series as runs: [time, value] wherever the value
// changes, the first at time 0. Point i (of "points") starts at
// i * seconds_per_point seconds and has the value of the last run that starts
// at or before it.
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "batch/batch_report.h"
#include "batch/name_text.h"
#include "batch/report_format.h"
#include "console/version_info.h"

namespace {

using Json = nlohmann::ordered_json;

double rounded(double value, double scale) {
    return std::round(value * scale) / scale;
}

// Names are escaped to valid UTF-8 before they get here (name_text.h); the
// replacement is a last guard so that no text can stop the report.
std::string dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// One series as runs: a [time, value] pair where the value changes.
template <typename Value>
Json runs_json(const BatchFile& file, Value value) {
    const ScanTimeline& timeline = file.timeline;
    Json runs = Json::array();
    for (size_t i = 0; i < timeline.points.size(); ++i) {
        Json here = value(timeline.points[i]);
        if (i > 0 && here == value(timeline.points[i - 1])) continue;
        runs.push_back(Json::array({rounded(scan_timeline_point_seconds(timeline, file.sample_rate, i), 1e6),
                                    std::move(here)}));
    }
    return runs;
}

Json timeline_json(const BatchFile& file) {
    Json json;
    json["seconds_per_point"] = scan_timeline_point_seconds(file.timeline, file.sample_rate, 1);
    json["points"] = file.timeline.points.size();
    json["gain_left_db"] = runs_json(file, [](const TimelinePoint& p) { return timeline_gain_db(p.gain_left); });
    json["gain_right_db"] = runs_json(file, [](const TimelinePoint& p) { return timeline_gain_db(p.gain_right); });
    json["peak_extend_share"] =
        runs_json(file, [](const TimelinePoint& p) { return timeline_share(p.peak_extend_share); });
    json["transient_filter"] = runs_json(file, [](const TimelinePoint& p) { return p.transient_filter != 0; });
    json["packet_errors"] = runs_json(file, [](const TimelinePoint& p) { return p.packet_errors; });
    json["timer_lapses"] = runs_json(file, [](const TimelinePoint& p) { return p.timer_lapses; });
    return json;
}

Json text_or_null(const char* text) {
    return text != nullptr ? Json(text) : Json(nullptr);
}

Json file_json(const BatchFile& file, bool with_actions) {
    const HdcdSummary& s = file.summary;
    const bool audio_fields = file.status != BATCH_STATUS_OTHER;
    Json json;
    json["path"] = name_report_text(file.path);
    // The exact bytes wherever the text had to escape any.
    json["path_bytes"] = name_report_text_exact(file.path) ? Json(nullptr) : Json(name_hex_bytes(file.path));
    json["folder"] = file.folder;
    json["size"] = file.file_size;
    const std::string modified = report_modified_text(file);
    json["modified"] = modified.empty() ? Json(nullptr) : Json(modified);
    const std::string identity = report_identity_text(file);
    json["identity"] = identity.empty() ? Json(nullptr) : Json(identity);
    // The fields above and the status lead, so that an update finds what it
    // needs at the start of each entry (report_reader.h).
    json["status"] = batch_status_name(file.status);
    json["container"] = text_or_null(file.container);
    json["sample_rate"] = file.sample_rate;
    json["bits"] = file.bits;
    json["frames"] = file.frames;
    json["seconds"] = rounded(batch_file_seconds(file), 1000.0);
    json["truncated"] = file.truncated;
    json["error"] = file.status == BATCH_STATUS_ERROR ? Json(name_report_text(file.error)) : Json(nullptr);
    json["skip_reason"] = file.status == BATCH_STATUS_SKIPPED ? Json(file.skip_reason) : Json(nullptr);
    if (audio_fields) {
        json["hdcd_found"] = s.hdcd_found;
        json["bit_position"] = s.bit_position;
        json["packet_type"] = s.packet_type;
        json["packet_type_name"] = text_or_null(batch_packet_type_name(s.packet_type));
        json["peak_extend_mode"] = s.peak_extend_mode;
        json["peak_extend_mode_name"] = batch_peak_extend_mode_name(s.peak_extend_mode);
        json["valid_packets"] = s.valid_packets;
        json["packet_errors"] = s.packet_errors;
        json["peak_extend_packets"] = s.peak_extend_packets;
        json["transient_filter_packets"] = s.transient_filter_packets;
        json["max_gain_code"] = s.max_gain_code;
        json["left_packets"] = s.left_packets;
        json["right_packets"] = s.right_packets;
        json["timer_expirations"] = s.timer_expirations;
        json["stereo_mismatch_samples"] = s.stereo_mismatch_samples;
        json["first_packet_seconds"] =
            file.first_packet_seconds < 0 ? Json(nullptr) : Json(rounded(file.first_packet_seconds, 1000000.0));
        json["timeline"] = file.timeline.points.empty() ? Json(nullptr) : timeline_json(file);
    }
    if (with_actions) {
        json["action"] = name_report_text(file.action);
        json["output"] = file.output.empty() ? Json(nullptr) : Json(name_report_text(file.output));
    }
    return json;
}

}  // namespace

void report_json_begin(JsonReport& report, FILE* stream, bool with_actions) {
    report.stream = stream;
    report.with_actions = with_actions;
    report.entries = 0;
    Json head;
    head["tool"] = REPORT_TOOL_NAME;
    head["version"] = QV_VERSION_TEXT;
    head["format"] = REPORT_FORMAT_NUMBER;
    head["command"] = with_actions ? "decode" : "scan";
    std::string text = dump(head);
    text.pop_back();  // the closing brace: the lists follow
    text += ",\"files\":[\n";
    report_write_text(stream, text);
}

void report_json_file(JsonReport& report, const BatchFile& file) {
    if (!report_json_lists(file, report.with_actions)) return;
    std::string text = report.entries == 0 ? std::string() : std::string(",\n");
    // An entry taken over unchanged from an earlier report is the text this
    // writer gave it then.
    text += file.report_entry.empty() ? dump(file_json(file, report.with_actions)) : file.report_entry;
    report_write_text(report.stream, text);
    report.entries += 1;
}

void report_json_end(JsonReport& report, const std::vector<BatchAlbum>& albums, const BatchTotals& totals) {
    Json list = Json::array();
    for (const BatchAlbum& album : albums) {
        Json json;
        json["path"] = name_report_text(album.path);
        json["tracks"] = album.tracks;
        json["hdcd"] = album.hdcd;
        json["signalling_only"] = album.signalling_only;
        json["decoded"] = album.decoded;
        json["none"] = album.none;
        json["errors"] = album.errors;
        json["verdict"] = album_verdict(album);
        list.push_back(std::move(json));
    }
    std::string text = report.entries == 0 ? std::string() : std::string("\n");
    text += "],\"albums\":" + dump(list);
    Json json;
    json["files"] = totals.files;
    json["skipped"] = totals.skipped;
    json["albums"] = totals.albums;
    json["hdcd_albums"] = totals.hdcd_albums;
    json["hdcd_tracks"] = totals.hdcd_tracks;
    json["signalling_only_tracks"] = totals.signalling_only_tracks;
    json["decoded_tracks"] = totals.decoded_tracks;
    json["errors"] = totals.errors;
    json["bytes_read"] = totals.bytes_read;
    json["elapsed_seconds"] = rounded(totals.elapsed_seconds, 1000.0);
    text += ",\"totals\":" + dump(json);
    Json updated = nullptr;
    if (totals.update) {
        updated = Json::object();
        updated["reused"] = totals.reused;
        updated["scanned"] = totals.rescanned;
        updated["dropped"] = totals.dropped;
    }
    text += ",\"updated\":" + dump(updated);
    text += ",\"cancelled\":" + std::string(totals.cancelled ? "true" : "false") + "}\n";
    report_write_text(report.stream, text);
}
