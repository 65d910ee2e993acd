#include "batch/file_decode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "console/cancellation.h"
#include "console/console.h"
#include "console/shared_messages.h"
#include "operations/decode_core.h"
#include "platform/directory_listing.h"
#include "platform/file_paths.h"

namespace {

constexpr size_t COPY_BLOCK_BYTES = 1 << 20;
const char TEMPORARY_SUFFIX[] = ".partial";

// The path below the output folder: the part of the input's path below its
// PATH argument, with the suffix changed when decoding.
std::string output_path(const BatchFile& file, const DecodePlan& plan, bool decoded) {
    std::string relative = file.path.substr(file.relative_start);
    if (decoded) {
        const size_t dot = relative.rfind('.');
        relative = relative.substr(0, dot) + (plan.output_kind == OUTPUT_KIND_FLAC ? ".flac" : ".wav");
    }
    std::string path = plan.output_root;
    if (!path.empty() && !platform_is_path_separator(path.back())) path += platform_path_separator();
    return path + relative;
}

// Creates the folders above path that are missing, from the output folder down.
bool make_folders(const std::string& path, size_t root_length, std::string& failure) {
    for (size_t i = root_length; i < path.size(); ++i) {
        if (!platform_is_path_separator(path[i])) continue;
        const std::string folder = path.substr(0, i);
        char error_text[256] = "";
        if (!platform_make_directory(folder.c_str(), error_text, sizeof error_text)) {
            failure = "cannot create the folder " + folder + " (" + error_text + ")";
            return false;
        }
    }
    return true;
}

void note_failure(BatchFile& file, const DecodePlan& plan, const std::string& message, int error_number) {
    if (platform_error_is_disk_full(error_number)) {
        plan.disk_full->store(true);
        file.action = "failed: the disk is full";
        return;
    }
    file.action = "failed: " + message;
}

bool keep_going(void* /*context*/, uint32_t /*frames*/) {
    return !cancel_is_requested();
}

const char* decode_failure_text(int32_t status) {
    switch (status) {
        case DECODE_CORE_NOT_PCM16: return "not PCM16";
        case DECODE_CORE_METADATA_FAILED:
        case DECODE_CORE_OUT_OF_MEMORY: return "out of memory";
        case DECODE_CORE_WRITE_FAILED: return "error writing the output";
        case DECODE_CORE_INPUT_BROKEN: return FLAC_DECODE_ERROR_TEXT;
        default: return "error finishing the output";
    }
}

// Decodes into `temporary`; true when it is complete. On failure the message
// (or the cancel) is noted in the file and the temporary file is gone.
bool decode_into(BatchFile& file, const DecodePlan& plan, const std::string& temporary) {
    DecodeCore core{};
    char error_text[256] = "";
    int32_t status = decode_core_open_input(core, file.path.c_str(), file.input_kind, error_text, sizeof error_text);
    bool created = false;
    // plan.encoder_threads is the count to hand to the encoder once the
    // library loader binds FLAC__stream_encoder_set_num_threads (libFLAC 1.5);
    // until then every encoder runs on its worker's thread alone.
    if (status == DECODE_CORE_OK) {
        status = decode_core_open_output(core, temporary.c_str(), plan.output_kind, nullptr, created, error_text,
                                         sizeof error_text);
        if (status == DECODE_CORE_OUTPUT_FAILED) core.failure_errno = errno;
    }
    if (status == DECODE_CORE_OK) status = decode_core_run(core, {keep_going, nullptr});
    if (status == DECODE_CORE_OK) status = decode_core_finish(core);
    if (status == DECODE_CORE_OK) return true;
    decode_core_abandon(core);
    if (created || status == DECODE_CORE_OUTPUT_FAILED) remove(temporary.c_str());
    if (status == DECODE_CORE_STOPPED) {
        file.scanned = false;
        return false;
    }
    const bool has_text = status == DECODE_CORE_INPUT_FAILED || status == DECODE_CORE_OUTPUT_FAILED;
    note_failure(file, plan, has_text ? error_text : decode_failure_text(status), core.failure_errno);
    return false;
}

struct FileCloser {
    void operator()(FILE* file) const {
        if (file != nullptr) fclose(file);
    }
};

// Copies the file into `temporary` block by block; true when it is complete
// and closed.
bool copy_into(BatchFile& file, const DecodePlan& plan, const std::string& temporary) {
    std::unique_ptr<FILE, FileCloser> in(fopen(file.path.c_str(), "rb"));
    if (!in) {
        note_failure(file, plan, std::string("cannot open the file (") + strerror(errno) + ")", 0);
        return false;
    }
    FILE* out = fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        const int code = errno;
        note_failure(file, plan, std::string("cannot create the copy (") + strerror(code) + ")", code);
        return false;
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[COPY_BLOCK_BYTES]);
    int code = 0;
    std::string message;
    bool cancelled = false;
    if (!buffer) message = "out of memory";
    while (message.empty()) {
        const size_t got = fread(buffer.get(), 1, COPY_BLOCK_BYTES, in.get());
        if (got == 0) {
            if (ferror(in.get())) message = "error reading the file";
            break;
        }
        errno = 0;
        if (fwrite(buffer.get(), 1, got, out) != got) {
            code = errno;
            message = "error writing the copy";
        } else if (cancel_is_requested()) {
            cancelled = true;
            break;
        }
    }
    errno = 0;
    if (fclose(out) != 0 && message.empty() && !cancelled) {
        code = errno;
        message = "error writing the copy";
    }
    if (message.empty() && !cancelled) return true;
    remove(temporary.c_str());
    if (cancelled) {
        file.scanned = false;
    } else {
        note_failure(file, plan, message, code);
    }
    return false;
}

}  // namespace

void file_decode_run(BatchFile& file, const DecodePlan& plan) {
    file.action.clear();
    file.output.clear();
    if (file.audio && file.status == BATCH_STATUS_ERROR) {
        file.action = "failed: " + file.error;
        return;
    }
    const bool hdcd = file.status == BATCH_STATUS_HDCD ||
                      (plan.all_hdcd && file.status == BATCH_STATUS_SIGNALLING_ONLY);
    const bool decode = file.audio && hdcd && file.bits == 16 && file.container_bits == 16;
    if (!decode && !plan.copy_others) {
        if (!file.audio) return;
        file.action = file.status == BATCH_STATUS_NONE            ? "skipped: no HDCD"
                      : file.status == BATCH_STATUS_SIGNALLING_ONLY ? "skipped: signalling only"
                                                                    : "skipped: not PCM16";
        return;
    }
    const std::string target = output_path(file, plan, decode);
    file.output = target;
    uint64_t size = 0;
    if (!plan.overwrite && platform_path_kind(target.c_str(), size) != PLATFORM_ENTRY_MISSING) {
        file.action = "exists";
        return;
    }
    if (plan.dry_run) {
        file.action = decode ? "would decode" : "would copy";
        return;
    }
    std::string failure;
    if (!make_folders(target, plan.output_root.size(), failure)) {
        file.action = "failed: " + failure;
        return;
    }
    const std::string temporary = target + TEMPORARY_SUFFIX;
    if (!(decode ? decode_into(file, plan, temporary) : copy_into(file, plan, temporary))) return;
    char error_text[256] = "";
    if (!platform_move_replacing(temporary.c_str(), target.c_str(), error_text, sizeof error_text)) {
        remove(temporary.c_str());
        file.action = std::string("failed: cannot move the output into place (") + error_text + ")";
        return;
    }
    file.action = decode ? "decoded" : "copied";
}

std::string batch_action_kind(const BatchFile& file) {
    const size_t colon = file.action.find(':');
    return colon == std::string::npos ? file.action : file.action.substr(0, colon);
}
