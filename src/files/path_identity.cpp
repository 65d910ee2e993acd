#include "files/path_identity.h"

#include <string>

#include "platform/file_identity.h"
#include "platform/file_paths.h"

namespace {

// The resolved form of the nearest part of path that exists.
bool nearest_existing_real(const std::string& path, std::string& real) {
    std::string at = path;
    for (;;) {
        if (platform_real_path(at.c_str(), real)) return true;
        std::string up;
        if (!platform_parent_path(at, up)) return false;
        at = up;
    }
}

}  // namespace

bool path_same_file(const char* path_a, const char* path_b) {
    FileIdentity a;
    FileIdentity b;
    if (platform_file_identity(path_a, a) && platform_file_identity(path_b, b)) return file_identity_same(a, b);
    return platform_identity_unreadable(path_a, path_b);
}

bool path_same_target(const char* path_a, const char* path_b) {
    if (path_same_file(path_a, path_b)) return true;
    std::string folder_a;
    std::string folder_b;
    if (!platform_parent_path(path_a, folder_a)) folder_a = path_a;
    if (!platform_parent_path(path_b, folder_b)) folder_b = path_b;
    FileIdentity a;
    FileIdentity b;
    if (!platform_file_identity(folder_a.c_str(), a) || !platform_file_identity(folder_b.c_str(), b)) {
        // Folders that are not there yet: compared by their full spelling.
        std::string full_a;
        std::string full_b;
        return platform_absolute_path(path_a, full_a) && platform_absolute_path(path_b, full_b) &&
               platform_path_compare_key(full_a) == platform_path_compare_key(full_b);
    }
    return file_identity_same(a, b) && platform_path_compare_key(platform_last_component(path_a)) == platform_path_compare_key(platform_last_component(path_b));
}

bool path_within(const char* folder, const char* path) {
    FileIdentity outer;
    if (!platform_file_identity(folder, outer)) return false;
    std::string at;
    if (!nearest_existing_real(path, at)) return false;
    for (;;) {
        FileIdentity here;
        if (platform_file_identity(at.c_str(), here) && file_identity_same(here, outer)) return true;
        std::string up;
        if (!platform_parent_path(at, up)) return false;
        at = up;
    }
}

bool path_identity(const char* path, FileIdentity& identity) {
    return platform_file_identity(path, identity);
}
