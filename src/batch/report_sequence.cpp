#include "batch/report_sequence.h"

#include <chrono>

#include "console/cancellation.h"

namespace {

// Called with the mutex held.
void write_ready(ReportSequence& sequence) {
    std::vector<BatchFile>& files = *sequence.files;
    while (sequence.next < files.size() && sequence.ready[sequence.next] != 0) {
        BatchFile& file = files[sequence.next];
        if (file.reused && sequence.fill != nullptr) sequence.fill(sequence.fill_context, sequence.next, file);
        report_set_file(*sequence.reports, file);
        // Only the reports wanted the timeline; what the albums and totals
        // need stays.
        std::vector<TimelinePoint>().swap(file.timeline.points);
        std::string().swap(file.report_entry);
        sequence.next += 1;
    }
    sequence.advanced.notify_all();
}

}  // namespace

void report_sequence_start(ReportSequence& sequence, std::vector<BatchFile>& files, ReportSet& reports,
                           size_t window) {
    sequence.files = &files;
    sequence.reports = &reports;
    sequence.ready.assign(files.size(), 0);
    sequence.next = 0;
    sequence.window = window;
}

void report_sequence_mark(ReportSequence& sequence, size_t file_index) {
    std::lock_guard<std::mutex> lock(sequence.mutex);
    sequence.ready[file_index] = 1;
}

void report_sequence_wait_turn(ReportSequence& sequence, size_t file_index) {
    if (sequence.window == 0) return;
    std::unique_lock<std::mutex> lock(sequence.mutex);
    write_ready(sequence);  // files that needed no work may lead the way
    while (file_index >= sequence.next + sequence.window && !cancel_is_requested()) {
        sequence.advanced.wait_for(lock, std::chrono::milliseconds(100));
    }
}

void report_sequence_ready(ReportSequence& sequence, size_t file_index) {
    std::lock_guard<std::mutex> lock(sequence.mutex);
    sequence.ready[file_index] = 1;
    write_ready(sequence);
}

void report_sequence_finish(ReportSequence& sequence) {
    std::lock_guard<std::mutex> lock(sequence.mutex);
    for (uint8_t& ready : sequence.ready) ready = 1;
    write_ready(sequence);
}
