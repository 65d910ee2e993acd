#include "batch/file_decode.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "console/cancellation.h"
#include "console/shared_messages.h"
#include "files/path_identity.h"
#include "hdcd/hdcd_scanner.h"
#include "operations/decode_core.h"
#include "platform/directory_listing.h"
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

// The action of a failed output; a full disk also stops the run.
std::string failure_action(const DecodePlan& plan, const std::string& message, int error_number) {
    if (platform_error_is_disk_full(error_number)) {
        plan.disk_full->store(true);
        return BATCH_DISK_FULL_ACTION;
    }
    return "failed: " + message;
}

std::string system_reason(const std::string& what, int error_number) {
    return what + " (" + (error_number != 0 ? strerror(error_number) : "unknown error") + ")";
}

// Creates the folders above path that are missing, the output folder and the
// folders above it included.
bool make_folders(const std::string& path, const DecodePlan& plan, std::string& action) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (!platform_is_path_separator(path[i])) continue;
        const std::string folder = path.substr(0, i);
        char error_text[256] = "";
        errno = 0;
        if (!platform_make_directory(folder.c_str(), error_text, sizeof error_text)) {
            action = failure_action(plan, "cannot create the folder " + folder + " (" + error_text + ")", errno);
            return false;
        }
    }
    return true;
}

// Writes never reach a PATH being read: an output whose folder is, through a
// link met below the output folder, inside a PATH, or whose name is its own
// input (through a link among the inputs), is refused.
bool output_apart_from_inputs(const BatchFile& file, const std::string& target, const DecodePlan& plan,
                              std::string& action) {
    if (path_same_file(file.path.c_str(), target.c_str())) {
        action = "failed: the output " + target + " is this file itself";
        return false;
    }
    std::string folder;
    if (!platform_parent_path(target, folder)) folder = target;
    for (const std::string& root : plan.input_roots) {
        if (path_within(root.c_str(), folder.c_str())) {
            action = "failed: the output folder of " + target + " lies inside " + root + ", which is read";
            return false;
        }
    }
    return true;
}

// Looks at the target before anything is written: the action when nothing may
// be written there ("exists", or the failure), empty when it may.
std::string check_target(OutputFile& output, const std::string& target, const DecodePlan& plan) {
    std::string reason;
    const int status = output_file_check(output, target.c_str(), plan.overwrite, BATCH_TEMPORARY_TAG, reason);
    if (status == OUTPUT_FILE_EXISTS && reason.empty()) return "exists";
    if (status != OUTPUT_FILE_OK) return "failed: the output name " + target + " is " + reason;
    return "";
}

// Creates the output's temporary file; false with the action on failure.
bool open_output(OutputFile& output, const DecodePlan& plan, std::string& action) {
    const int status = output_file_open(output);
    if (status == OUTPUT_FILE_OK) return true;
    action = status == OUTPUT_FILE_NO_TEMPORARY
                 ? "failed: no temporary name is free beside " + output.target
                 : failure_action(plan, system_reason("cannot create the output", output.error_number),
                                  output.error_number);
    return false;
}

// Puts the complete output at its name; false with the action on failure.
bool commit_output(OutputFile& output, const DecodePlan& plan, std::string& action) {
    char failure[256] = "";
    const int status = output_file_commit(output, failure, sizeof failure);
    if (status == OUTPUT_FILE_OK) return true;
    if (status == OUTPUT_FILE_EXISTS) {
        action = "exists";
    } else if (status == OUTPUT_FILE_FAILED) {
        action = failure_action(plan, system_reason("error writing the output", output.error_number),
                                output.error_number);
    } else {
        action = std::string("failed: cannot move the output into place (") + failure + ")";
    }
    return false;
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
        default: return "error finishing the output";
    }
}

// Decodes into the output; true when it is complete. On failure the message
// (or the cancel) is noted in the file and the output abandoned.
bool decode_into(BatchFile& file, const DecodePlan& plan, OutputFile& output) {
    DecodeCore core{};
    core.encoder_threads = plan.encoder_threads;
    char error_text[256] = "";
    int32_t status = decode_core_open_input(core, file.path.c_str(), file.input_kind, error_text, sizeof error_text);
    if (status == DECODE_CORE_OK && !open_output(output, plan, file.action)) {
        decode_core_abandon(core);
        return false;
    }
    bool created = false;
    if (status == DECODE_CORE_OK) {
        status = decode_core_open_output(core, output.stream, plan.output_kind, nullptr, created, error_text,
                                         sizeof error_text);
        if (status == DECODE_CORE_OUTPUT_FAILED) core.failure_errno = errno;
    }
    if (status == DECODE_CORE_OK) status = decode_core_run(core, {keep_going, nullptr});
    const char* input_failure = status == DECODE_CORE_INPUT_BROKEN ? input_source_failure_text(core.source) : "";
    if (status == DECODE_CORE_OK) status = decode_core_finish(core);
    if (status == DECODE_CORE_OK) return true;
    decode_core_abandon(core);
    output_file_abandon(output);
    if (status == DECODE_CORE_STOPPED) {
        file.scanned = false;
        return false;
    }
    const bool has_text = status == DECODE_CORE_INPUT_FAILED || status == DECODE_CORE_OUTPUT_FAILED;
    const std::string message = status == DECODE_CORE_INPUT_BROKEN ? std::string(input_failure)
                                : has_text                          ? std::string(error_text)
                                                                    : std::string(decode_failure_text(status));
    file.action = failure_action(plan, message, core.failure_errno);
    return false;
}

struct FileCloser {
    void operator()(FILE* file) const {
        if (file != nullptr) fclose(file);
    }
};

// Copies the file into the output block by block, keeping its permission bits
// and modification time; true when the copy is complete.
bool copy_into(BatchFile& file, const DecodePlan& plan, OutputFile& output) {
    std::unique_ptr<FILE, FileCloser> in(fopen(file.path.c_str(), "rb"));
    if (!in) {
        file.action = failure_action(plan, system_reason("cannot open the file", errno), 0);
        return false;
    }
    if (!open_output(output, plan, file.action)) return false;
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
        if (fwrite(buffer.get(), 1, got, output.stream) != got) {
            code = errno;
            message = "error writing the copy";
        } else if (cancel_is_requested()) {
            cancelled = true;
            break;
        }
    }
    if (message.empty() && !cancelled && !output_file_take_mode_and_time(output, file.path.c_str())) {
        code = output.error_number;
        message = system_reason("error writing the copy", code);
    }
    if (message.empty() && !cancelled) return true;
    output_file_abandon(output);
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
    output_file_abandon(state.file);
}

bool alongside_open(void* context, const InputSource& source) {
    FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    if (!make_folders(state.target, *state.plan, state.failure)) return false;
    if (!open_output(state.file, *state.plan, state.failure)) return false;
    char error_text[256] = "";
    bool created = false;
    state.core.encoder_threads = state.plan->encoder_threads;
    const int32_t status = decode_core_open_output_for(state.core, source, state.file.stream, state.plan->output_kind,
                                                       nullptr, created, error_text, sizeof error_text);
    const int error_number = errno;
    if (status == DECODE_CORE_OK) return true;
    state.failure = failure_action(
        *state.plan, status == DECODE_CORE_OUTPUT_FAILED ? error_text : decode_failure_text(status), error_number);
    alongside_drop(state);
    return false;
}

bool alongside_write(void* context, const int32_t* decoded, uint32_t frames) {
    FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    if (decode_core_write(state.core, decoded, frames) == DECODE_CORE_OK) return true;
    state.failure =
        failure_action(*state.plan, decode_failure_text(DECODE_CORE_WRITE_FAILED), state.core.failure_errno);
    return false;
}

void alongside_end(void* context, BatchFile& file) {
    FileDecodeState& state = *static_cast<FileDecodeState*>(context);
    if (state.output.failed || !file.scanned || !qualifies(file, *state.plan)) {
        alongside_drop(state);
        return;
    }
    if (decode_core_finish(state.core) != DECODE_CORE_OK) {
        state.failure = failure_action(*state.plan, decode_failure_text(DECODE_CORE_FINISH_FAILED),
                                       state.core.failure_errno);
        alongside_drop(state);
        return;
    }
    state.done = commit_output(state.file, *state.plan, state.failure);
}

// The name a file's output takes once its scan is known: its decode, its copy
// (with --copy-others), or none.
std::string planned_output(const BatchFile& file, const DecodePlan& plan) {
    if (qualifies(file, plan)) return output_path(file, plan, true);
    if (plan.copy_others) return output_path(file, plan, false);
    return "";
}

}  // namespace

void decode_mark_output_clashes(std::vector<BatchFile>& files, const DecodePlan& plan) {
    // Every name a file might write, before its scan says which it will.
    std::map<std::string, std::vector<size_t>> claims;
    for (size_t i = 0; i < files.size(); ++i) {
        const BatchFile& file = files[i];
        if (file.scanned) continue;  // settled by the walk (skipped or unreadable): it writes nothing
        std::vector<std::string> names;
        if (file.audio) names.push_back(output_path(file, plan, true));
        if (plan.copy_others) names.push_back(output_path(file, plan, false));
        if (names.size() == 2 && platform_path_compare_key(names[0]) == platform_path_compare_key(names[1])) {
            names.pop_back();
        }
        for (const std::string& name : names) claims[platform_path_compare_key(name)].push_back(i);
    }
    for (const auto& claim : claims) {
        if (claim.second.size() < 2) continue;
        for (const size_t index : claim.second) files[index].output_clash = true;
    }
}

std::vector<size_t> decode_settle_output_clashes(std::vector<BatchFile>& files, const DecodePlan& plan) {
    std::vector<size_t> settled;
    std::map<std::string, std::vector<size_t>> claims;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i].output_clash || !files[i].scanned) continue;
        const std::string name = planned_output(files[i], plan);
        if (!name.empty()) claims[platform_path_compare_key(name)].push_back(i);
    }
    for (const auto& claim : claims) {
        if (claim.second.size() < 2) {
            files[claim.second[0]].output_clash = false;  // only a possible clash: written after all
            settled.push_back(claim.second[0]);
            continue;
        }
        for (const size_t index : claim.second) {
            BatchFile& file = files[index];
            const BatchFile& other = files[claim.second[index == claim.second[0] ? 1 : 0]];
            file.output = planned_output(file, plan);
            file.action = "failed: " + other.path + " has the same output name";
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        BatchFile& file = files[i];
        if (file.output_clash && file.scanned && planned_output(file, plan).empty()) {
            file.output_clash = false;
            settled.push_back(i);
        }
    }
    std::sort(settled.begin(), settled.end());
    return settled;
}

ScanOutput* file_decode_prepare(FileDecodeState& state, const BatchFile& file, const DecodePlan& plan) {
    state.plan = &plan;
    state.file = OutputFile{};
    state.file.cleanup_slot = -1;
    if (!file.audio || plan.dry_run || file.output_clash) return nullptr;
    state.target = output_path(file, plan, true);
    std::string action;
    if (!output_apart_from_inputs(file, state.target, plan, action)) return nullptr;
    if (!check_target(state.file, state.target, plan).empty()) {
        output_file_abandon(state.file);  // written, if at all, after the scan, which says why not
        return nullptr;
    }
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
    const bool decode = qualifies(file, plan);
    if (!decode && !plan.copy_others) {
        if (!file.audio) return;
        file.action = file.status == BATCH_STATUS_ERROR          ? "failed: " + file.error
                      : file.status == BATCH_STATUS_NONE            ? "skipped: no HDCD"
                      : file.status == BATCH_STATUS_SIGNALLING_ONLY ? "skipped: signalling only"
                      : file.status == BATCH_STATUS_DECODED         ? "skipped: already decoded"
                                                                    : "skipped: not PCM16";
        return;
    }
    // Without a decode, a file is copied whatever it holds, so that its album
    // stays whole; its status keeps the reason it was not decoded.
    const std::string target = output_path(file, plan, decode);
    file.output = target;
    if (!output_apart_from_inputs(file, target, plan, file.action)) return;
    OutputFile output{};
    OutputFileGuard output_guard{output};
    file.action = check_target(output, target, plan);
    if (!file.action.empty()) return;
    if (plan.dry_run) {
        file.action = decode ? "would decode" : "would copy";
        return;
    }
    if (!make_folders(target, plan, file.action)) return;
    if (!(decode ? decode_into(file, plan, output) : copy_into(file, plan, output))) return;
    if (!commit_output(output, plan, file.action)) return;
    file.action = decode ? "decoded" : "copied";
}

std::string batch_action_kind(const BatchFile& file) {
    const size_t colon = file.action.find(':');
    return colon == std::string::npos ? file.action : file.action.substr(0, colon);
}
