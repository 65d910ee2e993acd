#include "tools/lle_test_generate.h"

#include <algorithm>
#include <memory>
#include <new>

#include "console/console.h"
#include "audio_io/block_size.h"
#include "console/shared_messages.h"
#include "audio_io/output_sink.h"
#include "files/output_file.h"
#include "files/output_file_messages.h"
#include "tools/lle_test_signal.h"

namespace {

void lle_test_print_report(const char* output_path) {
    print_to_stdout("Synthetic HDCD LLE test created: %s\n", output_path);
    print_to_stdout("Duration: 10.0 s\n");
    print_to_stdout("Packet type: B\n");
    print_to_stdout("Peak Extend: Off\n");
    print_to_stdout("Target sequence: 0.0 dB -> -4.0 dB -> -2.0 dB -> 0.0 dB\n");
    print_to_stdout("Packet interval: 1000 samples\n");
    print_to_stdout("\n");
    print_to_stdout("Next: scan this file with QV-HDCD and FFmpeg, then compare their decoded PCM.\n");
}

int lle_test_fail(OutputSink& sink, OutputFile& file) {
    output_sink_abandon(sink);
    output_file_abandon(file);
    return 1;
}

}  // namespace

int lle_test_generate(const char* output_path) {
    // An existing file is replaced without asking.
    OutputFile file{};
    OutputFileGuard file_guard{file};
    if (!output_file_check_printing(file, output_path, true)) return 1;
    OutputSink sink{};
    if (!output_file_open_printing(file)) return 1;
    char error_text[256] = "";
    const bool created = output_sink_open_wav(sink, file.stream, LLE_TEST_SAMPLE_RATE, 16, LLE_TEST_FRAMES,
                                              error_text, sizeof error_text);
    if (!created) {
        print_to_stream(stderr, "Error: %s\n", error_text);
        return lle_test_fail(sink, file);
    }
    std::unique_ptr<int32_t[]> block(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
    if (!block || !output_sink_allocate(sink)) {
        print_out_of_memory();
        return lle_test_fail(sink, file);
    }

    LleTestSignal signal;
    lle_test_signal_init(signal);
    while (signal.next_frame < LLE_TEST_FRAMES) {
        const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(BLOCK_FRAMES, LLE_TEST_FRAMES - signal.next_frame));
        lle_test_signal_fill(signal, block.get(), frames);
        if (output_sink_write_pcm16(sink, block.get(), frames) != frames) {
            print_to_stream(stderr, "Error writing synthetic test WAV.\n");
            return lle_test_fail(sink, file);
        }
    }
    const char* finish_error = "Error finalizing synthetic test WAV.\n";
    if (!output_sink_finish(sink)) {
        print_to_stream(stderr, "%s", finish_error);
        return lle_test_fail(sink, file);
    }
    if (!output_file_commit_printing(file, finish_error)) return 1;
    lle_test_print_report(output_path);
    return 0;
}
