// One file of the collection: where it was found, what the scan found in it,
// and (for decode) what was done with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "batch/scan_timeline.h"
#include "hdcd/hdcd_summary.h"

// The mark in the temporary names of every file the program writes (a decoded
// track, a copy, a report) until it is complete.
constexpr char BATCH_TEMPORARY_TAG[] = "qv-hdcd-batch";

enum BatchStatus {
    BATCH_STATUS_NONE = 0,             // no valid packet
    BATCH_STATUS_SIGNALLING_ONLY = 1,  // valid packets, but decoding changes nothing but the word length
    BATCH_STATUS_HDCD = 2,             // Peak Extend or a gain code other than 0: decoding changes the audio
    BATCH_STATUS_ERROR = 3,            // could not be read to its end
    BATCH_STATUS_OTHER = 4,            // not an audio file (decode --copy-others copies it)
};

struct BatchFile {
    std::string path;          // as found: the PATH argument, then the names below it (UTF-8)
    size_t relative_start;     // where the part below the PATH argument begins (a file given directly: its name)
    uint64_t file_size;
    bool audio;                // taken by its suffix (.wav or .flac, any letter case)
    int32_t input_kind;        // INPUT_KIND_WAV or INPUT_KIND_FLAC
    bool scanned;              // read to its end or failed; false while pending or when abandoned

    int32_t status;            // BatchStatus
    std::string error;         // the reader's message for BATCH_STATUS_ERROR
    const char* container;     // "WAV", "RF64", "FLAC"; null when the file could not be opened
    uint32_t sample_rate;
    uint32_t bits;             // valid bits per sample
    uint32_t container_bits;
    uint64_t frames;           // frames read
    HdcdSummary summary;
    double first_packet_seconds;  // negative without a valid packet
    ScanTimeline timeline;        // points only for "hdcd" and "signalling-only" PCM16 files

    // Filled by decode.
    bool output_clash;         // another file would write the same output: this one writes nothing
    std::string action;        // "decoded", "copied", "exists", "skipped: ...", "failed: ..."; empty for scan
    std::string output;        // the path written or that would be written; empty when none
};

// "hdcd", "signalling-only", "none", "error" or "other".
const char* batch_status_name(int32_t status);

// The folder part of the path ("." when it has none): the album the file belongs to.
std::string batch_file_folder(const BatchFile& file);

// True for the files the reports list: audio files that were read (or failed),
// and with actions also the other files decode did something with.
bool batch_file_reported(const BatchFile& file, bool with_actions);

// Seconds of audio read.
double batch_file_seconds(const BatchFile& file);
