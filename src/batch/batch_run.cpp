#include "batch/batch_run.h"

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "audio_io/flac_library.h"
#include "audio_io/input_source.h"
#include "batch/album_summary.h"
#include "batch/batch_console.h"
#include "batch/batch_report.h"
#include "batch/batch_usage.h"
#include "batch/collection.h"
#include "batch/file_decode.h"
#include "batch/file_scan.h"
#include "batch/report_messages.h"
#include "batch/report_sequence.h"
#include "batch/report_update.h"
#include "batch/worker_pool.h"
#include "console/cancellation.h"
#include "console/console.h"
#include "console/shared_messages.h"
#include "files/path_identity.h"
#include "platform/directory_listing.h"
#include "platform/file_paths.h"
#include "platform/interrupt.h"
#include "platform/processor_count.h"
#include "platform/system_info.h"

namespace {

constexpr int EXIT_CANCELLED = 130;

struct BatchWork {
    const BatchOptions* options;
    DecodePlan plan;                    // decode only
    std::vector<BatchFile>* files;
    std::vector<size_t> order;          // the files the workers take, by index into files
    ReportSequence* sequence;
    ScanProgressCounters counters;
    std::atomic<uint64_t> files_done{0};
    std::atomic<size_t> current{0};
    BatchProgressLine progress;
};

void work_on_file(void* context, size_t index, int32_t* block) {
    BatchWork& work = *static_cast<BatchWork*>(context);
    const size_t file_index = work.order[index];
    report_sequence_wait_turn(*work.sequence, file_index);
    work.current.store(file_index, std::memory_order_relaxed);
    BatchFile& file = (*work.files)[file_index];
    const bool decode = work.options->command == BATCH_COMMAND_DECODE;
    FileDecodeState decode_state{};
    ScanOutput* output = decode ? file_decode_prepare(decode_state, file, work.plan) : nullptr;
    if (file.audio) {
        file_scan_run(file, block, work.counters, output);
    } else {
        file.status = BATCH_STATUS_OTHER;
        file.scanned = true;
    }
    if (file.scanned && decode) file_decode_run(file, work.plan, decode_state);
    if (file.scanned && file.audio) work.files_done.fetch_add(1, std::memory_order_relaxed);
    // A file that may share its output name with another is written once the
    // clashes are settled, after the workers.
    if (!file.output_clash) report_sequence_ready(*work.sequence, file_index);
}

void draw_progress(void* context) {
    batch_progress_draw(static_cast<BatchWork*>(context)->progress);
}

// No report is one of the files to be read: checked once the collection is
// listed, before any file is read. False after the argument error.
bool reports_apart_from_inputs(const BatchOptions& options, const std::vector<BatchFile>& files) {
    for (const char* path : {options.json_path, options.csv_path, options.html_path}) {
        if (path == nullptr) continue;
        FileIdentity report{};
        const bool exists = path_identity(path, report);
        for (const BatchFile& file : files) {
            // The walk knows most files' identities: one look at the report
            // answers for all of them.
            const bool same = file.identity_known ? exists && file_identity_same(file.identity, report)
                                                  : path_same_file(file.path.c_str(), path);
            if (!same) continue;
            report_print_failure(path, "it is one of the files to be read");
            return false;
        }
    }
    return true;
}

// libFLAC 1.5 can run one encoder on several threads. With `jobs` files
// encoding at once, each encoder gets its share of the processors, so that the
// pool and the encoders' threads together never oversubscribe the machine.
uint32_t encoder_threads_for_jobs(uint32_t jobs) {
    const uint32_t processors = platform_logical_processor_count();
    return jobs >= processors ? 1u : processors / jobs;
}

// DIR inside a PATH, or a PATH inside DIR, would have the run read its own
// outputs (or write among its inputs). Decided by what the folders are, links
// resolved, not by how they are spelt. DIR must be a folder or not exist yet.
// False after the argument error.
bool output_folder_apart(const BatchOptions& options) {
    for (const char* path : options.paths) {
        const char* problem = nullptr;
        if (path_within(path, options.output_dir)) problem = "the output folder %s is inside %s";
        if (path_within(options.output_dir, path)) problem = "%s holds %s, which is to be read";
        if (problem == nullptr) continue;
        print_to_stream(stderr, "Error: ");
        print_to_stream(stderr, problem, options.output_dir, path);
        print_to_stream(stderr, "\n\n");
        batch_usage_print(stderr);
        return false;
    }
    uint64_t size = 0;
    const int32_t kind = platform_path_kind(options.output_dir, size);
    if (kind == PLATFORM_ENTRY_MISSING || kind == PLATFORM_ENTRY_DIRECTORY) return true;
    print_to_stream(stderr, "Error: the output folder %s is not a folder\n\n", options.output_dir);
    batch_usage_print(stderr);
    return false;
}

}  // namespace

int batch_run(const BatchOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    const bool decode = options.command == BATCH_COMMAND_DECODE;
    if (decode && !output_folder_apart(options)) return 1;
    BatchCollection collection{};
    for (const char* path : options.paths) {
        char error_text[512] = "";
        if (!collection_add_path(collection, path, error_text, sizeof error_text)) {
            print_to_stream(stderr, "Error: %s\n\n", error_text);
            batch_usage_print(stderr);
            return 1;
        }
    }
    collection_finish(collection);
    // What is wrong with a report's name itself is told first; its temporary
    // file goes again on every way out.
    ReportSet reports{};
    if (!report_set_open(reports, options.json_path, options.csv_path, options.html_path, decode)) return 1;
    ReportSetGuard reports_guard{reports};
    if (!reports_apart_from_inputs(options, collection.files)) return 1;
    ReportUpdate update{};
    if (options.update_path != nullptr && !report_update_plan(update, options.update_path, collection.files,
                                                             options.csv_path != nullptr || options.html_path != nullptr)) {
        return 1;
    }

    // Loaded once here, before any worker starts, whenever an input or an
    // output needs it: the workers then only use the bound entry points.
    bool flac_needed = decode && options.output_format == OUTPUT_KIND_FLAC;
    for (const BatchFile& file : collection.files) {
        if (file.audio && file.input_kind == INPUT_KIND_FLAC) flac_needed = true;
    }
    if (flac_needed) flac_library_load();

    const uint32_t jobs = options.jobs != 0 ? options.jobs : platform_logical_processor_count();
    std::atomic<bool> disk_full{false};
    BatchWork work;
    work.options = &options;
    work.plan.output_root = decode ? options.output_dir : "";
    for (const char* path : options.paths) work.plan.input_roots.push_back(path);
    work.plan.output_kind = options.output_format;
    work.plan.all_hdcd = options.all_hdcd;
    work.plan.copy_others = options.copy_others;
    work.plan.overwrite = options.overwrite;
    work.plan.dry_run = options.dry_run;
    work.plan.disk_full = &disk_full;
    work.plan.encoder_threads = encoder_threads_for_jobs(jobs);
    work.files = &collection.files;
    work.counters.bytes_done.store(0);
    if (decode) decode_mark_output_clashes(collection.files, work.plan);
    ReportSequence sequence;
    // Decode settles clashing output names after the workers: the window
    // would wait for them.
    report_sequence_start(sequence, collection.files, reports, decode ? 0 : REPORT_WINDOW_FILES);
    work.sequence = &sequence;
    if (update.open) {
        sequence.fill = report_update_fill;
        sequence.fill_context = &update;
    }
    for (size_t i = 0; i < collection.files.size(); ++i) {
        BatchFile& file = collection.files[i];
        if (!file.scanned && (file.audio || (decode && options.copy_others))) {
            work.order.push_back(i);
        } else {
            report_sequence_mark(sequence, i);
        }
        // What the walk left alone is neither decoded nor copied.
        if (decode && file.action.empty() && file.status == BATCH_STATUS_SKIPPED) {
            file.action = std::string("skipped: ") + file.skip_reason;
        }
        if (decode && file.action.empty() && file.status == BATCH_STATUS_ERROR) file.action = "failed: " + file.error;
    }
    BatchProgressLine& line = work.progress;
    line.shown = !options.quiet && platform_stderr_is_terminal();
    line.files = &collection.files;
    line.total_files = collection.audio_files;
    line.total_bytes = collection.audio_bytes;
    line.files_done = &work.files_done;
    line.bytes_done = &work.counters.bytes_done;
    line.current = &work.current;
    line.started = started;
    line.last_length = 0;

    cancel_reset();
    cancel_install_handler();
    const WorkerTask task = {work_on_file, &work, draw_progress, &disk_full};
    WorkerPoolOutcome pool{};
    const int pool_result = worker_pool_run(jobs, work.order.size(), task, pool);
    if (pool_result == WORKER_POOL_NO_MEMORY) {
        print_out_of_memory();
        return 1;
    }
    if (pool_result == WORKER_POOL_NO_THREAD) {
        batch_print_no_worker(pool);
        return 1;
    }
    // Files that might have shared an output name are written now that every
    // scan has said what each one writes.
    if (decode) {
        for (const size_t index : decode_settle_output_clashes(collection.files, work.plan)) {
            if (cancel_is_requested()) break;
            FileDecodeState state{};
            state.plan = &work.plan;
            file_decode_run(collection.files[index], work.plan, state);
        }
    }
    batch_progress_clear(line);
    if (pool.started < pool.wanted) batch_print_fewer_workers(pool);
    // The work is over: a further Ctrl+C no longer ends the process, so that
    // the reports below are always completed rather than left half-written.
    platform_ignore_interrupt();

    const std::vector<BatchAlbum> albums = albums_from_files(collection.files);
    BatchTotals totals{};
    totals_from_results(collection.files, albums, totals);
    totals.cancelled = cancel_is_requested();
    totals.elapsed_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (totals.cancelled) cancel_print_loop_message();
    batch_print_errors(collection.files);
    BatchActionCounts actions{};
    if (decode) {
        batch_count_actions(collection.files, actions);
        if (options.dry_run) batch_print_plan(collection.files);
        batch_print_action_failures(collection.files);
        if (disk_full.load()) batch_print_disk_full(actions);
    }
    if (!options.quiet) {
        batch_print_albums(albums);
        batch_print_totals(totals);
        if (decode) batch_print_actions(actions, options.output_dir, options.dry_run);
    }
    if (options.update_path != nullptr) {
        totals.update = true;
        totals.reused = update.reused;
        totals.rescanned = totals.files - update.reused;
        totals.dropped = update.dropped;
    }
    report_sequence_finish(sequence);
    // Closed before the reports are put in place: the updated report may
    // replace the one read, which Windows does not allow while it is open.
    report_update_close(update);
    if (options.update_path != nullptr && !options.quiet) {
        report_print_update_counts(options.json_path, totals.reused, totals.rescanned, totals.dropped);
    }
    const bool reports_written = report_set_finish(reports, albums, totals);
    if (totals.cancelled) return EXIT_CANCELLED;
    const bool all_done = totals.errors == 0 && actions.failed == 0 && !disk_full.load();
    return all_done && reports_written ? 0 : 1;
}
