// The files under the PATH arguments: folders walked recursively without
// following links to folders, audio taken by its suffix, everything else kept
// as "other" (decode --copy-others copies it; scan counts it as skipped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "batch/batch_file.h"

struct BatchCollection {
    std::vector<BatchFile> files;  // sorted by the bytes of their paths, each path once
    uint64_t audio_files;
    uint64_t audio_bytes;
    uint64_t other_files;
};

// Adds what path names. False with the reason in error_text when nothing is
// there: an argument error.
bool collection_add_path(BatchCollection& collection, const char* path, char* error_text, size_t error_capacity);

// Sorts the files, drops paths found twice and counts them. Call once every
// PATH was added.
void collection_finish(BatchCollection& collection);
