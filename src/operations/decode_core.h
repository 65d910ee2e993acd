// The decode of one PCM16 HDCD input into a PCM24 output, without any printing:
// open the input, open the output, run the block loop, finish. `qv-hdcd IN OUT`
// (through the decode skeleton, which prints its texts around these steps) and
// qv-hdcd-batch decode both decode through it, so their samples and carried
// FLAC blocks are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "audio_io/input_source.h"
#include "audio_io/output_sink.h"
#include "hdcd/hdcd_decoder.h"
#include "operations/flac_output_metadata.h"

enum DecodeCoreStatus {
    DECODE_CORE_OK = 0,
    DECODE_CORE_INPUT_FAILED,     // the input did not open; the reader's message is in error_text
    DECODE_CORE_NOT_PCM16,        // the input is not 16-bit
    DECODE_CORE_METADATA_FAILED,  // out of memory for the FLAC metadata list (already printed)
    DECODE_CORE_OUTPUT_FAILED,    // the writer could not be created; its message is in error_text
    DECODE_CORE_OUT_OF_MEMORY,
    DECODE_CORE_WRITE_FAILED,
    DECODE_CORE_STOPPED,          // the observer asked to stop
    DECODE_CORE_INPUT_BROKEN,     // reading failed somewhere in the stream (input_source_failure_text)
    DECODE_CORE_FINISH_FAILED,
    DECODE_CORE_RIFF_LIMIT,       // finishing failed because a RIFF output outgrew its size fields
};

struct DecodeCoreObserver {
    // Sees the frames of each block once they are written; false stops the loop.
    bool (*after_block)(void* context, uint32_t frames);
    void* context;
};

// Everything one decode holds; decode_core_abandon or decode_core_close
// releases it.
struct DecodeCore {
    InputSource source;
    bool input_open;
    OutputSink sink;
    FlacOutputMetadata metadata;  // referred to by the FLAC writer until it is finished
    std::unique_ptr<int32_t[]> block;
    HdcdDecoder decoder;
    int failure_errno;            // errno right after a failed write or finish (0 when none)
    uint32_t encoder_threads;     // threads a FLAC output's encoder may use; 0: one per processor
};

// Opens the input and refuses anything but PCM16.
int32_t decode_core_open_input(DecodeCore& core, const char* input_path, int32_t input_kind, char* error_text,
                               size_t error_capacity);

// Starts the PCM24 output on stream (the caller's, from its output file): FLAC (carrying the input's
// VORBIS_COMMENT and PICTURE blocks, tag_block in place of the comments when
// given) or WAV/RF64. `created` tells whether the writer was started, even
// when a later step failed.
int32_t decode_core_open_output(DecodeCore& core, FILE* stream, int32_t output_kind,
                                FLAC__StreamMetadata* tag_block, bool& created, char* error_text,
                                size_t error_capacity);

// The output alone, for a caller that reads and decodes `source` itself and
// hands the decoded blocks to decode_core_write. The source must stay open
// until the output is finished or abandoned.
int32_t decode_core_open_output_for(DecodeCore& core, const InputSource& source, FILE* stream,
                                    int32_t output_kind, FLAC__StreamMetadata* tag_block, bool& created,
                                    char* error_text, size_t error_capacity);

// Writes one decoded block.
int32_t decode_core_write(DecodeCore& core, const int32_t* decoded, uint32_t frames);

// Decodes and writes every block.
int32_t decode_core_run(DecodeCore& core, const DecodeCoreObserver& observer);

// Completes the output and closes the input (when the core opened it).
int32_t decode_core_finish(DecodeCore& core);

// Ends a failed decode: the writer is left unfinished (the caller abandons the
// file) and the input closed.
void decode_core_abandon(DecodeCore& core);
