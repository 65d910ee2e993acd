// The files under the PATH arguments: folders walked recursively without
// following links to folders, audio taken by its suffix, everything else kept
// as "other" (decode --copy-others copies it; scan counts it as skipped).
// Every entry of the walk is accounted for: what cannot be inspected or read
// is an error, what must not be opened (pipes, sockets, devices, dangling
// links, system files) is skipped with its reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "batch/batch_file.h"
#include "platform/file_identity.h"

// Where an entry was found: the identity of the folder that holds it and its
// name there. One entry reached through two PATHs, or two spellings of one,
// has one key.
struct CollectionKey {
    FileIdentity folder;  // the folder it was found in
    std::string name;
    uint32_t argument;   // which PATH it was found under, in the order given
};

struct BatchCollection {
    std::vector<BatchFile> files;  // in album order (batch_file_before), each entry once
    std::vector<CollectionKey> keys;  // beside files until collection_finish
    uint64_t audio_files;
    uint64_t audio_bytes;
    uint64_t other_files;
};

// Adds what path names. False with the reason in error_text when nothing
// readable is there, or something that must not be opened (a named pipe, a
// device): an argument error.
bool collection_add_path(BatchCollection& collection, const char* path, char* error_text, size_t error_capacity);

// Keeps each entry once (below the outermost PATH it was found under), sorts
// the files and counts them. Call once every PATH was added.
void collection_finish(BatchCollection& collection);
