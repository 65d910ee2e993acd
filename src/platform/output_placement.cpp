#include "platform/output_placement.h"

#include <cerrno>
#include <cstring>
#include <string>

// Brings what the system holds of the stream's file to disk; false with errno set.
bool stream_reaches_disk(FILE* stream);

namespace {

void describe_error(unsigned long code, const char* text, char* failure, size_t failure_capacity) {
    if (failure_capacity == 0) return;
    snprintf(failure, failure_capacity, "error %lu: %s", code, text);
}

}  // namespace

#ifdef _WIN32

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include "platform/file_identity.h"
#include "platform/windows_wide_path.h"

namespace {

void describe_windows_error(DWORD code, char* failure, size_t failure_capacity) {
    wchar_t* text = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    std::string utf8;
    if (FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr) != 0) {
        windows_utf8_text(text, utf8);
        LocalFree(text);
    }
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.')) utf8.pop_back();
    if (utf8.empty()) utf8 = "Windows error";
    describe_error(code, utf8.c_str(), failure, failure_capacity);
}

uint64_t join(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

void stamp_handle(HANDLE handle, FileStamp& stamp) {
    stamp.present = true;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileInformationByHandle(handle, &information) == 0) return;  // a device: present, not regular
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    stamp.regular = (information.dwFileAttributes & not_plain) == 0;
    stamp.volume = information.dwVolumeSerialNumber;
    stamp.index = join(information.nFileIndexHigh, information.nFileIndexLow);
}

// What is at path, a link looked at itself. No access rights are asked for,
// and everything is shared, so that the look disturbs nobody.
FileStamp stamp_at_path(const std::wstring& wide) {
    FileStamp stamp{};
    HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return stamp;
    stamp_handle(handle, stamp);
    CloseHandle(handle);
    return stamp;
}

// A name the system treats as a character device (NUL, CON): its full form is
// a "\\.\" device path.
bool is_character_device(const std::wstring& full) {
    if (full.compare(0, 4, L"\\\\.\\") != 0) return false;
    HANDLE handle = CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool character = GetFileType(handle) == FILE_TYPE_CHAR;
    CloseHandle(handle);
    return character;
}


int kind_at_path(const char* path) {
    std::wstring full;
    if (windows_full_wide_path(path, full) && is_character_device(full)) return TARGET_CHARACTER_DEVICE;
    std::wstring wide;
    if (!windows_extended_wide_path(path, wide)) return TARGET_OTHER;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? TARGET_MISSING : TARGET_OTHER;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TARGET_FOLDER;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return TARGET_OTHER;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Followed: a link that leads to a file counts as one.
        HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return TARGET_DANGLING_LINK;
        CloseHandle(handle);
        return TARGET_LINK_TO_FILE;
    }
    return TARGET_FILE;
}

int create_at_path(const char* path, FILE*& stream, FileStamp& stamp) {
    stream = nullptr;
    stamp = FileStamp{};
    std::wstring wide;
    if (!windows_extended_wide_path(path, wide)) return CREATE_EXCLUSIVE_FAILED;
    // Shared for deletion, so that a console close can remove the name while
    // the stream is still open.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? CREATE_EXCLUSIVE_TAKEN
                                                                         : CREATE_EXCLUSIVE_FAILED;
    }
    stamp_handle(handle, stamp);
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        DeleteFileW(wide.c_str());
        return CREATE_EXCLUSIVE_FAILED;
    }
    stream = _fdopen(descriptor, "w+b");
    if (stream == nullptr) {
        _close(descriptor);
        DeleteFileW(wide.c_str());
        return CREATE_EXCLUSIVE_FAILED;
    }
    return CREATE_EXCLUSIVE_DONE;
}

}  // namespace

FILE* platform_open_device_stream(const char* path) {
    std::wstring full;
    if (!windows_full_wide_path(path, full)) return nullptr;
    return _wfopen(full.c_str(), L"wb");
}

bool platform_copy_file_attributes(const OutputFolder&, const std::string&, FILE*, char*, size_t) {
    return true;
}

bool platform_give_default_mode(FILE*) {
    return true;
}

bool platform_copy_mode_and_time(const char* source, FILE* stream) {
    if (fflush(stream) != 0) return false;
    std::wstring wide;
    if (!windows_extended_wide_path(source, wide)) return false;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return SetFileTime(handle, nullptr, nullptr, &data.ftLastWriteTime) != 0;
}

void platform_stream_write_behind(FILE*) {}

bool stream_reaches_disk(FILE* stream) {
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) != 0) return true;
    errno = EIO;
    return false;
}

namespace {

int place_paths(const char* temporary, const char* target, bool replace, char* failure, size_t failure_capacity) {
    std::wstring wide_temporary;
    std::wstring wide_target;
    if (!windows_extended_wide_path(temporary, wide_temporary) || !windows_extended_wide_path(target, wide_target)) {
        describe_windows_error(ERROR_INVALID_NAME, failure, failure_capacity);
        return PLACE_FAILED;
    }
    if (replace) {
        // ReplaceFileW keeps the replaced file's security descriptor and
        // attributes. It is given the replaced file's own name, so that a
        // target spelt in other letter case keeps the name it had. A target
        // that is not there (or that it cannot take) is moved over as before.
        // A link there is replaced by the move below, never followed.
        const DWORD attributes = GetFileAttributesW(wide_target.c_str());
        std::string real;
        std::wstring replaced;
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
            platform_real_path(target, real) && windows_extended_wide_path(real.c_str(), replaced) &&
            ReplaceFileW(replaced.c_str(), wide_temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                         nullptr) != 0) {
            return PLACE_DONE;
        }
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(wide_temporary.c_str(), wide_target.c_str(), flags) != 0) return PLACE_DONE;
    const DWORD code = GetLastError();
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) return PLACE_TAKEN;
    describe_windows_error(code, failure, failure_capacity);
    return PLACE_FAILED;
}


}  // namespace

void platform_output_folder_open(const std::string& target, OutputFolder& folder, std::string& name) {
    folder.descriptor = -1;
    folder.path.clear();
    name = target;
}

void platform_output_folder_close(OutputFolder& folder) {
    folder.descriptor = -1;
}

std::string platform_output_folder_path(const OutputFolder& folder, const std::string& name) {
    return folder.path.empty() ? name : folder.path + "\\" + name;
}

int platform_target_kind(const OutputFolder& folder, const std::string& name) {
    return kind_at_path(platform_output_folder_path(folder, name).c_str());
}

int platform_create_exclusive_stream(const OutputFolder& folder, const std::string& name, FILE*& stream,
                                     FileStamp& stamp) {
    return create_at_path(platform_output_folder_path(folder, name).c_str(), stream, stamp);
}

bool platform_name_holds(const OutputFolder& folder, const std::string& name, const FileStamp& stamp) {
    std::wstring wide;
    return windows_extended_wide_path(platform_output_folder_path(folder, name).c_str(), wide) &&
           file_stamp_same_file(stamp_at_path(wide), stamp);
}

void platform_remove_created(const OutputFolder& folder, const std::string& name, const FileStamp& stamp) {
    std::wstring wide;
    if (windows_extended_wide_path(platform_output_folder_path(folder, name).c_str(), wide) &&
        file_stamp_same_file(stamp_at_path(wide), stamp)) {
        DeleteFileW(wide.c_str());
    }
}

int platform_place_file(const OutputFolder& folder, const std::string& temporary, const std::string& target,
                        bool replace, char* failure, size_t failure_capacity) {
    return place_paths(platform_output_folder_path(folder, temporary).c_str(),
                       platform_output_folder_path(folder, target).c_str(), replace, failure, failure_capacity);
}

const char* platform_output_name_problem(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\' || (at == path + 1 && *at == ':')) name = at + 1;
    }
    const size_t length = strlen(name);
    if (length == 0) return nullptr;
    if (name[length - 1] == '.' || name[length - 1] == ' ') {
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return nullptr;  // a folder, refused as such
        return "a name ending in a dot or a space, which Windows drops";
    }
    // The device names count with any extension and with spaces before it.
    size_t stem = 0;
    while (stem < length && name[stem] != '.') ++stem;
    while (stem > 0 && name[stem - 1] == ' ') --stem;
    char upper[8] = {};
    if (stem == 0 || stem > 7) return nullptr;
    for (size_t i = 0; i < stem; ++i) {
        const char c = name[i];
        upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (strcmp(upper, "NUL") == 0 && stem == length) return nullptr;  // the null device, asked for by name
    static const char* const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    bool reserved = false;
    for (const char* device : DEVICES) reserved = reserved || strcmp(upper, device) == 0;
    if (stem == 4 && (strncmp(upper, "COM", 3) == 0 || strncmp(upper, "LPT", 3) == 0) && upper[3] >= '1' &&
        upper[3] <= '9') {
        reserved = true;
    }
    return reserved ? "a name Windows reserves for a device" : nullptr;
}

#else

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <vector>

#include "platform/file_paths.h"

namespace {

const char ACL_ATTRIBUTE[] = "system.posix_acl_access";

int kind_of_mode(mode_t mode) {
    if (S_ISREG(mode)) return TARGET_FILE;
    if (S_ISCHR(mode)) return TARGET_CHARACTER_DEVICE;
    if (S_ISDIR(mode)) return TARGET_FOLDER;
    if (S_ISFIFO(mode)) return TARGET_PIPE;
    if (S_ISSOCK(mode)) return TARGET_SOCKET;
    return TARGET_OTHER;
}

void describe_errno(int code, char* failure, size_t failure_capacity) {
    describe_error(static_cast<unsigned long>(code), strerror(code), failure, failure_capacity);
}

void stamp_status(const struct stat& status, FileStamp& stamp) {
    stamp.present = true;
    stamp.regular = S_ISREG(status.st_mode);
    stamp.volume = static_cast<uint64_t>(status.st_dev);
    stamp.index = static_cast<uint64_t>(status.st_ino);
}

// Brings the folder's entries to disk. A file system that cannot sync a folder
// leaves the rename no less done.
void sync_folder(const OutputFolder& folder, const std::string& name) {
    int descriptor = -1;
    if (folder.descriptor != AT_FDCWD) {
        descriptor = openat(folder.descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        std::string parent;
        if (!platform_parent_path(name, parent)) parent = "/";
        descriptor = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

// Copies every extended attribute of the open original to the open new file.
// Only a failed access rule counts: the rest (a security label the process may
// not set, say) is the system's to refuse.
bool copy_extended_attributes(int original, int descriptor, bool with_acl, char* failure, size_t failure_capacity) {
    ssize_t length = flistxattr(original, nullptr, 0);
    if (length <= 0) return true;
    std::vector<char> names(static_cast<size_t>(length));
    length = flistxattr(original, names.data(), names.size());
    if (length <= 0) return true;
    std::vector<char> value;
    for (size_t at = 0; at < static_cast<size_t>(length); at += strlen(&names[at]) + 1) {
        const char* name = &names[at];
        const bool is_acl = strcmp(name, ACL_ATTRIBUTE) == 0;
        if (is_acl && !with_acl) continue;
        const ssize_t size = fgetxattr(original, name, nullptr, 0);
        if (size < 0) continue;
        value.resize(static_cast<size_t>(size) + 1);
        const ssize_t got = fgetxattr(original, name, value.data(), value.size());
        if (got < 0) continue;
        if (fsetxattr(descriptor, name, value.data(), static_cast<size_t>(got), 0) != 0 && is_acl) {
            describe_errno(errno, failure, failure_capacity);
            return false;
        }
    }
    return true;
}

// The process's umask, read without changing it (changing it and back would
// race with other threads creating files).
mode_t current_umask() {
    FILE* status = fopen("/proc/self/status", "re");
    if (status == nullptr) return 022;
    char line[256];
    unsigned mask = 022;
    while (fgets(line, sizeof line, status) != nullptr) {
        if (sscanf(line, "Umask: %o", &mask) == 1) break;
    }
    fclose(status);
    return static_cast<mode_t>(mask);
}

}  // namespace

void platform_output_folder_open(const std::string& target, OutputFolder& folder, std::string& name) {
    folder.descriptor = AT_FDCWD;
    folder.path.clear();
    name = target;
    std::string parent;
    const std::string last = platform_last_component(target);
    if (last.empty() || last == "." || last == ".." || !platform_parent_path(target, parent)) return;
    // O_PATH: a folder the process may write in but not list still opens.
    const int descriptor = open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    folder.descriptor = descriptor;
    folder.path = parent;
    name = last;
}

void platform_output_folder_close(OutputFolder& folder) {
    if (folder.descriptor >= 0) close(folder.descriptor);
    folder.descriptor = AT_FDCWD;
    folder.path.clear();
}

std::string platform_output_folder_path(const OutputFolder& folder, const std::string& name) {
    if (folder.path.empty()) return name;
    return folder.path.back() == '/' ? folder.path + name : folder.path + "/" + name;
}

int platform_target_kind(const OutputFolder& folder, const std::string& name) {
    struct stat status;
    if (fstatat(folder.descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? TARGET_MISSING : TARGET_OTHER;
    }
    if (!S_ISLNK(status.st_mode)) return kind_of_mode(status.st_mode);
    if (fstatat(folder.descriptor, name.c_str(), &status, 0) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? TARGET_DANGLING_LINK : TARGET_OTHER;
    }
    const int kind = kind_of_mode(status.st_mode);
    return kind == TARGET_FILE ? TARGET_LINK_TO_FILE : kind;
}

int platform_create_exclusive_stream(const OutputFolder& folder, const std::string& name, FILE*& stream,
                                     FileStamp& stamp) {
    stream = nullptr;
    stamp = FileStamp{};
    const int descriptor =
        openat(folder.descriptor, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) return errno == EEXIST ? CREATE_EXCLUSIVE_TAKEN : CREATE_EXCLUSIVE_FAILED;
    struct stat status;
    if (fstat(descriptor, &status) == 0) stamp_status(status, stamp);
    stream = fdopen(descriptor, "w+b");
    if (stream == nullptr) {
        close(descriptor);
        unlinkat(folder.descriptor, name.c_str(), 0);
        return CREATE_EXCLUSIVE_FAILED;
    }
    return CREATE_EXCLUSIVE_DONE;
}

bool platform_name_holds(const OutputFolder& folder, const std::string& name, const FileStamp& stamp) {
    struct stat status;
    if (fstatat(folder.descriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    FileStamp now;
    stamp_status(status, now);
    return file_stamp_same_file(now, stamp);
}

void platform_remove_created(const OutputFolder& folder, const std::string& name, const FileStamp& stamp) {
    if (platform_name_holds(folder, name, stamp)) unlinkat(folder.descriptor, name.c_str(), 0);
}

FILE* platform_open_device_stream(const char* path) {
    const int descriptor = open(path, O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISCHR(status.st_mode)) {
        close(descriptor);
        return nullptr;
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    FILE* stream = fdopen(descriptor, "wb");
    if (stream == nullptr) close(descriptor);
    return stream;
}

bool platform_give_default_mode(FILE* stream) {
    return fchmod(fileno(stream), 0666 & ~current_umask()) == 0;
}

bool platform_copy_file_attributes(const OutputFolder& folder, const std::string& original_name, FILE* stream,
                                   char* failure, size_t failure_capacity) {
    // Looked at through a descriptor, so that every attribute is the one file's.
    const int original = openat(folder.descriptor, original_name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (original < 0) return true;  // nothing left to take after
    struct stat status;
    if (fstat(original, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(original);
        return true;
    }
    const int descriptor = fileno(stream);
    // Owner before bits: a change of owner may clear the set-ID bits. Only root
    // may give a file away; the group alone may still be ours to set.
    if (fchown(descriptor, status.st_uid, status.st_gid) != 0) {
        if (fchown(descriptor, static_cast<uid_t>(-1), status.st_gid) != 0) {
            // Kept by the runner's group, which the original did not name.
        }
    }
    struct stat now;
    const bool group_kept = fstat(descriptor, &now) == 0 && now.st_gid == status.st_gid;
    mode_t mode = status.st_mode & 07777;
    if (!group_kept) mode &= ~static_cast<mode_t>(S_IRWXG | S_ISGID);
    bool ok = fchmod(descriptor, mode) == 0;
    if (!ok) describe_errno(errno, failure, failure_capacity);
    // An access list names the owning group too: without that group it would
    // grant the runner's group what the original granted its own.
    ok = ok && copy_extended_attributes(original, descriptor, group_kept, failure, failure_capacity);
    close(original);
    return ok;
}

bool platform_copy_mode_and_time(const char* source, FILE* stream) {
    if (fflush(stream) != 0) return false;
    struct stat status;
    if (stat(source, &status) != 0) return false;
    const int descriptor = fileno(stream);
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    return fchmod(descriptor, status.st_mode & 0777) == 0 && futimens(descriptor, times) == 0;
}

void platform_stream_write_behind(FILE* stream) {
    // Only the end of the file: what lies before it was asked for by earlier calls.
    const off_t window = 8 << 20;
    const int descriptor = fileno(stream);
    const off_t end = lseek(descriptor, 0, SEEK_CUR);
    if (end <= 0) return;
    const off_t start = end > window ? end - window : 0;
    sync_file_range(descriptor, start, end - start, SYNC_FILE_RANGE_WRITE);
}

bool stream_reaches_disk(FILE* stream) {
    return fsync(fileno(stream)) == 0;
}

int platform_place_file(const OutputFolder& folder, const std::string& temporary, const std::string& target,
                        bool replace, char* failure, size_t failure_capacity) {
    const int at = folder.descriptor;
    if (replace) {
        if (renameat(at, temporary.c_str(), at, target.c_str()) != 0) {
            describe_errno(errno, failure, failure_capacity);
            return PLACE_FAILED;
        }
        sync_folder(folder, target);
        return PLACE_DONE;
    }
    // The final step itself refuses a name that is taken, so nothing can slip
    // in between a look and the move.
    if (renameat2(at, temporary.c_str(), at, target.c_str(), RENAME_NOREPLACE) == 0) {
        sync_folder(folder, target);
        return PLACE_DONE;
    }
    if (errno == EEXIST) return PLACE_TAKEN;
    if (errno != EINVAL && errno != ENOSYS) {
        describe_errno(errno, failure, failure_capacity);
        return PLACE_FAILED;
    }
    // A file system without that rename: a hard link is just as exclusive.
    if (linkat(at, temporary.c_str(), at, target.c_str(), 0) == 0) {
        unlinkat(at, temporary.c_str(), 0);
        sync_folder(folder, target);
        return PLACE_DONE;
    }
    if (errno == EEXIST) return PLACE_TAKEN;
    describe_errno(errno, failure, failure_capacity);
    return PLACE_FAILED;
}

const char* platform_output_name_problem(const char*) {
    return nullptr;
}

#endif

bool platform_stream_sync_close(FILE*& stream) {
    bool ok = fflush(stream) == 0 && stream_reaches_disk(stream);
    const int saved = errno;
    if (fclose(stream) != 0 && ok) {
        ok = false;
    } else {
        errno = saved;
    }
    stream = nullptr;
    return ok;
}
