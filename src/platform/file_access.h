#pragma once

// Gives the file at target the permission bits of the file at source and, where
// the process may change them, its owner and group, so that a file put in the
// place of another is no more open to others than the one it replaces. False
// when the bits could not be copied. Windows files take their access rules from
// their directory, so there it does nothing.
bool platform_copy_file_access(const char* source, const char* target);
