#include "batch/batch_file.h"

#include "audio_io/flac_suffix.h"
#include "audio_io/input_source.h"
#include "platform/directory_listing.h"

const char* batch_status_name(int32_t status) {
    switch (status) {
        case BATCH_STATUS_HDCD: return "hdcd";
        case BATCH_STATUS_SIGNALLING_ONLY: return "signalling-only";
        case BATCH_STATUS_ERROR: return "error";
        case BATCH_STATUS_OTHER: return "other";
        case BATCH_STATUS_SKIPPED: return "skipped";
        case BATCH_STATUS_DECODED: return "decoded";
        default: return "none";
    }
}

const char* batch_packet_type_name(uint32_t packet_type) {
    switch (packet_type) {
        case 1: return "A";
        case 2: return "B";
        case 3: return "A+B";
        default: return nullptr;
    }
}

const char* batch_peak_extend_mode_name(uint32_t peak_extend_mode) {
    switch (peak_extend_mode) {
        case 1: return "intermittent";
        case 2: return "always";
        default: return "never";
    }
}

bool batch_file_take_kind(BatchFile& file) {
    if (has_flac_suffix(file.path.c_str())) {
        file.audio = true;
        file.input_kind = INPUT_KIND_FLAC;
    } else if (path_has_suffix(file.path.c_str(), ".wav")) {
        file.audio = true;
        file.input_kind = INPUT_KIND_WAV;
    }
    return file.audio;
}

std::string batch_file_folder(const BatchFile& file) {
    const size_t end = batch_path_folder_end(file.path, file.folder);
    return end == 0 ? std::string(".") : file.path.substr(0, end);
}

size_t batch_path_name_start(const std::string& path) {
    size_t start = path.size();
    while (start > 0 && !platform_is_path_separator(path[start - 1])) --start;
    return start;
}

size_t batch_path_folder_end(const std::string& path, bool folder) {
    if (folder) return path.size();
    // "/x.wav" lives in "/"; otherwise the separator is not part of the folder.
    const size_t start = batch_path_name_start(path);
    return start <= 1 ? start : start - 1;
}

bool batch_path_before(const std::string& a, bool a_folder, const std::string& b, bool b_folder) {
    return batch_path_before_at(a, batch_path_folder_end(a, a_folder), a_folder, b,
                                batch_path_folder_end(b, b_folder), b_folder);
}

bool batch_path_before_at(const std::string& a, size_t a_end, bool a_folder, const std::string& b, size_t b_end,
                          bool b_folder) {
    const int folders = a.compare(0, a_end, b, 0, b_end);
    if (folders != 0) return folders < 0;
    if (a_folder != b_folder) return a_folder;
    return a.compare(a_end, std::string::npos, b, b_end, std::string::npos) < 0;
}

bool batch_file_before(const BatchFile& a, const BatchFile& b) {
    return batch_path_before(a.path, a.folder, b.path, b.folder);
}

double batch_file_seconds(const BatchFile& file) {
    return file.sample_rate == 0 ? 0.0 : static_cast<double>(file.frames) / file.sample_rate;
}

bool batch_file_reported(const BatchFile& file, bool with_actions) {
    if (!file.scanned) return false;
    if (file.status == BATCH_STATUS_SKIPPED || file.status == BATCH_STATUS_ERROR) return true;
    return file.audio || (with_actions && !file.action.empty());
}
