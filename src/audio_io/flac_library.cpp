#include "audio_io/flac_library.h"

#include "console/console.h"
#include "platform/dynamic_library.h"

#include <cstdio>
#include <cstring>

#ifndef QV_FLAC_LIBRARY_FILE
#error "QV_FLAC_LIBRARY_FILE must name the libFLAC file to load (set by cmake/flac.cmake)"
#endif

namespace {

// The name every message uses for the library, whatever the file is called here.
const char LIBRARY_DISPLAY_NAME[] = "libFLAC.dll";
const char LIBRARY_FILE[] = QV_FLAC_LIBRARY_FILE;
const size_t EXECUTABLE_PATH_CAPACITY = 1040;

FlacLibrary library;

// Binds one entry point; false when the library lacks it.
template <typename Function>
bool bind(Function& slot, const char* name) {
    void* address = platform_library_symbol(library.module, name);
    if (address == nullptr) {
        snprintf(library.error_text, sizeof library.error_text, "%s is missing required export: %s",
                 LIBRARY_DISPLAY_NAME, name);
        return false;
    }
    slot = reinterpret_cast<Function>(address);
    return true;
}

// In the order the entry points are resolved; stops at the first missing one.
bool bind_all() {
#define QV_BIND(field) bind(library.field, "FLAC__" #field)
    return QV_BIND(stream_decoder_new) && QV_BIND(stream_decoder_delete) &&
           QV_BIND(stream_decoder_set_md5_checking) && QV_BIND(stream_decoder_set_metadata_respond) &&
           QV_BIND(stream_decoder_init_file) && QV_BIND(stream_decoder_process_single) &&
           QV_BIND(stream_decoder_process_until_end_of_metadata) && QV_BIND(stream_decoder_get_state) &&
           QV_BIND(stream_decoder_finish) && QV_BIND(stream_encoder_new) && QV_BIND(stream_encoder_delete) &&
           QV_BIND(stream_encoder_set_channels) && QV_BIND(stream_encoder_set_bits_per_sample) &&
           QV_BIND(stream_encoder_set_sample_rate) && QV_BIND(stream_encoder_set_compression_level) &&
           QV_BIND(stream_encoder_set_verify) && QV_BIND(stream_encoder_set_total_samples_estimate) &&
           QV_BIND(stream_encoder_set_metadata) && QV_BIND(stream_encoder_init_stream) &&
           QV_BIND(stream_encoder_process_interleaved) && QV_BIND(stream_encoder_finish) &&
           QV_BIND(metadata_object_clone) && QV_BIND(metadata_object_delete) && QV_BIND(metadata_object_new) &&
           QV_BIND(metadata_object_vorbiscomment_entry_from_name_value_pair) &&
           QV_BIND(metadata_object_vorbiscomment_append_comment);
#undef QV_BIND
}

void fail_directory() {
    snprintf(library.error_text, sizeof library.error_text, "Unable to determine the qv-hdcd.exe directory.");
}

}  // namespace

bool flac_library_load() {
    if (library.attempted) return library.loaded != 0;
    library = FlacLibrary{};
    library.attempted = 1;

    char path[EXECUTABLE_PATH_CAPACITY];
    const size_t length = platform_executable_path(path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        fail_directory();
        return false;
    }
    // The directory keeps its trailing separator; a path without one leaves an
    // empty directory and the bare file name.
    const char* separator = strrchr(path, '\\');
    if (separator == nullptr) separator = strrchr(path, '/');
    const size_t directory_length = separator != nullptr ? static_cast<size_t>(separator - path) + 1 : 0;
    if (directory_length + sizeof LIBRARY_FILE > sizeof path) {
        fail_directory();
        return false;
    }
    memcpy(path + directory_length, LIBRARY_FILE, sizeof LIBRARY_FILE);

    library.module = platform_library_open(path, LIBRARY_FILE);
    if (library.module == nullptr) {
        platform_library_open_error(LIBRARY_DISPLAY_NAME, library.error_text, sizeof library.error_text);
        return false;
    }
    if (!bind_all()) {
        // Forget the entry points bound so far along with the module.
        platform_library_close(library.module);
        char error_text[sizeof library.error_text];
        memcpy(error_text, library.error_text, sizeof error_text);
        library = FlacLibrary{};
        library.attempted = 1;
        memcpy(library.error_text, error_text, sizeof error_text);
        return false;
    }
    library.stream_encoder_set_num_threads = reinterpret_cast<FlacSetNumThreads>(
        platform_library_symbol(library.module, "FLAC__stream_encoder_set_num_threads"));
    library.loaded = 1;
    library.error_text[0] = '\0';
    return true;
}

bool flac_library_available() { return flac_library_load(); }

const char* flac_library_error_text() {
    if (!library.attempted) flac_library_load();
    return library.error_text;
}

bool flac_library_require(char* error_text, size_t error_capacity) {
    if (flac_library_load()) return true;
    format_to_buffer(error_text, error_capacity, "%s", library.error_text);
    return false;
}

void flac_library_unload() {
    platform_library_close(library.module);
    library = FlacLibrary{};
}

const FlacLibrary& flac_library_entry_points() { return library; }
