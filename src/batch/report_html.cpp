// The HTML report: one page with no outside references. The totals, the albums
// (HDCD first), a picture of each HDCD track's timeline as inline SVG, and the
// table of every file. Markup is written by hand: the page is small and fixed,
// and the only care it needs is escaping the names.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "batch/batch_console.h"
#include "batch/report_html.h"
#include "batch/name_text.h"
#include "console/console.h"
#include "console/version_info.h"

namespace {

// Picture geometry, in pixels: the gain plot above a Peak Extend strip.
constexpr int SVG_WIDTH = 760;
constexpr int PLOT_LEFT = 56;
constexpr int PLOT_RIGHT = 744;
constexpr int PLOT_WIDTH = PLOT_RIGHT - PLOT_LEFT;
constexpr int GAIN_TOP = 28;
constexpr int GAIN_BOTTOM = 148;   // -8 dB
constexpr double GAIN_FLOOR_DB = 8.0;
constexpr int STRIP_TOP = 160;     // Peak Extend share, 100 % at the top
constexpr int STRIP_BOTTOM = 196;
constexpr int SVG_HEIGHT = 236;

const char STYLE[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse;margin:.5em 0 1.5em}"
    "th,td{border:1px solid #ccc;padding:2px 6px;text-align:left;font-size:13px}"
    "th{background:#eee;cursor:pointer}"
    "td.n{text-align:right}"
    ".v-hdcd{background:#d8f0d8;font-weight:bold}.v-sig{background:#fff3c8}.v-no{color:#666}.v-err{background:#f8d0d0}"
    ".track{margin:0 0 1.5em}.track h3{font-size:14px;margin:.2em 0}.track p{margin:.1em 0;font-size:12px}"
    ".cancelled{background:#f8d0d0;padding:.4em;font-weight:bold}"
    "svg text{font-size:11px;font-family:sans-serif}";

// Sorts a table by the clicked column (numbers as numbers); the page reads
// the same without it.
const char SCRIPT[] =
    "document.querySelectorAll('table.sortable th').forEach(function(th,i){th.onclick=function(){"
    "var b=th.closest('table').tBodies[0],r=Array.from(b.rows),d=th.dataset.d=th.dataset.d=='1'?'-1':'1';"
    "r.sort(function(x,y){var a=x.cells[i].textContent,c=y.cells[i].textContent,m=parseFloat(a),n=parseFloat(c);"
    "return (isNaN(m)||isNaN(n)?a.localeCompare(c):m-n)*d});r.forEach(function(x){b.appendChild(x)})}})";

// Names are first made valid UTF-8 text (name_text.h), then HTML.
void escape_into(std::string& out, const std::string& text) {
    for (const char c : name_report_text(text)) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c; break;
        }
    }
}

void append_format(std::string& out, const char* format, ...) QV_PRINTF_LIKE(2, 3);

void append_format(std::string& out, const char* format, ...) {
    va_list args;
    va_list again;
    va_start(args, format);
    va_copy(again, args);
    const int length = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        const size_t start = out.size();
        out.resize(start + static_cast<size_t>(length) + 1);
        vsnprintf(&out[start], static_cast<size_t>(length) + 1, format, again);
        out.resize(start + static_cast<size_t>(length));
    }
    va_end(again);
}

std::string minutes_seconds(double seconds) {
    char text[32];
    format_duration(text, sizeof text, seconds);
    return text;
}

const char* verdict_class(const BatchAlbum& album) {
    if (album.tracks == 0) return "v-err";  // unreadable
    if (album.hdcd != 0) return "v-hdcd";
    if (album.signalling_only != 0) return "v-sig";
    return "v-no";
}

const char* status_class(int32_t status) {
    switch (status) {
        case BATCH_STATUS_HDCD: return "v-hdcd";
        case BATCH_STATUS_SIGNALLING_ONLY: return "v-sig";
        case BATCH_STATUS_ERROR: return "v-err";
        default: return "v-no";
    }
}

// One pixel column of the picture: the points that fall into it, folded.
struct Column {
    int gain_left;
    int gain_right;
    double peak_extend;
    bool transient_filter;
    uint64_t packet_errors;
    uint64_t timer_lapses;
};

std::vector<Column> fold_columns(const ScanTimeline& timeline) {
    const size_t points = timeline.points.size();
    const size_t count = std::min<size_t>(points, PLOT_WIDTH);
    std::vector<Column> columns(count, Column{0, 0, 0.0, false, 0, 0});
    for (size_t i = 0; i < points; ++i) {
        Column& c = columns[i * count / points];
        const TimelinePoint& p = timeline.points[i];
        c.gain_left = std::max<int>(c.gain_left, p.gain_left);
        c.gain_right = std::max<int>(c.gain_right, p.gain_right);
        c.peak_extend = std::max<double>(c.peak_extend, timeline_share(p.peak_extend_share));
        c.transient_filter = c.transient_filter || p.transient_filter != 0;
        c.packet_errors += p.packet_errors;
        c.timer_lapses += p.timer_lapses;
    }
    return columns;
}

int column_x(size_t index, size_t count) {
    return PLOT_LEFT + static_cast<int>(index * PLOT_WIDTH / count);
}

int gain_y(int gain) {
    const double db = std::min(gain / 100.0, GAIN_FLOOR_DB);
    return GAIN_TOP + static_cast<int>(db / GAIN_FLOOR_DB * (GAIN_BOTTOM - GAIN_TOP) + 0.5);
}

// A step line through one value per column, drawn only where it changes.
template <typename Value>
std::string step_path(const std::vector<Column>& columns, Value value) {
    std::string d;
    const size_t count = columns.size();
    int last_y = -1;
    for (size_t i = 0; i < count; ++i) {
        const int y = value(columns[i]);
        if (i == 0) {
            append_format(d, "M%d %d", column_x(0, count), y);
        } else if (y != last_y) {
            append_format(d, "H%dV%d", column_x(i, count), y);
        }
        last_y = y;
    }
    append_format(d, "H%d", PLOT_RIGHT);
    return d;
}

// Short vertical marks at the columns where `count_of` is not zero.
template <typename Count>
std::string tick_path(const std::vector<Column>& columns, int top, int length, Count count_of) {
    std::string d;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (count_of(columns[i]) != 0) append_format(d, "M%d %dv%d", column_x(i, columns.size()), top, length);
    }
    return d;
}

void append_time_axis(std::string& svg, double duration) {
    static const int STEPS[] = {5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    int step = STEPS[0];
    for (const int candidate : STEPS) {
        step = candidate;
        if (duration / candidate <= 10.0) break;
    }
    for (int t = 0; t <= duration; t += step) {
        const int x = PLOT_LEFT + static_cast<int>(t / duration * PLOT_WIDTH);
        append_format(svg,
                      "<path d=\"M%d %dv4\" stroke=\"#555\"/><text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>",
                      x, STRIP_BOTTOM, x, STRIP_BOTTOM + 15, minutes_seconds(t).c_str());
    }
    append_format(svg, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">time (mm:ss)</text>",
                  (PLOT_LEFT + PLOT_RIGHT) / 2, SVG_HEIGHT - 4);
}

void append_timeline_svg(std::string& out, const BatchFile& file) {
    const std::vector<Column> columns = fold_columns(file.timeline);
    if (columns.empty()) return;
    const double duration = std::max(batch_file_seconds(file), 0.1);
    std::string svg;
    append_format(svg, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                  "role=\"img\">",
                  SVG_WIDTH, SVG_HEIGHT, SVG_WIDTH, SVG_HEIGHT);
    // Frame, gain grid and labels.
    append_format(svg, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#fafafa\" stroke=\"#999\"/>",
                  PLOT_LEFT, GAIN_TOP, PLOT_WIDTH, GAIN_BOTTOM - GAIN_TOP);
    for (int db = 0; db <= 8; db += 2) {
        const int y = gain_y(db * 100);
        append_format(svg,
                      "<path d=\"M%d %dH%d\" stroke=\"#ddd\"/><text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s%d dB</text>",
                      PLOT_LEFT, y, PLOT_RIGHT, PLOT_LEFT - 4, y + 4, db == 0 ? "" : "-", db);
    }
    append_format(svg, "<text x=\"4\" y=\"14\">gain</text>");
    // Transient Filter: a band along the top of the gain plot.
    std::string band;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!columns[i].transient_filter) continue;
        size_t end = i;
        while (end + 1 < columns.size() && columns[end + 1].transient_filter) ++end;
        append_format(band, "M%d %dH%d", column_x(i, columns.size()), GAIN_TOP + 3,
                      end + 1 < columns.size() ? column_x(end + 1, columns.size()) : PLOT_RIGHT);
        i = end;
    }
    if (!band.empty()) svg += "<path d=\"" + band + "\" stroke=\"#8a2be2\" stroke-width=\"5\"/>";
    // Gain steps, left solid and right dashed on top of it.
    svg += "<path d=\"" + step_path(columns, [](const Column& c) { return gain_y(c.gain_left); }) +
           "\" fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2\"/>";
    svg += "<path d=\"" + step_path(columns, [](const Column& c) { return gain_y(c.gain_right); }) +
           "\" fill=\"none\" stroke=\"#d0402b\" stroke-width=\"1.5\" stroke-dasharray=\"4 3\"/>";
    // Peak Extend: the share of expanded samples, shaded in its own strip.
    append_format(svg, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"#fafafa\" stroke=\"#999\"/>",
                  PLOT_LEFT, STRIP_TOP, PLOT_WIDTH, STRIP_BOTTOM - STRIP_TOP);
    const int strip = STRIP_BOTTOM - STRIP_TOP;
    std::string area = step_path(columns, [](const Column& c) {
        const double share = std::min(1.0, c.peak_extend * 20.0);  // 5 % of samples fills the strip
        return STRIP_BOTTOM - static_cast<int>(share * strip + 0.5);
    });
    append_format(area, "V%dH%dz", STRIP_BOTTOM, PLOT_LEFT);
    svg += "<path d=\"" + area + "\" fill=\"#f4a340\" fill-opacity=\"0.8\" stroke=\"none\"/>";
    append_format(svg, "<text x=\"%d\" y=\"%d\" text-anchor=\"end\" fill=\"#777\">Peak Extend strip full: 5 %% "
                  "of the samples expanded</text>",
                  PLOT_RIGHT, SVG_HEIGHT - 4);
    append_format(svg, "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">Peak</text><text x=\"%d\" y=\"%d\" "
                  "text-anchor=\"end\">Extend</text>",
                  PLOT_LEFT - 4, STRIP_TOP + 14, PLOT_LEFT - 4, STRIP_TOP + 27);
    // Packet errors (black) and timer lapses (grey) as marks under the gain plot.
    const std::string errors =
        tick_path(columns, GAIN_BOTTOM - 10, 10, [](const Column& c) { return c.packet_errors; });
    if (!errors.empty()) svg += "<path d=\"" + errors + "\" stroke=\"#000\" stroke-width=\"1.5\"/>";
    const std::string lapses = tick_path(columns, GAIN_BOTTOM - 20, 10, [](const Column& c) { return c.timer_lapses; });
    if (!lapses.empty()) svg += "<path d=\"" + lapses + "\" stroke=\"#888\" stroke-width=\"1.5\"/>";
    append_time_axis(svg, duration);
    // Legend.
    append_format(svg,
                  "<g transform=\"translate(%d 16)\"><path d=\"M0 -4h16\" stroke=\"#1f5fbf\" stroke-width=\"2\"/>"
                  "<text x=\"20\" y=\"0\">left gain</text><path d=\"M85 -4h16\" stroke=\"#d0402b\" "
                  "stroke-dasharray=\"4 3\"/><text x=\"105\" y=\"0\">right gain</text><rect x=\"175\" y=\"-9\" "
                  "width=\"14\" height=\"9\" fill=\"#f4a340\"/><text x=\"193\" y=\"0\">Peak Extend</text>"
                  "<path d=\"M275 -4h16\" stroke=\"#8a2be2\" stroke-width=\"5\"/><text x=\"295\" y=\"0\">"
                  "Transient Filter</text><path d=\"M395 -9v10\" stroke=\"#000\" stroke-width=\"1.5\"/><text "
                  "x=\"400\" y=\"0\">packet errors</text><path d=\"M485 -9v10\" stroke=\"#888\" "
                  "stroke-width=\"1.5\"/><text x=\"490\" y=\"0\">timer lapses</text></g>",
                  PLOT_LEFT);
    svg += "</svg>";
    out += svg;
}

// The largest gain change of a code in dB; 0 prints as 0.0, never -0.0.
double gain_change_db(uint8_t code) {
    return code == 0 ? 0.0 : code * -0.5;
}

const char* packet_type_name(uint32_t type) {
    static const char* const NAMES[] = {"none", "A", "B", "A and B"};
    return type < 4 ? NAMES[type] : "?";
}

const char* peak_extend_name(uint32_t mode) {
    static const char* const NAMES[] = {"never", "intermittent", "permanent"};
    return mode < 3 ? NAMES[mode] : "?";
}

void append_totals(std::string& out, const BatchTotals& totals) {
    char read_text[32];
    format_bytes(read_text, sizeof read_text, totals.bytes_read);
    out += "<table class=\"totals\"><tbody>";
    const std::pair<const char*, uint64_t> counts[] = {
        {"Audio files", totals.files},
        {"Albums", totals.albums},
        {"HDCD albums", totals.hdcd_albums},
        {"HDCD tracks", totals.hdcd_tracks},
        {"Signalling-only tracks", totals.signalling_only_tracks},
        {"Errors", totals.errors},
        {"Other files skipped", totals.skipped},
    };
    for (const auto& [label, count] : counts) {
        append_format(out, "<tr><th>%s</th><td class=\"n\">%llu</td></tr>", label,
                      static_cast<unsigned long long>(count));
    }
    append_format(out, "<tr><th>Data read</th><td class=\"n\">%s in %.1f s</td></tr>", read_text,
                  totals.elapsed_seconds);
    out += "</tbody></table>";
}

void append_albums(std::string& out, const std::vector<BatchAlbum>& albums) {
    std::vector<const BatchAlbum*> order;
    for (const BatchAlbum& album : albums) order.push_back(&album);
    // HDCD albums first, then signalling only, then the rest; by path within each.
    std::stable_sort(order.begin(), order.end(), [](const BatchAlbum* a, const BatchAlbum* b) {
        const int rank_a = a->hdcd != 0 ? 0 : (a->signalling_only != 0 ? 1 : 2);
        const int rank_b = b->hdcd != 0 ? 0 : (b->signalling_only != 0 ? 1 : 2);
        return rank_a < rank_b;
    });
    out += "<h2>Albums</h2><table class=\"sortable\" id=\"albums\"><thead><tr><th>Verdict</th><th>Album</th>"
           "<th>Tracks</th><th>HDCD</th><th>Signalling only</th><th>None</th><th>Errors</th></tr></thead><tbody>";
    for (const BatchAlbum* album : order) {
        append_format(out, "<tr><td class=\"%s\">%s</td><td>", verdict_class(*album), album_verdict(*album));
        escape_into(out, album->path);
        append_format(out, "</td><td class=\"n\">%u</td><td class=\"n\">%u</td><td class=\"n\">%u</td>"
                      "<td class=\"n\">%u</td><td class=\"n\">%u</td></tr>",
                      album->tracks, album->hdcd, album->signalling_only, album->none, album->errors);
    }
    out += "</tbody></table>";
}

void append_track(std::string& out, const BatchFile& file) {
    if (!file.audio || !file.scanned || file.status != BATCH_STATUS_HDCD) return;
    const HdcdSummary& s = file.summary;
    out += "<div class=\"track\"><h3>";
    escape_into(out, file.path);
    append_format(out, "</h3><p>%s, %s, packet type %s, Peak Extend %s, largest gain change %.1f dB, "
                  "%u valid packets, %u packet errors, %u timer lapses, Transient Filter %s</p>",
                  minutes_seconds(batch_file_seconds(file)).c_str(), file.container,
                  packet_type_name(s.packet_type), peak_extend_name(s.peak_extend_mode),
                  gain_change_db(s.max_gain_code), s.valid_packets, s.packet_errors,
                  s.timer_expirations, s.transient_filter_packets != 0 ? "signalled" : "not signalled");
    if (file.timeline.points.empty()) {
        out += "<p>(no timeline: the decoder follows PCM16 input only)</p>";
    } else {
        append_timeline_svg(out, file);
    }
    out += "</div>";
}

void append_files_head(std::string& out, bool with_actions) {
    out += "<h2>Files</h2><table class=\"sortable\" id=\"files\"><thead><tr><th>File</th><th>Status</th>"
           "<th>Format</th><th>Length</th><th>Bit</th><th>Valid packets</th><th>Packet errors</th>"
           "<th>Peak Extend</th><th>Largest gain change</th>";
    if (with_actions) out += "<th>Action</th><th>Output</th>";
    out += "</tr></thead><tbody>";
}

void append_file_row(std::string& out, const BatchFile& file, bool with_actions) {
    const HdcdSummary& s = file.summary;
    out += "<tr><td>";
    escape_into(out, file.path);
    append_format(out, "</td><td class=\"%s\">%s", status_class(file.status), batch_status_name(file.status));
    if (file.status == BATCH_STATUS_ERROR) {
        out += ": ";
        escape_into(out, file.error);
    }
    if (file.status == BATCH_STATUS_SKIPPED) {
        out += ": ";
        escape_into(out, file.skip_reason);
    }
    out += "</td><td>";
    if (file.container != nullptr) {
        append_format(out, "%s %u Hz %u-bit", file.container, file.sample_rate, file.bits);
    }
    append_format(out, "</td><td class=\"n\">%s</td><td class=\"n\">%d</td><td class=\"n\">%u</td>"
                  "<td class=\"n\">%u</td><td>%s</td><td class=\"n\">%.1f dB</td>",
                  minutes_seconds(batch_file_seconds(file)).c_str(), static_cast<int>(s.bit_position),
                  s.valid_packets, s.packet_errors, s.hdcd_found ? peak_extend_name(s.peak_extend_mode) : "",
                  gain_change_db(s.max_gain_code));
    if (with_actions) {
        out += "<td>";
        escape_into(out, file.action);
        out += "</td><td>";
        escape_into(out, file.output);
        out += "</td>";
    }
    out += "</tr>";
}

void write_text(FILE* stream, const std::string& text) {
    fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

void report_html_begin(HtmlReport& report, FILE* stream, bool with_actions) {
    report.stream = stream;
    report.with_actions = with_actions;
    report.tracks.clear();
    report.rows.clear();
}

void report_html_file(HtmlReport& report, const BatchFile& file) {
    if (!batch_file_reported(file, report.with_actions)) return;
    append_track(report.tracks, file);
    append_file_row(report.rows, file, report.with_actions);
}

void report_html_end(HtmlReport& report, const std::vector<BatchAlbum>& albums, const BatchTotals& totals) {
    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>HDCD report</title><style>";
    out += STYLE;
    out += "</style></head><body><h1>HDCD report</h1>";
    append_format(out, "<p>qv-hdcd-batch %s</p>", QV_VERSION_TEXT);
    if (totals.cancelled) {
        out += "<p class=\"cancelled\">Cancelled: this report covers only the files finished before the run "
               "was stopped.</p>";
    }
    append_totals(out, totals);
    append_albums(out, albums);
    if (!report.tracks.empty()) out += "<h2>What HDCD does on each HDCD track</h2>";
    write_text(report.stream, out);
    write_text(report.stream, report.tracks);
    out.clear();
    append_files_head(out, report.with_actions);
    write_text(report.stream, out);
    write_text(report.stream, report.rows);
    out = "</tbody></table><script>";
    out += SCRIPT;
    out += "</script></body></html>\n";
    write_text(report.stream, out);
}
