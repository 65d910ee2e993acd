// What is in a folder, and what a path names: the walk over a collection asks
// the system through these alone. Names are UTF-8 on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_identity.h"

enum PlatformEntryKind {
    PLATFORM_ENTRY_MISSING = 0,        // nothing there (or it cannot be inspected)
    PLATFORM_ENTRY_FILE = 1,           // a regular file, or a link to one
    PLATFORM_ENTRY_DIRECTORY = 2,      // a folder; in a listing never a link to one
    PLATFORM_ENTRY_OTHER = 3,          // something else, never read
    PLATFORM_ENTRY_PIPE = 4,           // a named pipe (FIFO), or a link to one
    PLATFORM_ENTRY_SOCKET = 5,         // a socket, or a link to one
    PLATFORM_ENTRY_DEVICE = 6,         // a device, or a link to one
    PLATFORM_ENTRY_DANGLING_LINK = 7,  // listings only: a link to nothing
    PLATFORM_ENTRY_FOLDER_LINK = 8,    // listings only: a link to a folder (or a junction), not followed
    PLATFORM_ENTRY_UNREADABLE = 9,     // listings only: the entry could not be inspected (error says why)
};

// When a file was last changed, and what it is where the system tells that
// cheaply: with the size they tell whether a file changed since a report.
struct PlatformEntryStamp {
    int64_t modified_seconds;     // since 1970-01-01 UTC
    uint32_t modified_nanoseconds;
    bool modified_known;
    FileIdentity identity;
    bool identity_known;          // POSIX: device and inode; a Windows listing gives none
};

struct PlatformDirectoryEntry {
    std::string name;
    int32_t kind;
    uint64_t size;        // bytes of a file, else 0
    PlatformEntryStamp stamp;  // of a file
    bool hidden_system;   // marked both hidden and system (Windows)
    std::string error;    // PLATFORM_ENTRY_UNREADABLE: the system's reason
};

// A folder opened for a walk. Its entries are inspected, and its subfolders
// opened, relative to it: a walk never hands the system a whole path that it
// built, so depth and length of the tree do not matter.
struct PlatformFolder {
    int64_t descriptor;       // the open folder (POSIX); -1 when closed
    std::wstring wide_path;   // the folder in the long wide form (Windows)
    FileIdentity identity;    // the folder's identity on this machine
};

// What path names, following links (a link the user named is taken for what it
// points at). size receives a file's length.
int32_t platform_path_kind(const char* path, uint64_t& size);
// The same, with a file's stamp.
int32_t platform_path_kind_stamp(const char* path, uint64_t& size, PlatformEntryStamp& stamp);

// Opens the folder at path (following a link the user named). False with the
// system's reason when it is not a folder or cannot be opened.
bool platform_folder_open(const char* path, PlatformFolder& folder, char* error_text, size_t error_capacity);

// Opens the subfolder `name` of parent, never through a link.
bool platform_folder_open_child(const PlatformFolder& parent, const std::string& name, PlatformFolder& folder,
                                char* error_text, size_t error_capacity);

// The entries of the folder, without "." and "..", in the order the system
// gives them, each inspected without following it further than to say what a
// link points at. False with the system's reason when the folder cannot be read.
bool platform_folder_list(const PlatformFolder& folder, std::vector<PlatformDirectoryEntry>& entries,
                          char* error_text, size_t error_capacity);

void platform_folder_close(PlatformFolder& folder);

// Creates the folder at path; true when it exists afterwards as a folder.
// On failure errno holds the system's error number.
bool platform_make_directory(const char* path, char* error_text, size_t error_capacity);

// The longest path, in bytes, that the system's file calls take whole.
size_t platform_longest_path();

// The separator this system's paths use between folder names.
char platform_path_separator();

// True for the characters that end a folder name in a path ('/', and on Windows '\\').
bool platform_is_path_separator(char c);
