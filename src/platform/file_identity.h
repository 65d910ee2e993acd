// What a file is, rather than how its path is spelt.
#pragma once

#include <cstdint>
#include <string>

// A file's identity on this machine: device and inode (Windows: volume serial
// number and file index).
struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

inline bool file_identity_same(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// An order of identities, for sorting.
inline bool file_identity_before(const FileIdentity& a, const FileIdentity& b) {
    return a.volume != b.volume ? a.volume < b.volume : a.index < b.index;
}

// The identity of what path names, links followed. False when nothing is there
// or its identity cannot be read.
bool platform_file_identity(const char* path, FileIdentity& identity);

// The path with every link, "." and ".." resolved against the file system and
// repeated separators gone. False when the path does not exist.
bool platform_real_path(const char* path, std::string& real);

// True when both paths exist and their identities cannot be read although they
// are there: they might be one file.
bool platform_identity_unreadable(const char* path_a, const char* path_b);
