// What is in a folder, and what a path names: the walk over a collection asks
// the system through these alone. Names are UTF-8 on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum PlatformEntryKind {
    PLATFORM_ENTRY_MISSING = 0,    // nothing there (or it cannot be inspected)
    PLATFORM_ENTRY_FILE = 1,       // a regular file, or a link to one
    PLATFORM_ENTRY_DIRECTORY = 2,  // a folder; in a listing never a link to one
    PLATFORM_ENTRY_OTHER = 3,      // a device, pipe, socket, or a link to a folder in a listing
};

struct PlatformDirectoryEntry {
    std::string name;
    int32_t kind;
    uint64_t size;  // bytes of a file, else 0
};

// What path names, following links (a link the user named is taken for what it
// points at). size receives a file's length.
int32_t platform_path_kind(const char* path, uint64_t& size);

// The entries of the folder at path, without "." and "..", in the order the
// system gives them. Links to folders are reported as PLATFORM_ENTRY_OTHER so
// that a walk never follows them. False with the system's reason in error_text
// when the folder cannot be read.
bool platform_list_directory(const char* path, std::vector<PlatformDirectoryEntry>& entries, char* error_text,
                             size_t error_capacity);

// Creates the folder at path; true when it exists afterwards as a folder.
bool platform_make_directory(const char* path, char* error_text, size_t error_capacity);

// The separator this system's paths use between folder names.
char platform_path_separator();

// True for the characters that end a folder name in a path ('/', and on Windows '\\').
bool platform_is_path_separator(char c);
