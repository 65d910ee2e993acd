// One file of the collection: where it was found, what the scan found in it,
// and (for decode) what was done with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "batch/scan_timeline.h"
#include "platform/file_identity.h"
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
    BATCH_STATUS_SKIPPED = 5,          // never opened: a pipe, socket, device, dangling link, system file...
    BATCH_STATUS_DECODED = 6,          // PCM24 that a decoder already wrote: never decoded again
};

struct BatchFile {
    std::string path;          // as found: the PATH argument, then the names below it (UTF-8)
    size_t relative_start;     // where the part below the PATH argument begins (a file given directly: its name)
    uint64_t file_size;
    // The modification time as the walk saw it, and the file's identity where
    // the system gives one: with the path and size they tell whether an entry
    // of an earlier report still describes the file.
    int64_t modified_seconds;      // since 1970-01-01 UTC
    uint32_t modified_nanoseconds;
    bool modified_known;
    FileIdentity identity;
    bool identity_known;
    bool audio;                // taken by its suffix (.wav or .flac, any letter case)
    int32_t input_kind;        // INPUT_KIND_WAV or INPUT_KIND_FLAC
    bool scanned;              // read to its end or failed; false while pending or when abandoned
    bool folder;               // a folder whose entries could not be read: an error of its own album
    std::string skip_reason;   // BATCH_STATUS_SKIPPED: why ("named pipe", "macOS resource file", ...)

    int32_t status;            // BatchStatus
    std::string error;         // the reader's message for BATCH_STATUS_ERROR
    const char* container;     // "WAV", "RF64", "FLAC"; null when the file could not be opened
    uint32_t sample_rate;
    uint32_t bits;             // valid bits per sample
    uint32_t container_bits;
    uint64_t frames;           // frames read
    bool truncated;            // a WAV whose data ends before its header says
    uint64_t data_present;     // truncated: the data bytes the file holds,
    uint64_t data_declared;    // and those its header declares
    HdcdSummary summary;
    double first_packet_seconds;  // negative without a valid packet
    ScanTimeline timeline;        // points only for "hdcd" and "signalling-only" PCM16 files
    bool reused;                  // taken over from an earlier report without reading the file
    std::string report_entry;     // reused: the JSON entry as that report has it, until written

    // Filled by decode.
    bool output_clash;         // another file would write the same output: this one writes nothing
    std::string action;        // "decoded", "copied", "exists", "skipped: ...", "failed: ..."; empty for scan
    std::string output;        // the path written or that would be written; empty when none
};

// "hdcd", "signalling-only", "decoded", "none", "error", "other" or "skipped".
const char* batch_status_name(int32_t status);

// The summary's packet type as a word: "A", "B", "A+B"; null without packets.
const char* batch_packet_type_name(uint32_t packet_type);

// The summary's Peak Extend mode as a word: "never", "intermittent" or "always".
const char* batch_peak_extend_mode_name(uint32_t peak_extend_mode);

// Takes a file for audio by its suffix (.wav or .flac, any letter case) and
// sets audio and input_kind; false when it is not audio.
bool batch_file_take_kind(BatchFile& file);

// The album the entry belongs to: the folder part of the path ("." when it has
// none), or for a folder that could not be read the folder itself.
std::string batch_file_folder(const BatchFile& file);

// The collection's order, album by album: by the bytes of the folder part,
// then of the name. Every report lists its entries in this order, so that an
// album's tracks stand together.
bool batch_file_before(const BatchFile& a, const BatchFile& b);
bool batch_path_before(const std::string& a, bool a_folder, const std::string& b, bool b_folder);
// The same with the ends of the folder parts known (batch_path_folder_end),
// for sorting many.
bool batch_path_before_at(const std::string& a, size_t a_end, bool a_folder, const std::string& b, size_t b_end,
                          bool b_folder);
// Where the folder part of a path ends: the album's path is what comes before
// it ("" for a name without folder, whose album is "."). A folder that could
// not be read is an album of its own, its whole path.
size_t batch_path_folder_end(const std::string& path, bool folder);
// Where the name after the last separator begins.
size_t batch_path_name_start(const std::string& path);

// True for the entries the reports list: audio files that were read (or failed),
// entries of the walk that failed or were skipped for a reason of their own,
// and with actions also the other files decode did something with.
bool batch_file_reported(const BatchFile& file, bool with_actions);

// Seconds of audio read.
double batch_file_seconds(const BatchFile& file);
