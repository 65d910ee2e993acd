// The HTML report: one page with no outside references. On top the totals and
// the albums (HDCD first, a checkbox to show only those), each linking to its
// section; per album its tracks table, a summary picture with one strip per
// HDCD track, and a picture of each HDCD track's timeline as inline SVG.
//
// The page is written as the files arrive, album by album, and the totals and
// the albums table only at the end: CSS `order` in a wrapping flex body shows
// them above the sections, so the page reads right without its script. The
// sections are `content-visibility:auto`, so opening the page lays out only
// what is on screen. Markup is written by hand: the page is fixed, and the
// only care it needs is escaping the names.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "batch/batch_console.h"
#include "batch/batch_report.h"
#include "batch/name_text.h"
#include "console/console.h"
#include "console/version_info.h"

namespace {

// A track's picture, in pixels: the gain plot above a Peak Extend strip.
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
constexpr double PEAK_EXTEND_FULL = 0.05;  // the share of expanded samples that fills a strip

// An album's summary picture: a label column, then per HDCD track a row with
// the gain hanging from its top and the Peak Extend share rising from its
// bottom, as wide as the track is long against the album's longest.
constexpr int SUMMARY_LABEL = 220;
constexpr int SUMMARY_WIDTH = 540;
constexpr int SUMMARY_TOP = 18;
constexpr int SUMMARY_ROW = 16;
constexpr int SUMMARY_PITCH = 19;
constexpr int SUMMARY_HALF = SUMMARY_ROW / 2;

// Rough heights, for the space a section holds while it is not laid out.
constexpr int HEIGHT_SECTION = 58;
constexpr int HEIGHT_ROW = 20;
constexpr int HEIGHT_PICTURE = SVG_HEIGHT + 52;
constexpr size_t ALBUM_CHUNK = 100;

const char STYLE[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222;display:flex;flex-wrap:wrap;align-items:center}"
    "body>*{flex:0 0 100%;min-width:0}"
    ".top{order:1}#albums,#only,#only+label{order:2}#only,#only+label{flex:0 0 auto;margin:0 .3em 0 0}"
    ".albums{order:3}.sections{order:4}section{content-visibility:auto;border-top:1px solid #bbb}"
    "#only:checked~.sections>.x,#only:checked~.albums tr.x{display:none}"
    "table{border-collapse:collapse;margin:.5em 0 1em}"
    ".albums div{content-visibility:auto}.albums table{table-layout:fixed;width:100%;max-width:64em;margin:0}"
    ".albums tr>:nth-child(1){width:11em}.albums td:nth-child(2){overflow-wrap:anywhere}"
    ".albums tr>:nth-child(n+3){width:4.5em}.albums tr>:nth-child(9){width:5em}"
    "th,td{border:1px solid #ccc;padding:2px 6px;text-align:left;font-size:13px}"
    "th{background:#eee}.sortable th{cursor:pointer}td.r{text-align:right}"
    "h2{font-size:17px}section h2{font-size:15px;margin:.8em 0 .3em}a{color:#1f4f9f}"
    ".v-hdcd{background:#d8f0d8;font-weight:bold}.v-sig{background:#fff3c8}.v-dec{background:#dde6f8}"
    ".v-no{color:#666}.v-err{background:#f8d0d0}"
    ".track h3{font-size:14px;margin:.8em 0 .2em}.track p{margin:.1em 0;font-size:12px}"
    ".cancelled{background:#f8d0d0;padding:.4em;font-weight:bold}"
    "svg{display:block}svg text{font-size:11px}.e{text-anchor:end}.m{text-anchor:middle}"
    ".ax{stroke:#555}.gl{fill:none;stroke:#1f5fbf;stroke-width:2}"
    ".gr{fill:none;stroke:#d0402b;stroke-width:1.5;stroke-dasharray:4 3}.pe{fill:#f4a340;fill-opacity:.8}"
    ".tf{stroke:#8a2be2;stroke-width:5}.pk{stroke:#000;stroke-width:1.5}.tl{stroke:#888;stroke-width:1.5}"
    ".sb{fill:#f2f2f2}.sg{fill:#1f5fbf}.sp{fill:#f4a340}"
    ".lg{font-size:12px}.lg i{display:inline-block;width:16px;border-top:2px solid #1f5fbf;"
    "vertical-align:middle;margin:0 4px 0 12px}.lg .k2{border-top:2px dashed #d0402b}"
    ".lg .k3{height:9px;border:0;background:#f4a340}.lg .k4{border-top-width:5px;border-color:#8a2be2}"
    ".lg .k5,.lg .k6{width:0;height:10px;border:0;border-left:2px solid #000}.lg .k6{border-color:#888}";

// What every track picture shares, drawn once and used by each: the frames,
// the gain grid and the labels.
const char PICTURE_FRAME[] =
    "<svg width=\"0\" height=\"0\" style=\"position:absolute\" aria-hidden=\"true\"><defs><g id=\"frame\" font-size=\"11\">"
    "<path d=\"M56 28h688v120h-688zM56 160h688v36h-688z\" fill=\"#fafafa\" stroke=\"#999\"/>"
    "<path d=\"M56 58H744M56 88H744M56 118H744\" stroke=\"#ddd\"/>"
    "<g text-anchor=\"end\"><text x=\"52\" y=\"32\">0 dB</text><text x=\"52\" y=\"62\">-2 dB</text>"
    "<text x=\"52\" y=\"92\">-4 dB</text><text x=\"52\" y=\"122\">-6 dB</text><text x=\"52\" y=\"152\">-8 dB</text>"
    "<text x=\"52\" y=\"174\">Peak</text><text x=\"52\" y=\"187\">Extend</text>"
    "<text x=\"744\" y=\"232\" fill=\"#777\">Peak Extend strip full: 5 % of the samples expanded</text></g>"
    "<text x=\"4\" y=\"14\">gain</text><text x=\"400\" y=\"232\" text-anchor=\"middle\">time (mm:ss)</text>"
    "</g></defs></svg>";

const char LEGEND[] =
    "<p class=\"lg\"><i></i>left gain<i class=\"k2\"></i>right gain<i class=\"k3\"></i>Peak Extend"
    "<i class=\"k4\"></i>Transient Filter<i class=\"k5\"></i>packet errors<i class=\"k6\"></i>timer lapses</p>";

// Sorts a table by the clicked column: by data-sort where a cell has one (a
// length), as numbers where the text is one (dB too), else as text. The rows
// of a "sortable" element may stand in several bodies (the albums, in chunks):
// they are sorted together and each body keeps its number of rows. One
// listener for the whole page; the page reads the same without it.
const char SCRIPT[] =
    "(function(){var C=new Intl.Collator(undefined,{numeric:true}),N=/^[-+]?\\d+(\\.\\d+)?( dB)?$/;"
    "function key(c){var s=c.getAttribute('data-sort'),t;if(s!==null)return +s;t=c.textContent;"
    "return N.test(t)?parseFloat(t):t}"
    "document.addEventListener('click',function(e){var h=e.target.closest('.sortable th');if(!h)return;"
    "var B=h.closest('.sortable').querySelectorAll('tbody'),i=h.cellIndex,d=h.dataset.d=h.dataset.d=='1'?-1:1,r=[],k=0,"
    "S=Array.prototype.map.call(B,function(b){return b.rows.length});"
    "B.forEach(function(b){Array.prototype.forEach.call(b.rows,function(x){r.push([key(x.cells[i]),x])})});"
    "r.sort(function(x,y){var a=x[0],c=y[0],m=typeof a=='number',n=typeof c=='number';"
    "return(m&&n?a-c:m?-1:n?1:C.compare(a,c))*d});"
    "B.forEach(function(b,q){var f=document.createDocumentFragment(),j;"
    "for(j=0;j<S[q];j++)f.appendChild(r[k++][1]);b.appendChild(f)})})})()";

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

// A length cell: the text as m:ss, the seconds to sort by.
void append_length_cell(std::string& out, double seconds) {
    append_format(out, "<td class=\"r\" data-sort=\"%.1f\">%s</td>", seconds, minutes_seconds(seconds).c_str());
}

const char* verdict_class(const BatchAlbum& album) {
    if (album.tracks == 0) return "v-err";  // unreadable
    if (album.hdcd != 0) return "v-hdcd";
    if (album.decoded != 0) return "v-dec";
    if (album.signalling_only != 0) return "v-sig";
    return "v-no";
}

const char* status_class(int32_t status) {
    switch (status) {
        case BATCH_STATUS_HDCD: return "v-hdcd";
        case BATCH_STATUS_SIGNALLING_ONLY: return "v-sig";
        case BATCH_STATUS_DECODED: return "v-dec";
        case BATCH_STATUS_ERROR: return "v-err";
        default: return "v-no";
    }
}

bool has_picture(const BatchFile& file) {
    return file.audio && file.status == BATCH_STATUS_HDCD;
}

// The entry's name within its album; a folder that could not be read is the album itself.
std::string entry_name(const BatchFile& file) {
    return file.folder ? std::string() : file.path.substr(batch_path_name_start(file.path));
}

// One column of a picture: the points that fall into it, folded.
struct Column {
    uint16_t gain_left;      // the deepest gain, in hundredths of a dB below unity
    uint16_t gain_right;
    uint16_t peak_extend;    // the largest share, in 1/10000
    bool transient_filter;
    uint64_t packet_errors;
    uint64_t timer_lapses;
};

std::vector<Column> fold_columns(const ScanTimeline& timeline, size_t width) {
    const size_t points = timeline.points.size();
    const size_t count = std::min(points, width);
    std::vector<Column> columns(count, Column{0, 0, 0, false, 0, 0});
    for (size_t i = 0; i < points; ++i) {
        Column& c = columns[i * count / points];
        const TimelinePoint& p = timeline.points[i];
        c.gain_left = std::max(c.gain_left, p.gain_left);
        c.gain_right = std::max(c.gain_right, p.gain_right);
        c.peak_extend = std::max(c.peak_extend, p.peak_extend_share);
        c.transient_filter = c.transient_filter || p.transient_filter != 0;
        c.packet_errors += p.packet_errors;
        c.timer_lapses += p.timer_lapses;
    }
    return columns;
}

// A gain as a depth below the top of its plot: 0 at unity, `height` at -8 dB or below.
int gain_depth(uint16_t gain, int height) {
    const double db = std::min(-timeline_gain_db(gain), GAIN_FLOOR_DB);
    return static_cast<int>(db / GAIN_FLOOR_DB * height + 0.5);
}

// A share as a height: `height` at PEAK_EXTEND_FULL or more.
int share_height(uint16_t share, int height) {
    const double fill = std::min(1.0, timeline_share(share) / PEAK_EXTEND_FULL);
    return static_cast<int>(fill * height + 0.5);
}

// A step line from (left, y of the first column) across `width`, one value per
// column, written only where the value changes; `close_at` >= 0 closes it down
// to that line into an area.
template <typename Value>
std::string step_path(const std::vector<Column>& columns, int left, int width, int close_at, Value y_of) {
    std::string d;
    const size_t count = columns.size();
    int run_start = left;
    int last_y = 0;
    for (size_t i = 0; i < count; ++i) {
        const int column_x = left + static_cast<int>(i * width / count);
        const int y = y_of(columns[i]);
        if (i == 0) {
            if (close_at >= 0) {
                append_format(d, "M%d %dV%d", left, close_at, y);
            } else {
                append_format(d, "M%d %d", left, y);
            }
        } else if (y != last_y) {
            append_format(d, "h%dV%d", column_x - run_start, y);
            run_start = column_x;
        }
        last_y = y;
    }
    append_format(d, "H%d", left + width);
    if (close_at >= 0) append_format(d, "V%dz", close_at);
    return d;
}

// Short vertical marks at the columns where `count_of` is not zero.
template <typename Count>
std::string tick_path(const std::vector<Column>& columns, int top, int length, Count count_of) {
    std::string d;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (count_of(columns[i]) == 0) continue;
        append_format(d, "M%d %dv%d", PLOT_LEFT + static_cast<int>(i * PLOT_WIDTH / columns.size()), top, length);
    }
    return d;
}

void append_path(std::string& svg, const char* css_class, const std::string& d) {
    if (!d.empty()) svg += std::string("<path class=\"") + css_class + "\" d=\"" + d + "\"/>";
}

void append_time_axis(std::string& svg, double duration) {
    static const int STEPS[] = {5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    int step = STEPS[0];
    for (const int candidate : STEPS) {
        step = candidate;
        if (duration / candidate <= 10.0) break;
    }
    std::string ticks;
    std::string labels;
    for (int t = 0; t <= duration; t += step) {
        const int x = PLOT_LEFT + static_cast<int>(t / duration * PLOT_WIDTH);
        append_format(ticks, "M%d %dv4", x, STRIP_BOTTOM);
        append_format(labels, "<text class=\"m\" x=\"%d\" y=\"%d\">%s</text>", x, STRIP_BOTTOM + 15,
                      minutes_seconds(t).c_str());
    }
    append_path(svg, "ax", ticks);
    svg += labels;
}

void append_timeline_svg(std::string& out, const BatchFile& file) {
    const std::vector<Column> columns = fold_columns(file.timeline, PLOT_WIDTH);
    append_format(out, "<svg width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" role=\"img\"><use href=\"#frame\"/>",
                  SVG_WIDTH, SVG_HEIGHT, SVG_WIDTH, SVG_HEIGHT);
    // Transient Filter: a band along the top of the gain plot.
    std::string band;
    const size_t count = columns.size();
    for (size_t i = 0; i < count; ++i) {
        if (!columns[i].transient_filter) continue;
        size_t end = i;
        while (end + 1 < count && columns[end + 1].transient_filter) ++end;
        const int from = PLOT_LEFT + static_cast<int>(i * PLOT_WIDTH / count);
        const int to = PLOT_LEFT + static_cast<int>((end + 1) * PLOT_WIDTH / count);
        append_format(band, "M%d %dH%d", from, GAIN_TOP + 3, to);
        i = end;
    }
    append_path(out, "tf", band);
    // Gain steps, left solid and right dashed on top of it.
    const int gain_height = GAIN_BOTTOM - GAIN_TOP;
    append_path(out, "gl", step_path(columns, PLOT_LEFT, PLOT_WIDTH, -1, [&](const Column& c) {
                    return GAIN_TOP + gain_depth(c.gain_left, gain_height);
                }));
    append_path(out, "gr", step_path(columns, PLOT_LEFT, PLOT_WIDTH, -1, [&](const Column& c) {
                    return GAIN_TOP + gain_depth(c.gain_right, gain_height);
                }));
    // Peak Extend: the share of expanded samples, shaded in its own strip.
    append_path(out, "pe", step_path(columns, PLOT_LEFT, PLOT_WIDTH, STRIP_BOTTOM, [](const Column& c) {
                    return STRIP_BOTTOM - share_height(c.peak_extend, STRIP_BOTTOM - STRIP_TOP);
                }));
    // Packet errors (black) and timer lapses (grey) as marks under the gain plot.
    append_path(out, "pk", tick_path(columns, GAIN_BOTTOM - 10, 10, [](const Column& c) { return c.packet_errors; }));
    append_path(out, "tl", tick_path(columns, GAIN_BOTTOM - 20, 10, [](const Column& c) { return c.timer_lapses; }));
    append_time_axis(out, std::max(batch_file_seconds(file), 0.1));
    out += "</svg>";
}

// The track's strip in its album's summary picture, over SUMMARY_WIDTH.
HtmlStrip make_strip(const BatchFile& file, const std::string& name, uint64_t track_id) {
    const std::vector<Column> columns = fold_columns(file.timeline, SUMMARY_WIDTH);
    HtmlStrip strip{name, track_id, batch_file_seconds(file), std::string(), std::string()};
    strip.gain = step_path(columns, 0, SUMMARY_WIDTH, 0, [](const Column& c) {
        return gain_depth(std::max(c.gain_left, c.gain_right), SUMMARY_HALF);
    });
    strip.peak_extend = step_path(columns, 0, SUMMARY_WIDTH, SUMMARY_ROW, [](const Column& c) {
        return SUMMARY_ROW - share_height(c.peak_extend, SUMMARY_HALF);
    });
    return strip;
}

void append_summary_svg(std::string& out, const std::vector<HtmlStrip>& strips, size_t album_id) {
    double longest = 0.0;
    for (const HtmlStrip& strip : strips) longest = std::max(longest, strip.seconds);
    const int height = SUMMARY_TOP + static_cast<int>(strips.size()) * SUMMARY_PITCH + 14;
    append_format(out, "<svg width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" role=\"img\">"
                  "<clipPath id=\"c%llu\"><rect width=\"%d\" height=\"%d\"/></clipPath>"
                  "<text x=\"0\" y=\"12\">Each HDCD track: gain from the top (half the row: -8 dB), "
                  "Peak Extend from the bottom</text><g clip-path=\"url(#c%llu)\">",
                  SVG_WIDTH, height, SVG_WIDTH, height, static_cast<unsigned long long>(album_id), SUMMARY_LABEL - 8,
                  height, static_cast<unsigned long long>(album_id));
    for (size_t i = 0; i < strips.size(); ++i) {
        append_format(out, "<a href=\"#t%llu\"><text x=\"0\" y=\"%d\">%s</text></a>",
                      static_cast<unsigned long long>(strips[i].track_id),
                      SUMMARY_TOP + static_cast<int>(i) * SUMMARY_PITCH + SUMMARY_ROW - 4, strips[i].name.c_str());
    }
    out += "</g>";
    for (size_t i = 0; i < strips.size(); ++i) {
        const double scale = longest > 0.0 ? strips[i].seconds / longest : 1.0;
        append_format(out, "<g transform=\"translate(%d %d) scale(%.4f 1)\"><rect class=\"sb\" width=\"%d\" "
                      "height=\"%d\"/>",
                      SUMMARY_LABEL, SUMMARY_TOP + static_cast<int>(i) * SUMMARY_PITCH, scale, SUMMARY_WIDTH,
                      SUMMARY_ROW);
        append_path(out, "sg", strips[i].gain);
        append_path(out, "sp", strips[i].peak_extend);
        out += "</g>";
    }
    const int axis = height - 3;
    append_format(out, "<text x=\"%d\" y=\"%d\">0:00</text><text class=\"e\" x=\"%d\" y=\"%d\">%s</text></svg>",
                  SUMMARY_LABEL, axis, SUMMARY_LABEL + SUMMARY_WIDTH, axis, minutes_seconds(longest).c_str());
}

// The largest gain change of a code in dB; 0 prints as 0.0, never -0.0.
double gain_change_db(uint8_t code) {
    return code == 0 ? 0.0 : code * -0.5;
}

void append_picture(std::string& out, const BatchFile& file, const std::string& name, uint64_t track_id,
                    size_t album_id) {
    const HdcdSummary& s = file.summary;
    const char* packet_type = batch_packet_type_name(s.packet_type);
    append_format(out, "<div class=\"track\" id=\"t%llu\"><h3><a href=\"#a%llu\">&uarr; album</a> %s</h3>"
                  "<p>%s, %s, packet type %s, Peak Extend %s, largest gain change %.1f dB, %u valid packets, "
                  "%u packet errors, %u timer lapses, Transient Filter %s</p>",
                  static_cast<unsigned long long>(track_id), static_cast<unsigned long long>(album_id), name.c_str(),
                  minutes_seconds(batch_file_seconds(file)).c_str(), file.container,
                  packet_type != nullptr ? packet_type : "none", batch_peak_extend_mode_name(s.peak_extend_mode),
                  gain_change_db(s.max_gain_code), s.valid_packets, s.packet_errors, s.timer_expirations,
                  s.transient_filter_packets != 0 ? "signalled" : "not signalled");
    if (file.timeline.points.empty()) {
        out += "<p>(no timeline: the decoder follows PCM16 input only)</p>";
    } else {
        append_timeline_svg(out, file);
    }
    out += "</div>";
}

void append_row(std::string& out, const BatchFile& file, const std::string& name, uint64_t track_id,
                bool with_actions) {
    const HdcdSummary& s = file.summary;
    if (has_picture(file)) {
        append_format(out, "<tr><td><a href=\"#t%llu\">%s</a>", static_cast<unsigned long long>(track_id),
                      name.c_str());
    } else {
        out += "<tr><td>";
        out += file.folder ? "(the folder itself)" : name;
    }
    append_format(out, "</td><td class=\"%s\">%s", status_class(file.status), batch_status_name(file.status));
    if (file.status == BATCH_STATUS_ERROR) {
        out += ": ";
        escape_into(out, file.error);
    }
    if (file.status == BATCH_STATUS_SKIPPED) {
        out += ": ";
        escape_into(out, file.skip_reason);
    }
    if (file.truncated) out += " (truncated)";
    out += "</td><td>";
    if (file.container != nullptr) {
        append_format(out, "%s %u Hz %u-bit", file.container, file.sample_rate, file.bits);
    }
    out += "</td>";
    append_length_cell(out, batch_file_seconds(file));
    if (s.hdcd_found) {
        append_format(out, "<td class=\"r\">%d</td>", static_cast<int>(s.bit_position));
    } else {
        out += "<td></td>";
    }
    append_format(out, "<td class=\"r\">%u</td><td class=\"r\">%u</td><td>%s</td><td class=\"r\">%.1f dB</td>",
                  s.valid_packets, s.packet_errors, s.hdcd_found ? batch_peak_extend_mode_name(s.peak_extend_mode) : "",
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

void append_tracks_head(std::string& out, bool with_actions) {
    out += "<table class=\"sortable\"><thead><tr><th>File</th><th>Status</th><th>Format</th><th>Length</th>"
           "<th>Bit</th><th>Valid packets</th><th>Packet errors</th><th>Peak Extend</th><th>Largest gain change</th>";
    if (with_actions) out += "<th>Action</th><th>Output</th>";
    out += "</tr></thead><tbody>";
}

// Writes the open album's section: heading, tracks table, summary picture,
// the track pictures.
void close_album(HtmlReport& report) {
    if (!report.open) return;
    report.open = false;
    const size_t album_id = report.albums.size() - 1;
    const HtmlAlbumMark& album = report.albums.back();
    const int height = HEIGHT_SECTION + static_cast<int>(report.open_rows) * HEIGHT_ROW +
                       static_cast<int>(report.open_pictures) * HEIGHT_PICTURE +
                       (report.strips.empty() ? 0 : 40 + static_cast<int>(report.strips.size()) * SUMMARY_PITCH);
    std::string out;
    append_format(out, "<section%s id=\"a%llu\" style=\"contain-intrinsic-height:auto %dpx\"><h2>"
                  "<a href=\"#albums\">&uarr; albums</a> ",
                  album.hdcd ? "" : " class=\"x\"", static_cast<unsigned long long>(album_id), height);
    escape_into(out, album.path);
    out += "</h2>";
    append_tracks_head(out, report.with_actions);
    report_write_text(report.stream, out);
    report_write_text(report.stream, report.rows);
    out = "</tbody></table>";
    if (!report.strips.empty()) append_summary_svg(out, report.strips, album_id);
    if (report.open_pictures != 0) out += LEGEND;
    report_write_text(report.stream, out);
    report_write_text(report.stream, report.pictures);
    report_write_text(report.stream, "</section>");
    report.rows.clear();
    report.pictures.clear();
    report.strips.clear();
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
        {"Decoded already", totals.decoded_tracks},
        {"Errors", totals.errors},
        {"Other files skipped", totals.skipped},
    };
    for (const auto& [label, count] : counts) {
        append_format(out, "<tr><th>%s</th><td class=\"r\">%llu</td></tr>", label,
                      static_cast<unsigned long long>(count));
    }
    append_format(out, "<tr><th>Data read</th><td class=\"r\">%s in %.1f s</td></tr>", read_text,
                  totals.elapsed_seconds);
    out += "</tbody></table>";
}

void append_album_row(std::string& out, const char* verdict, const char* css_class, bool hdcd, size_t album_id,
                      const HtmlAlbumMark* mark, const BatchAlbum& counts) {
    append_format(out, "<tr%s><td class=\"%s\">%s</td><td>", hdcd ? "" : " class=\"x\"", css_class, verdict);
    if (mark != nullptr) append_format(out, "<a href=\"#a%llu\">", static_cast<unsigned long long>(album_id));
    escape_into(out, counts.path);
    if (mark != nullptr) out += "</a>";
    append_format(out, "</td><td class=\"r\">%u</td><td class=\"r\">%u</td><td class=\"r\">%u</td>"
                  "<td class=\"r\">%u</td><td class=\"r\">%u</td><td class=\"r\">%u</td>",
                  counts.tracks, counts.hdcd, counts.signalling_only, counts.decoded, counts.none, counts.errors);
    append_length_cell(out, mark != nullptr ? mark->seconds : 0.0);
    out += "</tr>";
}

// Every album, HDCD first, then those with a decoder's output or signalling
// only, then the rest, by path within each; then the folders with only entries of other kinds (skipped, copied).
// The rows come in tables of ALBUM_CHUNK below one head, each laid out only
// when it comes into view; the columns are fixed, so that they line up.
void write_albums(HtmlReport& report, const std::vector<BatchAlbum>& albums) {
    std::unordered_map<std::string, size_t> section_of;
    for (size_t i = 0; i < report.albums.size(); ++i) section_of.emplace(report.albums[i].path, i);
    std::vector<const BatchAlbum*> order;
    for (const BatchAlbum& album : albums) order.push_back(&album);
    std::stable_sort(order.begin(), order.end(), [](const BatchAlbum* a, const BatchAlbum* b) {
        const int rank_a = a->hdcd != 0 ? 0 : (a->decoded + a->signalling_only != 0 ? 1 : 2);
        const int rank_b = b->hdcd != 0 ? 0 : (b->decoded + b->signalling_only != 0 ? 1 : 2);
        return rank_a < rank_b;
    });
    std::string out = "<div class=\"albums sortable\"><table><thead><tr><th>Verdict</th><th>Album</th>"
                      "<th>Tracks</th><th>HDCD</th><th>Signalling only</th><th>Decoded</th><th>None</th>"
                      "<th>Errors</th><th>Total time</th></tr></thead></table>";
    size_t rows = 0;
    const auto next_row = [&]() {
        if (rows % ALBUM_CHUNK == 0) {
            if (rows != 0) out += "</tbody></table></div>";
            append_format(out, "<div style=\"contain-intrinsic-height:auto %dpx\"><table><tbody>",
                          static_cast<int>(ALBUM_CHUNK) * HEIGHT_ROW);
            report_write_text(report.stream, out);
            out.clear();
        }
        rows += 1;
    };
    std::vector<bool> listed(report.albums.size(), false);
    for (const BatchAlbum* album : order) {
        const auto found = section_of.find(album->path);
        const HtmlAlbumMark* mark = nullptr;
        size_t id = 0;
        if (found != section_of.end()) {
            id = found->second;
            mark = &report.albums[id];
            listed[id] = true;
        }
        next_row();
        append_album_row(out, album_verdict(*album), verdict_class(*album), album->hdcd != 0, id, mark, *album);
    }
    for (size_t id = 0; id < report.albums.size(); ++id) {
        if (listed[id]) continue;
        BatchAlbum counts{report.albums[id].path, 0, 0, 0, 0, 0, 0};
        next_row();
        append_album_row(out, "no audio", "v-no", false, id, &report.albums[id], counts);
    }
    if (rows != 0) out += "</tbody></table></div>";
    out += "</div>";
    report_write_text(report.stream, out);
}

}  // namespace

void report_html_begin(HtmlReport& report, FILE* stream, bool with_actions) {
    report.stream = stream;
    report.with_actions = with_actions;
    report.albums.clear();
    report.open = false;
    report.rows.clear();
    report.pictures.clear();
    report.strips.clear();
    report.tracks = 0;
    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>HDCD report</title><style>";
    out += STYLE;
    out += "</style></head><body><h1>HDCD report</h1>";
    append_format(out, "<p>qv-hdcd-batch %s</p>", QV_VERSION_TEXT);
    out += PICTURE_FRAME;
    out += "<h2 id=\"albums\">Albums</h2><input type=\"checkbox\" id=\"only\"><label for=\"only\">only HDCD "
           "albums</label><div class=\"sections\">";
    report_write_text(stream, out);
}

void report_html_file(HtmlReport& report, const BatchFile& file) {
    if (!batch_file_reported(file, report.with_actions)) return;
    const std::string folder = batch_file_folder(file);
    if (!report.open || report.albums.back().path != folder) {
        close_album(report);
        report.albums.push_back(HtmlAlbumMark{folder, 0.0, false});
        report.open = true;
        report.open_rows = 0;
        report.open_pictures = 0;
    }
    HtmlAlbumMark& album = report.albums.back();
    if (file.audio) album.seconds += batch_file_seconds(file);
    std::string name;
    escape_into(name, entry_name(file));
    const uint64_t track_id = report.tracks;
    if (has_picture(file)) {
        report.tracks += 1;
        album.hdcd = true;
        report.open_pictures += 1;
        append_picture(report.pictures, file, name, track_id, report.albums.size() - 1);
        if (!file.timeline.points.empty()) report.strips.push_back(make_strip(file, name, track_id));
    }
    report.open_rows += 1;
    append_row(report.rows, file, name, track_id, report.with_actions);
}

void report_html_end(HtmlReport& report, const std::vector<BatchAlbum>& albums, const BatchTotals& totals) {
    close_album(report);
    std::string out = "</div><div class=\"top\">";
    if (totals.cancelled) {
        out += "<p class=\"cancelled\">Cancelled: this report covers only the files finished before the run "
               "was stopped.</p>";
    }
    append_totals(out, totals);
    out += "</div>";
    report_write_text(report.stream, out);
    write_albums(report, albums);
    out = "<script>";
    out += SCRIPT;
    out += "</script></body></html>\n";
    report_write_text(report.stream, out);
}
