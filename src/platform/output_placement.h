// The system calls behind writing an output safely: what lies at the output's
// name, creating a temporary file beside it, giving that file what the file it
// replaces had, and putting it at the final name in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// A file this run created, so that it is removed later, or put in place, only
// while its name still holds that very file.
struct FileStamp {
    bool present;     // something is there
    bool regular;     // a regular file: not a link, directory, pipe or device
    uint64_t volume;  // with index: the file's identity on this machine
    uint64_t index;
};

// True when both stamps describe the same regular file.
inline bool file_stamp_same_file(const FileStamp& a, const FileStamp& b) {
    return a.regular && b.regular && a.volume == b.volume && a.index == b.index;
}

// The outcomes of creating a file exclusively: TAKEN when anything at all is at
// the name, a dangling link included, which is never followed; FAILED for any
// other refusal (a missing or read-only folder, a name the system rejects).
enum CreateExclusiveResult { CREATE_EXCLUSIVE_DONE = 0, CREATE_EXCLUSIVE_TAKEN = 1, CREATE_EXCLUSIVE_FAILED = 2 };

// The folder an output is written in. On POSIX systems it is held open, so
// that the look at the output's name, the creation of its temporary file and
// the final move all happen in that one folder, even if the folder's path is
// changed meanwhile (a folder swapped for a link). Names below are relative to
// it. Windows uses the folder's path.
struct OutputFolder {
    int descriptor;    // POSIX: the open folder, or AT_FDCWD when names are whole paths
    std::string path;  // the folder's path ("" when names are whole paths)
};

// Opens the folder of target and gives the name target has in it. A folder
// that cannot be opened (it does not exist, say) leaves the whole path as the
// name, so that every later step fails or succeeds as the path itself would.
void platform_output_folder_open(const std::string& target, OutputFolder& folder, std::string& name);

// Closes the folder; safe to call twice.
void platform_output_folder_close(OutputFolder& folder);

// The whole path of a name in the folder, for messages and for a device.
std::string platform_output_folder_path(const OutputFolder& folder, const std::string& name);

enum PlatformTargetKind {
    TARGET_MISSING = 0,          // nothing at the name
    TARGET_FILE = 1,             // a regular file
    TARGET_LINK_TO_FILE = 2,     // a link that ends at a regular file
    TARGET_DANGLING_LINK = 3,    // a link that ends nowhere
    TARGET_CHARACTER_DEVICE = 4, // /dev/null, NUL: written in place (through a link too)
    TARGET_FOLDER = 5,
    TARGET_PIPE = 6,
    TARGET_SOCKET = 7,
    TARGET_OTHER = 8,            // a block device, or something that cannot be looked at
};

// What is at the name; the final link is looked at itself, then followed.
int platform_target_kind(const OutputFolder& folder, const std::string& name);

// Creates the name exclusively, never following a link, readable and writable
// by its owner only, and opens a stream for reading and writing on it. The file
// may be removed by name while the stream is open (Windows: shared for delete).
// CREATE_EXCLUSIVE_TAKEN when anything at all is at the name.
int platform_create_exclusive_stream(const OutputFolder& folder, const std::string& name, FILE*& stream,
                                     FileStamp& stamp);

// True when the name still holds the file that stamp describes.
bool platform_name_holds(const OutputFolder& folder, const std::string& name, const FileStamp& stamp);

// Removes the name when it still holds the file that stamp describes.
void platform_remove_created(const OutputFolder& folder, const std::string& name, const FileStamp& stamp);

// Opens an existing character device for writing.
FILE* platform_open_device_stream(const char* path);

// Gives the file behind stream what the file at original has, so that the new
// file is no more open to others than the one it replaces: owner and group
// where the process may set them (the group permission bits are cleared when
// the group cannot be kept), permission bits, ACLs and every other extended
// attribute. False with the reason when an access rule could not be carried
// over. Windows keeps these when the file is put in place, so this does nothing.
bool platform_copy_file_attributes(const OutputFolder& folder, const std::string& original, FILE* stream,
                                   char* failure, size_t failure_capacity);

// Gives the file behind stream the permission bits and modification time of
// the file at source (a copy of it). The stream is flushed first, so that no
// later write moves the time again. False with errno set on failure.
bool platform_copy_mode_and_time(const char* source, FILE* stream);

// Gives the new file behind stream the permission bits a newly created file
// gets by default (read and write for all, less the process's umask): the
// temporary file is created private to its owner. Windows: nothing to do.
bool platform_give_default_mode(FILE* stream);

// Asks the system to start writing what the stream's file holds so far back to
// disk, without waiting for it, so that the sync at the end finds little left
// to do. A hint: nothing happens where the system has no such call.
void platform_stream_write_behind(FILE* stream);

// Flushes the stream, brings its data to disk and closes it. False with errno
// set when any step failed; the stream is closed either way.
bool platform_stream_sync_close(FILE*& stream);

enum PlatformPlaceResult { PLACE_DONE = 0, PLACE_TAKEN = 1, PLACE_FAILED = 2 };

// Puts the complete file at temporary onto target (both names in folder) in one step and returns once
// that is on disk as far as the system can tell. Unless replace, a target that
// exists (however it came there) is left alone: PLACE_TAKEN. On failure the
// system's error number and text are in failure; temporary and target are then
// as they were.
int platform_place_file(const OutputFolder& folder, const std::string& temporary, const std::string& target,
                        bool replace, char* failure, size_t failure_capacity);

// Windows changes some names on its own: a trailing dot or space is dropped,
// and CON, AUX, COM1 (with any extension) name devices. For such an output name
// the words that say what is wrong with it; nullptr for a name that is written
// as given (every name elsewhere, and NUL itself, the null device).
const char* platform_output_name_problem(const char* path);
