#include <cmath>

#include <nlohmann/json.hpp>

#include "batch/batch_report.h"
#include "batch/name_text.h"
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

Json timeline_json(const BatchFile& file) {
    const ScanTimeline& timeline = file.timeline;
    Json gain_left = Json::array();
    Json gain_right = Json::array();
    Json peak_extend = Json::array();
    Json transient_filter = Json::array();
    Json packet_errors = Json::array();
    Json timer_lapses = Json::array();
    for (const TimelinePoint& point : timeline.points) {
        gain_left.push_back(rounded(timeline_gain_db(point.gain_left), 100.0));
        gain_right.push_back(rounded(timeline_gain_db(point.gain_right), 100.0));
        peak_extend.push_back(rounded(point.peak_extend_share, 10000.0));
        transient_filter.push_back(point.transient_filter != 0);
        packet_errors.push_back(point.packet_errors);
        timer_lapses.push_back(point.timer_lapses);
    }
    Json json;
    json["seconds_per_point"] = scan_timeline_point_seconds(timeline, file.sample_rate, 1);
    json["points"] = timeline.points.size();
    json["gain_left_db"] = std::move(gain_left);
    json["gain_right_db"] = std::move(gain_right);
    json["peak_extend_share"] = std::move(peak_extend);
    json["transient_filter"] = std::move(transient_filter);
    json["packet_errors"] = std::move(packet_errors);
    json["timer_lapses"] = std::move(timer_lapses);
    return json;
}

Json file_json(const BatchFile& file, bool with_actions) {
    const HdcdSummary& s = file.summary;
    Json json;
    json["path"] = name_report_text(file.path);
    // The exact bytes wherever the text had to escape any.
    json["path_bytes"] = name_report_text_exact(file.path) ? Json(nullptr) : Json(name_hex_bytes(file.path));
    json["container"] = file.container != nullptr ? Json(file.container) : Json(nullptr);
    json["sample_rate"] = file.sample_rate;
    json["bits"] = file.bits;
    json["frames"] = file.frames;
    json["seconds"] = rounded(batch_file_seconds(file), 1000.0);
    json["status"] = batch_status_name(file.status);
    json["error"] = file.status == BATCH_STATUS_ERROR ? Json(name_report_text(file.error)) : Json(nullptr);
    json["skip_reason"] = file.status == BATCH_STATUS_SKIPPED ? Json(file.skip_reason) : Json(nullptr);
    json["hdcd_found"] = s.hdcd_found;
    json["bit_position"] = s.bit_position;
    json["packet_type"] = s.packet_type;
    const char* packet_type_name = batch_packet_type_name(s.packet_type);
    json["packet_type_name"] = packet_type_name != nullptr ? Json(packet_type_name) : Json(nullptr);
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
    if (with_actions) {
        json["action"] = name_report_text(file.action);
        json["output"] = file.output.empty() ? Json(nullptr) : Json(name_report_text(file.output));
    }
    return json;
}

}  // namespace

// The document is written file by file, so that only one file's entry is held
// as a tree at a time: a collection of ten thousand files would otherwise
// build a tree many times the size of the text.
std::string report_json_text(const BatchReport& report) {
    const BatchTotals& totals = *report.totals;
    Json head;
    head["tool"] = "qv-hdcd-batch";
    head["version"] = QV_VERSION_TEXT;
    head["cancelled"] = totals.cancelled;
    std::string text = dump(head);
    text.pop_back();  // the closing brace: the lists follow
    text += ",\"files\":[";
    bool first = true;
    for (const BatchFile& file : *report.files) {
        if (!batch_file_reported(file, report.with_actions)) continue;
        if (!first) text += ',';
        first = false;
        text += dump(file_json(file, report.with_actions));
    }
    Json albums = Json::array();
    for (const BatchAlbum& album : *report.albums) {
        Json json;
        json["path"] = name_report_text(album.path);
        json["tracks"] = album.tracks;
        json["hdcd"] = album.hdcd;
        json["signalling_only"] = album.signalling_only;
        json["none"] = album.none;
        json["errors"] = album.errors;
        json["verdict"] = album_verdict(album);
        albums.push_back(std::move(json));
    }
    text += "],\"albums\":" + dump(albums);
    Json json;
    json["files"] = totals.files;
    json["skipped"] = totals.skipped;
    json["albums"] = totals.albums;
    json["hdcd_albums"] = totals.hdcd_albums;
    json["hdcd_tracks"] = totals.hdcd_tracks;
    json["signalling_only_tracks"] = totals.signalling_only_tracks;
    json["errors"] = totals.errors;
    json["bytes_read"] = totals.bytes_read;
    json["elapsed_seconds"] = rounded(totals.elapsed_seconds, 1000.0);
    text += ",\"totals\":" + dump(json) + "}\n";
    return text;
}
