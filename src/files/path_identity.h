// The one answer to "is this the same file" and "does this lie inside that
// folder": by what the files are (their identity, links resolved), never by
// how their paths are spelt.
#pragma once

#include "platform/file_identity.h"

// True when both paths name one existing file (the same path written another
// way, a hard link, a link to it), or might, their identity being unreadable.
bool path_same_file(const char* path_a, const char* path_b);

// The identity of what path names, links followed; false when nothing is
// there or its identity cannot be read. Read once, it answers many
// comparisons with identities already known (a walk's).
bool path_identity(const char* path, FileIdentity& identity);

// True when two output names would end up as one file: the same existing file,
// or the same name in the same folder.
bool path_same_target(const char* path_a, const char* path_b);

// True when path (which need not exist yet) is the folder itself or lies
// somewhere below it, every link on the way resolved. False when the folder
// does not exist.
bool path_within(const char* folder, const char* path);
