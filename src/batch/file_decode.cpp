#include "batch/file_decode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "console/cancellation.h"
#include "console/console.h"
#include "console/shared_messages.h"
#include "operations/decode_core.h"
#include "platform/directory_listing.h"
#include "hdcd/hdcd_scanner.h"
#include "platform/file_paths.h"

const char BATCH_DISK_FULL_ACTION[] = "failed: the disk is full";

namespace {

constexpr size_t COPY_BLOCK_BYTES = 1 << 20;

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

// Renames the complete temporary file to its target; when that fails the
// temporary file is removed and `failure` holds the action.
bool move_into_place(const std::string& temporary, const std::string& target, std::string& failure) {
    char error_text[256] = "";
    if (platform_move_replacing(temporary.c_str(), target.c_str(), error_text, sizeof error_text)) return true;
    remove(temporary.c_str());
    failure = std::string("failed: cannot move the output into place (") + error_text + ")";
    return false;
}

// The action of a failed output; a full disk also stops the run.
std::string failure_action(const DecodePlan& plan, const std::string& message, int error_number) {
    if (platform_error_is_disk_full(error_number)) {
        plan.disk_full->store(true);
        return BATCH_DISK_FULL_ACTION;
    }
    return "failed: " + message;
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
    core.encoder_threads = plan.encoder_threads;
    char error_text[256] = "";
    int32_t status = decode_core_open_input(core, file.path.c_str(), file.input_kind, error_text, sizeof error_text);
    bool created = false;
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
    file.action = failure_action(plan, has_text ? error_text : decode_failure_text(status), core.failure_errno);
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
        file.action = failure_action(plan, std::string("cannot open the file (") + strerror(errno) + ")", 0);
        return false;
    }
    FILE* out = fopen(temporary.c_str(), "wb");
    if (out == nullptr) {
        const int code = errno;
        file.action = failure_action(plan, std::string("cannot create the copy (") + strerror(code) + ")", code);
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
        file.action = failure_action(plan, message, code);
    }
    return false;
}

bool qualifies(const BatchFile& file, const DecodePlan& plan) {
    const bool hdcd = file.status == BATCH_STATUS_HDCD ||
                      (plan.all_hdcd && file.status == BATCH_STATUS_SIGNALLING_ONLY);
    return file.audio && hdcd && file.bits == 16 && file.container_bits == 16;
}

// The scan's pass writes the output from the first packet that settles the
// decision: Peak Extend or a gain change (with --all-hdcd any valid packet).
bool alongside_start_now(void* context, const HdcdScanner& scanner) {
    const FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    HdcdSummary summary;
    hdcd_scanner_summary(scanner, summary);
    if (summary.peak_extend_packets != 0 || summary.max_gain_code != 0) return true;
    return state.plan->all_hdcd && summary.hdcd_found;
}

void alongside_drop(FileDecodeState& state) {
    decode_core_abandon(state.core);
    if (state.created) remove(state.temporary.c_str());
    state.created = false;
}

bool alongside_open(void* context, const InputSource& source) {
    FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    std::string failure;
    if (!make_folders(state.target, state.plan->output_root.size(), failure)) {
        state.failure = "failed: " + failure;
        return false;
    }
    char error_text[256] = "";
    bool created = false;
    state.core.encoder_threads = state.plan->encoder_threads;
    const int32_t status = decode_core_open_output_for(state.core, source, state.temporary.c_str(),
                                                       state.plan->output_kind, nullptr, created, error_text,
                                                       sizeof error_text);
    const int error_number = errno;
    state.created = created || status == DECODE_CORE_OUTPUT_FAILED;
    if (status == DECODE_CORE_OK) return true;
    state.failure = failure_action(*state.plan, status == DECODE_CORE_OUTPUT_FAILED ? error_text : decode_failure_text(status),
                 error_number);
    alongside_drop(state);
    return false;
}

bool alongside_write(void* context, const int32_t* decoded, uint32_t frames) {
    FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    if (decode_core_write(state.core, decoded, frames) == DECODE_CORE_OK) return true;
    state.failure = failure_action(*state.plan, decode_failure_text(DECODE_CORE_WRITE_FAILED), state.core.failure_errno);
    return false;
}

void alongside_end(void* context, BatchFile& file) {
    FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    if (state.output.failed || !file.scanned || !qualifies(file, *state.plan)) {
        alongside_drop(state);
        return;
    }
    if (decode_core_finish(state.core) != DECODE_CORE_OK) {
        state.failure = failure_action(*state.plan, decode_failure_text(DECODE_CORE_FINISH_FAILED), state.core.failure_errno);
        alongside_drop(state);
        return;
    }
    state.done = move_into_place(state.temporary, state.target, state.failure);
}

}  // namespace

void decode_mark_output_clashes(std::vector<BatchFile>& files, const DecodePlan& plan) {
    std::map<std::string, size_t> claimed;
    const auto claim = [&](size_t index, const std::string& target) {
        for (const std::string& name : {target, target + BATCH_TEMPORARY_SUFFIX}) {
            const auto found = claimed.emplace(platform_path_compare_key(name), index);
            if (found.second || found.first->second == index) continue;
            for (const size_t one : {index, found.first->second}) {
                BatchFile& file = files[one];
                const BatchFile& other = files[one == index ? found.first->second : index];
                if (file.output_clash) continue;
                file.output_clash = true;
                file.output = target;
                file.action = "failed: " + other.path + " has the same output name";
            }
        }
    };
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].audio) claim(i, output_path(files[i], plan, true));
        if (plan.copy_others) claim(i, output_path(files[i], plan, false));
    }
}

ScanOutput* file_decode_prepare(FileDecodeState& state, const BatchFile& file, const DecodePlan& plan) {
    state.plan = &plan;
    if (!file.audio || plan.dry_run || file.output_clash) return nullptr;
    state.target = output_path(file, plan, true);
    uint64_t size = 0;
    if (!plan.overwrite && platform_path_kind(state.target.c_str(), size) != PLATFORM_ENTRY_MISSING) return nullptr;
    state.temporary = state.target + BATCH_TEMPORARY_SUFFIX;
    state.output = ScanOutput{&state, alongside_start_now, alongside_open, alongside_write, alongside_end, false, false};
    return &state.output;
}

void file_decode_run(BatchFile& file, const DecodePlan& plan, FileDecodeState& state) {
    if (file.output_clash) return;
    file.action.clear();
    file.output.clear();
    if (state.done || !state.failure.empty()) {
        file.output = state.target;
        file.action = state.done ? "decoded" : state.failure;
        return;
    }
    if (file.audio && file.status == BATCH_STATUS_ERROR) {
        file.action = "failed: " + file.error;
        return;
    }
    const bool decode = qualifies(file, plan);
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
    const std::string temporary = target + BATCH_TEMPORARY_SUFFIX;
    if (!(decode ? decode_into(file, plan, temporary) : copy_into(file, plan, temporary))) return;
    if (!move_into_place(temporary, target, file.action)) return;
    file.action = decode ? "decoded" : "copied";
}

std::string batch_action_kind(const BatchFile& file) {
    const size_t colon = file.action.find(':');
    return colon == std::string::npos ? file.action : file.action.substr(0, colon);
}
