#include "audio_io/flac_library.h"

#include "console/console.h"
#include "platform/dynamic_library.h"
#include "platform/directory_listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#ifndef QV_FLAC_LIBRARY_FILES
#error "QV_FLAC_LIBRARY_FILES must list the libFLAC files to look for (set by cmake/flac.cmake)"
#endif

namespace {

// The name every message uses for the library, whatever the file is called here.
const char LIBRARY_DISPLAY_NAME[] = "libFLAC.dll";
// The file names libFLAC goes by, the preferred first: beside the program each
// is looked for in this order, then (where the platform searches by name) the
// system's loader is asked for each in the same order.
const char* const LIBRARY_FILES[] = {QV_FLAC_LIBRARY_FILES};
const size_t LIBRARY_FILE_COUNT = sizeof LIBRARY_FILES / sizeof LIBRARY_FILES[0];
const size_t EXECUTABLE_PATH_CAPACITY = 1040;

FlacLibrary library;
// qv-hdcd-batch's workers may ask for the library at the same moment: the
// first does the load, the others wait for its outcome.
std::mutex library_mutex;

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

// The open failure's sentence is built in the record's error text, used
// characters long: "Unable to load libFLAC.dll (", the system's reason for each
// failed open (the separator before all but the first), then ")." to close.
void append_open_error(size_t& used, const char* separator) {
    char reason[sizeof library.error_text];
    platform_library_open_error(reason, sizeof reason);
    const int length = format_to_buffer(library.error_text + used, sizeof library.error_text - used, "%s%s",
                                        separator, reason);
    if (length > 0) used = std::min(used + static_cast<size_t>(length), sizeof library.error_text - 1);
}

void finish_open_error(size_t used) {
    format_to_buffer(library.error_text + used, sizeof library.error_text - used, ").");
}

// Opens the library: the first of LIBRARY_FILES present in directory (a file
// there that cannot be loaded is a failure, never skipped), else each name
// through the system's search. The open failure's sentence is left in the
// record's error text.
void* open_library(char* path, size_t directory_length, size_t capacity) {
    const int opening =
        format_to_buffer(library.error_text, sizeof library.error_text, "Unable to load %s (", LIBRARY_DISPLAY_NAME);
    size_t used = opening > 0 ? static_cast<size_t>(opening) : 0;
    const bool search = platform_library_search_by_name();
    for (const char* name : LIBRARY_FILES) {
        const size_t name_size = strlen(name) + 1;
        if (directory_length + name_size > capacity) continue;
        memcpy(path + directory_length, name, name_size);
        // Without a search by name, the first name is opened beside the program
        // even when it is missing, so that the failure is the system's own.
        uint64_t size = 0;
        const bool present = platform_path_kind(path, size) != PLATFORM_ENTRY_MISSING;
        if (!present && (search || name != LIBRARY_FILES[0])) continue;
        void* module = platform_library_open(path);
        if (module == nullptr) {
            append_open_error(used, "");
            finish_open_error(used);
        }
        return module;
    }
    if (!search) return nullptr;
    for (size_t index = 0; index < LIBRARY_FILE_COUNT; ++index) {
        void* module = platform_library_open(LIBRARY_FILES[index]);
        if (module != nullptr) return module;
        append_open_error(used, index == 0 ? "" : "; ");
    }
    finish_open_error(used);
    return nullptr;
}

}  // namespace

bool flac_library_load() {
    std::lock_guard<std::mutex> lock(library_mutex);
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
    if (directory_length + strlen(LIBRARY_FILES[0]) + 1 > sizeof path) {
        fail_directory();
        return false;
    }

    library.module = open_library(path, directory_length, sizeof path);
    if (library.module == nullptr) return false;
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
    flac_library_load();
    return library.error_text;
}

bool flac_library_require(char* error_text, size_t error_capacity) {
    if (flac_library_load()) return true;
    format_to_buffer(error_text, error_capacity, "%s", library.error_text);
    return false;
}

void flac_library_unload() {
    std::lock_guard<std::mutex> lock(library_mutex);
    platform_library_close(library.module);
    library = FlacLibrary{};
}

bool flac_library_describe(FlacLibraryDescription& description) {
    description = FlacLibraryDescription{};
    description.version = "";
    if (!flac_library_load()) return false;
    platform_library_file(library.module, description.file, sizeof description.file);
    // FLAC__VERSION_STRING is a variable holding a pointer to the text.
    const char* const* version =
        static_cast<const char* const*>(platform_library_symbol(library.module, "FLAC__VERSION_STRING"));
    if (version != nullptr && *version != nullptr) description.version = *version;
    // A libFLAC 1.5 built without threads has the call but refuses any count.
    if (library.stream_encoder_set_num_threads != nullptr) {
        FLAC__StreamEncoder* encoder = library.stream_encoder_new();
        if (encoder != nullptr) {
            description.encoder_threads = library.stream_encoder_set_num_threads(encoder, 2) == 0;
            library.stream_encoder_delete(encoder);
        }
    }
    return true;
}

const FlacLibrary& flac_library_entry_points() { return library; }
