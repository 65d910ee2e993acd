// CSV as RFC 4180 has it: CRLF line ends, a header row, and a field quoted
// (with its quotes doubled) when it holds a comma, a quote or a line break.
// Hand-written because that is all there is to it. Every field is valid UTF-8:
// names are escaped as name_text.h says. The last line of the report of a
// cancelled run is "# cancelled", so that a program reading it can tell.
#include <cinttypes>
#include <cstdio>

#include "batch/batch_report.h"
#include "batch/name_text.h"
#include "batch/report_format.h"
#include "console/console.h"

namespace {

void append_field(std::string& line, const std::string& text) {
    if (!line.empty()) line += ',';
    const std::string value = name_report_text(text);
    if (value.find_first_of(",\"\r\n") == std::string::npos) {
        line += value;
        return;
    }
    line += '"';
    for (const char c : value) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

void append_number(std::string& line, unsigned long long value) {
    char text[32];
    format_to_buffer(text, sizeof text, "%llu", value);
    append_field(line, text);
}

void append_decimal(std::string& line, double value, int places) {
    char text[48];
    format_to_buffer(text, sizeof text, "%.*f", places, value);
    append_field(line, text);
}

const char* const HEADER[] = {
    "path", "container", "sample_rate", "bits", "frames", "seconds", "status", "error", "skip_reason",
    "hdcd_found", "bit_position", "packet_type", "packet_type_name", "peak_extend_mode", "peak_extend_mode_name",
    "valid_packets", "packet_errors", "peak_extend_packets",
    "transient_filter_packets", "max_gain_code", "left_packets", "right_packets", "timer_expirations",
    "stereo_mismatch_samples", "first_packet_seconds", "size", "modified", "truncated",
};

void write_line(FILE* stream, std::string& line) {
    line += "\r\n";
    report_write_text(stream, line);
}

}  // namespace

void report_csv_begin(CsvReport& report, FILE* stream, bool with_actions) {
    report.stream = stream;
    report.with_actions = with_actions;
    std::string line;
    for (const char* name : HEADER) append_field(line, name);
    if (with_actions) {
        append_field(line, "action");
        append_field(line, "output");
    }
    write_line(stream, line);
}

void report_csv_file(CsvReport& report, const BatchFile& file) {
    if (!batch_file_reported(file, report.with_actions)) return;
    const HdcdSummary& s = file.summary;
    std::string line;
    append_field(line, file.path);
    append_field(line, file.container != nullptr ? file.container : "");
    append_number(line, file.sample_rate);
    append_number(line, file.bits);
    append_number(line, file.frames);
    append_decimal(line, batch_file_seconds(file), 3);
    append_field(line, batch_status_name(file.status));
    append_field(line, file.status == BATCH_STATUS_ERROR ? file.error : "");
    append_field(line, file.status == BATCH_STATUS_SKIPPED ? file.skip_reason : "");
    append_number(line, s.hdcd_found);
    char position[16];
    format_to_buffer(position, sizeof position, "%d", static_cast<int>(s.bit_position));
    append_field(line, position);
    append_number(line, s.packet_type);
    const char* packet_type_name = batch_packet_type_name(s.packet_type);
    append_field(line, packet_type_name != nullptr ? packet_type_name : "");
    append_number(line, s.peak_extend_mode);
    append_field(line, batch_peak_extend_mode_name(s.peak_extend_mode));
    append_number(line, s.valid_packets);
    append_number(line, s.packet_errors);
    append_number(line, s.peak_extend_packets);
    append_number(line, s.transient_filter_packets);
    append_number(line, s.max_gain_code);
    append_number(line, s.left_packets);
    append_number(line, s.right_packets);
    append_number(line, s.timer_expirations);
    append_number(line, s.stereo_mismatch_samples);
    if (file.first_packet_seconds < 0) {
        append_field(line, "");
    } else {
        append_decimal(line, file.first_packet_seconds, 6);
    }
    append_number(line, file.file_size);
    append_field(line, report_modified_text(file));
    append_field(line, file.truncated ? "1" : "0");
    if (report.with_actions) {
        append_field(line, file.action);
        append_field(line, file.output);
    }
    write_line(report.stream, line);
}

void report_csv_end(CsvReport& report, const BatchTotals& totals) {
    if (totals.cancelled) fputs("# cancelled\r\n", report.stream);
}
