// libFLAC, loaded at run time on first use.
#pragma once

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

// FLAC__stream_encoder_set_num_threads, new in libFLAC 1.5 (API version 14):
// returns 0 when the count is taken.
using FlacSetNumThreads = uint32_t (*)(FLAC__StreamEncoder* encoder, uint32_t value);
#if FLAC_API_VERSION_CURRENT >= 14
static_assert(std::is_same<FlacSetNumThreads, decltype(&FLAC__stream_encoder_set_num_threads)>::value,
              "FlacSetNumThreads must match libFLAC's declaration");
#endif

// The library and its entry points, bound by name. Each pointer has the type of
// libFLAC's own declaration, so a mismatch with the headers fails to compile.
struct FlacLibrary {
    void* module;
    int32_t attempted;
    int32_t loaded;
    char error_text[256];

    decltype(&FLAC__stream_decoder_new) stream_decoder_new;
    decltype(&FLAC__stream_decoder_delete) stream_decoder_delete;
    decltype(&FLAC__stream_decoder_set_md5_checking) stream_decoder_set_md5_checking;
    decltype(&FLAC__stream_decoder_set_metadata_respond) stream_decoder_set_metadata_respond;
    decltype(&FLAC__stream_decoder_init_file) stream_decoder_init_file;
    decltype(&FLAC__stream_decoder_process_single) stream_decoder_process_single;
    decltype(&FLAC__stream_decoder_process_until_end_of_metadata) stream_decoder_process_until_end_of_metadata;
    decltype(&FLAC__stream_decoder_get_state) stream_decoder_get_state;
    decltype(&FLAC__stream_decoder_finish) stream_decoder_finish;
    decltype(&FLAC__stream_encoder_new) stream_encoder_new;
    decltype(&FLAC__stream_encoder_delete) stream_encoder_delete;
    decltype(&FLAC__stream_encoder_set_channels) stream_encoder_set_channels;
    decltype(&FLAC__stream_encoder_set_bits_per_sample) stream_encoder_set_bits_per_sample;
    decltype(&FLAC__stream_encoder_set_sample_rate) stream_encoder_set_sample_rate;
    decltype(&FLAC__stream_encoder_set_compression_level) stream_encoder_set_compression_level;
    decltype(&FLAC__stream_encoder_set_verify) stream_encoder_set_verify;
    decltype(&FLAC__stream_encoder_set_total_samples_estimate) stream_encoder_set_total_samples_estimate;
    decltype(&FLAC__stream_encoder_set_metadata) stream_encoder_set_metadata;
    decltype(&FLAC__stream_encoder_init_stream) stream_encoder_init_stream;
    decltype(&FLAC__stream_encoder_process_interleaved) stream_encoder_process_interleaved;
    decltype(&FLAC__stream_encoder_finish) stream_encoder_finish;
    decltype(&FLAC__metadata_object_clone) metadata_object_clone;
    decltype(&FLAC__metadata_object_delete) metadata_object_delete;
    decltype(&FLAC__metadata_object_new) metadata_object_new;
    decltype(&FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair)
        metadata_object_vorbiscomment_entry_from_name_value_pair;
    decltype(&FLAC__metadata_object_vorbiscomment_append_comment) metadata_object_vorbiscomment_append_comment;
    // Optional: nullptr when the library lacks it (libFLAC 1.4 and older).
    FlacSetNumThreads stream_encoder_set_num_threads;
};

// Loads libFLAC on the first call; true when all required entry points are bound. Later
// calls return the cached outcome without trying again; calls from several
// threads at once wait for the one load.
bool flac_library_load();

// True when libFLAC is loaded with every entry point the program uses; the first
// call performs the load, later calls return the cached outcome.
bool flac_library_available();

// The last load failure as a sentence, or "" when there was none.
const char* flac_library_error_text();

// flac_library_load for an operation that cannot go on without the library: on
// failure the load's sentence is copied to error_text.
bool flac_library_require(char* error_text, size_t error_capacity);

// Releases the library so that a later call loads it afresh.
void flac_library_unload();

// What was loaded, for a version report.
struct FlacLibraryDescription {
    char file[1040];       // the library's full path; "" when the system does not tell it
    const char* version;   // libFLAC's own version text; "" when the library has none
    bool encoder_threads;  // its encoder runs on more than one thread when asked to
};

// Loads libFLAC if no attempt was made yet and describes it; false when it is
// not loaded (flac_library_error_text then says why).
bool flac_library_describe(FlacLibraryDescription& description);

// The process-wide record; its entry points are usable once flac_library_load
// has returned true.
const FlacLibrary& flac_library_entry_points();
